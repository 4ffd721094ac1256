// The sound recorder's rules on the fake source: what starts it, a source that cannot open or
// fails mid-recording, and what stop does with the files.
#include "sound/Mp3Convert.h"
#include "sound/SoundFiles.h"
#include "sound/SoundRecorder.h"
#include "tests/support/TestFiles.h"

#include "base/Log.h"
#include "base/Pacing.h"
#include "core/Ani.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

using namespace zov;
using namespace zovtest;

namespace {

class FakeSound : public ::testing::Test {
  protected:
    void SetUp() override {
        SetLogPath(dir.File("test.log"));
        std::string project = dir.File("film.scp");
        ASSERT_TRUE(doc.NewProject(project, false));
        record.path = SoundWavPath(project);
    }
    void TearDown() override { SetLogPath(""); }
    void Use(const FakeSoundOptions& o) { options = o; }
    std::string LogText() { return ReadText(dir.File("test.log")); }

    TempDir dir;
    CAni doc;
    FakeSoundOptions options;
    CSoundRecorder recorder{doc, [this] { return MakeFakeSoundSource(options); }};
    SoundClipRecord record;
};

SoundRequest WithScreen(int kbps = 8) {
    SoundRequest r;
    r.recordWithScreen = true;
    r.mp3BitRate = kbps;
    return r;
}

} // namespace

TEST_F(FakeSound, NothingStartsWithBothSwitchesOff) {
    EXPECT_FALSE(recorder.Start(record, SoundRequest{}));
    EXPECT_FALSE(FileExists(record.path));
    EXPECT_EQ(LogText(), "");
    EXPECT_EQ(doc.m_control_rec_snd.load(), C_CONTROL_STOP);
    SoundRequest narration;
    narration.narration = true;
    options.realTime = false;
    options.failAfterReads = 0;
    EXPECT_TRUE(recorder.Start(record, narration));
    EXPECT_TRUE(recorder.Stop(true, false));
}

TEST_F(FakeSound, ASourceThatCannotOpenIsLoggedWithItsWords) {
    options.failOpen = true;
    EXPECT_FALSE(recorder.Start(record, WithScreen()));
    EXPECT_EQ(recorder.LastError(), "Connection refused");
    const std::string log = LogText();
    EXPECT_NE(log.find("***** Open Wave In Device Fail"), std::string::npos);
    EXPECT_NE(log.find("Connection refused"), std::string::npos);
    EXPECT_FALSE(FileExists(record.path));
    EXPECT_EQ(doc.m_control_rec_snd.load(), C_CONTROL_STOP);
    EXPECT_FALSE(recorder.Stop());
}

TEST_F(FakeSound, ASourceFailingMidRecordingLeavesTheBuffersItGave) {
    options.realTime = false;
    options.failAfterReads = 3;
    ASSERT_TRUE(recorder.Start(record, WithScreen(16)));
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!recorder.SourceFailed() && std::chrono::steady_clock::now() < end)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    ASSERT_TRUE(recorder.SourceFailed());
    std::vector<uint8_t> wav = ReadAll(record.path);
    ASSERT_EQ(wav.size(), 44u + 3 * 2205);
    EXPECT_EQ(Le32(wav, 40), 3u * 2205);
    EXPECT_EQ(Le32(wav, 4), 36u + 3 * 2205);
    EXPECT_EQ(record.byteCount, 3u * 2205);
    EXPECT_NE(LogText().find("Connection terminated"), std::string::npos);
    EXPECT_TRUE(recorder.Stop(true, false));
    EXPECT_EQ(record.writer, nullptr);
}

TEST_F(FakeSound, StopWithTheSoundNoLongerWantedDeletesBothFiles) {
    ASSERT_TRUE(WriteText(dir.File("film.mp3"), "old"));
    options.realTime = false;
    options.failAfterReads = 2;
    ASSERT_TRUE(recorder.Start(record, WithScreen()));
    ASSERT_TRUE(recorder.Stop(false));
    EXPECT_FALSE(FileExists(record.path));
    EXPECT_FALSE(FileExists(dir.File("film.mp3")));
}

TEST_F(FakeSound, AMissingEncoderKeepsTheWavAndSaysWhatToInstall) {
    ASSERT_TRUE(WriteText(dir.File("film.mp3"), "old"));
    recorder.SetMp3Encoder(dir.File("no such lame"));
    options.realTime = false;
    options.failAfterReads = 2;
    ASSERT_TRUE(recorder.Start(record, WithScreen()));
    ASSERT_TRUE(recorder.Stop());
    EXPECT_TRUE(recorder.LastMp3().noEncoder);
    EXPECT_EQ(recorder.LastMp3().message, "No lame (install the Debian package \"lame\")");
    EXPECT_EQ(ReadAll(record.path).size(), 44u + 2 * 800);
    EXPECT_EQ(ReadText(dir.File("film.mp3")), "old");
    EXPECT_NE(LogText().find(kNoLameText), std::string::npos);
}
