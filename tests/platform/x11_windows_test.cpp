// The window query, the finder's highlight and the hot keys against a real Xvfb: windows
// found under a point with and without a window manager (openbox), the frame included; the
// highlight's pixels exactly, drawn twice leaving the screen as it was, and its windows under a
// compositor; hot keys with Num Lock on, with one key held by another client, and held down.
#include "platform/X11Windows.h"
#include "tests/support/XTestEnv.h"

// gtest before Xlib, whose macros (None, Bool) would break its templates.
#include <gtest/gtest.h>

#include <X11/XKBlib.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>

using namespace zovtest;

namespace {

// A window of the test's own making, with a UTF-8 title and a 2 x 2 icon.
struct OwnWindow {
    Display* dpy = nullptr;
    Window id = 0;
    OwnWindow(Display* d, int x, int y, int w, int h, const std::string& title, unsigned long background)
        : dpy(d) {
        XSetWindowAttributes a{};
        a.background_pixel = background;
        id = XCreateWindow(dpy, DefaultRootWindow(dpy), x, y, static_cast<unsigned>(w),
                           static_cast<unsigned>(h), 0, CopyFromParent, InputOutput, CopyFromParent,
                           CWBackPixel, &a);
        XSizeHints hints{};
        hints.flags = USPosition | PPosition;
        hints.x = x;
        hints.y = y;
        XSetWMNormalHints(dpy, id, &hints);
        Atom utf8 = XInternAtom(dpy, "UTF8_STRING", False);
        XChangeProperty(dpy, id, XInternAtom(dpy, "_NET_WM_NAME", False), utf8, 8, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(title.data()), static_cast<int>(title.size()));
        // Two icons: a 2 x 2 one and a 100 x 1 one (too big to prefer).
        std::vector<long> icon = {
            2, 2, long(0xFF112233), long(0x80445566), long(0xFF778899), long(0x00AABBCC), 100, 1};
        icon.resize(icon.size() + 100, long(0xFF000000));
        XChangeProperty(dpy, id, XInternAtom(dpy, "_NET_WM_ICON", False), XA_CARDINAL, 32, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(icon.data()), static_cast<int>(icon.size()));
        XMapWindow(dpy, id);
        XSync(dpy, False);
    }
};

bool Viewable(Display* dpy, Window w) {
    XWindowAttributes a{};
    return XGetWindowAttributes(dpy, w, &a) && a.map_state == IsViewable;
}

Window ParentOf(Display* dpy, Window w) {
    Window root = 0, parent = 0, *children = nullptr;
    unsigned int n = 0;
    if (!XQueryTree(dpy, w, &root, &parent, &children, &n))
        return 0;
    if (children)
        XFree(children);
    return parent;
}

struct Geometry {
    int x = 0, y = 0, w = 0, h = 0;
};
Geometry RootGeometry(Display* dpy, Window w) {
    XWindowAttributes a{};
    XGetWindowAttributes(dpy, w, &a);
    Window child = 0;
    Geometry g;
    XTranslateCoordinates(dpy, w, DefaultRootWindow(dpy), 0, 0, &g.x, &g.y, &child);
    g.w = a.width;
    g.h = a.height;
    return g;
}

std::vector<long> FrameExtents(Display* dpy, Window w) {
    Atom type = None;
    int format = 0;
    unsigned long n = 0, after = 0;
    unsigned char* data = nullptr;
    std::vector<long> out;
    if (XGetWindowProperty(dpy, w, XInternAtom(dpy, "_NET_FRAME_EXTENTS", False), 0, 4, False, XA_CARDINAL,
                           &type, &format, &n, &after, &data) == Success &&
        data) {
        if (n == 4)
            out.assign(reinterpret_cast<long*>(data), reinterpret_cast<long*>(data) + 4);
        XFree(data);
    }
    return out;
}

// openbox has taken the screen and finished starting: it names its check window on the root
// last.
bool WaitForWindowManager(Display* dpy) {
    Atom check = XInternAtom(dpy, "_NET_SUPPORTING_WM_CHECK", False);
    return WaitUntil(
        [&] {
            Atom type = None;
            int format = 0;
            unsigned long n = 0, after = 0;
            unsigned char* data = nullptr;
            bool set = XGetWindowProperty(dpy, DefaultRootWindow(dpy), check, 0, 1, False, XA_WINDOW, &type,
                                          &format, &n, &after, &data) == Success &&
                       n == 1;
            if (data)
                XFree(data);
            return set;
        },
        15000);
}

// Inside the mark drawn around a w x h rectangle at (dx, dy) from its corner: bars 3 wide
// centred 3 pixels in, each stopping 2 pixels short of the corner.
bool InMark(int dx, int dy, int w, int h) {
    const bool topOrBottomRows = (dy >= 2 && dy <= 4) || (dy >= h - 5 && dy <= h - 3);
    const bool leftOrRightColumns = (dx >= 2 && dx <= 4) || (dx >= w - 5 && dx <= w - 3);
    const bool horizontalSpan = dx >= 5 && dx <= w - 6;
    const bool verticalSpan = dy >= 5 && dy <= h - 6;
    return (topOrBottomRows && horizontalSpan) || (leftOrRightColumns && verticalSpan);
}

// The whole screen must equal `before` except inside the mark around `r`, where each pixel is
// `before` exclusive-or'ed with yellow (xor) or yellow itself (!xor). Returns the mismatches.
long CompareMarked(const Screenshot& before, const Screenshot& after, const zov::ScreenRect& r, bool xorMode,
                   std::string* first) {
    long bad = 0;
    for (int y = 0; y < after.height; ++y)
        for (int x = 0; x < after.width; ++x) {
            uint32_t expected = before.At(x, y);
            if (x >= r.left && x < r.right && y >= r.top && y < r.bottom &&
                InMark(x - r.left, y - r.top, r.Width(), r.Height()))
                expected = xorMode ? (expected ^ 0xFFFF00u) : 0xFFFF00u;
            if (after.At(x, y) != expected && bad++ == 0 && first)
                *first = std::to_string(x) + "," + std::to_string(y) + ": " + std::to_string(after.At(x, y)) +
                         " != " + std::to_string(expected);
        }
    return bad;
}

bool Shoot(const std::string& display, Screenshot& shot) {
    std::string error;
    return TakeScreenshot(display, shot, error);
}

} // namespace

