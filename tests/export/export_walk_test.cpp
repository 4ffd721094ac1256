// The export walk every exporter takes its frames from: decoding from the key frame before
// the range, elements drawn on exported frames only (never into the reference the next
// difference frame is decoded against), the area cut out, cancel and failures; and the
// stream export on top of it writing the very bytes the stream writer makes of the frames.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <filesystem>

#include "codec/StreamWriter.h"
#include "elements/ElementList.h"
#include "export/ExportWalk.h"
#include "export/StreamExport.h"
#include "tests/export/ExportTestProject.h"
#include "tests/support/TestFiles.h"

using namespace zov;
using namespace zov::test;
using zovtest::ReadAll;
namespace fs = std::filesystem;

namespace {

constexpr int W = 61, H = 37, FRAMES = 12;

// The DIB's rows top-down without padding, to compare with StoredBgr.
std::vector<uint8_t> DibToBgr(const Image24& dib) {
    std::vector<uint8_t> out;
    for (int y = 0; y < dib.height; ++y) {
        const uint8_t* p = dib.PixelTopDown(0, y);
        out.insert(out.end(), p, p + size_t(dib.width) * 3);
    }
    return out;
}

class ExportWalkTest : public ::testing::Test {
  protected:
    void SetUp() override {
        dir = fs::temp_directory_path() / ("zov-walk-" + std::to_string(::getpid()));
        fs::remove_all(dir);
        fs::create_directories(dir);
        MakeExportTestProject(ani, (dir / "walk.scp").string(), W, H, FRAMES, 200, {0, 3, 10});
    }
    void TearDown() override {
        ani.Close();
        fs::remove_all(dir);
    }
    fs::path dir;
    CAni ani;
};

} // namespace

TEST_F(ExportWalkTest, RangeFromAKeyFrameBeforeItWithElementsAndAnOddArea) {
    // A painter that paints frames with elements: a white column at x = 1 (drawn into the
    // whole frame, so the area below keeps it at column 0).
    ani.Elements().Create(6, 8, ELEMENT_BOX);
    std::vector<int32_t> painted;
    ani.SetElementPainter([&](const ElementPaintJob& job) {
        uint8_t* image = job.image;
        const int32_t index = job.index, w = job.width, h = job.height;
        painted.push_back(index);
        EXPECT_TRUE(job.exporting); // link areas stay out of exported frames
        ASSERT_NE(job.snapshot, nullptr);
        if (job.snapshot->size() != 1 || !job.snapshot->front().ShownOn(index))
            return;
        for (int y = 0; y < h; ++y)
            std::memset(image + size_t(y) * size_t((w * 3 + 3) & ~3) + 3, 0xFF, 3);
    });
    ExportWalkRequest req;
    req.first = 5;
    req.last = 9;
    req.useArea = true;
    req.left = 1;
    req.top = 2;
    req.right = 34; // 33 columns: rows of 99 bytes padded to 100
    req.bottom = 31;
    ExportWalk walk;
    std::string error;
    ASSERT_TRUE(walk.Prepare(ani, req, error)) << error;
    EXPECT_EQ(3, walk.KeyFrame());
    EXPECT_EQ(33, walk.Width());
    EXPECT_EQ(29, walk.Height());
    EXPECT_EQ(100u * 29u, walk.OutputInfo().biSizeImage);
    EXPECT_EQ(24, walk.OutputInfo().biBitCount);
    std::vector<int32_t> indexes, samples;
    ASSERT_EQ(WalkResult::Done, walk.Run(
                                    [&](const ExportFrame& f, std::string&) {
                                        indexes.push_back(f.index);
                                        samples.push_back(f.sample);
                                        EXPECT_EQ(size_t(100 * 29), f.dib->bits.size());
                                        EXPECT_EQ(20 + f.index, f.header->pointerY);
                                        std::vector<uint8_t> want = StoredBgr(ani, f.index, 1, 2, 34, 31);
                                        if (f.index >= 6 && f.index <= 8)
                                            for (int y = 0; y < 29; ++y)
                                                std::memset(want.data() + size_t(y) * 99, 0xFF, 3);
                                        EXPECT_EQ(want, DibToBgr(*f.dib)) << "frame " << f.index;
                                        return true;
                                    },
                                    error))
        << error;
    EXPECT_EQ((std::vector<int32_t>{5, 6, 7, 8, 9}), indexes);
    EXPECT_EQ((std::vector<int32_t>{0, 1, 2, 3, 4}), samples);
    EXPECT_EQ(indexes, painted); // frames 3 and 4 are only decoded
}

