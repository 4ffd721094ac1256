// The sound recorder against a real PulseAudio server of the test's own, which plays a sox
// tone into a null sink whose monitor is the default input: each capture format's header and
// signal, the stop order's five buffers, a server that is killed or frozen, the real lame's
// MP3, a failing encoder, and a recording process killed with SIGKILL.
#include "sound/Mp3Convert.h"
#include "sound/PulseSoundSource.h"
#include "sound/SoundFiles.h"
#include "sound/SoundRecorder.h"
#include "tests/sound/SoundAnalysis.h"
#include "tests/support/PulseTestServer.h"
#include "tests/support/TestFiles.h"

#include "base/Log.h"
#include "base/Pacing.h"
#include "core/Ani.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>

using namespace zov;
using namespace zovtest;
using Clock = std::chrono::steady_clock;

extern char** environ;

namespace {

constexpr double kToneHz = 1000, kToneLevel = 0.5;

bool WaitFor(const std::function<bool()>& f, int timeoutMs) {
    const auto end = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (Clock::now() < end) {
        if (f())
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return f();
}

int64_t FileSize(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 ? int64_t(st.st_size) : -1;
}

// Everything a case needs: a server playing the tone, a project, the log in the scratch folder.
class PulseSound : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(server.Ok()) << server.Error();
        ASSERT_TRUE(server.PlayTone(kToneHz, kToneLevel));
        SetLogPath(dir.File("test.log"));
        std::string project = dir.File("film.scp");
        ASSERT_TRUE(doc.NewProject(project, false));
        record.path = SoundWavPath(project);
    }
    void TearDown() override { SetLogPath(""); }
    SoundRequest Request(int kbps) {
        SoundRequest r;
        r.recordWithScreen = true;
        r.mp3BitRate = kbps;
        return r;
    }
    std::string LogText() { return ReadText(dir.File("test.log")); }

    PulseTestServer server;
    TempDir dir{"zov sound \"q\""}; // blanks and a double quote in every path
    CAni doc;
    CSoundRecorder recorder{doc, [] { return MakePulseSoundSource("zov-test"); }};
    SoundClipRecord record;
};

void ExpectHeader(const std::vector<uint8_t>& wav, int kbps) {
    ASSERT_GE(wav.size(), 44u);
    const SoundCaptureFormat f = SoundCaptureFormatForBitRate(kbps);
    const uint32_t data = uint32_t(wav.size() - 44);
    EXPECT_EQ(Le32(wav, 4), 36 + data);
    EXPECT_EQ(Le32(wav, 40), data);
    EXPECT_EQ(Le16(wav, 20), 1);
    EXPECT_EQ(Le16(wav, 22), f.channels);
    EXPECT_EQ(Le32(wav, 24), f.samplesPerSecond);
    EXPECT_EQ(Le32(wav, 28), f.BytesPerSecond());
    EXPECT_EQ(Le16(wav, 32), f.BlockAlign());
    EXPECT_EQ(Le16(wav, 34), f.bitsPerSample);
    EXPECT_EQ(data % (f.BytesPerSecond() / 10), 0u) << "whole buffers only";
}

} // namespace

TEST_F(PulseSound, EachFormatRecordsTheToneInStepsOfAtMost300ms) {
    for (int kbps : {8, 16, 24}) {
        SCOPED_TRACE(kbps);
        const SoundCaptureFormat f = SoundCaptureFormatForBitRate(kbps);
        ASSERT_TRUE(recorder.Start(record, Request(kbps)));
        EXPECT_EQ(doc.m_control_rec_snd.load(), C_CONTROL_RUN);
        // Watch the file grow for two seconds of sound: no step may hold more than 300 ms.
        int64_t size = FileSize(record.path), biggestStep = 0;
        const int64_t target = 44 + 2 * int64_t(f.BytesPerSecond());
        ASSERT_TRUE(WaitFor(
            [&] {
                const int64_t now = FileSize(record.path);
                biggestStep = std::max(biggestStep, now - size);
                size = now;
                return now >= target;
            },
            10000));
        EXPECT_LE(biggestStep, int64_t(f.BytesPerSecond()) * 3 / 10);
        ASSERT_TRUE(recorder.Stop(true, false));
        EXPECT_EQ(doc.m_control_rec_snd.load(), C_CONTROL_STOP);
        const std::vector<uint8_t> wav = ReadAll(record.path);
        ExpectHeader(wav, kbps);
        EXPECT_EQ(record.byteCount, wav.size() - 44);
        const ToneMeasure m = MeasureTone(FirstChannel(wav), f.samplesPerSecond);
        EXPECT_NEAR(m.frequency, kToneHz, kToneHz * 0.01);
        EXPECT_NEAR(m.amplitude, kToneLevel, kToneLevel * 0.10);
    }
}

