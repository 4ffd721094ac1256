#include "platform/X11Windows.h"

#include "platform/X11ErrorTrap.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/shape.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>

namespace zov {

namespace {

Display* OpenDisplay(const std::string& display, std::string& error) {
    InstallX11ErrorHandler();
    Display* dpy = XOpenDisplay(display.empty() ? nullptr : display.c_str());
    if (!dpy) {
        const char* env = display.empty() ? std::getenv("DISPLAY") : display.c_str();
        error = "cannot open the X display " + std::string(env && *env ? env : "(DISPLAY is not set)") + ".";
    }
    return dpy;
}

// A property's items; 32-bit items arrive as longs, whatever their width.
template <typename T>
std::vector<T> ReadProperty(Display* dpy, Window w, Atom property, Atom type, int format) {
    std::vector<T> out;
    long offset = 0;
    for (;;) {
        Atom actualType = None;
        int actualFormat = 0;
        unsigned long count = 0, after = 0;
        unsigned char* data = nullptr;
        if (XGetWindowProperty(dpy, w, property, offset, 1 << 16, False, type, &actualType, &actualFormat,
                               &count, &after, &data) != Success)
            return out;
        if (actualType != type || actualFormat != format || !data) {
            if (data)
                XFree(data);
            return out;
        }
        for (unsigned long i = 0; i < count; ++i) {
            if (format == 32)
                out.push_back(static_cast<T>(reinterpret_cast<unsigned long*>(data)[i]));
            else
                out.push_back(static_cast<T>(data[i]));
        }
        XFree(data);
        if (!after)
            return out;
        offset += static_cast<long>(count * format / 32);
    }
}

class X11WindowQuery final : public IWindowQuery {
  public:
    explicit X11WindowQuery(Display* dpy) : m_dpy(dpy) {
        m_root = DefaultRootWindow(dpy);
        m_wmState = XInternAtom(dpy, "WM_STATE", False);
        m_netWmName = XInternAtom(dpy, "_NET_WM_NAME", False);
        m_utf8 = XInternAtom(dpy, "UTF8_STRING", False);
        m_netWmIcon = XInternAtom(dpy, "_NET_WM_ICON", False);
        m_frameExtents = XInternAtom(dpy, "_NET_FRAME_EXTENTS", False);
    }
    ~X11WindowQuery() override { XCloseDisplay(m_dpy); }

    bool PointerAt(int& x, int& y) override {
        Window root = 0, child = 0;
        int wx = 0, wy = 0;
        unsigned int mask = 0;
        X11ErrorTrap trap(m_dpy);
        return XQueryPointer(m_dpy, m_root, &root, &child, &x, &y, &wx, &wy, &mask) && !trap.Failed();
    }

    std::optional<WindowInfo> TopLevelAt(int x, int y, const std::vector<uint64_t>& ignore) override {
        X11ErrorTrap trap(m_dpy);
        Window root = 0, parent = 0, *children = nullptr;
        unsigned int count = 0;
        if (!XQueryTree(m_dpy, m_root, &root, &parent, &children, &count))
            return std::nullopt;
        std::vector<Window> stack(children, children + count);
        if (children)
            XFree(children);
        // Topmost first.
        for (auto it = stack.rbegin(); it != stack.rend(); ++it) {
            XWindowAttributes a{};
            if (!XGetWindowAttributes(m_dpy, *it, &a))
                continue; // gone meanwhile
            if (a.map_state != IsViewable || a.c_class == InputOnly || a.override_redirect)
                continue;
            const int bw = a.border_width;
            if (x < a.x || y < a.y || x >= a.x + a.width + 2 * bw || y >= a.y + a.height + 2 * bw)
                continue;
            const Window client = ClientOf(*it);
            if (std::find(ignore.begin(), ignore.end(), static_cast<uint64_t>(*it)) != ignore.end() ||
                std::find(ignore.begin(), ignore.end(), static_cast<uint64_t>(client)) != ignore.end())
                continue;
            std::optional<WindowInfo> info = DescribeTopLevel(*it, client);
            if (info)
                return info;
        }
        return std::nullopt;
    }

