// The settings file: size, magic, defaults, damaged files, the bytes rewritten at every save.
#include "app/Settings.h"
#include "base/ProgramFolder.h"
#include "tests/support/TestFiles.h"

#include <cstring>
#include <filesystem>
#include <grp.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace zov;
using zovtest::Le32;
using zovtest::ReadAll;
using zovtest::TempDir;
using zovtest::WriteAll;

namespace {

std::vector<uint8_t> FileOf(uint8_t first, uint8_t second, size_t size = kSettingsSize) {
    std::vector<uint8_t> b(size, 0);
    b[0] = first;
    b[1] = second;
    return b;
}

} // namespace

TEST(Settings, FirstRunWritesTheDefaultRecord) {
    TempDir dir;
    Settings s;
    EXPECT_FALSE(s.Load(dir.File("ZOV Recorder.dat"), "/opt/zov/release/"));
    ASSERT_TRUE(s.Save(dir.File("ZOV Recorder.dat")));
    const auto b = ReadAll(dir.File("ZOV Recorder.dat"));
    ASSERT_EQ(b.size(), 35584u);
    EXPECT_EQ(b[0], 'S');
    EXPECT_EQ(b[1], 'T');
    EXPECT_EQ(b[1302], 1);          // record the pointer
    EXPECT_EQ(b[1303], 0);          // big pointer
    EXPECT_EQ(Le32(b, 1304), 500u); // frame delay
    EXPECT_EQ(Le32(b, 1308), 1u);
    EXPECT_EQ(Le32(b, 1312), 22050u);
    EXPECT_EQ(Le32(b, 1316), 16u);
    EXPECT_EQ(b[1320], 1); // toolbar
    EXPECT_EQ(b[1321], 0); // index window
    EXPECT_EQ(b[1322], 0); // status bar
    EXPECT_EQ(b[1323], 1);
    EXPECT_EQ(b[1324], 1); // tool window
    EXPECT_EQ(Le32(b, 1332 + 4), 0x303030u);
    EXPECT_EQ(Le32(b, 1364), 0xFFFFFFu);
    // The text style: pen 1, white text, font -13 / 700 "System" with its precisions.
    EXPECT_EQ(b[1368], 0);
    EXPECT_EQ(Le32(b, 1372), 1u);
    EXPECT_EQ(Le32(b, 1380), 0xFFFFFFu);
    EXPECT_EQ(static_cast<int32_t>(Le32(b, 1388)), -13);
    EXPECT_EQ(Le32(b, 1404), 700u);
    EXPECT_EQ(b[1412], 1);
    EXPECT_EQ(b[1413], 2);
    EXPECT_EQ(b[1414], 1);
    EXPECT_EQ(b[1415], 0x22);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&b[1416])), "System");
    EXPECT_EQ(b[1448], 1);
    EXPECT_EQ(b[1449], 1);
    EXPECT_EQ(Le32(b, 34228), 0u); // MP3 bit rate 0 (acts as 8)
    EXPECT_EQ(b[34232], 0);        // always stored as 0
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&b[34233])), "/opt/zov/release/");
    EXPECT_EQ(b[34495], 0);        // no language name yet
    EXPECT_EQ(Le32(b, 34560), 0u); // English
}

TEST(Settings, DamagedFilesBecomeTheDefaults) {
    TempDir dir;
    const std::string path = dir.File("s.dat");
    for (auto bytes : {FileOf('X', 'T'), FileOf('S', 'T', 35583), FileOf('S', 'T', 2)}) {
        if (bytes.size() > 1304)
            zovtest::Put32(bytes, 1304, 1000);
        ASSERT_TRUE(WriteAll(path, bytes));
        Settings s;
        EXPECT_FALSE(s.Load(path, "/r/"));
        EXPECT_EQ(s.FrameDelay(), 500);
        EXPECT_TRUE(s.HasMagic());
        ASSERT_TRUE(s.Save(path));
        const auto b = ReadAll(path);
        ASSERT_EQ(b.size(), kSettingsSize);
        EXPECT_EQ(b[0], 'S');
        EXPECT_EQ(Le32(b, 1304), 500u);
    }
}

TEST(Settings, AStoredRecordComesBackWithTheIndexWindowOff) {
    TempDir dir;
    const std::string path = dir.File("s.dat");
    auto bytes = FileOf('S', 'T');
    bytes[1321] = 1; // index window shown when it was saved
    bytes[1322] = 1; // status bar
    zovtest::Put32(bytes, 1304, 2000);
    bytes[20000] = 0x5A; // a byte no one names
    bytes[34232] = 1;
    std::memcpy(&bytes[34495], "japanese", 8);
    zovtest::Put32(bytes, 34560, 2);
    std::memcpy(&bytes[34233], "/home/u/films/", 14);
    ASSERT_TRUE(WriteAll(path, bytes));
    Settings s;
    EXPECT_TRUE(s.Load(path, "/r/"));
    EXPECT_EQ(s.Byte(Settings::kShowIndexWindow), 0);
    EXPECT_TRUE(s.Flag(Settings::kShowStatusBar));
    EXPECT_EQ(s.FrameDelay(), 2000);
    EXPECT_EQ(s.LanguageName(), "japanese");
    EXPECT_EQ(s.LanguageIndex(), 2);
    EXPECT_EQ(s.DefaultFolder(), "/home/u/films/");
    ASSERT_TRUE(s.Save(path));
    auto back = ReadAll(path);
    bytes[1321] = 0;
    bytes[34232] = 0;
    EXPECT_EQ(back, bytes);
}

