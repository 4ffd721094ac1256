// Undo across geometry changes and element edits: the frame cache follows the restored
// geometry, and undo keeps the element list (its objects, selection and clipboard) alive.
#include "tests/core/DocTest.h"

#include "base/Bitmap.h"
#include "elements/ElementList.h"

using namespace zov;
using namespace zovtest;

namespace {

class Undo : public DocTest {
  protected:
    // A project of n key frames of Picture(w, h, i), opened in `doc`.
    void MakeProject(CAni& doc, int n, int w, int h) {
        std::vector<HandFrame> frames;
        for (int i = 0; i < n; ++i)
            frames.push_back(HandKey(Picture(w, h, i)));
        WriteAll(Path("p.scp"), BuildHandFile(w, h, frames).bytes);
        path = Path("p.scp");
        ASSERT_TRUE(doc.OpenProject(path)) << doc.LastMessage();
    }
    void WriteSeries(int count, int w, int h) {
        for (int n = 0; n < count; ++n) {
            Image24 img;
            img.Allocate(w, h);
            const auto pic = Picture(w, h, 100 + n);
            std::copy(pic.begin(), pic.end(), img.bits.begin());
            char name[32];
            std::snprintf(name, sizeof name, "s%04d.bmp", n);
            ASSERT_TRUE(WriteBmp(Path(name), img));
        }
    }
    std::string path;
};

// Deleting every frame, importing a larger series and undoing both brings back the small
// frames: the cache must not keep the imported size (under AddressSanitizer a copy of the
// large size out of the small picture is a heap overflow).
TEST_F(Undo, CacheFollowsTheGeometryUndoPutsBack) {
    CAni& doc = Doc();
    MakeProject(doc, 3, 40, 10);
    WriteSeries(2, 200, 100);
    ASSERT_TRUE(doc.DeleteFrames(0, 3, true));
    BitmapAppendRequest req;
    req.firstPath = Path("s0000.bmp");
    ASSERT_TRUE(doc.AppendFramesFromBitmaps(req)) << req.error;
    ASSERT_EQ(doc.ImageSize(), 60000);
    std::vector<uint8_t> img;
    FrameHeader fh;
    ASSERT_TRUE(doc.LoadFrame(1, img, fh)); // the cache now holds large pictures
    ASSERT_TRUE(doc.Undo());
    ASSERT_TRUE(doc.Undo());
    ASSERT_EQ(doc.ImageSize(), 1200);
    ASSERT_EQ(doc.FrameCount(), 3);
    for (int pass = 0; pass < 2; ++pass) // decoded, then from the cache
        for (int i = 0; i < 3; ++i) {
            std::vector<uint8_t> small; // exactly 1,200 bytes, so an overread leaves the buffer
            ASSERT_TRUE(doc.LoadFrame(i, small, fh)) << i;
            EXPECT_EQ(small, Picture(40, 10, i)) << "frame " << i << " pass " << pass;
        }
    EXPECT_EQ(doc.Cache().Count(), 3);
}

} // namespace
