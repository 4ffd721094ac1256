#include "base/Bitmap.h"
#include "base/Path.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <unistd.h>

namespace {

TEST(Path, PartsAndExtensionsIgnoreCaseOfExtensionOnly) {
    EXPECT_EQ(zov::FolderPart("/a/b/c.scp"), "/a/b/");
    EXPECT_EQ(zov::FolderPart("c.scp"), "");
    EXPECT_EQ(zov::FileNamePart("/a/b/c.scp"), "c.scp");
    EXPECT_EQ(zov::ReplaceExtension("/a/B.d/Film.SCP", "zov"), "/a/B.d/Film.zov");
    EXPECT_EQ(zov::ReplaceExtension("/a/b.d/film", "scp"), "/a/b.d/film.scp");
    EXPECT_EQ(zov::ReplaceExtension("/a/.hidden", "scp"), "/a/.hidden.scp");
    EXPECT_TRUE(zov::HasExtension("/x/Y.ZoV", "zov"));
    EXPECT_FALSE(zov::HasExtension("/x.zov/y", "zov"));
}

TEST(Bitmap, SeriesNamingRule) {
    zov::BmpSeriesName s;
    ASSERT_TRUE(zov::ParseBmpSeriesName("/t/shot007.BMP", s));
    EXPECT_EQ(s.prefix, "/t/shot");
    EXPECT_EQ(s.number, 7);
    EXPECT_EQ(s.Member(8), "/t/shot008.BMP");
    EXPECT_EQ(s.Member(1234), "/t/shot1234.BMP");            // at least, not exactly, that many digits
    EXPECT_FALSE(zov::ParseBmpSeriesName("/t/0001.bmp", s)); // nothing before the digits
    EXPECT_FALSE(zov::ParseBmpSeriesName("/t/shot.bmp", s));
    EXPECT_FALSE(zov::ParseBmpSeriesName("/t/shot1.png", s));
}

TEST(Bitmap, WriteReadRoundTripOddSizeAndSeriesStopsAtGap) {
    zov::Image24 img;
    img.Allocate(47, 33);
    for (int y = 0; y < 33; ++y)
        for (int x = 0; x < 47; ++x) {
            uint8_t* p = img.PixelTopDown(x, y);
            p[0] = uint8_t(x * 5), p[1] = uint8_t(y * 7), p[2] = uint8_t(x ^ y);
        }
    std::vector<uint8_t> bytes = zov::EncodeBmp(img);
    ASSERT_EQ(bytes.size(), 54u + 144u * 33u); // 47*3=141 padded to 144
    zov::Image24 back;
    std::string err;
    ASSERT_TRUE(zov::DecodeBmp(bytes.data(), bytes.size(), back, err)) << err;
    EXPECT_EQ(back.bits, img.bits);
    // A file cut short is refused with a sentence.
    EXPECT_FALSE(zov::DecodeBmp(bytes.data(), bytes.size() - 1, back, err));
    EXPECT_FALSE(err.empty());

    char dir[] = "/tmp/zovbmpXXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    std::string d = dir;
    ASSERT_TRUE(zov::WriteBmp(d + "/f08.bmp", img));
    ASSERT_TRUE(zov::WriteBmp(d + "/f09.bmp", img));
    ASSERT_TRUE(zov::WriteBmp(d + "/f10.bmp", img));
    ASSERT_TRUE(zov::WriteBmp(d + "/f12.bmp", img));
    auto list = zov::ListBmpSeries(d + "/f08.bmp");
    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(list[2], d + "/f10.bmp");
    for (const char* n : {"/f08.bmp", "/f09.bmp", "/f10.bmp", "/f12.bmp"})
        unlink((d + n).c_str());
    rmdir(dir);
}

// A BMP with bit-field masks (compression 3), written byte by byte: 40-byte info header, then
// the red, green and blue masks, then the pixels of a 2 x 1 picture.
std::vector<uint8_t> BitFieldBmp(uint16_t bits, uint32_t red, uint32_t green, uint32_t blue,
                                 const std::vector<uint8_t>& row) {
    std::vector<uint8_t> b(66, 0);
    auto put32 = [&](size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i)
            b[at + i] = uint8_t(v >> (8 * i));
    };
    b[0] = 'B';
    b[1] = 'M';
    put32(10, 66);
    put32(14, 40);
    put32(18, 2);
    put32(22, 1);
    b[26] = 1;
    b[28] = uint8_t(bits);
    put32(30, 3);
    put32(54, red);
    put32(58, green);
    put32(62, blue);
    b.insert(b.end(), row.begin(), row.end());
    b.resize(66 + ((row.size() + 3) & ~size_t(3)), 0);
    put32(2, uint32_t(b.size()));
    return b;
}

TEST(Bitmap, BitFieldMasksDecideTheColours) {
    zov::Image24 img;
    std::string err;
    // 5-6-5: pure green 0x07E0 and a mixed 0xF81F (red and blue full, green 0).
    auto b565 = BitFieldBmp(16, 0xF800, 0x07E0, 0x001F, {0xE0, 0x07, 0x1F, 0xF8});
    ASSERT_TRUE(zov::DecodeBmp(b565.data(), b565.size(), img, err)) << err;
    EXPECT_EQ(img.bits[0], 0x00); // blue
    EXPECT_EQ(img.bits[1], 0xFC); // green: 6 bits widened
    EXPECT_EQ(img.bits[2], 0x00); // red
    EXPECT_EQ(img.bits[3], 0xF8);
    EXPECT_EQ(img.bits[4], 0x00);
    EXPECT_EQ(img.bits[5], 0xF8);
    // 32 bits with red in the low byte and blue in the third.
    auto b32 =
        BitFieldBmp(32, 0x000000FF, 0x0000FF00, 0x00FF0000, {0x11, 0x22, 0x33, 0, 0xA0, 0xB0, 0xC0, 0});
    ASSERT_TRUE(zov::DecodeBmp(b32.data(), b32.size(), img, err)) << err;
    EXPECT_EQ(img.bits[0], 0x33);
    EXPECT_EQ(img.bits[1], 0x22);
    EXPECT_EQ(img.bits[2], 0x11);
    EXPECT_EQ(img.bits[3], 0xC0);
    EXPECT_EQ(img.bits[5], 0xA0);
    // A mask that selects nothing cannot describe a colour.
    auto empty = BitFieldBmp(16, 0, 0x07E0, 0x001F, {0, 0, 0, 0});
    EXPECT_FALSE(zov::DecodeBmp(empty.data(), empty.size(), img, err));
}

} // namespace
