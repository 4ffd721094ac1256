// Recording from zov-recorder on a private X server, driven with xdotool: the hot keys, the
// insert before the selected frame, the window hidden while recording and back on frame 0,
// the status window kept out of the frames, New into a stream with the area dragged in
// "Sel Area", the tray icon with its menu, and the hot keys beside another client's grab.
#include "base/Bitmap.h"
#include "codec/StreamReader.h"
#include "core/Ani.h"
#include "tests/support/ScreenText.h"
#include "tests/support/TestFiles.h"
#include "tests/support/XTestEnv.h"
#include "tests/support/XWindowManager.h"
#include "tests/ui/UiTestProject.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/mount.h>

// Xlib last: its macros (None, Status, ...) must not meet the headers above.
#include <X11/Xlib.h>
#include <X11/keysym.h>

using namespace zovtest;
namespace fs = std::filesystem;

namespace {

constexpr int kW = 160, kH = 120;

// A 5-frame project whose frames are told apart by their pixels, recording the area at
// (left, top) of the frames' size (w x h).
bool MakeAreaProject(const std::string& path, int left, int top, int w = kW, int h = kH) {
    zov::CAni doc;
    if (!MakeProject(doc, path, w, h, 5, 250))
        return false;
    std::string p = path;
    if (!doc.OpenProject(p))
        return false;
    doc.SetRecordPointer(false);
    const bool ok = doc.SetCaptureRect({left, top, left + w, top + h}) && doc.WriteIndex();
    doc.Close();
    return ok;
}

// Helper programs a test started, killed when the test ends, however it ends.
struct KillAtEnd {
    std::vector<pid_t> pids;
    ~KillAtEnd() {
        for (pid_t p : pids)
            kill(p, SIGKILL);
        for (pid_t p : pids)
            WaitExit(p);
    }
};

uint32_t ProjectPixel(int k, int x, int y) {
    return zovtest::FramePixel(k, x, y) & 0xFFFFFF;
}

class RecorderProgram : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(m_x.Ok());
        m_prog = m_dir.Path() + "/program/";
        fs::create_directories(m_prog);
        fs::copy_file(std::string(ZOV_BIN_DIR) + "/zov-recorder", m_prog + "zov-recorder");
        fs::copy(std::string(ZOV_SOURCE_DIR) + "/data", m_prog + "data", fs::copy_options::recursive);
        setenv("XDG_DATA_HOME", m_dir.File("xdg-data").c_str(), 1);
        setenv("XDG_CONFIG_HOME", m_dir.File("xdg-config").c_str(), 1);
    }
    void TearDown() override {
        if (m_pid > 0) {
            kill(m_pid, SIGKILL);
            WaitExit(m_pid);
        }
    }
    void Launch(const std::string& project, const std::string& title) {
        std::vector<std::string> argv{m_prog + "zov-recorder"};
        if (!project.empty())
            argv.push_back(project);
        m_pid = Start(argv, m_x.Display(), m_dir.File("out.txt"), m_dir.File("err.txt"));
        ASSERT_GT(m_pid, 0);
        ASSERT_TRUE(WaitVisible(title, true)) << title;
    }
    std::string Log() { return ReadText(m_prog + "ZOV Recorder.log"); }
    bool WaitLog(const std::string& text, size_t after = 0, int timeoutMs = 20000) {
        return WaitUntil([&] { return Log().find(text, after) != std::string::npos; }, timeoutMs);
    }
    // The first window whose name matches `regex` exactly, visible or not; 0 when none.
    std::string FindWindow(const std::string& name, bool onlyVisible) {
        std::vector<std::string> argv{"xdotool", "search"};
        if (onlyVisible)
            argv.push_back("--onlyvisible");
        argv.insert(argv.end(), {"--name", "^" + name + "$"});
        RunResult r = RunProgram(argv, m_x.Display());
        if (r.exitCode != 0 || r.out.empty())
            return {};
        return r.out.substr(0, r.out.find('\n'));
    }
    bool WaitVisible(const std::string& name, bool visible, int timeoutMs = 30000) {
        return WaitUntil([&] { return FindWindow(name, true).empty() != visible; }, timeoutMs);
    }
    void Xdo(std::vector<std::string> args) {
        args.insert(args.begin(), "xdotool");
        RunProgram(args, m_x.Display());
    }
    // File > New with `project` typed into the file dialog; returns the settings dialog's id
    // once it shows (empty when it never did).
    std::string NewProjectDialog(const std::string& project) {
        Xdo({"windowfocus", "--sync", FindWindow("ZOV Recorder - .*", true), "key", "alt+f", "n"});
        if (!WaitUntil([&] { return !FindWindow(".*New.*", true).empty(); }, 20000))
            return {};
        Xdo({"type", "--delay", "20", project});
        Xdo({"key", "Return"});
        if (!WaitVisible("Recording Setting", true))
            return {};
        return FindWindow("Recording Setting", true);
    }
    // Presses on the finder icon, at (40, 114) from the dialog's corner, and drags it to
    // (x, y), where the button stays down until ReleaseFinder.
    bool PressFinderAndDragTo(const std::string& dialog, int x, int y) {
        int dx = 0, dy = 0;
        if (dialog.empty() || !WindowOrigin(m_x.Display(), std::stoull(dialog), dx, dy))
            return false;
        Xdo({"mousemove", std::to_string(dx + 40), std::to_string(dy + 114), "mousedown", "1"});
        Xdo({"mousemove", std::to_string(x - 50), std::to_string(y - 20)});
        Xdo({"mousemove", std::to_string(x), std::to_string(y)});
        return true;
    }
    // Lets go of the finder and leaves the pointer away from every window.
    void ReleaseFinder() {
        Xdo({"mouseup", "1"});
        Xdo({"mousemove", "900", "700"});
    }
    bool DragFinderOntoTestWindow(const std::string& dialog) {
        if (!PressFinderAndDragTo(dialog, 700, 170))
            return false;
        ReleaseFinder();
        return true;
    }
    // A screenshot once two in a row are alike.
    bool SettledScreenshot(Screenshot& shot) {
        Screenshot previous;
        std::string error;
        return WaitUntil(
            [&] {
                previous = shot;
                return TakeScreenshot(m_x.Display(), shot, error) && previous.rgb == shot.rgb;
            },
            20000);
    }
    // Whether the editor's view, at the left of the screen, shows frame 0 of a project made
    // by MakeAreaProject.
    bool ViewShowsFirstFrame() {
        Screenshot shot;
        std::string error;
        if (!TakeScreenshot(m_x.Display(), shot, error))
            return false;
        for (int y = 60; y < 400; ++y)
            for (int x = 0; x < 8; ++x)
                if (shot.At(x, y) == ProjectPixel(0, 0, 0) && shot.At(x + 6, y + 6) == ProjectPixel(0, 6, 6))
                    return true;
        return false;
    }
    // Ctrl+Shift+F12, and the wait for Stop's last step.
    bool StopWithHotKey() {
        const size_t before = Log().size();
        Xdo({"key", "ctrl+shift+F12"});
        return WaitLog("MakeSureVisible", before);
    }
    // Ends the program with SIGTERM, as a desktop's log-out does, so that its project can be read;
    // its exit status.
    int EndProgram() {
        if (m_pid <= 0 || kill(m_pid, SIGTERM) != 0)
            return -1;
        const int status = WaitExit(m_pid);
        m_pid = -1;
        return status;
    }
    // Frame `index` of the project at `path`, opened afresh.
    bool LoadFrames(const std::string& path, std::vector<zov::Image24>& frames) {
        zov::CAni doc;
        std::string p = path;
        if (!doc.OpenProject(p))
            return false;
        frames.resize(static_cast<size_t>(doc.FrameCount()));
        for (int i = 0; i < doc.FrameCount(); ++i)
            if (!doc.LoadFrame(i, frames[static_cast<size_t>(i)]))
                return false;
        return true;
    }

    Xvfb m_x{1024, 768, 24};
    TempDir m_dir;
    std::string m_prog;
    pid_t m_pid = -1;
};

} // namespace

