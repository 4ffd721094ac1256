// Screen-pixel conversion, pointer drawing and records, and the pacing, without a display.
#include "base/Pacing.h"
#include "recorder/Pointer.h"
#include "recorder/ScreenConvert.h"

#include "core/ProjectRecords.h"

#include <gtest/gtest.h>

#include <cstring>
#include <thread>

namespace {

using namespace zov;

uint32_t Rgb(const Image24& img, int x, int y) {
    const uint8_t* p = img.PixelTopDown(x, y);
    return (uint32_t(p[2]) << 16) | (uint32_t(p[1]) << 8) | p[0];
}

// ---- screen conversion ---------------------------------------------------------------------

TEST(ScreenConvert, Rgb565WidensEachChannelByItsOwnWidth) {
    // 3 x 2 pixels: rows top-down, 2-byte pixels, lines padded to 8 bytes.
    const uint16_t px[2][4] = {{0xF800, 0x07E0, 0x001F, 0}, {0xFFFF, 0x0821, 0x0000, 0}};
    ScreenPixels s;
    s.width = 3;
    s.height = 2;
    s.bitsPerPixel = 16;
    s.bytesPerLine = 8;
    s.redMask = 0xF800;
    s.greenMask = 0x07E0;
    s.blueMask = 0x001F;
    s.data = reinterpret_cast<const uint8_t*>(px);
    Image24 img;
    img.Allocate(3, 2);
    ASSERT_TRUE(ConvertScreenPixels(s, img));
    EXPECT_EQ(Rgb(img, 0, 0), 0xF80000u);
    EXPECT_EQ(Rgb(img, 1, 0), 0x00FC00u); // 6-bit green 63 -> 252, not the 5-5-5 reading
    EXPECT_EQ(Rgb(img, 2, 0), 0x0000F8u);
    EXPECT_EQ(Rgb(img, 0, 1), 0xF8FCF8u);
    EXPECT_EQ(Rgb(img, 1, 1), 0x080408u);
    // Bottom-up: the top screen row is the last stored row; padding bytes stay 0.
    EXPECT_EQ(img.bits[static_cast<size_t>(img.RowBytes()) + 2], 0xF8); // red of (0,0)
    EXPECT_EQ(img.bits[9], 0);
    EXPECT_EQ(img.bits[10], 0);
    EXPECT_EQ(img.bits[11], 0);
}

TEST(ScreenConvert, ThirtyTwoAndTwentyFourBitAndMsbFirstAndPalette) {
    // 32-bit B, G, R, X (the usual case, 5 pixels so the last one is copied apart).
    const uint32_t words[5] = {0x00123456, 0xFF654321, 0x00ABCDEF, 0x00000001, 0x00FFFFFF};
    ScreenPixels s;
    s.width = 5;
    s.height = 1;
    s.bitsPerPixel = 32;
    s.bytesPerLine = 20;
    s.redMask = 0xFF0000;
    s.greenMask = 0xFF00;
    s.blueMask = 0xFF;
    s.data = reinterpret_cast<const uint8_t*>(words);
    Image24 img;
    img.Allocate(5, 1);
    ASSERT_TRUE(ConvertScreenPixels(s, img));
    EXPECT_EQ(Rgb(img, 0, 0), 0x123456u);
    EXPECT_EQ(Rgb(img, 1, 0), 0x654321u); // the X byte is dropped
    EXPECT_EQ(Rgb(img, 4, 0), 0xFFFFFFu);
    EXPECT_EQ(img.bits[15], 0); // padding after the last pixel untouched

    // Packed 24-bit pixels in MSB-first order with swapped masks (a B-G-R visual).
    const uint8_t packed[8] = {0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0, 0};
    ScreenPixels p;
    p.width = 2;
    p.height = 1;
    p.bitsPerPixel = 24;
    p.bytesPerLine = 8;
    p.msbFirst = true;
    p.redMask = 0x0000FF;
    p.greenMask = 0x00FF00;
    p.blueMask = 0xFF0000;
    p.data = packed;
    Image24 img2;
    img2.Allocate(2, 1);
    ASSERT_TRUE(ConvertScreenPixels(p, img2));
    EXPECT_EQ(Rgb(img2, 0, 0), 0x332211u);
    EXPECT_EQ(Rgb(img2, 1, 0), 0x665544u);

    // 8 bits: through the colour map.
    const uint8_t idx[4] = {0, 7, 255, 0};
    ScreenPixels e;
    e.width = 3;
    e.height = 1;
    e.bitsPerPixel = 8;
    e.bytesPerLine = 4;
    e.palette.assign(256, 0);
    e.palette[7] = 0x102030;
    e.palette[255] = 0xFFEEDD;
    e.data = idx;
    Image24 img3;
    img3.Allocate(3, 1);
    ASSERT_TRUE(ConvertScreenPixels(e, img3));
    EXPECT_EQ(Rgb(img3, 1, 0), 0x102030u);
    EXPECT_EQ(Rgb(img3, 2, 0), 0xFFEEDDu);
    e.palette.resize(16); // a colour map that is too short is refused, not overrun
    EXPECT_FALSE(ConvertScreenPixels(e, img3));
}

TEST(ScreenConvert, UnsupportedFormatsAndMismatchedSizesAreRefused) {
    EXPECT_TRUE(ScreenFormatSupported(24, 32));
    EXPECT_TRUE(ScreenFormatSupported(16, 16));
    EXPECT_TRUE(ScreenFormatSupported(8, 8));
    EXPECT_TRUE(ScreenFormatSupported(32, 32));
    EXPECT_FALSE(ScreenFormatSupported(15, 16)); // a 15-bit screen
    EXPECT_FALSE(ScreenFormatSupported(4, 4));
    EXPECT_FALSE(ScreenFormatSupported(30, 32));
    uint8_t data[64] = {};
    ScreenPixels s;
    s.width = 4;
    s.height = 2;
    s.bitsPerPixel = 4;
    s.bytesPerLine = 4;
    s.data = data;
    Image24 img;
    img.Allocate(4, 2);
    EXPECT_FALSE(ConvertScreenPixels(s, img));
    s.bitsPerPixel = 32;
    s.bytesPerLine = 8; // shorter than 4 pixels of 4 bytes
    s.redMask = 0xFF0000;
    s.greenMask = 0xFF00;
    s.blueMask = 0xFF;
    EXPECT_FALSE(ConvertScreenPixels(s, img));
    s.bytesPerLine = 16;
    img.Allocate(3, 2);
    EXPECT_FALSE(ConvertScreenPixels(s, img));
}

// ---- pointer -----------------------------------------------------------------------------

TEST(Pointer, ShapeIndexFromCursorNames) {
    EXPECT_EQ(ShapeIndexFromCursorName("left_ptr"), 1);
    EXPECT_EQ(ShapeIndexFromCursorName("default"), 1);
    EXPECT_EQ(ShapeIndexFromCursorName("xterm"), 5);
    EXPECT_EQ(ShapeIndexFromCursorName("hand2"), 3);
    EXPECT_EQ(ShapeIndexFromCursorName("watch"), 15);
    EXPECT_EQ(ShapeIndexFromCursorName("progress"), 0);
    EXPECT_EQ(ShapeIndexFromCursorName("sb_h_double_arrow"), 13);
    EXPECT_EQ(ShapeIndexFromCursorName("Fleur"), 9);
    EXPECT_EQ(ShapeIndexFromCursorName(""), -1);
    EXPECT_EQ(ShapeIndexFromCursorName("pirate"), -1);
    EXPECT_STREQ(StandardShapeName(0), "IDC_APPSTARTING");
    EXPECT_STREQ(StandardShapeName(15), "IDC_WAIT");
    EXPECT_STREQ(StandardShapeName(16), "");
}

PointerImage Square(int w, int h, uint32_t argb, int xhot, int yhot) {
    PointerImage img;
    img.width = w;
    img.height = h;
    img.xhot = xhot;
    img.yhot = yhot;
    img.argb.assign(static_cast<size_t>(w) * h, argb);
    return img;
}

TEST(Pointer, DrawBlendsPremultipliedAndScalesInto32OrBig64) {
    Image24 frame;
    frame.Allocate(100, 80);
    for (auto& b : frame.bits)
        b = 100;
    // A half-transparent white (premultiplied 0x80 of 0x80) at (10, 5).
    auto half = Square(4, 4, 0x80808080, 0, 0);
    DrawPointer(frame, half, 10, 5, false);
    EXPECT_EQ(Rgb(frame, 10, 5), 0xB2B2B2u); // 128 + 100 * 127 / 255 = 128 + 50
    EXPECT_EQ(Rgb(frame, 9, 5), 0x646464u);
    EXPECT_EQ(Rgb(frame, 14, 5), 0x646464u);

    // A 40 x 40 opaque image is scaled into 32 x 32.
    auto big = Square(40, 40, 0xFF00FF00, 0, 0);
    DrawPointer(frame, big, 50, 10, false);
    EXPECT_EQ(Rgb(frame, 81, 41), 0x00FF00u);
    EXPECT_EQ(Rgb(frame, 82, 41), 0x646464u);
    EXPECT_EQ(Rgb(frame, 81, 42), 0x646464u);

    // The big pointer doubles each pixel: 5 x 5 covers 10 x 10.
    Image24 f2;
    f2.Allocate(40, 40);
    auto red = Square(5, 5, 0xFFFF0000, 2, 1);
    DrawPointer(f2, red, 3, 4, true);
    EXPECT_EQ(Rgb(f2, 3, 4), 0xFF0000u);
    EXPECT_EQ(Rgb(f2, 12, 13), 0xFF0000u);
    EXPECT_EQ(Rgb(f2, 13, 13), 0u);
    EXPECT_EQ(Rgb(f2, 2, 4), 0u);

    // Off the frame edges nothing is written outside it (the sanitizer build checks).
    DrawPointer(f2, big, -20, -30, true);
    DrawPointer(f2, big, 35, 38, false);
    EXPECT_EQ(Rgb(f2, 0, 0), 0x00FF00u);
    EXPECT_EQ(Rgb(f2, 39, 39), 0x00FF00u);

    // An image whose pixel array is short is ignored rather than overrun.
    auto broken = Square(8, 8, 0xFF0000FF, 0, 0);
    broken.argb.resize(10);
    Image24 f3;
    f3.Allocate(20, 20);
    DrawPointer(f3, broken, 0, 0, false);
    EXPECT_EQ(Rgb(f3, 0, 0), 0u);
}

// Drawn pixels that take in parts of source pixels: each is the area average of what it
// covers, blended premultiplied over the frame.
TEST(Pointer, ScaledDownPixelsAreAreaAverages) {
    // 48 x 48 into 32 x 32: a drawn pixel covers 1.5 x 1.5 source pixels. One opaque white
    // source pixel at (1, 1) spans [1, 2) and falls half into drawn pixels 0 and 1 each way:
    // a quarter of it, 1/9 of a drawn pixel, in each of the four: 255 / 9 = 28.3 -> 28,
    // over black 28.
    Image24 frame;
    frame.Allocate(40, 40);
    auto one = Square(48, 48, 0, 0, 0);
    one.argb[1 * 48 + 1] = 0xFFFFFFFF;
    DrawPointer(frame, one, 4, 4, false);
    for (int y = 3; y < 7; ++y)
        for (int x = 3; x < 7; ++x) {
            const bool inside = x >= 4 && x < 6 && y >= 4 && y < 6;
            EXPECT_EQ(Rgb(frame, x, y), inside ? 0x1C1C1Cu : 0u) << x << "," << y;
        }

    // 64 x 64 into 32 x 32: one white pixel of a 2 x 2 square gives alpha and colour
    // 255 / 4 = 63.75 -> 64, over 100: 64 + 100 * 191 / 255 = 64 + 75 = 139.
    Image24 grey;
    grey.Allocate(40, 40);
    for (auto& b : grey.bits)
        b = 100;
    auto quarter = Square(64, 64, 0, 0, 0);
    quarter.argb[11 * 64 + 21] = 0xFFFFFFFF; // in the square drawn at (10, 5)
    DrawPointer(grey, quarter, 0, 0, false);
    EXPECT_EQ(Rgb(grey, 10, 5), 0x8B8B8Bu);
    EXPECT_EQ(Rgb(grey, 11, 5), 0x646464u);
    EXPECT_EQ(Rgb(grey, 10, 6), 0x646464u);

    // Not square: 40 x 20 keeps its shape, 32 x 16.
    Image24 wide;
    wide.Allocate(40, 40);
    DrawPointer(wide, Square(40, 20, 0xFF0000FF, 0, 0), 0, 0, false);
    EXPECT_EQ(Rgb(wide, 31, 15), 0x0000FFu);
    EXPECT_EQ(Rgb(wide, 32, 15), 0u);
    EXPECT_EQ(Rgb(wide, 31, 16), 0u);
}

TEST(Pointer, PositionMovesByTheHotspotOrTwiceIt) {
    PointerState p;
    p.x = 100;
    p.y = 50;
    p.image = std::make_shared<PointerImage>(Square(8, 8, 0xFFFFFFFF, 3, 2));
    int x = 0, y = 0;
    PointerDrawPosition(p, false, x, y);
    EXPECT_EQ(x, 97);
    EXPECT_EQ(y, 48);
    PointerDrawPosition(p, true, x, y);
    EXPECT_EQ(x, 94);
    EXPECT_EQ(y, 46);
    // A 96 x 96 image is drawn at a third of its size: hotspot (50, 31) becomes (16, 10),
    // and (33, 20) for the big pointer at two thirds.
    p.image = std::make_shared<PointerImage>(Square(96, 96, 0xFFFFFFFF, 50, 31));
    PointerDrawPosition(p, false, x, y);
    EXPECT_EQ(x, 84);
    EXPECT_EQ(y, 40);
    PointerDrawPosition(p, true, x, y);
    EXPECT_EQ(x, 67);
    EXPECT_EQ(y, 30);
    // No image: the hotspot position itself.
    p.image.reset();
    PointerDrawPosition(p, true, x, y);
    EXPECT_EQ(x, 100);
    EXPECT_EQ(y, 50);
}

TEST(Pointer, CursorRecordLayout) {
    PointerState p;
    PointerImage img = Square(17, 2, 0xFF112233, 5, 1);
    img.argb[1] = 0; // one clear pixel: its mask bit is set
    p.image = std::make_shared<PointerImage>(img);
    std::vector<uint8_t> r = MakeCursorRecord(p, -3, 40);
    const size_t colour = 17 * 2 * 4, maskRow = 4; // 17 bits round up to two 16-bit words
    ASSERT_EQ(r.size(), 20 + colour + maskRow * 2);
    int32_t v;
    std::memcpy(&v, &r[0], 4);
    EXPECT_EQ(v, -3);
    std::memcpy(&v, &r[4], 4);
    EXPECT_EQ(v, 40);
    EXPECT_EQ(r[8], 0);
    EXPECT_EQ(r[9], 1);
    EXPECT_EQ(r[10], 1);
    EXPECT_EQ(r[11], 0);
    std::memcpy(&v, &r[12], 4);
    EXPECT_EQ(v, 5);
    std::memcpy(&v, &r[16], 4);
    EXPECT_EQ(v, 1);
    EXPECT_EQ(r[20], 0x33); // blue, green, red, alpha
    EXPECT_EQ(r[21], 0x22);
    EXPECT_EQ(r[22], 0x11);
    EXPECT_EQ(r[23], 0xFF);
    const uint8_t* mask = &r[20 + colour];
    EXPECT_EQ(mask[0], 0x40); // pixel 1 of row 0, most significant bit first
    EXPECT_EQ(mask[1], 0);
    EXPECT_EQ(mask[4], 0);

    // No image: the record alone, marked hidden, no bitmaps.
    PointerState none;
    none.x = 7;
    std::vector<uint8_t> h = MakeCursorRecord(none, 7, 8);
    ASSERT_EQ(h.size(), 20u);
    EXPECT_EQ(h[8], 1);
    EXPECT_EQ(h[9], 0);
    EXPECT_EQ(h[10], 0);

    // Every pixel clear: hidden, bitmaps still there.
    PointerState clear;
    clear.image = std::make_shared<PointerImage>(Square(2, 2, 0, 0, 0));
    std::vector<uint8_t> c = MakeCursorRecord(clear, 0, 0);
    EXPECT_EQ(c[8], 1);
    EXPECT_EQ(c[9], 1);
}

// ---- pacing --------------------------------------------------------------------------------

// A clock that only moves when the pacer sleeps (or when a test moves it).
struct FakeTime {
    int64_t now = 1'000'000;
    std::vector<int> sleeps;
    std::function<void(FakeTime&)> onSleep;
    TickPacer Pacer() {
        return TickPacer([this] { return now; },
                         [this](int ms) {
                             sleeps.push_back(ms);
                             now += static_cast<int64_t>(ms) * 10000;
                             if (onSleep)
                                 onSleep(*this);
                         });
    }
};

TEST(Pacing, IntervalArithmetic) {
    EXPECT_EQ(TickPacer::Interval(100, 10), 1'000'000);
    EXPECT_EQ(TickPacer::Interval(100, 20), 500'000);
    EXPECT_EQ(TickPacer::Interval(250, 3), 8'333'333); // truncated
    EXPECT_EQ(TickPacer::Interval(100, 0), 1'000'000); // no division by zero
}

TEST(Pacing, FixedScheduleWithoutDriftAndLateTicksFollowAtOnce) {
    FakeTime t;
    TickPacer pacer = t.Pacer();
    std::atomic<int32_t> state{C_CONTROL_RUN};
    ASSERT_TRUE(pacer.WaitForNextTick(true, state, 100));
    const int64_t start = t.now;
    ASSERT_TRUE(pacer.WaitForNextTick(false, state, 100));
    // Sleeps of 20 ms until the 100 ms tick is reached.
    EXPECT_EQ(t.sleeps, (std::vector<int>{20, 20, 20, 20, 20}));
    EXPECT_EQ(t.now, start + 1'000'000);
    // Work that took 250 ms: the next tick is late, and the one after comes at once; the
    // schedule stays on multiples of the interval.
    t.now = start + 3'500'000;
    t.sleeps.clear();
    ASSERT_TRUE(pacer.WaitForNextTick(false, state, 100)); // tick 2, due at 200 ms
    EXPECT_TRUE(t.sleeps.empty());
    ASSERT_TRUE(pacer.WaitForNextTick(false, state, 100)); // tick 3, due at 300 ms
    EXPECT_TRUE(t.sleeps.empty());
    ASSERT_TRUE(pacer.WaitForNextTick(false, state, 100)); // tick 4 at 400 ms, polled in 20 ms steps
    EXPECT_GE(t.now, start + 4'000'000);
    EXPECT_LT(t.now, start + 4'200'000);
}

TEST(Pacing, PauseRestartsTheScheduleAndStopEndsEvenWhilePaused) {
    FakeTime t;
    TickPacer pacer = t.Pacer();
    std::atomic<int32_t> state{C_CONTROL_RUN};
    ASSERT_TRUE(pacer.WaitForNextTick(true, state, 100));
    // Paused during the wait for 3 s, then resumed.
    int sleptWhilePaused = 0;
    t.onSleep = [&](FakeTime&) {
        if (t.sleeps.size() == 2)
            state = C_CONTROL_PAUSE;
        else if (state == C_CONTROL_PAUSE && ++sleptWhilePaused == 30)
            state = C_CONTROL_RUN;
    };
    ASSERT_TRUE(pacer.WaitForNextTick(false, state, 100));
    EXPECT_EQ(sleptWhilePaused, 30);
    EXPECT_EQ(t.sleeps.back(), 100); // the pause waits in 100 ms steps
    const int64_t resumed = t.now;
    // The next tick is one interval after the resume, not a burst of missed ones.
    t.onSleep = nullptr;
    t.sleeps.clear();
    ASSERT_TRUE(pacer.WaitForNextTick(false, state, 100));
    EXPECT_EQ(t.now, resumed + 1'000'000);

    // Stop while paused ends the wait with false.
    t.sleeps.clear();
    state = C_CONTROL_PAUSE;
    t.onSleep = [&](FakeTime&) {
        if (t.sleeps.size() == 5)
            state = C_CONTROL_STOP;
    };
    EXPECT_FALSE(pacer.WaitForNextTick(false, state, 100));
    // Stop while running ends the wait at once.
    state = C_CONTROL_STOP;
    t.sleeps.clear();
    EXPECT_FALSE(pacer.WaitForNextTick(false, state, 1000));
    EXPECT_TRUE(t.sleeps.empty());
}

} // namespace
