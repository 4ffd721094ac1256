// Test helpers around a real X server: an Xvfb of its own (display number chosen by the
// server through -displayfd, so parallel tests never collide), the test window program, an
// independent screenshot through xwd, and running programs with their output.
#pragma once

#include "base/Bitmap.h"

#include <cstdint>
#include <functional>
#include <string>
#include <sys/types.h>
#include <vector>

namespace zovtest {

class Xvfb {
  public:
    // Starts "Xvfb -screen 0 WxHxDEPTH -nolisten tcp" and waits until xdpyinfo answers.
    Xvfb(int width, int height, int depth);
    ~Xvfb();
    bool Ok() const { return !m_display.empty(); }
    const std::string& Display() const { return m_display; } // ":N"

  private:
    pid_t m_pid = -1;
    std::string m_display;
};

struct RunResult {
    int exitCode = -1; // -signal when killed
    std::string out, err;
};
// Runs argv (no shell) to completion, with DISPLAY set when `display` is not empty and the
// extra "NAME=value" entries in its environment.
RunResult RunProgram(const std::vector<std::string>& argv, const std::string& display = {},
                     const std::vector<std::string>& extraEnv = {});
// Starts argv in the background; stdout and stderr go to the given files (or /dev/null).
pid_t Start(const std::vector<std::string>& argv, const std::string& display, const std::string& outFile = {},
            const std::string& errFile = {});
int WaitExit(pid_t pid); // exit code, or -signal

// The test window (tests/support/test_window.cpp), shown and painted.
class TestWindow {
  public:
    TestWindow(const std::string& display, int width, int height, int x, int y, int animateMs = 0);
    ~TestWindow();
    uint64_t Id() const { return m_id; }
    bool Ok() const { return m_id != 0; }
    // Ends the program; the server destroys its window when it sees the connection close.
    void Close();

  private:
    pid_t m_pid = -1;
    uint64_t m_id = 0;
};

// The whole screen as xwd saw it: 0x00RRGGBB, top row first. Channels of fewer than 8 bits
// are widened by a left shift (5 bits v -> v << 3, 6 bits v -> v << 2).
struct Screenshot {
    int width = 0, height = 0, depth = 0;
    std::vector<uint32_t> rgb;
    uint32_t At(int x, int y) const { return rgb[static_cast<size_t>(y) * width + x]; }
};
bool TakeScreenshot(const std::string& display, Screenshot& out, std::string& error);
// With ZOV_SHOTS_DIR set, saves the whole screen there as `name` (a PNG, through ImageMagick's
// import), for people to look at; without it, does nothing.
void SaveShot(const std::string& display, const std::string& name);

// The colour of frame pixel (x, y from the top) as 0x00RRGGBB.
uint32_t FramePixel(const zov::Image24& image, int x, int y);
// Counts frame pixels that differ from the screenshot at (left + x, top + y); columns at or
// beyond `compareWidth` (default all) are left out. The first difference is described in `first`.
long CountDifferences(const zov::Image24& frame, const Screenshot& shot, int left, int top,
                      std::string* first = nullptr, int compareWidth = -1);

std::string TempFolder(const std::string& name); // a fresh empty folder under /tmp
std::string ZovrecPath();
// zovrec built with the write-fault injection (ZOV_FAULT_WRITE_LIMIT), for crash tests.
std::string ZovrecFaultsPath();
std::string TestWindowPath();
// Waits until `condition` holds, asking again every few milliseconds; false when it still
// does not hold after `timeoutMs`.
bool WaitUntil(const std::function<bool()>& condition, int timeoutMs);
bool WaitForFile(const std::string& path, int timeoutMs);
// Waits until the file holds `text` (a line a program prints into it, say).
bool WaitForText(const std::string& path, const std::string& text, int timeoutMs);
void SleepMs(int ms);

} // namespace zovtest
