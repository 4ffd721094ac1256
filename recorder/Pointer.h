// The mouse pointer in a recording: its shape index among the 16 standard shapes, drawing
// its image into a frame, and the "cursor.bin" record of each frame.
//
// cursor.bin record (little-endian), one per frame captured into a project:
//   0  i32 x, 4 i32 y      pointer position moved by the hotspot as drawn, as in the frame
//                          header
//   8  u8 hidden           1 when the pointer shows nothing (no image, or every pixel clear)
//   9  u8 colour present   1 when an image was read
//   10 u8 mask present     1 when an image was read
//   11 u8 unused (0)
//   12 i32 hotspot x, 16 i32 hotspot y of the image as read (not scaled)
//   20 colour bitmap       the image as read, width x height pixels, rows top-down, 4 bytes
//                          a pixel: blue, green, red, alpha of the premultiplied ARGB image
//                          (row bytes width x 4)
//   .. mask bitmap         1 bit a pixel, rows top-down, most significant bit first, 1 where
//                          the pixel is fully transparent (alpha 0), 0 where it shows; rows
//                          padded to 16 bits (row bytes (width + 15) / 16 x 2)
// The sizes follow from the image's width and height, which the record does not hold: the
// file is never read back by the program.
#pragma once

#include "base/Bitmap.h"
#include "platform/ScreenSource.h"

#include <cstdint>
#include <string>
#include <vector>

namespace zov {

// The standard shapes in their recorded order; a captured pointer is stored as its index.
constexpr int kStandardShapeCount = 16;
const char* StandardShapeName(int index); // "IDC_APPSTARTING" .. "IDC_WAIT"

// Maps an X cursor name (theme or core font names, e.g. "left_ptr", "xterm", "watch") onto
// the index of the matching standard shape, or -1 when none fits (and for an empty name).
int ShapeIndexFromCursorName(const std::string& name);

// The pointer is drawn at 32 x 32, or at 64 x 64 with the big-pointer setting. An image of
// up to 32 x 32 is drawn as it is (each pixel doubled for the big pointer); a larger one
// (HiDPI and large cursor themes) is scaled as a whole so that its longer side becomes 32
// (64), its hotspot with it. The scale is num / den.
struct PointerScale {
    int num = 32;
    int den = 32;
};
PointerScale PointerScaleFor(const PointerImage& image, bool bigPointer);

// Position at which the pointer image is drawn: the hotspot position moved by the hotspot
// as scaled for drawing (by twice the hotspot for the big pointer of a small image).
void PointerDrawPosition(const PointerState& pointer, bool bigPointer, int& x, int& y);

// Draws the premultiplied ARGB image, scaled as above by area averaging, over `frame` with
// its top-left corner at (x, y) of the frame (y from the top). Parts outside the frame are
// skipped.
void DrawPointer(Image24& frame, const PointerImage& image, int x, int y, bool bigPointer);

// The cursor.bin record of one frame; `x`, `y` are the hotspot-moved position.
std::vector<uint8_t> MakeCursorRecord(const PointerState& pointer, int x, int y);

} // namespace zov
