// The frame store on real screen content (1024 x 768 clips of ../shared/bench/corpus, turned
// into a numbered BMP series with ffmpeg first, as the bitmap import reads them). Each step
// runs beside a peer that touches the same bytes with memcpy/memcmp, in the same run:
//  - record:       difference-encode and write every frame (key frame every 10th), then the
//                  index; peer: memcmp of each frame with the one before and memcpy of it;
//  - load, play:   LoadFrame 0, 1, 2, ... with the cache on; peer: memcpy of one picture each;
//  - load, random: LoadFrame at random indexes (fixed seed), cache on; peer: the same memcpys;
//  - save as:      the compacted copy (decode and re-encode every frame); peer: memcmp and
//                  memcpy of every frame.
// Figures are per frame, thread CPU time of the best iteration (so other work on the shared
// machine distorts them less); the ratio is ours / peer.
//
// How to run (from a build with benchmarks, e.g. scripts/build.sh build-x):
//   build-x/bin/frame_store_bench                        # terminal and browser clips
//   ZOV_BENCH_CLIPS=terminal ZOV_BENCH_FRAMES=60 build-x/bin/frame_store_bench
// It prints the Google Benchmark table, then per clip: ms per frame, ratios, bytes per frame.
#include "base/Bitmap.h"
#include "base/Log.h"
#include "core/Ani.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <vector>

using namespace zov;

namespace {

struct Clip {
    std::string name;
    std::vector<std::vector<uint8_t>> frames; // project images, 24-bit bottom-up
    std::string folder;
    int64_t projectBytes = 0;
};

std::vector<Clip> g_clips;
std::map<std::string, double> g_best; // "clip/step" -> best ns per frame
std::string g_work;

double ThreadNs() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return ts.tv_sec * 1e9 + ts.tv_nsec;
}

void Keep(const std::string& key, double nsPerFrame) {
    auto it = g_best.find(key);
    if (it == g_best.end() || nsPerFrame < it->second)
        g_best[key] = nsPerFrame;
}

bool LoadClip(const std::string& name, int maxFrames, Clip& clip) {
    const std::string src = std::string(ZOV_SHARED_DIR) + "/bench/corpus/" + name + ".mkv";
    clip.name = name;
    clip.folder = g_work + "/" + name;
    std::filesystem::create_directories(clip.folder);
    std::string cmd = "ffmpeg -v error -y -i '" + src + "' -fps_mode passthrough";
    if (maxFrames > 0)
        cmd += " -frames:v " + std::to_string(maxFrames);
    cmd += " -pix_fmt bgr24 '" + clip.folder + "/file%04d.bmp'";
    if (std::system(cmd.c_str()) != 0) {
        std::fprintf(stderr, "ffmpeg could not decode %s\n", src.c_str());
        return false;
    }
    for (long n = 1;; ++n) {
        char file[32];
        std::snprintf(file, sizeof file, "/file%04ld.bmp", n);
        Image24 img;
        std::string err;
        if (!FileExists(clip.folder + file) || !ReadBmp(clip.folder + file, img, err))
            break;
        if (img.width != 1024 || img.height != 768) {
            std::fprintf(stderr, "%s is %d x %d, not 1024 x 768\n", name.c_str(), img.width, img.height);
            return false;
        }
        clip.frames.push_back(std::move(img.bits));
    }
    return !clip.frames.empty();
}

// Records the clip into a new project through the capture primitives.
bool Record(const Clip& clip, const std::string& path) {
    CAni& a = Ani();
    std::string p = path;
    if (!a.NewProject(p, false) || !a.BeginCaptureRun(1024, 768, std::chrono::system_clock::now()))
        return false;
    const uint8_t* prev = nullptr;
    for (size_t i = 0; i < clip.frames.size(); ++i) {
        const int32_t kind = i % 10 == 0 ? FRAME_KEY : FRAME_DIFF;
        if (!a.AppendCapturedFrame(clip.frames[i].data(), prev, kind, 0, 0, 1))
            return false;
        prev = clip.frames[i].data();
    }
    return a.WriteIndex();
}