    std::optional<WindowInfo> Describe(uint64_t id) override {
        X11ErrorTrap trap(m_dpy);
        Window w = static_cast<Window>(id);
        // Walk up to the root's child.
        for (int depth = 0; depth < 64; ++depth) {
            Window root = 0, parent = 0, *children = nullptr;
            unsigned int count = 0;
            if (!XQueryTree(m_dpy, w, &root, &parent, &children, &count)) {
                XSync(m_dpy, False);
                return std::nullopt;
            }
            if (children)
                XFree(children);
            if (parent == root || parent == None)
                break;
            w = parent;
        }
        XSync(m_dpy, False);
        if (trap.Failed())
            return std::nullopt;
        return DescribeTopLevel(w, ClientOf(w));
    }

  private:
    bool HasWmState(Window w) {
        Atom type = None;
        int format = 0;
        unsigned long count = 0, after = 0;
        unsigned char* data = nullptr;
        if (XGetWindowProperty(m_dpy, w, m_wmState, 0, 0, False, AnyPropertyType, &type, &format, &count,
                               &after, &data) != Success)
            return false;
        if (data)
            XFree(data);
        return type != None;
    }

    // The client inside a top-level window: the first window with WM_STATE, breadth first
    // (a reparenting manager may nest the client a few levels deep); the window itself when
    // there is none (no window manager).
    Window ClientOf(Window top) {
        std::vector<Window> level{top};
        for (int depth = 0; depth < 6 && !level.empty(); ++depth) {
            std::vector<Window> next;
            for (Window w : level) {
                if (HasWmState(w))
                    return w;
                Window root = 0, parent = 0, *children = nullptr;
                unsigned int count = 0;
                if (XQueryTree(m_dpy, w, &root, &parent, &children, &count) && children) {
                    next.insert(next.end(), children, children + count);
                    XFree(children);
                }
            }
            level.swap(next);
        }
        return top;
    }

    std::optional<WindowInfo> DescribeTopLevel(Window top, Window client) {
        X11ErrorTrap trap(m_dpy);
        XWindowAttributes a{};
        if (!XGetWindowAttributes(m_dpy, top, &a)) {
            XSync(m_dpy, False);
            return std::nullopt;
        }
        WindowInfo info;
        info.id = top;
        info.client = client;
        int x = 0, y = 0;
        Window child = 0;
        XTranslateCoordinates(m_dpy, top, m_root, 0, 0, &x, &y, &child);
        // The rectangle includes the border, which is drawn outside the window's own area.
        const int bw = a.border_width;
        info.rect = {x - bw, y - bw, x + a.width + bw, y + a.height + bw};
        if (top == client) {
            // A manager that draws its frame without reparenting says how far it reaches.
            std::vector<long> extents = ReadProperty<long>(m_dpy, client, m_frameExtents, XA_CARDINAL, 32);
            if (extents.size() == 4) {
                info.rect.left -= static_cast<int>(extents[0]);
                info.rect.right += static_cast<int>(extents[1]);
                info.rect.top -= static_cast<int>(extents[2]);
                info.rect.bottom += static_cast<int>(extents[3]);
            }
        }
        info.title = Title(client);
        ReadIcon(client, info);
        XSync(m_dpy, False);
        if (trap.Has(BadWindow) || trap.Has(BadDrawable))
            return std::nullopt;
        return info;
    }

    std::string Title(Window client) {
        std::vector<unsigned char> name = ReadProperty<unsigned char>(m_dpy, client, m_netWmName, m_utf8, 8);
        if (!name.empty())
            return std::string(name.begin(), name.end());
        XTextProperty text{};
        std::string title;
        if (XGetWMName(m_dpy, client, &text) && text.value) {
            char** list = nullptr;
            int count = 0;
            if (Xutf8TextPropertyToTextList(m_dpy, &text, &list, &count) >= Success && list) {
                if (count > 0 && list[0])
                    title = list[0];
                XFreeStringList(list);
            } else {
                title.assign(reinterpret_cast<char*>(text.value), text.nitems);
            }
            XFree(text.value);
        }
        return title;
    }

