// Elements burned into a stream export: each appears in the decoded stream on exactly the
// frames of its range, drawn by the element drawing rules, selected or not; link areas never.
#include <gtest/gtest.h>

#include <chrono>
#include <climits>
#include <filesystem>
#include <fstream>
#include <unistd.h>

#include "base/Bitmap.h"
#include "codec/StreamReader.h"
#include "core/Ani.h"
#include "elements/ElementList.h"
#include "export/StreamExport.h"
#include "render/ElementDraw.h"
#include "render/ElementPainter.h"
#include "tests/codec/CodecTestUtil.h"
#include "tests/render/DrawTestEnv.h"

using namespace zov;
using namespace zov::test;
namespace fs = std::filesystem;

static auto* const g_env = ::testing::AddGlobalTestEnvironment(new zovtest::DrawEnvironment);

namespace {

constexpr int W = 48, H = 32, FRAMES = 8;

Image24 ProjectFrame(int f) {
    Image24 img;
    img.Allocate(W, H);
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
            uint8_t* p = img.PixelTopDown(x, y);
            p[0] = uint8_t(40 + 3 * x);
            p[1] = uint8_t(60 + 5 * y);
            p[2] = uint8_t(20 * f);
        }
    return img;
}

std::vector<uint32_t> Words(const Image24& img) {
    std::vector<uint32_t> px;
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
            const uint8_t* p = img.PixelTopDown(x, y);
            px.push_back(p[0] | (p[1] << 8) | (p[2] << 16));
        }
    return px;
}

} // namespace

