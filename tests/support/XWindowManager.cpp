#include "tests/support/XWindowManager.h"

#include "tests/support/XTestEnv.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <csignal>
#include <memory>

namespace zovtest {

namespace {

using DisplayPtr = std::unique_ptr<Display, int (*)(Display*)>;

DisplayPtr Open(const std::string& display) {
    return DisplayPtr(XOpenDisplay(display.c_str()), XCloseDisplay);
}

// Errors for windows that went away between two requests are expected here.
int IgnoreErrors(Display*, XErrorEvent*) {
    return 0;
}

std::vector<long> Cardinals(Display* d, Window w, const char* name, long count) {
    Atom type = None;
    int format = 0;
    unsigned long n = 0, after = 0;
    unsigned char* data = nullptr;
    std::vector<long> out;
    XGetWindowProperty(d, w, XInternAtom(d, name, False), 0, count, False, XA_CARDINAL, &type, &format, &n,
                       &after, &data);
    if (data) {
        if (static_cast<long>(n) == count)
            out.assign(reinterpret_cast<long*>(data), reinterpret_cast<long*>(data) + count);
        XFree(data);
    }
    return out;
}

} // namespace

pid_t StartWindowManager(const std::string& display, int timeoutMs) {
    DisplayPtr d = Open(display);
    if (!d)
        return -1;
    const pid_t wm = Start({"openbox", "--sm-disable"}, display);
    if (wm <= 0)
        return -1;
    Display* dpy = d.get();
    const Atom check = XInternAtom(dpy, "_NET_SUPPORTING_WM_CHECK", False);
    bool up = WaitUntil(
        [&] {
            Atom type = None;
            int format = 0;
            unsigned long n = 0, after = 0;
            unsigned char* data = nullptr;
            XGetWindowProperty(dpy, DefaultRootWindow(dpy), check, 0, 1, False, XA_WINDOW, &type, &format, &n,
                               &after, &data);
            if (data)
                XFree(data);
            return n == 1;
        },
        timeoutMs);
    if (up) {
        // A probe window, asked again now and then, shows when map requests are handled.
        Window probe = XCreateSimpleWindow(dpy, DefaultRootWindow(dpy), 0, 0, 10, 10, 0, 0, 0);
        int polls = 0;
        up = WaitUntil(
            [&] {
                XWindowAttributes a{};
                XGetWindowAttributes(dpy, probe, &a);
                if (polls++ % 50 == 0 && a.map_state != IsViewable)
                    XMapWindow(dpy, probe);
                XSync(dpy, False);
                return a.map_state == IsViewable;
            },
            timeoutMs);
        XDestroyWindow(dpy, probe);
        XSync(dpy, False);
    }
    if (!up) {
        kill(wm, SIGKILL);
        WaitExit(wm);
        return -1;
    }
    return wm;
}

std::vector<long> FrameExtents(const std::string& display, uint64_t client) {
    DisplayPtr d = Open(display);
    return d ? Cardinals(d.get(), static_cast<Window>(client), "_NET_FRAME_EXTENTS", 4) : std::vector<long>{};
}

bool KeepAbove(const std::string& display, uint64_t client) {
    DisplayPtr d = Open(display);
    if (!d)
        return false;
    XEvent e{};
    e.xclient.type = ClientMessage;
    e.xclient.window = static_cast<Window>(client);
    e.xclient.message_type = XInternAtom(d.get(), "_NET_WM_STATE", False);
    e.xclient.format = 32;
    e.xclient.data.l[0] = 1; // add
    e.xclient.data.l[1] = static_cast<long>(XInternAtom(d.get(), "_NET_WM_STATE_ABOVE", False));
    e.xclient.data.l[3] = 2; // from a pager-like tool: no focus-stealing rules apply
    const bool sent = XSendEvent(d.get(), DefaultRootWindow(d.get()), False,
                                 SubstructureRedirectMask | SubstructureNotifyMask, &e);
    XSync(d.get(), False);
    return sent;
}

bool WindowOrigin(const std::string& display, uint64_t window, int& x, int& y) {
    DisplayPtr d = Open(display);
    if (!d)
        return false;
    auto old = XSetErrorHandler(IgnoreErrors);
    Window child = 0;
    const bool ok = XTranslateCoordinates(d.get(), static_cast<Window>(window), DefaultRootWindow(d.get()), 0,
                                          0, &x, &y, &child);
    XSync(d.get(), False);
    XSetErrorHandler(old);
    return ok;
}

bool FramedBox(const std::string& display, uint64_t client, Box& box) {
    DisplayPtr d = Open(display);
    if (!d)
        return false;
    auto old = XSetErrorHandler(IgnoreErrors);
    XWindowAttributes a{};
    Window child = 0;
    int x = 0, y = 0;
    const bool ok = XGetWindowAttributes(d.get(), static_cast<Window>(client), &a) &&
                    XTranslateCoordinates(d.get(), static_cast<Window>(client), DefaultRootWindow(d.get()), 0,
                                          0, &x, &y, &child);
    const std::vector<long> e = Cardinals(d.get(), static_cast<Window>(client), "_NET_FRAME_EXTENTS", 4);
    XSync(d.get(), False);
    XSetErrorHandler(old);
    if (!ok)
        return false;
    box = {x, y, x + a.width, y + a.height};
    if (e.size() == 4)
        box = {box.left - int(e[0]), box.top - int(e[2]), box.right + int(e[1]), box.bottom + int(e[3])};
    return true;
}

std::vector<Box> MappedPopups(const std::string& display) {
    std::vector<Box> out;
    DisplayPtr d = Open(display);
    if (!d)
        return out;
    auto old = XSetErrorHandler(IgnoreErrors);
    Window root = 0, parent = 0, *children = nullptr;
    unsigned n = 0;
    if (XQueryTree(d.get(), DefaultRootWindow(d.get()), &root, &parent, &children, &n)) {
        for (unsigned i = 0; i < n; ++i) {
            XWindowAttributes a{};
            if (XGetWindowAttributes(d.get(), children[i], &a) && a.map_state == IsViewable &&
                a.override_redirect && a.width > 1 && a.height > 1)
                out.push_back({a.x, a.y, a.x + a.width, a.y + a.height});
        }
        if (children)
            XFree(children);
    }
    XSync(d.get(), False);
    XSetErrorHandler(old);
    return out;
}

bool InFinderMark(int dx, int dy, int w, int h) {
    const bool rows = (dy >= 2 && dy <= 4) || (dy >= h - 5 && dy <= h - 3);
    const bool columns = (dx >= 2 && dx <= 4) || (dx >= w - 5 && dx <= w - 3);
    return (rows && dx >= 5 && dx <= w - 6) || (columns && dy >= 5 && dy <= h - 6);
}

} // namespace zovtest
