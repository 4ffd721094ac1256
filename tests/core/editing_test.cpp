// Frame editing and undo: delete, paste, clear all, the bitmap-series append, and how the
// element ranges follow.
#include "tests/core/DocTest.h"

#include "base/Bitmap.h"
#include "elements/ElementList.h"

#include <condition_variable>
#include <mutex>

using namespace zov;
using namespace zovtest;

namespace {

constexpr int kW = 40, kH = 12;

class Editing : public DocTest {
  protected:
    // A project of n frames of Picture(kW, kH, i): key frames every `keyEvery`.
    void MakeProject(int n, int keyEvery = 10) {
        pics.clear();
        std::vector<HandFrame> frames;
        for (int i = 0; i < n; ++i) {
            pics.push_back(Picture(kW, kH, i));
            frames.push_back(i % keyEvery == 0 ? HandKey(pics.back())
                                               : HandDiff(pics[size_t(i) - 1], pics.back()));
        }
        // Whole blocks only (1,440 bytes = 15 blocks), so every frame decodes to its picture.
        ASSERT_EQ(pics[0].size() % 96, 0u);
        ASSERT_TRUE(WriteAll(Path("p.scp"), BuildHandFile(kW, kH, frames).bytes));
        path = Path("p.scp");
        ASSERT_TRUE(Doc().OpenProject(path)) << Doc().LastMessage();
    }
    // The frames must decode to these pictures, in memory and again after reopening.
    void ExpectFrames(const std::vector<int>& which) {
        for (int pass = 0; pass < 2; ++pass) {
            ASSERT_EQ(Doc().FrameCount(), int(which.size())) << "pass " << pass;
            std::vector<uint8_t> img;
            FrameHeader fh;
            for (size_t i = 0; i < which.size(); ++i) {
                ASSERT_TRUE(Doc().LoadFrame(int(i), img, fh)) << "frame " << i << " pass " << pass;
                EXPECT_EQ(img, pics[size_t(which[i])]) << "frame " << i << " pass " << pass;
            }
            EXPECT_TRUE(Doc().CheckFile());
            if (pass == 0) {
                Doc().Close();
                std::string p = path;
                ASSERT_TRUE(Doc().OpenProject(p)) << Doc().LastMessage();
            }
        }
    }
    static std::vector<int> Range(int a, int b) {
        std::vector<int> v;
        for (int i = a; i < b; ++i)
            v.push_back(i);
        return v;
    }
    std::vector<std::vector<uint8_t>> pics;
    std::string path;
};

TEST_F(Editing, DeleteMakesTheNextDifferenceFrameAKeyFrame) {
    MakeProject(10);
    ASSERT_TRUE(Doc().DeleteFrames(3, 3, true));
    EXPECT_EQ(Doc().FrameTable()[3].kind, FRAME_KEY);
    EXPECT_EQ(Doc().FrameTable()[4].kind, FRAME_DIFF);
    EXPECT_EQ(Doc().LastMessage(), "");
    ExpectFrames({0, 1, 2, 6, 7, 8, 9});
    // Deleting up to the end needs no new key frame; bad ranges are refused.
    EXPECT_FALSE(Doc().DeleteFrames(5, 3, true));
    EXPECT_FALSE(Doc().DeleteFrames(-1, 1, true));
    EXPECT_FALSE(Doc().DeleteFrames(0, 0, true));
    ASSERT_TRUE(Doc().DeleteFrames(5, 2, true));
    ExpectFrames({0, 1, 2, 6, 7});
}

TEST_F(Editing, PasteInsideItsOwnSourceDoesNothing) {
    MakeProject(4);
    const auto before = ReadAll(path);
    EXPECT_TRUE(Doc().PasteFrames(0, 2, 1));
    EXPECT_TRUE(Doc().PasteFrames(1, 2, 1));
    EXPECT_TRUE(Doc().PasteFrames(1, 0, 3));
    EXPECT_EQ(Doc().UndoCount(), 0);
    EXPECT_EQ(ReadAll(path), before);
    EXPECT_FALSE(Doc().PasteFrames(2, 5, 0)); // past the end
    EXPECT_FALSE(Doc().PasteFrames(0, 1, 9));
}

TEST_F(Editing, PasteCopiesFramesAndUndoCutsTheFileBack) {
    MakeProject(8, 4);
    const auto lengthBefore = std::filesystem::file_size(path);
    const auto bytesBefore = ReadAll(path);
    ASSERT_TRUE(Doc().PasteFrames(1, 3, 6));          // frames 1..3 before frame 6
    EXPECT_EQ(Doc().FrameTable()[6].kind, FRAME_KEY); // first copy stands alone
    EXPECT_EQ(Doc().FrameTable()[9].kind, FRAME_KEY); // old frame 6 lost its predecessor
    ExpectFrames({0, 1, 2, 3, 4, 5, 1, 2, 3, 6, 7});
    EXPECT_GT(std::filesystem::file_size(path), lengthBefore);
    // Reopening emptied the stack; paste again and undo in the same session.
    ASSERT_TRUE(Doc().PasteFrames(5, 2, 0));
    ExpectFrames({5, 1, 0, 1, 2, 3, 4, 5, 1, 2, 3, 6, 7}); // index 6 held picture 1
    EXPECT_EQ(Doc().UndoCount(), 0);

    std::string p = path;
    ASSERT_TRUE(WriteAll(path, bytesBefore));
    ASSERT_TRUE(Doc().OpenProject(p));
    ASSERT_TRUE(Doc().PasteFrames(1, 3, 6));
    ASSERT_EQ(Doc().UndoCount(), 1);
    ASSERT_TRUE(Doc().Undo());
    EXPECT_EQ(std::filesystem::file_size(path), lengthBefore);
    EXPECT_EQ(ReadAll(path), bytesBefore);
    ExpectFrames(Range(0, 8));
    EXPECT_FALSE(Doc().Undo()); // nothing left (and reopening emptied it anyway)
}

TEST_F(Editing, ElevenDeletesThenOneUndoRestoresTheStateBeforeTheTenth) {
    MakeProject(30);
    for (int i = 0; i < 11; ++i)
        ASSERT_TRUE(Doc().DeleteFrames(0, 1, true));
    EXPECT_EQ(Doc().FrameCount(), 19);
    EXPECT_EQ(Doc().UndoCount(), 10);
    ASSERT_TRUE(Doc().Undo());
    EXPECT_EQ(Doc().UndoCount(), 9);
    ExpectFrames(Range(9, 30));
}

TEST_F(Editing, UndoStackIsEmptiedWhenTheDocumentChanges) {
    MakeProject(5);
    ASSERT_TRUE(Doc().DeleteFrames(0, 1, true));
    ASSERT_EQ(Doc().UndoCount(), 1);
    std::string other = Path("other");
    ASSERT_TRUE(Doc().NewProject(other, false));
    EXPECT_EQ(Doc().UndoCount(), 0);
    EXPECT_FALSE(Doc().Undo());
    std::string p = path;
    ASSERT_TRUE(Doc().OpenProject(p));
    ASSERT_TRUE(Doc().DeleteFrames(0, 1, false)); // without a snapshot
    EXPECT_EQ(Doc().UndoCount(), 0);
    ASSERT_TRUE(Doc().DeleteFrames(0, 1, true));
    Doc().Close();
    EXPECT_EQ(Doc().UndoCount(), 0);
}

TEST_F(Editing, ClearAllLeavesHeaderAndElementBlock) {
    MakeProject(6);
    Doc().Elements().Create(0, 3, ELEMENT_LINE);
    ASSERT_TRUE(Doc().DeleteFrames(0, 1, true));
    ASSERT_TRUE(Doc().ClearAllFrames());
    // The file was cut below the records the snapshot refers to.
    EXPECT_EQ(Doc().UndoCount(), 0);
    EXPECT_EQ(Doc().FrameCount(), 0);
    EXPECT_EQ(Doc().Header().frameDataEnd, 148);
    Doc().Close();
    const auto b = ReadAll(path);
    EXPECT_EQ(LeI32(b, 8), 0);
    EXPECT_EQ(LeI32(b, 72), 148);
    EXPECT_EQ(LeI32(b, 156), 148);
    EXPECT_EQ(b.size(), 148u + 16 + Le32(b, 152));
    std::string p = path;
    ASSERT_TRUE(Doc().OpenProject(p));
    EXPECT_EQ(Doc().Elements().Count(), 1);
}

TEST_F(Editing, ElementRangesFollowDeleteAndPaste) {
    MakeProject(40);
    CElementList& el = Doc().Elements();
    ElementRecord* a = el.Create(5, 15, ELEMENT_BOX);
    ElementRecord* b = el.Create(15, 30, ELEMENT_CIRCLE);
    ASSERT_NE(el.Create(12, 18, ELEMENT_LINE), nullptr);
    ASSERT_TRUE(a && b);
    ASSERT_TRUE(Doc().DeleteFrames(10, 10, true));
    ASSERT_EQ(el.Count(), 2);
    // Undo brings the ranges back with the frames, the deleted element included.
    ASSERT_TRUE(Doc().Undo());
    ASSERT_EQ(Doc().Elements().Count(), 3);
    EXPECT_EQ(Doc().Elements().At(1)->lastFrame, 30);
    EXPECT_EQ(Doc().Elements().At(2)->firstFrame, 12);
    ASSERT_TRUE(Doc().DeleteFrames(10, 10, true));
    ASSERT_EQ(Doc().Elements().Count(), 2);
    CElementList& el2 = Doc().Elements();
    ASSERT_EQ(el2.Count(), 2);
    EXPECT_EQ(el2.At(0)->firstFrame, 5);
    EXPECT_EQ(el2.At(0)->lastFrame, 9);
    EXPECT_EQ(el2.At(1)->firstFrame, 10);
    EXPECT_EQ(el2.At(1)->lastFrame, 20);
    // Written with the edit: reopening shows the same ranges.
    Doc().Close();
    std::string p = path;
    ASSERT_TRUE(Doc().OpenProject(p));
    CElementList& again = Doc().Elements();
    ASSERT_EQ(again.Count(), 2);
    EXPECT_EQ(again.At(1)->lastFrame, 20);
    again.Clear();
    again.Create(5, 15, ELEMENT_BOX);
    again.Create(10, 12, ELEMENT_BOX);
    ASSERT_TRUE(Doc().PasteFrames(0, 3, 10));
    EXPECT_EQ(again.At(0)->firstFrame, 5);
    EXPECT_EQ(again.At(0)->lastFrame, 18);
    EXPECT_EQ(again.At(1)->firstFrame, 13);
    EXPECT_EQ(again.At(1)->lastFrame, 15);
}

class Import : public DocTest {
  protected:
    std::string LogText() {
        const auto b = ReadAll(Path("test.log"));
        return std::string(b.begin(), b.end());
    }
    void WriteSeries(const std::vector<long>& numbers, int w, int h, const std::string& stem = "file") {
        for (long n : numbers) {
            Image24 img;
            img.Allocate(w, h);
            const auto pic = Picture(w, h, int(n));
            std::copy(pic.begin(), pic.end(), img.bits.begin());
            char name[64];
            std::snprintf(name, sizeof name, "%s%04ld.bmp", stem.c_str(), n);
            ASSERT_TRUE(WriteBmp(Path(name), img));
        }
    }
};

struct Recorder : IDocumentEvents {
    void OnImportProgress(int kind, int appended, const std::string& text) override {
        events.push_back(std::to_string(kind) + ":" + std::to_string(appended) + ":" + text);
    }
    std::vector<std::string> events;
};

TEST_F(Import, SeriesStopsAtTheFirstGapAndReportsProgress) {
    WriteSeries({0, 1, 3}, 33, 7);
    std::string p = Path("imp");
    ASSERT_TRUE(Doc().NewProject(p, false));
    Recorder rec;
    Doc().AddListener(&rec);
    BitmapAppendRequest req;
    req.firstPath = Path("file0000.bmp");
    ASSERT_TRUE(Doc().StartBitmapAppend(req));
    Doc().WaitBitmapAppend(req);
    Doc().RemoveListener(&rec);
    ASSERT_TRUE(req.result) << req.error;
    EXPECT_EQ(req.appended.load(), 2);
    EXPECT_EQ(rec.events,
              (std::vector<std::string>{"0:1:appended frames: 1", "0:2:appended frames: 2", "1:2:"}));
    EXPECT_EQ(Doc().FrameCount(), 2);
    EXPECT_EQ(Doc().ImageWidth(), 33);
    EXPECT_EQ(Doc().GetCaptureRect().right, 33);
    std::vector<uint8_t> img;
    FrameHeader fh;
    ASSERT_TRUE(Doc().LoadFrame(1, img, fh));
    EXPECT_EQ(fh.captured, 0);
    const auto want = Picture(33, 7, 1);
    // Rows of 100 bytes: 99 pixel bytes and one padding byte, which the grey fill leaves 128.
    for (int y = 0; y < 7; ++y) {
        const size_t row = size_t(y) * 100;
        if (row + 100 > 672) // the 28 bytes past the last whole block come from frame 0
            break;
        EXPECT_EQ(std::vector<uint8_t>(img.begin() + row, img.begin() + row + 99),
                  std::vector<uint8_t>(want.begin() + row, want.begin() + row + 99))
            << "row " << y;
        EXPECT_EQ(img[row + 99], 128);
    }
    EXPECT_EQ(Doc().UndoCount(), 1);
    ASSERT_TRUE(Doc().Undo());
    EXPECT_EQ(Doc().FrameCount(), 0);
}

TEST_F(Import, SmallerBitmapsSitBottomLeftOnGrey) {
    WriteSeries({0}, 20, 10, "big");
    WriteSeries({5, 6}, 8, 4, "small");
    std::string p = Path("mix");
    ASSERT_TRUE(Doc().NewProject(p, false));
    BitmapAppendRequest a;
    a.firstPath = Path("big0000.bmp");
    ASSERT_TRUE(Doc().AppendFramesFromBitmaps(a));
    BitmapAppendRequest b;
    b.firstPath = Path("small0005.bmp");
    ASSERT_TRUE(Doc().AppendFramesFromBitmaps(b));
    ASSERT_EQ(Doc().FrameCount(), 3);
    EXPECT_EQ(Doc().FrameTable()[1].kind, FRAME_KEY); // each import starts with a key frame
    EXPECT_EQ(Doc().FrameTable()[2].kind, FRAME_DIFF);
    Image24 img;
    ASSERT_TRUE(Doc().LoadFrame(1, img));
    const auto small = Picture(8, 4, 5);
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 20; ++x) {
            const uint8_t* px = img.bits.data() + y * img.RowBytes() + x * 3; // bottom-up row y
            if (x < 8 && y < 4) {
                EXPECT_EQ(px[1], small[size_t(y) * 24 + size_t(x) * 3 + 1]) << x << "," << y;
            } else {
                EXPECT_EQ(px[1], 128) << x << "," << y;
            }
        }
}

