// Processes and POSIX named semaphores: the only contact with the external programs. A
// program is started from an argument vector, never through a shell.
#pragma once

#include <string>
#include <sys/types.h>
#include <vector>

namespace zov {

// Starts argv[0] (a path) with the given arguments, in `workingFolder` when not empty.
// Returns the child's pid, or -1 when it could not be started.
pid_t SpawnProcess(const std::vector<std::string>& argv, const std::string& workingFolder = {});

// Waits for a started child; its exit status as waitpid reports it, or -1.
int WaitProcess(pid_t pid);

// Posts the named semaphore `name` ("/Name") if it exists. False when there is none, which
// for a signal to another program means that program is not running.
bool PostNamedSemaphore(const std::string& name);

} // namespace zov
