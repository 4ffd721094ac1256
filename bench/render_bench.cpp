// The editor's drawing on real screen content (1024 x 768 clips of ../shared/bench/corpus,
// turned into a project through the capture primitives), each beside a peer in the same run:
//  - show frame:   FrameSurfaces::ShowFrame 0, 1, 2, ... (decode, compose, three surfaces);
//                  peer: a QImage copy of a 1024 x 768 picture of the same pixels;
//  - strip redraw: RenderStrip of a 1024-pixel strip with its 11 thumbnails (as the strip
//                  keeps them); peer: QImage copies of the same 11 thumbnails and the strip;
//  - playback:     the playback worker playing the clip at 250 ms per frame, CPU time of the
//                  process over wall time (target: under 5 % of one core); peer: none needed,
//                  the figure is a share of a core.
// Figures are thread CPU time per operation, best of the repetitions; ratio = ours / peer.
//
// How to run (from a build with benchmarks):
//   build/bin/render_bench                            # terminal clip, 40 frames
//   ZOV_BENCH_CLIPS=browser ZOV_BENCH_FRAMES=60 build/bin/render_bench
#include "base/Bitmap.h"
#include "bench/BenchProject.h"
#include "core/Ani.h"
#include "render/FrameSurfaces.h"
#include "render/Playback.h"
#include "ui/ThumbnailStrip.h"

#include <QGuiApplication>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <sstream>
#include <string>
#include <sys/resource.h>
#include <vector>

using namespace zov;
using zovbench::LoadClip;
using zovbench::Record;
using zovbench::ThreadNs;

namespace {

double ProcessCpuNs() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return (u.ru_utime.tv_sec + u.ru_stime.tv_sec) * 1e9 + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) * 1e3;
}

template <typename F> double BestNs(int reps, F&& f) {
    double best = 1e300;
    for (int r = 0; r < reps; ++r) {
        const double t0 = ThreadNs();
        f();
        best = std::min(best, ThreadNs() - t0);
    }
    return best;
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv); // the strip draws text
    const char* clips = std::getenv("ZOV_BENCH_CLIPS");
    const int maxFrames = std::getenv("ZOV_BENCH_FRAMES") ? std::atoi(std::getenv("ZOV_BENCH_FRAMES")) : 40;
    std::stringstream names(clips ? clips : "terminal");
    const std::string work = std::filesystem::temp_directory_path().string() + "/zov-render-bench";
    std::filesystem::remove_all(work);
    std::string name;
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
        std::string p = path;
        if (!doc.OpenProject(p))
            return 1;
        const int n = doc.FrameCount();

        // Show frame, all frames in order, beside a QImage copy per frame.
        FrameSurfaces surfaces(doc);
        surfaces.Prepare();
        const double show = BestNs(3,
                                   [&] {
                                       doc.Cache().DropAll();
                                       for (int i = 0; i < n; ++i)
                                           surfaces.ShowFrame(i);
                                   }) /
                            n;
        const QImage picture = ImageFromFrameBits(frames[0].bits.data(), 1024, 768);
        qint64 sink = 0;
        const double showPeer = BestNs(3,
                                       [&] {
                                           for (int i = 0; i < n; ++i) {
                                               QImage copy = picture.copy();
                                               sink += copy.constBits()[i];
                                           }
                                       }) /
                                n;

        // Strip redraw with its thumbnails at hand, beside copies of the same thumbnails.
        std::vector<QImage> thumbs;
        for (int i = 0; i < 11 && i < n; ++i)
            thumbs.push_back(
                ImageFromFrameBits(frames[static_cast<size_t>(i)].bits.data(), 1024, 768)
                    .scaled(kThumbWidth, kThumbHeight, Qt::IgnoreAspectRatio, Qt::FastTransformation));
        StripModel model;
        model.projectOpen = true;
        model.frameCount = n;
        model.frameDelayMs = 250;
        model.sel.Reset(n);
        model.fontFamily = "DejaVu Sans";
        model.thumbnail = [&thumbs](int32_t f) {
            return f < static_cast<int32_t>(thumbs.size()) ? thumbs[static_cast<size_t>(f)] : QImage();
        };
        const double strip = BestNs(20, [&] { sink += RenderStrip(QSize(1024, 90), model).constBits()[0]; });
        const QImage stripImage = RenderStrip(QSize(1024, 90), model);
        const double stripPeer = BestNs(20, [&] {
            QImage c = stripImage.copy();
            for (const QImage& t : thumbs)
                sink += t.copy().constBits()[0];
            sink += c.constBits()[0];
        });

        // Playback at 250 ms a frame: the process's CPU over the wall time it took.
        std::mutex frameMutex, lock;
        std::condition_variable ended;
        bool done = false;
        PlaybackEngine engine(doc, frameMutex);
        engine.SetListener({[](int) {},
                            [&](int) {
                                std::lock_guard<std::mutex> g(lock);
                                done = true;
                                ended.notify_all();
                            }});
        const int playFrames = std::min(n, 20);
        engine.SetPlayStart(n - playFrames);
        doc.Cache().DropAll();
        const double cpu0 = ProcessCpuNs();
        const auto wall0 = std::chrono::steady_clock::now();
        engine.Play();
        {
            std::unique_lock<std::mutex> g(lock);
            ended.wait(g, [&] { return done; });
        }
        const double wall =
            std::chrono::duration<double, std::nano>(std::chrono::steady_clock::now() - wall0).count();
        const double share = (ProcessCpuNs() - cpu0) / wall * 100.0;
        engine.Stop();

        std::printf("%s, %d frames of 1024 x 768:\n", name.c_str(), n);
        std::printf("  show frame    %8.3f ms   QImage copy %8.3f ms   ratio %6.2f\n", show / 1e6,
                    showPeer / 1e6, show / showPeer);
        std::printf("  strip redraw  %8.3f ms   copies      %8.3f ms   ratio %6.2f\n", strip / 1e6,
                    stripPeer / 1e6, strip / stripPeer);
        std::printf("  playback at 250 ms/frame: %.2f %% of one core (target < 5 %%) over %d frames\n", share,
                    playFrames);
        if (sink == 42)
            std::printf(" ");
    }
    std::filesystem::remove_all(work);
    return 0;
}
