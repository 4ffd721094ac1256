// Export of a project to a stream file, and the zovrec stream commands end to end.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "base/Bitmap.h"
#include "codec/StreamReader.h"
#include "core/Ani.h"
#include "elements/ElementList.h"
#include "export/StreamExport.h"
#include "tests/codec/CodecTestUtil.h"

using namespace zov;
using namespace zov::test;
namespace fs = std::filesystem;

namespace {

constexpr int W = 40, H = 30, FRAMES = 9;

// Frame f of the test project, 24-bit bottom-up: flat background, a bar that moves, a few
// text-like dots, a noisy patch in odd frames.
Image24 ProjectFrame(int f) {
    Image24 img;
    img.Allocate(W, H);
    Rng rng(100 + f);
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
            uint8_t* p = img.PixelTopDown(x, y);
            uint32_t c = 0xE0E0E0;
            if (x >= 2 * f && x < 2 * f + 6 && y > 5 && y < 20)
                c = 0x2040A0;
            if ((x * 3 + y * 5 + f) % 17 == 0)
                c = 0x101010;
            if ((f & 1) && x > 20 && y > 20)
                c = rng.Next() & 0xFFFFFF;
            p[0] = uint8_t(c);
            p[1] = uint8_t(c >> 8);
            p[2] = uint8_t(c >> 16);
        }
    return img;
}

std::vector<uint32_t> Crop(const Image24& img, int l, int t, int r, int b) {
    std::vector<uint32_t> px;
    for (int y = t; y < b; ++y)
        for (int x = l; x < r; ++x) {
            const uint8_t* p = img.PixelTopDown(x, y);
            px.push_back(p[0] | (p[1] << 8) | (p[2] << 16));
        }
    return px;
}

Bytes ReadFile(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// Decodes a whole stream file and checks every picture against `expected` under the guard
// rule; returns the number of pictures.
size_t CheckStream(const Bytes& s, int w, int h, const std::vector<std::vector<uint32_t>>& expected,
                   std::vector<uint16_t>* cursorX = nullptr) {
    StreamReader reader;
    reader.Append(s.data(), s.size());
    reader.Finish();
    GuardModel model{uint32_t(w), uint32_t(h)};
    StreamRecord rec;
    size_t n = 0;
    while (reader.Next(rec) == ReadStatus::Record) {
        EXPECT_FALSE(rec.rejected) << rec.error;
        EXPECT_EQ(w, reader.Header().width);
        EXPECT_EQ(h, reader.Header().height);
        if (rec.kind == StreamRecord::Frame)
            model.Record(s.data() + rec.offset);
        if (cursorX)
            cursorX->push_back(rec.cursorX);
        if (n < expected.size()) {
            EXPECT_EQ("", model.Compare(expected[n].data(), reader.Picture())) << "picture " << n;
        }
        ++n;
    }
    EXPECT_TRUE(reader.SawEndMarker());
    return n;
}

class StreamExportTest : public ::testing::Test {
  protected:
    void SetUp() override {
        dir = fs::temp_directory_path() / ("zov-export-" + std::to_string(::getpid()));
        fs::remove_all(dir);
        fs::create_directories(dir);
        std::string p = (dir / "proj.scp").string();
        ASSERT_TRUE(ani.NewProject(p, false)) << ani.LastMessage();
        projectPath = p;
        ani.SetFrameDelay(200);
        ASSERT_TRUE(ani.BeginCaptureRun(W, H, std::chrono::system_clock::now())) << ani.LastMessage();
        Image24 prev;
        for (int f = 0; f < FRAMES; ++f) {
            Image24 img = ProjectFrame(f);
            // Frames 0 and 3 whole, the rest differences: frame 5 needs frames 3 and 4.
            const int kind = (f == 0 || f == 3) ? FRAME_KEY : FRAME_DIFF;
            ASSERT_TRUE(ani.AppendCapturedFrame(
                img.bits.data(), kind == FRAME_DIFF ? prev.bits.data() : nullptr, kind, 10 + f, 20 + f, 1))
                << ani.LastMessage();
            prev = img;
        }
        ASSERT_TRUE(ani.WriteIndex()) << ani.LastMessage();
        ASSERT_EQ(FRAMES, ani.FrameCount());
    }
    // Frame f as the project gives it back: what the export must carry.
    Image24 Stored(int f) {
        Image24 img;
        EXPECT_TRUE(ani.LoadFrame(f, img));
        return img;
    }
    void TearDown() override {
        ani.Close();
        fs::remove_all(dir);
    }
    fs::path dir;
    std::string projectPath;
    CAni ani;
};

} // namespace

