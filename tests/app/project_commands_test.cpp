// The zovrec project commands as a script sees them: exit codes, one-sentence errors, and
// files that fail to open left untouched.
#include "tests/app/ZovrecCli.h"
#include "tests/core/DocTest.h"

#include "base/Bitmap.h"

using namespace zovtest;

namespace {

class Cli : public DocTest {
  protected:
    std::string Q(const std::string& name) const { return "'" + Path(name) + "'"; }
};

TEST_F(Cli, ProjectCommandsEndToEnd) {
    for (int i = 0; i < 12; ++i) {
        zov::Image24 img;
        img.Allocate(36, 20);
        const auto pic = Picture(36, 20, i);
        std::copy(pic.begin(), pic.end(), img.bits.begin());
        char name[32];
        std::snprintf(name, sizeof name, "shot%03d.bmp", i + 7);
        ASSERT_TRUE(zov::WriteBmp(Path(name), img));
    }
    CliRun r = Zovrec("import-bmp " + Q("film") + " " + Q("shot007.bmp"), dir);
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.out.find("appended 12 frames"), std::string::npos) << r.out;
    ASSERT_TRUE(std::filesystem::exists(Path("film.scp")));

    r = Zovrec("info " + Q("film.scp"), dir);
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.out.find("key frames at:      0, 10"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("36 x 20"), std::string::npos);

    EXPECT_EQ(Zovrec("check " + Q("film"), dir).code, 0);

    r = Zovrec("frame " + Q("film.scp") + " 11 " + Q("out.bmp"), dir);
    ASSERT_EQ(r.code, 0) << r.err;
    const auto bmp = ReadAll(Path("out.bmp"));
    ASSERT_EQ(bmp.size(), 54u + 108u * 20u);
    EXPECT_EQ(Le32(bmp, 10), 54u);
    EXPECT_EQ(LeI32(bmp, 22), 20); // bottom-up
    EXPECT_EQ((bmp[28] | (bmp[29] << 8)), 24);
    const auto want = Picture(36, 20, 11);
    // 2,160 bytes: 22 whole blocks, and a tail that frame 11 (a difference frame) keeps from 10.
    EXPECT_TRUE(std::equal(want.begin(), want.begin() + 2112, bmp.begin() + 54));
    const auto key = Picture(36, 20, 10);
    EXPECT_TRUE(std::equal(key.begin() + 2112, key.end(), bmp.begin() + 54 + 2112));

    // Deleting the last frames stores no frame again: the file never grows.
    for (int k = 0; k < 3; ++k) {
        const uintmax_t size = std::filesystem::file_size(Path("film.scp"));
        EXPECT_EQ(Zovrec("delete " + Q("film.scp") + " " + std::to_string(11 - k) + " 1", dir).code, 0);
        EXPECT_LE(std::filesystem::file_size(Path("film.scp")), size) << k;
    }
    EXPECT_EQ(Zovrec("paste " + Q("film.scp") + " 0 3 9", dir).code, 0);
    EXPECT_EQ(Zovrec("delete " + Q("film.scp") + " 2 3", dir).code, 0);
    EXPECT_EQ(Zovrec("paste " + Q("film.scp") + " 0 2 9", dir).code, 0);
    EXPECT_EQ(Zovrec("save-as " + Q("film.scp") + " " + Q("copy"), dir).code, 0);
    r = Zovrec("info " + Q("copy.scp"), dir);
    EXPECT_NE(r.out.find("frames:             11"), std::string::npos) << r.out;

    // Errors: one sentence on stderr, a non-zero exit, nothing changed.
    const auto before = ReadAll(Path("film.scp"));
    r = Zovrec("delete " + Q("film.scp") + " 5 100", dir);
    EXPECT_NE(r.code, 0);
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    EXPECT_EQ(Zovrec("frame " + Q("film.scp") + " 99 " + Q("x.bmp"), dir).code, 1);
    EXPECT_EQ(Zovrec("paste " + Q("film.scp") + " x 1 0", dir).code, 1);
    EXPECT_EQ(Zovrec("delete " + Q("film.scp"), dir).code, 2); // usage
    EXPECT_EQ(ReadAll(Path("film.scp")), before);

    std::vector<uint8_t> damaged = before;
    Put32(damaged, Le32(damaged, 72) + 8, 100); // frame 1 points into the header
    ASSERT_TRUE(WriteAll(Path("damaged.scp"), damaged));
    r = Zovrec("check " + Q("damaged.scp"), dir);
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("damaged"), std::string::npos) << r.err;
    EXPECT_NE(Zovrec("delete " + Q("damaged.scp") + " 0 1", dir).code, 0);
    EXPECT_NE(Zovrec("import-bmp " + Q("damaged.scp") + " " + Q("shot007.bmp"), dir).code, 0);
    EXPECT_EQ(ReadAll(Path("damaged.scp")), damaged);
    ASSERT_TRUE(WriteAll(Path("text.scp"), {'h', 'e', 'l', 'l', 'o'}));
    EXPECT_NE(Zovrec("import-bmp " + Q("text.scp") + " " + Q("shot007.bmp"), dir).code, 0);
    EXPECT_EQ(ReadAll(Path("text.scp")).size(), 5u);
}

// The write-fault injection of the crash tests is compiled into their twin of zovrec only:
// the released program ignores the variable and completes.
TEST_F(Cli, ReleasedProgramIgnoresTheWriteFaultVariable) {
    zov::Image24 img;
    img.Allocate(40, 10);
    std::fill(img.bits.begin(), img.bits.end(), 0x5A);
    ASSERT_TRUE(zov::WriteBmp(Path("f0000.bmp"), img));
    ASSERT_TRUE(zov::WriteBmp(Path("f0001.bmp"), img));
    CliRun r = Zovrec("import-bmp " + Q("p") + " " + Q("f0000.bmp"), dir, "ZOV_FAULT_WRITE_LIMIT=1");
    EXPECT_EQ(r.code, 0) << r.err;
    r = Zovrec("info " + Q("p.scp"), dir);
    EXPECT_NE(r.out.find("frames:             2"), std::string::npos) << r.out;
}

} // namespace

TEST_F(Cli, RecordTakesOnlyDelaysThePlayersCanPlay) {
    for (const char* delay : {"0", "1", "10", "32768", "-5"}) {
        CliRun r = Zovrec("record " + Q("d.scp") + " --delay " + delay + " --frames 1 --display :64999", dir);
        EXPECT_EQ(2, r.code) << delay << ": " << r.err;
        EXPECT_NE(r.err.find("11 to 32767"), std::string::npos) << r.err;
    }
    // An accepted delay gets past the options to the screen, which this display does not have.
    for (const char* delay : {"11", "32767"}) {
        CliRun r = Zovrec("record " + Q("d.scp") + " --delay " + delay + " --frames 1 --display :64999", dir);
        EXPECT_EQ(1, r.code) << delay << ": " << r.err;
        EXPECT_EQ(r.err.find("--delay"), std::string::npos) << r.err;
    }
    EXPECT_FALSE(std::filesystem::exists(Path("d.scp")));
    CliRun help = Zovrec("help", dir);
    EXPECT_NE(help.out.find("--delay MS (11..32767)"), std::string::npos) << help.out;
}