TEST(X11WindowQuery, WithoutWindowManagerTopmostWindowTitleIconIgnoredAndGone) {
    Xvfb server(320, 240, 24);
    ASSERT_TRUE(server.Ok());
    Display* dpy = XOpenDisplay(server.Display().c_str());
    ASSERT_TRUE(dpy);
    OwnWindow lower(dpy, 20, 30, 150, 100, "Lower", 0x0000FF);
    OwnWindow upper(dpy, 100, 60, 120, 90, "Ünïcode — 窗口", 0x00FF00);
    ASSERT_TRUE(WaitUntil([&] { return Viewable(dpy, lower.id) && Viewable(dpy, upper.id); }, 5000));

    std::string error;
    auto query = zov::OpenX11WindowQuery(server.Display(), error);
    ASSERT_TRUE(query) << error;

    auto top = query->TopLevelAt(110, 70, {});
    ASSERT_TRUE(top);
    EXPECT_EQ(top->id, upper.id);
    EXPECT_EQ(top->client, upper.id); // no manager: the client is the top-level window
    EXPECT_EQ(top->title, "Ünïcode — 窗口");
    EXPECT_EQ(top->rect.left, 100);
    EXPECT_EQ(top->rect.top, 60);
    EXPECT_EQ(top->rect.right, 220);
    EXPECT_EQ(top->rect.bottom, 150);
    ASSERT_EQ(top->iconWidth, 2);
    ASSERT_EQ(top->iconHeight, 2);
    EXPECT_EQ(top->iconArgb, (std::vector<uint32_t>{0xFF112233u, 0x80445566u, 0xFF778899u, 0x00AABBCCu}));

    // Right and bottom edges are outside.
    auto corner = query->TopLevelAt(219, 149, {});
    ASSERT_TRUE(corner);
    EXPECT_EQ(corner->id, upper.id);
    EXPECT_FALSE(query->TopLevelAt(220, 100, {}));
    EXPECT_FALSE(query->TopLevelAt(200, 150, {}));
    auto lowerOnly = query->TopLevelAt(25, 35, {});
    ASSERT_TRUE(lowerOnly);
    EXPECT_EQ(lowerOnly->title, "Lower");
    EXPECT_FALSE(query->TopLevelAt(5, 5, {})) << "the bare desktop is no window";

    // Ignored: the window below is found; with both ignored, nothing.
    auto below = query->TopLevelAt(110, 70, {upper.id});
    ASSERT_TRUE(below);
    EXPECT_EQ(below->id, lower.id);
    EXPECT_FALSE(query->TopLevelAt(110, 70, {upper.id, lower.id}));
    EXPECT_FALSE(query->TopLevelAt(230, 200, {}));

    // A hidden window is not seen; a moved one is described where it is; a gone one is empty.
    XUnmapWindow(dpy, upper.id);
    XSync(dpy, False);
    auto afterHide = query->TopLevelAt(110, 70, {});
    ASSERT_TRUE(afterHide);
    EXPECT_EQ(afterHide->id, lower.id);
    XMoveWindow(dpy, lower.id, 40, 45);
    XSync(dpy, False);
    auto moved = query->Describe(lower.id);
    ASSERT_TRUE(moved);
    EXPECT_EQ(moved->rect.left, 40);
    EXPECT_EQ(moved->rect.top, 45);
    EXPECT_EQ(moved->rect.Width(), 150);
    XDestroyWindow(dpy, lower.id);
    XSync(dpy, False);
    EXPECT_FALSE(query->Describe(lower.id));
    EXPECT_FALSE(query->Describe(0x7FFFFF0)) << "an id nobody has";
    int px = -1, py = -1;
    EXPECT_TRUE(query->PointerAt(px, py));
    XCloseDisplay(dpy);
}

