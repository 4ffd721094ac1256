// The stream codec: bytes of records before compression, and encode/decode round trips.
#include <gtest/gtest.h>

#include <array>

#include "codec/BitBuffer.h"
#include "codec/FrameDiffCodec.h"
#include "codec/PatternTable.h"
#include "tests/codec/CodecTestUtil.h"

using namespace zov;
using namespace zov::test;

namespace {

struct Encoded {
    Bytes record;
};

class Enc {
  public:
    Enc(uint32_t w, uint32_t h) : m_w(w), m_h(h) {
        EXPECT_TRUE(m_codec.Init(C_CODEC_ENCODE, w, h, 24, 16, 16));
    }
    Bytes Encode(const std::vector<uint32_t>& pixels, uint16_t cx = 0, uint16_t cy = 0, uint8_t ci = 0) {
        Bytes out(m_codec.MaxRecordBytes());
        uint32_t size = uint32_t(out.size());
        EXPECT_EQ(0, m_codec.EncodeFrame(pixels.data(), m_w, m_h, out.data(), size, cx, cy, ci));
        EXPECT_EQ(0u, size % 8);
        out.resize(size / 8);
        return out;
    }
    FrameDiffCodec m_codec;

  private:
    uint32_t m_w, m_h;
};

class Dec {
  public:
    Dec(uint32_t w, uint32_t h) : image(size_t(w) * h, 0) {
        EXPECT_TRUE(m_codec.Init(C_CODEC_DECODE, w, h, 24, 16, 16));
        m_codec.SetStreamVersion(9);
    }
    DecodeStatus Decode(const Bytes& record) {
        if (BE32(record.data()) == 0)
            return DecodeStatus::Ok;
        return m_codec.DecodePayload(record.data() + 4, record.size() - 4, image.data());
    }
    FrameDiffCodec m_codec;
    std::vector<uint32_t> image;
};

// Encodes and decodes a sequence, checking every frame under the guard rule.
void RoundTrip(uint32_t w, uint32_t h, const std::vector<std::vector<uint32_t>>& frames,
               int* guardTotal = nullptr) {
    Enc enc(w, h);
    Dec dec(w, h);
    GuardModel model(w, h);
    int guards = 0;
    for (size_t f = 0; f < frames.size(); ++f) {
        Bytes rec = enc.Encode(frames[f]);
        ASSERT_GE(rec.size(), 4u);
        if (BE32(rec.data()) != 0)
            model.Record(rec.data());
        ASSERT_EQ(DecodeStatus::Ok, dec.Decode(rec)) << "frame " << f << ": " << dec.m_codec.LastError();
        int g = 0;
        std::string diff = model.Compare(frames[f].data(), dec.image.data(), &g);
        ASSERT_EQ("", diff) << "frame " << f;
        guards += g;
    }
    if (guardTotal)
        *guardTotal = guards;
}

std::vector<uint32_t> Solid(uint32_t w, uint32_t h, uint32_t c) {
    return std::vector<uint32_t>(size_t(w) * h, c);
}

} // namespace

TEST(BitBufferTest, LengthCodesTakeOneTwoOrThreeBytes) {
    uint8_t bytes[16];
    BitBuffer b;
    b.data = bytes;
    const std::array<std::pair<uint32_t, Bytes>, 5> cases = {{
        {127, {0x7F}},
        {128, {0x80, 0x80}},
        {16382, {0xBF, 0xFE}},
        {16383, {0xC0, 0x3F, 0xFF}},
        {kMaxLengthCode, {0xFF, 0xFF, 0xFF}},
    }};
    for (const auto& [v, want] : cases) {
        b.Reset();
        b.AppendLengthCode(v);
        EXPECT_EQ(Bytes(bytes, bytes + b.Bytes()), want) << v;
        EXPECT_EQ(LengthCodeSize(v), want.size()) << v;
    }
}

