// zov-recorder end to end on a private X server: the project's frame 0 pixel for pixel in the
// view and its frames in the strip, playback at the frame delay, the end of the film, the
// player, the Exit question, and SIGTERM writing the settings.
#include "base/Bitmap.h"
#include "core/Ani.h"
#include "tests/support/TestFiles.h"
#include "tests/support/XTestEnv.h"
#include "tests/ui/UiTestProject.h"

#include <algorithm>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <gtest/gtest.h>
#include <thread>

// Xlib last: its macros (None, Status, ...) must not meet the headers above.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

using namespace zovtest;
namespace fs = std::filesystem;

namespace {

constexpr int kW = 160, kH = 120, kFrames = 12, kDelay = 250;

// The frames as the project holds them, for pixel comparisons.
zov::Image24 FrameImage(int k) {
    zov::Image24 img;
    img.Allocate(kW, kH);
    for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x) {
            uint8_t* p = img.PixelTopDown(x, y);
            const QRgb c = zovtest::FramePixel(k, x, y);
            p[0] = static_cast<uint8_t>(qBlue(c));
            p[1] = static_cast<uint8_t>(qGreen(c));
            p[2] = static_cast<uint8_t>(qRed(c));
        }
    return img;
}

// One pixel of the screen, read straight from the server (fast enough to time frame changes).
class PixelProbe {
  public:
    explicit PixelProbe(const std::string& display) : m_dpy(XOpenDisplay(display.c_str())) {}
    ~PixelProbe() {
        if (m_dpy)
            XCloseDisplay(m_dpy);
    }
    uint32_t At(int x, int y) {
        XImage* img = XGetImage(m_dpy, DefaultRootWindow(m_dpy), x, y, 1, 1, AllPlanes, ZPixmap);
        if (!img)
            return 0xFFFFFFFFu;
        const uint32_t v = static_cast<uint32_t>(XGetPixel(img, 0, 0)) & 0xFFFFFF;
        XDestroyImage(img);
        return v;
    }
    bool Ok() const { return m_dpy != nullptr; }

  private:
    Display* m_dpy;
};

class DesktopProgram : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(m_x.Ok());
        m_prog = m_dir.Path() + "/program/";
        fs::create_directories(m_prog);
        fs::copy_file(std::string(ZOV_BIN_DIR) + "/zov-recorder", m_prog + "zov-recorder");
        fs::copy(std::string(ZOV_SOURCE_DIR) + "/data", m_prog + "data", fs::copy_options::recursive);
        setenv("XDG_DATA_HOME", m_dir.File("xdg-data").c_str(), 1);
        setenv("XDG_CONFIG_HOME", m_dir.File("xdg-config").c_str(), 1);
        m_project = m_dir.File("film.scp");
        zov::CAni doc;
        ASSERT_TRUE(MakeProject(doc, m_project, kW, kH, kFrames, kDelay));
    }
    void TearDown() override {
        if (m_pid > 0) {
            kill(m_pid, SIGKILL);
            WaitExit(m_pid);
        }
    }
    void Launch() {
        m_pid = Start({m_prog + "zov-recorder", m_project}, m_x.Display(), m_dir.File("out.txt"),
                      m_dir.File("err.txt"));
        ASSERT_GT(m_pid, 0);
        ASSERT_TRUE(WaitForWindow("ZOV Recorder - " + m_project));
        ASSERT_TRUE(FindView());
    }
    bool WaitForWindow(const std::string& title, int timeoutMs = 30000) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (std::chrono::steady_clock::now() < end) {
            RunResult r = RunProgram({"xdotool", "search", "--name", "^" + title + "$"}, m_x.Display());
            if (r.exitCode == 0 && !r.out.empty())
                return true;
            SleepMs(50);
        }
        return false;
    }
    // The view shows frame 0 at its top-left corner: find where on the screen.
    bool FindView() {
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        const zov::Image24 frame0 = FrameImage(0);
        while (std::chrono::steady_clock::now() < end) {
            Screenshot shot;
            std::string error;
            if (TakeScreenshot(m_x.Display(), shot, error)) {
                for (int y = 100; y < 260; ++y)
                    for (int x = 0; x < 4; ++x)
                        if (shot.At(x, y) == (zovtest::FramePixel(0, 0, 0) & 0xFFFFFF) &&
                            CountDifferences(frame0, shot, x, y) == 0) {
                            m_viewX = x;
                            m_viewY = y;
                            m_shot = shot;
                            return true;
                        }
            }
            SleepMs(100);
        }
        return false;
    }
    // Without a window manager nobody gives the window the keyboard: give it first.
    std::vector<std::string> Keys(std::initializer_list<const char*> seq) {
        RunResult ids = RunProgram({"xdotool", "search", "--onlyvisible", "--name", "ZOV Recorder|Player"},
                                   m_x.Display());
        std::string last;
        for (size_t a = 0, b; a < ids.out.size(); a = b + 1) {
            b = ids.out.find('\n', a);
            if (b == std::string::npos)
                b = ids.out.size();
            if (b > a)
                last = ids.out.substr(a, b - a);
        }
        if (!last.empty())
            RunProgram({"xdotool", "windowfocus", "--sync", last}, m_x.Display());
        std::vector<std::string> v{"xdotool", "key", "--delay", "150"};
        for (auto* k : seq)
            v.push_back(k);
        RunProgram(v, m_x.Display());
        return v;
    }
    // Times (ms) at which the view's top-left pixel changed colour, until `count` changes.
    std::vector<double> ChangeTimes(PixelProbe& probe, int count) {
        std::vector<double> times;
        uint32_t last = probe.At(m_viewX + 5, m_viewY + 5);
        const auto start = std::chrono::steady_clock::now();
        while (static_cast<int>(times.size()) < count &&
               std::chrono::steady_clock::now() - start < std::chrono::seconds(20)) {
            const uint32_t now = probe.At(m_viewX + 5, m_viewY + 5);
            if (now != last) {
                times.push_back(
                    std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                        .count());
                last = now;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return times;
    }

    Xvfb m_x{1024, 768, 24};
    TempDir m_dir;
    std::string m_prog, m_project;
    pid_t m_pid = -1;
    int m_viewX = 0, m_viewY = 0;
    Screenshot m_shot;
};

} // namespace