TEST(X11WindowQuery, UnderOpenboxTheFrameIsTheWindowAndItsRectangleIncludesTitleBarAndBorders) {
    Xvfb server(400, 300, 24);
    ASSERT_TRUE(server.Ok());
    pid_t wm = Start({"openbox", "--sm-disable"}, server.Display());
    Display* dpy = XOpenDisplay(server.Display().c_str());
    ASSERT_TRUE(dpy);
    ASSERT_TRUE(WaitForWindowManager(dpy));

    OwnWindow client(dpy, 60, 70, 160, 100, "Managed", 0xFF8000);
    // Reparented into its frame, framed, and shown. A map request that reaches openbox while
    // it still starts up is lost, so it is asked again now and then.
    int polls = 0;
    ASSERT_TRUE(WaitUntil(
        [&] {
            if (++polls % 50 == 0 && !Viewable(dpy, client.id))
                XMapWindow(dpy, client.id);
            return ParentOf(dpy, client.id) != DefaultRootWindow(dpy) && Viewable(dpy, client.id) &&
                   FrameExtents(dpy, client.id).size() == 4;
        },
        10000));
    std::vector<long> extents = FrameExtents(dpy, client.id);
    const Geometry inner = RootGeometry(dpy, client.id);
    ASSERT_GT(extents[2], 0) << "openbox draws a title bar";

    std::string error;
    auto query = zov::OpenX11WindowQuery(server.Display(), error);
    ASSERT_TRUE(query) << error;
    // Inside the client and on the title bar: the same window.
    auto inside = query->TopLevelAt(inner.x + 10, inner.y + 10, {});
    auto titleBar = query->TopLevelAt(inner.x + 10, inner.y - static_cast<int>(extents[2]) / 2, {});
    ASSERT_TRUE(inside);
    ASSERT_TRUE(titleBar);
    EXPECT_EQ(inside->id, titleBar->id);
    EXPECT_NE(inside->id, client.id) << "the frame is the top-level window";
    EXPECT_EQ(inside->client, client.id);
    EXPECT_EQ(inside->title, "Managed");
    // The rectangle is the client's grown by the manager's own account of its frame.
    EXPECT_EQ(inside->rect.left, inner.x - extents[0]);
    EXPECT_EQ(inside->rect.right, inner.x + inner.w + extents[1]);
    EXPECT_EQ(inside->rect.top, inner.y - extents[2]);
    EXPECT_EQ(inside->rect.bottom, inner.y + inner.h + extents[3]);
    // Passing over the client id passes over its frame too.
    EXPECT_FALSE(query->TopLevelAt(inner.x + 10, inner.y + 10, {client.id}));
    // Described by either id, the same.
    auto byClient = query->Describe(client.id);
    ASSERT_TRUE(byClient);
    EXPECT_EQ(byClient->id, inside->id);
    EXPECT_EQ(byClient->rect.top, inside->rect.top);

    XCloseDisplay(dpy);
    EXPECT_EQ(waitpid(wm, nullptr, WNOHANG), 0) << "openbox ended on its own";
    kill(wm, SIGTERM);
    WaitExit(wm);
}

