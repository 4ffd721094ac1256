#include "tests/support/XTestEnv.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <poll.h>
#include <spawn.h>
#include <sstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace zovtest {

namespace {

std::vector<std::string> EnvironmentWith(const std::string& display,
                                         const std::vector<std::string>& extra = {}) {
    std::vector<std::string> env(extra);
    for (char** e = environ; *e; ++e)
        if (std::strncmp(*e, "DISPLAY=", 8) != 0)
            env.emplace_back(*e);
    if (!display.empty())
        env.push_back("DISPLAY=" + display);
    return env;
}

pid_t Spawn(const std::vector<std::string>& argv, const std::string& display, int outFd, int errFd,
            const std::vector<std::string>& extraEnv = {}) {
    std::vector<char*> args;
    for (const auto& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    std::vector<std::string> envStrings = EnvironmentWith(display, extraEnv);
    std::vector<char*> env;
    for (auto& e : envStrings)
        env.push_back(e.data());
    env.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    if (outFd >= 0)
        posix_spawn_file_actions_adddup2(&actions, outFd, 1);
    else
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    if (errFd >= 0)
        posix_spawn_file_actions_adddup2(&actions, errFd, 2);
    else
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    std::string program = argv[0];
    int rc = program.find('/') != std::string::npos
                 ? posix_spawn(&pid, program.c_str(), &actions, nullptr, args.data(), env.data())
                 : posix_spawnp(&pid, program.c_str(), &actions, nullptr, args.data(), env.data());
    posix_spawn_file_actions_destroy(&actions);
    return rc == 0 ? pid : -1;
}

std::string ReadAll(int fd) {
    std::string s;
    char buf[65536];
    for (;;) {
        ssize_t n = read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        s.append(buf, static_cast<size_t>(n));
    }
    return s;
}

uint32_t Be32(const uint8_t* p) {
    return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3];
}

} // namespace