TEST_F(Import, RefusedSeriesLeaveTheProjectAsItWas) {
    std::string p = Path("empty");
    ASSERT_TRUE(Doc().NewProject(p, false));
    const auto before = ReadAll(p);
    BitmapAppendRequest missing;
    missing.firstPath = Path("none0000.bmp");
    EXPECT_FALSE(Doc().AppendFramesFromBitmaps(missing));
    EXPECT_FALSE(missing.error.empty());
    BitmapAppendRequest unnumbered;
    unnumbered.firstPath = Path("plain.bmp");
    EXPECT_FALSE(Doc().AppendFramesFromBitmaps(unnumbered));
    // Too large for the frame format: 1100 x 800.
    Image24 huge;
    huge.Allocate(1100, 800);
    ASSERT_TRUE(WriteBmp(Path("huge0001.bmp"), huge));
    BitmapAppendRequest big;
    big.firstPath = Path("huge0001.bmp");
    EXPECT_FALSE(Doc().AppendFramesFromBitmaps(big));
    EXPECT_NE(big.error.find("2,359,296"), std::string::npos);
    EXPECT_EQ(Doc().FrameCount(), 0);
    EXPECT_EQ(Doc().ImageSize(), 0);
    EXPECT_EQ(Doc().UndoCount(), 0);
    EXPECT_EQ(ReadAll(p), before);
}

