// Processes, the named semaphore and the drawing tool contract, with stand-in programs.
#include "platform/DrawingTool.h"
#include "platform/Process.h"
#include "tests/support/TestFiles.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <semaphore.h>
#include <sstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

using zovtest::ReadText;
using zovtest::TempDir;

std::string Bin(const char* name) {
    return std::string(ZOV_TEST_BIN_DIR) + "/" + name;
}
std::string FakeTool() {
    return Bin("zov_fake_inkpane");
}
std::string Child() {
    return Bin("zov_process_child");
}

// Waits until `path` exists (the programs here rename their notes into place).
bool WaitForFile(const std::string& path) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    struct stat st {};
    while (stat(path.c_str(), &st) != 0) {
        if (std::chrono::steady_clock::now() > until)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

// Waits until the child has ended, leaving it to be reaped by whoever owns it.
bool WaitUntilGone(pid_t pid) {
    siginfo_t info{};
    return waitid(P_PID, id_t(pid), &info, WEXITED | WNOWAIT) == 0 && info.si_pid == pid;
}

bool ExitedWith(int status, int code) {
    return WIFEXITED(status) && WEXITSTATUS(status) == code;
}
bool KilledBy(int status, int signal) {
    return WIFSIGNALED(status) && WTERMSIG(status) == signal;
}

// The descriptor numbers a child listed.
std::vector<int> ListedDescriptors(const std::string& listing) {
    std::vector<int> fds;
    std::istringstream in(listing);
    std::string line;
    while (std::getline(in, line))
        fds.push_back(std::atoi(line.c_str()));
    return fds;
}

TEST(Process, ArgumentsReachTheProgramVerbatimWithoutAShell) {
    TempDir dir;
    const std::string out = dir.File("args.txt");
    pid_t pid = zov::SpawnProcess({FakeTool(), "--print-args", out, "two words", "$HOME;echo x", "*", ""},
                                  dir.Path());
    ASSERT_GT(pid, 0);
    EXPECT_TRUE(ExitedWith(zov::WaitProcess(pid), 0));
    EXPECT_EQ(ReadText(out), "two words\n$HOME;echo x\n*\n\n");
}

TEST(Process, MissingProgramOrEmptyArgumentsAreRefused) {
    EXPECT_EQ(zov::SpawnProcess({"/nonexistent/zov-no-such-program"}), -1);
    EXPECT_EQ(zov::SpawnProcess({"zov-no-such-program-on-path"}), -1);
    EXPECT_EQ(zov::SpawnProcess({}), -1);
    EXPECT_EQ(zov::SpawnProcess({""}), -1);
    EXPECT_EQ(zov::SpawnProcess({Child(), "--exit", "0"}, "/nonexistent/folder"), -1);
    zov::ProcessOptions badOutput;
    badOutput.output = zov::ProcessOutput::ToFile("/nonexistent/folder/out.txt");
    EXPECT_EQ(zov::SpawnProcess({Child(), "--exit", "0"}, badOutput), -1);
    EXPECT_EQ(zov::RunProcess({"/nonexistent/zov-no-such-program"}, {}, 1000).status, -1);
    EXPECT_EQ(zov::WaitProcess(-1), -1);
    EXPECT_FALSE(zov::ProcessRunning(-1));
    EXPECT_FALSE(zov::PostNamedSemaphore("/zov-test-no-such-semaphore"));
}

TEST(Process, BareNameIsLookedUpOnPath) {
    const char* old = std::getenv("PATH");
    const std::string saved = old ? old : "";
    setenv("PATH", (std::string(ZOV_TEST_BIN_DIR) + ":" + saved).c_str(), 1);
    zov::ProcessEnd end = zov::RunProcess({"zov_process_child", "--exit", "7"}, {}, 10000);
    setenv("PATH", saved.c_str(), 1);
    EXPECT_FALSE(end.timedOut);
    EXPECT_TRUE(ExitedWith(end.status, 7));
}

// `zovrec record` blocks its control signals on every thread and a server ignores SIGPIPE;
// a program started from there must still be able to be told to end.
TEST(Process, ChildStartsWithNoSignalBlockedOrIgnored) {
    TempDir dir;
    sigset_t control, before;
    sigemptyset(&control);
    for (int s : {SIGINT, SIGTERM, SIGUSR1, SIGUSR2})
        sigaddset(&control, s);
    ASSERT_EQ(pthread_sigmask(SIG_BLOCK, &control, &before), 0);
    struct sigaction ignore {
    }, oldPipe{};
    ignore.sa_handler = SIG_IGN;
    sigaction(SIGPIPE, &ignore, &oldPipe);

    pid_t waiting = zov::SpawnProcess({Child(), "--wait"});
    zov::ProcessEnd status = zov::RunProcess({Child(), "--status", dir.File("status")}, {}, 10000);

    sigaction(SIGPIPE, &oldPipe, nullptr);
    pthread_sigmask(SIG_SETMASK, &before, nullptr);

    ASSERT_GT(waiting, 0);
    ASSERT_EQ(kill(waiting, SIGTERM), 0);
    zov::ProcessEnd end = zov::WaitProcessFor(waiting, 5000, 100);
    EXPECT_FALSE(end.timedOut);
    EXPECT_TRUE(KilledBy(end.status, SIGTERM));

    EXPECT_TRUE(ExitedWith(status.status, 0));
    unsigned long long blocked = ~0ull, ignored = ~0ull;
    const std::string text = ReadText(dir.File("status"));
    ASSERT_EQ(std::sscanf(text.c_str(), "SigBlk: %llx SigIgn: %llx", &blocked, &ignored), 2) << text;
    EXPECT_EQ(blocked, 0u) << text;
    // Signals 1 to 31; the C library keeps its own two real-time signals to itself.
    EXPECT_EQ(ignored & 0x7fffffffu, 0u) << text;
}

TEST(Process, ChildInheritsOnlyTheStandardDescriptors) {
    TempDir dir;
    ASSERT_TRUE(zovtest::WriteText(dir.File("held"), "x"));
    // Opened the careless way, as a library might: without close-on-exec.
    int held = open(dir.File("held").c_str(), O_RDONLY);
    int ends[2] = {-1, -1};
    ASSERT_GE(held, 0);
    ASSERT_EQ(pipe(ends), 0);
    zov::ProcessEnd end = zov::RunProcess({Child(), "--fds", dir.File("fds")}, {}, 10000);
    close(held);
    close(ends[0]);
    close(ends[1]);
    ASSERT_TRUE(ExitedWith(end.status, 0));
    const std::string listing = ReadText(dir.File("fds"));
    for (int fd : ListedDescriptors(listing))
        EXPECT_LE(fd, 2) << listing;
}

TEST(Process, OutputAndErrorsGoToFilesOrNowhere) {
    TempDir dir;
    zov::ProcessOptions apart;
    apart.output = zov::ProcessOutput::ToFile(dir.File("out"));
    apart.errors = zov::ProcessOutput::ToFile(dir.File("err"));
    ASSERT_TRUE(zovtest::WriteText(dir.File("out"), "an older and longer text\n"));
    EXPECT_TRUE(ExitedWith(zov::RunProcess({Child(), "--print", "hello"}, apart, 10000).status, 0));
    EXPECT_EQ(ReadText(dir.File("out")), "hello\n");
    EXPECT_EQ(ReadText(dir.File("err")), "error: hello\n");

    // One file for both: neither overwrites the other.
    zov::ProcessOptions together;
    together.output = zov::ProcessOutput::ToFile(dir.File("both"));
    together.errors = zov::ProcessOutput::ToFile(dir.File("both"));
    EXPECT_TRUE(ExitedWith(zov::RunProcess({Child(), "--print", "hi"}, together, 10000).status, 0));
    const std::string both = ReadText(dir.File("both"));
    EXPECT_TRUE(both == "error: hi\nhi\n" || both == "hi\nerror: hi\n") << both;

    zov::ProcessOptions discard;
    discard.output = zov::ProcessOutput::Discard();
    discard.errors = zov::ProcessOutput::Discard();
    EXPECT_TRUE(ExitedWith(zov::RunProcess({Child(), "--fds", dir.File("fds")}, discard, 10000).status, 0));
    const std::string listing = ReadText(dir.File("fds"));
    EXPECT_NE(listing.find("1 /dev/null\n"), std::string::npos) << listing;
    EXPECT_NE(listing.find("2 /dev/null\n"), std::string::npos) << listing;
}

TEST(Process, WaitWithTimeOutEndsAChildThatDoesNotExit) {
    TempDir dir;
    // Ends in time: its own status, nothing sent.
    zov::ProcessEnd quick = zov::RunProcess({Child(), "--exit", "3"}, {}, 10000);
    EXPECT_FALSE(quick.timedOut);
    EXPECT_TRUE(ExitedWith(quick.status, 3));

    // Never ends by itself: asked to end at the time-out.
    pid_t waiting = zov::SpawnProcess({Child(), "--wait"});
    ASSERT_GT(waiting, 0);
    EXPECT_TRUE(zov::ProcessRunning(waiting));
    zov::ProcessEnd asked = zov::WaitProcessFor(waiting, 50, 10000);
    EXPECT_TRUE(asked.timedOut);
    EXPECT_TRUE(KilledBy(asked.status, SIGTERM));
    EXPECT_FALSE(zov::ProcessRunning(waiting));

    // Ignores the request: killed after the grace period.
    pid_t stubborn = zov::SpawnProcess({Child(), "--stubborn", dir.File("ignoring")});
    ASSERT_GT(stubborn, 0);
    ASSERT_TRUE(WaitForFile(dir.File("ignoring")));
    zov::ProcessEnd killed = zov::WaitProcessFor(stubborn, 20, 50);
    EXPECT_TRUE(killed.timedOut);
    EXPECT_TRUE(KilledBy(killed.status, SIGKILL));
}

TEST(Process, RunningDoesNotReap) {
    pid_t pid = zov::SpawnProcess({Child(), "--exit", "5"});
    ASSERT_GT(pid, 0);
    ASSERT_TRUE(WaitUntilGone(pid));
    EXPECT_FALSE(zov::ProcessRunning(pid));
    EXPECT_TRUE(ExitedWith(zov::WaitProcess(pid), 5)); // still there to be waited for
}

int SemaphoreCount() {
    sem_t* sem = sem_open(zov::kDrawingToolExitSemaphore, 0);
    if (sem == SEM_FAILED)
        return -1;
    int count = -1;
    sem_getvalue(sem, &count);
    sem_close(sem);
    return count;
}

// The whole contract in one case: the semaphore name is shared by every run of the tool.
TEST(DrawingTool, StartsInTheProjectFolderAndExitsOnTheSemaphore) {
    TempDir project;
    zov::DrawingTool tool(FakeTool());
    ASSERT_TRUE(tool.Start(project.Path()));
    ASSERT_GT(tool.Pid(), 0);
    ASSERT_TRUE(WaitForFile(project.File("inkpane-started")));
    // Started without arguments (argc 1), working in the project folder, nothing posted yet.
    EXPECT_EQ(ReadText(project.File("inkpane-started")), project.Path() + "\n1\n0\n");
    EXPECT_TRUE(tool.Stop());
    EXPECT_EQ(tool.Pid(), -1);
    EXPECT_TRUE(WaitForFile(project.File("inkpane-exited")));

    // A tool that the user closed during the recording: stop is no error, and posts nothing
    // that would wait for the next tool.
    TempDir second;
    zov::DrawingTool closed(FakeTool());
    ASSERT_TRUE(closed.Start(second.Path()));
    ASSERT_TRUE(WaitForFile(second.File("inkpane-started")));
    ASSERT_EQ(kill(closed.Pid(), SIGKILL), 0);
    ASSERT_TRUE(WaitUntilGone(closed.Pid()));
    EXPECT_TRUE(closed.Stop());
    EXPECT_EQ(SemaphoreCount(), 0);

    // The next recording's tool runs until its own stop.
    TempDir third;
    zov::DrawingTool next(FakeTool());
    ASSERT_TRUE(next.Start(third.Path()));
    ASSERT_TRUE(WaitForFile(third.File("inkpane-started")));
    EXPECT_EQ(ReadText(third.File("inkpane-started")), third.Path() + "\n1\n0\n");
    EXPECT_TRUE(zov::ProcessRunning(next.Pid()));

    // Starting again stops the tool still running first.
    TempDir fourth;
    ASSERT_TRUE(next.Start(fourth.Path()));
    EXPECT_TRUE(WaitForFile(third.File("inkpane-exited")));
    ASSERT_TRUE(WaitForFile(fourth.File("inkpane-started")));
    EXPECT_EQ(ReadText(fourth.File("inkpane-started")), fourth.Path() + "\n1\n0\n");
    EXPECT_TRUE(next.Stop());
    EXPECT_TRUE(WaitForFile(fourth.File("inkpane-exited")));

    // A missing tool, or one that cannot run: start says so, stop succeeds, nothing runs.
    zov::DrawingTool missing("/nonexistent/inkpane");
    EXPECT_FALSE(missing.Start(project.Path()));
    EXPECT_EQ(missing.Pid(), -1);
    EXPECT_TRUE(missing.Stop());
    ASSERT_TRUE(zovtest::WriteText(project.File("not-a-program"), "text"));
    chmod(project.File("not-a-program").c_str(), 0755);
    zov::DrawingTool broken(project.File("not-a-program"));
    EXPECT_FALSE(broken.Start(project.Path()));
    EXPECT_EQ(broken.Pid(), -1);
    sem_unlink(zov::kDrawingToolExitSemaphore);
}

} // namespace
