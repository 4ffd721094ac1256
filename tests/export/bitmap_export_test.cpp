// The bitmap export: the files' bytes against bitmaps built here from the project's
// pictures, "cursor.txt", the overwrite question, and what a failed or cancelled export
// leaves behind (nothing of its own).
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <sys/resource.h>

#include "base/Bitmap.h"
#include "core/Ani.h"
#include "export/BitmapExport.h"
#include "tests/support/TestFiles.h"

using namespace zov;
namespace fs = std::filesystem;
using zovtest::TempDir;

namespace {

constexpr int W = 41, H = 30, FRAMES = 8;

Image24 Picture(int f) {
    Image24 img;
    img.Allocate(W, H);
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
            uint8_t* p = img.PixelTopDown(x, y);
            p[0] = uint8_t(x * 5 + f * 11);
            p[1] = uint8_t(y * 7);
            p[2] = uint8_t((x ^ y) + f * 30);
        }
    return img;
}

std::vector<std::string> Names(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(folder))
        names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// A 24-bit bottom-up BMP of `img` cut to the area, written out field by field.
std::vector<uint8_t> ExpectedBmp(const Image24& img, int l, int t, int r, int b) {
    const int w = r - l, h = b - t, stride = (w * 3 + 3) / 4 * 4;
    std::vector<uint8_t> out(54);
    out[0] = 'B', out[1] = 'M';
    zovtest::Put32(out, 2, uint32_t(54 + stride * h));
    zovtest::Put32(out, 10, 54);
    zovtest::Put32(out, 14, 40);
    zovtest::Put32(out, 18, uint32_t(w));
    zovtest::Put32(out, 22, uint32_t(h));
    zovtest::Put16(out, 26, 1);
    zovtest::Put16(out, 28, 24);
    zovtest::Put32(out, 34, uint32_t(stride * h));
    for (int y = h - 1; y >= 0; --y) { // bottom row first
        std::vector<uint8_t> row(size_t(stride), 0);
        for (int x = 0; x < w; ++x)
            std::copy_n(img.PixelTopDown(l + x, t + y), 3, row.begin() + x * 3);
        out.insert(out.end(), row.begin(), row.end());
    }
    return out;
}

class BitmapExportTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string p = project.File("proj.scp");
        ASSERT_TRUE(ani.NewProject(p, false)) << ani.LastMessage();
        ani.SetFrameDelay(200);
        ASSERT_TRUE(ani.BeginCaptureRun(W, H, std::chrono::system_clock::now())) << ani.LastMessage();
        Image24 prev;
        for (int f = 0; f < FRAMES; ++f) {
            const Image24 img = Picture(f);
            const int kind = (f == 0 || f == 3) ? FRAME_KEY : FRAME_DIFF;
            ASSERT_TRUE(ani.AppendCapturedFrame(img.bits.data(),
                                                kind == FRAME_DIFF ? prev.bits.data() : nullptr, kind, 10 + f,
                                                20 + f, f % 3 - 1));
            prev = img;
        }
        ASSERT_TRUE(ani.WriteIndex());
    }
    void TearDown() override { ani.Close(); }
    // Frame f as the project gives it back: what the export must carry.
    Image24 Stored(int f) {
        Image24 img;
        EXPECT_TRUE(ani.LoadFrame(f, img));
        return img;
    }
    BitmapExportRequest Request(int first, int last) {
        BitmapExportRequest r;
        r.folder = out.Path();
        r.walk.first = first;
        r.walk.last = last;
        return r;
    }
    TempDir project, out;
    CAni ani;
};

} // namespace