// Ctrl+Shift+F9 with frame 2 selected and "No": the window hides and records the area;
// F9 again is refused, F11 while recording does nothing, F12 stops and the window shows
// frame 0 again. The new frames stand before frame 2 and equal the screen of the area, and
// the status window never reaches them.
TEST_F(RecorderProgram, HotKeysRecordAnInsertWhileHiddenAndStopBackOnFrameZero) {
    const std::string project = m_dir.File("film.scp");
    ASSERT_TRUE(MakeAreaProject(project, 600, 400));
    TestWindow still(m_x.Display(), kW, kH, 600, 400);
    ASSERT_TRUE(still.Ok());
    Launch(project, "ZOV Recorder - " + project);
    // Frame 2 selected: the third thumbnail of the strip (the strip starts 24 pixels below the
    // client's top, which the menu bar and toolbar push down; found on the screen).
    Screenshot shot;
    std::string error;
    int thumbX = -1, thumbY = -1;
    ASSERT_TRUE(WaitUntil(
        [&] {
            if (!TakeScreenshot(m_x.Display(), shot, error))
                return false;
            for (int y = 0; y < 200 && thumbX < 0; ++y)
                for (int x = 150; x < 300 && thumbX < 0; ++x)
                    if (shot.At(x, y) == ProjectPixel(2, 0, 0))
                        thumbX = x, thumbY = y;
            return thumbX >= 0;
        },
        30000));
    Xdo({"mousemove", std::to_string(thumbX + 20), std::to_string(thumbY + 20), "click", "1"});
    Xdo({"mousemove", "10", "700"});

    Xdo({"key", "ctrl+shift+F9"});
    ASSERT_TRUE(WaitVisible("ZOV Recorder", true)); // the question
    Xdo({"windowfocus", "--sync", FindWindow("ZOV Recorder", true), "key", "alt+n"});
    ASSERT_TRUE(WaitVisible("ZOV Recorder - " + project, false));
    // The status window (no tray here) comes once the capture runs, clear of the area.
    ASSERT_TRUE(WaitVisible("Recorder status", true));
    Screenshot hidden;
    ASSERT_TRUE(TakeScreenshot(m_x.Display(), hidden, error)) << error;
    const auto size0 = fs::file_size(project);
    ASSERT_TRUE(WaitUntil([&] { return fs::file_size(project) > size0 + 1000; }, 20000));
    const size_t before = Log().size();
    Xdo({"key", "ctrl+shift+F9"});
    ASSERT_TRUE(WaitLog("***** Error status!", before));
    Xdo({"key", "ctrl+shift+F11"});
    const auto size1 = fs::file_size(project);
    ASSERT_TRUE(WaitUntil([&] { return fs::file_size(project) > size1; }, 20000)); // still recording
    Xdo({"key", "ctrl+shift+F12"});
    ASSERT_TRUE(WaitLog("MakeSureVisible", before));
    ASSERT_TRUE(WaitVisible("ZOV Recorder - " + project, true));
    EXPECT_TRUE(WaitVisible("Recorder status", false));
    const std::string log = Log().substr(before);
    const size_t a = log.find("RecordSoundEnd"), b = log.find("CaptureScreenEnd"),
                 c = log.find("ResizeControl"), d = log.find("MakeSureVisible");
    EXPECT_TRUE(a < b && b < c && c < d) << log;
    EXPECT_EQ(log.find("***** Status Error"), std::string::npos); // F11 asked nothing of Stop

    // The view shows frame 0 again.
    ASSERT_TRUE(WaitUntil(
        [&] {
            if (!TakeScreenshot(m_x.Display(), shot, error))
                return false;
            for (int y = 100; y < 300; ++y)
                if (shot.At(0, y) == ProjectPixel(0, 0, 0) && shot.At(5, y + 5) == ProjectPixel(0, 5, 5))
                    return true;
            return false;
        },
        20000));

    ASSERT_EQ(EndProgram(), 0);
    std::vector<zov::Image24> frames;
    ASSERT_TRUE(LoadFrames(project, frames));
    const int added = static_cast<int>(frames.size()) - 5;
    ASSERT_GE(added, 2);
    // 0, 1, the new ones, 2, 3, 4.
    for (int i = 0; i < static_cast<int>(frames.size()); ++i) {
        const zov::Image24& f = frames[static_cast<size_t>(i)];
        if (i < 2 || i >= 2 + added) {
            const int k = i < 2 ? i : i - added;
            EXPECT_EQ(zovtest::FramePixel(f, 7, 9), ProjectPixel(k, 7, 9)) << "frame " << i;
        } else {
            std::string first;
            EXPECT_EQ(CountDifferences(f, hidden, 600, 400, &first), 0) << "frame " << i << ": " << first;
        }
    }
}