    void ReadIcon(Window client, WindowInfo& info) {
        std::vector<uint32_t> data = ReadProperty<uint32_t>(m_dpy, client, m_netWmIcon, XA_CARDINAL, 32);
        // The property holds width, height, pixels, repeated for each size.
        size_t best = SIZE_MAX;
        uint32_t bestW = 0, bestH = 0;
        for (size_t at = 0; at + 2 <= data.size();) {
            const uint32_t w = data[at], h = data[at + 1];
            const uint64_t n = static_cast<uint64_t>(w) * h;
            if (w == 0 || h == 0 || w > 1024 || h > 1024 || at + 2 + n > data.size())
                break;
            const bool fits = w <= 64 && h <= 64;
            const bool bestFits = bestW <= 64 && bestH <= 64 && best != SIZE_MAX;
            bool better = best == SIZE_MAX || (fits && (!bestFits || w * h > bestW * bestH)) ||
                          (!fits && !bestFits && w * h < bestW * bestH);
            if (better) {
                best = at;
                bestW = w;
                bestH = h;
            }
            at += 2 + n;
        }
        if (best == SIZE_MAX)
            return;
        info.iconWidth = static_cast<int>(bestW);
        info.iconHeight = static_cast<int>(bestH);
        info.iconArgb.assign(data.begin() + static_cast<long>(best) + 2,
                             data.begin() + static_cast<long>(best) + 2 + static_cast<long>(bestW * bestH));
    }

