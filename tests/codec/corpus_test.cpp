// Round trip of real screen content: the first frames of every corpus clip, decoded to BMP
// files by ffmpeg, go through the stream writer and reader; every picture must equal its
// source except exactly the guard-column pixels of region-coded blocks.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "base/Bitmap.h"
#include "codec/StreamReader.h"
#include "codec/StreamWriter.h"
#include "tests/codec/CodecTestUtil.h"

using namespace zov;
using namespace zov::test;
namespace fs = std::filesystem;

namespace {

class MemorySink : public StreamSink {
  public:
    bool Write(const void* data, size_t size) override {
        auto p = static_cast<const uint8_t*>(data);
        bytes.insert(bytes.end(), p, p + size);
        return true;
    }
    Bytes bytes;
};

std::vector<uint32_t> ToCodec(const Image24& img) {
    std::vector<uint32_t> px(size_t(img.width) * img.height);
    for (int y = 0; y < img.height; ++y)
        for (int x = 0; x < img.width; ++x) {
            const uint8_t* p = img.PixelTopDown(x, y);
            px[size_t(y) * img.width + x] = p[0] | (p[1] << 8) | (p[2] << 16);
        }
    return px;
}

// Under CI (CI=true) a missing corpus or tool fails the test: a run that never looked at the
// corpus must not pass as one that did. On a developer's machine the test skips, saying why.
bool UnderCi() {
    const char* ci = std::getenv("CI");
    return ci && (std::string(ci) == "true" || std::string(ci) == "1");
}
#define NEED_OR_SKIP(why)                                                                                    \
    do {                                                                                                     \
        if (UnderCi())                                                                                       \
            FAIL() << (why) << "; CI needs it";                                                              \
        GTEST_SKIP() << (why) << "; skipped outside CI";                                                     \
    } while (0)

class CorpusTest : public ::testing::TestWithParam<const char*> {};

} // namespace

TEST_P(CorpusTest, EveryFrameIsItsSourceExceptTheGuardColumn) {
    const std::string clip = std::string(ZOV_SHARED_DIR) + "/bench/corpus/" + GetParam() + ".mkv";
    if (!fs::exists(clip))
        NEED_OR_SKIP("the screen corpus clip " + clip +
                     " is missing (the corpus belongs in ../shared/bench/corpus beside the source tree)");
    if (std::system("ffmpeg -version >/dev/null 2>&1") != 0)
        NEED_OR_SKIP(std::string("ffmpeg is not installed (scripts/deps lists it)"));
    const fs::path dir = fs::temp_directory_path() /
                         ("zov-corpus-" + std::string(GetParam()) + "-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    const int frames = std::string(GetParam()) == "browser1080" ? 8 : 16;
    const std::string cmd = "ffmpeg -v error -i '" + clip + "' -fps_mode passthrough -frames:v " +
                            std::to_string(frames) + " -pix_fmt bgr24 '" + (dir / "file%04d.bmp").string() +
                            "'";
    ASSERT_EQ(0, std::system(cmd.c_str())) << cmd;
    const auto series = ListBmpSeries((dir / "file0001.bmp").string());
    ASSERT_EQ(size_t(frames), series.size());

    std::vector<std::vector<uint32_t>> sources;
    MemorySink sink;
    StreamWriter writer;
    int w = 0, h = 0;
    for (const std::string& path : series) {
        Image24 img;
        std::string error;
        ASSERT_TRUE(ReadBmp(path, img, error)) << error;
        if (sources.empty()) {
            w = img.width;
            h = img.height;
            ASSERT_TRUE(writer.Begin(&sink, w, h, 250)) << writer.Error();
        }
        ASSERT_TRUE(writer.AddFrame(img.bits.data(), size_t(img.RowBytes()))) << writer.Error();
        sources.push_back(ToCodec(img));
    }
    ASSERT_TRUE(writer.End(StreamEnd::Marker));
    fs::remove_all(dir);

    StreamReader reader;
    reader.Append(sink.bytes.data(), sink.bytes.size());
    reader.Finish();
    GuardModel model{uint32_t(w), uint32_t(h)};
    StreamRecord rec;
    int guards = 0;
    for (size_t i = 0; i < sources.size(); ++i) {
        ASSERT_EQ(ReadStatus::Record, reader.Next(rec)) << reader.Error();
        ASSERT_FALSE(rec.rejected) << rec.error;
        if (rec.kind == StreamRecord::Frame)
            model.Record(sink.bytes.data() + rec.offset);
        int g = 0;
        ASSERT_EQ("", model.Compare(sources[i].data(), reader.Picture(), &g)) << GetParam() << " frame " << i;
        guards += g;
    }
    EXPECT_EQ(ReadStatus::End, reader.Next(rec));
    EXPECT_TRUE(reader.SawEndMarker());
    EXPECT_GT(guards, 0); // the first frame region-codes edge blocks: the rule is exercised
}

INSTANTIATE_TEST_SUITE_P(Clips, CorpusTest, ::testing::Values("terminal", "browser", "browser1080"));
