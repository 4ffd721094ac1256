// The sound path over a long recording, beside parec recording the same default input into a
// file for the same time, both against a PulseAudio server of the bench's own playing a tone.
//
//   build/bench/bin/sound_bench [SECONDS]        (default 1200: twenty minutes)
//
// Reports, for each: the WAV's (or file's) length against the wall time the recording ran
// (no lost buffer keeps it within 0.5 %), and the CPU time it used as a share of one core;
// then the ratio of our CPU share to parec's. The recorder runs in this process (its capture
// thread plus libpulse's own thread), so the process's CPU time is the sound path's.
#include "core/Ani.h"
#include "sound/PulseSoundSource.h"
#include "sound/SoundRecorder.h"
#include "sound/WaveFile.h"
#include "tests/support/PulseTestServer.h"

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <spawn.h>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace {

double CpuSeconds(const rusage& u) {
    return u.ru_utime.tv_sec + u.ru_utime.tv_usec / 1e6 + u.ru_stime.tv_sec + u.ru_stime.tv_usec / 1e6;
}

} // namespace

int main(int argc, char** argv) {
    const int seconds = argc > 1 ? std::atoi(argv[1]) : 1200;
    if (seconds <= 0) {
        std::fprintf(stderr, "usage: sound_bench [SECONDS]\n");
        return 2;
    }
    zovtest::PulseTestServer server;
    if (!server.Ok() || !server.PlayTone(1000, 0.5)) {
        std::fprintf(stderr, "sound_bench: no PulseAudio server: %s\n", server.Error().c_str());
        return 1;
    }
    char folder[] = "/tmp/zov-sound-bench-XXXXXX";
    if (!mkdtemp(folder))
        return 1;
    const std::string wav = std::string(folder) + "/ours.wav", peer = std::string(folder) + "/parec.raw";

    // The peer: parec in the same format as ours at 24 kbps (16-bit stereo 22,050 Hz).
    const std::string cmd =
        "exec parec --raw --rate=22050 --channels=2 --format=s16le --latency-msec=100 > '" + peer + "'";
    const char* pargv[] = {"sh", "-c", cmd.c_str(), nullptr};
    pid_t parec = -1;
    if (posix_spawnp(&parec, "sh", nullptr, nullptr, const_cast<char**>(pargv), environ) != 0) {
        std::fprintf(stderr, "sound_bench: parec cannot be started\n");
        return 1;
    }

    zov::CAni doc;
    zov::CSoundRecorder recorder(doc, [] { return zov::MakePulseSoundSource("sound_bench"); });
    zov::SoundClipRecord record;
    record.path = wav;
    zov::SoundRequest request;
    request.recordWithScreen = true;
    request.mp3BitRate = 24;
    rusage before{};
    getrusage(RUSAGE_SELF, &before);
    const auto start = std::chrono::steady_clock::now();
    if (!recorder.Start(record, request)) {
        std::fprintf(stderr, "sound_bench: %s\n", recorder.LastError().c_str());
        kill(parec, SIGTERM);
        return 1;
    }
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
    recorder.Stop(true, false);
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    rusage after{};
    getrusage(RUSAGE_SELF, &after);
    kill(parec, SIGTERM);
    int status = 0;
    rusage peerUse{};
    wait4(parec, &status, 0, &peerUse);

    zov::WaveInfo info;
    std::string why;
    if (!zov::ReadWaveInfo(wav, info, &why)) {
        std::fprintf(stderr, "sound_bench: the WAV does not read back: %s\n", why.c_str());
        return 1;
    }
    struct stat st {};
    stat(peer.c_str(), &st);
    // Ours runs on for its five last buffers after the stop; the wall time includes the stop.
    const double ourSeconds = double(info.dataSize) / info.bytesPerSecond;
    const double peerSeconds = double(st.st_size) / 88200.0;
    const double ourCpu = CpuSeconds(after) - CpuSeconds(before), peerCpu = CpuSeconds(peerUse);
    std::printf("recording of %d s (wall %.2f s, 16-bit stereo 22,050 Hz)\n", seconds, wall);
    std::printf("  ours : %.3f s of sound = %.3f %% of wall time, CPU %.3f s = %.3f %% of a core\n",
                ourSeconds, 100.0 * ourSeconds / wall, ourCpu, 100.0 * ourCpu / wall);
    std::printf("  parec: %.3f s of sound = %.3f %% of wall time, CPU %.3f s = %.3f %% of a core\n",
                peerSeconds, 100.0 * peerSeconds / wall, peerCpu, 100.0 * peerCpu / wall);
    std::printf("  CPU ratio ours / parec: %.2f\n", peerCpu > 0 ? ourCpu / peerCpu : 0.0);
    std::remove(wav.c_str());
    std::remove(peer.c_str());
    rmdir(folder);
    return 0;
}
