// Allocation failures of picture-sized buffers: this binary replaces operator new so that a
// request of exactly the project's image size fails while `g_failSize` is set. Every
// operation must then refuse with "alloc memory fail" in the log, leave memory and file as
// they were, and throw nothing.
#include "tests/core/DocTest.h"

#include "base/Bitmap.h"

#include <atomic>
#include <cstdlib>
#include <new>

namespace {
std::atomic<size_t> g_failSize{0};
} // namespace

void* operator new(size_t size) {
    if (size != 0 && size == g_failSize.load())
        throw std::bad_alloc();
    if (void* p = std::malloc(size ? size : 1))
        return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, size_t) noexcept {
    std::free(p);
}

using namespace zov;
using namespace zovtest;

namespace {

constexpr int kWidth = 300, kHeight = 200;
constexpr size_t kImageSize = kWidth * 3 * kHeight; // 180,000: no other buffer has this size

class AllocFailure : public DocTest {
  protected:
    void SetUp() override {
        DocTest::SetUp();
        std::vector<HandFrame> frames;
        std::vector<std::vector<uint8_t>> pics;
        for (int i = 0; i < 8; ++i) {
            pics.push_back(Picture(kWidth, kHeight, i));
            frames.push_back(i % 4 == 0 ? HandKey(pics.back()) : HandDiff(pics[size_t(i) - 1], pics.back()));
        }
        ASSERT_TRUE(WriteAll(Path("p.scp"), BuildHandFile(kWidth, kHeight, frames).bytes));
        Image24 bmp;
        bmp.Allocate(kWidth, kHeight);
        ASSERT_TRUE(WriteBmp(Path("s0000.bmp"), bmp));
        path = Path("p.scp");
        ASSERT_TRUE(Doc().OpenProject(path)) << Doc().LastMessage();
        original = ReadAll(path);
    }
    void TearDown() override {
        g_failSize = 0;
        DocTest::TearDown();
    }
    // Runs `op` with picture-sized allocations failing: it must refuse, log the failure and
    // change nothing.
    template <class Op> void ExpectRefused(const char* what, Op op) {
        std::remove((dir + "/test.log").c_str());
        const int frames = Doc().FrameCount(), undo = Doc().UndoCount();
        bool result = true;
        g_failSize = kImageSize;
        EXPECT_NO_THROW(result = op()) << what;
        g_failSize = 0;
        EXPECT_FALSE(result) << what;
        const auto log = ReadAll(dir + "/test.log");
        EXPECT_NE(std::string(log.begin(), log.end()).find("alloc memory fail"), std::string::npos) << what;
        EXPECT_EQ(Doc().FrameCount(), frames) << what;
        EXPECT_EQ(Doc().UndoCount(), undo) << what;
        EXPECT_TRUE(ReadAll(path) == original) << what << " changed the file";
    }
    std::string path;
    std::vector<uint8_t> original;
};

TEST_F(AllocFailure, EditsSaveAsImportAndLoadsRefuse) {
    ExpectRefused("delete", [&] { return Doc().DeleteFrames(1, 1, true); }); // frame 2 becomes a key frame
    ExpectRefused("paste", [&] { return Doc().PasteFrames(1, 2, 6); });
    ExpectRefused("save as", [&] {
        std::string copy = Path("copy.scp");
        return Doc().SaveAs(copy);
    });
    EXPECT_FALSE(std::filesystem::exists(Path("copy.scp")));
    ExpectRefused("import", [&] {
        BitmapAppendRequest request;
        request.firstPath = Path("s0000.bmp");
        return Doc().AppendFramesFromBitmaps(request);
    });
    ExpectRefused("load", [&] {
        std::vector<uint8_t> image;
        FrameHeader header;
        return Doc().LoadFrame(5, image, header);
    });
    ExpectRefused("load picture", [&] {
        Image24 image;
        return Doc().LoadFrame(5, image);
    });
    ExpectRefused("recording",
                  [&] { return Doc().BeginCaptureRun(kWidth, kHeight, std::chrono::system_clock::now()); });

    // The same operations succeed once memory is there again.
    std::vector<uint8_t> image;
    FrameHeader header;
    ASSERT_TRUE(Doc().LoadFrame(5, image, header));
    ASSERT_TRUE(Doc().DeleteFrames(1, 1, true));
    ASSERT_TRUE(Doc().PasteFrames(1, 2, 6));
    EXPECT_EQ(Doc().FrameCount(), 9);
    EXPECT_TRUE(Doc().CheckFile());
}

} // namespace
