// zovrec's bitmap commands as a script sees them: import-bmp with --at and the naming rule,
// and the bitmap and WMV exports with --overwrite.
#include "tests/app/ZovrecCli.h"
#include "tests/core/DocTest.h"

#include "base/Bitmap.h"

#include <algorithm>
#include <filesystem>

using namespace zovtest;

namespace {

// Rows of 96 bytes: difference frames carry whole 96-byte blocks only.
constexpr int W = 32, H = 20;

class BitmapCli : public DocTest {
  protected:
    std::string Q(const std::string& name) const { return "'" + Path(name) + "'"; }
    void WriteShot(const std::string& name, int t) {
        zov::Image24 img;
        img.Allocate(W, H);
        const auto pic = Picture(W, H, t);
        std::copy(pic.begin(), pic.end(), img.bits.begin());
        ASSERT_TRUE(zov::WriteBmp(Path(name), img));
    }
    std::vector<uint8_t> Frame(const std::string& project, int index) {
        zov::CAni doc;
        std::string p = Path(project);
        EXPECT_TRUE(doc.OpenProject(p));
        std::vector<uint8_t> img;
        zov::FrameHeader h{};
        EXPECT_TRUE(doc.LoadFrame(index, img, h));
        doc.Close();
        return img;
    }
};

} // namespace

TEST_F(BitmapCli, ImportAtAPositionContinuesPastTheDigitsAndStopsAtTheGap) {
    for (int n = 0; n < 4; ++n)
        WriteShot("base" + std::to_string(n) + ".bmp", n);
    ASSERT_EQ(Zovrec("import-bmp " + Q("p.scp") + " " + Q("base0.bmp"), dir).code, 0);
    WriteShot("shot098.bmp", 98);
    WriteShot("shot099.bmp", 99);
    WriteShot("shot100.bmp", 100);
    WriteShot("shot102.bmp", 102); // after the gap: not taken
    const CliRun r = Zovrec("import-bmp " + Q("p.scp") + " " + Q("shot098.bmp") + " --at 1", dir);
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.out.find("appended 3 frames, 7 in all"), std::string::npos) << r.out;
    EXPECT_EQ(Frame("p.scp", 0), Picture(W, H, 0));
    EXPECT_EQ(Frame("p.scp", 1), Picture(W, H, 98));
    EXPECT_EQ(Frame("p.scp", 2), Picture(W, H, 99));
    EXPECT_EQ(Frame("p.scp", 3), Picture(W, H, 100));
    EXPECT_EQ(Frame("p.scp", 4), Picture(W, H, 1));
    EXPECT_EQ(Frame("p.scp", 6), Picture(W, H, 3));
    // A position beyond the frames is refused before anything is appended.
    const CliRun beyond = Zovrec("import-bmp " + Q("p.scp") + " " + Q("shot098.bmp") + " --at 8", dir);
    EXPECT_EQ(beyond.code, 1);
    EXPECT_NE(beyond.err.find("beyond"), std::string::npos) << beyond.err;
}

TEST_F(BitmapCli, NamesWithoutTheNumberingAreRefusedWithTheMessage) {
    WriteShot("image.bmp", 1);
    WriteShot("12.bmp", 2);
    for (const char* name : {"image.bmp", "12.bmp"}) {
        const CliRun r = Zovrec("import-bmp " + Q("p.scp") + " " + Q(name), dir);
        EXPECT_EQ(r.code, 1) << name;
        EXPECT_NE(r.err.find("Filename Should Be: file0001.bmp"), std::string::npos) << r.err;
    }
    EXPECT_FALSE(zov::FileExists(Path("p.scp"))); // refused before the project was made
}