    Display* m_dpy;
    Window m_root;
    Atom m_wmState, m_netWmName, m_utf8, m_netWmIcon, m_frameExtents;
};

unsigned long RgbToPixel(uint32_t rgb, const Visual* v) {
    auto place = [](uint32_t c8, unsigned long mask) -> unsigned long {
        if (!mask)
            return 0;
        int shift = __builtin_ctzl(mask);
        int bits = __builtin_popcountl(mask);
        return (static_cast<unsigned long>(c8 >> (8 - std::min(bits, 8))) << shift) & mask;
    };
    return place((rgb >> 16) & 0xFF, v->red_mask) | place((rgb >> 8) & 0xFF, v->green_mask) |
           place(rgb & 0xFF, v->blue_mask);
}

bool SameRect(const ScreenRect& a, const ScreenRect& b) {
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

class X11WindowHighlight final : public IWindowHighlight {
  public:
    X11WindowHighlight(Display* dpy, bool useWindows) : m_dpy(dpy), m_useWindows(useWindows) {
        const int screen = DefaultScreen(dpy);
        m_root = RootWindow(dpy, screen);
        Visual* visual = DefaultVisual(dpy, screen);
        if (visual->c_class == TrueColor || visual->c_class == DirectColor) {
            m_pixel = RgbToPixel(kHighlightRgb, visual);
        } else {
            XColor colour{};
            colour.red = 0xFFFF;
            colour.green = 0xFFFF;
            colour.blue = 0;
            m_pixel = XAllocColor(dpy, DefaultColormap(dpy, screen), &colour) ? colour.pixel
                                                                              : WhitePixel(dpy, screen);
        }
        XGCValues values{};
        values.function = GXxor;
        values.foreground = m_pixel;
        values.subwindow_mode = IncludeInferiors; // over the windows on the root, not under them
        values.graphics_exposures = False;
        m_gc = XCreateGC(dpy, m_root, GCFunction | GCForeground | GCSubwindowMode | GCGraphicsExposures,
                         &values);
    }
    ~X11WindowHighlight() override {
        Clear();
        XFreeGC(m_dpy, m_gc);
        XCloseDisplay(m_dpy);
    }

    void Toggle(const ScreenRect& rect) override {
        auto it = std::find_if(m_marks.begin(), m_marks.end(),
                               [&](const Mark& m) { return SameRect(m.rect, rect); });
        if (it != m_marks.end()) {
            Remove(*it);
            m_marks.erase(it);
        } else {
            m_marks.push_back(Draw(rect));
        }
    }

    void Clear() override {
        for (Mark& mark : m_marks)
            Remove(mark);
        m_marks.clear();
        Flush();
    }

    void Flush() override { XSync(m_dpy, False); }

    std::vector<uint64_t> OwnWindows() const override {
        std::vector<uint64_t> ids;
        for (const Mark& mark : m_marks)
            for (Window w : mark.windows)
                ids.push_back(w);
        return ids;
    }
    bool UsesWindows() const override { return m_useWindows; }

  private:
    struct Mark {
        ScreenRect rect;
        std::vector<Window> windows;
    };

    void XorBars(const ScreenRect& rect) {
        X11ErrorTrap trap(m_dpy);
        for (const ScreenRect& bar : HighlightBars(rect))
            XFillRectangle(m_dpy, m_root, m_gc, bar.left, bar.top, static_cast<unsigned>(bar.Width()),
                           static_cast<unsigned>(bar.Height()));
        XFlush(m_dpy);
    }

    Mark Draw(const ScreenRect& rect) {
        Mark mark{rect, {}};
        if (!m_useWindows) {
            XorBars(rect);
            return mark;
        }
        X11ErrorTrap trap(m_dpy);
        XSetWindowAttributes attributes{};
        attributes.override_redirect = True;
        attributes.background_pixel = m_pixel;
        attributes.save_under = True;
        for (const ScreenRect& bar : HighlightBars(rect)) {
            Window w =
                XCreateWindow(m_dpy, m_root, bar.left, bar.top, static_cast<unsigned>(bar.Width()),
                              static_cast<unsigned>(bar.Height()), 0, CopyFromParent, InputOutput,
                              CopyFromParent, CWOverrideRedirect | CWBackPixel | CWSaveUnder, &attributes);
            // The bars let the pointer through: an empty input shape.
            XShapeCombineRectangles(m_dpy, w, ShapeInput, 0, 0, nullptr, 0, ShapeSet, Unsorted);
            XStoreName(m_dpy, w, "zov-highlight");
            XMapRaised(m_dpy, w);
            mark.windows.push_back(w);
        }
        XFlush(m_dpy);
        return mark;
    }

    void Remove(Mark& mark) {
        if (!m_useWindows) {
            XorBars(mark.rect);
            return;
        }
        X11ErrorTrap trap(m_dpy);
        for (Window w : mark.windows)
            XDestroyWindow(m_dpy, w);
        mark.windows.clear();
        XFlush(m_dpy);
    }

    Display* m_dpy;
    Window m_root = 0;
    bool m_useWindows;
    unsigned long m_pixel = 0;
    GC m_gc = nullptr;
    std::vector<Mark> m_marks;
};

bool CompositorRuns(Display* dpy) {
    const std::string name = "_NET_WM_CM_S" + std::to_string(DefaultScreen(dpy));
    Atom atom = XInternAtom(dpy, name.c_str(), False);
    return XGetSelectionOwner(dpy, atom) != None;
}

} // namespace

std::unique_ptr<IWindowQuery> OpenX11WindowQuery(const std::string& display, std::string& error) {
    Display* dpy = OpenDisplay(display, error);
    if (!dpy)
        return nullptr;
    return std::make_unique<X11WindowQuery>(dpy);
}

std::unique_ptr<IWindowHighlight> OpenX11WindowHighlight(const std::string& display, std::string& error) {
    Display* dpy = OpenDisplay(display, error);
    if (!dpy)
        return nullptr;
    return std::make_unique<X11WindowHighlight>(dpy, CompositorRuns(dpy));
}

bool X11CompositorRuns(const std::string& display) {
    std::string error;
    Display* dpy = OpenDisplay(display, error);
    if (!dpy)
        return false;
    const bool runs = CompositorRuns(dpy);
    XCloseDisplay(dpy);
    return runs;
}

bool WaitWindowsUnmapped(const std::string& display, const std::vector<uint64_t>& windows, int timeoutMs,
                         int settleMs) {
    std::string error;
    Display* dpy = OpenDisplay(display, error);
    if (!dpy)
        return false;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    bool unmapped = false;
    for (;;) {
        X11ErrorTrap trap(dpy);
        bool anyShown = false;
        for (uint64_t id : windows) {
            XWindowAttributes a{};
            // A window that is gone counts as hidden.
            if (XGetWindowAttributes(dpy, static_cast<Window>(id), &a) && a.map_state == IsViewable)
                anyShown = true;
        }
        XSync(dpy, False);
        if (!anyShown) {
            unmapped = true;
            break;
        }
        if (std::chrono::steady_clock::now() >= deadline)
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    XSync(dpy, False);
    XCloseDisplay(dpy);
    if (settleMs > 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(settleMs));
    return unmapped;
}

} // namespace zov
