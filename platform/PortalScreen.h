// The screen of a Wayland desktop, through the desktop portal's ScreenCast interface (D-Bus)
// and the PipeWire video stream it hands back. The desktop lets the user choose a monitor or a
// window in its own picker; the restore token it returns is kept in a file so that the next
// recording of the same source does not ask again. Frames come only when the screen changes:
// the source keeps the last picture and hands it out at the capture engine's pace. No D-Bus or
// PipeWire type appears here.
#pragma once

#include "platform/ScreenSource.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace zov {

struct PortalOptions {
    // What the picker offers: a monitor, a window, or either.
    bool monitor = true;
    bool window = false;
    // With the pointer: its image and place from the stream's metadata where the portal
    // offers that, else drawn into the picture by the desktop. Without: hidden.
    bool pointer = true;
    // File that keeps the restore token between runs; empty keeps none.
    std::string tokenFile;
    // The longest wait for the user's choice in the desktop's picker.
    int chooseTimeoutMs = 120000;
    // The longest wait for any other answer of the portal (and for the first frame).
    int callTimeoutMs = 4000;
    // The longest wait for the first picture: some desktops send one only when something on
    // the screen changes.
    int firstFrameTimeoutMs = 15000;
    // The most pictures a second worth sending (about 1000 / frame delay); 0 leaves it open.
    int maxFramesPerSecond = 0;
};

// Asks the portal for a screen and waits for its first frame. Null with `error` set to a
// sentence naming what failed (no session bus, no portal, refused, no stream).
std::unique_ptr<IScreenSource> OpenPortalScreen(const PortalOptions& options, std::string& error);

// How the pointer reaches the frames of a portal source.
enum class PortalPointer { Hidden, Embedded, Metadata };
PortalPointer PortalPointerMode(const IScreenSource& source);

// The stream's 32-bit pixel formats (PipeWire's video format numbers: BGRx, BGRA, RGBx, RGBA,
// xRGB, ARGB, xBGR, ABGR) as the channel masks of a little-endian pixel; false for another.
bool PortalFormatMasks(uint32_t format, uint32_t& red, uint32_t& green, uint32_t& blue);
// A pointer bitmap of the stream's metadata (premultiplied, in one of those formats, rows
// `stride` bytes apart) as premultiplied 0xAARRGGBB; false for a format not taken.
bool PortalCursorPixels(uint32_t format, int width, int height, int stride, const uint8_t* bytes,
                        std::vector<uint32_t>& argb);

} // namespace zov
