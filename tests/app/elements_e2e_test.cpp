// Elements drawn with the mouse in the running zov-recorder on a private X server: a box over
// the frames selected in the strip (listed by zovrec as 3-7), a balloon with typed text and a
// scrolling subtitle, each seen on the screen. With ZOV_SHOT_DIR set the screenshots are
// also written there as PNG files to look at.
#include "core/Ani.h"
#include "tests/support/TestFiles.h"
#include "tests/support/XTestEnv.h"
#include "tests/ui/UiTestProject.h"

#include <QImage>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <gtest/gtest.h>

using namespace zovtest;
namespace fs = std::filesystem;

namespace {

constexpr int kW = 320, kH = 240, kFrames = 12;

class ElementsOnScreen : public ::testing::Test {
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
        ASSERT_TRUE(MakeProject(doc, m_project, kW, kH, kFrames, 250));
        m_pid = Start({m_prog + "zov-recorder", m_project}, m_x.Display(), m_dir.File("out.txt"),
                      m_dir.File("err.txt"));
        ASSERT_GT(m_pid, 0);
        ASSERT_TRUE(FindView()) << ReadText(m_dir.File("err.txt"));
    }
    void TearDown() override {
        if (m_pid > 0) {
            kill(m_pid, SIGKILL);
            WaitExit(m_pid);
        }
    }
    // The view shows frame k's pixel (0, 0) at its top-left corner, under the strip.
    bool FindView() {
        return WaitUntil(
            [this] {
                Screenshot shot;
                std::string error;
                if (!TakeScreenshot(m_x.Display(), shot, error))
                    return false;
                for (int y = 100; y < 300; ++y)
                    for (int x = 0; x < 4; ++x)
                        if (shot.At(x, y) == (FramePixel(0, 0, 0) & 0xFFFFFF) &&
                            shot.At(x + 7, y + 5) == (FramePixel(0, 7, 5) & 0xFFFFFF) &&
                            shot.At(x + 100, y + 100) == (FramePixel(0, 100, 100) & 0xFFFFFF)) {
                            m_viewX = x;
                            m_viewY = y;
                            return true;
                        }
                return false;
            },
            30000);
    }
    void Run(std::vector<std::string> argv) { RunProgram(argv, m_x.Display()); }
    std::string MainWindowId() {
        RunResult r =
            RunProgram({"xdotool", "search", "--onlyvisible", "--name", "^ZOV Recorder - "}, m_x.Display());
        return r.out.substr(0, r.out.find('\n'));
    }
    void Keys(std::initializer_list<const char*> seq, const std::string& window = {}) {
        const std::string id = window.empty() ? MainWindowId() : window;
        if (!id.empty())
            Run({"xdotool", "windowfocus", "--sync", id});
        std::vector<std::string> v{"xdotool", "key", "--delay", "120"};
        for (auto* k : seq)
            v.push_back(k);
        Run(v);
    }
    // Item n (from 0, separators not counted) of the "Edit Element" menu, which opens on its
    // first item.
    void ElementMenu(int n) {
        std::vector<std::string> v{"xdotool", "key", "--delay", "120", "alt+e"};
        for (int i = 0; i < n; ++i)
            v.push_back("Down");
        v.push_back("Return");
        Run({"xdotool", "windowfocus", "--sync", MainWindowId()});
        Run(v);
    }
    void DragInView(int x1, int y1, int x2, int y2) {
        const std::string ax = std::to_string(m_viewX + x1), ay = std::to_string(m_viewY + y1);
        Run({"xdotool", "mousemove", "--sync", ax, ay, "mousedown", "1"});
        Run({"xdotool", "mousemove", "--sync", std::to_string(m_viewX + (x1 + x2) / 2),
             std::to_string(m_viewY + (y1 + y2) / 2)});
        Run({"xdotool", "mousemove", "--sync", std::to_string(m_viewX + x2), std::to_string(m_viewY + y2),
             "mouseup", "1"});
    }
    void ClickStrip(int slot, bool shift) {
        const int clientTop = m_viewY - 132;
        const std::string x = std::to_string(m_viewX + 7 + 87 * slot + 40);
        const std::string y = std::to_string(clientTop + 24 + 2 + 30);
        if (shift)
            Run({"xdotool", "mousemove", "--sync", x, y, "keydown", "shift", "click", "1", "keyup", "shift"});
        else
            Run({"xdotool", "mousemove", "--sync", x, y, "click", "1"});
    }
    // Waits until the view's pixel (x, y) has `rgb`; the last screenshot stays in m_shot.
    bool WaitForViewPixel(int x, int y, uint32_t rgb) {
        return WaitUntil(
            [&] {
                std::string error;
                return TakeScreenshot(m_x.Display(), m_shot, error) &&
                       m_shot.At(m_viewX + x, m_viewY + y) == rgb;
            },
            15000);
    }
    bool WaitForViewPixelNot(int x, int y, uint32_t rgb) {
        return WaitUntil(
            [&] {
                std::string error;
                return TakeScreenshot(m_x.Display(), m_shot, error) &&
                       m_shot.At(m_viewX + x, m_viewY + y) != rgb;
            },
            15000);
    }
    // How many view pixels of the rectangle differ from the frame's own.
    long ChangedPixels(int frame, int l, int t, int r, int b) const {
        long n = 0;
        for (int y = t; y < b; ++y)
            for (int x = l; x < r; ++x)
                n += m_shot.At(m_viewX + x, m_viewY + y) != (FramePixel(frame, x, y) & 0xFFFFFF);
        return n;
    }
    void Save(const char* name) const {
        const char* dir = std::getenv("ZOV_SHOT_DIR");
        if (!dir || !*dir)
            return;
        QImage img(m_shot.width, m_shot.height, QImage::Format_RGB32);
        for (int y = 0; y < m_shot.height; ++y)
            for (int x = 0; x < m_shot.width; ++x)
                img.setPixel(x, y, 0xFF000000u | m_shot.At(x, y));
        img.save(QString::fromStdString(std::string(dir) + "/" + name));
    }

