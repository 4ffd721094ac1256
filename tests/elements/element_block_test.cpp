// The element block against its layout tables: blocks laid out by hand are read, and blocks
// the list writes are taken apart byte by byte.
#include "elements/ElementList.h"
#include "tests/elements/BlockBytes.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>

// Largest single allocation while tracking is on: a hostile header must not buy a big one.
static std::atomic<bool> g_trackAllocations{false};
static std::atomic<size_t> g_largestAllocation{0};

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void* operator new(size_t n) {
    if (g_trackAllocations && n > g_largestAllocation)
        g_largestAllocation = n;
    if (void* p = std::malloc(n ? n : 1))
        return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, size_t) noexcept {
    std::free(p);
}
#pragma GCC diagnostic pop

namespace {

using elementtest::Bytes;
using elementtest::I32At;
using elementtest::TempBlockFile;
using zov::CElementList;
using zov::ElementRecord;

constexpr uint32_t kCurrentVersion = 0x20031211;
constexpr uint32_t kOldVersion = 0x20021030;
constexpr uint32_t kJunkPointer = 0xDEADBEEF; // stored pointers mean nothing and must not survive

void Header(Bytes& b, int64_t size, int32_t first, int32_t last, int32_t kind, uint32_t ptr) {
    b.i32(size).i32(first).i32(last).i32(kind).i32(ptr);
}

void Font(Bytes& b, const std::string& face) {
    b.i32(-12).i32(0).i32(0).i32(0).i32(700);
    b.u8(1).u8(0).u8(0).u8(0).u8(0).u8(0).u8(0).u8(0);
    b.str(face, 32);
}

std::vector<uint8_t> Tail(const std::string& text, size_t length) {
    std::vector<uint8_t> t(length, 0);
    std::copy(text.begin(), text.end(), t.begin());
    return t;
}

void LineRecord(Bytes& b, uint32_t ptr) {
    Header(b, 28, 1, 5, 0, ptr);
    b.i32(10).i32(20).i32(30).i32(-40).i32(3).i32(2).i32(0x00112233);
}

void ShapeRecord(Bytes& b, int32_t kind, uint32_t ptr) {
    Header(b, 40, 0, 0, kind, ptr);
    b.i32(1).i32(2).i32(3).i32(4).i32(5).i32(1).i32(0xABCDEF).u8(1).u8(0).zeros(2).i32(0xFF).i32(0xFF00);
}

void Box2Record(Bytes& b, const std::string& text, size_t tail, uint32_t ptr) {
    Header(b, 188 + tail, 2, 9, 3, ptr);
    b.i32(100).i32(110).i32(200).i32(160).i32(250).i32(300); // text rect, tip
    for (int i = 0; i < 8; ++i)
        b.i32(i).i32(-i);
    b.i32(2).i32(0).i32(7).u8(1).u8(1).zeros(2);
    Font(b, "Box Face");
    b.i32(0x0000FF).i32(0).i32(0x00FF00).i32(0xFF0000).i32(tail).i32(ptr);
    b.raw(Tail(text, tail));
}

void TextRecord(Bytes& b, int32_t kind, const std::string& text, size_t tail, uint32_t ptr) {
    Header(b, 128 + tail, 3, 4, kind, ptr);
    b.i32(5).i32(6).i32(55).i32(66).i32(7).i32(8); // rect, point
    b.i32(1).i32(0).i32(9).i32(0).u8(0).u8(1).u8(kind == 5 ? 1 : 0).u8(0);
    Font(b, "Text Face");
    b.i32(0xFFFFFF).i32(0).i32(0x123456).i32(0x654321).i32(tail).i32(ptr);
    b.raw(Tail(text, tail));
}

void Reserved7Record(Bytes& b) {
    Header(b, 20, 0, 1, 7, 0);
    for (int i = 0; i < 20; ++i)
        b.u8(uint8_t(i + 1));
}

void UrlRecord(Bytes& b, const std::string& url, size_t tail, uint32_t ptr) {
    Header(b, 24 + tail, 0, 99, 8, ptr);
    b.i32(-1).i32(-2).i32(40).i32(50).i32(tail).i32(ptr);
    b.raw(Tail(url, tail));
}

// An image of 3 x 2 at 24 bits: rows of 9 bytes rounded to 12.
void ImageRecord(Bytes& b, bool oldForm, uint32_t transparent, uint32_t ptr) {
    const size_t fixed = oldForm ? 76 : 80;
    Header(b, fixed + 24, 0, 3, 9, ptr);
    b.i32(0).i32(0).i32(30).i32(20).i32(24).i32(ptr ? 4 : 0); // rect, bits length, second length
    b.i32(40).i32(3).i32(2).u8(1).u8(0).u8(24).u8(0).i32(0).i32(24).i32(0).i32(0).i32(0).i32(0);
    b.i32(0).i32(ptr).i32(ptr ? 0x1234 : 0); // reserved, bits pointer, second pointer
    if (!oldForm)
        b.i32(transparent);
    for (int i = 0; i < 24; ++i)
        b.u8(uint8_t(0xF0 + i % 16)); // non-zero, so a flag taken from the bits would show
}

void SaveAreaRecord(Bytes& b) {
    Header(b, 548, 0, 0, 10, 0);
    b.i32(8).i32(16).i32(640).i32(480).i32(2).i32(77).u8(1).u8(1);
    b.str("AVI", 260).str("/home/u/out.avi", 260).zeros(2);
}

Bytes Block(int32_t count, int64_t total, int64_t offset, int32_t reserved, const Bytes& records) {
    Bytes b;
    b.i32(count).i32(total).i32(offset).i32(reserved);
    b.raw(records.b);
    return b;
}

// Records of every kind; `ptr` is what the pointer fields hold.
Bytes AllKinds(uint32_t ptr) {
    Bytes r;
    LineRecord(r, ptr);
    ShapeRecord(r, 1, ptr);
    ShapeRecord(r, 2, ptr);
    Box2Record(r, "Hi", 4, ptr);
    TextRecord(r, 4, "Hello", 8, ptr);
    TextRecord(r, 5, "one\r\ntwo", 12, ptr);
    TextRecord(r, 6, "", 0, ptr);
    Reserved7Record(r);
    UrlRecord(r, "http://a.b/", 12, ptr);
    ImageRecord(r, false, 1, ptr);
    SaveAreaRecord(r);
    return r;
}

TEST(ElementBlockRead, EveryKindFromTheLayoutTables) {
    const Bytes records = AllKinds(kJunkPointer);
    TempBlockFile tf(300, Block(11, records.size(), 300, 0x5EED, records).b);
    CElementList list;
    ASSERT_EQ(list.Read(tf.file, kCurrentVersion), 0);
    EXPECT_EQ(list.Count(), 11);
    EXPECT_EQ(list.TotalBytes(), static_cast<int64_t>(records.size()));
    EXPECT_EQ(list.BlockOffset(), 300);
    EXPECT_EQ(list.Reserved(), 0x5EED);

    const auto* line = list.At(0)->Body<zov::LineBody>();
    EXPECT_EQ(list.At(0)->firstFrame, 1);
    EXPECT_EQ(list.At(0)->lastFrame, 5);
    EXPECT_EQ(line->y2, -40);
    EXPECT_EQ(line->lineColour, 0x00112233u);

    const auto* shape = list.At(2)->Body<zov::ShapeBody>();
    EXPECT_EQ(shape->spareColour, 0xABCDEFu);
    EXPECT_EQ(shape->borderFlag, 1);
    EXPECT_EQ(shape->fillFlag, 0);
    EXPECT_EQ(shape->fillColour, 0xFF00u);

    const ElementRecord* box2 = list.At(3);
    EXPECT_EQ(box2->size, 188u + 4);
    EXPECT_EQ(box2->Text(), "Hi");
    EXPECT_EQ(box2->Body<zov::Box2Body>()->tip.y, 300);
    EXPECT_EQ(box2->Body<zov::Box2Body>()->outline[7].y, -7);
    EXPECT_STREQ(box2->Body<zov::Box2Body>()->font.lfFaceName, "Box Face");
    EXPECT_EQ(box2->Body<zov::Box2Body>()->tailPointer, 0u);

    EXPECT_EQ(list.At(4)->Text(), "Hello");
    EXPECT_EQ(list.At(5)->Text(), "one\r\ntwo");
    EXPECT_EQ(list.At(5)->Body<zov::TextBody>()->scrollMode, 1);
    EXPECT_EQ(list.At(6)->Text(), "");
    EXPECT_EQ(list.At(6)->size, 128u);
    EXPECT_EQ(list.At(7)->kind, zov::ELEMENT_RESERVED7);
    EXPECT_EQ(list.At(7)->body.at(19), 20);
    EXPECT_EQ(list.At(8)->Text(), "http://a.b/");

    const ElementRecord* image = list.At(9);
    const auto* ib = image->Body<zov::ImageBody>();
    EXPECT_EQ(ib->info.biWidth, 3);
    EXPECT_EQ(ib->info.biBitCount, 24);
    EXPECT_EQ(ib->transparentFlag, 1u);
    EXPECT_EQ(ib->secondLength, 0u);
    EXPECT_EQ(ib->secondPointer, 0u);
    EXPECT_EQ(ib->tailPointer, 0u);
    ASSERT_EQ(image->tail.size(), 24u);
    EXPECT_EQ(image->tail[23], 0xF7);

    const auto* area = list.At(10)->Body<zov::SaveAreaBody>();
    EXPECT_EQ(area->lastFrame, 77);
    EXPECT_STREQ(area->formatKey, "AVI");
    EXPECT_STREQ(area->outputPath, "/home/u/out.avi");
}

TEST(ElementBlockRead, HeaderFaults) {
    {
        TempBlockFile tf(148, Block(0, 0, 148, 0, {}).b);
        CElementList list;
        EXPECT_EQ(list.Read(tf.file, kCurrentVersion), 0);
        EXPECT_EQ(list.Count(), 0);
        EXPECT_EQ(list.TotalBytes(), 0);
    }
    Bytes one;
    LineRecord(one, 0);
    struct Case {
        const char* what;
        size_t prefix;
        Bytes block;
    } cases[] = {
        {"stored offset is not where the block is read", 148, Block(1, one.size(), 149, 0, one)},
        {"empty block with a wrong offset", 148, Block(0, 0, 0, 0, {})},
        {"block at position 0", 0, Block(1, one.size(), 0, 0, one)},
        {"negative count", 148, Block(-1, one.size(), 148, 0, one)},
        {"negative total", 148, Block(1, -48, 148, 0, one)},
        {"short header", 148, Bytes().i32(1).i32(48)},
        {"total beyond the file", 148, Block(1, one.size() + 4, 148, 0, one)},
    };
    for (const Case& c : cases) {
        TempBlockFile tf(c.prefix, c.block.b);
        CElementList list;
        EXPECT_EQ(list.Read(tf.file, kCurrentVersion), -1) << c.what;
    }
}

TEST(ElementBlockRead, CountMustMatchTheRecords) {
    Bytes two;
    LineRecord(two, 0);
    TextRecord(two, 4, "abc", 4, 0);
    {
        TempBlockFile tf(148, Block(1, two.size(), 148, 0, two).b); // a record left over
        CElementList list;
        EXPECT_EQ(list.Read(tf.file, kCurrentVersion), -1);
    }
    {
        TempBlockFile tf(148, Block(3, two.size(), 148, 0, two).b); // records run out
        CElementList list;
        EXPECT_EQ(list.Read(tf.file, kCurrentVersion), -1);
    }
    {
        // Bytes after the block, from an earlier longer write, are no concern.
        Bytes block = Block(2, two.size(), 148, 0, two);
        block.zeros(64);
        TempBlockFile tf(148, block.b);
        CElementList list;
        EXPECT_EQ(list.Read(tf.file, kCurrentVersion), 0);
        EXPECT_EQ(list.Count(), 2);
    }
}

TEST(ElementBlockRead, RecordFaults) {
    struct Case {
        const char* what;
        Bytes records;
    };
    std::vector<Case> cases;
    auto add = [&](const char* what, auto build) {
        Bytes r;
        build(r);
        cases.push_back({what, r});
    };
    add("kind 11", [](Bytes& r) { Header(r, 20, 0, 0, 11, 0), r.zeros(20); });
    add("kind -1", [](Bytes& r) { Header(r, 20, 0, 0, -1, 0), r.zeros(20); });
    add("line with size 32", [](Bytes& r) { Header(r, 32, 0, 0, 0, 0), r.zeros(32); });
    add("save area cut short", [](Bytes& r) { Header(r, 548, 0, 0, 10, 0), r.zeros(500); });
    add("text size not body + tail", [](Bytes& r) {
        TextRecord(r, 4, "abc", 4, 0);
        r.b[0] = 128 + 8;
    });
    add("negative tail length", [](Bytes& r) {
        Header(r, 24, 0, 0, 8, 0);
        r.i32(0).i32(0).i32(0).i32(0).i32(-4).i32(0).zeros(8);
    });
    add("tail beyond the block", [](Bytes& r) {
        Header(r, 24 + 64, 0, 0, 8, 0);
        r.i32(0).i32(0).i32(0).i32(0).i32(64).i32(0).zeros(8);
    });
    add("body beyond the block", [](Bytes& r) { Header(r, 128, 0, 0, 4, 0), r.zeros(100); });
    add("record header cut short", [](Bytes& r) { r.i32(28).i32(0).i32(0); });
    for (const Case& c : cases) {
        TempBlockFile tf(148, Block(1, c.records.size(), 148, 0, c.records).b);
        CElementList list;
        EXPECT_EQ(list.Read(tf.file, kCurrentVersion), -1) << c.what;
    }
}

TEST(ElementBlockRead, OnlyIntoAnEmptyList) {
    Bytes one;
    LineRecord(one, 0);
    TempBlockFile tf(148, Block(1, one.size(), 148, 0, one).b);
    CElementList list;
    ASSERT_NE(list.Create(0, 0, zov::ELEMENT_BOX), nullptr);
    EXPECT_EQ(list.Read(tf.file, kCurrentVersion), -1);
    EXPECT_EQ(list.Count(), 1);
}

TEST(ElementBlockRead, HostileSizesAreRefusedBeforeAllocating) {
    // A 200-byte file whose block claims nearly 2 GiB, and one whose count could never fit B.
    Bytes huge = Block(0x7FFFFFF, 0x7FFFFFF0, 148, 0, {});
    huge.zeros(200 - 148 - huge.size());
    Bytes oneHuge = Block(1, 0x7FFFFFF0, 148, 0, {});
    oneHuge.zeros(200 - 148 - oneHuge.size());
    Bytes manyRecords = Block(100000000, 36, 148, 0, Bytes().zeros(36));
    for (const Bytes* block : {&huge, &oneHuge, &manyRecords}) {
        TempBlockFile tf(148, block->b);
        CElementList list;
        g_largestAllocation = 0;
        g_trackAllocations = true;
        int rc = list.Read(tf.file, kCurrentVersion);
        g_trackAllocations = false;
        EXPECT_EQ(rc, -1);
        EXPECT_LT(g_largestAllocation.load(), 4096u);
    }
}

TEST(ElementBlockOldImages, ReadAs76ByteBodiesWrittenBackAs80) {
    Bytes records;
    ImageRecord(records, true, 0, kJunkPointer);
    TextRecord(records, 4, "abc", 4, 0);
    const size_t storedTotal = records.size();
    TempBlockFile tf(148, Block(2, storedTotal, 148, 0, records).b);
    CElementList list;
    ASSERT_EQ(list.Read(tf.file, kOldVersion), 0);
    ASSERT_EQ(list.Count(), 2);
    const ElementRecord* image = list.At(0);
    EXPECT_EQ(image->size, 76u + 24 + 4);
    EXPECT_EQ(image->Body<zov::ImageBody>()->transparentFlag, 0u);
    EXPECT_EQ(image->tail.at(0), 0xF0);
    EXPECT_EQ(list.At(1)->Text(), "abc");
    EXPECT_EQ(list.TotalBytes(), static_cast<int64_t>(storedTotal) + 4);

    // Written again in the 80-byte form at a new place.
    TempBlockFile out(64, {});
    ASSERT_EQ(list.Write(out.file), 0);
    const std::vector<uint8_t> w = out.Contents();
    ASSERT_EQ(w.size(), 64 + 16 + storedTotal + 4);
    EXPECT_EQ(I32At(w, 64 + 4), static_cast<int32_t>(storedTotal + 4));
    EXPECT_EQ(I32At(w, 64 + 8), 64);
    Bytes expected;
    ImageRecord(expected, false, 0, 0);
    TextRecord(expected, 4, "abc", 4, 0);
    EXPECT_EQ(std::vector<uint8_t>(w.begin() + 80, w.end()), expected.b);

    // The same bytes in a current file are not an image of 76 bytes.
    TempBlockFile again(148, Block(2, storedTotal, 148, 0, records).b);
    CElementList current;
    EXPECT_EQ(current.Read(again.file, kCurrentVersion), -1);
}

TEST(ElementBlockWrite, TakenApartByHand) {
    CElementList list;
    ElementRecord* line = list.Create(0, 9, zov::ELEMENT_LINE);
    ElementRecord* t5 = list.Create(1, 2, zov::ELEMENT_TEXT);
    ElementRecord* t3 = list.Create(3, 4, zov::ELEMENT_SUBSCRIPT1);
    ElementRecord* t8 = list.Create(5, 6, zov::ELEMENT_BOX2);
    ElementRecord* url = list.Create(7, 8, zov::ELEMENT_URLLINK);
    ASSERT_TRUE(line && t5 && t3 && t8 && url);
    line->Body<zov::LineBody>()->x2 = 0x01020304;
    ASSERT_EQ(list.SetText(t5, "Hello"), 0);
    ASSERT_EQ(list.SetText(t3, "abc"), 0);
    ASSERT_EQ(list.SetText(t8, "abcdefgh"), 0);
    ASSERT_EQ(list.SetText(url, nullptr), 0);
    t5->Body<zov::TextBody>()->tailPointer = kJunkPointer; // a pointer field never reaches the file

    TempBlockFile tf(148, {});
    ASSERT_EQ(list.Write(tf.file), 0);
    EXPECT_EQ(list.BlockOffset(), 148);
    const std::vector<uint8_t> w = tf.Contents();
    const size_t B = (20 + 28) + (20 + 128 + 8) + (20 + 128 + 4) + (20 + 188 + 12) + (20 + 24);
    ASSERT_EQ(w.size(), 148 + 16 + B);
    EXPECT_EQ(I32At(w, 148), 5);
    EXPECT_EQ(I32At(w, 152), static_cast<int32_t>(B));
    EXPECT_EQ(I32At(w, 156), 148);
    EXPECT_EQ(I32At(w, 160), 0);
    EXPECT_EQ(list.TotalBytes(), static_cast<int64_t>(B));

    size_t at = 164;
    // Line: size 28, frames 0..9, kind 0, pointer 0, then x2 at body offset 8.
    EXPECT_EQ(I32At(w, at), 28);
    EXPECT_EQ(I32At(w, at + 8), 9);
    EXPECT_EQ(I32At(w, at + 12), 0);
    EXPECT_EQ(I32At(w, at + 16), 0);
    EXPECT_EQ(I32At(w, at + 20 + 8), 0x01020304);
    at += 48;
    // "Hello": 5 characters make an 8-byte tail, its length at body offset 120.
    EXPECT_EQ(I32At(w, at), 128 + 8);
    EXPECT_EQ(I32At(w, at + 12), 4);
    EXPECT_EQ(I32At(w, at + 20 + 120), 8);
    EXPECT_EQ(I32At(w, at + 20 + 124), 0);
    EXPECT_EQ(std::vector<uint8_t>(w.begin() + at + 148, w.begin() + at + 156), Tail("Hello", 8));
    at += 156;
    // "abc": 4 bytes.
    EXPECT_EQ(I32At(w, at), 128 + 4);
    EXPECT_EQ(I32At(w, at + 20 + 120), 4);
    EXPECT_EQ(std::vector<uint8_t>(w.begin() + at + 148, w.begin() + at + 152), Tail("abc", 4));
    at += 152;
    // "abcdefgh" in a balloon: 12 bytes, length at body offset 180.
    EXPECT_EQ(I32At(w, at), 188 + 12);
    EXPECT_EQ(I32At(w, at + 20 + 180), 12);
    EXPECT_EQ(std::vector<uint8_t>(w.begin() + at + 208, w.begin() + at + 220), Tail("abcdefgh", 12));
    at += 220;
    // A URL link without text: empty tail.
    EXPECT_EQ(I32At(w, at), 24);
    EXPECT_EQ(I32At(w, at + 20 + 16), 0);
    EXPECT_EQ(at + 44, w.size());
}

TEST(ElementBlockWrite, ReadThenWriteGivesTheLaidOutBytesWithPointersCleared) {
    // Everything but kind 7, which cannot be saved.
    Bytes records;
    LineRecord(records, kJunkPointer);
    Box2Record(records, "Hi", 4, kJunkPointer);
    TextRecord(records, 5, "one\r\ntwo", 12, kJunkPointer);
    UrlRecord(records, "http://a.b/", 12, kJunkPointer);
    ImageRecord(records, false, 1, kJunkPointer);
    SaveAreaRecord(records);
    TempBlockFile in(200, Block(6, records.size(), 200, -7, records).b);
    CElementList list;
    ASSERT_EQ(list.Read(in.file, kCurrentVersion), 0);

    TempBlockFile out(4000, {});
    ASSERT_EQ(list.Write(out.file), 0);
    Bytes clean;
    LineRecord(clean, 0);
    Box2Record(clean, "Hi", 4, 0);
    TextRecord(clean, 5, "one\r\ntwo", 12, 0);
    UrlRecord(clean, "http://a.b/", 12, 0);
    ImageRecord(clean, false, 1, 0);
    SaveAreaRecord(clean);
    const std::vector<uint8_t> w = out.Contents();
    EXPECT_EQ(std::vector<uint8_t>(w.begin() + 4000, w.end()), Block(6, clean.size(), 4000, -7, clean).b);

    // What was written reads back to the same list.
    ASSERT_TRUE(out.file.Seek(4000));
    CElementList again;
    ASSERT_EQ(again.Read(out.file, kCurrentVersion), 0);
    EXPECT_EQ(again.Count(), 6);
    EXPECT_EQ(again.Reserved(), -7);
    EXPECT_EQ(again.At(4)->tail, list.At(4)->tail);
}

TEST(ElementBlockWrite, Refusals) {
    // A list holding kind 7 is not saved, and nothing of it reaches the file.
    Bytes records;
    LineRecord(records, 0);
    Reserved7Record(records);
    TempBlockFile in(148, Block(2, records.size(), 148, 0, records).b);
    CElementList list;
    ASSERT_EQ(list.Read(in.file, kCurrentVersion), 0);
    TempBlockFile out(148, {});
    EXPECT_EQ(list.Write(out.file), -1);
    EXPECT_EQ(out.Contents().size(), 148u);

    CElementList empty;
    TempBlockFile atZero(0, {});
    EXPECT_EQ(empty.Write(atZero.file), -1);
    TempBlockFile ok(1, {});
    EXPECT_EQ(empty.Write(ok.file), 0);
    const std::vector<uint8_t> w = ok.Contents();
    ASSERT_EQ(w.size(), 17u);
    EXPECT_EQ(I32At(w, 1), 0);
    EXPECT_EQ(I32At(w, 5), 0);
    EXPECT_EQ(I32At(w, 9), 1);
}

// The crash tests count BinFile writes: the whole block must be one of them. The fault limit
// is read on a process's first write; death tests run before all others and this one's parent
// never writes through BinFile, so each forked child reads the limit it was given.
TEST(ElementBlockWriteDeathTest, WholeBlockIsOneWrite) {
    TempBlockFile tf(148, {});
    const std::string path = tf.path;
    auto writeWithLimit = [&](const char* limit) {
        setenv("ZOV_FAULT_WRITE_LIMIT", limit, 1);
        CElementList list;
        for (int i = 0; i < 50; ++i)
            (void)list.SetText(list.Create(i, i + 1, zov::ELEMENT_TEXT), "some text");
        zov::BinFile f;
        if (!f.Open(path, zov::BinFile::Mode::ReadWrite) || !f.Seek(148))
            _exit(2);
        _exit(list.Write(f) == 0 ? 7 : 3);
    };
    const size_t blockSize = 16 + 50 * (20 + 128 + 12);
    EXPECT_EXIT(writeWithLimit("2"), testing::ExitedWithCode(7), "");
    EXPECT_EQ(tf.Contents().size(), 148 + blockSize);
    ASSERT_TRUE(tf.file.Truncate(148));
    EXPECT_EXIT(writeWithLimit("1"), testing::ExitedWithCode(86), "");
    EXPECT_EQ(tf.Contents().size(), 148 + blockSize / 2);
}

} // namespace