TEST_F(StreamExportTest, RangeStartingOnADifferenceFrameWritesOnlyThatRange) {
    ASSERT_EQ(FRAME_DIFF, ani.FrameTable()[5].kind);
    StreamExportRequest req;
    req.path = (dir / "range.zov").string();
    req.first = 5;
    req.last = 7;
    req.writePages = false;
    StreamExportResult res;
    std::string error;
    ASSERT_TRUE(ExportProjectToStream(ani, req, res, error)) << error;
    EXPECT_EQ(3, res.frames);
    const Bytes s = ReadFile(req.path);
    EXPECT_EQ(res.bytes, s.size());
    ASSERT_GT(s.size(), 16u);
    EXPECT_EQ((Bytes{'Z', 'V', '0', '1', 0, W, 0, H, 0x10, 0x10, 0, 200, 0x81, 0x09, 0, 0}),
              Bytes(s.begin(), s.begin() + 16));
    std::vector<std::vector<uint32_t>> want;
    for (int f = 5; f <= 7; ++f)
        want.push_back(Crop(Stored(f), 0, 0, W, H));
    std::vector<uint16_t> cursors;
    EXPECT_EQ(3u, CheckStream(s, W, H, want, &cursors));
    EXPECT_EQ((std::vector<uint16_t>{15, 16, 17}), cursors); // each frame's pointer position
}

// Elements reach the stream through the document's element painter, once per exported frame,
// drawn over the picture the project stores (which itself stays without them).
TEST_F(StreamExportTest, ElementsAreBurnedInThroughThePainter) {
    std::vector<int32_t> painted;
    ani.Elements().Create(6, 7, ELEMENT_BOX);
    ani.SetElementPainter([&](const ElementPaintJob& job) {
        uint8_t* image = job.image;
        const int32_t index = job.index, w = job.width, h = job.height;
        EXPECT_TRUE(job.exporting);
        ASSERT_NE(job.snapshot, nullptr);
        painted.push_back(index);
        ASSERT_EQ(W, w);
        ASSERT_EQ(H, h);
        if (!(*job.snapshot)[0].ShownOn(index))
            return;
        for (int x = 0; x < 10; ++x) { // a red bar on the top row
            uint8_t* p = image + size_t(h - 1) * size_t((w * 3 + 3) & ~3) + size_t(x) * 3;
            p[0] = 0;
            p[1] = 0;
            p[2] = 255;
        }
    });
    StreamExportRequest req;
    req.path = (dir / "burn.zov").string();
    req.first = 5;
    req.last = 7;
    req.writePages = false;
    StreamExportResult res;
    std::string error;
    ASSERT_TRUE(ExportProjectToStream(ani, req, res, error)) << error;
    EXPECT_EQ((std::vector<int32_t>{5, 6, 7}), painted);
    std::vector<std::vector<uint32_t>> want;
    for (int f = 5; f <= 7; ++f) {
        Image24 img = Stored(f);
        if (f >= 6)
            for (int x = 0; x < 10; ++x) {
                uint8_t* p = img.PixelTopDown(x, 0);
                p[0] = p[1] = 0;
                p[2] = 255;
            }
        want.push_back(Crop(img, 0, 0, W, H));
    }
    EXPECT_EQ(3u, CheckStream(ReadFile(req.path), W, H, want));
    EXPECT_NE(0xFF0000u, Crop(Stored(6), 0, 0, 1, 1)[0]); // the stored frame has no bar
}

