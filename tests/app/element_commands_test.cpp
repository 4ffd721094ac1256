// zovrec's element commands as a script uses them: add elements, list them, export the
// project and find them burned into the stream's, the AVI's and the bitmaps' pictures, delete one.
#include "tests/app/ZovrecCli.h"
#include "tests/core/DocTest.h"

#include "base/Bitmap.h"

#include <cstdlib>
#include <filesystem>

using namespace zovtest;

namespace {

class ElementCli : public DocTest {
  protected:
    std::string Q(const std::string& name) const { return "'" + Path(name) + "'"; }
    uint32_t Pixel(const zov::Image24& img, int x, int y) const {
        const uint8_t* p = img.PixelTopDown(x, y);
        return p[2] << 16 | p[1] << 8 | p[0];
    }
};

} // namespace

TEST_F(ElementCli, AddListExportDelete) {
    for (int i = 0; i < 6; ++i) {
        zov::Image24 img;
        img.Allocate(40, 24);
        for (auto& b : img.bits)
            b = static_cast<uint8_t>(200 + i);
        char name[32];
        std::snprintf(name, sizeof name, "shot%03d.bmp", i);
        ASSERT_TRUE(zov::WriteBmp(Path(name), img));
    }
    CliRun r = Zovrec("import-bmp " + Q("film") + " " + Q("shot000.bmp"), dir);
    ASSERT_EQ(r.code, 0) << r.err;

    r = Zovrec("add-element " + Q("film.scp") +
                   " --kind box --frames 1-3 --rect 12,10,2,2 --border FF0000 --fill 00FF00",
               dir);
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ("0 box 1-3\n", r.out);
    r = Zovrec("add-element " + Q("film.scp") +
                   " --kind subtitle-type --frames 0-5 --rect 0,12,40,24 --text 'a\nb'",
               dir);
    ASSERT_EQ(r.code, 0) << r.err;
    r = Zovrec("add-element " + Q("film.scp") +
                   " --kind link --frames 0-5 --rect 20,0,38,10 --url http://example.org/",
               dir);
    ASSERT_EQ(r.code, 0) << r.err;

    r = Zovrec("elements " + Q("film.scp"), dir);
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.out.find("0 box 1-3 2,2,12,10 pen=1 style=0 border=FF0000 fill=00FF00\n"), std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("1 subtitle-type 0-5 0,12,40,24"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("text=\"a\\nb\""), std::string::npos) << r.out; // stored as "\r\n"
    EXPECT_NE(r.out.find("2 link 0-5 20,0,38,10 url=\"http://example.org/\""), std::string::npos) << r.out;

    // The export draws the box on frames 1 to 3 only, and never the link.
    r = Zovrec("export " + Q("film.scp") + " --format zov --out " + Q("film.zov") + " --no-pages", dir);
    ASSERT_EQ(r.code, 0) << r.err;
    r = Zovrec("stream-decode " + Q("film.zov") + " " + Q("decoded"), dir);
    ASSERT_EQ(r.code, 0) << r.err;
    for (int f = 0; f < 6; ++f) {
        char name[64];
        std::snprintf(name, sizeof name, "decoded/file%04d.bmp", f + 1);
        zov::Image24 img;
        std::string why;
        ASSERT_TRUE(zov::ReadBmp(Path(name), img, why)) << why;
        const uint32_t bare = 0x010101u * static_cast<uint32_t>(200 + f);
        EXPECT_EQ(f >= 1 && f <= 3 ? 0xFF0000u : bare, Pixel(img, 2, 2)) << f;
        EXPECT_EQ(f >= 1 && f <= 3 ? 0x00FF00u : bare, Pixel(img, 5, 5)) << f;
        EXPECT_EQ(bare, Pixel(img, 20, 0)) << f; // the link's corner
    }

    // The AVI and bitmap exports draw the same elements through the same walk: the box on
    // frames 1 to 3, the link nowhere. ffmpeg reads the AVI back, our BMP reader the files.
    r = Zovrec("export " + Q("film.scp") + " --format avi --out " + Q("film.avi"), dir);
    ASSERT_EQ(r.code, 0) << r.err;
    const std::string raw = Path("film.raw");
    ASSERT_EQ(0, std::system(
                     ("ffmpeg -v error -y -i " + Q("film.avi") + " -f rawvideo -pix_fmt bgr24 '" + raw + "'")
                         .c_str()));
    const std::vector<uint8_t> frames = ReadAll(raw);
    ASSERT_EQ(frames.size(), size_t(6 * 40 * 24 * 3));
    auto aviPixel = [&](int f, int x, int y) {
        const uint8_t* p = frames.data() + (size_t(f) * 40 * 24 + size_t(y) * 40 + size_t(x)) * 3;
        return uint32_t(p[2]) << 16 | uint32_t(p[1]) << 8 | p[0];
    };
    ASSERT_TRUE(std::filesystem::create_directory(Path("bitmaps")));
    r = Zovrec("export " + Q("film.scp") + " --format bmp --out " + Q("bitmaps"), dir);
    ASSERT_EQ(r.code, 0) << r.err;
    for (int f = 0; f < 6; ++f) {
        char name[64];
        std::snprintf(name, sizeof name, "bitmaps/file%04d.bmp", f + 1);
        zov::Image24 img;
        std::string why;
        ASSERT_TRUE(zov::ReadBmp(Path(name), img, why)) << why;
        const uint32_t bare = 0x010101u * static_cast<uint32_t>(200 + f);
        const uint32_t border = f >= 1 && f <= 3 ? 0xFF0000u : bare;
        const uint32_t fill = f >= 1 && f <= 3 ? 0x00FF00u : bare;
        EXPECT_EQ(border, Pixel(img, 2, 2)) << "bmp " << f;
        EXPECT_EQ(fill, Pixel(img, 5, 5)) << "bmp " << f;
        EXPECT_EQ(bare, Pixel(img, 20, 0)) << "bmp " << f;
        EXPECT_EQ(border, aviPixel(f, 2, 2)) << "avi " << f;
        EXPECT_EQ(fill, aviPixel(f, 5, 5)) << "avi " << f;
        EXPECT_EQ(bare, aviPixel(f, 20, 0)) << "avi " << f;
    }

    // Faults are one sentence and exit code 1; nothing is added.
    EXPECT_EQ(1,
              Zovrec("add-element " + Q("film.scp") + " --kind blob --frames 0-1 --rect 0,0,1,1", dir).code);
    EXPECT_EQ(1,
              Zovrec("add-element " + Q("film.scp") + " --kind box --frames 4-9 --rect 0,0,1,1", dir).code);
    EXPECT_EQ(1, Zovrec("add-element " + Q("film.scp") + " --kind box --frames 0-1 --rect 0,0,1", dir).code);

    r = Zovrec("delete-element " + Q("film.scp") + " 0", dir);
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(1, Zovrec("delete-element " + Q("film.scp") + " 2", dir).code);
    r = Zovrec("elements " + Q("film.scp"), dir);
    EXPECT_EQ(0u, r.out.find("0 subtitle-type 0-5")) << r.out;
    EXPECT_EQ(std::string::npos, r.out.find("box")) << r.out;
}