TEST_F(PulseSound, AStopAtOnceHoldsTheFiveBuffersAndTheStateIsGuarded) {
    EXPECT_FALSE(recorder.Stop()) << "stop without a start";
    const uint32_t expected[] = {4000, 11025, 44100};
    int i = 0;
    for (int kbps : {8, 16, 24}) {
        SCOPED_TRACE(kbps);
        ASSERT_TRUE(recorder.Start(record, Request(kbps)));
        SoundClipRecord second;
        second.path = dir.File("second.wav");
        EXPECT_FALSE(recorder.Start(second, Request(kbps)));
        EXPECT_NE(LogText().find("***** m_control_rec_snd != C_CONTROL_STOP"), std::string::npos);
        EXPECT_FALSE(FileExists(second.path)) << "the running recording is left alone";
        ASSERT_TRUE(recorder.Stop(true, false));
        const std::vector<uint8_t> wav = ReadAll(record.path);
        ExpectHeader(wav, kbps);
        EXPECT_EQ(wav.size() - 44, expected[i++]) << LogText();
        // The five buffers hold the tone, not silence.
        EXPECT_GT(
            MeasureTone(FirstChannel(wav), SoundCaptureFormatForBitRate(kbps).samplesPerSecond).amplitude,
            kToneLevel / 2);
    }
    EXPECT_FALSE(recorder.Stop());
}

TEST_F(PulseSound, AServerKilledMidRecordingEndsTheSoundWithAValidWav) {
    ASSERT_TRUE(recorder.Start(record, Request(16)));
    ASSERT_TRUE(WaitFor([&] { return FileSize(record.path) >= 44 + 22050; }, 10000));
    server.Kill();
    ASSERT_TRUE(WaitFor([&] { return recorder.SourceFailed(); }, 5000));
    EXPECT_FALSE(recorder.LastError().empty());
    // Valid before stop: the sizes are on disk as soon as the sound ended.
    WaveInfo info;
    std::string why;
    ASSERT_TRUE(ReadWaveInfo(record.path, info, &why)) << why;
    EXPECT_EQ(info.dataSize, FileSize(record.path) - 44);
    EXPECT_GE(info.dataSize, 22050);
    EXPECT_NE(LogText().find("***** Sound input failed, the sound recording ends: " + recorder.LastError()),
              std::string::npos);
    EXPECT_TRUE(recorder.Stop(true, false));
    ExpectHeader(ReadAll(record.path), 16);
}

TEST_F(PulseSound, AFrozenServerHoldsStopUpForLessThanThreeSeconds) {
    ASSERT_TRUE(recorder.Start(record, Request(8)));
    ASSERT_TRUE(WaitFor([&] { return FileSize(record.path) >= 44 + 8000; }, 10000));
    server.Freeze();
    const auto before = Clock::now();
    EXPECT_TRUE(recorder.Stop(true, false));
    EXPECT_LT(Clock::now() - before, std::chrono::seconds(3));
    ExpectHeader(ReadAll(record.path), 8);
    EXPECT_NE(LogText().find("did not return the buffers"), std::string::npos);
    // The thread left waiting wakes when the server dies and touches nothing.
    server.Kill();
}