void BM_Record(benchmark::State& state, Clip* clip) {
    const std::string path = g_work + "/" + clip->name + "-record.scp";
    for (auto _ : state) {
        const double t0 = ThreadNs();
        if (!Record(*clip, path)) {
            state.SkipWithError("recording failed");
            return;
        }
        Keep(clip->name + "/record", (ThreadNs() - t0) / double(clip->frames.size()));
        clip->projectBytes = static_cast<int64_t>(std::filesystem::file_size(path));
        Ani().Close();
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * int64_t(clip->frames.size()));
}

void BM_RecordPeer(benchmark::State& state, Clip* clip) {
    std::vector<uint8_t> out(clip->frames[0].size());
    for (auto _ : state) {
        const double t0 = ThreadNs();
        int diff = 0;
        for (size_t i = 0; i < clip->frames.size(); ++i) {
            if (i > 0)
                diff += std::memcmp(clip->frames[i].data(), clip->frames[i - 1].data(), out.size()) != 0;
            std::memcpy(out.data(), clip->frames[i].data(), out.size());
            benchmark::DoNotOptimize(out.data());
        }
        benchmark::DoNotOptimize(diff);
        Keep(clip->name + "/record peer", (ThreadNs() - t0) / double(clip->frames.size()));
    }
}

std::vector<int> Order(size_t n, bool random) {
    std::vector<int> order(n);
    for (size_t i = 0; i < n; ++i)
        order[i] = static_cast<int>(i);
    if (random) {
        std::mt19937 rng(1234);
        for (auto& v : order)
            v = static_cast<int>(rng() % n);
    }
    return order;
}

void BM_Load(benchmark::State& state, Clip* clip, bool random) {
    const std::string path = g_work + "/" + clip->name + "-load.scp";
    if (!Record(*clip, path)) {
        state.SkipWithError("recording failed");
        return;
    }
    Ani().Close();
    const auto order = Order(clip->frames.size(), random);
    std::vector<uint8_t> img;
    FrameHeader header;
    for (auto _ : state) {
        std::string p = path;
        if (!Ani().OpenProject(p)) { // a fresh cache each iteration
            state.SkipWithError("open failed");
            return;
        }
        const double t0 = ThreadNs();
        for (int i : order)
            if (!Ani().LoadFrame(i, img, header) || img != clip->frames[size_t(i)]) {
                state.SkipWithError("a frame did not decode to its picture");
                return;
            }
        const double t1 = ThreadNs();
        // The check above is not part of the load: time it apart and take it off.
        double check = ThreadNs();
        for (int i : order)
            benchmark::DoNotOptimize(img == clip->frames[size_t(i)]);
        check = ThreadNs() - check;
        Keep(clip->name + (random ? "/load random" : "/load play"), (t1 - t0 - check) / double(order.size()));
        Ani().Close();
    }
}

void BM_LoadPeer(benchmark::State& state, Clip* clip, bool random) {
    const auto order = Order(clip->frames.size(), random);
    std::vector<uint8_t> img(clip->frames[0].size());
    for (auto _ : state) {
        const double t0 = ThreadNs();
        for (int i : order) {
            std::memcpy(img.data(), clip->frames[size_t(i)].data(), img.size());
            benchmark::DoNotOptimize(img.data());
        }
        Keep(clip->name + (random ? "/load random peer" : "/load play peer"),
             (ThreadNs() - t0) / double(order.size()));
    }
}

void BM_SaveAs(benchmark::State& state, Clip* clip) {
    const std::string path = g_work + "/" + clip->name + "-save.scp";
    if (!Record(*clip, path)) {
        state.SkipWithError("recording failed");
        return;
    }
    Ani().Close();
    for (auto _ : state) {
        std::string p = path;
        if (!Ani().OpenProject(p)) {
            state.SkipWithError("open failed");
            return;
        }
        std::string target = g_work + "/" + clip->name + "-copy.scp";
        const double t0 = ThreadNs();
        if (!Ani().SaveAs(target)) {
            state.SkipWithError("save as failed");
            return;
        }
        Keep(clip->name + "/save as", (ThreadNs() - t0) / double(clip->frames.size()));
        Ani().Close();
    }
}

