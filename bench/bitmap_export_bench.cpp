// The bitmap export beside ffmpeg, in the same run: a project made from a clip of
// ../shared/bench/corpus (ffmpeg turns it into a BMP series, the import reads it), then
//  - ours: ExportBitmaps of every frame (decode from the project, draw, write file%04d.bmp
//          and cursor.txt);
//  - peer: ffmpeg reading the same pictures as raw bgr24 frames and writing them as BMPs
//          (-f image2 file%04d.bmp), which decodes nothing.
// Each side runs three times into an empty folder; the best wall time counts. The goal is
// ours within 2x of the peer (ratio = ours / peer <= 2).
//
// How to run (from a build with benchmarks):
//   build/bin/bitmap_export_bench                      # terminal clip, 120 frames
//   ZOV_BENCH_CLIPS=browser ZOV_BENCH_FRAMES=60 build/bin/bitmap_export_bench
#include "base/Bitmap.h"
#include "base/Log.h"
#include "core/Ani.h"
#include "export/BitmapExport.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

using namespace zov;
namespace fs = std::filesystem;

namespace {

double Seconds(const std::chrono::steady_clock::time_point& start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

int Run(const std::string& work, const std::string& clip, int frames) {
    const std::string series = work + "/" + clip + "-series";
    fs::create_directories(series);
    const std::string src = std::string(ZOV_SHARED_DIR) + "/bench/corpus/" + clip + ".mkv";
    const std::string decode = "ffmpeg -v error -y -i '" + src + "' -fps_mode passthrough -frames:v " +
                               std::to_string(frames) + " -pix_fmt bgr24 '" + series + "/file%04d.bmp'";
    if (std::system(decode.c_str()) != 0) {
        std::fprintf(stderr, "ffmpeg could not decode %s\n", src.c_str());
        return 1;
    }
    CAni ani;
    std::string project = work + "/" + clip + ".scp";
    if (!ani.NewProject(project, false)) {
        std::fprintf(stderr, "can not create %s\n", project.c_str());
        return 1;
    }
    BitmapAppendRequest request;
    request.firstPath = series + "/file0001.bmp";
    if (!ani.AppendFramesFromBitmaps(request)) {
        std::fprintf(stderr, "import failed: %s\n", request.error.c_str());
        return 1;
    }
    const int count = ani.FrameCount();
    const int w = ani.ImageWidth(), h = ani.ImageHeight();
    // The peer's input: the project's pictures as raw top-down bgr24 frames.
    const std::string raw = work + "/" + clip + ".bgr24";
    {
        FILE* f = std::fopen(raw.c_str(), "wb");
        Image24 img;
        for (int i = 0; f && i < count; ++i) {
            if (!ani.LoadFrame(i, img))
                return 1;
            for (int y = 0; y < h; ++y)
                std::fwrite(img.PixelTopDown(0, y), 1, size_t(w) * 3, f);
        }
        if (!f || std::fclose(f) != 0)
            return 1;
    }
    double ours = 1e9, peer = 1e9;
    for (int round = 0; round < 3; ++round) {
        const std::string a = work + "/ours", b = work + "/peer";
        fs::remove_all(a);
        fs::remove_all(b);
        fs::create_directories(a);
        fs::create_directories(b);
        BitmapExportRequest req;
        req.folder = a;
        int32_t written = 0;
        std::string error;
        auto t0 = std::chrono::steady_clock::now();
        if (ExportBitmaps(ani, req, written, error) != BitmapExportResult::Done || written != count) {
            std::fprintf(stderr, "export failed: %s\n", error.c_str());
            return 1;
        }
        ours = std::min(ours, Seconds(t0));
        const std::string cmd = "ffmpeg -v error -y -f rawvideo -pix_fmt bgr24 -s " + std::to_string(w) +
                                "x" + std::to_string(h) + " -i '" + raw + "' -f image2 '" + b +
                                "/file%04d.bmp'";
        t0 = std::chrono::steady_clock::now();
        if (std::system(cmd.c_str()) != 0)
            return 1;
        peer = std::min(peer, Seconds(t0));
    }
    std::printf(
        "%-10s %4d frames %dx%d: ours %7.1f frames/s, ffmpeg %7.1f frames/s, ratio (time ours / peer) %.2f\n",
        clip.c_str(), count, w, h, count / ours, count / peer, ours / peer);
    return 0;
}

} // namespace

int main() {
    const char* clips = std::getenv("ZOV_BENCH_CLIPS");
    const char* frames = std::getenv("ZOV_BENCH_FRAMES");
    const int n = frames ? std::atoi(frames) : 120;
    std::string work = (fs::temp_directory_path() / "zov-bitmap-bench-XXXXXX").string();
    if (!mkdtemp(work.data()))
        return 1;
    SetLogPath(work + "/bench.log");
    std::string list = clips ? clips : "terminal";
    int status = 0;
    for (size_t start = 0; start <= list.size();) {
        size_t end = list.find(',', start);
        if (end == std::string::npos)
            end = list.size();
        if (end > start)
            status |= Run(work, list.substr(start, end - start), n);
        start = end + 1;
    }
    fs::remove_all(work);
    return status;
}
