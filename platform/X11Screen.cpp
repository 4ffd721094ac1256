#include "platform/X11Screen.h"

#include "platform/X11ErrorTrap.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XShm.h>
#include <X11/extensions/Xfixes.h>
#include <sys/ipc.h>
#include <sys/shm.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <mutex>

namespace zov {

namespace {

// Xlib's default handler ends the process on any protocol error (a window that vanished, an
// area off the screen, a refused shared segment). The process-wide handler of X11ErrorTrap
// counts them instead, and each call that may fail checks the count around an XSync.
struct ErrorCount {
    operator int() const { return X11ErrorCount(); }
} g_xErrors;

struct ImageDeleter {
    void operator()(XImage* image) const {
        if (image)
            XDestroyImage(image);
    }
};
using ImagePtr = std::unique_ptr<XImage, ImageDeleter>;

class X11Screen final : public IScreenSource {
  public:
    X11Screen(Display* dpy, bool allowShm) : m_dpy(dpy) {
        int screen = DefaultScreen(dpy);
        m_root = RootWindow(dpy, screen);
        m_visual = DefaultVisual(dpy, screen);
        m_depth = DefaultDepth(dpy, screen);
        m_width = DisplayWidth(dpy, screen);
        m_height = DisplayHeight(dpy, screen);
        m_colormap = DefaultColormap(dpy, screen);
        int count = 0;
        if (XPixmapFormatValues* formats = XListPixmapFormats(dpy, &count)) {
            for (int i = 0; i < count; ++i)
                if (formats[i].depth == m_depth)
                    m_bpp = formats[i].bits_per_pixel;
            XFree(formats);
        }
        m_shmAvailable = allowShm && XShmQueryExtension(dpy);
        int error = 0;
        m_xfixes = XFixesQueryExtension(dpy, &m_xfixesEvent, &error);
    }
    ~X11Screen() override {
        Release();
        XCloseDisplay(m_dpy);
    }

    int ScreenWidth() const override { return m_width; }
    int ScreenHeight() const override { return m_height; }
    int BitsPerPixel() const override { return m_bpp; }
    int Depth() const override { return m_depth; }
    bool UsesShm() const { return m_shmImage != nullptr; }

    WindowState WindowRect(uint64_t window, ScreenRect& out) override {
        XSync(m_dpy, False);
        int before = g_xErrors;
        XWindowAttributes attributes{};
        Status ok = XGetWindowAttributes(m_dpy, static_cast<Window>(window), &attributes);
        if (!ok || g_xErrors != before)
            return WindowState::Gone;
        // An unmapped window keeps its position relative to its parent, so its place on the
        // screen can still be worked out.
        int x = 0, y = 0;
        Window child = 0;
        if (!XTranslateCoordinates(m_dpy, static_cast<Window>(window), m_root, 0, 0, &x, &y, &child))
            return WindowState::Gone;
        XSync(m_dpy, False);
        if (g_xErrors != before)
            return WindowState::Gone;
        out = {x, y, x + attributes.width, y + attributes.height};
        return attributes.map_state == IsViewable ? WindowState::Shown : WindowState::Hidden;
    }

    bool Prepare(int width, int height) override {
        Release();
        if (width <= 0 || height <= 0)
            return false;
        m_grabW = width;
        m_grabH = height;
        if (m_shmAvailable && PrepareShm())
            return true;
        // Plain grabs need nothing prepared beyond the area size.
        return true;
    }

    bool Grab(int x, int y, ScreenPixels& out) override {
        if (m_grabW <= 0)
            return false;
        const bool inside = x >= 0 && y >= 0 && x + m_grabW <= m_width && y + m_grabH <= m_height;
        XImage* image = nullptr;
        if (inside && m_shmImage) {
            int before = g_xErrors;
            if (!XShmGetImage(m_dpy, m_root, m_shmImage, x, y, AllPlanes) || g_xErrors != before)
                return false;
            image = m_shmImage;
        } else if (inside) {
            int before = g_xErrors;
            m_plain.reset(XGetImage(m_dpy, m_root, x, y, static_cast<unsigned>(m_grabW),
                                    static_cast<unsigned>(m_grabH), AllPlanes, ZPixmap));
            if (!m_plain || g_xErrors != before)
                return false;
            image = m_plain.get();
        } else {
            if (!GrabClipped(x, y, out))
                return false;
            return true;
        }
        Describe(image, out);
        out.data = reinterpret_cast<const uint8_t*>(image->data);
        return true;
    }

