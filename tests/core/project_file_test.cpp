// The project file: files built by hand from the layout tables are opened, and files the
// program writes are taken apart byte by byte.
#include "tests/core/DocTest.h"

#include "core/FrameCodec.h"
#include "elements/ElementList.h"

#include <atomic>
#include <unistd.h>

using namespace zov;
using namespace zovtest;

namespace {

class ProjectFile : public DocTest {};

// The picture each frame must decode to: stored blocks from its own picture, the bytes past
// the last whole block from the picture before it (difference frames do not carry them).
std::vector<std::vector<uint8_t>> Expected(const std::vector<std::vector<uint8_t>>& pics,
                                           const std::vector<int>& kinds) {
    std::vector<std::vector<uint8_t>> out;
    for (size_t i = 0; i < pics.size(); ++i) {
        std::vector<uint8_t> e = pics[i];
        if (kinds[i] == 1) {
            const size_t tail = e.size() / 96 * 96;
            std::copy(out[i - 1].begin() + tail, out[i - 1].end(), e.begin() + tail);
        }
        out.push_back(e);
    }
    return out;
}

TEST_F(ProjectFile, NewProjectWritesHeaderAndEmptyElementBlockOnly) {
    Doc().SetScreenSize(1280, 1024);
    Doc().SetDefaultFrameDelay(200);
    Doc().SetDefaultRecordPointer(false);
    std::string path = Path("first.SCP.tmp");
    ASSERT_TRUE(Doc().NewProject(path, false));
    EXPECT_EQ(path, Path("first.SCP.scp"));
    EXPECT_EQ(Doc().DocMode(), DOC_PROJECT);
    EXPECT_TRUE(std::filesystem::exists(Path("cursor.bin")));
    EXPECT_EQ(std::filesystem::file_size(Path("cursor.bin")), 0u);
    Doc().Close();
    std::vector<uint8_t> b = ReadAll(path);
    ASSERT_EQ(b.size(), 148u + 16u);
    EXPECT_EQ(std::memcmp(b.data(), "VOKA", 4), 0);
    EXPECT_EQ(Le32(b, 4), 0x20031211u);
    for (size_t at : {8, 12, 16, 20, 28, 40, 44, 56, 60})
        EXPECT_EQ(Le32(b, at), 0u) << "offset " << at;
    EXPECT_EQ(Le32(b, 24), 200u);
    EXPECT_EQ(Le32(b, 32), 32u);
    EXPECT_EQ(Le32(b, 36), 24u);
    EXPECT_EQ(Le32(b, 48), 1280u);
    EXPECT_EQ(Le32(b, 52), 1024u);
    EXPECT_EQ(b[64], 0);
    EXPECT_EQ(Le32(b, 68), 10u);
    EXPECT_EQ(Le32(b, 72), 148u);
    for (size_t i = 65; i < 68; ++i)
        EXPECT_EQ(b[i], 0);
    for (size_t i = 76; i < 148; ++i)
        EXPECT_EQ(b[i], 0) << "offset " << i;
    // The element block: count 0, bytes 0, its own offset, reserved 0.
    EXPECT_EQ(Le32(b, 148), 0u);
    EXPECT_EQ(Le32(b, 152), 0u);
    EXPECT_EQ(Le32(b, 156), 148u);
    EXPECT_EQ(Le32(b, 160), 0u);

    std::string again = path;
    ASSERT_TRUE(Doc().OpenProject(again));
    EXPECT_EQ(Doc().FrameCount(), 0);
    EXPECT_TRUE(Doc().CheckFile());
}

TEST_F(ProjectFile, StreamModeCreatesNoFile) {
    std::string path = Path("live.scp");
    ASSERT_TRUE(Doc().NewProject(path, true));
    EXPECT_EQ(path, Path("live.zov"));
    EXPECT_EQ(Doc().DocMode(), DOC_STREAM);
    EXPECT_EQ(Doc().DocumentPath(), path);
    EXPECT_EQ(Doc().FrameCount(), 0);
    EXPECT_EQ(Doc().ImageSize(), 0);
    EXPECT_FALSE(std::filesystem::exists(path));
    Doc().Close();
    EXPECT_EQ(Doc().DocMode(), DOC_NONE);
    EXPECT_EQ(Doc().DocumentPath(), "");
}

TEST_F(ProjectFile, HandBuiltFileDecodesInAnyOrder) {
    const int w = 47, h = 33; // 4,752 bytes: 49 blocks and a 48-byte tail
    std::vector<std::vector<uint8_t>> pics = {Picture(w, h, 0), Picture(w, h, 1), Picture(w, h, 1),
                                              Picture(w, h, 2), Picture(w, h, 5)};
    // The tail differs between the pictures, so a decoder that fills it from the wrong place shows.
    for (size_t i = 0; i < pics.size(); ++i)
        pics[i].back() = static_cast<uint8_t>(0x10 + i);
    std::vector<int> kinds = {0, 1, 1, 0, 1};
    std::vector<HandFrame> frames = {HandKey(pics[0]), HandDiff(pics[0], pics[1]), HandDiff(pics[1], pics[2]),
                                     HandKey(pics[3]), HandDiff(pics[3], pics[4])};
    EXPECT_EQ(frames[2].data.size(), 0u); // identical pictures store nothing
    HandFile f = BuildHandFile(w, h, frames);
    ASSERT_TRUE(WriteAll(Path("hand.scp"), f.bytes));
    const auto expected = Expected(pics, kinds);

    for (int order = 0; order < 2; ++order) {
        std::string path = Path("hand.scp");
        ASSERT_TRUE(Doc().OpenProject(path)) << Doc().LastMessage();
        ASSERT_EQ(Doc().FrameCount(), 5);
        EXPECT_EQ(Doc().ImageSize(), 144 * 33);
        const std::vector<int> seq =
            order == 0 ? std::vector<int>{0, 1, 2, 3, 4} : std::vector<int>{4, 2, 1, 0, 3};
        for (int i : seq) {
            std::vector<uint8_t> img;
            FrameHeader fh;
            ASSERT_TRUE(Doc().LoadFrame(i, img, fh)) << "frame " << i;
            EXPECT_EQ(img, expected[size_t(i)]) << "frame " << i;
            EXPECT_EQ(fh.pointerX, 11);
            EXPECT_EQ(fh.pointerY, 22);
        }
        Doc().Close();
    }
}

TEST_F(ProjectFile, VersionsMagicAndExtensionFallback) {
    const auto pic = Picture(8, 4, 0);
    HandFile old = BuildHandFile(8, 4, {HandKey(pic)}, 0x20021029);
    ASSERT_TRUE(WriteAll(Path("old.scp"), old.bytes));
    std::string path = Path("old.scp");
    EXPECT_FALSE(Doc().OpenProject(path));
    EXPECT_EQ(Doc().LastMessage(),
              "this is an old version zov recorder file, please convert it to a new version.");
    // A version that is negative as a signed number is older still.
    Put32(old.bytes, 4, 0x90000000u);
    ASSERT_TRUE(WriteAll(Path("neg.scp"), old.bytes));
    path = Path("neg.scp");
    EXPECT_FALSE(Doc().OpenProject(path));

    HandFile accepted = BuildHandFile(8, 4, {HandKey(pic)}, 0x20021030);
    ASSERT_TRUE(WriteAll(Path("accepted.scp"), accepted.bytes));
    // Opened without its extension, through the fallback.
    path = Path("accepted");
    ASSERT_TRUE(Doc().OpenProject(path)) << Doc().LastMessage();
    EXPECT_EQ(path, Path("accepted.scp"));
    // Opening alone does not touch the file; the next write stores the current version.
    EXPECT_EQ(Le32(ReadAll(Path("accepted.scp")), 4), 0x20021030u);
    ASSERT_TRUE(Doc().WriteIndex());
    Doc().Close();
    EXPECT_EQ(Le32(ReadAll(Path("accepted.scp")), 4), 0x20031211u);

    // Not "VOKA": refused, and the open document stays open.
    path = Path("accepted.scp");
    ASSERT_TRUE(Doc().OpenProject(path));
    std::vector<uint8_t> junk = accepted.bytes;
    std::memcpy(junk.data(), "VOKB", 4);
    ASSERT_TRUE(WriteAll(Path("junk.scp"), junk));
    std::string jp = Path("junk.scp");
    EXPECT_FALSE(Doc().OpenProject(jp));
    EXPECT_FALSE(Doc().LastMessage().empty());
    EXPECT_EQ(Doc().DocumentPath(), Path("accepted.scp"));
    std::string missing = Path("nothing-here");
    EXPECT_FALSE(Doc().OpenProject(missing));
    EXPECT_EQ(Doc().LastMessage(), "can not open file!!");
    EXPECT_EQ(ReadAll(Path("junk.scp")), junk); // a file that fails to open is never modified
}

// The header fields that decide how frames decode: blocks of 32 pixels, 24 stored bits and
// 24-bit images are what the frame format holds; a file saying otherwise is refused with a
// sentence naming them, not decoded wrongly. A project without frames has no image header yet.
TEST_F(ProjectFile, HeadersOfAnotherFrameFormatAreRefused) {
    const auto pic = Picture(32, 4, 0);
    const HandFile good = BuildHandFile(32, 4, {HandKey(pic)});
    struct Case {
        size_t at;
        uint32_t value;
        bool twoBytes;
    };
    const Case cases[] = {{32, 16, false}, {36, 32, false}, {122, 32, true}, {122, 16, true}};
    for (const Case& c : cases) {
        std::vector<uint8_t> bytes = good.bytes;
        if (c.twoBytes)
            Put16(bytes, c.at, static_cast<uint16_t>(c.value));
        else
            Put32(bytes, c.at, c.value);
        ASSERT_TRUE(WriteAll(Path("other.scp"), bytes));
        std::string path = Path("other.scp");
        EXPECT_FALSE(Doc().OpenProject(path)) << "field at " << c.at;
        EXPECT_NE(Doc().LastMessage().find("does not read"), std::string::npos) << Doc().LastMessage();
        EXPECT_EQ(ReadAll(Path("other.scp")), bytes);
    }
    std::vector<uint8_t> empty = BuildHandFile(32, 4, {}).bytes;
    Put16(empty, 122, 0); // a new project's zeroed image header
    ASSERT_TRUE(WriteAll(Path("empty.scp"), empty));
    std::string path = Path("empty.scp");
    EXPECT_TRUE(Doc().OpenProject(path)) << Doc().LastMessage();
}

TEST_F(ProjectFile, DamagedFilesAreRefused) {
    const auto p0 = Picture(16, 8, 0), p1 = Picture(16, 8, 1);
    HandFile good = BuildHandFile(16, 8, {HandKey(p0), HandDiff(p0, p1)});

    // An entry pointing into the header.
    HandFile bad = good;
    Put32(bad.bytes, size_t(bad.frameDataEnd) + 8, 100);
    ASSERT_TRUE(WriteAll(Path("bad.scp"), bad.bytes));
    std::string path = Path("bad.scp");
    EXPECT_FALSE(Doc().OpenProject(path));
    EXPECT_EQ(Doc().LastMessage(), "this is a damaged file!");
    EXPECT_EQ(Doc().DocMode(), DOC_NONE);

    // A last frame that claims more data than the file holds once its header is counted,
    // though offset + data size alone still lies inside the file.
    HandFile cut = good;
    const size_t last = size_t(cut.offsets[1]);
    const int64_t room = int64_t(cut.bytes.size()) - int64_t(last);
    Put32(cut.bytes, last + 8, static_cast<uint32_t>(room - 24616 + 4));
    ASSERT_LT(int64_t(last) + LeI32(cut.bytes, last + 8), int64_t(cut.bytes.size()));
    ASSERT_TRUE(WriteAll(Path("cut.scp"), cut.bytes));
    path = Path("cut.scp");
    EXPECT_FALSE(Doc().OpenProject(path));

    // A key frame with no data.
    HandFrame empty = HandKey(p0);
    empty.data.clear();
    ASSERT_TRUE(WriteAll(Path("nokey.scp"), BuildHandFile(16, 8, {empty}).bytes));
    path = Path("nokey.scp");
    EXPECT_FALSE(Doc().OpenProject(path));

    // An element block whose stored offset is not where it lies.
    HandFile moved = good;
    Put32(moved.bytes, moved.bytes.size() - 8, 12345);
    ASSERT_TRUE(WriteAll(Path("moved.scp"), moved.bytes));
    path = Path("moved.scp");
    EXPECT_FALSE(Doc().OpenProject(path));

    // Still fine when intact.
    ASSERT_TRUE(WriteAll(Path("good.scp"), good.bytes));
    path = Path("good.scp");
    EXPECT_TRUE(Doc().OpenProject(path)) << Doc().LastMessage();
}

TEST_F(ProjectFile, HostileCountsAreRefusedBeforeAllocating) {
    std::vector<uint8_t> b = BuildHandFile(16, 8, {}).bytes;
    b.resize(200, 0);
    struct Case {
        size_t at;
        uint32_t value;
    } cases[] = {{8, 2000000000u},  {12, 0x7FFFFFFFu}, {20, 100000000u}, {8, 0xFFFFFFFFu},
                 {72, 0x7FFFFF00u}, {72, 100u},        {16, 0x80000000u}};
    for (const Case& c : cases) {
        std::vector<uint8_t> h = b;
        Put32(h, c.at, c.value);
        ASSERT_TRUE(WriteAll(Path("hostile.scp"), h));
        std::string path = Path("hostile.scp");
        EXPECT_FALSE(Doc().OpenProject(path)) << "field " << c.at << " = " << c.value;
        EXPECT_EQ(Doc().LastMessage(), "this is a damaged file!");
    }
    // A geometry too large for the block flags, with a frame.
    const auto pic = Picture(16, 8, 0);
    HandFile big = BuildHandFile(16, 8, {HandKey(pic)});
    Put32(big.bytes, 60, 2359296 + 96);
    ASSERT_TRUE(WriteAll(Path("big.scp"), big.bytes));
    std::string path = Path("big.scp");
    EXPECT_FALSE(Doc().OpenProject(path));
}

TEST_F(ProjectFile, SaveAsCompactsDropsTablesAndKeysEveryTenthFrame) {
    const int w = 40, h = 20;
    std::vector<std::vector<uint8_t>> pics;
    std::vector<HandFrame> frames;
    std::vector<int> kinds;
    for (int i = 0; i < 23; ++i) {
        pics.push_back(Picture(w, h, i));
        // The source has key frames at 0 and 5 only.
        const bool key = i == 0 || i == 5;
        frames.push_back(key ? HandKey(pics.back()) : HandDiff(pics[size_t(i) - 1], pics.back()));
        kinds.push_back(key ? 0 : 1);
    }
    HandFile f = BuildHandFile(w, h, frames, 0x20031211, 2, 3, 1);
    ASSERT_TRUE(WriteAll(Path("src.scp"), f.bytes));
    const auto expected = Expected(pics, kinds);
    std::string path = Path("src.scp");
    ASSERT_TRUE(Doc().OpenProject(path)) << Doc().LastMessage();
    EXPECT_EQ(Doc().Header().table2Count, 2);
    std::string copy = Path("copy");
    ASSERT_TRUE(Doc().SaveAs(copy)) << Doc().LastMessage();
    EXPECT_EQ(copy, Path("copy.scp"));
    EXPECT_EQ(Doc().DocumentPath(), copy);
    for (int i = 0; i < 23; ++i) {
        std::vector<uint8_t> img;
        FrameHeader fh;
        ASSERT_TRUE(Doc().LoadFrame(i, img, fh));
        EXPECT_EQ(img, expected[size_t(i)]) << "frame " << i;
    }
    Doc().Close();
    EXPECT_EQ(ReadAll(Path("src.scp")), f.bytes); // the source is untouched

    std::vector<uint8_t> b = ReadAll(copy);
    EXPECT_EQ(LeI32(b, 8), 23);
    EXPECT_EQ(LeI32(b, 12), 0);
    EXPECT_EQ(LeI32(b, 16), 0);
    EXPECT_EQ(LeI32(b, 20), 0);
    const size_t table = Le32(b, 72);
    size_t expectOffset = 148;
    for (int i = 0; i < 23; ++i) {
        const size_t e = table + size_t(i) * 8;
        EXPECT_EQ(Le32(b, e), expectOffset) << "frame " << i; // records packed from 148
        EXPECT_EQ(LeI32(b, e + 4), i % 10 == 0 ? 0 : 1) << "frame " << i;
        EXPECT_EQ(std::memcmp(b.data() + expectOffset, "SIGN", 4), 0);
        EXPECT_EQ(LeI32(b, expectOffset + 24), 11); // pointer fields kept
        expectOffset += 24616 + Le32(b, expectOffset + 8);
    }
    EXPECT_EQ(expectOffset, table);
    const size_t block = table + 23 * 8;
    EXPECT_EQ(Le32(b, block + 8), block);
    EXPECT_EQ(b.size(), block + 16);
}

TEST_F(ProjectFile, SaveAsOntoItselfAndAFailedSaveAs) {
    const auto p0 = Picture(24, 12, 0), p1 = Picture(24, 12, 1);
    HandFile f = BuildHandFile(24, 12, {HandKey(p0), HandDiff(p0, p1), HandDiff(p1, p0)});
    ASSERT_TRUE(WriteAll(Path("self.scp"), f.bytes));
    std::string path = Path("self.scp");
    ASSERT_TRUE(Doc().OpenProject(path));
    std::string target = Path("no-such-folder/x.scp");
    EXPECT_FALSE(Doc().SaveAs(target));
    EXPECT_EQ(Doc().DocumentPath(), path); // still working on the original
    EXPECT_EQ(ReadAll(path), f.bytes);
    std::string same = path;
    ASSERT_TRUE(Doc().SaveAs(same)) << Doc().LastMessage();
    ASSERT_EQ(Doc().FrameCount(), 3);
    std::vector<uint8_t> img;
    FrameHeader fh;
    ASSERT_TRUE(Doc().LoadFrame(2, img, fh));
    EXPECT_EQ(img, p0);
    for (const auto& e : std::filesystem::directory_iterator(dir))
        EXPECT_EQ(e.path().filename().string().rfind(".zov-save", 0), std::string::npos)
            << "temporary file left";
}

TEST_F(ProjectFile, CapturedRecordsTakenApart) {
    std::string path = Path("rec");
    ASSERT_TRUE(Doc().NewProject(path, false));
    const int w = 50, h = 10;
    ASSERT_TRUE(Doc().BeginCaptureRun(w, h, std::chrono::system_clock::now()));
    EXPECT_EQ(Doc().RowBytes(), 152);
    EXPECT_EQ(Doc().ImageSize(), 1520);
    const auto p0 = Picture(w, h, 0), p1 = Picture(w, h, 1);
    ASSERT_TRUE(Doc().AppendCapturedFrame(p0.data(), nullptr, FRAME_KEY, 5, 6, 1));
    ASSERT_TRUE(Doc().AppendCapturedFrame(p1.data(), p0.data(), FRAME_DIFF, 7, 8, -1));
    ASSERT_TRUE(Doc().AppendCapturedFrame(p1.data(), p1.data(), FRAME_DIFF, 9, 9, 2));
    EXPECT_FALSE(Doc().AppendCapturedFrame(p1.data(), nullptr, FRAME_DIFF, 0, 0, 0));
    const uint8_t cursor[20] = {1, 2, 3};
    ASSERT_TRUE(Doc().AppendCursorRecord(cursor, sizeof cursor));
    ASSERT_TRUE(Doc().WriteIndex());
    Doc().Close();
    EXPECT_EQ(std::filesystem::file_size(Path("cursor.bin")), 20u);

    std::vector<uint8_t> b = ReadAll(Path("rec.scp"));
    EXPECT_EQ(LeI32(b, 8), 3);
    EXPECT_EQ(LeI32(b, 56), 152);
    EXPECT_EQ(LeI32(b, 60), 1520);
    EXPECT_EQ(LeI32(b, 108), 40);
    EXPECT_EQ(LeI32(b, 112), w);
    EXPECT_EQ(LeI32(b, 116), h);
    EXPECT_EQ(b[120] | (b[121] << 8), 1);
    EXPECT_EQ(b[122] | (b[123] << 8), 24);
    EXPECT_EQ(LeI32(b, 128), 1520);
    EXPECT_EQ(b[76 + 4], '-');
    EXPECT_EQ(std::strlen(reinterpret_cast<const char*>(b.data() + 76)), 25u);
    const size_t table = Le32(b, 72);
    for (int i = 0; i < 3; ++i) {
        const size_t rec = Le32(b, table + size_t(i) * 8);
        EXPECT_EQ(LeI32(b, table + size_t(i) * 8 + 4), i == 0 ? 0 : 1);
        EXPECT_EQ(std::memcmp(b.data() + rec, "SIGN", 4), 0);
        EXPECT_EQ(LeI32(b, rec + 4), -1);
        EXPECT_EQ(LeI32(b, rec + 12), -1);
        EXPECT_EQ(LeI32(b, rec + 16), 0);
        EXPECT_EQ(LeI32(b, rec + 20), 0);
        EXPECT_EQ(b[rec + 36], 1);
        const int32_t size = LeI32(b, rec + 8);
        if (i == 0) {
            std::vector<uint8_t> img(1520);
            uLongf len = img.size();
            ASSERT_EQ(uncompress(img.data(), &len, b.data() + rec + 24616, size), Z_OK);
            EXPECT_EQ(img, p0);
            EXPECT_EQ(LeI32(b, rec + 32), 1);
        } else {
            int stored = 0;
            for (int k = 0; k < 1520 / 96; ++k)
                stored += b[rec + 37 + k] == 0;
            EXPECT_EQ(size, stored * 96);
            if (i == 2) {
                EXPECT_EQ(size, 0);
                EXPECT_EQ(b[rec + 37], 1);
            }
        }
    }
    // The element block follows the table and names its own offset.
    EXPECT_EQ(Le32(b, table + 24 + 8), table + 24);
    EXPECT_EQ(b.size(), table + 24 + 16);
}

TEST_F(ProjectFile, OversizedCaptureAreasAreRefusedWhereverGeometryIsSet) {
    std::string path = Path("size");
    ASSERT_TRUE(Doc().NewProject(path, false));
    EXPECT_FALSE(Doc().BeginCaptureRun(1025, 768, std::chrono::system_clock::now()));
    EXPECT_NE(Doc().LastMessage().find(".zov"), std::string::npos);
    EXPECT_FALSE(Doc().SetCaptureRect(CaptureRect{100, 100, 1380, 900}));
    EXPECT_TRUE(Doc().SetCaptureRect(CaptureRect{0, 0, 1024, 768}));
    ASSERT_TRUE(Doc().BeginCaptureRun(1024, 768, std::chrono::system_clock::now()));
    EXPECT_EQ(Doc().ImageSize(), 2359296);
    // Frames exist: a different area would make them undecodable.
    std::vector<uint8_t> grey(2359296, 90);
    ASSERT_TRUE(Doc().AppendCapturedFrame(grey.data(), nullptr, FRAME_KEY, 0, 0, 0));
    EXPECT_FALSE(Doc().BeginCaptureRun(800, 600, std::chrono::system_clock::now()));
    EXPECT_TRUE(Doc().BeginCaptureRun(1024, 768, std::chrono::system_clock::now()));
}

TEST_F(ProjectFile, TwoGigabyteLimitLeavesTheFileAsItWas) {
    const auto p0 = Picture(32, 8, 0), p1 = Picture(32, 8, 1);
    HandFile f = BuildHandFile(32, 8, {HandKey(p0), HandDiff(p0, p1), HandDiff(p1, p0)});
    ASSERT_TRUE(WriteAll(Path("big.scp"), f.bytes));
    // Bytes after the element block are ignored: make the file end just below 2 GiB (sparse).
    ASSERT_EQ(truncate(Path("big.scp").c_str(), 0x7FFFFFFFLL - 200), 0);
    std::string path = Path("big.scp");
    ASSERT_TRUE(Doc().OpenProject(path)) << Doc().LastMessage();
    EXPECT_FALSE(Doc().DeleteFrames(0, 1, true));
    EXPECT_NE(Doc().LastMessage().find("2 GiB"), std::string::npos);
    EXPECT_FALSE(Doc().PasteFrames(0, 2, 3));
    EXPECT_EQ(Doc().FrameCount(), 3);
    EXPECT_EQ(Doc().UndoCount(), 0); // refused edits leave nothing to undo
    ASSERT_TRUE(Doc().BeginCaptureRun(32, 8, std::chrono::system_clock::now()));
    EXPECT_FALSE(Doc().AppendCapturedFrame(p0.data(), nullptr, FRAME_KEY, 0, 0, 0));
    EXPECT_EQ(Doc().FrameCount(), 3);
    Doc().Close();
    EXPECT_EQ(std::filesystem::file_size(path), 0x7FFFFFFFull - 200);
    std::vector<uint8_t> head(f.bytes.size());
    FILE* in = std::fopen(path.c_str(), "rb");
    ASSERT_NE(in, nullptr);
    ASSERT_EQ(std::fread(head.data(), 1, head.size(), in), head.size());
    std::fclose(in);
    EXPECT_EQ(head, f.bytes);
    ASSERT_TRUE(Doc().OpenProject(path));
    EXPECT_EQ(Doc().FrameCount(), 3);
}

// A commit that writes no frame records moves the index back down instead of appending a
// new one: unchanged saves, element edits and deletes at the end keep the file's size, and
// bytes another writer left after the element block are reclaimed.
TEST_F(ProjectFile, CommitsWithoutNewRecordsDoNotGrowTheFile) {
    std::vector<HandFrame> frames;
    std::vector<std::vector<uint8_t>> pics;
    for (int i = 0; i < 30; ++i) {
        pics.push_back(Picture(40, 12, i));
        frames.push_back(i % 10 == 0 ? HandKey(pics.back()) : HandDiff(pics[size_t(i) - 1], pics.back()));
    }
    HandFile hand = BuildHandFile(40, 12, frames);
    const size_t handSize = hand.bytes.size();
    hand.bytes.resize(handSize + 5000, 0x55); // left by another writer after the element block
    ASSERT_TRUE(WriteAll(Path("p.scp"), hand.bytes));
    std::string path = Path("p.scp");
    ASSERT_TRUE(Doc().OpenProject(path)) << Doc().LastMessage();
    ASSERT_TRUE(Doc().WriteIndex());
    EXPECT_EQ(std::filesystem::file_size(path), handSize);

    ElementRecord* image = Doc().Elements().Create(0, 29, ELEMENT_IMAGE);
    ImageInfoHeader info{};
    info.biWidth = 200;
    info.biHeight = 200;
    info.biBitCount = 24;
    const std::vector<uint8_t> bits(200 * 600, 0x3C);
    ASSERT_EQ(Doc().Elements().SetImage(image, info, bits.data(), uint32_t(bits.size())), 0);
    ASSERT_TRUE(Doc().WriteIndex());
    const uintmax_t settled = std::filesystem::file_size(path);
    EXPECT_EQ(settled, handSize + 20 + 80 + bits.size()); // the larger index took the old one's place
    for (int save = 0; save < 5; ++save) {
        ASSERT_TRUE(Doc().WriteIndex());
        EXPECT_EQ(std::filesystem::file_size(path), settled) << "save " << save;
    }
    image->lastFrame = 20;
    ASSERT_TRUE(Doc().WriteIndex());
    EXPECT_EQ(std::filesystem::file_size(path), settled);

    // Deleting the last frames writes no record: the file never grows.
    for (int k = 0; k < 4; ++k) {
        const uintmax_t before = std::filesystem::file_size(path);
        ASSERT_TRUE(Doc().DeleteFrames(Doc().FrameCount() - 2, 2, true));
        EXPECT_LE(std::filesystem::file_size(path), before) << "delete " << k;
    }
    ASSERT_EQ(Doc().FrameCount(), 22);
    Doc().Close();
    ASSERT_TRUE(Doc().OpenProject(path)) << Doc().LastMessage();
    EXPECT_TRUE(Doc().CheckFile());
    ASSERT_EQ(Doc().Elements().Count(), 1);
    EXPECT_EQ(Doc().Elements().At(0)->lastFrame, 20);
    std::vector<uint8_t> img;
    FrameHeader fh;
    for (int i = 0; i < 22; ++i) {
        ASSERT_TRUE(Doc().LoadFrame(i, img, fh)) << i;
        EXPECT_TRUE(std::equal(img.begin(), img.begin() + 1440 / 96 * 96, pics[size_t(i)].begin())) << i;
    }
}

} // namespace

