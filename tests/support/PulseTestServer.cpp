#include "tests/support/PulseTestServer.h"

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <functional>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace zovtest {

namespace {

pid_t SpawnAll(const std::vector<std::string>& args, const std::string& log, bool newGroup) {
    std::vector<char*> argv;
    for (const std::string& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    if (newGroup) {
        posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETPGROUP);
        posix_spawnattr_setpgroup(&attr, 0);
    }
    pid_t pid = -1;
    if (posix_spawnp(&pid, argv[0], &actions, &attr, argv.data(), environ) != 0)
        pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
    return pid;
}

// Runs a short command to its end; true on exit status 0.
bool RunQuiet(const std::vector<std::string>& args, const std::string& log) {
    pid_t pid = SpawnAll(args, log, false);
    int status = 0;
    return pid > 0 && waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

bool Eventually(const std::function<bool()>& f, int timeoutMs) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (std::chrono::steady_clock::now() < end) {
        if (f())
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return f();
}

} // namespace

PulseTestServer::PulseTestServer() {
    char folder[] = "/tmp/zov-pulse-XXXXXX";
    if (!mkdtemp(folder)) {
        m_error = "no temporary folder";
        return;
    }
    m_folder = folder;
    mkdir((m_folder + "/run").c_str(), 0700);
    mkdir((m_folder + "/home").c_str(), 0700);
    if (const char* s = std::getenv("PULSE_SERVER")) {
        m_hadServer = true;
        m_savedServer = s;
    }
    setenv("PULSE_SERVER", Address().c_str(), 1);
    // The server's own environment: a private runtime folder and home.
    const std::string log = m_folder + "/pulseaudio.log";
    m_pid = SpawnAll({"env", "XDG_RUNTIME_DIR=" + m_folder + "/run", "HOME=" + m_folder + "/home",
                      "pulseaudio", "-n", "--daemonize=no", "--exit-idle-time=-1", "--use-pid-file=no",
                      "--disable-shm=yes", "--log-target=stderr", "-L",
                      "module-native-protocol-unix auth-anonymous=1 socket=" + m_folder + "/native", "-L",
                      "module-null-sink sink_name=zovsink rate=44100 channels=2"},
                     log, true);
    if (m_pid <= 0) {
        m_error = "pulseaudio cannot be started";
        return;
    }
    if (!Eventually([&] { return Pactl("info"); }, 10000)) {
        m_error = "pulseaudio did not answer; see " + log;
        return;
    }
    if (!Pactl("set-default-source zovsink.monitor") || !Pactl("set-default-sink zovsink")) {
        m_error = "the null sink's monitor cannot be made the default source";
        return;
    }
    m_ok = true;
}

PulseTestServer::~PulseTestServer() {
    StopTone();
    Kill();
    if (m_hadServer)
        setenv("PULSE_SERVER", m_savedServer.c_str(), 1);
    else
        unsetenv("PULSE_SERVER");
    if (!m_folder.empty())
        RunQuiet({"rm", "-rf", m_folder}, "/dev/null");
}

bool PulseTestServer::Pactl(const std::string& args) const {
    std::vector<std::string> argv = {"sh", "-c", "exec pactl " + args};
    return RunQuiet(argv, m_folder + "/pactl.log");
}

bool PulseTestServer::PlayTone(double hz, double amplitude) {
    StopTone();
    char cmd[512];
    std::snprintf(cmd, sizeof cmd,
                  "sox -q -n -t raw -r 44100 -e signed -b 16 -c 2 - synth 3600 sine %.3f vol %.4f | "
                  "exec pacat --raw --rate=44100 --channels=2 --format=s16le --latency-msec=50",
                  hz, amplitude);
    m_tone = SpawnAll({"sh", "-c", cmd}, m_folder + "/tone.log", true);
    if (m_tone <= 0)
        return false;
    // Playing once the server holds the stream. The null sink then takes up to its longest
    // block (two seconds) to settle on short latencies; until it has, a new recording gets
    // its first sound late. Ready when a recording of 200 ms takes less than 600 ms.
    if (!Eventually(
            [&] {
                return RunQuiet({"sh", "-c", "pactl list short sink-inputs | grep -q ."},
                                m_folder + "/pactl.log");
            },
            10000))
        return false;
    return Eventually(
        [&] {
            const auto start = std::chrono::steady_clock::now();
            const bool read = RunQuiet(
                {"sh", "-c",
                 "parec --raw --rate=8000 --format=u8 --channels=1 --latency-msec=100 | head -c 1600 | wc -c "
                 "| grep -qx 1600"},
                m_folder + "/pactl.log");
            return read && std::chrono::steady_clock::now() - start < std::chrono::milliseconds(600);
        },
        15000);
}

void PulseTestServer::StopTone() {
    if (m_tone > 0) {
        kill(-m_tone, SIGKILL);
        waitpid(m_tone, nullptr, 0);
    }
    m_tone = -1;
}

void PulseTestServer::Kill() {
    if (m_pid > 0) {
        kill(m_pid, SIGKILL);
        if (m_frozen)
            kill(m_pid, SIGCONT);
        waitpid(m_pid, nullptr, 0);
    }
    m_pid = -1;
}

void PulseTestServer::Freeze() {
    if (m_pid > 0 && kill(m_pid, SIGSTOP) == 0)
        m_frozen = true;
}

void PulseTestServer::Thaw() {
    if (m_pid > 0 && kill(m_pid, SIGCONT) == 0)
        m_frozen = false;
}

} // namespace zovtest
