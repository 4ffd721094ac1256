// Frame encoding, pixel conversion, cropping and the cache of decoded frames.
#include "tests/core/DocTest.h"

#include "elements/ElementList.h"

#include "core/FrameCache.h"
#include "core/FrameCodec.h"
#include "core/ImageConvert.h"
#include "core/UndoStack.h"

using namespace zov;
using namespace zovtest;

namespace {

std::unique_ptr<FrameHeader> FreshHeader() {
    auto h = std::make_unique<FrameHeader>();
    InitFrameHeader(*h, 1);
    return h;
}

TEST(FrameCodec, DifferenceFramesCarryChangedBlocksOnly) {
    // 800 x 600: exactly 15,000 blocks.
    const int32_t size = 2400 * 600;
    EXPECT_EQ(BlockCount(size), 15000);
    std::vector<uint8_t> prev(size, 7), cur(prev), out(size), back(size, 0xEE);
    auto h = FreshHeader();
    ASSERT_TRUE(EncodeDiffFrame(*h, prev.data(), cur.data(), size, out.data()));
    EXPECT_EQ(h->dataSize, 0);
    for (int i = 0; i < 15000; ++i)
        ASSERT_EQ(h->blockFlags[i], 1);
    cur[96 * 3 + 5] = 1; // block 3
    cur[96 * 14999] = 2; // the last block
    ASSERT_TRUE(EncodeDiffFrame(*h, prev.data(), cur.data(), size, out.data()));
    EXPECT_EQ(h->dataSize, 192);
    EXPECT_EQ(h->blockFlags[3], 0);
    EXPECT_EQ(h->blockFlags[14999], 0);
    EXPECT_EQ(h->blockFlags[4], 1);
    EXPECT_EQ(std::memcmp(out.data(), cur.data() + 96 * 3, 96), 0);
    ASSERT_TRUE(DecodeDiffFrame(*h, prev.data(), out.data(), size, back.data()));
    EXPECT_EQ(back, cur);
    // Data shorter than the flags ask for is a failure, not a read past the end.
    h->dataSize = 100;
    EXPECT_FALSE(DecodeDiffFrame(*h, prev.data(), out.data(), size, back.data()));
    // The block flags cover at most 2,359,296 bytes.
    EXPECT_FALSE(EncodeDiffFrame(*h, prev.data(), cur.data(), kMaxImageBytes + 96, out.data()));
}

TEST(FrameCodec, TailBytesComeFromTheRunningPicture) {
    const int32_t size = 96 * 4 + 40; // 4 blocks and 40 bytes no difference frame carries
    std::vector<uint8_t> prev(size), cur(size), out(size);
    for (int i = 0; i < size; ++i) {
        prev[size_t(i)] = uint8_t(i);
        cur[size_t(i)] = uint8_t(255 - i);
    }
    auto h = FreshHeader();
    ASSERT_TRUE(EncodeDiffFrame(*h, prev.data(), cur.data(), size, out.data()));
    EXPECT_EQ(h->dataSize, 4 * 96);
    // Into a separate buffer: whatever it held, the tail is the previous picture's.
    std::vector<uint8_t> dst(size, 0x55);
    ASSERT_TRUE(DecodeDiffFrame(*h, prev.data(), out.data(), size, dst.data()));
    EXPECT_EQ(std::memcmp(dst.data(), cur.data(), 384), 0);
    EXPECT_EQ(std::memcmp(dst.data() + 384, prev.data() + 384, 40), 0);
    // In place over the running picture: the same result.
    std::vector<uint8_t> running = prev;
    ASSERT_TRUE(DecodeDiffFrame(*h, running.data(), out.data(), size, running.data()));
    EXPECT_EQ(running, dst);
}

TEST(FrameCodec, KeyFramesMustInflateToTheWholePicture) {
    const int32_t size = 4752;
    const auto pic = Picture(47, 33, 3);
    std::vector<uint8_t> out(size), back(size);
    auto h = FreshHeader();
    ASSERT_TRUE(EncodeKeyFrame(*h, pic.data(), size, out.data(), out.size()));
    ASSERT_GT(h->dataSize, 0);
    ASSERT_TRUE(DecodeKeyFrame(*h, out.data(), size, back.data()));
    EXPECT_EQ(back, pic);
    // A stream of a shorter picture inflates fine but leaves bytes unset: a failure.
    std::vector<uint8_t> shorter(pic.begin(), pic.begin() + 4000), packed(8000);
    uLongf len = packed.size();
    ASSERT_EQ(compress(packed.data(), &len, shorter.data(), shorter.size()), Z_OK);
    h->dataSize = int32_t(len);
    EXPECT_FALSE(DecodeKeyFrame(*h, packed.data(), size, back.data()));
    // Truncated data and no data fail too.
    h->dataSize = int32_t(len / 2);
    EXPECT_FALSE(DecodeKeyFrame(*h, packed.data(), size, back.data()));
    h->dataSize = 0;
    EXPECT_FALSE(DecodeKeyFrame(*h, packed.data(), size, back.data()));
    // Output that would not fit into the image size is a failure.
    std::mt19937 rng(5);
    std::vector<uint8_t> noise(size);
    for (auto& b : noise)
        b = uint8_t(rng());
    EXPECT_FALSE(EncodeKeyFrame(*h, noise.data(), size, out.data(), out.size()));
}

TEST(PixelConvert, TableOfDepths) {
    // 16 -> 24: 5-5-5, 0x7FFF is F8 F8 F8; the row of 3 pixels is padded to 12 bytes.
    std::vector<uint8_t> src16 = {0xFF, 0x7F, 0x1F, 0x00, 0xE0, 0x03, 0, 0};
    std::vector<uint8_t> dst(12, 0xAA);
    ASSERT_TRUE(ConvertPixels(dst.data(), 24, src16.data(), 16, 3, 1));
    EXPECT_EQ(dst, (std::vector<uint8_t>{0xF8, 0xF8, 0xF8, 0xF8, 0, 0, 0, 0xF8, 0, 0, 0, 0}));
    // 16 -> 32 adds a zero byte.
    std::vector<uint8_t> d32(12, 0xAA);
    ASSERT_TRUE(ConvertPixels(d32.data(), 32, src16.data(), 16, 3, 1));
    EXPECT_EQ(d32, (std::vector<uint8_t>{0xF8, 0xF8, 0xF8, 0, 0xF8, 0, 0, 0, 0, 0xF8, 0, 0}));
    // 24 -> 16 and back through the 5-5-5 rule.
    std::vector<uint8_t> src24 = {0x10, 0x80, 0xFF, 0, 0, 0, 0, 0}; // B G R, padded
    std::vector<uint8_t> d16(8, 0xAA);
    ASSERT_TRUE(ConvertPixels(d16.data(), 16, src24.data(), 24, 1, 2));
    const uint16_t p = uint16_t(d16[0] | (d16[1] << 8));
    EXPECT_EQ(p, uint16_t((0xF8 << 7) | (0x80 << 2) | (0x10 >> 3)));
    // 32 -> 24 drops the fourth byte.
    std::vector<uint8_t> src32 = {1, 2, 3, 99, 4, 5, 6, 99};
    std::vector<uint8_t> d24(8, 0xAA);
    ASSERT_TRUE(ConvertPixels(d24.data(), 24, src32.data(), 32, 2, 1));
    EXPECT_EQ(d24, (std::vector<uint8_t>{1, 2, 3, 4, 5, 6, 0, 0}));
    // 8 -> 24 through the palette that precedes the pixels.
    std::vector<uint8_t> src8(1024 + 4, 0);
    src8[4 * 7 + 0] = 10;
    src8[4 * 7 + 1] = 20;
    src8[4 * 7 + 2] = 30;
    src8[1024] = 7;
    std::vector<uint8_t> d8(4, 0xAA);
    ASSERT_TRUE(ConvertPixels(d8.data(), 24, src8.data(), 8, 1, 1));
    EXPECT_EQ(d8, (std::vector<uint8_t>{10, 20, 30, 0}));
    // Unsupported pairs.
    EXPECT_FALSE(ConvertPixels(d8.data(), 8, src24.data(), 24, 1, 1));
    EXPECT_FALSE(ConvertPixels(d8.data(), 24, src8.data(), 4, 1, 1));
    EXPECT_FALSE(ConvertPixels(d8.data(), 24, src16.data(), 15, 1, 1));
}

TEST(PixelConvert, ExplicitMasksAndTopDownRows) {
    // 5-6-5 pixels of a 16-bit X11 visual, top-down rows of 2 pixels (4 bytes).
    const ChannelMasks m565{0xF800, 0x07E0, 0x001F};
    std::vector<uint8_t> src = {0xFF, 0xFF, 0x00, 0xF8,  // white, red  (top row)
                                0xE0, 0x07, 0x1F, 0x00}; // green, blue (bottom row)
    std::vector<uint8_t> dst(16, 0xAA);
    ASSERT_TRUE(ConvertPixelsMasked(dst.data(), src.data(), 16, 0, 2, 2, m565, true));
    // Bottom-up result: the first stored row is the bottom row.
    EXPECT_EQ(dst, (std::vector<uint8_t>{0, 0xFC, 0, 0xF8, 0, 0, 0, 0, 0xF8, 0xFC, 0xF8, 0, 0, 0xF8, 0, 0}));
    // 32-bit 8-8-8 with a wider source stride.
    const ChannelMasks m888{0xFF0000, 0x00FF00, 0x0000FF};
    std::vector<uint8_t> s32 = {0x11, 0x22, 0x33, 0x00, 0xEE, 0xEE, 0xEE, 0xEE};
    std::vector<uint8_t> d(4, 0xAA);
    ASSERT_TRUE(ConvertPixelsMasked(d.data(), s32.data(), 32, 8, 1, 1, m888, false));
    EXPECT_EQ(d, (std::vector<uint8_t>{0x11, 0x22, 0x33, 0}));
    EXPECT_FALSE(ConvertPixelsMasked(d.data(), s32.data(), 24, 0, 1, 1, m888, false));
    EXPECT_FALSE(ConvertPixelsMasked(d.data(), s32.data(), 32, 2, 1, 1, m888, false)); // stride too short
}

TEST(CropImage, RectanglesAndRowOrder) {
    const int w = 5, h = 4; // rows of 16 bytes
    std::vector<uint8_t> img(16 * 4);
    for (int y = 0; y < h; ++y) // y from the top; stored row h-1-y
        for (int x = 0; x < w; ++x)
            for (int c = 0; c < 3; ++c)
                img[size_t(h - 1 - y) * 16 + size_t(x) * 3 + size_t(c)] = uint8_t(y * 16 + x * 3 + c + 1);
    const auto original = img;
    EXPECT_FALSE(CropImage(img.data(), w, h, 2, 0, 2, 4));
    EXPECT_FALSE(CropImage(img.data(), w, h, -1, 0, 2, 4));
    EXPECT_FALSE(CropImage(img.data(), w, h, 0, 1, 5, 5));
    EXPECT_EQ(img, original);
    ASSERT_TRUE(CropImage(img.data(), w, h, 0, 0, 5, 4));
    EXPECT_EQ(img, original);
    // Columns 1..2, rows 1..2 (from the top): 2 x 2 pixels, rows of 8 bytes, bottom-up.
    ASSERT_TRUE(CropImage(img.data(), w, h, 1, 1, 3, 3));
    auto px = [&](int x, int y, int c) { return uint8_t(y * 16 + x * 3 + c + 1); };
    const std::vector<uint8_t> want = {
        px(1, 2, 0), px(1, 2, 1), px(1, 2, 2), px(2, 2, 0), px(2, 2, 1), px(2, 2, 2), 0, 0,
        px(1, 1, 0), px(1, 1, 1), px(1, 1, 2), px(2, 1, 0), px(2, 1, 1), px(2, 1, 2), 0, 0};
    EXPECT_EQ(std::vector<uint8_t>(img.begin(), img.begin() + 16), want);
    for (size_t i = 16; i < img.size(); ++i)
        EXPECT_EQ(img[i], 0);
}

TEST(FrameCache, InsertionOrderEvictionDropAndShift) {
    FrameCache cache;
    std::vector<uint8_t> img(8, 1), out(8);
    FrameHeader h{};
    EXPECT_FALSE(cache.Add(0, img.data(), 8, h)); // off
    cache.Enable(8);
    for (int i = 0; i < 20; ++i) {
        img[0] = uint8_t(i);
        ASSERT_TRUE(cache.Add(i, img.data(), 8, h));
    }
    // Looking the first one up does not save it from eviction.
    ASSERT_TRUE(cache.Lookup(0, out.data(), 8, nullptr));
    EXPECT_EQ(out[0], 0);
    img[0] = 20;
    ASSERT_TRUE(cache.Add(20, img.data(), 8, h));
    EXPECT_FALSE(cache.Lookup(0, out.data(), 8, nullptr));
    EXPECT_TRUE(cache.Lookup(1, out.data(), 8, nullptr));
    EXPECT_EQ(cache.Count(), 20);
    EXPECT_EQ(cache.Drop(5, 9), 5);
    cache.Shift(10, 100, -5);
    EXPECT_TRUE(cache.Lookup(5, out.data(), 8, nullptr));
    EXPECT_EQ(out[0], 10);
    EXPECT_FALSE(cache.Lookup(20, out.data(), 8, nullptr));
    // Sizes other than the one it is set up for go neither in nor out.
    EXPECT_FALSE(cache.Add(30, img.data(), 4, h));
    EXPECT_FALSE(cache.Lookup(5, out.data(), 16, nullptr));
    // A new image size empties it; it stays on.
    cache.Follow(8);
    EXPECT_EQ(cache.Count(), 15);
    cache.Follow(16);
    EXPECT_EQ(cache.Count(), 0);
    EXPECT_TRUE(cache.Enabled());
    EXPECT_FALSE(cache.Add(0, img.data(), 8, h));
    cache.Disable();
    EXPECT_FALSE(cache.Lookup(1, out.data(), 8, nullptr));
    EXPECT_EQ(cache.Count(), 0);
}

TEST(UndoStackTest, LimitRefusesPushesWhenFull) {
    UndoStack s;
    s.SetLimit(0);
    s.SetLimit(21);
    EXPECT_EQ(s.Limit(), 10);
    s.SetLimit(3);
    auto step = [](uint8_t v, size_t n) {
        UndoStep st;
        st.snapshot.assign(n, v);
        return st;
    };
    UndoStep empty = step(0, 0);
    EXPECT_FALSE(s.Push(empty));
    for (uint8_t v = 1; v <= 3; ++v) {
        UndoStep st = step(v, v);
        EXPECT_TRUE(s.Push(st));
    }
    UndoStep refused = step(4, 4);
    EXPECT_FALSE(s.Push(refused));
    EXPECT_EQ(refused.snapshot.size(), 4u); // a refused step is left to its owner
    UndoStep out;
    ASSERT_TRUE(s.Pop(out));
    EXPECT_EQ(out.snapshot, std::vector<uint8_t>(3, 3));
    EXPECT_EQ(s.NewestSize(), 2);
    ASSERT_NE(s.Newest(), nullptr);
    s.Clear();
    EXPECT_EQ(s.NewestSize(), -1);
    EXPECT_EQ(s.Newest(), nullptr);
    EXPECT_FALSE(s.Pop(out));
}

// Loading through the document: the cache holds what was decoded, in order.
TEST_F(DocTest, LoadFrameFillsTheCacheAndTheTwentyFirstEvictsTheFirst) {
    const int w = 16, h = 8;
    std::vector<HandFrame> frames;
    std::vector<std::vector<uint8_t>> pics;
    for (int i = 0; i < 25; ++i) {
        pics.push_back(Picture(w, h, i));
        frames.push_back(i % 5 == 0 ? HandKey(pics.back()) : HandDiff(pics[size_t(i) - 1], pics.back()));
    }
    ASSERT_TRUE(WriteAll(Path("c.scp"), BuildHandFile(w, h, frames).bytes));
    std::string path = Path("c.scp");
    ASSERT_TRUE(Doc().OpenProject(path));
    std::vector<uint8_t> img;
    FrameHeader fh;
    ASSERT_TRUE(Doc().LoadFrame(3, img, fh)); // decodes 0..3
    EXPECT_EQ(Doc().Cache().Indexes(), (std::vector<int32_t>{0, 1, 2, 3}));
    for (int i = 4; i < 21; ++i)
        ASSERT_TRUE(Doc().LoadFrame(i, img, fh));
    EXPECT_EQ(Doc().Cache().Count(), 20);
    EXPECT_FALSE(Doc().Cache().Contains(0));
    EXPECT_TRUE(Doc().Cache().Contains(1));
    ASSERT_TRUE(Doc().LoadFrame(24, img, fh));
    EXPECT_EQ(img, pics[24]);
    EXPECT_FALSE(Doc().LoadFrame(25, img, fh));
    EXPECT_FALSE(Doc().LoadFrame(-1, img, fh));
}

TEST_F(DocTest, QueriesSpeedAndSelection) {
    EXPECT_EQ(Doc().FrameCount(), 0);
    Doc().Close(); // nothing open: nothing happens
    EXPECT_EQ(Doc().DocMode(), DOC_NONE);
    Doc().SetSpeed(0);
    Doc().SetSpeed(101);
    EXPECT_EQ(Doc().Speed(), 10);
    Doc().SetSpeed(1);
    EXPECT_EQ(Doc().Speed(), 1);
    Doc().SetSpeed(100);
    EXPECT_EQ(Doc().Speed(), 100);
    std::vector<HandFrame> frames;
    for (int i = 0; i < 10; ++i)
        frames.push_back(HandKey(Picture(8, 2, i)));
    ASSERT_TRUE(WriteAll(Path("s.scp"), BuildHandFile(8, 2, frames).bytes));
    std::string path = Path("s.scp");
    ASSERT_TRUE(Doc().OpenProject(path));
    Doc().Select(4, 20);
    EXPECT_EQ(Doc().SelectionStart(), 4);
    EXPECT_EQ(Doc().SelectionCount(), 6);
    // A start outside the frames keeps start and count; its negative count is ignored.
    Doc().Select(20, 5);
    EXPECT_EQ(Doc().SelectionStart(), 4);
    EXPECT_EQ(Doc().SelectionCount(), 6);
    // Any valid start resets the count, also the same start again: a negative count then
    // leaves it at 0.
    Doc().Select(3, 7);
    EXPECT_EQ(Doc().SelectionCount(), 5);
    Doc().Select(3, 1);
    EXPECT_EQ(Doc().SelectionStart(), 3);
    EXPECT_EQ(Doc().SelectionCount(), 0);
    Doc().Select(2, 3);
    EXPECT_EQ(Doc().SelectionStart(), 2);
    EXPECT_EQ(Doc().SelectionCount(), 2);
}

// LoadFrame draws the elements through the painter only when asked; the cache keeps the bare
// picture. PaintElements without a painter leaves the picture alone.
TEST_F(DocTest, LoadFrameDrawsElementsThroughThePainter) {
    std::vector<HandFrame> frames;
    for (int i = 0; i < 3; ++i)
        frames.push_back(HandKey(Picture(16, 8, i)));
    ASSERT_TRUE(WriteAll(Path("e.scp"), BuildHandFile(16, 8, frames).bytes));
    std::string path = Path("e.scp");
    ASSERT_TRUE(Doc().OpenProject(path));
    std::vector<uint8_t> img(Doc().ImageSize());
    FrameHeader fh;
    EXPECT_FALSE(Doc().PaintElements(1, img.data()));
    Doc().Elements().Create(1, 1, ELEMENT_LINE);
    std::vector<std::pair<int32_t, int>> calls;
    Doc().SetElementPainter([&](const ElementPaintJob& job) {
        const CElementList& el = *job.list;
        uint8_t* image = job.image;
        const int32_t index = job.index, w = job.width, h = job.height;
        calls.emplace_back(index, el.CountInFrame(index));
        image[0] = 7;
        EXPECT_EQ(w, 16);
        EXPECT_EQ(h, 8);
    });
    ASSERT_TRUE(Doc().LoadFrame(1, img.data(), &fh));
    EXPECT_TRUE(calls.empty());
    ASSERT_TRUE(Doc().LoadFrame(1, img.data(), &fh, true));
    EXPECT_EQ(calls, (std::vector<std::pair<int32_t, int>>{{1, 1}}));
    EXPECT_EQ(img[0], 7);
    ASSERT_TRUE(Doc().LoadFrame(1, img.data(), &fh)); // from the cache, bare
    EXPECT_EQ(img, Picture(16, 8, 1));
}

// The record reader the exports use gives each frame's stored bytes; the copies for another
// thread hold what the document holds.
TEST_F(DocTest, FrameRecordsAndCopiesForOtherThreads) {
    std::vector<std::vector<uint8_t>> pics;
    std::vector<HandFrame> frames;
    for (int i = 0; i < 3; ++i) {
        pics.push_back(Picture(32, 6, i));
        frames.push_back(i == 0 ? HandKey(pics[0]) : HandDiff(pics[size_t(i) - 1], pics[size_t(i)]));
    }
    const HandFile file = BuildHandFile(32, 6, frames);
    ASSERT_TRUE(WriteAll(Path("r.scp"), file.bytes));
    std::string path = Path("r.scp");
    ASSERT_TRUE(Doc().OpenProject(path));
    FrameHeader fh;
    std::vector<uint8_t> data;
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(Doc().ReadFrameRecord(i, fh, data)) << i;
        EXPECT_EQ(data, frames[size_t(i)].data) << i;
        EXPECT_EQ(fh.dataSize, int32_t(frames[size_t(i)].data.size()));
        EXPECT_EQ(std::memcmp(&fh, file.bytes.data() + file.offsets[size_t(i)], sizeof fh), 0) << i;
    }
    EXPECT_FALSE(Doc().ReadFrameRecord(3, fh, data));
    EXPECT_FALSE(Doc().ReadFrameRecord(-1, fh, data));

    const ProjectHeader h = Doc().HeaderCopy();
    EXPECT_EQ(std::memcmp(&h, file.bytes.data(), sizeof h), 0);
    const std::vector<FrameEntry> table = Doc().FrameTableCopy();
    ASSERT_EQ(table.size(), 3u);
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(int32_t(table[i].offset), file.offsets[i]);
        EXPECT_EQ(table[i].kind, frames[i].kind);
    }
    ElementRecord* e = Doc().Elements().Create(0, 2, ELEMENT_TEXT);
    ASSERT_EQ(Doc().Elements().SetText(e, "abc"), 0);
    const std::vector<ElementRecord> copy = Doc().ElementsCopy();
    ASSERT_EQ(copy.size(), 1u);
    EXPECT_EQ(copy[0].id, e->id);
    EXPECT_EQ(copy[0].Text(), "abc");
    EXPECT_NE(copy[0].tail.data(), e->tail.data());
}

} // namespace