// New with a ".zov" path: the settings dialog hides the main window, "Sel Area" takes a
// rectangle dragged from bottom-right to top-left (after a 2-pixel drag that does not count),
// OK begins at once; the stream has the
// dragged size and its two pages, and a second Begin is refused.
TEST_F(RecorderProgram, NewStreamWithSelAreaRecordsTheDraggedRectangle) {
    TestWindow scene(m_x.Display(), 320, 240, 100, 50);
    ASSERT_TRUE(scene.Ok());
    Launch("", "ZOV Recorder - .*");
    const std::string main = FindWindow("ZOV Recorder - .*", true);
    Xdo({"windowfocus", "--sync", main, "key", "alt+f", "n"});
    ASSERT_TRUE(WaitUntil([&] { return !FindWindow(".*New.*", true).empty(); }, 20000));
    const std::string stream = m_dir.File("clip.zov");
    Xdo({"type", "--delay", "20", stream});
    Xdo({"key", "Return"});
    ASSERT_TRUE(WaitVisible("Recording Setting", true));
    EXPECT_TRUE(WaitVisible("ZOV Recorder - .*", false)); // "Hide Parent" is on for a new stream
    // Tab from the delay to the area list and on to "Sel Area".
    Xdo({"windowfocus", "--sync", FindWindow("Recording Setting", true), "key", "Tab", "Tab", "space"});
    ASSERT_TRUE(WaitVisible("Recording Setting", false));
    // The area window grabs the pointer once it is up; the drag waits for it.
    ASSERT_TRUE(WaitUntil(
        [&] {
            RunResult r =
                RunProgram({"xdotool", "search", "--onlyvisible", "--class", "zov-recorder"}, m_x.Display());
            return r.exitCode == 0 && !r.out.empty();
        },
        20000));
    // A drag of 2 x 2 pixels does not close the area window: the drag after it still counts.
    Xdo({"mousemove", "700", "500", "mousedown", "1", "mousemove", "701", "501", "mousemove", "702", "502",
         "mouseup", "1"});
    Xdo({"mousemove", "420", "290", "mousedown", "1", "mousemove", "300", "200", "mousemove", "100", "50",
         "mouseup", "1"});
    ASSERT_TRUE(WaitVisible("Recording Setting", true));
    Xdo({"mousemove", "900", "20"});
    Xdo({"windowfocus", "--sync", FindWindow("Recording Setting", true), "key", "Return"});
    ASSERT_TRUE(WaitVisible("Recording Setting", false));
    ASSERT_TRUE(WaitUntil([&] { return fs::exists(stream) && fs::file_size(stream) > 20000; }, 30000));
    // The screen while the window is hidden, for the recorded picture.
    Screenshot shot;
    std::string error;
    ASSERT_TRUE(TakeScreenshot(m_x.Display(), shot, error));
    Xdo({"key", "ctrl+shift+F12"});
    ASSERT_TRUE(WaitUntil([&] { return fs::exists(m_dir.File("clip-ocx.htm")); }, 20000));
    EXPECT_TRUE(fs::exists(m_dir.File("clip.htm")));
    const std::vector<uint8_t> bytes = ReadAll(stream);
    zov::StreamReader reader;
    reader.Open(bytes.data(), bytes.size());
    zov::StreamRecord rec;
    ASSERT_EQ(reader.Next(rec), zov::ReadStatus::Record);
    EXPECT_EQ(reader.Header().width, 320);
    EXPECT_EQ(reader.Header().height, 240);
    // The first picture is the test window at (100, 50).
    long differ = 0;
    for (int y = 0; y < 240; ++y)
        for (int x = 0; x < 320; ++x)
            if ((reader.Picture()[y * 320 + x] & 0xFFFFFF) != shot.At(100 + x, 50 + y))
                ++differ;
    EXPECT_EQ(differ, 0);
    // The stream has ended: Begin is refused with a message, the file unchanged.
    ASSERT_TRUE(WaitVisible("ZOV Recorder - .*", true));
    const size_t before = Log().size();
    Xdo({"key", "ctrl+shift+F9"});
    ASSERT_TRUE(WaitLog("***** Error status!", before));
    EXPECT_TRUE(WaitVisible("ZOV Recorder", true));
    EXPECT_EQ(ReadAll(stream), bytes);
}