TEST(BitBufferTest, UnalignedAppendsPackBackToBack) {
    uint8_t bytes[8];
    std::memset(bytes, 0xAA, sizeof bytes); // stale bytes must be cleared as the write enters them
    BitBuffer b;
    b.data = bytes;
    const uint8_t three = 0x05;             // bits 1,0,1
    const uint8_t eleven[2] = {0xFF, 0x07}; // eleven 1 bits
    b.Append(&three, 3);
    b.Append(eleven, 11);
    b.Append(&three, 3);
    EXPECT_EQ(17u, b.bits);
    // bits: 101 11111111111 101 -> byte0 = 1,0,1,1,1,1,1,1 ; byte1 = 1,1,1,1,1,1,1,0 ; byte2 = 1
    EXPECT_EQ(0xFD, bytes[0]);
    EXPECT_EQ(0x7F, bytes[1]);
    EXPECT_EQ(0x01, bytes[2]);
    b.AppendBE16(0x1234); // at an unaligned position still lands bit for bit
    EXPECT_EQ(33u, b.bits);
    EXPECT_EQ((0x01 | (0x12 << 1)) & 0xFF, bytes[2]);
}

TEST(PatternChecksumTest, LastWordAddsOnlyItsLowByteWhenAtMostEightBitsRemain) {
    // The byte after an 8-bit shape is not part of it, whatever it holds.
    const uint8_t shape8[2] = {0x02, 0xFF};
    EXPECT_EQ(0x0002, PatternChecksum(shape8, 8));
    const uint8_t shape24[4] = {0x01, 0x02, 0x03, 0xEE};
    EXPECT_EQ(0x0201 + 0x03, PatternChecksum(shape24, 24));
    // Nine bits remaining take the whole word.
    const uint8_t shape9[2] = {0x01, 0x01};
    EXPECT_EQ(0x0101, PatternChecksum(shape9, 9));
    // The sum folds the part above bit 15 back in.
    const uint8_t fold[4] = {0xFF, 0xFF, 0x02, 0x00};
    EXPECT_EQ(0x0002, PatternChecksum(fold, 32)); // 0xFFFF + 2 = 0x10001 -> 0x0002
}

TEST(EncoderBytesTest, WorkedFourByThreeExample) {
    std::vector<uint32_t> px(12, 0);
    px[1 * 4 + 1] = 1;
    px[1 * 4 + 2] = 1;
    Enc enc(4, 3);
    Bytes rec = enc.Encode(px, 0x0102, 0x0304, 5);
    ASSERT_GT(rec.size(), 21u);
    EXPECT_EQ(rec.size() - 4, BE32(rec.data()));
    EXPECT_EQ(0x01, rec[4]);
    EXPECT_EQ(0x02, rec[5]);
    EXPECT_EQ(0x03, rec[6]);
    EXPECT_EQ(0x04, rec[7]);
    EXPECT_EQ(5, rec[8]);
    Bytes layers[4];
    LayerTap tap;
    ASSERT_TRUE(tap.Tap(rec.data(), layers));
    EXPECT_EQ((Bytes{0x01, 0x01}), layers[0]); // changed and region bitmaps, no raw pixels
    EXPECT_EQ((Bytes{0x01, 0x00, 0x00}), layers[1]);
    EXPECT_EQ((Bytes{0x00, 0x02}), layers[2]);
    EXPECT_EQ((Bytes{0x00, 0x01, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x02, 0x00, 0x01, 0x00, 0x00, 0x00, 0x01,
                     0x02, 0x02}),
              layers[3]);
    // The first chunk of every stream starts with zlib's two-byte header.
    const uint32_t blockSize = BE32(rec.data() + 9), colourSize = BE32(rec.data() + 13);
    EXPECT_EQ(0x78, rec[21]);
    EXPECT_EQ(0x78, rec[21 + blockSize]);
    EXPECT_EQ(0x78, rec[21 + blockSize + colourSize]);

    Dec dec(4, 3);
    ASSERT_EQ(DecodeStatus::Ok, dec.Decode(rec));
    for (int i = 0; i < 12; ++i)
        EXPECT_EQ(px[i], dec.image[i] & 0xFFFFFF) << i;
}