TEST(X11WindowHighlight, ExclusiveOrMarkPixelsExactlyAndDrawnTwiceTheScreenIsAsBefore) {
    Xvfb server(320, 240, 24);
    ASSERT_TRUE(server.Ok());
    TestWindow window(server.Display(), 200, 150, 30, 20); // many colours under the mark
    ASSERT_TRUE(window.Ok());
    EXPECT_FALSE(zov::X11CompositorRuns(server.Display()));
    std::string error;
    auto highlight = zov::OpenX11WindowHighlight(server.Display(), error);
    ASSERT_TRUE(highlight) << error;
    EXPECT_FALSE(highlight->UsesWindows());

    Screenshot before, marked, again;
    ASSERT_TRUE(Shoot(server.Display(), before));
    // Over the window and partly over the root beside it.
    const zov::ScreenRect r{20, 10, 150, 90};
    highlight->Toggle(r);
    highlight->Flush();
    ASSERT_TRUE(Shoot(server.Display(), marked));
    std::string first;
    EXPECT_EQ(CompareMarked(before, marked, r, true, &first), 0) << first;
    // Spot checks of the shape: the corner itself open, the bar's middle row changed.
    EXPECT_EQ(marked.At(r.left + 3, r.top + 3), before.At(r.left + 3, r.top + 3));
    EXPECT_NE(marked.At(r.left + 60, r.top + 3), before.At(r.left + 60, r.top + 3));
    EXPECT_TRUE(highlight->OwnWindows().empty());

    highlight->Toggle(r);
    highlight->Flush();
    ASSERT_TRUE(Shoot(server.Display(), again));
    EXPECT_EQ(again.rgb, before.rgb) << "drawn twice, the mark is gone";

    // Two marks, then Clear() removes both.
    highlight->Toggle(r);
    highlight->Toggle({100, 100, 200, 180});
    highlight->Clear();
    ASSERT_TRUE(Shoot(server.Display(), again));
    EXPECT_EQ(again.rgb, before.rgb);
}

TEST(X11WindowHighlight, UnderACompositorTheMarkIsFourWindowsTheQueryNeverFinds) {
    Xvfb server(320, 240, 24);
    ASSERT_TRUE(server.Ok());
    Display* dpy = XOpenDisplay(server.Display().c_str());
    ASSERT_TRUE(dpy);
    // A stand-in compositor: the test owns the compositing manager's selection.
    Window owner = XCreateSimpleWindow(dpy, DefaultRootWindow(dpy), 0, 0, 1, 1, 0, 0, 0);
    XSetSelectionOwner(dpy, XInternAtom(dpy, "_NET_WM_CM_S0", False), owner, CurrentTime);
    XSync(dpy, False);
    ASSERT_TRUE(zov::X11CompositorRuns(server.Display()));
    OwnWindow below(dpy, 10, 10, 200, 160, "Below", 0x204060);
    ASSERT_TRUE(WaitUntil([&] { return Viewable(dpy, below.id); }, 5000));

    std::string error;
    auto highlight = zov::OpenX11WindowHighlight(server.Display(), error);
    ASSERT_TRUE(highlight) << error;
    EXPECT_TRUE(highlight->UsesWindows());
    auto query = zov::OpenX11WindowQuery(server.Display(), error);
    ASSERT_TRUE(query) << error;

    Screenshot before, marked, after;
    ASSERT_TRUE(Shoot(server.Display(), before));
    const zov::ScreenRect r{10, 10, 210, 170};
    highlight->Toggle(r);
    highlight->Flush();
    std::vector<uint64_t> bars = highlight->OwnWindows();
    ASSERT_EQ(bars.size(), 4u);
    ASSERT_TRUE(WaitUntil(
        [&] {
            for (uint64_t id : bars)
                if (!Viewable(dpy, static_cast<Window>(id)))
                    return false;
            return true;
        },
        5000));
    ASSERT_TRUE(Shoot(server.Display(), marked));
    std::string first;
    EXPECT_EQ(CompareMarked(before, marked, r, false, &first), 0) << first;
    // On a bar (its middle row): still the window below, with or without the bars passed in.
    auto found = query->TopLevelAt(r.left + 50, r.top + 3, {});
    ASSERT_TRUE(found);
    EXPECT_EQ(found->id, below.id);
    found = query->TopLevelAt(r.left + 3, r.top + 50, bars);
    ASSERT_TRUE(found);
    EXPECT_EQ(found->id, below.id);

    highlight->Toggle(r);
    highlight->Flush();
    EXPECT_TRUE(highlight->OwnWindows().empty());
    XSync(dpy, False);
    for (uint64_t id : bars)
        EXPECT_FALSE(Viewable(dpy, static_cast<Window>(id)));
    ASSERT_TRUE(Shoot(server.Display(), after));
    EXPECT_EQ(after.rgb, before.rgb);
    XCloseDisplay(dpy);
}

