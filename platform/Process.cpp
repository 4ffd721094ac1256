#include "platform/Process.h"

#include <cerrno>
#include <fcntl.h>
#include <semaphore.h>
#include <spawn.h>
#include <sys/wait.h>

extern char** environ;

namespace zov {

pid_t SpawnProcess(const std::vector<std::string>& argv, const std::string& workingFolder) {
    if (argv.empty() || argv[0].empty())
        return -1;
    std::vector<char*> args;
    for (const std::string& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    if (posix_spawn_file_actions_init(&actions) != 0)
        return -1;
    // The child gets its own working folder; the recorder's stays as it is (its other
    // threads rely on it).
    if (!workingFolder.empty() &&
        posix_spawn_file_actions_addchdir_np(&actions, workingFolder.c_str()) != 0) {
        posix_spawn_file_actions_destroy(&actions);
        return -1;
    }
    pid_t pid = -1;
    int rc = posix_spawn(&pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    return rc == 0 ? pid : -1;
}

int WaitProcess(pid_t pid) {
    int status = 0;
    pid_t r;
    do {
        r = waitpid(pid, &status, 0);
    } while (r < 0 && errno == EINTR);
    return r == pid ? status : -1;
}

bool PostNamedSemaphore(const std::string& name) {
    sem_t* sem = sem_open(name.c_str(), 0);
    if (sem == SEM_FAILED)
        return false;
    bool ok = sem_post(sem) == 0;
    sem_close(sem);
    return ok;
}

} // namespace zov
