// The Wayland source's pixel formats: every 32-bit format the stream may negotiate reaches the
// capture engine's conversion with masks that give the right colours, and the pointer bitmaps
// of the stream's metadata come out as premultiplied ARGB whatever their byte order.
#include "platform/PortalScreen.h"
#include "recorder/ScreenConvert.h"

#include <gtest/gtest.h>
#include <spa/param/video/raw.h>

#include <array>
#include <cstdint>
#include <vector>

namespace zov {
namespace {

struct Colour {
    uint8_t a, r, g, b;
};
constexpr Colour kColours[] = {{0xFF, 0x12, 0x34, 0x56}, {0x80, 0xAB, 0xCD, 0xEF}, {0x00, 0x01, 0x80, 0xFE}};

// Bytes of one pixel in memory order for each format, written from the format's name.
std::array<uint8_t, 4> InMemory(uint32_t format, const Colour& c) {
    switch (format) {
    case SPA_VIDEO_FORMAT_BGRx:
        return {c.b, c.g, c.r, 0x99};
    case SPA_VIDEO_FORMAT_BGRA:
        return {c.b, c.g, c.r, c.a};
    case SPA_VIDEO_FORMAT_RGBx:
        return {c.r, c.g, c.b, 0x99};
    case SPA_VIDEO_FORMAT_RGBA:
        return {c.r, c.g, c.b, c.a};
    case SPA_VIDEO_FORMAT_xRGB:
        return {0x99, c.r, c.g, c.b};
    case SPA_VIDEO_FORMAT_ARGB:
        return {c.a, c.r, c.g, c.b};
    case SPA_VIDEO_FORMAT_xBGR:
        return {0x99, c.b, c.g, c.r};
    case SPA_VIDEO_FORMAT_ABGR:
        return {c.a, c.b, c.g, c.r};
    }
    return {};
}

constexpr uint32_t kFormats[] = {SPA_VIDEO_FORMAT_BGRx, SPA_VIDEO_FORMAT_BGRA, SPA_VIDEO_FORMAT_RGBx,
                                 SPA_VIDEO_FORMAT_RGBA, SPA_VIDEO_FORMAT_xRGB, SPA_VIDEO_FORMAT_ARGB,
                                 SPA_VIDEO_FORMAT_xBGR, SPA_VIDEO_FORMAT_ABGR};

TEST(PortalFormats, EveryFormatConvertsToTheSameColours) {
    // Three pixels a row, two rows, with 4 padding bytes at the end of each row.
    const int width = 3, height = 2, stride = width * 4 + 4;
    for (uint32_t format : kFormats) {
        std::vector<uint8_t> bytes(static_cast<size_t>(stride) * height, 0x77);
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) {
                auto px = InMemory(format, kColours[(x + y) % 3]);
                std::copy(px.begin(), px.end(), bytes.begin() + y * stride + x * 4);
            }
        ScreenPixels pixels;
        pixels.width = width;
        pixels.height = height;
        pixels.bitsPerPixel = 32;
        pixels.bytesPerLine = stride;
        ASSERT_TRUE(PortalFormatMasks(format, pixels.redMask, pixels.greenMask, pixels.blueMask)) << format;
        pixels.data = bytes.data();
        Image24 image;
        image.Allocate(width, height);
        ASSERT_TRUE(ConvertScreenPixels(pixels, image)) << format;
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) {
                const Colour& c = kColours[(x + y) % 3];
                const uint8_t* p = image.PixelTopDown(x, y);
                EXPECT_EQ(p[2], c.r) << "format " << format << " at " << x << "," << y;
                EXPECT_EQ(p[1], c.g) << "format " << format << " at " << x << "," << y;
                EXPECT_EQ(p[0], c.b) << "format " << format << " at " << x << "," << y;
            }
    }
    uint32_t r = 0, g = 0, b = 0;
    EXPECT_FALSE(PortalFormatMasks(SPA_VIDEO_FORMAT_I420, r, g, b));
    EXPECT_FALSE(PortalFormatMasks(SPA_VIDEO_FORMAT_RGB, r, g, b)); // 24-bit: never negotiated
}

TEST(PortalFormats, PointerBitmapsBecomeArgbWhateverTheirByteOrder) {
    const int width = 2, height = 2, stride = 12; // one unused pixel a row
    for (uint32_t format :
         {SPA_VIDEO_FORMAT_BGRA, SPA_VIDEO_FORMAT_RGBA, SPA_VIDEO_FORMAT_ARGB, SPA_VIDEO_FORMAT_ABGR}) {
        std::vector<uint8_t> bytes(static_cast<size_t>(stride) * height, 0x55);
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) {
                auto px = InMemory(format, kColours[x + y]);
                std::copy(px.begin(), px.end(), bytes.begin() + y * stride + x * 4);
            }
        std::vector<uint32_t> argb;
        ASSERT_TRUE(PortalCursorPixels(format, width, height, stride, bytes.data(), argb)) << format;
        ASSERT_EQ(argb.size(), 4u);
        for (int i = 0; i < 4; ++i) {
            const Colour& c = kColours[i % 2 + i / 2];
            const uint32_t want = (uint32_t{c.a} << 24) | (uint32_t{c.r} << 16) | (uint32_t{c.g} << 8) | c.b;
            EXPECT_EQ(argb[i], want) << "format " << format << " pixel " << i;
        }
    }
    std::vector<uint32_t> argb;
    uint8_t one[4] = {};
    EXPECT_FALSE(PortalCursorPixels(SPA_VIDEO_FORMAT_NV12, 1, 1, 4, one, argb));
    EXPECT_FALSE(
        PortalCursorPixels(SPA_VIDEO_FORMAT_BGRA, 2, 1, 4, one, argb)); // rows shorter than the width
}

} // namespace
} // namespace zov
