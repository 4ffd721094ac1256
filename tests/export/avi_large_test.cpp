// A real AVI export past 1 GiB (550 uncompressed 1024 x 768 frames, about 1.3 GB): the first
// RIFF stays within 1 GiB, an AVIX block follows, ffprobe reads every frame, and a seek into
// each block shows the project's frame. Slow (ctest label "slow"): it writes the whole file.
#include <gtest/gtest.h>

#include <filesystem>

#include "export/AviExport.h"
#include "tests/export/AviTestUtil.h"
#include "tests/export/ExportTestProject.h"

using namespace zov;
using namespace zov::test;
namespace fs = std::filesystem;

TEST(AviLargeExport, PastOneGibibyteEveryFrameReadsAndSeeksLand) {
    if (!HaveFfmpeg())
        GTEST_SKIP() << "ffmpeg and ffprobe are the oracle of this test";
    const fs::path dir = fs::temp_directory_path() / ("zov-avi-large-" + std::to_string(::getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir);
    constexpr int kFrames = 550;
    CAni ani;
    MakeExportTestProject(ani, (dir / "big.scp").string(), 1024, 768, kFrames, 250,
                          {0, 100, 200, 300, 400, 500});
    ExportOptions o = DefaultExportOptions(ani, kExportKeyAvi);
    o.outputPath = (dir / "big.avi").string();
    AviExportResult r;
    std::string error;
    ASSERT_TRUE(ExportProjectToAvi(ani, o, {}, r, error)) << error;
    EXPECT_EQ(kFrames, r.frames);
    EXPECT_EQ(2, r.riffs);
    const uint64_t size = fs::file_size(o.outputPath);
    EXPECT_GT(size, 1200ull << 20);

    // The RIFF headers, read without loading the file: the first within 1 GiB, then AVIX.
    std::ifstream in(o.outputPath, std::ios::binary);
    Bytes head(12);
    in.read(reinterpret_cast<char*>(head.data()), 12);
    EXPECT_EQ("AVI ", Fcc(head, 8));
    const uint64_t first = zovtest::Le32(head, 4) + 8ull;
    EXPECT_LE(first, 1ull << 30);
    in.seekg(static_cast<std::streamoff>(first));
    in.read(reinterpret_cast<char*>(head.data()), 12);
    EXPECT_EQ("RIFF", Fcc(head, 0));
    EXPECT_EQ("AVIX", Fcc(head, 8));
    EXPECT_EQ(size, first + zovtest::Le32(head, 4) + 8ull);

    EXPECT_EQ(std::to_string(kFrames), Probe(o.outputPath, "v", "nb_read_frames", true));
    // A frame early in the first block, one at its end, and frames in the second.
    for (int f : {3, 440, 470, 549}) {
        char at[32];
        std::snprintf(at, sizeof at, "%.3f", f * 0.25);
        const std::string raw = (dir / "seek.raw").string();
        RunTool({"ffmpeg", "-v", "error", "-y", "-ss", at, "-i", o.outputPath, "-frames:v", "1", "-f",
                 "rawvideo", "-pix_fmt", "bgr24", raw});
        EXPECT_TRUE(zovtest::ReadAll(raw) == StoredBgr(ani, f, 0, 0, 1024, 768)) << "frame " << f;
    }
    ani.Close();
    fs::remove_all(dir);
}