TEST(ElementExport, ElementsShowOnExactlyTheirFramesAndLinksNever) {
    const fs::path dir = fs::temp_directory_path() / ("zov-element-export-" + std::to_string(::getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir);
    CAni ani;
    std::string p = (dir / "proj.scp").string();
    ASSERT_TRUE(ani.NewProject(p, false)) << ani.LastMessage();
    ani.SetFrameDelay(100);
    ASSERT_TRUE(ani.BeginCaptureRun(W, H, std::chrono::system_clock::now())) << ani.LastMessage();
    for (int f = 0; f < FRAMES; ++f) {
        Image24 img = ProjectFrame(f);
        ASSERT_TRUE(ani.AppendCapturedFrame(img.bits.data(), nullptr, FRAME_KEY, 0, 0, 1))
            << ani.LastMessage();
    }
    ASSERT_TRUE(ani.WriteIndex()) << ani.LastMessage();

    CElementList& list = ani.Elements();
    ElementRecord* box = list.Create(2, 4, ELEMENT_BOX);
    *box->Body<ShapeBody>() = ShapeBody{{4, 4, 20, 14}, 1, 0, 0, 1, 1, {0, 0}, 0x0000FF, 0x00FFFF};
    ElementRecord* line = list.Create(5, 5, ELEMENT_LINE);
    *line->Body<LineBody>() = {2, 20, 30, 20, 1, 0, 0xFF0000};
    ElementRecord* link = list.Create(0, 7, ELEMENT_URLLINK);
    *link->Body<ElementRect>() = {24, 2, 40, 12};
    ASSERT_EQ(0, list.SetText(link, "http://example.org/"));
    ASSERT_EQ(0, list.Select(line)); // selected elements are exported too

    ani.SetElementPainter(MakeElementPainter(false));
    StreamExportRequest req;
    req.path = (dir / "out.zov").string();
    req.writePages = false;
    StreamExportResult res;
    std::string error;
    ASSERT_TRUE(ExportProjectToStream(ani, req, res, error)) << error;
    ASSERT_EQ(FRAMES, res.frames);

    std::ifstream in(req.path, std::ios::binary);
    const Bytes s((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    StreamReader reader;
    reader.Append(s.data(), s.size());
    reader.Finish();
    GuardModel model{uint32_t(W), uint32_t(H)};
    StreamRecord rec;
    const std::vector<ElementRecord> snapshot = ani.ElementsCopy();
    int f = 0;
    while (reader.Next(rec) == ReadStatus::Record) {
        ASSERT_FALSE(rec.rejected) << rec.error;
        if (rec.kind == StreamRecord::Frame)
            model.Record(s.data() + rec.offset);
        ASSERT_LT(f, FRAMES);
        const Image24 bare = ProjectFrame(f);
        // What the drawing rules give for this frame, drawn here from the same elements.
        Image24 want = bare;
        ElementDrawOptions options;
        options.exporting = true;
        options.frameCount = FRAMES;
        ASSERT_TRUE(MergeElements(want.bits.data(), W, H, snapshot, f, options));
        EXPECT_EQ("", model.Compare(Words(want).data(), reader.Picture())) << "frame " << f;
        const uint32_t* got = reader.Picture();
        const auto at = [&](int x, int y) { return got[y * W + x] & 0xFFFFFF; };
        const auto bareAt = [&](int x, int y) {
            const uint8_t* q = bare.PixelTopDown(x, y);
            return uint32_t(q[0] | (q[1] << 8) | (q[2] << 16));
        };
        const bool boxShown = f >= 2 && f <= 4;
        EXPECT_EQ(boxShown ? 0xFF0000u : bareAt(4, 4), at(4, 4)) << "frame " << f;   // red outline
        EXPECT_EQ(boxShown ? 0xFFFF00u : bareAt(10, 8), at(10, 8)) << "frame " << f; // yellow fill
        EXPECT_EQ(bareAt(20, 14), at(20, 14)) << "frame " << f;                      // outside the box
        EXPECT_EQ(f == 5 ? 0x0000FFu : bareAt(10, 20), at(10, 20)) << "frame " << f; // blue line
        EXPECT_EQ(bareAt(24, 2), at(24, 2)) << "frame " << f;                        // no link
        EXPECT_EQ(bareAt(39, 11), at(39, 11)) << "frame " << f;
        ++f;
    }
    EXPECT_EQ(FRAMES, f);
    ani.Close();
    fs::remove_all(dir);
}

// A project whose elements carry hostile numbers (an image header claiming 10^9 bytes of bits,
// pen widths of 2^31 - 1, coordinates at both ends of the 32-bit range) saves, opens again
// and exports: the drawing clips and clamps, nothing reads past an element.
TEST(ElementExport, HostileElementsExportCleanly) {
    const fs::path dir = fs::temp_directory_path() / ("zov-hostile-export-" + std::to_string(::getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir);
    CAni ani;
    std::string p = (dir / "proj.scp").string();
    ASSERT_TRUE(ani.NewProject(p, false)) << ani.LastMessage();
    ASSERT_TRUE(ani.BeginCaptureRun(W, H, std::chrono::system_clock::now())) << ani.LastMessage();
    for (int f = 0; f < 3; ++f) {
        Image24 img = ProjectFrame(f);
        ASSERT_TRUE(ani.AppendCapturedFrame(img.bits.data(), nullptr, FRAME_KEY, 0, 0, 1))
            << ani.LastMessage();
    }
    CElementList& list = ani.Elements();
    ElementRecord* image = list.Create(0, 2, ELEMENT_IMAGE);
    ImageInfoHeader info{};
    info.biSize = 40;
    info.biWidth = 40000;
    info.biHeight = 25000;
    info.biBitCount = 24;
    info.biSizeImage = 1000000000;
    const uint8_t bits[256] = {};
    ASSERT_EQ(0, list.SetImage(image, info, bits, sizeof bits));
    image->Body<ImageBody>()->rect = {INT_MIN, INT_MIN, INT_MAX, INT_MAX};
    ElementRecord* line = list.Create(0, 2, ELEMENT_LINE);
    *line->Body<LineBody>() = {INT_MIN, INT_MAX, INT_MAX, INT_MIN, INT_MAX, 1, 0xFF};
    ElementRecord* box = list.Create(0, 2, ELEMENT_BOX);
    *box->Body<ShapeBody>() =
        ShapeBody{{INT_MAX, INT_MAX, INT_MIN, INT_MIN}, INT_MIN, 3, 0, 1, 1, {0, 0}, 0xFF, 0xFF00};
    ElementRecord* circle = list.Create(1, INT_MAX, ELEMENT_CIRCLE);
    *circle->Body<ShapeBody>() = ShapeBody{{INT_MIN, 0, INT_MAX, 20}, INT_MAX, 1, 0, 1, 0, {0, 0}, 0xFF, 0};
    ElementRecord* text = list.Create(0, INT_MAX, ELEMENT_SUBSCRIPT1);
    TextBody* t = text->Body<TextBody>();
    t->rect = {INT_MIN, INT_MIN, INT_MAX, INT_MAX};
    t->penWidth = INT_MAX;
    t->borderFlag = 1;
    t->font.lfHeight = INT_MIN;
    t->font.lfWeight = INT_MAX;
    ASSERT_EQ(0, list.SetText(text, "hostile\r\nnumbers"));
    ASSERT_TRUE(ani.WriteIndex()) << ani.LastMessage();
    ani.Close();
    ASSERT_TRUE(ani.OpenProject(p)) << ani.LastMessage();
    ASSERT_EQ(5, ani.Elements().Count());

    ani.SetElementPainter(MakeElementPainter(false));
    StreamExportRequest req;
    req.path = (dir / "out.zov").string();
    req.writePages = false;
    StreamExportResult res;
    std::string error;
    ASSERT_TRUE(ExportProjectToStream(ani, req, res, error)) << error;
    EXPECT_EQ(3, res.frames);
    ani.Close();
    fs::remove_all(dir);
}
