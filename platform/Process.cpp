#include "platform/Process.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <semaphore.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace zov {

namespace {

// posix_spawn's two attribute blocks, released on every path.
struct SpawnSetup {
    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attributes;
    bool haveActions = false, haveAttributes = false;
    ~SpawnSetup() {
        if (haveActions)
            posix_spawn_file_actions_destroy(&actions);
        if (haveAttributes)
            posix_spawnattr_destroy(&attributes);
    }
};

bool Redirect(posix_spawn_file_actions_t* actions, int fd, const ProcessOutput& to) {
    // No O_CLOEXEC here: these become the child's standard descriptors.
    switch (to.kind) {
    case ProcessOutput::Kind::Inherit:
        return true;
    case ProcessOutput::Kind::Discard:
        return posix_spawn_file_actions_addopen(actions, fd, "/dev/null", O_WRONLY, 0) == 0;
    case ProcessOutput::Kind::File:
        return !to.path.empty() && posix_spawn_file_actions_addopen(actions, fd, to.path.c_str(),
                                                                    O_WRONLY | O_CREAT | O_TRUNC, 0644) == 0;
    }
    return false;
}

// Waits until the child has ended or `timeoutMs` has passed; true when it ended. The child
// is not reaped.
bool AwaitEnd(pid_t pid, int timeoutMs) {
    using Clock = std::chrono::steady_clock;
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    auto left = [&] {
        auto ms = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
        return ms > 0 ? int(ms) : 0;
    };
#ifdef SYS_pidfd_open
    // A process descriptor turns readable when the child ends (close-on-exec by design).
    int pidfd = int(syscall(SYS_pidfd_open, pid, 0));
    if (pidfd >= 0) {
        for (;;) {
            pollfd p{pidfd, POLLIN, 0};
            int r = poll(&p, 1, left());
            if (r > 0 || (r == 0 && left() == 0) || (r < 0 && errno != EINTR)) {
                close(pidfd);
                return r > 0 || !ProcessRunning(pid);
            }
        }
    }
#endif
    // Kernels without process descriptors: look again every 10 ms.
    for (;;) {
        if (!ProcessRunning(pid))
            return true;
        if (left() == 0)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(std::min(10, left())));
    }
}

} // namespace

pid_t SpawnProcess(const std::vector<std::string>& argv, const ProcessOptions& options) {
    if (argv.empty() || argv[0].empty())
        return -1;
    std::vector<char*> args;
    for (const std::string& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);

    SpawnSetup s;
    if (posix_spawn_file_actions_init(&s.actions) != 0)
        return -1;
    s.haveActions = true;
    if (posix_spawnattr_init(&s.attributes) != 0)
        return -1;
    s.haveAttributes = true;

    // Output files first, so that their paths are the recorder's, then the working folder.
    // The child gets its own working folder; the recorder's stays as it is (its other threads
    // rely on it).
    const ProcessOutput& out = options.output;
    const ProcessOutput& err = options.errors;
    bool shared = out.kind == ProcessOutput::Kind::File && err.kind == ProcessOutput::Kind::File &&
                  out.path == err.path;
    if (!Redirect(&s.actions, STDOUT_FILENO, out))
        return -1;
    if (shared ? posix_spawn_file_actions_adddup2(&s.actions, STDOUT_FILENO, STDERR_FILENO) != 0
               : !Redirect(&s.actions, STDERR_FILENO, err))
        return -1;
    if (!options.workingFolder.empty() &&
        posix_spawn_file_actions_addchdir_np(&s.actions, options.workingFolder.c_str()) != 0)
        return -1;
    // Whatever the recorder has open (a stream being written, sockets, a file another thread
    // opened a moment ago) stays its own.
    if (posix_spawn_file_actions_addclosefrom_np(&s.actions, STDERR_FILENO + 1) != 0)
        return -1;

    // The recorder blocks its control signals on every thread and ignores SIGPIPE; the child
    // starts with neither, so that it can be told to end.
    sigset_t none, all;
    sigemptyset(&none);
    sigfillset(&all);
    if (posix_spawnattr_setsigmask(&s.attributes, &none) != 0 ||
        posix_spawnattr_setsigdefault(&s.attributes, &all) != 0 ||
        posix_spawnattr_setflags(&s.attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF) != 0)
        return -1;

    pid_t pid = -1;
    const bool bare = argv[0].find('/') == std::string::npos;
    int rc = bare ? posix_spawnp(&pid, args[0], &s.actions, &s.attributes, args.data(), environ)
                  : posix_spawn(&pid, args[0], &s.actions, &s.attributes, args.data(), environ);
    return rc == 0 ? pid : -1;
}

pid_t SpawnProcess(const std::vector<std::string>& argv, const std::string& workingFolder) {
    ProcessOptions options;
    options.workingFolder = workingFolder;
    return SpawnProcess(argv, options);
}

int WaitProcess(pid_t pid) {
    if (pid <= 0)
        return -1;
    int status = 0;
    pid_t r;
    do {
        r = waitpid(pid, &status, 0);
    } while (r < 0 && errno == EINTR);
    return r == pid ? status : -1;
}

ProcessEnd WaitProcessFor(pid_t pid, int timeoutMs, int graceMs) {
    ProcessEnd end;
    if (pid <= 0)
        return end;
    if (timeoutMs >= 0 && !AwaitEnd(pid, timeoutMs)) {
        end.timedOut = true;
        kill(pid, SIGTERM);
        if (!AwaitEnd(pid, graceMs > 0 ? graceMs : 0))
            kill(pid, SIGKILL);
    }
    end.status = WaitProcess(pid);
    return end;
}

ProcessEnd RunProcess(const std::vector<std::string>& argv, const ProcessOptions& options, int timeoutMs,
                      int graceMs) {
    pid_t pid = SpawnProcess(argv, options);
    if (pid <= 0)
        return {};
    return WaitProcessFor(pid, timeoutMs, graceMs);
}

bool ProcessRunning(pid_t pid) {
    if (pid <= 0)
        return false;
    siginfo_t info{};
    int r;
    do {
        r = waitid(P_PID, id_t(pid), &info, WEXITED | WNOHANG | WNOWAIT);
    } while (r < 0 && errno == EINTR);
    // si_pid stays 0 while the child runs; an error means it is not (or no longer) ours.
    return r == 0 && info.si_pid == 0;
}

bool PostNamedSemaphore(const std::string& name) {
    sem_t* sem = sem_open(name.c_str(), 0);
    if (sem == SEM_FAILED)
        return false;
    bool ok = sem_post(sem) == 0;
    sem_close(sem);
    return ok;
}

bool ResetNamedSemaphore(const std::string& name) {
    sem_unlink(name.c_str());
    sem_t* sem = sem_open(name.c_str(), O_CREAT | O_EXCL, 0600, 0);
    if (sem == SEM_FAILED)
        return false;
    sem_close(sem);
    return true;
}

} // namespace zov