    void Release() override {
        if (m_shmImage) {
            XShmDetach(m_dpy, &m_shmInfo);
            XSync(m_dpy, False);
            XDestroyImage(m_shmImage); // frees the XImage; data is the shared segment
            m_shmImage = nullptr;
            shmdt(m_shmInfo.shmaddr);
            m_shmInfo = {};
        }
        m_plain.reset();
        m_clipped.clear();
        m_grabW = m_grabH = 0;
    }

    bool ReadPointer(PointerState& out) override {
        if (!m_xfixes)
            return false;
        if (!m_selected) {
            XFixesSelectCursorInput(m_dpy, m_root, XFixesDisplayCursorNotifyMask);
            m_selected = true;
        }
        // A shape change arrives as a cursor notify event; without one the cached image
        // still holds and only the position is asked for.
        bool changed = !m_cursor;
        XEvent event;
        while (XCheckTypedEvent(m_dpy, m_xfixesEvent + XFixesCursorNotify, &event)) {
            auto* notify = reinterpret_cast<XFixesCursorNotifyEvent*>(&event);
            if (!m_cursor || notify->cursor_serial != m_cursor->serial)
                changed = true;
        }
        if (!changed) {
            Window root = 0, child = 0;
            int rx = 0, ry = 0, wx = 0, wy = 0;
            unsigned mask = 0;
            if (!XQueryPointer(m_dpy, m_root, &root, &child, &rx, &ry, &wx, &wy, &mask))
                return false;
            out.x = rx;
            out.y = ry;
            out.image = m_cursor;
            return true;
        }
        XFixesCursorImage* cursor = XFixesGetCursorImage(m_dpy);
        if (!cursor)
            return false;
        if (!m_cursor || m_cursor->serial != cursor->cursor_serial) {
            auto image = std::make_shared<PointerImage>();
            image->width = cursor->width;
            image->height = cursor->height;
            image->xhot = cursor->xhot;
            image->yhot = cursor->yhot;
            image->serial = cursor->cursor_serial;
            image->name = cursor->name ? cursor->name : "";
            size_t n = static_cast<size_t>(cursor->width) * cursor->height;
            image->argb.resize(n);
            // pixels are unsigned long (8 bytes on 64-bit systems), each one 32-bit ARGB.
            for (size_t i = 0; i < n; ++i)
                image->argb[i] = static_cast<uint32_t>(cursor->pixels[i]);
            m_cursor = std::move(image);
        }
        out.x = cursor->x;
        out.y = cursor->y;
        out.image = m_cursor;
        XFree(cursor);
        return true;
    }

  private:
    bool PrepareShm() {
        int before = g_xErrors;
        m_shmInfo = {};
        XImage* image =
            XShmCreateImage(m_dpy, m_visual, static_cast<unsigned>(m_depth), ZPixmap, nullptr, &m_shmInfo,
                            static_cast<unsigned>(m_grabW), static_cast<unsigned>(m_grabH));
        if (!image)
            return false;
        size_t size = static_cast<size_t>(image->bytes_per_line) * static_cast<size_t>(image->height);
        m_shmInfo.shmid = shmget(IPC_PRIVATE, size, IPC_CREAT | 0600);
        if (m_shmInfo.shmid < 0) {
            XDestroyImage(image);
            return false;
        }
        m_shmInfo.shmaddr = image->data = static_cast<char*>(shmat(m_shmInfo.shmid, nullptr, 0));
        if (m_shmInfo.shmaddr == reinterpret_cast<char*>(-1)) {
            shmctl(m_shmInfo.shmid, IPC_RMID, nullptr);
            image->data = nullptr;
            XDestroyImage(image);
            m_shmInfo = {};
            return false;
        }
        m_shmInfo.readOnly = False;
        bool attached = XShmAttach(m_dpy, &m_shmInfo);
        XSync(m_dpy, False);
        // Marked for removal at once: the segment goes away with the last detach, even when
        // the process is killed.
        shmctl(m_shmInfo.shmid, IPC_RMID, nullptr);
        if (!attached || g_xErrors != before) {
            shmdt(m_shmInfo.shmaddr);
            image->data = nullptr;
            XDestroyImage(image);
            m_shmInfo = {};
            return false;
        }
        m_shmImage = image;
        return true;
    }