// The progress dialog's Cancel: a cancelled open keeps the project that was open, a cancelled
// save as leaves no copy and no temporary file, and the open document stays as it was.
TEST_F(ProjectFile, CancelledOpenAndSaveAsChangeNothing) {
    const auto p0 = Picture(24, 12, 0), p1 = Picture(24, 12, 1);
    HandFile a = BuildHandFile(24, 12, {HandKey(p0), HandDiff(p0, p1)});
    HandFile b = BuildHandFile(24, 12, {HandKey(p1), HandDiff(p1, p0), HandDiff(p0, p1)});
    ASSERT_TRUE(WriteAll(Path("a.scp"), a.bytes));
    ASSERT_TRUE(WriteAll(Path("b.scp"), b.bytes));
    std::string pathA = Path("a.scp");
    ASSERT_TRUE(Doc().OpenProject(pathA));

    std::atomic<bool> cancel{true};
    std::string pathB = Path("b.scp");
    EXPECT_FALSE(Doc().OpenProject(pathB, &cancel));
    EXPECT_EQ(Doc().DocumentPath(), pathA);
    EXPECT_EQ(Doc().FrameCount(), 2);
    EXPECT_EQ(ReadAll(Path("b.scp")), b.bytes);

    std::string copy = Path("copy.scp");
    EXPECT_FALSE(Doc().SaveAs(copy, &cancel));
    EXPECT_FALSE(std::filesystem::exists(copy));
    EXPECT_EQ(Doc().DocumentPath(), pathA);
    EXPECT_EQ(ReadAll(pathA), a.bytes);
    std::vector<uint8_t> img;
    FrameHeader fh;
    ASSERT_TRUE(Doc().LoadFrame(1, img, fh));
    EXPECT_EQ(img, p1);
    for (const auto& e : std::filesystem::directory_iterator(dir))
        EXPECT_EQ(e.path().filename().string().rfind(".zov-save", 0), std::string::npos)
            << "temporary file left";

    cancel = false; // the same calls without a cancel go through
    EXPECT_TRUE(Doc().SaveAs(copy, &cancel)) << Doc().LastMessage();
    EXPECT_TRUE(Doc().OpenProject(pathB, &cancel)) << Doc().LastMessage();
    EXPECT_EQ(Doc().FrameCount(), 3);
}