TEST_F(BitmapExportTest, FramesThreeToFiveWriteThreeFilesAndAFourLineCursorFile) {
    int32_t written = 0;
    std::string error;
    ASSERT_EQ(ExportBitmaps(ani, Request(3, 5), written, error), BitmapExportResult::Done) << error;
    EXPECT_EQ(written, 3);
    EXPECT_EQ(Names(out.Path()),
              (std::vector<std::string>{"cursor.txt", "file0001.bmp", "file0002.bmp", "file0003.bmp"}));
    for (int i = 0; i < 3; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "file%04d.bmp", i + 1);
        const auto got = zovtest::ReadAll(out.File(name)), want = ExpectedBmp(Stored(3 + i), 0, 0, W, H);
        ASSERT_EQ(got.size(), want.size());
        const auto at = std::mismatch(got.begin(), got.end(), want.begin()).first - got.begin();
        EXPECT_EQ(at, long(got.size())) << name << " differs first at byte " << at;
    }
    EXPECT_EQ(zovtest::ReadText(out.File("cursor.txt")), "200\n13, 23, -1\n14, 24, 0\n15, 25, 1\n");
}

TEST_F(BitmapExportTest, AnAreaWithAnOddWidthFromADifferenceFrame) {
    BitmapExportRequest r = Request(5, 6); // frame 5 decodes from key frame 3
    r.walk.useArea = true;
    r.walk.left = 4, r.walk.top = 3, r.walk.right = 17, r.walk.bottom = 22; // 13 x 19
    int32_t written = 0;
    std::string error;
    ASSERT_EQ(ExportBitmaps(ani, r, written, error), BitmapExportResult::Done) << error;
    EXPECT_EQ(zovtest::ReadAll(out.File("file0001.bmp")), ExpectedBmp(Stored(5), 4, 3, 17, 22));
    EXPECT_EQ(zovtest::ReadAll(out.File("file0002.bmp")), ExpectedBmp(Stored(6), 4, 3, 17, 22));
    // An area outside the frame is refused before anything is written.
    r.walk.right = W + 1;
    EXPECT_EQ(ExportBitmaps(ani, r, written, error), BitmapExportResult::Failed);
}

TEST_F(BitmapExportTest, AnEarlierExportIsReplacedOnlyWhenTheQuestionIsAnswered) {
    ASSERT_TRUE(zovtest::WriteText(out.File("file0001.bmp"), "old"));
    ASSERT_TRUE(zovtest::WriteText(out.File("FILE0009.BMP"), "old too"));
    ASSERT_TRUE(zovtest::WriteText(out.File("cursor.txt"), "earlier cursor\n"));
    ASSERT_TRUE(zovtest::WriteText(out.File("notes.txt"), "mine"));
    const auto before = Names(out.Path());
    std::vector<std::string> asked;
    BitmapExportRequest r = Request(0, 1);
    r.confirmOverwrite = [&](const std::vector<std::string>& existing) {
        asked = existing;
        // Nothing is written before the question.
        EXPECT_EQ(Names(out.Path()), before);
        return false;
    };
    int32_t written = 0;
    std::string error;
    EXPECT_EQ(ExportBitmaps(ani, r, written, error), BitmapExportResult::NotOverwritten);
    EXPECT_EQ(asked, (std::vector<std::string>{"FILE0009.BMP", "file0001.bmp"}));
    EXPECT_EQ(Names(out.Path()), before);
    EXPECT_EQ(zovtest::ReadText(out.File("file0001.bmp")), "old");
    EXPECT_EQ(zovtest::ReadText(out.File("cursor.txt")), "earlier cursor\n");
    // Without anyone to ask (zovrec without --overwrite) the answer is no.
    r.confirmOverwrite = nullptr;
    EXPECT_EQ(ExportBitmaps(ani, r, written, error), BitmapExportResult::NotOverwritten);
    EXPECT_NE(error.find("2 bitmap files"), std::string::npos) << error;
    EXPECT_EQ(Names(out.Path()), before);
    // Yes: the old series goes, the new one comes, other files stay.
    r.confirmOverwrite = [](const std::vector<std::string>&) { return true; };
    ASSERT_EQ(ExportBitmaps(ani, r, written, error), BitmapExportResult::Done) << error;
    EXPECT_EQ(Names(out.Path()),
              (std::vector<std::string>{"cursor.txt", "file0001.bmp", "file0002.bmp", "notes.txt"}));
    EXPECT_EQ(zovtest::ReadAll(out.File("file0001.bmp")), ExpectedBmp(Stored(0), 0, 0, W, H));
    EXPECT_EQ(zovtest::ReadText(out.File("cursor.txt")), "200\n10, 20, -1\n11, 21, 0\n");
}