TEST(EncoderBytesTest, IdenticalFrameGivesFourZeroBytes) {
    Enc enc(20, 18);
    std::vector<uint32_t> px = Solid(20, 18, 0x336699);
    px[5] = 0x123456;
    Bytes first = enc.Encode(px);
    EXPECT_GT(first.size(), 21u);
    EXPECT_EQ((Bytes{0, 0, 0, 0}), enc.Encode(px));
    EXPECT_EQ((Bytes{0, 0, 0, 0}), enc.Encode(px));
}

TEST(EncoderBytesTest, FourColoursAreRegionCodedFiveAreRaw) {
    for (int colours : {4, 5}) {
        std::vector<uint32_t> px = Solid(16, 16, 0);
        for (int i = 1; i < colours; ++i)
            px[i * 3] = uint32_t(i) * 0x101010;
        Enc enc(16, 16);
        Bytes rec = enc.Encode(px);
        Bytes layers[4];
        LayerTap tap;
        ASSERT_TRUE(tap.Tap(rec.data(), layers));
        ASSERT_GE(layers[0].size(), 2u);
        EXPECT_EQ(1, layers[0][0]);
        if (colours == 4) {
            EXPECT_EQ(1, layers[0][1]);
            EXPECT_EQ(2u, layers[0].size());
            EXPECT_EQ(3u * 3, layers[1].size()); // three one-pixel areas
        } else {
            EXPECT_EQ(0, layers[0][1]);
            EXPECT_EQ(2u + 256 * 3, layers[0].size());
            EXPECT_TRUE(layers[1].empty());
            EXPECT_EQ((Bytes{0, 0, 0}), layers[3]); // background only, still 0
        }
    }
}

TEST(EncoderBytesTest, PatternRegisteredInOneRecordIsSentAsIdInTheNext) {
    // A small "glyph" appears, then the same glyph elsewhere in a fresh block.
    const uint32_t w = 48, h = 16;
    auto glyphAt = [&](std::vector<uint32_t>& px, uint32_t x0) {
        for (uint32_t y = 4; y < 9; ++y)
            px[y * w + x0] = 0xFFFFFF;
        px[4 * w + x0 + 1] = 0xFFFFFF;
        px[6 * w + x0 + 1] = 0xFFFFFF;
    };
    std::vector<uint32_t> f1 = Solid(w, h, 0), f2;
    glyphAt(f1, 3);
    f2 = f1;
    glyphAt(f2, 20);
    Enc enc(w, h);
    LayerTap tap;
    Bytes layers[4];
    Bytes r1 = enc.Encode(f1);
    ASSERT_TRUE(tap.Tap(r1.data(), layers));
    // N = 1, P = 1; one new pattern.
    ASSERT_GE(layers[3].size(), 15u);
    EXPECT_EQ((Bytes{0, 1, 0, 1}), Bytes(layers[3].begin(), layers[3].begin() + 4));
    EXPECT_EQ(1u, BE32(layers[3].data() + 11));
    ASSERT_EQ(2u, layers[2].size());
    const uint16_t id = uint16_t((layers[2][0] << 8) | layers[2][1]);
    EXPECT_NE(0, id);

    Bytes r2 = enc.Encode(f2);
    ASSERT_TRUE(tap.Tap(r2.data(), layers));
    EXPECT_EQ((Bytes{0, 1, 0, 1}), Bytes(layers[3].begin(), layers[3].begin() + 4));
    EXPECT_EQ(0u, BE32(layers[3].data() + 11)); // no new pattern: the id alone
    EXPECT_EQ(15u, layers[3].size());
    ASSERT_EQ(2u, layers[2].size());
    EXPECT_EQ(id, uint16_t((layers[2][0] << 8) | layers[2][1]));

    RoundTrip(w, h, {f1, f2});
}