// Under a window manager with a tray (openbox and trayer): the icon is there from the start
// and raises the window on an idle click; it changes while recording, and its tip then reads
// "Frames: N"; its menu opens at the pointer and, dismissed, leaves the capture running; Stop
// from the menu ends the recording. No frame holds the menu.
TEST_F(RecorderProgram, TrayIconRaisesChangesAndItsMenuNeverReachesAFrame) {
    const pid_t wm = StartWindowManager(m_x.Display());
    ASSERT_GT(wm, 0) << "openbox did not come up";
    // trayer now and then comes up without its window on a fresh server; it is started again.
    auto startTray = [&] {
        return Start({"trayer", "--edge", "bottom", "--align", "right", "--widthtype", "pixel", "--width",
                      "40", "--height", "32", "--SetDockType", "true", "--SetPartialStrut", "true",
                      "--expand", "false"},
                     m_x.Display(), m_dir.File("trayer-out.txt"), m_dir.File("trayer-err.txt"));
    };
    auto trayShown = [&] {
        return WaitUntil(
            [&] {
                RunResult r =
                    RunProgram({"xdotool", "search", "--onlyvisible", "--class", "trayer"}, m_x.Display());
                return r.exitCode == 0 && !r.out.empty();
            },
            10000);
    };
    pid_t tray = startTray();
    ASSERT_GT(tray, 0);
    if (!trayShown()) {
        kill(tray, SIGKILL);
        WaitExit(tray);
        tray = startTray();
        ASSERT_TRUE(trayShown()) << ReadText(m_dir.File("trayer-err.txt"));
    }
    KillAtEnd cleanup{{wm, tray}};

    // The menu opens above and left of the icon at the bottom-right corner: the area lies there.
    const std::string project = m_dir.File("tray.scp");
    ASSERT_TRUE(MakeAreaProject(project, 820, 580));
    Launch(project, "ZOV Recorder - " + project);
    // The icon: the tray's widest embedded window on the right.
    int iconX = -1, iconY = -1;
    ASSERT_TRUE(WaitUntil(
        [&] {
            RunResult ids =
                RunProgram({"xdotool", "search", "--onlyvisible", "--class", "trayer"}, m_x.Display());
            for (size_t a = 0, b; a < ids.out.size(); a = b + 1) {
                b = ids.out.find('\n', a);
                if (b == std::string::npos)
                    b = ids.out.size();
                RunResult g = RunProgram(
                    {"xdotool", "getwindowgeometry", "--shell", ids.out.substr(a, b - a)}, m_x.Display());
                int x = -1, y = -1, w = 0, h = 0;
                if (std::sscanf(g.out.c_str(), "WINDOW=%*d\nX=%d\nY=%d\nWIDTH=%d\nHEIGHT=%d", &x, &y, &w,
                                &h) == 4 &&
                    w >= 16 && w <= 64 && y > 600) {
                    iconX = x + w / 2;
                    iconY = y + h / 2;
                }
            }
            return iconX > 0;
        },
        20000));
    Screenshot shot;
    std::string error;
    auto iconPixels = [&] {
        std::vector<uint32_t> px;
        if (TakeScreenshot(m_x.Display(), shot, error))
            for (int y = -8; y < 8; ++y)
                for (int x = -8; x < 8; ++x)
                    px.push_back(shot.At(iconX + x, iconY + y));
        return px;
    };
    std::vector<uint32_t> idle;
    ASSERT_TRUE(WaitUntil(
        [&] {
            idle = iconPixels();
            return !idle.empty() &&
                   std::count(idle.begin(), idle.end(), idle[0]) < static_cast<long>(idle.size());
        },
        20000)); // the icon is drawn

    // A window over the editor; an idle click on the icon brings the editor back on top.
    auto viewShown = [&] { return ViewShowsFirstFrame(); };
    ASSERT_TRUE(WaitUntil(viewShown, 20000));
    TestWindow cover(m_x.Display(), 900, 600, 0, 0);
    ASSERT_TRUE(cover.Ok());
    ASSERT_TRUE(WaitUntil([&] { return !viewShown(); }, 20000));
    const auto sizeIdle = fs::file_size(project);
    Xdo({"mousemove", std::to_string(iconX), std::to_string(iconY), "click", "1"});
    ASSERT_TRUE(WaitUntil(viewShown, 20000));
    EXPECT_EQ(fs::file_size(project), sizeIdle); // nothing recorded
    cover.Close();

    // Begin (replacing the frames): the icon changes.
    Xdo({"key", "ctrl+shift+F9"});
    ASSERT_TRUE(WaitVisible("ZOV Recorder", true));
    Xdo({"windowfocus", "--sync", FindWindow("ZOV Recorder", true), "key", "alt+y"});
    ASSERT_TRUE(WaitVisible("ZOV Recorder - " + project, false));
    ASSERT_TRUE(WaitUntil([&] { return fs::file_size(project) > 200000; }, 20000));
    EXPECT_NE(iconPixels(), idle);

    // The tip, read off the screen where the pointer rests on the icon: "%s %d".
    // The tip comes for a pointer that moved over the icon and rests, not for one that only
    // came in; Qt now and then lets such a rest pass, so the pointer comes in again now and then.
    auto hover = [&] {
        Xdo({"mousemove", "10", "10"});
        for (int dx : {-2, 0, 2, 1})
            Xdo({"mousemove", std::to_string(iconX + dx), std::to_string(iconY)});
    };
    std::vector<Box> tips;
    int polls = 0;
    ASSERT_TRUE(WaitUntil(
        [&] {
            if (polls++ % 200 == 0)
                hover();
            tips = MappedPopups(m_x.Display());
            return !tips.empty();
        },
        30000))
        << "no tool tip over the icon";
    ASSERT_TRUE(TakeScreenshot(m_x.Display(), shot, error));
    SaveShot(m_x.Display(), "tray-tip.png");
    const std::string tip = ReadScreenText(shot, tips.front(), m_dir.Path());
    int tipFrames = -1;
    char tail = 0;
    EXPECT_EQ(std::sscanf(tip.c_str(), "Frames: %d%c", &tipFrames, &tail), 1)
        << "the tip read \"" << tip << "\"";
    EXPECT_GE(tipFrames, 1) << tip;
    Xdo({"mousemove", "10", "10"});
    ASSERT_TRUE(WaitUntil([&] { return MappedPopups(m_x.Display()).empty(); }, 20000));
    Screenshot hidden;
    ASSERT_TRUE(TakeScreenshot(m_x.Display(), hidden, error));

    // The menu at the pointer, dismissed: the capture goes on.
    auto menuUp = [&](bool up) {
        return WaitUntil(
            [&] {
                if (!TakeScreenshot(m_x.Display(), shot, error))
                    return false;
                return (shot.At(iconX - 60, iconY - 40) != hidden.At(iconX - 60, iconY - 40)) == up;
            },
            20000);
    };
    Xdo({"mousemove", std::to_string(iconX), std::to_string(iconY), "click", "1"});
    ASSERT_TRUE(menuUp(true));
    SaveShot(m_x.Display(), "tray-menu.png");
    Xdo({"key", "Escape"});
    ASSERT_TRUE(menuUp(false));
    const auto afterMenu = fs::file_size(project);
    ASSERT_TRUE(WaitUntil([&] { return fs::file_size(project) > afterMenu + 50000; }, 20000));
    // Stop from the menu.
    const size_t before = Log().size();
    Xdo({"mousemove", std::to_string(iconX), std::to_string(iconY), "click", "1"});
    ASSERT_TRUE(menuUp(true));
    Xdo({"key", "s"});
    ASSERT_TRUE(WaitLog("MakeSureVisible", before));
    ASSERT_TRUE(WaitVisible("ZOV Recorder - " + project, true));
    ASSERT_TRUE(WaitUntil([&] { return iconPixels() == idle; }, 20000));

    ASSERT_EQ(EndProgram(), 0);
    std::vector<zov::Image24> frames;
    ASSERT_TRUE(LoadFrames(project, frames));
    ASSERT_GE(frames.size(), 3u);
    EXPECT_LE(tipFrames, static_cast<int>(frames.size())) << "the tip counted frames never recorded";
    for (size_t i = 0; i < frames.size(); ++i) {
        std::string first;
        EXPECT_EQ(CountDifferences(frames[i], hidden, 820, 580, &first), 0) << "frame " << i << ": " << first;
    }
}

