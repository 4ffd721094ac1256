// The decoder meets records made by hand: every broken limit rejects the whole record and
// keeps the previous picture; a few valid hand-made records pin down the painting rules.
#include <gtest/gtest.h>

#include "codec/FrameDiffCodec.h"
#include "tests/codec/CodecTestUtil.h"

using namespace zov;
using namespace zov::test;

namespace {

Bytes BE16s(std::initializer_list<uint32_t> values) {
    Bytes b;
    for (uint32_t v : values) {
        b.push_back(uint8_t(v >> 8));
        b.push_back(uint8_t(v));
    }
    return b;
}
Bytes Cat(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes& p : parts)
        all.insert(all.end(), p.begin(), p.end());
    return all;
}

// A 32 x 16 picture (two blocks). The first record paints a known picture; the second is
// the hostile one.
struct Fixture {
    static constexpr uint32_t W = 32, H = 16;
    RecordBuilder builder;
    FrameDiffCodec codec;
    std::vector<uint32_t> image = std::vector<uint32_t>(W * H, 0);

    Fixture() {
        EXPECT_TRUE(codec.Init(C_CODEC_DECODE, W, H, 24, 16, 16));
        codec.SetStreamVersion(9);
        // Record 1: both blocks region-coded on background 0x112233, one own area of length 0
        // (a single pixel) at (3, 4) in blue (bytes B, G, R).
        std::vector<Bytes> layers[4];
        layers[0] = {{0x03}, {0x03}, {}};
        layers[1] = {{0xFF, 0x00, 0x00}};
        layers[2] = {{}};
        layers[3] = {Cat({BE16s({1, 0}), {0x33, 0x22, 0x11}, BE16s({3}), BE16s({4}), {0, 0, 0, 0}, {0x00}})};
        Bytes rec = builder.Build(layers);
        EXPECT_EQ(DecodeStatus::Ok, codec.DecodePayload(rec.data() + 4, rec.size() - 4, image.data()))
            << codec.LastError();
    }
    DecodeStatus Feed(std::vector<Bytes> layers[4]) {
        Bytes rec = builder.Build(layers);
        return codec.DecodePayload(rec.data() + 4, rec.size() - 4, image.data());
    }
};

uint32_t At(const std::vector<uint32_t>& img, uint32_t x, uint32_t y) {
    return img[y * Fixture::W + x] & 0xFFFFFF;
}

} // namespace

TEST(HostileRecordTest, FirstRecordPaintsAsBuilt) {
    Fixture f;
    EXPECT_EQ(0x0000FFu, At(f.image, 3, 4));
    EXPECT_EQ(0x112233u, At(f.image, 0, 0));
    EXPECT_EQ(0x112233u, At(f.image, 31, 15));
}