TEST(RoundTripTest, OddSizedScreenLikeFramesAreExactExceptTheGuardColumn) {
    // 47 x 33: partial blocks on both edges. Frames mix flat areas, text-like strokes of a
    // few colours and noisy (raw) patches, changing a little each time.
    const uint32_t w = 47, h = 33;
    Rng rng(12345);
    std::vector<std::vector<uint32_t>> frames;
    std::vector<uint32_t> px = Solid(w, h, 0xF0F0F0);
    const uint32_t palette[4] = {0xF0F0F0, 0x202020, 0x3050C0, 0xC03030};
    for (int f = 0; f < 12; ++f) {
        for (int k = 0; k < 40; ++k) {
            uint32_t x = rng.Next() % w, y = rng.Next() % h;
            uint32_t len = rng.Next() % 9;
            uint32_t c = palette[rng.Next() % 4];
            for (uint32_t i = 0; i < len && x + i < w; ++i)
                px[y * w + x + i] = c;
        }
        if (f % 3 == 1)
            for (uint32_t y = 17; y < 30; ++y)
                for (uint32_t x = 2; x < 12; ++x)
                    px[y * w + x] = rng.Next() & 0xFFFFFF;
        frames.push_back(px);
        if (f == 5)
            frames.push_back(px); // an unchanged frame in between
    }
    int guards = 0;
    RoundTrip(w, h, frames, &guards);
    EXPECT_GT(guards, 0); // the rule was exercised, not vacuous
}

TEST(RoundTripTest, CombOfOnePixelLinesOverflowsNoScratchBuffer) {
    // Vertical one-pixel lines every other column: the trace queues far more pixels than
    // half a block's worth and the second pass re-traces long shapes.
    const uint32_t w = 64, h = 48;
    std::vector<uint32_t> px = Solid(w, h, 0);
    for (uint32_t y = 0; y < h; ++y)
        for (uint32_t x = 0; x < w; x += 2)
            px[y * w + x] = 0xFFFFFF;
    for (uint32_t x = 0; x < w; ++x)
        px[x] = 0xFFFFFF; // joined at the top: one big comb
    std::vector<uint32_t> px2 = px;
    for (uint32_t y = 10; y < 20; ++y)
        px2[y * w + 33] = 0x00FF00;
    RoundTrip(w, h, {px, px2});
}

TEST(RoundTripTest, FramesWithoutRegionBlocksKeepTheBackground) {
    const uint32_t w = 32, h = 16;
    Rng rng(7);
    std::vector<uint32_t> a = Solid(w, h, 0x0000FF), b;
    a[40] = 0x00FF00;
    b = a;
    for (uint32_t y = 0; y < 16; ++y)
        for (uint32_t x = 16; x < 32; ++x)
            b[y * w + x] = rng.Next() & 0xFFFFFF;
    Enc enc(w, h);
    LayerTap tap;
    Bytes layers[4];
    Bytes r1 = enc.Encode(a);
    Bytes r2 = enc.Encode(b);
    ASSERT_TRUE(tap.Tap(r1.data(), layers));
    ASSERT_TRUE(tap.Tap(r2.data(), layers));
    EXPECT_TRUE(layers[1].empty());
    EXPECT_TRUE(layers[2].empty());
    EXPECT_EQ((Bytes{0xFF, 0x00, 0x00}), layers[3]); // the previous frame's background
    RoundTrip(w, h, {a, b});
}

TEST(CapacityTest, DitheredFourColourBlocksFallBackToRaw) {
    // Every pixel's eight neighbours differ from it: three quarters of all pixels would be
    // one-pixel areas, far more than a decoder's table holds.
    const uint32_t w = 160, h = 96;
    std::vector<uint32_t> px(size_t(w) * h);
    const uint32_t colours[4] = {0x000000, 0xFF0000, 0x00FF00, 0x0000FF};
    for (uint32_t y = 0; y < h; ++y)
        for (uint32_t x = 0; x < w; ++x)
            px[y * w + x] = colours[(x & 1) + 2 * (y & 1)];
    Enc enc(w, h);
    Bytes rec = enc.Encode(px);
    LayerTap tap;
    Bytes layers[4];
    ASSERT_TRUE(tap.Tap(rec.data(), layers));
    const size_t bm = (10 * 6 + 7) / 8;
    for (size_t i = 0; i < bm; ++i)
        EXPECT_EQ(0, layers[0][bm + i]);
    Enc enc2(w, h);
    RoundTrip(w, h, {px});
}