// The finder dragged from the dialog onto a window picks it; the recording follows that
// window; once the window is closed, Begin fails with a message and the editor comes back.
TEST_F(RecorderProgram, FinderPicksAWindowAndAClosedWindowFailsBeginWithAMessage) {
    Launch("", "ZOV Recorder - .*");
    auto target = std::make_unique<TestWindow>(m_x.Display(), 200, 150, 600, 100);
    ASSERT_TRUE(target->Ok());
    const std::string project = m_dir.File("win.scp");
    const std::string dialog = NewProjectDialog(project);
    ASSERT_FALSE(dialog.empty());
    ASSERT_TRUE(DragFinderOntoTestWindow(dialog));
    Xdo({"windowfocus", "--sync", dialog, "key", "Return"});
    ASSERT_TRUE(WaitVisible("Recording Setting", false));
    // Recording the window: its pictures, wherever it is.
    Xdo({"key", "ctrl+shift+F9"});
    ASSERT_TRUE(WaitVisible("Recorder status", true));
    Screenshot shot;
    std::string error;
    ASSERT_TRUE(TakeScreenshot(m_x.Display(), shot, error));
    ASSERT_TRUE(WaitUntil([&] { return fs::exists(project) && fs::file_size(project) > 200000; }, 20000));
    ASSERT_TRUE(StopWithHotKey());
    // The window goes; Begin then fails, with a message, and the editor is back.
    target->Close();
    target.reset();
    const size_t before2 = Log().size();
    Xdo({"key", "ctrl+shift+F9"});
    ASSERT_TRUE(WaitVisible("ZOV Recorder", true)); // the question: the project has frames
    Xdo({"windowfocus", "--sync", FindWindow("ZOV Recorder", true), "key", "alt+n"});
    ASSERT_TRUE(WaitLog("ResizeControl", before2));
    EXPECT_TRUE(WaitVisible("ZOV Recorder", true)); // the message
    EXPECT_TRUE(WaitVisible("ZOV Recorder - .*", true));
    EndProgram();
    std::vector<zov::Image24> frames;
    ASSERT_TRUE(LoadFrames(project, frames));
    ASSERT_GE(frames.size(), 2u);
    EXPECT_EQ(frames[0].width, 200);
    EXPECT_EQ(frames[0].height, 150);
    for (size_t i = 0; i < frames.size(); ++i) {
        std::string first;
        // The pointer was away from the window; the frames equal the window on the screen.
        EXPECT_EQ(CountDifferences(frames[i], shot, 600, 100, &first), 0) << "frame " << i << ": " << first;
    }
}

// Another client holds Ctrl+Shift+F10 and Num Lock is on: the program says so once, and
// Ctrl+Shift+F9 and F12 still begin and stop a recording.
TEST_F(RecorderProgram, HotKeysWorkWithNumLockOnAndOneKeyHeldElsewhere) {
    Display* other = XOpenDisplay(m_x.Display().c_str());
    ASSERT_NE(other, nullptr);
    const Window root = DefaultRootWindow(other);
    XGrabKey(other, XKeysymToKeycode(other, XK_F10), ControlMask | ShiftMask, root, True, GrabModeAsync,
             GrabModeAsync);
    XSync(other, False);
    Xdo({"key", "Num_Lock"});
    Window r, c;
    int rx, ry, wx, wy;
    unsigned mask = 0;
    XQueryPointer(other, root, &r, &c, &rx, &ry, &wx, &wy, &mask);
    ASSERT_TRUE(mask & Mod2Mask) << "Num Lock did not come on";

    const std::string project = m_dir.File("film.scp");
    ASSERT_TRUE(MakeAreaProject(project, 600, 400));
    Launch(project, "ZOV Recorder - " + project);
    ASSERT_TRUE(WaitLog("Ctrl+Shift+F10"));
    EXPECT_TRUE(WaitVisible("Hot Keys", true));

    Xdo({"mousemove", "10", "700"});
    Xdo({"key", "ctrl+shift+F9"});
    ASSERT_TRUE(WaitVisible("ZOV Recorder", true)); // the question
    Xdo({"windowfocus", "--sync", FindWindow("ZOV Recorder", true), "key", "alt+n"});
    ASSERT_TRUE(WaitVisible("ZOV Recorder - " + project, false));
    const auto size0 = fs::file_size(project);
    ASSERT_TRUE(WaitUntil([&] { return fs::file_size(project) > size0 + 1000; }, 20000));
    ASSERT_TRUE(StopWithHotKey());
    EXPECT_TRUE(WaitVisible("ZOV Recorder - " + project, true));
    // One message for the held key, none for the others.
    const std::string log = Log();
    size_t held = 0;
    for (size_t at = log.find("Ctrl+Shift+F10"); at != std::string::npos;
         at = log.find("Ctrl+Shift+F10", at + 1))
        ++held;
    EXPECT_EQ(held, 1u) << log;
    EXPECT_EQ(log.find("Ctrl+Shift+F9 ("), std::string::npos) << log;
    Xdo({"key", "Num_Lock"});
    XCloseDisplay(other);
}