TEST(HostileRecordTest, BrokenLimitsRejectTheWholeRecordAndKeepThePicture) {
    struct Case {
        const char* name;
        std::vector<Bytes> layers[4];
    };
    const Bytes goodBlocks[3] = {{0x01}, {0x01}, {}};
    auto blocks = [&] { return std::vector<Bytes>(goodBlocks, goodBlocks + 3); };
    const Bytes bg = {0, 0, 0};
    std::vector<Case> cases;
    // More areas than a 32 x 16 decoder's table (100).
    {
        Case c;
        c.name = "101 areas";
        c.layers[0] = blocks();
        c.layers[1] = {Bytes(101 * 3, 0x40)};
        c.layers[2] = {{}};
        Bytes xs, ys, lens(101, 0);
        for (int i = 0; i < 101; ++i) {
            Bytes one = BE16s({i == 0 ? 0u : 0u});
            xs.insert(xs.end(), one.begin(), one.end());
            ys.insert(ys.end(), one.begin(), one.end());
        }
        c.layers[3] = {Cat({BE16s({101, 0}), bg, xs, ys, {0, 0, 0, 0}, lens})};
        cases.push_back(c);
    }
    // More than 22500 new patterns.
    {
        Case c;
        c.name = "22501 new patterns";
        c.layers[0] = blocks();
        c.layers[1] = {{1, 2, 3}};
        c.layers[2] = {{}};
        c.layers[3] = {Cat({BE16s({1, 0}), bg, BE16s({1}), BE16s({1}), {0x00, 0x00, 0x57, 0xE5}, {0}})};
        cases.push_back(c);
    }
    // A seed outside the picture (x = 32).
    {
        Case c;
        c.name = "seed outside";
        c.layers[0] = blocks();
        c.layers[1] = {{1, 2, 3}};
        c.layers[2] = {{}};
        c.layers[3] = {Cat({BE16s({1, 0}), bg, BE16s({32}), BE16s({1}), {0, 0, 0, 0}, {0}})};
        cases.push_back(c);
    }
    // A block chunk shorter than its two bitmaps.
    {
        Case c;
        c.name = "short bitmaps";
        c.layers[0] = {{0x01}};
        c.layers[3] = {bg};
        cases.push_back(c);
    }
    // A raw block whose pixels are missing.
    {
        Case c;
        c.name = "short raw block";
        c.layers[0] = {{0x01}, {0x00}, Bytes(100, 7)};
        c.layers[3] = {bg};
        cases.push_back(c);
    }
    // Fewer colours than areas.
    {
        Case c;
        c.name = "short colours";
        c.layers[0] = blocks();
        c.layers[1] = {{1, 2, 3}};
        c.layers[2] = {{}};
        c.layers[3] = {Cat({BE16s({2, 0}), bg, BE16s({1, 2}), BE16s({1, 2}), {0, 0, 0, 0}, {0, 0}})};
        cases.push_back(c);
    }
    // Fewer pattern ids than pattern areas.
    {
        Case c;
        c.name = "short pattern ids";
        c.layers[0] = blocks();
        c.layers[1] = {{1, 2, 3}};
        c.layers[2] = {{0x00}};
        c.layers[3] = {Cat({BE16s({1, 1}), bg, BE16s({1}), BE16s({1}), {0, 0, 0, 0}})};
        cases.push_back(c);
    }
    // Shape lengths beyond what the chunk holds.
    {
        Case c;
        c.name = "shape beyond chunk";
        c.layers[0] = blocks();
        c.layers[1] = {{1, 2, 3}};
        c.layers[2] = {{}};
        c.layers[3] = {
            Cat({BE16s({1, 0}), bg, BE16s({1}), BE16s({1}), {0, 0, 0, 0}, {0xC0, 0x40, 0x00}, {0xFF}})};
        cases.push_back(c);
    }
    // More pattern areas than areas.
    {
        Case c;
        c.name = "P above N";
        c.layers[0] = blocks();
        c.layers[1] = {{1, 2, 3}};
        c.layers[2] = {{0, 5, 0, 6}};
        c.layers[3] = {Cat({BE16s({1, 2}), bg, BE16s({1}), BE16s({1}), {0, 0, 0, 0}})};
        cases.push_back(c);
    }
    // A new pattern too long to be cached.
    {
        Case c;
        c.name = "501-bit pattern";
        c.layers[0] = blocks();
        c.layers[1] = {{1, 2, 3}};
        c.layers[2] = {{}};
        c.layers[3] = {Cat(
            {BE16s({1, 0}), bg, BE16s({1}), BE16s({1}), {0, 0, 0, 1}, {0x81, 0xF5}, {0}, Bytes(63, 0xFF)})};
        cases.push_back(c);
    }
    // Counts cut short.
    {
        Case c;
        c.name = "area layer cut";
        c.layers[0] = blocks();
        c.layers[1] = {{1, 2, 3}};
        c.layers[2] = {{}};
        c.layers[3] = {BE16s({1})};
        cases.push_back(c);
    }
    for (Case& c : cases) {
        Fixture f;
        const std::vector<uint32_t> before = f.image;
        EXPECT_EQ(DecodeStatus::Rejected, f.Feed(c.layers)) << c.name;
        EXPECT_FALSE(f.codec.LastError().empty()) << c.name;
        EXPECT_EQ(before, f.image) << c.name;
    }
}

TEST(HostileRecordTest, PayloadsShorterThanTheirChunkSizesAreRejected) {
    FrameDiffCodec codec;
    ASSERT_TRUE(codec.Init(C_CODEC_DECODE, 16, 16));
    std::vector<uint32_t> image(256, 0x123456);
    Bytes payload(17, 0);
    payload[8] = 1; // block chunk of 16M bytes in a 17-byte payload
    EXPECT_EQ(DecodeStatus::Rejected, codec.DecodePayload(payload.data(), payload.size(), image.data()));
    EXPECT_EQ(DecodeStatus::Rejected, codec.DecodePayload(payload.data(), 16, image.data()));
    EXPECT_EQ(std::vector<uint32_t>(256, 0x123456), image);
}

TEST(HostileRecordTest, PicturesOverSixtyFourMebibytesAreRefused) {
    FrameDiffCodec codec;
    EXPECT_FALSE(codec.Init(C_CODEC_DECODE, 8192, 2049));
    EXPECT_FALSE(codec.Init(C_CODEC_DECODE, 0, 10));
    EXPECT_FALSE(codec.LastError().empty());
}