void SleepMs(int ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

Xvfb::Xvfb(int width, int height, int depth) {
    int fds[2];
    if (pipe(fds) != 0)
        return;
    // The server writes the display number it chose to the descriptor given by -displayfd.
    std::string screen = std::to_string(width) + "x" + std::to_string(height) + "x" + std::to_string(depth);
    std::vector<std::string> argv = {
        "Xvfb", "-displayfd", std::to_string(fds[1]), "-screen", "0", screen, "-nolisten", "tcp", "-noreset"};
    m_pid = Spawn(argv, {}, -1, -1);
    close(fds[1]);
    std::string number;
    pollfd p{fds[0], POLLIN, 0};
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(15);
    while (std::chrono::steady_clock::now() < deadline && number.find('\n') == std::string::npos) {
        if (poll(&p, 1, 100) > 0) {
            char c[16];
            ssize_t n = read(fds[0], c, sizeof c);
            if (n <= 0)
                break;
            number.append(c, static_cast<size_t>(n));
        }
    }
    close(fds[0]);
    while (!number.empty() && (number.back() == '\n' || number.back() == ' '))
        number.pop_back();
    if (number.empty())
        return;
    std::string display = ":" + number;
    for (int i = 0; i < 100; ++i) {
        if (RunProgram({"xdpyinfo", "-display", display}).exitCode == 0) {
            m_display = display;
            return;
        }
        SleepMs(100);
    }
}

Xvfb::~Xvfb() {
    if (m_pid > 0) {
        kill(m_pid, SIGTERM);
        WaitExit(m_pid);
    }
}

RunResult RunProgram(const std::vector<std::string>& argv, const std::string& display,
                     const std::vector<std::string>& extraEnv) {
    RunResult r;
    int out[2], err[2];
    if (pipe(out) != 0 || pipe(err) != 0)
        return r;
    pid_t pid = Spawn(argv, display, out[1], err[1], extraEnv);
    close(out[1]);
    close(err[1]);
    if (pid < 0) {
        close(out[0]);
        close(err[0]);
        return r;
    }
    std::thread errReader([&] { r.err = ReadAll(err[0]); });
    r.out = ReadAll(out[0]);
    errReader.join();
    close(out[0]);
    close(err[0]);
    r.exitCode = WaitExit(pid);
    return r;
}

pid_t Start(const std::vector<std::string>& argv, const std::string& display, const std::string& outFile,
            const std::string& errFile) {
    int out = outFile.empty() ? -1 : open(outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    int err = errFile.empty() ? -1 : open(errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    pid_t pid = Spawn(argv, display, out, err);
    if (out >= 0)
        close(out);
    if (err >= 0)
        close(err);
    return pid;
}

int WaitExit(pid_t pid) {
    int status = 0;
    pid_t r;
    do {
        r = waitpid(pid, &status, 0);
    } while (r < 0 && errno == EINTR);
    if (r != pid)
        return -1000;
    if (WIFEXITED(status))
        return WEXITSTATUS(status);
    if (WIFSIGNALED(status))
        return -WTERMSIG(status);
    return -1000;
}

TestWindow::TestWindow(const std::string& display, int width, int height, int x, int y, int animateMs) {
    int out[2];
    if (pipe(out) != 0)
        return;
    std::vector<std::string> argv = {TestWindowPath(), "--size",
                                     std::to_string(width) + "x" + std::to_string(height), "--at",
                                     std::to_string(x) + "," + std::to_string(y)};
    if (animateMs > 0) {
        argv.push_back("--animate");
        argv.push_back(std::to_string(animateMs));
    }
    m_pid = Spawn(argv, display, out[1], -1);
    close(out[1]);
    std::string line;
    pollfd p{out[0], POLLIN, 0};
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < deadline && line.find('\n') == std::string::npos) {
        if (poll(&p, 1, 100) > 0) {
            char c[64];
            ssize_t n = read(out[0], c, sizeof c);
            if (n <= 0)
                break;
            line.append(c, static_cast<size_t>(n));
        }
    }
    close(out[0]);
    m_id = std::strtoull(line.c_str(), nullptr, 10);
    if (m_id) {
        // Place it with xdotool, as a user's window manager would; --sync returns once the
        // server has moved it. The program printed the id after its first paint, so the
        // picture is on the screen.
        RunProgram(
            {"xdotool", "windowmove", "--sync", std::to_string(m_id), std::to_string(x), std::to_string(y)},
            display);
        RunProgram({"xdotool", "windowfocus", "--sync", std::to_string(m_id)}, display);
    }
}

TestWindow::~TestWindow() {
    Close();
}

void TestWindow::Close() {
    if (m_pid > 0) {
        kill(m_pid, SIGTERM);
        WaitExit(m_pid);
        m_pid = -1;
    }
}

void SaveShot(const std::string& display, const std::string& name) {
    const char* dir = std::getenv("ZOV_SHOTS_DIR");
    if (dir && *dir)
        RunProgram({"import", "-display", display, "-window", "root", std::string(dir) + "/" + name});
}

bool TakeScreenshot(const std::string& display, Screenshot& out, std::string& error) {
    RunResult r = RunProgram({"xwd", "-root", "-silent", "-display", display});
    if (r.exitCode != 0 || r.out.size() < 100) {
        error = "xwd failed: " + r.err;
        return false;
    }
    const uint8_t* d = reinterpret_cast<const uint8_t*>(r.out.data());
    auto field = [&](int i) { return Be32(d + 4 * i); };
    const uint32_t headerSize = field(0), depth = field(3), width = field(4), height = field(5);
    const uint32_t byteOrder = field(7), bpp = field(11), bpl = field(12), visualClass = field(13);
    const uint32_t masks[3] = {field(14), field(15), field(16)};
    const uint32_t ncolors = field(19);
    const size_t pixelsAt = headerSize + static_cast<size_t>(ncolors) * 12;
    if (pixelsAt + static_cast<size_t>(bpl) * height > r.out.size()) {
        error = "xwd output is short";
        return false;
    }
    // Colour map entries for pseudo-colour screens: pixel, then 16-bit red, green, blue.
    std::vector<uint32_t> colours(256, 0);
    for (uint32_t i = 0; i < ncolors; ++i) {
        const uint8_t* c = d + headerSize + i * 12;
        uint32_t pixel = Be32(c);
        if (pixel < 256)
            colours[pixel] = (uint32_t(c[4]) << 16) | (uint32_t(c[6]) << 8) | c[8];
    }
    out.width = static_cast<int>(width);
    out.height = static_cast<int>(height);
    out.depth = static_cast<int>(depth);
    out.rgb.assign(static_cast<size_t>(width) * height, 0);
    const int bytes = static_cast<int>(bpp / 8);
    for (uint32_t y = 0; y < height; ++y) {
        const uint8_t* row = d + pixelsAt + static_cast<size_t>(y) * bpl;
        for (uint32_t x = 0; x < width; ++x) {
            const uint8_t* p = row + x * bytes;
            uint32_t v = 0;
            for (int i = 0; i < bytes; ++i)
                v |= uint32_t(byteOrder == 0 ? p[i] : p[bytes - 1 - i]) << (8 * i);
            uint32_t rgb = 0;
            if (visualClass >= 4) { // TrueColor, DirectColor
                for (int c = 0; c < 3; ++c) {
                    uint32_t m = masks[c];
                    int shift = __builtin_ctz(m), bits = __builtin_popcount(m);
                    uint32_t ch = (v & m) >> shift;
                    ch = bits >= 8 ? ch >> (bits - 8) : ch << (8 - bits);
                    rgb |= ch << (16 - 8 * c);
                }
            } else {
                rgb = colours[v & 0xFF];
            }
            out.rgb[static_cast<size_t>(y) * width + x] = rgb;
        }
    }
    return true;
}

uint32_t FramePixel(const zov::Image24& image, int x, int y) {
    const uint8_t* p = image.PixelTopDown(x, y);
    return (uint32_t(p[2]) << 16) | (uint32_t(p[1]) << 8) | p[0];
}

long CountDifferences(const zov::Image24& frame, const Screenshot& shot, int left, int top,
                      std::string* first, int compareWidth) {
    long n = 0;
    const int w = compareWidth < 0 ? frame.width : compareWidth;
    for (int y = 0; y < frame.height; ++y)
        for (int x = 0; x < w; ++x) {
            uint32_t a = FramePixel(frame, x, y), b = shot.At(left + x, top + y);
            if (a != b) {
                if (n == 0 && first) {
                    char text[128];
                    std::snprintf(text, sizeof text, "at (%d, %d): frame %06X, screen %06X", x, y, a, b);
                    *first = text;
                }
                ++n;
            }
        }
    return n;
}

std::string TempFolder(const std::string& name) {
    char templ[256];
    std::snprintf(templ, sizeof templ, "/tmp/zov-%s-XXXXXX", name.c_str());
    char* made = mkdtemp(templ);
    return made ? std::string(made) + "/" : std::string("/tmp/");
}

std::string ZovrecPath() {
    return std::string(ZOV_BIN_DIR) + "/zovrec";
}
std::string ZovrecFaultsPath() {
    return std::string(ZOV_TEST_BIN_DIR) + "/zovrec_faults";
}
std::string TestWindowPath() {
    return std::string(ZOV_TEST_BIN_DIR) + "/zov_test_window";
}

bool WaitUntil(const std::function<bool()>& condition, int timeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        if (condition())
            return true;
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        SleepMs(10);
    }
}

bool WaitForFile(const std::string& path, int timeoutMs) {
    return WaitUntil(
        [&] {
            struct stat st {};
            return stat(path.c_str(), &st) == 0;
        },
        timeoutMs);
}

bool WaitForText(const std::string& path, const std::string& text, int timeoutMs) {
    return WaitUntil(
        [&] {
            std::ifstream in(path, std::ios::binary);
            std::stringstream all;
            all << in.rdbuf();
            return all.str().find(text) != std::string::npos;
        },
        timeoutMs);
}

} // namespace zovtest