// In the running program: "Hide Parent" hides and shows the editor while the dialog stays
// open; a window chosen with the finder, then the preset " 640 * 480", then OK records
// (0, 0, 640, 480), not the window.
TEST_F(RecorderProgram, HideParentKeepsTheDialogAndAPresetAfterAWindowRecordsThePreset) {
    Launch("", "ZOV Recorder - .*");
    TestWindow target(m_x.Display(), 200, 150, 600, 100);
    ASSERT_TRUE(target.Ok());
    const std::string project = m_dir.File("preset.scp");
    const std::string dialog = NewProjectDialog(project);
    ASSERT_FALSE(dialog.empty());
    ASSERT_TRUE(WaitVisible("ZOV Recorder - .*", true));
    // From the delay list: area list, "Sel Area", pointer, big pointer, "Hide Parent".
    Xdo({"windowfocus", "--sync", dialog, "key", "Tab", "Tab", "Tab", "Tab", "Tab", "space"});
    ASSERT_TRUE(WaitVisible("ZOV Recorder - .*", false));
    EXPECT_FALSE(FindWindow("Recording Setting", true).empty());
    Xdo({"windowfocus", "--sync", dialog, "key", "space"});
    ASSERT_TRUE(WaitVisible("ZOV Recorder - .*", true));
    EXPECT_FALSE(FindWindow("Recording Setting", true).empty());

    // The finder onto the test window, then back to the area list for the first preset.
    ASSERT_TRUE(DragFinderOntoTestWindow(dialog));
    Xdo({"windowfocus", "--sync", dialog, "key", "shift+Tab", "shift+Tab", "shift+Tab", "shift+Tab", "Down",
         "Return"});
    ASSERT_TRUE(WaitVisible("Recording Setting", false));
    Xdo({"key", "ctrl+shift+F9"});
    ASSERT_TRUE(WaitVisible("Recorder status", true));
    Screenshot shot;
    std::string error;
    ASSERT_TRUE(TakeScreenshot(m_x.Display(), shot, error));
    ASSERT_TRUE(WaitUntil([&] { return fs::exists(project) && fs::file_size(project) > 100000; }, 20000));
    ASSERT_TRUE(StopWithHotKey());
    EndProgram();
    std::vector<zov::Image24> frames;
    ASSERT_TRUE(LoadFrames(project, frames));
    ASSERT_GE(frames.size(), 1u);
    EXPECT_EQ(frames[0].width, 640);
    EXPECT_EQ(frames[0].height, 480);
    std::string first;
    EXPECT_EQ(CountDifferences(frames[0], shot, 0, 0, &first), 0) << first;
}

// A small file system filled during a recording: the recording ends by itself with a message,
// the editor comes back, and once there is room again Begin records on; the project then holds
// frames of both runs. Needs a tmpfs of its own (root); skipped where mounting is not allowed.
TEST_F(RecorderProgram, AFullDiskEndsTheRecordingWithAMessageAndBeginWorksAgain) {
    const std::string small = m_dir.File("small");
    fs::create_directories(small);
    if (mount("tmpfs", small.c_str(), "tmpfs", 0, "size=4m") != 0)
        GTEST_SKIP() << "cannot mount a tmpfs here: " << std::strerror(errno);
    struct Unmount {
        std::string path;
        ~Unmount() { umount2(path.c_str(), MNT_DETACH); }
    } unmount{small};
    const std::string project = small + "/film.scp";
    ASSERT_TRUE(MakeAreaProject(project, 600, 400));
    TestWindow still(m_x.Display(), kW, kH, 600, 400);
    ASSERT_TRUE(still.Ok());
    Launch(project, "ZOV Recorder - " + project);
    Xdo({"mousemove", "10", "700"});
    auto beginAndWait = [&] {
        Xdo({"key", "ctrl+shift+F9"});
        ASSERT_TRUE(WaitVisible("ZOV Recorder", true)); // the question: the project has frames
        Xdo({"windowfocus", "--sync", FindWindow("ZOV Recorder", true), "key", "alt+n"});
        ASSERT_TRUE(WaitVisible("ZOV Recorder - " + project, false));
        const auto size0 = fs::file_size(project);
        ASSERT_TRUE(WaitUntil([&] { return fs::file_size(project) > size0 + 1000; }, 20000));
    };
    beginAndWait();
    if (HasFatalFailure())
        return;

    // Fill what is left, while the capture writes.
    const size_t before = Log().size();
    const std::string filler = small + "/filler";
    {
        FILE* f = std::fopen(filler.c_str(), "wb");
        ASSERT_NE(f, nullptr);
        std::vector<char> block(64 * 1024, 'x');
        while (std::fwrite(block.data(), 1, block.size(), f) == block.size() && std::fflush(f) == 0) {
        }
        std::fclose(f);
    }
    ASSERT_TRUE(WaitLog("ResizeControl", before));
    EXPECT_TRUE(WaitVisible("ZOV Recorder - " + project, true));
    ASSERT_TRUE(WaitVisible("ZOV Recorder", true)); // the message with the reason
    Xdo({"windowfocus", "--sync", FindWindow("ZOV Recorder", true), "key", "Return"});
    ASSERT_TRUE(WaitVisible("ZOV Recorder", false));

    // Room again: Begin works.
    ASSERT_TRUE(fs::remove(filler));
    beginAndWait();
    if (HasFatalFailure())
        return;
    ASSERT_TRUE(StopWithHotKey());
    ASSERT_EQ(EndProgram(), 0);
    std::vector<zov::Image24> frames;
    ASSERT_TRUE(LoadFrames(project, frames));
    EXPECT_GE(frames.size(), 5u + 2u); // the project's five and at least one of each run
}

