// Pixel conversion from screen and bitmap formats to the project image, and cropping.
// Pure functions, callable from any thread.
#pragma once

#include <cstdint>

namespace zov {

// Converts a bottom-up (or top-down, as long as both sides agree) image of width x height
// pixels. Rows of both sides are rounded up to 4 bytes; a source of 8 bits or fewer starts
// with its palette of 4 x 2^bits bytes (B, G, R, unused). The destination is cleared first.
// Supported (src -> dst): 8->24, 16->16/24/32 (5-5-5), 24->16/24/32, 32->16/24/32.
// Any other pair returns false.
[[nodiscard]] bool ConvertPixels(uint8_t* dst, int dstBits, const uint8_t* src, int srcBits, int width,
                                 int height);

// Channel masks of a true-colour source (X11 visuals give them: 5-6-5, 8-8-8 ...).
struct ChannelMasks {
    uint32_t red = 0;
    uint32_t green = 0;
    uint32_t blue = 0;
};

// Converts a 16- or 32-bit source whose pixels are described by `masks` (little-endian
// words) to the 24-bit project image (rows rounded up to 4). srcRowBytes 0 means rounded up
// to 4; srcTopDown flips the rows so the result is bottom-up. Each channel is scaled to 8 bits
// by shifting its top bits into place. False for other depths or empty masks.
[[nodiscard]] bool ConvertPixelsMasked(uint8_t* dst24, const uint8_t* src, int srcBits, int srcRowBytes,
                                       int width, int height, const ChannelMasks& masks, bool srcTopDown);

// Crops a 24-bit bottom-up image of width x height in place to columns left..right-1 and
// rows top..bottom-1 (y from the top), packed with rows rounded up to 4; the rest of the
// buffer (its old size) becomes zero. False, image unchanged, unless
// 0 <= left < right <= width and 0 <= top < bottom <= height.
[[nodiscard]] bool CropImage(uint8_t* image, int width, int height, int left, int top, int right, int bottom);

} // namespace zov