TEST_F(StreamExportTest, AreaUpperCaseExtensionAndSoundCopy) {
    std::ofstream(dir / "proj.mp3") << "not really sound";
    StreamExportRequest req;
    req.path = (dir / "Cut.ZOV").string();
    req.useArea = true;
    req.left = 3;
    req.top = 2;
    req.right = 35;
    req.bottom = 27;
    req.writePages = false;
    StreamExportResult res;
    std::string error;
    ASSERT_TRUE(ExportProjectToStream(ani, req, res, error)) << error;
    EXPECT_EQ((dir / "Cut.zov").string(), res.streamPath);
    EXPECT_TRUE(fs::exists(dir / "Cut.zov"));
    EXPECT_FALSE(fs::exists(dir / "Cut.ZOV"));
    EXPECT_TRUE(res.soundCopied);
    const Bytes sound = ReadFile(dir / "Cut.mp3");
    EXPECT_EQ("not really sound", std::string(sound.begin(), sound.end()));
    std::vector<std::vector<uint32_t>> want;
    for (int f = 0; f < FRAMES; ++f)
        want.push_back(Crop(Stored(f), 3, 2, 35, 27));
    EXPECT_EQ(size_t(FRAMES), CheckStream(ReadFile(res.streamPath), 32, 25, want));
    // A folder whose name holds ".ZOV" is left alone.
    EXPECT_EQ("/a.ZOV/b.zov", StreamExportPath("/a.ZOV/b.ZOV"));
}

TEST_F(StreamExportTest, BadRequestsFailBeforeWritingAnything) {
    struct Bad {
        int first, last;
        bool area;
        int l, t, r, b;
    };
    const Bad bad[] = {{6, 5, false, 0, 0, 0, 0},   {0, 9, false, 0, 0, 0, 0},
                       {9, -1, false, 0, 0, 0, 0},  {-1, -1, true, 0, 0, 41, 30},
                       {-1, -1, true, 5, 5, 5, 9},  {-1, -1, true, -1, 0, 10, 10},
                       {-1, -1, true, 0, 3, 10, 31}};
    for (const Bad& b : bad) {
        StreamExportRequest req;
        req.path = (dir / "bad.zov").string();
        req.first = b.first;
        req.last = b.last;
        req.useArea = b.area;
        req.left = b.l;
        req.top = b.t;
        req.right = b.r;
        req.bottom = b.b;
        req.writePages = false;
        StreamExportResult res;
        std::string error;
        EXPECT_FALSE(ExportProjectToStream(ani, req, res, error)) << b.first << " " << b.last;
        EXPECT_FALSE(error.empty());
        EXPECT_FALSE(fs::exists(req.path));
    }
    // The whole frame is a valid area.
    StreamExportRequest whole;
    whole.path = (dir / "whole.zov").string();
    whole.useArea = true;
    whole.right = W;
    whole.bottom = H;
    whole.writePages = false;
    StreamExportResult res;
    std::string error;
    EXPECT_TRUE(ExportProjectToStream(ani, whole, res, error)) << error;

    CAni none;
    EXPECT_FALSE(ExportProjectToStream(none, whole, res, error));
    CAni stream;
    std::string sp = (dir / "direct.zov").string();
    ASSERT_TRUE(stream.NewProject(sp, true));
    EXPECT_FALSE(ExportProjectToStream(stream, whole, res, error));
}

