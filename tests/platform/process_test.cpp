// Processes, the named semaphore and the drawing tool contract, with a stand-in tool.
#include "platform/DrawingTool.h"
#include "platform/Process.h"

#include <gtest/gtest.h>

#include <csignal>
#include <fstream>
#include <semaphore.h>
#include <sstream>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string FakeTool() {
    return std::string(ZOV_TEST_BIN_DIR) + "/zov_fake_inkpane";
}

std::string Folder() {
    char templ[] = "/tmp/zov-process-XXXXXX";
    return std::string(mkdtemp(templ));
}

std::string ReadText(const std::string& path) {
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

bool WaitFor(const std::string& path, int ms) {
    struct stat st {};
    for (int i = 0; i < ms / 10; ++i) {
        if (stat(path.c_str(), &st) == 0 && st.st_size >= 0)
            return true;
        usleep(10000);
    }
    return false;
}

TEST(Process, ArgumentsReachTheProgramVerbatimWithoutAShell) {
    const std::string dir = Folder();
    const std::string out = dir + "/args.txt";
    pid_t pid =
        zov::SpawnProcess({FakeTool(), "--print-args", out, "two words", "$HOME;echo x", "*", ""}, dir);
    ASSERT_GT(pid, 0);
    int status = zov::WaitProcess(pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(ReadText(out), "two words\n$HOME;echo x\n*\n\n");
}

TEST(Process, MissingProgramOrEmptyArgumentsAreRefused) {
    EXPECT_EQ(zov::SpawnProcess({"/nonexistent/zov-no-such-program"}), -1);
    EXPECT_EQ(zov::SpawnProcess({}), -1);
    EXPECT_EQ(zov::SpawnProcess({FakeTool()}, "/nonexistent/folder"), -1);
    EXPECT_FALSE(zov::PostNamedSemaphore("/zov-test-no-such-semaphore"));
}

// The whole contract in one case: the semaphore name is shared by every run of the tool.
TEST(DrawingTool, StartsInTheProjectFolderAndExitsOnTheSemaphore) {
    sem_unlink(zov::kDrawingToolExitSemaphore); // left by an earlier killed run
    const std::string project = Folder();
    zov::DrawingTool tool(FakeTool());
    ASSERT_TRUE(tool.Start(project));
    ASSERT_GT(tool.Pid(), 0);
    ASSERT_TRUE(WaitFor(project + "/inkpane-started", 5000));
    usleep(50000); // the file is written just after the semaphore exists
    // Started without arguments (argc 1), working in the project folder.
    EXPECT_EQ(ReadText(project + "/inkpane-started"), project + "\n1\n");
    EXPECT_TRUE(tool.Stop());
    EXPECT_EQ(tool.Pid(), -1);
    EXPECT_TRUE(WaitFor(project + "/inkpane-exited", 5000));

    // A tool that the user closed during the recording: stop is no error.
    const std::string second = Folder();
    zov::DrawingTool closed(FakeTool());
    ASSERT_TRUE(closed.Start(second));
    ASSERT_TRUE(WaitFor(second + "/inkpane-started", 5000));
    usleep(50000);
    kill(closed.Pid(), SIGKILL);
    usleep(100000);
    // Its semaphore stays behind (the tool could not remove it); posting it harms nothing.
    EXPECT_TRUE(closed.Stop());

    // A missing tool: start and stop still succeed and nothing runs.
    zov::DrawingTool missing("/nonexistent/inkpane");
    EXPECT_TRUE(missing.Start(project));
    EXPECT_EQ(missing.Pid(), -1);
    EXPECT_TRUE(missing.Stop());
    sem_unlink(zov::kDrawingToolExitSemaphore);
}

} // namespace