TEST_F(DesktopProgram, ShowsTheProjectPlaysItAndEndsOnSigterm) {
    Launch();
    // The view sits under the toolbar and strip: 132 pixels below the client's top.
    const int clientTop = m_viewY - 132;
    EXPECT_GE(clientTop, 0);
    // The strip's first thumbnails are the frames, scaled to 80 x 60 (top-left pixels kept).
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(m_shot.At(m_viewX + 7 + 87 * i, clientTop + 24 + 2 + 2),
                  zovtest::FramePixel(i, 0, 0) & 0xFFFFFF)
            << "thumbnail " << i;
    // Play: the frame changes every 250 ms.
    PixelProbe probe(m_x.Display());
    ASSERT_TRUE(probe.Ok());
    Keys({"alt+p", "p"});
    const auto times = ChangeTimes(probe, 8);
    ASSERT_GE(times.size(), 8u);
    // The first gaps include the key presses. A paint delayed by a busy machine lengthens one
    // gap and shortens the next (the schedule does not drift), so the mean and the median
    // are what the frame delay fixes.
    std::vector<double> gaps;
    for (size_t i = 2; i < times.size(); ++i)
        gaps.push_back(times[i] - times[i - 1]);
    double sum = 0;
    for (double g : gaps)
        sum += g;
    EXPECT_NEAR(sum / static_cast<double>(gaps.size()), 250.0, 30.0);
    std::sort(gaps.begin(), gaps.end());
    EXPECT_NEAR(gaps[gaps.size() / 2], 250.0, 30.0);
    // After the natural end the last frame stays selected and shown.
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (probe.At(m_viewX + 5, m_viewY + 5) != (zovtest::FramePixel(kFrames - 1, 5, 5) & 0xFFFFFF) &&
           std::chrono::steady_clock::now() < end)
        SleepMs(10);
    EXPECT_EQ(probe.At(m_viewX + 5, m_viewY + 5), zovtest::FramePixel(kFrames - 1, 5, 5) & 0xFFFFFF);

    // SIGTERM ends the program as Exit does, without the question, settings written.
    ASSERT_EQ(kill(m_pid, SIGTERM), 0);
    EXPECT_EQ(WaitExit(m_pid), 0);
    m_pid = -1;
    const auto settings = ReadAll(m_prog + "ZOV Recorder.dat");
    ASSERT_EQ(settings.size(), 35584u);
    EXPECT_EQ(settings[0], 'S');
    EXPECT_NE(ReadText(m_prog + "ZOV Recorder.log").find("--> Process Terminal"), std::string::npos);
}

