// Every file the program opens is close-on-exec, so that a program it starts (the drawing
// tool, the sound encoder) never holds the recorder's files. Each case catches the descriptor
// while it is open: through a FIFO that keeps the opener blocked in its first read or write.
#include "base/BinFile.h"
#include "base/Bitmap.h"
#include "base/Log.h"
#include "codec/StreamWriter.h"
#include "elements/ElementList.h"
#include "export/WebPages.h"
#include "tests/support/TestFiles.h"

#include <gtest/gtest.h>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <climits>
#include <functional>
#include <thread>

namespace {

// The descriptors of this process that name `path`, other than `except`.
std::vector<int> DescriptorsOn(const std::string& path, int except = -1) {
    std::vector<int> fds;
    DIR* d = opendir("/proc/self/fd");
    if (!d)
        return fds;
    while (dirent* e = readdir(d)) {
        int fd = std::atoi(e->d_name);
        if (e->d_name[0] == '.' || fd == except || fd == dirfd(d))
            continue;
        char target[PATH_MAX] = {};
        ssize_t n = readlink(("/proc/self/fd/" + std::string(e->d_name)).c_str(), target, sizeof target - 1);
        if (n > 0 && path == std::string(target, size_t(n)))
            fds.push_back(fd);
    }
    closedir(d);
    return fds;
}

bool CloseOnExec(int fd) {
    int flags = fcntl(fd, F_GETFD);
    return flags >= 0 && (flags & FD_CLOEXEC) != 0;
}

// Makes `fifo`, fills its pipe, and runs `action` on a thread: a writer blocks on the full
// pipe, a reader once it has read the filling. Returns whether the descriptor the action
// opened on the FIFO is close-on-exec; `seen` says whether one was found at all.
bool OpensCloseOnExec(const std::string& fifo, const std::function<void()>& action, bool& seen) {
    seen = false;
    if (mkfifo(fifo.c_str(), 0600) != 0)
        return false;
    // Read-write does not wait for a peer, and keeps a writer in place so that a reader finds
    // no end of file until this side closes.
    int own = open(fifo.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    if (own < 0)
        return false;
    std::vector<char> junk(4096, 'j');
    while (write(own, junk.data(), junk.size()) > 0) {
    }
    std::thread worker(action);
    bool closeOnExec = false;
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!seen && std::chrono::steady_clock::now() < until) {
        std::vector<int> fds = DescriptorsOn(fifo, own);
        if (!fds.empty()) {
            seen = true;
            closeOnExec = CloseOnExec(fds[0]);
        } else {
            std::this_thread::yield();
        }
    }
    // Let the action end: a reader sees the end of the file, a writer's bytes are drained.
    int drain = open(fifo.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    close(own);
    if (drain >= 0) {
        fcntl(drain, F_SETFL, 0);
        char buf[65536];
        while (read(drain, buf, sizeof buf) > 0) {
        }
        close(drain);
    }
    worker.join();
    return closeOnExec;
}

TEST(CloseOnExec, StreamFileStaysClosedToChildrenWhileRecording) {
    zovtest::TempDir dir;
    const std::string path = dir.File("direct.zov");
    zov::StreamWriter writer;
    ASSERT_TRUE(writer.Begin(path, 16, 16));
    std::vector<int> fds = DescriptorsOn(path);
    ASSERT_EQ(fds.size(), 1u);
    EXPECT_TRUE(CloseOnExec(fds[0]));
    EXPECT_TRUE(writer.End());
}

TEST(CloseOnExec, BitmapLogAndLinkFilesWhileWritten) {
    zovtest::TempDir dir;
    bool seen = false;

    zov::Image24 image;
    image.Allocate(200, 200); // larger than the pipe: the write blocks
    EXPECT_TRUE(OpensCloseOnExec(
        dir.File("frame.bmp"), [&] { (void)zov::WriteBmp(dir.File("frame.bmp"), image); }, seen));
    EXPECT_TRUE(seen);

    const std::string oldLog = zov::LogPath();
    zov::SetLogPath(dir.File("log"));
    EXPECT_TRUE(OpensCloseOnExec(
        dir.File("log"), [] { ZOV_LOG("a line"); }, seen));
    EXPECT_TRUE(seen);
    zov::SetLogPath(oldLog);

    zov::CElementList list;
    zov::ElementRecord* link = list.Create(0, 0, zov::ELEMENT_URLLINK);
    ASSERT_EQ(list.SetText(link, "http://example.org/"), 0);
    EXPECT_TRUE(OpensCloseOnExec(
        dir.File("links"), [&] { (void)list.WriteUrlLinks(dir.File("links")); }, seen));
    EXPECT_TRUE(seen);
}

TEST(CloseOnExec, PagesAndCopiedFiles) {
    zovtest::TempDir dir;
    ASSERT_TRUE(zovtest::WriteText(dir.File("tp_zov_all.zva"), "%d %d %s %d\n"));
    ASSERT_TRUE(zovtest::WriteText(dir.File("tp_zov_ocx_player.zva"), "%s %s %s\n"));
    zov::WebPageJob job;
    job.streamPath = dir.File("a.zov");
    job.frameWidth = 16;
    job.frameHeight = 16;
    job.frameDelayMs = 100;
    job.templateFolder = dir.Path();
    bool seen = false;
    const std::string page = zov::AllInOnePagePath(job.streamPath);
    std::string error;
    EXPECT_TRUE(OpensCloseOnExec(
        page, [&] { (void)zov::WriteAllInOnePage(job, error); }, seen));
    EXPECT_TRUE(seen);

    // A copy reads its source and writes its target.
    ASSERT_TRUE(zovtest::WriteText(dir.File("source"), std::string(200000, 's')));
    EXPECT_TRUE(OpensCloseOnExec(
        dir.File("target"), [&] { (void)zov::CopyWholeFile(dir.File("source"), dir.File("target")); }, seen));
    EXPECT_TRUE(seen);
    EXPECT_TRUE(OpensCloseOnExec(
        dir.File("fifo-source"), [&] { (void)zov::CopyWholeFile(dir.File("fifo-source"), dir.File("copy")); },
        seen));
    EXPECT_TRUE(seen);
}

} // namespace