TEST(PaintRuleTest, WalkEndsWhenTheBitBudgetIsSpent) {
    // One own area at (5, 5) with the 2 bits 0, 1: up-left is queued, left joins; the walk
    // then stops although neighbours remain.
    Fixture f;
    std::vector<Bytes> layers[4];
    layers[0] = {{0x01}, {0x01}, {}};
    layers[1] = {{0xFF, 0xFF, 0xFF}};
    layers[2] = {{}};
    layers[3] = {Cat({BE16s({1, 0}), {0, 0, 0}, BE16s({5}), BE16s({5}), {0, 0, 0, 0}, {0x02}, {0x02}})};
    ASSERT_EQ(DecodeStatus::Ok, f.Feed(layers)) << f.codec.LastError();
    EXPECT_EQ(0xFFFFFFu, At(f.image, 5, 5));
    EXPECT_EQ(0xFFFFFFu, At(f.image, 4, 5));
    int white = 0;
    for (uint32_t y = 0; y < 16; ++y)
        for (uint32_t x = 0; x < 16; ++x)
            white += At(f.image, x, y) == 0xFFFFFF;
    EXPECT_EQ(2, white);
    // The block outside the record keeps its pixels.
    EXPECT_EQ(0x112233u, At(f.image, 20, 3));
}

TEST(PaintRuleTest, OwnShapesStartMidByteAndNewPatternsAreCachedForLaterRecords) {
    // Record 2 carries a new 3-bit pattern followed by an own shape that starts at bit 3 of
    // the same byte; record 3 paints the pattern by id alone.
    Fixture f;
    const Bytes bg = {0, 0, 0};
    // Pattern bits 0,1,1 (checksum 6): up-left queued, left joins, then from the left pixel
    // its up-left neighbour... (bit 3 onward belongs to the own shape: bit 1 = left joins).
    std::vector<Bytes> layers[4];
    layers[0] = {{0x01}, {0x01}, {}};
    layers[1] = {{0x00, 0x00, 0xFF, 0x00, 0xFF, 0x00}};
    layers[2] = {{0x00, 0x06}};
    // bits: pattern 0,1,1 then own 0,1 -> byte = 0b0001_0110 = 0x16
    layers[3] = {
        Cat({BE16s({2, 1}), bg, BE16s({5, 5}), BE16s({2, 8}), {0, 0, 0, 1}, {0x03}, {0x02}, {0x16}})};
    ASSERT_EQ(DecodeStatus::Ok, f.Feed(layers)) << f.codec.LastError();
    EXPECT_EQ(0xFF0000u, At(f.image, 5, 2));
    EXPECT_EQ(0xFF0000u, At(f.image, 4, 2)); // left joined
    EXPECT_EQ(0x00FF00u, At(f.image, 10, 10));
    EXPECT_EQ(0x00FF00u, At(f.image, 9, 10));
    // Record 3: the same pattern by id at another place.
    layers[1] = {{0x00, 0x00, 0xFF}};
    layers[2] = {{0x00, 0x06}};
    layers[3] = {Cat({BE16s({1, 1}), bg, BE16s({12}), BE16s({12}), {0, 0, 0, 0}})};
    ASSERT_EQ(DecodeStatus::Ok, f.Feed(layers)) << f.codec.LastError();
    EXPECT_EQ(0xFF0000u, At(f.image, 12, 12));
    EXPECT_EQ(0xFF0000u, At(f.image, 11, 12));
    EXPECT_EQ(0x000000u, At(f.image, 10, 10)); // the block was filled again
}

TEST(PaintRuleTest, RecordWithoutAreasReadsTheBackgroundOnlyFromVersionNine) {
    // A region block with no areas: version 9 carries the background in the area chunk;
    // version 8 has none there and keeps the previous background.
    for (uint8_t version : {uint8_t(8), uint8_t(9)}) {
        Fixture f; // background 0x112233 after the first record
        f.codec.SetStreamVersion(version);
        std::vector<Bytes> layers[4];
        layers[0] = {{0x02}, {0x02}, {}};
        if (version >= 9)
            layers[3] = {{0x66, 0x55, 0x44}};
        ASSERT_EQ(DecodeStatus::Ok, f.Feed(layers)) << f.codec.LastError();
        EXPECT_EQ(version >= 9 ? 0x445566u : 0x112233u, At(f.image, 20, 5)) << int(version);
        EXPECT_EQ(0x0000FFu, At(f.image, 3, 4)); // the untouched block keeps its pixels
    }
}
