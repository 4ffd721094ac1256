// A child for the process tests: reports what it was started with, or behaves as the tests
// need a program to behave.
//   zov_process_child --fds FILE      one line per open descriptor: "number target"
//   zov_process_child --status FILE   the SigBlk and SigIgn lines of its /proc status
//   zov_process_child --print TEXT    TEXT to standard output, "error: TEXT" to standard error
//   zov_process_child --exit N        exits with N
//   zov_process_child --wait          waits for a signal for good (SIGTERM ends it)
//   zov_process_child --stubborn FILE ignores SIGTERM, creates FILE, then waits for good
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

int main(int argc, char** argv) {
    if (argc < 2)
        return 64;
    const std::string mode = argv[1];
    const char* arg = argc >= 3 ? argv[2] : "";
    if (mode == "--fds") {
        // Listed before FILE is opened, so that only what was inherited shows.
        std::string lines;
        DIR* d = opendir("/proc/self/fd");
        if (!d)
            return 1;
        while (dirent* e = readdir(d)) {
            if (e->d_name[0] == '.' || std::atoi(e->d_name) == dirfd(d))
                continue;
            char target[PATH_MAX] = {};
            ssize_t n =
                readlink((std::string("/proc/self/fd/") + e->d_name).c_str(), target, sizeof target - 1);
            lines += std::string(e->d_name) + " " + std::string(target, n > 0 ? size_t(n) : 0) + "\n";
        }
        closedir(d);
        FILE* f = std::fopen(arg, "we");
        return f && std::fputs(lines.c_str(), f) >= 0 && std::fclose(f) == 0 ? 0 : 1;
    }
    if (mode == "--status") {
        FILE* in = std::fopen("/proc/self/status", "re");
        FILE* out = std::fopen(arg, "we");
        if (!in || !out)
            return 1;
        char line[512];
        while (std::fgets(line, sizeof line, in))
            if (std::strncmp(line, "SigBlk:", 7) == 0 || std::strncmp(line, "SigIgn:", 7) == 0)
                std::fputs(line, out);
        std::fclose(in);
        return std::fclose(out) == 0 ? 0 : 1;
    }
    if (mode == "--print") {
        std::printf("%s\n", arg);
        std::fprintf(stderr, "error: %s\n", arg);
        return 0;
    }
    if (mode == "--exit")
        return std::atoi(arg);
    if (mode == "--wait" || mode == "--stubborn") {
        if (mode == "--stubborn") {
            signal(SIGTERM, SIG_IGN);
            int fd = open(arg, O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
            if (fd < 0)
                return 1;
            close(fd);
        }
        for (;;)
            pause();
    }
    return 64;
}
