// "Ready to Record Sound" in the editor against a PulseAudio server of the test's own: the
// narration is recorded while the project plays and ends with playback (its end or Stop),
// with the MP3 beside the project; with the flag off Play records nothing.
#include "app/Application.h"
#include "base/Log.h"
#include "core/Ani.h"
#include "sound/Mp3Convert.h"
#include "sound/WaveFile.h"
#include "tests/support/PulseTestServer.h"
#include "tests/support/TestFiles.h"
#include "tests/ui/QtTestEnv.h"
#include "tests/ui/UiTestProject.h"
#include "ui/CommandTable.h"
#include "ui/MainWindow.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace zov;

namespace {

class Narration : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(m_pulse.Ok()) << m_pulse.Error();
        ASSERT_TRUE(m_pulse.PlayTone(500, 0.3));
        m_folders.program = m_dir.Path() + "/";
        m_folders.data = m_dir.Path() + "/data/";
        m_folders.writable = m_dir.Path() + "/";
        m_folders.defaultProject = m_dir.Path() + "/release/";
        m_folders.registerFileType = false;
        std::filesystem::create_directories(m_folders.data + "language");
        for (const char* name : {"languagelst.txt", "langenglish.txt", "langchinese.txt", "langjapanese.txt"})
            std::filesystem::copy_file(std::string(ZOV_SOURCE_DIR) + "/data/language/" + name,
                                       m_folders.data + "language/" + name);
        m_app = std::make_unique<ZovApp>(m_doc, m_folders);
        ASSERT_TRUE(m_app->Startup());
        m_window = std::make_unique<CMainWindow>(*m_app);
        m_window->DialogHooks().message = [](const QString&, bool) {};
        m_window->show();
        m_project = m_dir.File("film.scp");
        ASSERT_TRUE(zovtest::MakeProject(m_doc, m_project, 32, 24, 15, 100));
        ASSERT_TRUE(m_window->OpenProjectPath(QString::fromStdString(m_project)));
    }
    void TearDown() override {
        m_window.reset();
        m_app->Shutdown();
        SetLogPath("");
    }
    double WavSeconds() {
        WaveInfo info;
        return ReadWaveInfo(m_dir.File("film.wav"), info) ? double(info.dataSize) / info.bytesPerSecond : -1;
    }

    zovtest::PulseTestServer m_pulse;
    zovtest::TempDir m_dir;
    AppFolders m_folders;
    CAni m_doc;
    std::unique_ptr<ZovApp> m_app;
    std::unique_ptr<CMainWindow> m_window;
    std::string m_project;
};

} // namespace

TEST_F(Narration, PlayWithTheFlagRecordsUntilPlaybackEndsOrStops) {
    // Flag off: playing records nothing.
    m_window->RunCommand(ID_PLAY);
    ASSERT_TRUE(zovtest::WaitUntil([this] { return m_window->PlayerState() == PLAYER_IDLE; }));
    EXPECT_FALSE(std::filesystem::exists(m_dir.File("film.wav")));

    // To the end: 15 frames of 100 ms, plus the five buffers after the stop. The first sound
    // of a new recording stream can come late from the test server's null sink, so only the
    // upper bound is tight.
    m_window->RunCommand(ID_READY_TO_RECORD_SOUND);
    EXPECT_TRUE(m_window->RecordSoundOnPlay());
    m_window->RunCommand(ID_PLAY);
    ASSERT_TRUE(zovtest::WaitUntil([this] { return m_window->PlayerState() == PLAYER_IDLE; }));
    EXPECT_FALSE(m_window->RecordSoundOnPlay()) << "the flag is cleared when playback ends";
    EXPECT_GE(WavSeconds(), 0.5);
    EXPECT_LE(WavSeconds(), 2.6);
    if (!FindMp3Encoder().empty())
        EXPECT_TRUE(std::filesystem::exists(m_dir.File("film.mp3")));

    // Stopped half-way: the recording ends with it, the WAV is complete.
    std::filesystem::remove(m_dir.File("film.wav"));
    m_window->RunCommand(ID_READY_TO_RECORD_SOUND);
    m_window->RunCommand(ID_PLAY);
    ASSERT_TRUE(zovtest::WaitUntil([this] { return m_window->PlayingFrame() >= 5; }));
    m_window->RunCommand(ID_PLAY_STOP);
    EXPECT_EQ(m_window->PlayerState(), PLAYER_IDLE);
    EXPECT_GE(WavSeconds(), 0.5) << "at least the five buffers after the stop";
    EXPECT_LT(WavSeconds(), 1.6);
}
