// `zovrec record --sound` on a private Xvfb and a PulseAudio server of the test's own: the WAV
// and MP3 beside the project, a pause that keeps sound and frames in step, a server killed
// while the screen goes on, and no server at all.
#include "sound/WaveFile.h"
#include "tests/support/PulseTestServer.h"
#include "tests/support/TestFiles.h"
#include "tests/support/XTestEnv.h"

#include "base/BinFile.h"
#include "core/Ani.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <sys/stat.h>

using namespace zovtest;

namespace {

int LastProgress(const std::string& path) {
    std::string text;
    zov::ReadWholeFile(path, text);
    int last = 0;
    for (size_t at = text.find("frame "); at != std::string::npos; at = text.find("frame ", at + 1))
        last = std::atoi(text.c_str() + at + 6);
    return last;
}

int FramesOf(const std::string& project) {
    zov::CAni doc;
    doc.Initialise();
    std::string path = project;
    if (!doc.OpenProject(path))
        return -1;
    const int n = doc.FrameCount();
    doc.Close();
    return n;
}

double WavSeconds(const std::string& path) {
    zov::WaveInfo info;
    return zov::ReadWaveInfo(path, info) ? double(info.dataSize) / info.bytesPerSecond : -1;
}

struct Scene {
    Xvfb x{320, 240, 24};
    PulseTestServer pulse;
    void Check() {
        ASSERT_TRUE(x.Ok());
        ASSERT_TRUE(pulse.Ok()) << pulse.Error();
        ASSERT_TRUE(pulse.PlayTone(440, 0.4));
    }
};

} // namespace

TEST(ZovrecSound, RecordLeavesTheWavAndMp3BesideTheProject) {
    Scene s;
    s.Check();
    const std::string dir = TempFolder("zovrec-sound");
    RunResult r = RunProgram(
        {ZovrecPath(), "record", dir + "film.scp", "--seconds", "4", "--sound", "--area", "0,0,160,120"},
        s.x.Display());
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("sound in " + dir + "film.wav and " + dir + "film.mp3"), std::string::npos) << r.out;
    EXPECT_TRUE(zov::FileExists(dir + "film.mp3"));
    // Four seconds of screen, plus the five buffers after the stop.
    EXPECT_NEAR(WavSeconds(dir + "film.wav"), 4.5, 0.6);
}

TEST(ZovrecSound, APauseKeepsTheSoundInStepWithTheFrames) {
    Scene s;
    s.Check();
    const std::string dir = TempFolder("zovrec-pause");
    const std::string out = dir + "out.txt", err = dir + "err.txt";
    pid_t pid = Start({ZovrecPath(), "record", dir + "film.scp", "--sound", "--mp3-kbps", "16", "--delay",
                       "100", "--area", "0,0,160,120", "--progress"},
                      s.x.Display(), out, err);
    ASSERT_TRUE(WaitForText(out, "frame 10\n", 20000));
    kill(pid, SIGUSR1);
    const int atPause = LastProgress(out);
    SleepMs(3000); // the pause itself is what is measured
    kill(pid, SIGUSR2);
    ASSERT_TRUE(WaitUntil([&] { return LastProgress(out) >= atPause + 10; }, 20000));
    kill(pid, SIGINT);
    ASSERT_EQ(WaitExit(pid), 0) << ReadText(err);
    const int frames = FramesOf(dir + "film.scp");
    ASSERT_GT(frames, 20);
    EXPECT_NEAR(WavSeconds(dir + "film.wav"), frames * 0.1, 0.6) << frames << " frames";
}

TEST(ZovrecSound, AKilledServerEndsTheSoundAndTheScreenGoesOn) {
    Scene s;
    s.Check();
    const std::string dir = TempFolder("zovrec-kill");
    const std::string out = dir + "out.txt", err = dir + "err.txt";
    pid_t pid =
        Start({ZovrecPath(), "record", dir + "film.scp", "--sound", "--area", "0,0,160,120", "--progress"},
              s.x.Display(), out, err);
    ASSERT_TRUE(WaitForText(out, "frame 5\n", 20000));
    // Some sound on disk first, so that keeping it says something.
    const std::string wav = dir + "film.wav";
    auto wavBytes = [&] {
        struct stat st;
        return stat(wav.c_str(), &st) == 0 ? int64_t(st.st_size) : int64_t(-1);
    };
    ASSERT_TRUE(WaitUntil([&] { return wavBytes() > 44 + 4000; }, 20000));
    const int64_t atKillBytes = wavBytes();
    s.pulse.Kill();
    ASSERT_TRUE(WaitForText(err, "the screen recording goes on", 10000));
    const int atKill = LastProgress(out);
    EXPECT_TRUE(WaitUntil([&] { return LastProgress(out) >= atKill + 10; }, 20000))
        << "frames after the sound ended";
    kill(pid, SIGINT);
    EXPECT_EQ(WaitExit(pid), 0) << ReadText(err);
    // A valid WAV that keeps every byte of sound written before the kill.
    zov::WaveInfo info;
    ASSERT_TRUE(zov::ReadWaveInfo(wav, info));
    EXPECT_GE(int64_t(info.dataSize) + 44, atKillBytes);
    EXPECT_GT(FramesOf(dir + "film.scp"), atKill);
}

TEST(ZovrecSound, WithoutAServerNothingIsRecordedAndTheServerSaysWhy) {
    Xvfb x(320, 240, 24);
    ASSERT_TRUE(x.Ok());
    const std::string dir = TempFolder("zovrec-noserver");
    RunResult r = RunProgram({ZovrecPath(), "record", dir + "film.scp", "--seconds", "1", "--sound"},
                             x.Display(), {"PULSE_SERVER=unix:" + dir + "no-such-socket"});
    EXPECT_NE(r.exitCode, 0);
    EXPECT_NE(r.err.find("no sound can be recorded: Connection refused"), std::string::npos) << r.err;
}
