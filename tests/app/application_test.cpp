// The application object's start-up and shut-down, and the file association it registers.
#include "app/Application.h"
#include "app/FileAssociation.h"
#include "base/Log.h"
#include "core/Ani.h"
#include "tests/support/TestFiles.h"

#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/wait.h>

using namespace zov;
using zovtest::Le32;
using zovtest::ReadAll;
using zovtest::ReadText;
using zovtest::TempDir;

namespace {

AppFolders FoldersIn(const TempDir& dir, bool withLanguages = true) {
    AppFolders f;
    f.program = dir.Path() + "/";
    f.data = dir.Path() + "/data/";
    f.writable = dir.Path() + "/";
    f.defaultProject = dir.Path() + "/release/";
    f.registerFileType = false;
    if (withLanguages) {
        std::filesystem::create_directories(f.data + "language");
        for (const char* name : {"languagelst.txt", "langenglish.txt", "langchinese.txt", "langjapanese.txt"})
            std::filesystem::copy_file(std::string(ZOV_SOURCE_DIR) + "/data/language/" + name,
                                       f.data + "language/" + name);
    }
    return f;
}

// Runs a shell-free command and returns its standard output.
std::string Output(const std::string& command) {
    std::string out;
    if (FILE* p = popen(command.c_str(), "r")) {
        char buf[512];
        while (fgets(buf, sizeof buf, p))
            out += buf;
        pclose(p);
    }
    return out;
}

} // namespace

TEST(Application, StartAndEndInOrderWriteTheLogAndTheSettings) {
    TempDir dir;
    CAni doc;
    {
        ZovApp app(doc, FoldersIn(dir));
        ASSERT_TRUE(app.Startup());
        EXPECT_EQ(app.Text(S_APP_TITLE), "ZOV Recorder");
        EXPECT_EQ(app.Config().LanguageName(), "english"); // from the list's default
        app.Shutdown();
        app.Shutdown(); // once only
    }
    SetLogPath("");
    const auto settings = ReadAll(dir.File("ZOV Recorder.dat"));
    ASSERT_EQ(settings.size(), 35584u);
    EXPECT_EQ(settings[0], 'S');
    EXPECT_EQ(Le32(settings, 1304), 500u);
    const std::string log = ReadText(dir.File("ZOV Recorder.log"));
    const size_t start = log.find("<-- Process Start (Version: 2003-12-21 15:27)");
    const size_t end = log.find("--> Process Terminal (Version: 2003-12-21 15:27)");
    ASSERT_NE(start, std::string::npos) << log;
    ASSERT_NE(end, std::string::npos) << log;
    EXPECT_LT(start, end);
}

TEST(Application, AMissingLanguageListStopsTheStart) {
    TempDir dir;
    CAni doc;
    ZovApp app(doc, FoldersIn(dir, false));
    EXPECT_FALSE(app.Startup());
    EXPECT_EQ(app.StartupWarning(), "Warning: Language List File Lost, Please ReInstall ZOV Recorder.");
    app.Shutdown(); // nothing started: no settings written
    SetLogPath("");
    EXPECT_FALSE(std::filesystem::exists(dir.File("ZOV Recorder.dat")));
    EXPECT_NE(ReadText(dir.File("ZOV Recorder.log"))
                  .find("!!! Warning: Language List File Lost, Please ReInsteal ZOV Recorder."),
              std::string::npos);
}

