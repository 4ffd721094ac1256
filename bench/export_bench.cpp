// The AVI export on real screen content (1024 x 768 clips of ../shared/bench/corpus turned into
// a project through the capture primitives) beside ffmpeg muxing the very same raw frames into
// an AVI, in the same run:
//  - ours: ExportProjectToAvi, uncompressed (decode from the key frame, copy, write 00db
//          chunks and the index), wall time of the whole export;
//  - peer: `ffmpeg -f rawvideo -pix_fmt bgr24 ... -c:v rawvideo out.avi` on a file holding the
//          project's frames, wall time of the process.
// Both write to the same folder; best of the repetitions; ratio = ours / peer (goal: <= 2).
//
// How to run (from a build with benchmarks):
//   build/bin/export_bench                            # terminal clip, 120 frames
//   ZOV_BENCH_CLIPS=browser ZOV_BENCH_FRAMES=200 build/bin/export_bench
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "base/Bitmap.h"
#include "bench/BenchProject.h"
#include "core/Ani.h"
#include "export/AviExport.h"

using namespace zov;
using zovbench::LoadClip;
using zovbench::Record;
using zovbench::ThreadNs;
namespace fs = std::filesystem;

namespace {

template <typename F> double BestSeconds(int reps, F&& f) {
    double best = 1e300;
    for (int r = 0; r < reps; ++r) {
        const auto t0 = std::chrono::steady_clock::now();
        if (!f())
            return -1;
        best = std::min(best, std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
    }
    return best;
}

} // namespace

int main() {
    const char* clips = std::getenv("ZOV_BENCH_CLIPS");
    const int maxFrames = std::getenv("ZOV_BENCH_FRAMES") ? std::atoi(std::getenv("ZOV_BENCH_FRAMES")) : 120;
    std::stringstream names(clips ? clips : "terminal");
    const std::string work = fs::temp_directory_path().string() + "/zov-export-bench";
    fs::remove_all(work);
    std::string name;
    int status = 0;
    while (std::getline(names, name, ',')) {
        std::vector<Image24> frames;
        if (!LoadClip(name, maxFrames, work + "/" + name, frames)) {
            std::fprintf(stderr, "%s: the clip could not be decoded\n", name.c_str());
            return 1;
        }
        CAni doc;
        const std::string path = work + "/" + name + ".scp";
        if (!Record(doc, frames, path)) {
            std::fprintf(stderr, "%s: recording failed\n", name.c_str());
            return 1;
        }
        // The peer's input: the project's frames, top-down, as one raw file.
        const std::string raw = work + "/" + name + ".bgr";
        {
            std::ofstream out(raw, std::ios::binary);
            for (int i = 0; i < doc.FrameCount(); ++i) {
                Image24 img;
                if (!doc.LoadFrame(i, img))
                    return 1;
                for (int y = 0; y < img.height; ++y)
                    out.write(reinterpret_cast<const char*>(img.PixelTopDown(0, y)), img.width * 3);
            }
        }
        const int n = doc.FrameCount();
        ExportOptions o = DefaultExportOptions(doc, kExportKeyAvi);
        o.outputPath = work + "/" + name + "-ours.avi";
        const double ours = BestSeconds(3, [&] {
            AviExportResult r;
            std::string error;
            if (!ExportProjectToAvi(doc, o, {}, r, error)) {
                std::fprintf(stderr, "export failed: %s\n", error.c_str());
                return false;
            }
            return true;
        });
        const std::string peerCmd = "ffmpeg -v error -y -f rawvideo -pix_fmt bgr24 -s 1024x768 -r 4 -i '" +
                                    raw + "' -c:v rawvideo -pix_fmt bgr24 -f avi '" + work + "/" + name +
                                    "-peer.avi'";
        const double peer = BestSeconds(3, [&] { return std::system(peerCmd.c_str()) == 0; });
        if (ours <= 0 || peer <= 0) {
            status = 1;
            continue;
        }
        std::printf("%-10s %4d frames  AVI export %7.1f frames/s   ffmpeg mux %7.1f frames/s   ratio %.2f\n",
                    name.c_str(), n, n / ours, n / peer, ours / peer);
    }
    fs::remove_all(work);
    return status;
}