    // An area partly off the screen: the visible part is read, the rest is black.
    bool GrabClipped(int x, int y, ScreenPixels& out) {
        const int bpp = m_bpp;
        const int bpl = ((m_grabW * bpp + 31) / 32) * 4;
        m_clipped.assign(static_cast<size_t>(bpl) * static_cast<size_t>(m_grabH), 0);
        int l = std::max(x, 0), t = std::max(y, 0);
        int r = std::min(x + m_grabW, m_width), b = std::min(y + m_grabH, m_height);
        XImage* image = nullptr;
        if (l < r && t < b) {
            int before = g_xErrors;
            m_plain.reset(XGetImage(m_dpy, m_root, l, t, static_cast<unsigned>(r - l),
                                    static_cast<unsigned>(b - t), AllPlanes, ZPixmap));
            if (!m_plain || g_xErrors != before || m_plain->bits_per_pixel != bpp)
                return false;
            image = m_plain.get();
            const int bytesPerPixel = bpp / 8;
            for (int row = 0; row < b - t; ++row)
                std::memcpy(m_clipped.data() + static_cast<size_t>(row + t - y) * bpl +
                                (l - x) * bytesPerPixel,
                            image->data + static_cast<size_t>(row) * image->bytes_per_line,
                            static_cast<size_t>(r - l) * bytesPerPixel);
        }
        out = ScreenPixels{};
        out.width = m_grabW;
        out.height = m_grabH;
        out.bitsPerPixel = bpp;
        out.bytesPerLine = bpl;
        out.msbFirst = ImageByteOrder(m_dpy) == MSBFirst;
        out.redMask = static_cast<uint32_t>(m_visual->red_mask);
        out.greenMask = static_cast<uint32_t>(m_visual->green_mask);
        out.blueMask = static_cast<uint32_t>(m_visual->blue_mask);
        if (bpp <= 8)
            ReadPalette(out);
        out.data = m_clipped.data();
        return true;
    }

    void Describe(const XImage* image, ScreenPixels& out) {
        out = ScreenPixels{};
        out.width = image->width;
        out.height = image->height;
        out.bitsPerPixel = image->bits_per_pixel;
        out.bytesPerLine = image->bytes_per_line;
        out.msbFirst = image->byte_order == MSBFirst;
        out.redMask = static_cast<uint32_t>(image->red_mask ? image->red_mask : m_visual->red_mask);
        out.greenMask = static_cast<uint32_t>(image->green_mask ? image->green_mask : m_visual->green_mask);
        out.blueMask = static_cast<uint32_t>(image->blue_mask ? image->blue_mask : m_visual->blue_mask);
        if (image->bits_per_pixel <= 8)
            ReadPalette(out);
    }

    // The colour map of an 8-bit screen, read at every grab since programs may change it.
    void ReadPalette(ScreenPixels& out) {
        int entries = std::min(m_visual->map_entries, 256);
        std::vector<XColor> colours(static_cast<size_t>(std::max(entries, 0)));
        for (int i = 0; i < entries; ++i)
            colours[static_cast<size_t>(i)].pixel = static_cast<unsigned long>(i);
        if (entries > 0)
            XQueryColors(m_dpy, m_colormap, colours.data(), entries);
        out.palette.assign(256, 0);
        for (int i = 0; i < entries; ++i) {
            const XColor& c = colours[static_cast<size_t>(i)];
            out.palette[static_cast<size_t>(i)] = (static_cast<uint32_t>(c.red >> 8) << 16) |
                                                  (static_cast<uint32_t>(c.green >> 8) << 8) | (c.blue >> 8);
        }
    }

    Display* m_dpy;
    Window m_root = 0;
    Visual* m_visual = nullptr;
    Colormap m_colormap = 0;
    int m_depth = 0, m_bpp = 0, m_width = 0, m_height = 0;
    bool m_shmAvailable = false;
    XShmSegmentInfo m_shmInfo{};
    XImage* m_shmImage = nullptr;
    ImagePtr m_plain;
    std::vector<uint8_t> m_clipped;
    int m_grabW = 0, m_grabH = 0;
    bool m_xfixes = false;
    int m_xfixesEvent = 0;
    bool m_selected = false;
    std::shared_ptr<const PointerImage> m_cursor;
};

} // namespace

std::unique_ptr<IScreenSource> OpenX11Screen(const std::string& display, std::string& error, X11Grab grab) {
    InstallX11ErrorHandler();
    Display* dpy = XOpenDisplay(display.empty() ? nullptr : display.c_str());
    if (!dpy) {
        const char* env = display.empty() ? std::getenv("DISPLAY") : display.c_str();
        error = "cannot open the X display " + std::string(env && *env ? env : "(DISPLAY is not set)") + ".";
        return nullptr;
    }
    return std::make_unique<X11Screen>(dpy, grab == X11Grab::Auto);
}

bool X11ScreenUsesShm(const IScreenSource& source) {
    auto* x = dynamic_cast<const X11Screen*>(&source);
    return x && x->UsesShm();
}

} // namespace zov