TEST_F(BitmapExportTest, AFailedOrCancelledExportRemovesWhatItWrote) {
    ASSERT_TRUE(zovtest::WriteText(out.File("cursor.txt"), "earlier cursor\n"));
    int32_t written = 0;
    std::string error;
    // A bitmap that cannot be created half-way: the export fails and takes its files back.
    BitmapExportRequest r = Request(0, 5);
    r.walk.progress = [&](int32_t done, int32_t) {
        if (done == 2)
            fs::create_directories(out.File("file0003.bmp") + "/busy");
    };
    EXPECT_EQ(ExportBitmaps(ani, r, written, error), BitmapExportResult::Failed);
    EXPECT_NE(error.find("file0003.bmp"), std::string::npos) << error;
    EXPECT_EQ(Names(out.Path()), (std::vector<std::string>{"cursor.txt", "file0003.bmp"}));
    EXPECT_EQ(zovtest::ReadText(out.File("cursor.txt")), "earlier cursor\n");
    fs::remove_all(out.File("file0003.bmp"));
    // Cancel after the second frame.
    std::atomic<bool> cancel{false};
    r.walk.cancel = &cancel;
    r.walk.progress = [&](int32_t done, int32_t) { cancel = done == 2; };
    EXPECT_EQ(ExportBitmaps(ani, r, written, error), BitmapExportResult::Cancelled);
    EXPECT_EQ(Names(out.Path()), std::vector<std::string>{"cursor.txt"});
    // A full disk: the file-size limit makes the first write fail.
    r.walk.cancel = nullptr;
    r.walk.progress = nullptr;
    rlimit old{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = old;
    small.rlim_cur = 1000;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const BitmapExportResult full = ExportBitmaps(ani, r, written, error);
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_EQ(full, BitmapExportResult::Failed);
    EXPECT_NE(error.find("can not write"), std::string::npos) << error;
    EXPECT_EQ(Names(out.Path()), std::vector<std::string>{"cursor.txt"});
    EXPECT_EQ(zovtest::ReadText(out.File("cursor.txt")), "earlier cursor\n");
}

// Elements reach the bitmaps through the document's element drawing.
TEST_F(BitmapExportTest, FramesCarryWhatTheElementDrawingPaints) {
    // The drawing is told that an export runs, so that it leaves link areas out.
    std::atomic<int> notExporting{0};
    ani.SetElementPainter([&](const ElementPaintJob& job) {
        notExporting += job.exporting ? 0 : 1;
        if (job.index == 2)
            std::fill_n(job.image, size_t(Image24::RowBytes(job.width)) * size_t(job.height), uint8_t(0x5A));
    });
    int32_t written = 0;
    std::string error;
    ASSERT_EQ(ExportBitmaps(ani, Request(1, 2), written, error), BitmapExportResult::Done) << error;
    EXPECT_EQ(zovtest::ReadAll(out.File("file0001.bmp")), ExpectedBmp(Stored(1), 0, 0, W, H));
    Image24 flat;
    flat.Allocate(W, H);
    std::fill(flat.bits.begin(), flat.bits.end(), uint8_t(0x5A));
    EXPECT_EQ(zovtest::ReadAll(out.File("file0002.bmp")), ExpectedBmp(flat, 0, 0, W, H));
    EXPECT_EQ(notExporting.load(), 0);
}