TEST_F(ExportWalkTest, BadRequestsCancelAndWriterFailures) {
    ExportWalk walk;
    std::string error;
    const struct {
        int first, last, l, t, r, b;
        bool area;
    } bad[] = {{6, 5, 0, 0, 0, 0, false}, {0, FRAMES, 0, 0, 0, 0, false}, {0, -1, 0, 0, W + 1, H, true},
               {0, -1, 4, 0, 4, 9, true}, {0, -1, 0, -1, 9, 9, true},     {0, -1, 0, 5, 9, 5, true}};
    for (const auto& b : bad) {
        ExportWalkRequest req;
        req.first = b.first;
        req.last = b.last;
        req.useArea = b.area;
        req.left = b.l;
        req.top = b.t;
        req.right = b.r;
        req.bottom = b.b;
        error.clear();
        EXPECT_FALSE(walk.Prepare(ani, req, error)) << b.first << ".." << b.last << " " << b.r;
        EXPECT_FALSE(error.empty());
    }
    EXPECT_EQ(WalkResult::Failed, walk.Run([](const ExportFrame&, std::string&) { return true; }, error));

    // Cancel raised from the second frame's callback: the walk ends before the third.
    std::atomic<bool> cancel{false};
    ExportWalkRequest req;
    req.cancel = &cancel;
    ASSERT_TRUE(walk.Prepare(ani, req, error)) << error;
    int seen = 0;
    EXPECT_EQ(WalkResult::Cancelled, walk.Run(
                                         [&](const ExportFrame&, std::string&) {
                                             if (++seen == 2)
                                                 cancel = true;
                                             return true;
                                         },
                                         error));
    EXPECT_EQ(2, seen);

    // A writer that fails ends the walk with its sentence.
    ExportWalkRequest plain;
    ASSERT_TRUE(walk.Prepare(ani, plain, error));
    error.clear();
    EXPECT_EQ(WalkResult::Failed, walk.Run(
                                      [](const ExportFrame& f, std::string& why) {
                                          if (f.index < 4)
                                              return true;
                                          why = "disk full";
                                          return false;
                                      },
                                      error));
    EXPECT_EQ("disk full", error);

    CAni none;
    EXPECT_FALSE(walk.Prepare(none, plain, error));
}

// The stream export writes the bytes the stream writer makes of the project's frames (each
// loaded by the document itself), area and range included.
TEST_F(ExportWalkTest, StreamExportBytesAreTheWritersOfTheLoadedFrames) {
    StreamExportRequest req;
    req.path = (dir / "cut.zov").string();
    req.first = 4;
    req.last = 11;
    req.useArea = true;
    req.left = 3;
    req.top = 1;
    req.right = 60;
    req.bottom = 36;
    req.writePages = false;
    StreamExportResult res;
    std::string error;
    ASSERT_TRUE(ExportProjectToStream(ani, req, res, error)) << error;

    const std::string direct = (dir / "direct.zov").string();
    StreamWriter writer;
    ASSERT_TRUE(writer.Begin(direct, 57, 35, 200));
    for (int f = 4; f <= 11; ++f) {
        Image24 img;
        ASSERT_TRUE(ani.LoadFrame(f, img));
        std::vector<uint32_t> px;
        for (int y = 1; y < 36; ++y)
            for (int x = 3; x < 60; ++x) {
                const uint8_t* p = img.PixelTopDown(x, y);
                px.push_back(p[0] | (p[1] << 8) | (p[2] << 16));
            }
        ASSERT_TRUE(writer.AddFrame32(px.data(), uint16_t(10 + f), uint16_t(20 + f), 1));
    }
    ASSERT_TRUE(writer.End(StreamEnd::Marker));
    const std::vector<uint8_t> exported = ReadAll(req.path), expected = ReadAll(direct);
    ASSERT_FALSE(expected.empty());
    EXPECT_TRUE(exported == expected) << exported.size() << " vs " << expected.size();

    // A cancelled stream export leaves no stream behind.
    std::atomic<bool> cancel{true};
    req.path = (dir / "cancelled.zov").string();
    req.cancel = &cancel;
    EXPECT_FALSE(ExportProjectToStream(ani, req, res, error));
    EXPECT_TRUE(res.cancelled);
    EXPECT_FALSE(fs::exists(req.path));
}
