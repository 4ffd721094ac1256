// The screen and the mouse pointer as the capture engine sees them. The X11 implementation
// lives behind this interface (X11Screen.h), so nothing above platform/ includes an X11
// header, and tests can put a fake screen (FakeScreen.h) in its place.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

namespace zov {

// A Wayland desktop (WAYLAND_DISPLAY set): an X11 grab there sees only the windows of X11
// programs, and the screen is shared through the desktop portal instead.
inline bool WaylandSession() {
    const char* display = std::getenv("WAYLAND_DISPLAY");
    return display && *display;
}

struct ScreenRect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
    int Width() const { return right - left; }
    int Height() const { return bottom - top; }
};

// Whether a window exists, and whether it is shown (mapped and viewable) or hidden.
enum class WindowState { Gone, Hidden, Shown };

// Pixels of one grab, top row first, as the display holds them.
struct ScreenPixels {
    int width = 0;
    int height = 0;
    int bitsPerPixel = 0; // 8, 16, 24 or 32 are supported by the conversion
    int bytesPerLine = 0;
    bool msbFirst = false; // byte order of multi-byte pixels
    uint32_t redMask = 0;
    uint32_t greenMask = 0;
    uint32_t blueMask = 0;
    // Colour map for 8 bits per pixel: 0x00RRGGBB by pixel value.
    std::vector<uint32_t> palette;
    const uint8_t* data = nullptr; // valid until the next Grab()
};

// A pointer image: premultiplied ARGB (0xAARRGGBB), rows top-down.
struct PointerImage {
    int width = 0;
    int height = 0;
    int xhot = 0;
    int yhot = 0;
    unsigned long serial = 0;
    std::string name; // the cursor's name; often empty for unthemed cursors
    std::vector<uint32_t> argb;
};

struct PointerState {
    int x = 0; // screen position of the hotspot
    int y = 0;
    std::shared_ptr<const PointerImage> image;
};

class IScreenSource {
  public:
    virtual ~IScreenSource() = default;

    // Size of the whole screen.
    virtual int ScreenWidth() const = 0;
    virtual int ScreenHeight() const = 0;
    // Bits per pixel of grabbed pixels (the screen's pixmap format) and the screen depth
    // (significant bits; 15 on a 5-5-5 screen whose pixels take 16 bits).
    virtual int BitsPerPixel() const = 0;
    virtual int Depth() const = 0;

    // The window's own area in screen coordinates, where it is now; also for a window that
    // is not shown (minimised, on another workspace), whose place stays where it was. `out`
    // is left alone when the window is gone.
    virtual WindowState WindowRect(uint64_t window, ScreenRect& out) = 0;

    // Prepares grabs of width x height pixels (reused buffers, shared memory). Call from the
    // thread that grabs.
    virtual bool Prepare(int width, int height) = 0;
    // Grabs the prepared size with its top-left corner at screen (x, y). Parts of the area
    // outside the screen come back black. The pixels stay valid until the next Grab().
    virtual bool Grab(int x, int y, ScreenPixels& out) = 0;
    // Releases what Prepare() took.
    virtual void Release() = 0;

    // The pointer now; false when it cannot be read. Images are shared while the pointer
    // shape stays the same.
    virtual bool ReadPointer(PointerState& out) = 0;

    // After a failed Grab(): why, as a sentence (empty when the source has nothing to add),
    // and whether the source ended on the user's word (a desktop's "stop sharing"), which
    // ends a run the way Stop does.
    virtual std::string GrabFailure() const { return {}; }
    virtual bool EndedByUser() const { return false; }
};

} // namespace zov