TEST_F(PulseSound, TheRealLameMakesAnMp3OfTheRecordingsLength) {
    if (FindMp3Encoder().empty())
        GTEST_SKIP() << "lame is not installed (scripts/deps/sound.txt installs it)";
    ASSERT_TRUE(recorder.Start(record, Request(24)));
    ASSERT_TRUE(WaitFor([&] { return FileSize(record.path) >= 44 + 2 * 88200; }, 10000));
    ASSERT_TRUE(recorder.Stop());
    ASSERT_TRUE(recorder.LastMp3().ok) << recorder.LastMp3().message;
    const std::string mp3 = SoundMp3Path(record.path);
    ASSERT_EQ(mp3, dir.File("film.mp3"));
    const double seconds = (FileSize(record.path) - 44) / 88200.0;
    std::string probe = dir.File("probe.txt");
    const std::string cmd = "ffprobe -v error -show_entries format=duration -of csv=p=0 \"$1\" > \"$2\"";
    pid_t pid;
    const char* argv[] = {"sh", "-c", cmd.c_str(), "sh", mp3.c_str(), probe.c_str(), nullptr};
    ASSERT_EQ(posix_spawnp(&pid, "sh", nullptr, nullptr, const_cast<char**>(argv), environ), 0);
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    const double decoded = std::atof(ReadText(probe).c_str());
    EXPECT_NEAR(decoded, seconds, std::max(0.25, seconds * 0.05));
    // No temporary name is left behind.
    for (const auto& entry : std::filesystem::directory_iterator(dir.Path()))
        EXPECT_EQ(entry.path().filename().string().find(".part"), std::string::npos) << entry.path();
}

TEST_F(PulseSound, AFailingEncoderLeavesTheOlderMp3AndSaysSo) {
    const std::string mp3 = dir.File("film.mp3");
    ASSERT_TRUE(WriteText(mp3, "the good older MP3"));
    const std::string stub = dir.File("failing lame");
    // Writes half a file where it was told to, then fails.
    ASSERT_TRUE(
        WriteText(stub, "#!/bin/sh\nhead -c 1000 \"$1\" > \"$2\"\necho 'stub: out of disk' >&2\nexit 3\n"));
    ASSERT_EQ(chmod(stub.c_str(), 0755), 0);
    recorder.SetMp3Encoder(stub);
    ASSERT_TRUE(recorder.Start(record, Request(8)));
    ASSERT_TRUE(recorder.Stop());
    EXPECT_FALSE(recorder.LastMp3().ok);
    EXPECT_EQ(ReadText(mp3), "the good older MP3");
    const std::string log = LogText();
    EXPECT_NE(log.find("lame: stub: out of disk"), std::string::npos);
    EXPECT_NE(log.find("***** MP3 conversion failed, the older MP3 is kept: lame ended with status 3"),
              std::string::npos);
    EXPECT_TRUE(FileExists(record.path));
}

TEST_F(PulseSound, ARecordingKilledWithSigkillLeavesAValidWav) {
    const std::string wav = dir.File("killed.wav");
    pid_t pid;
    const std::string child = std::string(ZOV_TEST_BIN_DIR) + "/sound_record_child";
    const char* argv[] = {child.c_str(), wav.c_str(), "24", nullptr};
    ASSERT_EQ(posix_spawn(&pid, child.c_str(), nullptr, nullptr, const_cast<char**>(argv), environ), 0);
    // Past the first header rewrite (at one second) and into the next.
    const bool grew = WaitFor([&] { return FileSize(wav) >= 44 + int64_t(1.5 * 88200); }, 10000);
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    ASSERT_TRUE(grew);
    WaveInfo info;
    std::string why;
    ASSERT_TRUE(ReadWaveInfo(wav, info, &why)) << why;
    // The header is at most a second (plus the buffer being written) behind the samples.
    EXPECT_GE(info.dataSize, 88200);
    EXPECT_LE(info.dataSize, FileSize(wav) - 44);
    EXPECT_GE(info.dataSize + 88200 + 8820, FileSize(wav) - 44);
    EXPECT_EQ(info.dataSize % 8820, 0);
}
