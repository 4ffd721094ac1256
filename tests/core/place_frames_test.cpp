// Placing an imported series at a chosen position: the frames move from the end to the
// position without their pictures changing, the frame after them stays right, and one Undo
// takes the whole import back.
#include "tests/core/DocTest.h"

#include "base/Bitmap.h"

using namespace zov;
using zovtest::DocTest;

namespace {

constexpr int W = 24, H = 16;

std::vector<uint8_t> Frame(CAni& doc, int index) {
    std::vector<uint8_t> img;
    FrameHeader h{};
    EXPECT_TRUE(doc.LoadFrame(index, img, h)) << index;
    return img;
}

class PlaceFramesTest : public DocTest {
  protected:
    // A project of five recorded frames (key frame, then differences) and the bitmaps
    // shot098 .. shot100, then a gap, then shot102.
    void SetUp() override {
        DocTest::SetUp();
        std::string p = Path("proj.scp");
        ASSERT_TRUE(Doc().NewProject(p, false));
        ASSERT_TRUE(Doc().BeginCaptureRun(W, H, std::chrono::system_clock::now()));
        std::vector<uint8_t> prev;
        for (int f = 0; f < 5; ++f) {
            const auto img = zovtest::Picture(W, H, f);
            ASSERT_TRUE(Doc().AppendCapturedFrame(img.data(), f ? prev.data() : nullptr,
                                                  f ? FRAME_DIFF : FRAME_KEY, 0, 0, 0));
            prev = img;
        }
        ASSERT_TRUE(Doc().WriteIndex());
        for (int n : {98, 99, 100, 102}) {
            Image24 bmp;
            bmp.Allocate(W, H);
            const auto pic = zovtest::Picture(W, H, 50 + n);
            bmp.bits.assign(pic.begin(), pic.end());
            char name[32];
            std::snprintf(name, sizeof name, "shot%03d.bmp", n);
            ASSERT_TRUE(WriteBmp(Path(name), bmp));
        }
        for (int f = 0; f < 5; ++f)
            original.push_back(Frame(Doc(), f));
    }
    std::vector<std::vector<uint8_t>> original;
};

} // namespace

TEST_F(PlaceFramesTest, ImportedSeriesMovesToThePositionAndOneUndoTakesItBack) {
    BitmapAppendRequest request;
    request.firstPath = Path("shot098.bmp");
    ASSERT_TRUE(Doc().AppendFramesFromBitmaps(request)) << request.error << Doc().LastMessage();
    // shot098, shot099, shot100 (three digits at least), and the gap at 101 ends the series.
    ASSERT_EQ(request.appended.load(), 3);
    ASSERT_EQ(Doc().FrameCount(), 8);
    const int undoSteps = Doc().UndoCount();
    ASSERT_TRUE(Doc().PlaceAppendedFrames(3, 2));
    EXPECT_EQ(Doc().UndoCount(), undoSteps); // no step of its own
    ASSERT_EQ(Doc().FrameCount(), 8);
    const std::vector<int> expectedSource = {0, 1, -98, -99, -100, 2, 3, 4};
    for (int i = 0; i < 8; ++i) {
        const int s = expectedSource[size_t(i)];
        if (s >= 0)
            EXPECT_EQ(Frame(Doc(), i), original[size_t(s)]) << "frame " << i;
        else
            EXPECT_EQ(Frame(Doc(), i), zovtest::Picture(W, H, 50 - s)) << "frame " << i;
    }
    // The frame after the moved ones lost its predecessor: it stands whole now.
    EXPECT_EQ(Doc().FrameTable()[5].kind, FRAME_KEY);
    EXPECT_EQ(Doc().FrameTable()[2].kind, FRAME_KEY);
    EXPECT_TRUE(Doc().CheckFile());
    // What is on disk is what the document shows.
    std::string p = Doc().DocumentPath();
    Doc().Close();
    ASSERT_TRUE(Doc().OpenProject(p));
    ASSERT_EQ(Doc().FrameCount(), 8);
    EXPECT_EQ(Frame(Doc(), 3), zovtest::Picture(W, H, 50 + 99));
    EXPECT_EQ(Frame(Doc(), 6), original[3]);
}

TEST_F(PlaceFramesTest, OneUndoRemovesAPlacedImport) {
    BitmapAppendRequest request;
    request.firstPath = Path("shot098.bmp");
    ASSERT_TRUE(Doc().AppendFramesFromBitmaps(request)) << request.error << Doc().LastMessage();
    ASSERT_TRUE(Doc().PlaceAppendedFrames(request.appended.load(), 0));
    EXPECT_EQ(Frame(Doc(), 0), zovtest::Picture(W, H, 50 + 98));
    ASSERT_TRUE(Doc().Undo());
    ASSERT_EQ(Doc().FrameCount(), 5);
    for (int f = 0; f < 5; ++f)
        EXPECT_EQ(Frame(Doc(), f), original[size_t(f)]) << f;
}

TEST_F(PlaceFramesTest, NothingToMoveAndBadArguments) {
    EXPECT_TRUE(Doc().PlaceAppendedFrames(0, 1)); // nothing appended
    EXPECT_TRUE(Doc().PlaceAppendedFrames(2, 5)); // already at the end
    EXPECT_FALSE(Doc().PlaceAppendedFrames(6, 0));
    EXPECT_FALSE(Doc().PlaceAppendedFrames(2, 6));
    EXPECT_FALSE(Doc().PlaceAppendedFrames(-1, 0));
    for (int f = 0; f < 5; ++f)
        EXPECT_EQ(Frame(Doc(), f), original[size_t(f)]) << f;
}