    Xvfb m_x{1024, 768, 24};
    TempDir m_dir;
    std::string m_prog, m_project;
    pid_t m_pid = -1;
    int m_viewX = 0, m_viewY = 0;
    Screenshot m_shot;
};

} // namespace

TEST_F(ElementsOnScreen, ABoxABalloonWithTextAndAScrollingSubtitle) {
    // Frames 3..7 selected in the strip, then a box dragged on the view.
    ClickStrip(3, false);
    ASSERT_TRUE(WaitForViewPixel(5, 5, FramePixel(3, 5, 5) & 0xFFFFFF));
    ClickStrip(7, true);
    ElementMenu(3); // Draw Box
    DragInView(40, 30, 120, 90);
    // The new box: its blue border (0xFF0000 in the element's colours) at the left edge,
    // between the handles.
    const bool boxShown = WaitForViewPixel(40, 45, 0x0000FF);
    Save("elements-1-box.png");
    ASSERT_TRUE(boxShown) << std::hex << m_shot.At(m_viewX + 40, m_viewY + 45);
    ElementMenu(0); // Cancel Edit: finished and saved
    ASSERT_TRUE(WaitUntil(
        [&] {
            RunResult r = RunProgram({ZovrecPath(), "elements", m_project});
            return r.exitCode == 0 && r.out.find("3-7") != std::string::npos;
        },
        15000))
        << RunProgram({ZovrecPath(), "elements", m_project}).out;

    // A balloon on frame 3, its text typed into the style window.
    ElementMenu(4); // Draw Box 2
    DragInView(170, 120, 300, 170);
    ASSERT_TRUE(WaitForViewPixelNot(235, 145, FramePixel(3, 235, 145) & 0xFFFFFF));
    RunResult tool =
        RunProgram({"xdotool", "search", "--onlyvisible", "--name", "^Element Style$"}, m_x.Display());
    const std::string toolId = tool.out.substr(0, tool.out.find('\n'));
    ASSERT_FALSE(toolId.empty());
    Keys({"Tab", "ctrl+a", "H", "e", "l", "l", "o"}, toolId);
    // The text is drawn: fewer pixels of the balloon's inside keep its fill.
    ASSERT_TRUE(WaitUntil(
        [&] {
            std::string error;
            if (!TakeScreenshot(m_x.Display(), m_shot, error))
                return false;
            long text = 0;
            for (int y = 125; y < 165; ++y)
                for (int x = 175; x < 295; ++x)
                    text += m_shot.At(m_viewX + x, m_viewY + y) == 0xFFFFFF;
            return text > 20;
        },
        15000));
    Save("elements-2-balloon.png");
    EXPECT_GT(ChangedPixels(3, 170, 120, 300, 170), 3000);
    ElementMenu(0); // finished: the typed text is in the file
    EXPECT_TRUE(WaitUntil(
        [&] {
            return RunProgram({ZovrecPath(), "elements", m_project}).out.find("Hello") != std::string::npos;
        },
        15000))
        << RunProgram({ZovrecPath(), "elements", m_project}).out;

    // A scrolling subtitle over frames 0..10: the text moves from frame to frame.
    ClickStrip(0, false);
    ASSERT_TRUE(WaitForViewPixel(5, 5, FramePixel(0, 5, 5) & 0xFFFFFF));
    ClickStrip(10, true);
    ElementMenu(7); // Add Subscript (type 1)
    DragInView(20, 190, 300, 230);
    ASSERT_TRUE(WaitForViewPixelNot(100, 210, FramePixel(0, 100, 210) & 0xFFFFFF));
    ElementMenu(0);
    ClickStrip(0, false);
    ASSERT_TRUE(WaitForViewPixel(5, 5, FramePixel(0, 5, 5) & 0xFFFFFF));
    Save("elements-3-subtitle-frame0.png");
    const Screenshot first = m_shot;
    ClickStrip(10, false);
    ASSERT_TRUE(WaitForViewPixel(5, 5, FramePixel(10, 5, 5) & 0xFFFFFF));
    Save("elements-4-subtitle-frame10.png");
    // The subtitle's inside is black on both frames, with white text at different places.
    long moved = 0;
    for (int y = 195; y < 225; ++y)
        for (int x = 25; x < 295; ++x) {
            const bool a = first.At(m_viewX + x, m_viewY + y) == 0xFFFFFF;
            const bool b = m_shot.At(m_viewX + x, m_viewY + y) == 0xFFFFFF;
            moved += a != b;
        }
    EXPECT_GT(moved, 50);
    const std::string listing = RunProgram({ZovrecPath(), "elements", m_project}).out;
    EXPECT_NE(listing.find("0-10"), std::string::npos) << listing;
}
