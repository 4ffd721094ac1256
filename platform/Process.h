// Processes and POSIX named semaphores: the only contact with the external programs (the
// drawing tool, the sound encoder, the media encoder). A program is started from an argument
// vector, never through a shell, and starts clean: no blocked or ignored signals and no
// descriptor but standard input, output and error, whatever the recorder has open or blocked.
#pragma once

#include <string>
#include <sys/types.h>
#include <vector>

namespace zov {

// Where a started program's standard output or standard error goes.
struct ProcessOutput {
    enum class Kind { Inherit, Discard, File };
    Kind kind = Kind::Inherit;
    std::string path; // Kind::File: created, or truncated when it exists

    static ProcessOutput Inherit() { return {}; }
    static ProcessOutput Discard() { return {Kind::Discard, {}}; }
    static ProcessOutput ToFile(std::string file) { return {Kind::File, std::move(file)}; }
};

struct ProcessOptions {
    std::string workingFolder; // empty: the recorder's own
    ProcessOutput output;      // standard output
    ProcessOutput errors;      // standard error; the same file as `output` is shared, not opened twice
};

// Starts argv[0] with the given arguments: a path, or a bare name looked up on PATH. Output
// file paths are taken relative to the recorder's working folder, the program's path relative
// to the child's. Returns the child's pid, or -1 when it could not be started (no such
// program, not executable, a working folder or output file that cannot be used).
pid_t SpawnProcess(const std::vector<std::string>& argv, const ProcessOptions& options);
pid_t SpawnProcess(const std::vector<std::string>& argv, const std::string& workingFolder = {});

// Waits for a started child; its exit status as waitpid reports it, or -1.
int WaitProcess(pid_t pid);

// How a waited-for child ended.
struct ProcessEnd {
    int status = -1;       // as waitpid reports it; -1 when the child could not be waited for
    bool timedOut = false; // it did not exit in time and was ended
};

// Waits up to `timeoutMs` (negative: for good). A child still running then is asked to end
// (SIGTERM) and, when it has not ended `graceMs` later, killed (SIGKILL). Always reaps it.
ProcessEnd WaitProcessFor(pid_t pid, int timeoutMs, int graceMs = 2000);

// Starts a program and waits for it as WaitProcessFor does; status -1 when it did not start.
ProcessEnd RunProcess(const std::vector<std::string>& argv, const ProcessOptions& options, int timeoutMs,
                      int graceMs = 2000);

// True while a started child has not ended. Does not reap it.
bool ProcessRunning(pid_t pid);

// Posts the named semaphore `name` ("/Name") if it exists. False when there is none, which
// for a signal to another program means that program is not running.
bool PostNamedSemaphore(const std::string& name);

// Removes `name` and creates it afresh with count 0, so that no post left from an earlier run
// reaches the next program that waits on it. False when it cannot be created.
bool ResetNamedSemaphore(const std::string& name);

} // namespace zov
