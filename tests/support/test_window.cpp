// A window that paints a known, colourful picture for the capture tests and the bench.
//   test_window [--size WxH] [--at X,Y] [--animate MS] [--play FOLDER] [--display :N]
// The picture depends only on window-local coordinates (and, when animated, on a frame
// number), so a recording of the window equals it wherever the window is. With --play the
// window shows FOLDER/file0001.bmp, file0002.bmp, ... in turn, one every MS milliseconds
// (real screen content for the bench). The pointer over
// the window is an 8 x 8 pure red square with its hotspot at (3, 2), named "hand2".
// Prints the window id (decimal) on stdout once the window is shown.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/Xfixes.h>

#include "base/Bitmap.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace {

uint32_t PatternColour(int x, int y, int frame) {
    // Bands of saturated colours, a gradient and a checker: every channel takes many values.
    int xs = x + frame * 7;
    uint32_t r = static_cast<uint32_t>((xs * 5) & 0xFF);
    uint32_t g = static_cast<uint32_t>((y * 3 + (xs >> 4) * 40) & 0xFF);
    uint32_t b = ((xs / 8 + y / 8) & 1) ? 0xF0u : static_cast<uint32_t>((x ^ y) & 0xFF);
    if ((y / 16) % 5 == 4)
        r = g = b = 0xFF; // white rows
    return (r << 16) | (g << 8) | b;
}

unsigned long ToPixel(uint32_t rgb, const Visual* v) {
    auto place = [](uint32_t c8, unsigned long mask) -> unsigned long {
        if (!mask)
            return 0;
        int shift = __builtin_ctzl(mask);
        int bits = __builtin_popcountl(mask);
        return (static_cast<unsigned long>(c8 >> (8 - bits)) << shift) & mask;
    };
    return place((rgb >> 16) & 0xFF, v->red_mask) | place((rgb >> 8) & 0xFF, v->green_mask) |
           place(rgb & 0xFF, v->blue_mask);
}

} // namespace

int main(int argc, char** argv) {
    int width = 200, height = 150, x = 0, y = 0, animateMs = 0;
    std::string display, play;
    for (int i = 1; i + 1 < argc; i += 2) {
        std::string a = argv[i];
        if (a == "--size")
            std::sscanf(argv[i + 1], "%dx%d", &width, &height);
        else if (a == "--at")
            std::sscanf(argv[i + 1], "%d,%d", &x, &y);
        else if (a == "--animate")
            animateMs = std::atoi(argv[i + 1]);
        else if (a == "--display")
            display = argv[i + 1];
        else if (a == "--play")
            play = argv[i + 1];
    }
    Display* dpy = XOpenDisplay(display.empty() ? nullptr : display.c_str());
    if (!dpy) {
        std::fprintf(stderr, "test_window: cannot open the display\n");
        return 1;
    }
    int screen = DefaultScreen(dpy);
    Visual* visual = DefaultVisual(dpy, screen);
    int depth = DefaultDepth(dpy, screen);
    XSetWindowAttributes attributes{};
    attributes.background_pixel = BlackPixel(dpy, screen);
    attributes.event_mask = ExposureMask | StructureNotifyMask;
    Window win = XCreateWindow(dpy, RootWindow(dpy, screen), x, y, static_cast<unsigned>(width),
                               static_cast<unsigned>(height), 0, depth, InputOutput, visual,
                               CWBackPixel | CWEventMask, &attributes);

    // The pointer: an 8 x 8 red square, hotspot (3, 2).
    Pixmap source = XCreatePixmap(dpy, win, 8, 8, 1), mask = XCreatePixmap(dpy, win, 8, 8, 1);
    GC gc1 = XCreateGC(dpy, source, 0, nullptr);
    XSetForeground(dpy, gc1, 1);
    XFillRectangle(dpy, source, gc1, 0, 0, 8, 8);
    XFillRectangle(dpy, mask, gc1, 0, 0, 8, 8);
    XColor red{}, black{};
    red.red = 0xFFFF;
    red.flags = black.flags = DoRed | DoGreen | DoBlue;
    Cursor cursor = XCreatePixmapCursor(dpy, source, mask, &red, &black, 3, 2);
    XFixesSetCursorName(dpy, cursor, "hand2");
    XDefineCursor(dpy, win, cursor);

    // On a colour-mapped (8-bit) screen the picture is drawn with 64 allocated colours, two
    // bits a channel.
    std::vector<unsigned long> cells;
    if (visual->c_class == PseudoColor || visual->c_class == StaticColor || visual->c_class == GrayScale) {
        Colormap map = DefaultColormap(dpy, screen);
        for (int i = 0; i < 64; ++i) {
            XColor c{};
            c.red = static_cast<unsigned short>(((i >> 4) & 3) * 0x5555);
            c.green = static_cast<unsigned short>(((i >> 2) & 3) * 0x5555);
            c.blue = static_cast<unsigned short>((i & 3) * 0x5555);
            c.flags = DoRed | DoGreen | DoBlue;
            XAllocColor(dpy, map, &c);
            cells.push_back(c.pixel);
        }
    }
    auto pixelOf = [&](uint32_t rgb) {
        if (cells.empty())
            return ToPixel(rgb, visual);
        return cells[((rgb >> 22) & 3) << 4 | ((rgb >> 14) & 3) << 2 | ((rgb >> 6) & 3)];
    };

    XMapWindow(dpy, win);
    XImage* image = XCreateImage(dpy, visual, static_cast<unsigned>(depth), ZPixmap, 0, nullptr,
                                 static_cast<unsigned>(width), static_cast<unsigned>(height), 32, 0);
    image->data = static_cast<char*>(std::malloc(static_cast<size_t>(image->bytes_per_line) * height));
    GC gc = XCreateGC(dpy, win, 0, nullptr);
    int frame = 0;
    std::vector<std::string> series;
    if (!play.empty())
        series = zov::ListBmpSeries(play + "/file0001.bmp");
    auto paint = [&] {
        zov::Image24 bmp;
        std::string error;
        if (!series.empty() && zov::ReadBmp(series[static_cast<size_t>(frame) % series.size()], bmp, error)) {
            for (int j = 0; j < height && j < bmp.height; ++j)
                for (int i = 0; i < width && i < bmp.width; ++i) {
                    const uint8_t* p = bmp.PixelTopDown(i, j);
                    XPutPixel(image, i, j, pixelOf(uint32_t(p[2]) << 16 | uint32_t(p[1]) << 8 | p[0]));
                }
        } else {
            for (int j = 0; j < height; ++j)
                for (int i = 0; i < width; ++i)
                    XPutPixel(image, i, j, pixelOf(PatternColour(i, j, frame)));
        }
        XPutImage(dpy, win, gc, image, 0, 0, 0, 0, static_cast<unsigned>(width),
                  static_cast<unsigned>(height));
        XSync(dpy, False);
    };
    bool announced = false;
    auto next = std::chrono::steady_clock::now();
    for (;;) {
        while (XPending(dpy)) {
            XEvent e;
            XNextEvent(dpy, &e);
            if (e.type == Expose && e.xexpose.count == 0) {
                paint();
                if (!announced) {
                    std::printf("%lu\n", static_cast<unsigned long>(win));
                    std::fflush(stdout);
                    announced = true;
                }
            }
        }
        if (animateMs > 0 && std::chrono::steady_clock::now() >= next) {
            ++frame;
            paint();
            next += std::chrono::milliseconds(animateMs);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(animateMs > 0 ? 2 : 10));
    }
}