TEST(Settings, OutsideValuesAreCheckedOnLoad) {
    TempDir dir;
    const std::string path = dir.File("s.dat");
    auto bytes = FileOf('S', 'T');
    zovtest::Put32(bytes, 1304, 0);      // a delay the dialog could never store
    zovtest::Put32(bytes, 34228, 999);   // not a bit rate
    zovtest::Put32(bytes, 34560, 7);     // no such language
    std::memset(&bytes[34495], 'a', 64); // unterminated language name
    std::memset(&bytes[2], 'p', 260);    // unterminated first path
    ASSERT_TRUE(WriteAll(path, bytes));
    Settings s;
    EXPECT_TRUE(s.Load(path, "/r/"));
    EXPECT_EQ(s.FrameDelay(), 500);
    EXPECT_EQ(s.U32(Settings::kMp3BitRate), 0u);
    EXPECT_EQ(s.LanguageIndex(), 0);
    EXPECT_EQ(s.LanguageName(), std::string(63, 'a'));
    EXPECT_EQ(s.String(Settings::kPaths, 260).size(), 259u);
    EXPECT_EQ(s.DefaultFolder(), "/r/"); // an empty default folder gets the default
}

TEST(Settings, APathTooLongForItsFieldIsRefusedNotCut) {
    Settings s;
    s.FillDefaults("/short/");
    EXPECT_TRUE(s.SetDefaultFolder(std::string(259, 'x')));
    EXPECT_EQ(s.DefaultFolder().size(), 259u);
    EXPECT_FALSE(s.SetDefaultFolder(std::string(260, 'y')));
    EXPECT_EQ(s.DefaultFolder(), std::string(259, 'x'));
    Settings fresh;
    fresh.FillDefaults(std::string(300, 'z'));
    EXPECT_EQ(fresh.DefaultFolder(), "");
}

TEST(Settings, AnUnwritableFileIsReportedToTheCaller) {
    Settings s;
    s.FillDefaults("/r/");
    EXPECT_FALSE(s.Save("/nonexistent-folder/for/sure/ZOV Recorder.dat"));
}

// A program folder the user cannot write (an installed copy): the settings, the log and the
// default project folder move to the XDG folders. Root can write anywhere, so the check runs
// in a child that has become an unprivileged user.
TEST(Settings, ReadOnlyProgramFolderFallsBackToXdgFolders) {
    if (geteuid() != 0 && access(ProgramFolder().c_str(), W_OK) == 0)
        GTEST_SKIP() << "needs root (to become another user) or a read-only program folder";
    TempDir dir;
    const std::string config = dir.File("config"), data = dir.File("data");
    ASSERT_EQ(mkdir(config.c_str(), 0777), 0);
    ASSERT_EQ(mkdir(data.c_str(), 0777), 0);
    ASSERT_EQ(chmod(config.c_str(), 0777), 0); // past the umask
    ASSERT_EQ(chmod(data.c_str(), 0777), 0);
    ASSERT_EQ(chmod(dir.Path().c_str(), 0755), 0);
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        close(fds[0]);
        if (geteuid() == 0 && (setgroups(0, nullptr) != 0 || setgid(65534) != 0 || setuid(65534) != 0))
            _exit(3);
        setenv("XDG_CONFIG_HOME", config.c_str(), 1);
        setenv("XDG_DATA_HOME", data.c_str(), 1);
        Settings s;
        const std::string settingsPath = SettingsPath();
        const std::string answer = settingsPath + "\n" + DefaultProjectFolder() + "\n" +
                                   (s.Save(settingsPath) ? "saved" : "not saved") + "\n";
        const bool ok = write(fds[1], answer.data(), answer.size()) == ssize_t(answer.size());
        _exit(ok ? 0 : 4);
    }
    close(fds[1]);
    std::string answer;
    char buf[512];
    for (ssize_t n; (n = read(fds[0], buf, sizeof buf)) > 0;)
        answer.append(buf, size_t(n));
    close(fds[0]);
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "child status " << status;
    EXPECT_EQ(answer, config + "/zov-recorder/ZOV Recorder.dat\n" + data + "/zov-recorder/release/\nsaved\n");
    EXPECT_EQ(ReadAll(config + "/zov-recorder/ZOV Recorder.dat").size(), kSettingsSize);
    EXPECT_TRUE(std::filesystem::is_directory(data + "/zov-recorder/release"));
}