TEST(Application, SwitchingToJapaneseIsStoredAndAMissingFileGivesEnglish) {
    TempDir dir;
    CAni doc;
    AppFolders folders = FoldersIn(dir);
    {
        ZovApp app(doc, folders);
        ASSERT_TRUE(app.Startup());
        EXPECT_EQ(app.SelectLanguage("japanese"), 2);
        EXPECT_EQ(app.Text(S_MENU_FILE), "ファイル(&F)");
        std::filesystem::remove(folders.data + "language/langjapanese.txt");
        EXPECT_EQ(app.SelectLanguage("JAPANESE"), 2);
        EXPECT_EQ(app.Text(S_MENU_FILE), "&File");
        app.Shutdown();
    }
    SetLogPath("");
    const auto b = ReadAll(dir.File("ZOV Recorder.dat"));
    ASSERT_EQ(b.size(), 35584u);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&b[34495])), "japanese");
    EXPECT_EQ(Le32(b, 34560), 2u);
    // The next start keeps the stored language.
    ZovApp again(doc, folders);
    std::filesystem::copy_file(std::string(ZOV_SOURCE_DIR) + "/data/language/langjapanese.txt",
                               folders.data + "language/langjapanese.txt");
    ASSERT_TRUE(again.Startup());
    EXPECT_EQ(again.Config().LanguageIndex(), 2);
    EXPECT_EQ(again.Text(S_MENU_FILE), "ファイル(&F)");
    SetLogPath("");
}

TEST(FileAssociation, TheDesktopEntryValidatesAndIsTheDefaultForProjects) {
    TempDir dir;
    setenv("XDG_DATA_HOME", dir.File("data").c_str(), 1);
    setenv("XDG_CONFIG_HOME", dir.File("config").c_str(), 1);
    setenv("XDG_DATA_DIRS", dir.File("data").c_str(), 1);
    const std::string program = dir.Path() + "/my tools/";
    EXPECT_TRUE(RegisterFileAssociation(program, std::string(ZOV_SOURCE_DIR) + "/data/"));
    const std::string entry = dir.File("data/applications/zov-recorder.desktop");
    const std::string text = ReadText(entry);
    EXPECT_NE(text.find("Exec=\"" + program + "zov-recorder\" %f\n"), std::string::npos) << text;
    EXPECT_NE(text.find("MimeType=application/x-zov-recorder-project;"), std::string::npos);
    EXPECT_NE(ReadText(dir.File("data/mime/packages/zov-recorder.xml")).find("<glob pattern=\"*.scp\"/>"),
              std::string::npos);
    EXPECT_TRUE(std::filesystem::exists(
        dir.File("data/icons/hicolor/scalable/mimetypes/application-x-zov-recorder-project.svg")));
    // A second start changes nothing and keeps one default line.
    EXPECT_TRUE(RegisterFileAssociation(program, std::string(ZOV_SOURCE_DIR) + "/data/"));
    const std::string mimeapps = ReadText(dir.File("config/mimeapps.list"));
    EXPECT_EQ(mimeapps, "[Default Applications]\napplication/x-zov-recorder-project=zov-recorder.desktop\n");
    if (std::system("command -v desktop-file-validate >/dev/null 2>&1") == 0)
        EXPECT_EQ(WEXITSTATUS(std::system(("desktop-file-validate '" + entry + "'").c_str())), 0);
    if (std::system("command -v xdg-mime >/dev/null 2>&1") == 0)
        EXPECT_EQ(Output("xdg-mime query default application/x-zov-recorder-project"),
                  "zov-recorder.desktop\n");
}

TEST(FileAssociation, OtherDefaultsInTheListAreKept) {
    TempDir dir;
    setenv("XDG_DATA_HOME", dir.File("data").c_str(), 1);
    setenv("XDG_CONFIG_HOME", dir.File("config").c_str(), 1);
    std::filesystem::create_directories(dir.File("config"));
    zovtest::WriteText(dir.File("config/mimeapps.list"),
                       "[Added Associations]\ntext/plain=a.desktop;\n[Default Applications]\n"
                       "text/html=b.desktop\napplication/x-zov-recorder-project=old.desktop\n");
    RegisterFileAssociation("/p/", std::string(ZOV_SOURCE_DIR) + "/data/");
    EXPECT_EQ(ReadText(dir.File("config/mimeapps.list")),
              "[Added Associations]\ntext/plain=a.desktop;\n[Default Applications]\n"
              "text/html=b.desktop\napplication/x-zov-recorder-project=zov-recorder.desktop\n");
}