TEST(CapacityTest, FullHdFrameOfIsolatedPixels) {
    const uint32_t w = 1920, h = 1080;
    // Just under and just over 65,535 areas in one record.
    for (uint32_t count : {65000u, 70000u}) {
        std::vector<uint32_t> px = Solid(w, h, 0);
        uint32_t placed = 0;
        for (uint32_t y = 0; y < h && placed < count; y += 2)
            for (uint32_t x = 0; x + 1 < w && placed < count; x += 2, ++placed)
                px[y * w + x] = 0xFFFFFF;
        Enc enc(w, h);
        Bytes rec = enc.Encode(px);
        LayerTap tap;
        Bytes layers[4];
        ASSERT_TRUE(tap.Tap(rec.data(), layers));
        const uint32_t n = layers[1].size() / 3;
        if (count < 65535)
            EXPECT_EQ(count, n);
        else
            EXPECT_EQ(0u, n);
        RoundTrip(w, h, {px});
    }
}

TEST(EncoderBytesTest, BackgroundCountsEveryDominantColourBeyondTheFirstThousand) {
    // 2,048 solid blocks of distinct colours, then a row of 64 blocks of one colour first met
    // after them: that colour dominates most blocks and becomes the background.
    const uint32_t w = 64 * 16, h = 33 * 16;
    std::vector<uint32_t> px(size_t(w) * h);
    for (uint32_t b = 0; b < 64 * 33; ++b) {
        const uint32_t c = b < 2048 ? 0x010000 + b : 0xABCDEF;
        const uint32_t x0 = (b % 64) * 16, y0 = (b / 64) * 16;
        for (uint32_t y = 0; y < 16; ++y)
            for (uint32_t x = 0; x < 16; ++x)
                px[(y0 + y) * w + x0 + x] = c;
    }
    Enc enc(w, h);
    Bytes rec = enc.Encode(px);
    LayerTap tap;
    Bytes layers[4];
    ASSERT_TRUE(tap.Tap(rec.data(), layers));
    ASSERT_GE(layers[3].size(), 7u);
    EXPECT_EQ((Bytes{0xEF, 0xCD, 0xAB}), Bytes(layers[3].begin() + 4, layers[3].begin() + 7));
    RoundTrip(w, h, {px});
}

TEST(CapacityTest, PatternsTakenBackWithARawFrameGiveBackTheirBytes) {
    // Random four-colour pixels make far more areas than a record may carry, so each such
    // frame goes out raw and the patterns its trace registered are taken back. Their bytes
    // must go with them, or a long recording grows the table without end.
    const uint32_t w = 32, h = 32;
    Enc enc(w, h);
    Dec dec(w, h);
    LayerTap tap;
    Bytes layers[4];
    std::vector<uint32_t> glyph = Solid(w, h, 0);
    for (uint32_t y = 4; y < 9; ++y)
        glyph[y * w + 3] = 0xFFFFFF;
    glyph[4 * w + 4] = 0xFFFFFF;
    Bytes rec = enc.Encode(glyph);
    ASSERT_TRUE(tap.Tap(rec.data(), layers));
    ASSERT_EQ(DecodeStatus::Ok, dec.Decode(rec));
    const size_t kept = enc.m_codec.PatternBytes();
    ASSERT_GT(kept, 0u); // the glyph's shape stays cached

    Rng rng(77);
    const uint32_t colours[4] = {0x102030, 0x405060, 0x708090, 0xA0B0C0};
    std::vector<uint32_t> px(size_t(w) * h);
    for (int f = 0; f < 2000; ++f) {
        for (uint32_t& p : px)
            p = colours[rng.Next() & 3];
        rec = enc.Encode(px);
        ASSERT_TRUE(tap.Tap(rec.data(), layers));
        ASSERT_TRUE(layers[1].empty()) << "frame " << f << " was region-coded";
        ASSERT_EQ(DecodeStatus::Ok, dec.Decode(rec)) << f;
        ASSERT_EQ(kept, enc.m_codec.PatternBytes()) << "after frame " << f;
    }
    for (size_t i = 0; i < px.size(); ++i)
        ASSERT_EQ(px[i], dec.image[i] & 0xFFFFFF) << i;
    // The taken-back slots are free again: the glyph, moved, is still named by its id only.
    std::vector<uint32_t> again = Solid(w, h, 0);
    for (uint32_t y = 20; y < 25; ++y)
        again[y * w + 17] = 0xFFFFFF;
    again[20 * w + 18] = 0xFFFFFF;
    rec = enc.Encode(again);
    ASSERT_TRUE(tap.Tap(rec.data(), layers));
    ASSERT_GE(layers[3].size(), 15u);
    EXPECT_EQ(0u, BE32(layers[3].data() + 11)); // no new pattern
    EXPECT_EQ(kept, enc.m_codec.PatternBytes());
}

