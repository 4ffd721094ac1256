// zovrec's bitmap commands as a script sees them: import-bmp with --at and the naming rule,
// and the bitmap and WMV exports with --overwrite.
#include "tests/core/DocTest.h"

#include "base/Bitmap.h"

#include <sys/wait.h>

using namespace zovtest;

namespace {

struct CliRun {
    int code = -1;
    std::string out, err;
};

CliRun Zovrec(const std::string& args, const std::string& scratch) {
    const std::string errFile = scratch + "/stderr.txt";
    const std::string cmd = std::string(ZOV_BIN_DIR) + "/zovrec " + args + " 2>'" + errFile + "'";
    CliRun r;
    FILE* p = popen(cmd.c_str(), "r");
    if (!p)
        return r;
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, p)) > 0)
        r.out.append(buf, n);
    const int status = pclose(p);
    r.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    const auto e = ReadAll(errFile);
    r.err.assign(e.begin(), e.end());
    return r;
}

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