namespace {

// Collects hot keys until `count` have come or the time is up.
std::vector<int> CollectHotKeys(zov::IHotKeys& keys, size_t count, int timeoutMs = 5000) {
    std::vector<int> got;
    WaitUntil(
        [&] {
            pollfd p{keys.Fd(), POLLIN, 0};
            poll(&p, 1, 20);
            for (int id : keys.Dispatch())
                got.push_back(id);
            return got.size() >= count;
        },
        timeoutMs);
    return got;
}

int Xdotool(const std::string& display, const std::vector<std::string>& args) {
    std::vector<std::string> argv = {"xdotool"};
    argv.insert(argv.end(), args.begin(), args.end());
    return RunProgram(argv, display).exitCode;
}

} // namespace

TEST(X11HotKeys, EachKeyWithAndWithoutNumLockAndAHeldKeyReportsOnce) {
    Xvfb server(320, 240, 24);
    ASSERT_TRUE(server.Ok());
    std::string error;
    auto keys = zov::OpenX11HotKeys(server.Display(), error);
    ASSERT_TRUE(keys) << error;
    ASSERT_GE(keys->Fd(), 0);
    EXPECT_TRUE(keys->Grab().empty());

    ASSERT_EQ(Xdotool(server.Display(), {"key", "ctrl+shift+F9", "ctrl+shift+F10", "ctrl+shift+F11",
                                         "ctrl+shift+F12", "ctrl+F9", "shift+F9", "F9"}),
              0);
    // The last three (wrong modifiers) are not hot keys; F12 must be the last one in.
    EXPECT_EQ(CollectHotKeys(*keys, 4), (std::vector<int>{120, 121, 122, 123}));
    ASSERT_EQ(Xdotool(server.Display(), {"key", "ctrl+shift+F11"}), 0);
    EXPECT_EQ(CollectHotKeys(*keys, 1), (std::vector<int>{122})) << "nothing else was waiting";

    // Num Lock and Caps Lock on.
    Display* dpy = XOpenDisplay(server.Display().c_str());
    ASSERT_TRUE(dpy);
    ASSERT_EQ(Xdotool(server.Display(), {"key", "Num_Lock", "Caps_Lock"}), 0);
    ASSERT_TRUE(WaitUntil(
        [&] {
            Window r = 0, c = 0;
            int x, y, wx, wy;
            unsigned mask = 0;
            XQueryPointer(dpy, DefaultRootWindow(dpy), &r, &c, &x, &y, &wx, &wy, &mask);
            return (mask & Mod2Mask) && (mask & LockMask);
        },
        5000));
    ASSERT_EQ(Xdotool(server.Display(), {"key", "ctrl+shift+F12", "ctrl+shift+F9"}), 0);
    EXPECT_EQ(CollectHotKeys(*keys, 2), (std::vector<int>{123, 120}));
    XCloseDisplay(dpy);
}