TEST(EncoderBytesTest, NeighbourOrderAndScanOrderFromHandWorkedBytes) {
    // 8 x 6 pixels, one region-coded block, background B = 0 (33 of 48 pixels). Column 7 is
    // the guard column. Colours: A = 0x3366CC, C = 0x00FF00, D = 0xFF0000.
    //
    //        x: 0 1 2 3 4 5 6 | 7
    //   y 0:    . A A . . D . | .
    //   y 1:    A . . A . D . | .
    //   y 2:    . A A . . . . | .
    //   y 3:    . . . . . . . | .
    //   y 4:    C . D . . C . | .
    //   y 5:    . . D D C . C | .
    //
    // Index = 8y + x; neighbour offsets in order UL -9, L -1, DL +7, D +8, DR +9, R +1,
    // UR -7, U -8. Seeds are met rows 5 up to 0, columns 6 down to 0.
    //
    // Area 0, seed (6,5), C: UL (5,4) C -> 1 [at (5,4): UL (4,3) 0, L (4,4) 0, DL (4,5) C -> 1
    //   [at (4,5): UL (3,4) 0, L (3,5) 0, DL/D/DR outside, R (5,5) 0, UR visited, U queued],
    //   D queued, DR seed, R (6,4) 0, UR (6,3) 0, U (5,3) 0]; L queued, DL/D/DR outside,
    //   R and UR guard, U queued. Bits 1001000000 -> length 4, shape 0x09.
    // Area 1, seed (3,5), D: UL (2,4) D -> 1 [at (2,4): UL (1,3) 0, L (1,4) 0, DL (1,5) 0,
    //   D (2,5) D -> 1 [at (2,5): UL, L queued, DL/D/DR outside, R seed, UR (3,4) 0, U
    //   visited], DR seed, R queued, UR (3,3) 0, U (2,3) 0]; L visited, DL/D/DR outside,
    //   R (4,5) is area 0's (another colour): 0, UR (4,4) 0, U queued. Bits 1000100000 ->
    //   length 5, shape 0x11.
    // Area 2, seed (0,4), C: UL, L, DL wrap to the guard column; D, DR, R, UR, U all 0.
    //   Length 0: a one-pixel area.
    // Area 3, seed (2,2), A: UL (1,1) 0, L (1,2) A -> 1 [at (1,2): UL (0,1) A -> 1 [at (0,1):
    //   UL outside, L and DL guard, D (0,2) 0, DR visited, R queued, UR (1,0) A -> 1 [at
    //   (1,0): UL outside, L (0,0) 0, DL visited, D queued, DR (2,1) 0, R (2,0) A -> 1 [at
    //   (2,0): UL outside, L visited, DL and D queued, DR (3,1) A -> 1 [at (3,1): UL, L, DL
    //   done, D (3,2) 0, DR (4,2) 0, R (4,1) 0, UR (4,0) 0, U (3,0) 0], R queued, UR and U
    //   outside], UR and U outside], U queued], L queued, DL (0,3) 0, D (1,3) 0, DR (2,3) 0,
    //   R seed, UR and U queued]; then at the seed DR (3,3) 0, the rest done.
    //   Bits 011010011 then zeros -> length 9, shape bytes 0x96 0x01.
    // Area 4, seed (5,1), D: UL, L, DL, D, DR, R, UR all 0, U (5,0) D -> 1 [its neighbours
    //   all queued, visited or outside]. Bits 00000001 -> length 8, shape 0x80.
    // Joins used: UL, DL (area 0), D (area 1), L, UR, R, DR (area 3), U (area 4).
    //
    // Checksums: 0x09 = 9, 0x11 = 17, 0x0196 = 406 (9 bits take the whole word), 0x80 = 128;
    // all slots empty, so areas 0, 1, 3 and 4 register new patterns 9, 17, 406, 128. Area 2
    // is the only own area. Output order: 0, 1, 3, 4 (P = 4), then 2 (N = 5).
    // Colour layer: C, D, A, D, C as blue, green, red.
    // Pattern layer: 0009 0011 0196 0080.
    // Area layer: N 0005, P 0004; background 000000; x 6,3,2,5,0 as differences 0006 FFFD
    // FFFF 0003 FFFB; y 5,5,2,1,4 as 0005 0000 FFFD FFFF 0003; four new patterns 00000004;
    // their lengths 04 05 09 08; the own area's length 00; then the pattern bits back to back:
    // 1001 10001 011010011 00000001 -> bytes 0x19 0x2D 0x03 0x02.
    const uint32_t w = 8, h = 6, A = 0x3366CC, C = 0x00FF00, D = 0xFF0000;
    std::vector<uint32_t> px = Solid(w, h, 0);
    auto put = [&](uint32_t x, uint32_t y, uint32_t c) { px[y * w + x] = c; };
    for (auto [x, y] : {std::pair{1u, 0u}, {2u, 0u}, {0u, 1u}, {3u, 1u}, {1u, 2u}, {2u, 2u}})
        put(x, y, A);
    put(5, 0, D);
    put(5, 1, D);
    put(2, 4, D);
    put(2, 5, D);
    put(3, 5, D);
    put(0, 4, C);
    put(5, 4, C);
    put(4, 5, C);
    put(6, 5, C);

    Enc enc(w, h);
    const Bytes rec = enc.Encode(px);
    LayerTap tap;
    Bytes layers[4];
    ASSERT_TRUE(tap.Tap(rec.data(), layers));
    EXPECT_EQ((Bytes{0x01, 0x01}), layers[0]);
    EXPECT_EQ(
        (Bytes{0x00, 0xFF, 0x00, 0x00, 0x00, 0xFF, 0xCC, 0x66, 0x33, 0x00, 0x00, 0xFF, 0x00, 0xFF, 0x00}),
        layers[1]);
    EXPECT_EQ((Bytes{0x00, 0x09, 0x00, 0x11, 0x01, 0x96, 0x00, 0x80}), layers[2]);
    EXPECT_EQ((Bytes{0x00, 0x05, 0x00, 0x04, 0x00, 0x00, 0x00, 0x00, 0x06, 0xFF, 0xFD, 0xFF, 0xFF, 0x00,
                     0x03, 0xFF, 0xFB, 0x00, 0x05, 0x00, 0x00, 0xFF, 0xFD, 0xFF, 0xFF, 0x00, 0x03, 0x00,
                     0x00, 0x00, 0x04, 0x04, 0x05, 0x09, 0x08, 0x00, 0x19, 0x2D, 0x03, 0x02}),
              layers[3]);

    // And back: the guard column is background here, so the picture comes back exactly.
    Dec dec(w, h);
    ASSERT_EQ(DecodeStatus::Ok, dec.Decode(rec)) << dec.m_codec.LastError();
    for (size_t i = 0; i < px.size(); ++i)
        EXPECT_EQ(px[i], dec.image[i] & 0xFFFFFF) << "pixel " << i % w << "," << i / w;
}