TEST_F(StreamExportTest, FrameDelaysThePlayersCannotPlayAreBroughtIntoTheirRange) {
    // Players take an interval of 10 ms or less for a still picture and read it as signed
    // 16 bits: such project delays are written as the nearest interval they play.
    const struct {
        int32_t delay, interval;
    } cases[] = {{10, 11}, {1, 11}, {0, 11}, {11, 11}, {32767, 32767}, {40000, 32767}};
    for (const auto& c : cases) {
        ani.SetFrameDelay(c.delay);
        StreamExportRequest req;
        req.path = (dir / ("d" + std::to_string(c.delay) + ".zov")).string();
        req.last = 1;
        req.writePages = false;
        StreamExportResult res;
        std::string error;
        ASSERT_TRUE(ExportProjectToStream(ani, req, res, error)) << c.delay << ": " << error;
        const Bytes s = ReadFile(req.path);
        ASSERT_GT(s.size(), 12u);
        EXPECT_EQ(c.interval, (s[10] << 8) | s[11]) << c.delay;
        EXPECT_EQ(c.delay != c.interval, !res.warning.empty()) << c.delay << ": " << res.warning;
        EXPECT_EQ(c.delay, ani.FrameDelay()); // the project keeps its own delay
    }
}

TEST(ZovrecStreamTest, EncodeThenDecodeGivesTheSamePictures) {
    const std::string zovrec = std::string(ZOV_BIN_DIR) + "/zovrec";
    if (!fs::exists(zovrec))
        GTEST_SKIP() << "zovrec is not built";
    const fs::path dir = fs::temp_directory_path() / ("zov-cli-" + std::to_string(::getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir / "in");
    std::vector<std::vector<uint32_t>> sources;
    for (int f = 0; f < 6; ++f) {
        Image24 img = ProjectFrame(f);
        char name[32];
        std::snprintf(name, sizeof name, "shot%03d.bmp", f + 1);
        ASSERT_TRUE(WriteBmp((dir / "in" / name).string(), img));
        sources.push_back(Crop(img, 0, 0, W, H));
    }
    const std::string stream = (dir / "s.zov").string();
    auto run = [&](const std::string& args) {
        return std::system((zovrec + " " + args + " >/dev/null 2>&1").c_str());
    };
    ASSERT_EQ(0, run("stream-encode '" + (dir / "in" / "shot001.bmp").string() + "' '" + stream +
                     "' --interval 300"));
    ASSERT_EQ(0, run("stream-decode '" + stream + "' '" + (dir / "out").string() + "'"));
    EXPECT_EQ(0, run("stream-info '" + stream + "' --records"));
    const Bytes s = ReadFile(stream);
    ASSERT_GT(s.size(), 16u);
    EXPECT_EQ(0x01, s[10]);
    EXPECT_EQ(0x2C, s[11]); // 300 ms
    // Records from the stream for the guard model; pictures from the BMPs zovrec wrote.
    GuardModel model{W, H};
    size_t p = 16;
    for (int f = 0; f < 6; ++f) {
        ASSERT_LT(p + 4, s.size() + 1);
        const uint32_t l = BE32(s.data() + p);
        if (l != 0)
            model.Record(s.data() + p);
        p += 4 + l;
        char name[32];
        std::snprintf(name, sizeof name, "file%04d.bmp", f + 1);
        Image24 out;
        std::string error;
        ASSERT_TRUE(ReadBmp((dir / "out" / name).string(), out, error)) << error;
        EXPECT_EQ("", model.Compare(sources[f].data(), Crop(out, 0, 0, W, H).data())) << name;
    }
    EXPECT_EQ(s.size(), p); // no end marker, as direct recording writes
    EXPECT_FALSE(fs::exists(dir / "out" / "file0007.bmp"));

    // A damaged stream: pictures up to the damage, then a non-zero exit.
    Bytes cut(s.begin(), s.end() - 5);
    std::ofstream(dir / "cut.zov", std::ios::binary)
        .write(reinterpret_cast<const char*>(cut.data()), cut.size());
    EXPECT_NE(0, run("stream-decode '" + (dir / "cut.zov").string() + "' '" + (dir / "out2").string() + "'"));
    EXPECT_TRUE(fs::exists(dir / "out2" / "file0005.bmp"));
    EXPECT_FALSE(fs::exists(dir / "out2" / "file0006.bmp"));
    EXPECT_NE(
        0, run("stream-decode '" + (dir / "missing.zov").string() + "' '" + (dir / "out3").string() + "'"));
    fs::remove_all(dir);
}