// A series cut short by a file that will not read keeps the frames before it, but it did not
// run out by itself: no "finished". Only a compressed bitmap logs "***** fail!".
TEST_F(Import, ReadErrorsEndTheSeriesWithoutFinished) {
    WriteSeries({0, 1}, 16, 8);
    WriteAll(Path("file0002.bmp"), std::vector<uint8_t>(30, 'x')); // not a bitmap
    WriteSeries({3}, 16, 8);
    std::string p = Path("cut");
    ASSERT_TRUE(Doc().NewProject(p, false));
    Recorder rec;
    Doc().AddListener(&rec);
    BitmapAppendRequest req;
    req.firstPath = Path("file0000.bmp");
    ASSERT_TRUE(Doc().AppendFramesFromBitmaps(req));
    EXPECT_EQ(req.appended.load(), 2);
    EXPECT_NE(req.error.find("file0002.bmp"), std::string::npos) << req.error;
    EXPECT_EQ(rec.events, (std::vector<std::string>{"0:1:appended frames: 1", "0:2:appended frames: 2"}));
    EXPECT_EQ(LogText().find("***** fail!"), std::string::npos);

    // Run-length compressed (compression 1): refused, and said so in the log.
    auto bytes = ReadAll(Path("file0001.bmp"));
    ASSERT_GE(bytes.size(), 54u);
    Put32(bytes, 30, 1);
    ASSERT_TRUE(WriteAll(Path("rle0000.bmp"), ReadAll(Path("file0000.bmp"))));
    ASSERT_TRUE(WriteAll(Path("rle0001.bmp"), bytes));
    rec.events.clear();
    BitmapAppendRequest rle;
    rle.firstPath = Path("rle0000.bmp");
    ASSERT_TRUE(Doc().AppendFramesFromBitmaps(rle));
    Doc().RemoveListener(&rec);
    EXPECT_EQ(rle.appended.load(), 1);
    EXPECT_EQ(rec.events, (std::vector<std::string>{"0:1:appended frames: 1"}));
    EXPECT_NE(LogText().find("***** fail!"), std::string::npos);
    EXPECT_EQ(Doc().FrameCount(), 3);
}