// Under openbox: the finder dragged onto an xterm marks the xterm's frame mid-drag with the
// exclusive-or mark, the xterm's pixels are as before once the button is released, and the
// recording then takes the xterm with its frame (title bar and borders).
TEST_F(RecorderProgram, FinderUnderAWindowManagerMarksAnXtermAndRecordsItWithItsFrame) {
    const pid_t wm = StartWindowManager(m_x.Display());
    ASSERT_GT(wm, 0) << "openbox did not come up";
    Launch("", "ZOV Recorder - .*");
    // Top right, clear of the dialog, and kept above the editor.
    const pid_t term = Start({"xterm", "-geometry", "40x8+680+20", "-bg", "#203040", "-fg", "#e0e0a0",
                              "-title", "zov-xterm", "-e", "sleep", "600"},
                             m_x.Display());
    KillAtEnd cleanup{{wm, term}};
    std::string client;
    ASSERT_TRUE(WaitUntil(
        [&] {
            client = FindWindow("zov-xterm", true);
            return !client.empty() && FrameExtents(m_x.Display(), std::stoull(client)).size() == 4;
        },
        20000));
    ASSERT_TRUE(KeepAbove(m_x.Display(), std::stoull(client)));
    const std::string project = m_dir.File("xterm.scp");
    const std::string dialog = NewProjectDialog(project);
    ASSERT_FALSE(dialog.empty());
    Box frame, box;
    ASSERT_TRUE(FramedBox(m_x.Display(), std::stoull(client), frame));
    ASSERT_TRUE(FramedBox(m_x.Display(), std::stoull(dialog), box));
    ASSERT_FALSE(frame.Intersects(box)) << "the dialog covers the xterm";
    Screenshot before, mid, after;
    ASSERT_TRUE(SettledScreenshot(before));
    SaveShot(m_x.Display(), "recording-setting-dialog.png");

    ASSERT_TRUE(PressFinderAndDragTo(dialog, (frame.left + frame.right) / 2, (frame.top + frame.bottom) / 2));
    // Mid-drag: the mark around the frame, exactly, and nothing else of the xterm changed.
    long mismatches = -1;
    std::string error;
    WaitUntil(
        [&] {
            if (!TakeScreenshot(m_x.Display(), mid, error))
                return false;
            mismatches = 0;
            for (int y = frame.top; y < frame.bottom; ++y)
                for (int x = frame.left; x < frame.right; ++x) {
                    uint32_t expected = before.At(x, y);
                    if (InFinderMark(x - frame.left, y - frame.top, frame.Width(), frame.Height()))
                        expected ^= 0xFFFF00u;
                    mismatches += mid.At(x, y) != expected;
                }
            return mismatches == 0;
        },
        20000);
    SaveShot(m_x.Display(), "finder-xterm-mid-drag.png");
    EXPECT_EQ(mismatches, 0) << "frame " << frame.left << "," << frame.top << " " << frame.Width() << "x"
                             << frame.Height();
    ReleaseFinder();
    long left = -1;
    WaitUntil(
        [&] {
            if (!TakeScreenshot(m_x.Display(), after, error))
                return false;
            left = 0;
            for (int y = frame.top; y < frame.bottom; ++y)
                for (int x = frame.left; x < frame.right; ++x)
                    left += after.At(x, y) != before.At(x, y);
            return left == 0;
        },
        20000);
    EXPECT_EQ(left, 0) << "pixels of the xterm left changed after the release";

    Xdo({"windowfocus", "--sync", dialog, "key", "Return"});
    ASSERT_TRUE(WaitVisible("Recording Setting", false));
    Xdo({"mousemove", "5", "5"});
    Xdo({"key", "ctrl+shift+F9"});
    ASSERT_TRUE(WaitVisible("Recorder status", true));
    Screenshot hidden;
    ASSERT_TRUE(SettledScreenshot(hidden));
    const auto size = fs::exists(project) ? fs::file_size(project) : 0;
    ASSERT_TRUE(
        WaitUntil([&] { return fs::exists(project) && fs::file_size(project) > size + 1000; }, 20000));
    ASSERT_TRUE(StopWithHotKey());
    EndProgram();
    std::vector<zov::Image24> frames;
    ASSERT_TRUE(LoadFrames(project, frames));
    ASSERT_GE(frames.size(), 2u);
    EXPECT_EQ(frames.back().width, frame.Width());
    EXPECT_EQ(frames.back().height, frame.Height());
    std::string first;
    EXPECT_EQ(CountDifferences(frames.back(), hidden, frame.left, frame.top, &first), 0) << first;
}

// Without a tray the status window stands beside the area. Its menu, opened with the right
// button at the window's top-left corner, opens up and left, over the area: the capture holds
// while it is open and goes on once it is dismissed, and no frame shows the menu or the window.
TEST_F(RecorderProgram, StatusWindowMenuHoldsTheCaptureAndNeverReachesAFrame) {
    // The area ends 34 pixels short of where the status window (474 x 64 here) goes, bottom right.
    constexpr int kAreaW = 500, kAreaH = 768;
    const std::string project = m_dir.File("status.scp");
    ASSERT_TRUE(MakeAreaProject(project, 0, 0, kAreaW, kAreaH));
    TestWindow scene(m_x.Display(), 300, 200, 200, 480);
    ASSERT_TRUE(scene.Ok());
    Launch(project, "ZOV Recorder - " + project);
    Xdo({"mousemove", "1000", "5"});
    Xdo({"key", "ctrl+shift+F9"});
    ASSERT_TRUE(WaitVisible("ZOV Recorder", true)); // the question: the project has frames
    Xdo({"windowfocus", "--sync", FindWindow("ZOV Recorder", true), "key", "alt+y"});
    ASSERT_TRUE(WaitVisible("ZOV Recorder - " + project, false));
    ASSERT_TRUE(WaitVisible("Recorder status", true));
    Box status;
    ASSERT_TRUE(FramedBox(m_x.Display(), std::stoull(FindWindow("Recorder status", true)), status));
    const Box area{0, 0, kAreaW, kAreaH};
    ASSERT_FALSE(status.Intersects(area)) << "status window at " << status.left << "," << status.top;
    Screenshot hidden;
    ASSERT_TRUE(SettledScreenshot(hidden));
    const auto size0 = fs::file_size(project);
    ASSERT_TRUE(WaitUntil([&] { return fs::file_size(project) > size0 + 1000; }, 20000));

    Xdo({"mousemove", std::to_string(status.left + 3), std::to_string(status.top + 3), "click", "3"});
    std::vector<Box> popups;
    ASSERT_TRUE(WaitUntil(
        [&] {
            popups = MappedPopups(m_x.Display());
            return !popups.empty();
        },
        20000));
    SaveShot(m_x.Display(), "status-window-menu.png");
    // Else this test would say nothing about the menu.
    EXPECT_TRUE(popups.front().Intersects(area))
        << "menu at " << popups.front().left << "," << popups.front().top << " " << popups.front().Width()
        << "x" << popups.front().Height() << "; status " << status.left << "," << status.top << " "
        << status.Width() << "x" << status.Height();
    Xdo({"key", "Escape"});
    ASSERT_TRUE(WaitUntil([&] { return MappedPopups(m_x.Display()).empty(); }, 20000));
    const auto afterMenu = fs::file_size(project);
    ASSERT_TRUE(WaitUntil([&] { return fs::file_size(project) > afterMenu + 1000; }, 20000))
        << "the capture did not go on after the menu";
    ASSERT_TRUE(StopWithHotKey());
    ASSERT_EQ(EndProgram(), 0);
    std::vector<zov::Image24> frames;
    ASSERT_TRUE(LoadFrames(project, frames));
    ASSERT_GE(frames.size(), 3u);
    for (size_t i = 0; i < frames.size(); ++i) {
        std::string first;
        EXPECT_EQ(CountDifferences(frames[i], hidden, 0, 0, &first), 0) << "frame " << i << ": " << first;
    }
}