TEST_F(DesktopProgram, FastPlayEndOfFilmAndExit) {
    Launch();
    PixelProbe probe(m_x.Display());
    ASSERT_TRUE(probe.Ok());
    Keys({"alt+p", "f"});
    const auto times = ChangeTimes(probe, 6);
    ASSERT_GE(times.size(), 6u);
    double sum = 0;
    for (size_t i = 2; i < times.size(); ++i)
        sum += times[i] - times[i - 1];
    EXPECT_NEAR(sum / static_cast<double>(times.size() - 2), 83.3, 20.0);
    // Wait for the end, then click right of the last thumbnail: the end-of-film colour.
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (probe.At(m_viewX + 5, m_viewY + 5) != (zovtest::FramePixel(kFrames - 1, 5, 5) & 0xFFFFFF) &&
           std::chrono::steady_clock::now() < end)
        SleepMs(10);
    // ">>" scrolls the strip to its end, so the slot after the last frame is on screen.
    const int clientTop = m_viewY - 132;
    RunProgram({"xdotool", "mousemove", std::to_string(1024 - 8), std::to_string(clientTop + 24 + 93 + 7),
                "click", "1"},
               m_x.Display());
    // With 12 frames and 11 slots the last slot shows the end position after ">>".
    RunProgram({"xdotool", "mousemove", std::to_string(1024 - 40), std::to_string(clientTop + 24 + 2 + 30),
                "click", "1"},
               m_x.Display());
    const auto end2 = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (probe.At(m_viewX + 5, m_viewY + 5) != 0x008080 && std::chrono::steady_clock::now() < end2)
        SleepMs(10);
    EXPECT_EQ(probe.At(m_viewX + 5, m_viewY + 5), 0x008080u);
    // Play from the end position starts at frame 0.
    Keys({"alt+p", "p"});
    const auto end3 = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (probe.At(m_viewX + 5, m_viewY + 5) == 0x008080 && std::chrono::steady_clock::now() < end3)
        SleepMs(2);
    EXPECT_EQ(probe.At(m_viewX + 5, m_viewY + 5), zovtest::FramePixel(0, 5, 5) & 0xFFFFFF);
    Keys({"alt+p", "s"});
    // Exit asks; "Yes" ends the program.
    Keys({"alt+f", "x"});
    ASSERT_TRUE(WaitForWindow("ZOV Recorder", 10000));
    Keys({"alt+y"});
    EXPECT_EQ(WaitExit(m_pid), 0);
    m_pid = -1;
    EXPECT_EQ(ReadAll(m_prog + "ZOV Recorder.dat").size(), 35584u);
}

TEST_F(DesktopProgram, FullScreenOpensThePlayerAndReturnCloses) {
    Launch();
    Keys({"alt+v", "f"});
    ASSERT_TRUE(WaitForWindow("Player"));
    // The player's view shows the current frame at (5, 5) of its client area.
    Screenshot shot;
    std::string error;
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    bool found = false;
    while (!found && std::chrono::steady_clock::now() < end) {
        ASSERT_TRUE(TakeScreenshot(m_x.Display(), shot, error)) << error;
        found = CountDifferences(FrameImage(0), shot, 5, 5) == 0;
        if (!found)
            SleepMs(50);
    }
    EXPECT_TRUE(found);
    Keys({"Escape"});
    const auto end2 = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    bool gone = false;
    while (!gone && std::chrono::steady_clock::now() < end2) {
        gone = RunProgram({"xdotool", "search", "--name", "^Player$"}, m_x.Display()).out.empty();
        if (!gone)
            SleepMs(50);
    }
    EXPECT_TRUE(gone);
}

TEST_F(DesktopProgram, GotoJumpsToTheChosenFrame) {
    Launch();
    PixelProbe probe(m_x.Display());
    ASSERT_TRUE(probe.Ok());
    // Edit Frames: from the menu's top, Up reaches its last item, "Goto Specified Frame".
    Keys({"alt+r", "Up", "Return"});
    ASSERT_TRUE(WaitForWindow("ZOV Recorder"));
    // The slider has the focus: End moves it to the last frame, Return is "Go".
    Keys({"End", "Return"});
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    const uint32_t last = zovtest::FramePixel(kFrames - 1, 5, 5) & 0xFFFFFF;
    while (probe.At(m_viewX + 5, m_viewY + 5) != last && std::chrono::steady_clock::now() < end)
        SleepMs(10);
    EXPECT_EQ(probe.At(m_viewX + 5, m_viewY + 5), last);
}