// A stop asked for while the series still has files: the worker ends, keeps what it stored,
// and no "finished" follows.
TEST_F(Import, StopEndsTheWorkerWithoutFinished) {
    std::vector<long> numbers;
    for (long i = 0; i < 60; ++i)
        numbers.push_back(i);
    WriteSeries(numbers, 64, 48);
    std::string p = Path("stop");
    ASSERT_TRUE(Doc().NewProject(p, false));
    BitmapAppendRequest req;
    req.firstPath = Path("file0000.bmp");
    // The first progress event holds the worker until the stop has been asked for, so the
    // stop always lands in the middle of the series.
    struct Holder : IDocumentEvents {
        BitmapAppendRequest* req = nullptr;
        std::mutex m;
        std::condition_variable cv;
        std::vector<int> kinds;
        void OnImportProgress(int kind, int, const std::string&) override {
            std::unique_lock<std::mutex> l(m);
            kinds.push_back(kind);
            cv.notify_all();
            cv.wait(l, [this] { return req->running.load() == 0; });
        }
    } holder;
    holder.req = &req;
    Doc().AddListener(&holder);
    ASSERT_TRUE(Doc().StartBitmapAppend(req));
    {
        std::unique_lock<std::mutex> l(holder.m);
        holder.cv.wait(l, [&] { return !holder.kinds.empty(); });
        req.running = 0;
        holder.cv.notify_all();
    }
    ASSERT_TRUE(Doc().StopBitmapAppend(req));
    Doc().RemoveListener(&holder);
    EXPECT_FALSE(req.worker.joinable());
    EXPECT_TRUE(req.result);
    EXPECT_EQ(req.appended.load(), 1);
    EXPECT_EQ(holder.kinds, std::vector<int>{kImportProgressStep});
    EXPECT_EQ(Doc().FrameCount(), 1);
    EXPECT_TRUE(Doc().CheckFile());
}

} // namespace