// With a StatusNotifierItem host on the session bus (a watcher of the test's own, as desktops
// with such trays have), the tray icon is an item on the bus: its tip reads "...." at first and
// "Frames: N" while recording; Activate while idle brings the editor back over a covering
// window; ContextMenu while recording opens the recorder's menu at the pointer, and once it is
// dismissed the capture goes on.
TEST_F(RecorderProgram, TrayAsAStatusNotifierItemShowsTheTipRaisesAndOpensTheMenu) {
    const std::string bus = m_dir.File("bus"), items = m_dir.File("items.txt");
    const pid_t daemon =
        Start({"dbus-daemon", "--session", "--address=unix:path=" + bus, "--nofork", "--nopidfile"},
              m_x.Display(), m_dir.File("dbus-out.txt"), m_dir.File("dbus-err.txt"));
    ASSERT_GT(daemon, 0);
    ASSERT_TRUE(WaitUntil([&] { return fs::exists(bus); }, 20000)) << ReadText(m_dir.File("dbus-err.txt"));
    setenv("DBUS_SESSION_BUS_ADDRESS", ("unix:path=" + bus).c_str(), 1);
    // The system's python, which has the D-Bus bindings (scripts/deps/recording.txt).
    const pid_t watcher =
        Start({"/usr/bin/python3", std::string(ZOV_SOURCE_DIR) + "/tests/app/sni_watcher.py", items},
              m_x.Display(), m_dir.File("watcher-out.txt"), m_dir.File("watcher-err.txt"));
    struct UnsetBus {
        ~UnsetBus() { unsetenv("DBUS_SESSION_BUS_ADDRESS"); }
    } unsetBus;
    KillAtEnd cleanup{{watcher, daemon}};
    ASSERT_TRUE(WaitUntil([&] { return fs::exists(items); }, 20000))
        << ReadText(m_dir.File("watcher-err.txt"));

    const std::string project = m_dir.File("sni.scp");
    ASSERT_TRUE(MakeAreaProject(project, 600, 400));
    TestWindow still(m_x.Display(), kW, kH, 600, 400);
    ASSERT_TRUE(still.Ok());
    Launch(project, "ZOV Recorder - " + project);
    std::string item;
    ASSERT_TRUE(WaitUntil(
        [&] {
            item = ReadText(items);
            item = item.substr(0, item.find('\n'));
            return !item.empty();
        },
        20000))
        << "the tray icon did not register as an item";
    auto call = [&](std::vector<std::string> args) {
        std::vector<std::string> argv{"gdbus", "call",          "--session",           "--dest",
                                      item,    "--object-path", "/StatusNotifierItem", "--method"};
        argv.insert(argv.end(), args.begin(), args.end());
        return RunProgram(argv, m_x.Display());
    };
    auto tip = [&] {
        return call({"org.freedesktop.DBus.Properties.Get", "org.kde.StatusNotifierItem", "ToolTip"}).out;
    };
    EXPECT_NE(tip().find("'....'"), std::string::npos) << tip();

    ASSERT_TRUE(WaitUntil([&] { return ViewShowsFirstFrame(); }, 20000));
    TestWindow cover(m_x.Display(), 900, 600, 0, 0);
    ASSERT_TRUE(cover.Ok());
    ASSERT_TRUE(WaitUntil([&] { return !ViewShowsFirstFrame(); }, 20000));
    EXPECT_EQ(call({"org.kde.StatusNotifierItem.Activate", "0", "0"}).exitCode, 0);
    EXPECT_TRUE(WaitUntil([&] { return ViewShowsFirstFrame(); }, 20000))
        << "Activate did not raise the editor";
    cover.Close();

    Xdo({"mousemove", "300", "300"});
    Xdo({"key", "ctrl+shift+F9"});
    ASSERT_TRUE(WaitVisible("ZOV Recorder", true)); // the question: the project has frames
    Xdo({"windowfocus", "--sync", FindWindow("ZOV Recorder", true), "key", "alt+n"});
    ASSERT_TRUE(WaitVisible("ZOV Recorder - " + project, false));
    const auto size0 = fs::file_size(project);
    ASSERT_TRUE(WaitUntil([&] { return fs::file_size(project) > size0 + 1000; }, 20000));
    int tipFrames = -1;
    std::string text;
    EXPECT_TRUE(WaitUntil(
        [&] {
            text = tip();
            const size_t at = text.find("'Frames: ");
            return at != std::string::npos &&
                   std::sscanf(text.c_str() + at, "'Frames: %d'", &tipFrames) == 1 && tipFrames >= 1;
        },
        20000))
        << text;

    // The menu's reply waits until the menu closes: the call goes on in the background.
    const pid_t menuCall =
        Start({"gdbus", "call", "--session", "--dest", item, "--object-path", "/StatusNotifierItem",
               "--method", "org.kde.StatusNotifierItem.ContextMenu", "300", "300"},
              m_x.Display());
    std::vector<Box> popups;
    ASSERT_TRUE(WaitUntil(
        [&] {
            popups = MappedPopups(m_x.Display());
            return !popups.empty();
        },
        20000))
        << "no menu for ContextMenu";
    // At the pointer, aligned right and bottom.
    EXPECT_EQ(popups.front().right, 300);
    EXPECT_EQ(popups.front().bottom, 300);
    Xdo({"key", "Escape"});
    ASSERT_TRUE(WaitUntil([&] { return MappedPopups(m_x.Display()).empty(); }, 20000));
    EXPECT_EQ(WaitExit(menuCall), 0);
    const auto afterMenu = fs::file_size(project);
    ASSERT_TRUE(WaitUntil([&] { return fs::file_size(project) > afterMenu + 1000; }, 20000))
        << "the capture did not go on after the menu";
    ASSERT_TRUE(StopWithHotKey());
}
