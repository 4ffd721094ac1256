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

} // namespace