void BM_SaveAsPeer(benchmark::State& state, Clip* clip) {
    std::vector<uint8_t> out(clip->frames[0].size());
    for (auto _ : state) {
        const double t0 = ThreadNs();
        int diff = 0;
        for (size_t i = 0; i < clip->frames.size(); ++i) {
            std::memcpy(out.data(), clip->frames[i].data(), out.size());
            if (i > 0)
                diff += std::memcmp(out.data(), clip->frames[i - 1].data(), out.size()) != 0;
            benchmark::DoNotOptimize(out.data());
        }
        benchmark::DoNotOptimize(diff);
        Keep(clip->name + "/save as peer", (ThreadNs() - t0) / double(clip->frames.size()));
    }
}

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    std::string tmpl = (std::filesystem::temp_directory_path() / "zov-frame-bench-XXXXXX").string();
    if (!mkdtemp(tmpl.data()))
        return 1;
    g_work = tmpl;
    SetLogPath(g_work + "/bench.log");
    const char* clipsEnv = std::getenv("ZOV_BENCH_CLIPS");
    const char* framesEnv = std::getenv("ZOV_BENCH_FRAMES");
    const int maxFrames = framesEnv ? std::atoi(framesEnv) : 0;
    std::stringstream names(clipsEnv ? clipsEnv : "terminal,browser");
    std::string name;
    while (std::getline(names, name, ',')) {
        Clip clip;
        if (!LoadClip(name, maxFrames, clip))
            return 1;
        std::printf("%s: %zu frames of 1024 x 768\n", name.c_str(), clip.frames.size());
        g_clips.push_back(std::move(clip));
    }
    for (Clip& c : g_clips) {
        benchmark::RegisterBenchmark((c.name + "/record").c_str(), BM_Record, &c)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark((c.name + "/record peer").c_str(), BM_RecordPeer, &c)
            ->Unit(benchmark::kMillisecond);
        for (bool random : {false, true}) {
            const std::string s = random ? "/load random" : "/load play";
            benchmark::RegisterBenchmark((c.name + s).c_str(), BM_Load, &c, random)
                ->Unit(benchmark::kMillisecond);
            benchmark::RegisterBenchmark((c.name + s + " peer").c_str(), BM_LoadPeer, &c, random)
                ->Unit(benchmark::kMillisecond);
        }
        benchmark::RegisterBenchmark((c.name + "/save as").c_str(), BM_SaveAs, &c)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark((c.name + "/save as peer").c_str(), BM_SaveAsPeer, &c)
            ->Unit(benchmark::kMillisecond);
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();

    std::printf("\n%-10s %-13s %12s %12s %8s\n", "clip", "step", "ours ms/fr", "peer ms/fr", "ratio");
    for (const Clip& c : g_clips) {
        for (const char* step : {"record", "load play", "load random", "save as"}) {
            const std::string key = c.name + "/" + step;
            if (!g_best.count(key) || !g_best.count(key + " peer"))
                continue;
            const double ours = g_best[key], peer = g_best[key + " peer"];
            std::printf("%-10s %-13s %12.3f %12.3f %7.1fx\n", c.name.c_str(), step, ours / 1e6, peer / 1e6,
                        ours / peer);
        }
        if (c.projectBytes > 0)
            std::printf("%-10s project file: %lld bytes per frame (%.1f:1 against 2,359,296 raw)\n",
                        c.name.c_str(), static_cast<long long>(c.projectBytes / int64_t(c.frames.size())),
                        2359296.0 * double(c.frames.size()) / double(c.projectBytes));
    }
    std::error_code ec;
    std::filesystem::remove_all(g_work, ec);
    return 0;
}
