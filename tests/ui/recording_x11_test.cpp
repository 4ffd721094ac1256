// The finder icon and the area selection in a real X session: Xvfb with openbox, the widgets
// on Qt's xcb platform, the pointer and keys driven by xdotool. The finder dragged onto a
// window marks it mid-drag (exclusive-or pixels on the screen), picks it with its frame, and
// leaves its pixels as they were; the area selection shows the rubber band over the frozen
// screen, gives the same rectangle both ways, ignores a 2-pixel drag and cancels on Escape.
// With ZOV_SHOTS_DIR set, the mid-drag screens are also saved there as PNG (import).
#include "tests/support/XTestEnv.h"
#include "tests/support/XWindowManager.h"
#include "ui/AreaSelectWindow.h"
#include "ui/WindowFinderWidget.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QSignalSpy>
#include <QVBoxLayout>
#include <QWidget>
#include <X11/Xlib.h>
#include <signal.h>
#include <thread>

#if defined(__SANITIZE_ADDRESS__)
// Qt on xcb talks to D-Bus and fontconfig, which keep buffers until exit: theirs, not ours
// (the program itself carries the same list).
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libdbus-1.so\nleak:libfontconfig.so\n";
}
#endif

using namespace zovtest;

namespace {

// One X session per test binary: Xvfb, openbox, a grey root and the QApplication on it.
class XSession : public ::testing::Environment {
  public:
    void SetUp() override {
        server = new Xvfb(640, 480, 24);
        ASSERT_TRUE(server->Ok());
        wm = StartWindowManager(server->Display());
        ASSERT_GT(wm, 0) << "openbox did not come up";
        qputenv("DISPLAY", server->Display().c_str());
        qputenv("QT_QPA_PLATFORM", "xcb");
        dpy = XOpenDisplay(server->Display().c_str());
        ASSERT_TRUE(dpy);
        // A grey root, so the black rubber band and the yellow mark differ from it.
        XSetWindowBackground(dpy, DefaultRootWindow(dpy), 0x808080);
        XClearWindow(dpy, DefaultRootWindow(dpy));
        XSync(dpy, False);
        static int argc = 1;
        static char name[] = "zov-ui-x11-test";
        static char* argv[] = {name, nullptr};
        app = new QApplication(argc, argv);
        QApplication::setQuitOnLastWindowClosed(false);
    }
    void TearDown() override {
        delete app;
        if (dpy)
            XCloseDisplay(dpy);
        if (wm > 0) {
            kill(wm, SIGTERM);
            WaitExit(wm);
        }
        delete server;
    }
    Xvfb* server = nullptr;
    pid_t wm = -1;
    Display* dpy = nullptr;
    QApplication* app = nullptr;
};
XSession* g_session = static_cast<XSession*>(::testing::AddGlobalTestEnvironment(new XSession));

const std::string& Dpy() {
    return g_session->server->Display();
}

// Runs the Qt loop until `done` holds (a bound on a hang, not a pacing).
bool QtWait(const std::function<bool()>& done, int timeoutMs = 15000) {
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

int Xdotool(const std::vector<std::string>& args) {
    std::vector<std::string> argv = {"xdotool"};
    argv.insert(argv.end(), args.begin(), args.end());
    return RunProgram(argv, Dpy()).exitCode;
}

// Whether another client holds the pointer and the keyboard now: a grab of our own is refused.
bool PointerAndKeyboardGrabbedElsewhere() {
    Display* d = XOpenDisplay(Dpy().c_str());
    if (!d)
        return false;
    Window root = DefaultRootWindow(d);
    const int p = XGrabPointer(d, root, False, 0, GrabModeAsync, GrabModeAsync, None, None, CurrentTime);
    if (p == GrabSuccess)
        XUngrabPointer(d, CurrentTime);
    const int k = XGrabKeyboard(d, root, False, GrabModeAsync, GrabModeAsync, CurrentTime);
    if (k == GrabSuccess)
        XUngrabKeyboard(d, CurrentTime);
    XCloseDisplay(d);
    return p == AlreadyGrabbed && k == AlreadyGrabbed;
}

// Runs the area selection while `drive` works the pointer from another thread once the
// selection holds its grabs.
std::optional<zov::ScreenRect> SelectDriven(const std::function<void()>& drive) {
    std::thread driver([&] {
        if (WaitUntil(PointerAndKeyboardGrabbedElsewhere, 15000))
            drive();
        else
            Xdotool({"key", "Escape"});
    });
    std::optional<zov::ScreenRect> result = zov::CAreaSelectWindow::Select();
    driver.join();
    return result;
}

bool Same(const zov::ScreenRect& a, const zov::ScreenRect& b) {
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

} // namespace

TEST(AreaSelectX11, RubberBandOverTheFrozenScreenBothDirectionsEqualSmallDragWaitsEscapeCancels) {
    Screenshot before;
    std::string error;
    ASSERT_TRUE(TakeScreenshot(Dpy(), before, error)) << error;

    // Bottom-right to top-left, checking the rubber band mid-drag.
    long bandMismatches = -1;
    auto backward = SelectDriven([&] {
        Xdotool({"mousemove", "300", "200", "mousedown", "1", "mousemove", "250", "150", "mousemove", "100",
                 "50"});
        Screenshot mid;
        // The band is drawn once the last move is painted: the outline's corner turns black.
        WaitUntil(
            [&] {
                std::string e;
                return TakeScreenshot(Dpy(), mid, e) && mid.At(100, 50) == 0 && mid.At(299, 199) == 0;
            },
            10000);
        SaveShot(Dpy(), "area-select-rubber-band.png");
        bandMismatches = 0;
        for (int y = 0; y < mid.height; ++y)
            for (int x = 0; x < mid.width; ++x) {
                const bool inside = x >= 100 && x < 300 && y >= 50 && y < 200;
                const bool outline = inside && (x == 100 || x == 299 || y == 50 || y == 199);
                const uint32_t expected = outline ? 0u : before.At(x, y);
                if (mid.At(x, y) != expected)
                    ++bandMismatches;
            }
        Xdotool({"mouseup", "1"});
    });
    ASSERT_TRUE(backward);
    EXPECT_EQ(bandMismatches, 0) << "the frozen screen with a 1-pixel black outline, nothing else";
    EXPECT_TRUE(Same(*backward, {100, 50, 300, 200}));

    auto forward = SelectDriven([] {
        Xdotool({"mousemove", "100", "50", "mousedown", "1", "mousemove", "200", "120", "mousemove", "300",
                 "200", "mouseup", "1"});
    });
    ASSERT_TRUE(forward);
    EXPECT_TRUE(Same(*forward, *backward));

    // A 2 x 2 drag keeps the selection open (else it would return that rectangle); Escape then
    // cancels it.
    auto cancelled = SelectDriven([] {
        Xdotool({"mousemove", "10", "10", "mousedown", "1", "mousemove", "12", "12", "mouseup", "1"});
        Xdotool({"key", "Escape"});
    });
    EXPECT_FALSE(cancelled);

    // A small drag, then a real one: the real one counts.
    auto second = SelectDriven([] {
        Xdotool({"mousemove", "40", "40", "mousedown", "1", "mousemove", "42", "41", "mouseup", "1"});
        Xdotool({"mousemove", "400", "300", "mousedown", "1", "mousemove", "380", "290", "mousemove", "350",
                 "250", "mouseup", "1"});
    });
    ASSERT_TRUE(second);
    EXPECT_TRUE(Same(*second, {350, 250, 400, 300}));

    // Nothing of the selection is left on the screen.
    Screenshot after;
    ASSERT_TRUE(QtWait([&] {
        std::string e;
        return TakeScreenshot(Dpy(), after, e) && after.rgb == before.rgb;
    }));
}

// Another client holding the keyboard keeps the selection from its grabs (Escape could never
// arrive): after its few seconds of trying it ends as cancelled and leaves nothing on the screen.
TEST(AreaSelectX11, AKeyboardHeldElsewhereEndsTheSelectionAsCancelled) {
    Screenshot before, after;
    std::string error;
    ASSERT_TRUE(TakeScreenshot(Dpy(), before, error)) << error;
    Display* other = XOpenDisplay(Dpy().c_str());
    ASSERT_NE(other, nullptr);
    ASSERT_EQ(
        XGrabKeyboard(other, DefaultRootWindow(other), False, GrabModeAsync, GrabModeAsync, CurrentTime),
        GrabSuccess);
    XSync(other, False);
    bool failed = false;
    const auto result = zov::CAreaSelectWindow::Select(&failed);
    XUngrabKeyboard(other, CurrentTime);
    XCloseDisplay(other);
    EXPECT_FALSE(result);
    EXPECT_TRUE(failed);
    EXPECT_TRUE(QtWait([&] {
        std::string e;
        return TakeScreenshot(Dpy(), after, e) && after.rgb == before.rgb;
    }));
}

TEST(WindowFinderX11, DraggedOntoAFramedWindowMarksItMidDragPicksItWithItsFrameAndLeavesItsPixels) {
    // The target: the test window, framed by openbox.
    TestWindow target(Dpy(), 200, 150, 380, 220);
    ASSERT_TRUE(target.Ok());
    ASSERT_TRUE(WaitUntil([&] { return FrameExtents(Dpy(), target.Id()).size() == 4; }, 10000));

    QWidget dialog;
    dialog.setWindowTitle("Finder dialog");
    auto* layout = new QVBoxLayout(&dialog);
    auto* finder = new zov::CWindowFinderWidget(&dialog);
    layout->addWidget(finder);
    dialog.resize(200, 120);
    dialog.move(40, 40);
    dialog.show();
    ASSERT_TRUE(QtWait([&] { return dialog.isVisible() && finder->Query() != nullptr; }));
    QSignalSpy entered(finder, &zov::CWindowFinderWidget::windowEntered);
    QSignalSpy picked(finder, &zov::CWindowFinderWidget::windowPicked);

    // Focus on the dialog first, so the target's frame looks the same before and after.
    // Where the icon is, from the server (Qt learns where the manager put the dialog later).
    int dx = 0, dy = 0;
    Window child = 0;
    ASSERT_TRUE(QtWait([&] {
        XTranslateCoordinates(g_session->dpy, static_cast<Window>(dialog.winId()),
                              DefaultRootWindow(g_session->dpy), 0, 0, &dx, &dy, &child);
        return dialog.isActiveWindow() && dialog.mapToGlobal(QPoint(0, 0)) == QPoint(dx, dy);
    }));
    const QPoint icon = QPoint(dx, dy) + finder->mapTo(&dialog, finder->rect().center());
    Xdotool({"mousemove", std::to_string(icon.x()), std::to_string(icon.y()), "click", "1"});
    ASSERT_TRUE(QtWait([&] { return dialog.isActiveWindow(); }));
    Screenshot before;
    std::string error;
    // Settled: two shots in a row alike.
    Screenshot previous;
    ASSERT_TRUE(QtWait([&] {
        previous = before;
        return TakeScreenshot(Dpy(), before, error) && previous.rgb == before.rgb;
    }));

    Xdotool(
        {"mousedown", "1", "mousemove", "300", "100", "mousemove", "470", "300", "mousemove", "480", "295"});
    ASSERT_TRUE(QtWait([&] {
        return entered.count() >= 1 && finder->Current() && finder->Current()->client == target.Id();
    })) << "entered "
        << entered.count() << " dragging " << finder->IsDragging() << " current "
        << (finder->Current() ? finder->Current()->title + " " + std::to_string(finder->Current()->client)
                              : "none")
        << " target " << target.Id();
    const zov::WindowInfo seen = *finder->Current();
    const std::vector<long> extents = FrameExtents(Dpy(), target.Id());
    // The frame around the 200 x 150 client, as openbox accounts for it.
    ASSERT_EQ(seen.rect.Width(), 200 + extents[0] + extents[1]);
    ASSERT_EQ(seen.rect.Height(), 150 + extents[2] + extents[3]);

    // Mid-drag: the mark on the screen, exactly.
    Screenshot mid;
    long markMismatches = -1;
    QtWait([&] {
        std::string e;
        if (!TakeScreenshot(Dpy(), mid, e))
            return false;
        markMismatches = 0;
        const zov::ScreenRect& r = seen.rect;
        for (int y = r.top; y < r.bottom; ++y)
            for (int x = r.left; x < r.right; ++x) {
                uint32_t expected = before.At(x, y);
                if (InFinderMark(x - r.left, y - r.top, r.Width(), r.Height()))
                    expected ^= 0xFFFF00u;
                if (mid.At(x, y) != expected)
                    ++markMismatches;
            }
        return markMismatches == 0;
    });
    EXPECT_EQ(markMismatches, 0);
    SaveShot(Dpy(), "finder-highlight-mid-drag.png");

    Xdotool({"mouseup", "1"});
    ASSERT_TRUE(QtWait([&] { return picked.count() == 1; }));
    const auto window = picked[0][0].value<zov::WindowInfo>();
    EXPECT_EQ(window.client, target.Id());
    EXPECT_NE(window.id, target.Id()) << "the frame is what is recorded";
    EXPECT_TRUE(Same(window.rect, seen.rect));

    // After the release the target's pixels, frame included, are as before.
    Screenshot after;
    long left = -1;
    QtWait([&] {
        std::string e;
        if (!TakeScreenshot(Dpy(), after, e))
            return false;
        left = 0;
        for (int y = window.rect.top; y < window.rect.bottom; ++y)
            for (int x = window.rect.left; x < window.rect.right; ++x)
                if (after.At(x, y) != before.At(x, y))
                    ++left;
        return left == 0;
    });
    EXPECT_EQ(left, 0);
}