TEST_F(BitmapCli, ACompressedBitmapIsRefusedWithAClearMessage) {
    WriteShot("rle0001.bmp", 1);
    auto bytes = ReadAll(Path("rle0001.bmp"));
    Put32(bytes, 30, 1); // BI_RLE8
    ASSERT_TRUE(WriteAll(Path("rle0001.bmp"), bytes));
    const CliRun r = Zovrec("import-bmp " + Q("p.scp") + " " + Q("rle0001.bmp"), dir);
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("compressed"), std::string::npos) << r.err;
}

TEST_F(BitmapCli, ExportBitmapsOfARangeAndAnEarlierSeriesNeedsOverwrite) {
    for (int n = 0; n < 8; ++n)
        WriteShot("in" + std::to_string(n) + ".bmp", n);
    ASSERT_EQ(Zovrec("import-bmp " + Q("p.scp") + " " + Q("in0.bmp"), dir).code, 0);
    std::filesystem::create_directories(Path("out"));
    const CliRun r =
        Zovrec("export " + Q("p.scp") + " --format bmp --out " + Q("out") + " --first 3 --last 5", dir);
    ASSERT_EQ(r.code, 0) << r.err;
    for (int i = 1; i <= 3; ++i) {
        zov::Image24 img;
        std::string error;
        ASSERT_TRUE(zov::ReadBmp(Path("out/file000" + std::to_string(i) + ".bmp"), img, error)) << error;
        EXPECT_EQ(img.bits, Picture(W, H, 2 + i)) << i;
    }
    EXPECT_FALSE(zov::FileExists(Path("out/file0004.bmp")));
    const std::string cursor = ReadText(Path("out/cursor.txt"));
    EXPECT_EQ(std::count(cursor.begin(), cursor.end(), '\n'), 4) << cursor;
    // Again without --overwrite: refused, the folder as it was.
    ASSERT_TRUE(WriteText(Path("out/cursor.txt"), "mine\n"));
    const CliRun again = Zovrec("export " + Q("p.scp") + " --format bmp --out " + Q("out"), dir);
    EXPECT_EQ(again.code, 1);
    EXPECT_NE(again.err.find("--overwrite"), std::string::npos) << again.err;
    EXPECT_EQ(ReadText(Path("out/cursor.txt")), "mine\n");
    EXPECT_FALSE(zov::FileExists(Path("out/file0004.bmp")));
    const CliRun forced =
        Zovrec("export " + Q("p.scp") + " --format bmp --out " + Q("out") + " --overwrite", dir);
    ASSERT_EQ(forced.code, 0) << forced.err;
    EXPECT_TRUE(zov::FileExists(Path("out/file0008.bmp")));
}

TEST_F(BitmapCli, ExportWmvThroughTheEncoderLeavesNoTemporaryFile) {
    for (int n = 0; n < 6; ++n)
        WriteShot("in" + std::to_string(n) + ".bmp", n);
    ASSERT_EQ(Zovrec("import-bmp " + Q("p.scp") + " " + Q("in0.bmp"), dir).code, 0);
    std::filesystem::create_directories(Path("tmp"));
    const CliRun r =
        Zovrec("export " + Q("p.scp") + " --format wmv --out " + Q("a & b.wmv") + " --area 1,2,30,19", dir,
               "TMPDIR=" + Path("tmp"));
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_TRUE(std::filesystem::is_empty(Path("tmp")));
    FILE* p =
        popen(("ffprobe -v error -count_frames -show_entries stream=codec_name,width,height,nb_read_frames "
               "-of csv=p=0 " +
               Q("a & b.wmv"))
                  .c_str(),
              "r");
    ASSERT_NE(p, nullptr);
    char buf[512] = {};
    const size_t n = std::fread(buf, 1, sizeof buf - 1, p);
    pclose(p);
    const std::string probe(buf, n);
    // 29 x 17 is padded to 30 x 18; six pictures; the one second of silence as wmav2.
    EXPECT_NE(probe.find("wmv2,30,18,6"), std::string::npos) << probe;
    EXPECT_NE(probe.find("wmav2"), std::string::npos) << probe;
}