TEST(X11HotKeys, AKeyAnotherClientHoldsIsReportedOnceAndTheOtherThreeWork) {
    Xvfb server(320, 240, 24);
    ASSERT_TRUE(server.Ok());
    // Another client holds Ctrl+Shift+F10 (only with no lock: that alone collides).
    Display* other = XOpenDisplay(server.Display().c_str());
    ASSERT_TRUE(other);
    XGrabKey(other, XKeysymToKeycode(other, XK_F10), ControlMask | ShiftMask, DefaultRootWindow(other), False,
             GrabModeAsync, GrabModeAsync);
    XSync(other, False);

    std::string error;
    auto keys = zov::OpenX11HotKeys(server.Display(), error);
    ASSERT_TRUE(keys) << error;
    std::vector<zov::HotKeyGrabProblem> problems = keys->Grab();
    ASSERT_EQ(problems.size(), 1u);
    EXPECT_EQ(problems[0].id, 121);
    EXPECT_EQ(problems[0].name, "Ctrl+Shift+F10");

    ASSERT_EQ(Xdotool(server.Display(),
                      {"key", "ctrl+shift+F10", "ctrl+shift+F9", "ctrl+shift+F11", "ctrl+shift+F12"}),
              0);
    EXPECT_EQ(CollectHotKeys(*keys, 3), (std::vector<int>{120, 122, 123}));
    // Once the other client lets go, grabbing again gets all four.
    XCloseDisplay(other);
    EXPECT_TRUE(WaitUntil([&] { return keys->Grab().empty(); }, 5000));
    ASSERT_EQ(Xdotool(server.Display(), {"key", "ctrl+shift+F10"}), 0);
    EXPECT_EQ(CollectHotKeys(*keys, 1), (std::vector<int>{121}));
}

TEST(X11HotKeys, AKeyHeldDownIsOnePress) {
    Xvfb server(320, 240, 24);
    ASSERT_TRUE(server.Ok());
    std::string error;
    auto keys = zov::OpenX11HotKeys(server.Display(), error);
    ASSERT_TRUE(keys) << error;
    ASSERT_TRUE(keys->Grab().empty());
    // Held down with a quick auto-repeat: the repeats arrive (and are counted) but are one
    // press; F12 afterwards marks the end of what the held key sent.
    Display* dpy = XOpenDisplay(server.Display().c_str());
    ASSERT_TRUE(dpy);
    XkbSetAutoRepeatRate(dpy, XkbUseCoreKbd, 30, 10);
    XAutoRepeatOn(dpy);
    XSync(dpy, False);
    ASSERT_EQ(Xdotool(server.Display(), {"keydown", "ctrl+shift+F9"}), 0);
    std::vector<int> during;
    ASSERT_TRUE(WaitUntil(
        [&] {
            for (int id : CollectHotKeys(*keys, 1, 20))
                during.push_back(id);
            return zov::X11HotKeyRepeats(*keys) >= 5;
        },
        10000));
    ASSERT_EQ(Xdotool(server.Display(), {"keyup", "F9"}), 0);
    ASSERT_EQ(Xdotool(server.Display(), {"key", "F12"}), 0);
    ASSERT_EQ(Xdotool(server.Display(), {"keyup", "ctrl+shift"}), 0);
    for (int id : CollectHotKeys(*keys, during.size() >= 2 ? 0 : 2 - during.size()))
        during.push_back(id);
    EXPECT_EQ(during, (std::vector<int>{120, 123}));
    XCloseDisplay(dpy);
    // Released, a new press counts again.
    ASSERT_EQ(Xdotool(server.Display(), {"key", "ctrl+shift+F9"}), 0);
    EXPECT_EQ(CollectHotKeys(*keys, 1), (std::vector<int>{120}));
}

TEST(X11Windows, WaitWindowsUnmappedSeesTheUnmapAndTimesOutOnAShownWindow) {
    Xvfb server(320, 240, 24);
    ASSERT_TRUE(server.Ok());
    Display* dpy = XOpenDisplay(server.Display().c_str());
    ASSERT_TRUE(dpy);
    OwnWindow a(dpy, 0, 0, 50, 50, "A", 0);
    ASSERT_TRUE(WaitUntil([&] { return Viewable(dpy, a.id); }, 5000));
    EXPECT_FALSE(zov::WaitWindowsUnmapped(server.Display(), {a.id}, 100, 0));
    XUnmapWindow(dpy, a.id);
    XSync(dpy, False);
    EXPECT_TRUE(zov::WaitWindowsUnmapped(server.Display(), {a.id, 0x7FFFFF0}, 5000, 0));
    XCloseDisplay(dpy);
}
