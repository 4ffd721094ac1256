// Stream codec speed and size on the screen corpus, side by side in one run:
//  - ours:     FrameDiffCodec encode, then decode of the records it made;
//  - baseline: changed 16 x 16 blocks sent raw (3 bytes a pixel) with the changed-block
//              bitmap through one zlib stream at level 6, one sync flush per frame;
//  - zmbv:     FFmpeg's zmbv encoder (bgr0, one thread, a key frame every 40 frames).
// Each iteration codes a whole clip from a fresh coder; figures are per frame, in thread
// CPU time (the best iteration), so that other work on the machine does not distort them.
//
// How to run (from a build with benchmarks, e.g. scripts/build.sh build-x):
//   build-x/bin/codec_bench                      # every clip of ../shared/bench/corpus
//   ZOV_BENCH_CLIPS=terminal build-x/bin/codec_bench --benchmark_min_time=2
//   ZOV_BENCH_FRAMES=30 ...                     # only the first 30 frames of each clip
// After the Google Benchmark table it prints bytes per frame, milliseconds per frame and
// the ratios (ours against the baseline and zmbv; our encode against our decode).
#include <benchmark/benchmark.h>
#include <zlib.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/frame.h>
#include <libavutil/imgutils.h>
}

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "codec/FrameDiffCodec.h"

namespace {

struct Clip {
    std::string name;
    int w = 0, h = 0;
    std::vector<std::vector<uint32_t>> frames; // 0x00RRGGBB, top-down
    std::vector<std::vector<uint8_t>> records; // our records, for the decode runs
};

// The clip's frames through ffmpeg as raw bgr0 (little-endian words 0x00RRGGBB).
bool LoadClip(const std::string& path, const std::string& name, int maxFrames, Clip& clip) {
    std::string probe =
        "ffprobe -v error -select_streams v:0 -show_entries stream=width,height -of csv=p=0 '" + path + "'";
    FILE* p = popen(probe.c_str(), "r");
    if (!p)
        return false;
    int w = 0, h = 0;
    const int got = std::fscanf(p, "%d,%d", &w, &h);
    pclose(p);
    if (got != 2 || w <= 0 || h <= 0)
        return false;
    std::string cmd = "ffmpeg -v error -i '" + path + "' -fps_mode passthrough";
    if (maxFrames > 0)
        cmd += " -frames:v " + std::to_string(maxFrames);
    cmd += " -f rawvideo -pix_fmt bgr0 -";
    p = popen(cmd.c_str(), "r");
    if (!p)
        return false;
    clip.name = name;
    clip.w = w;
    clip.h = h;
    std::vector<uint32_t> frame(size_t(w) * h);
    while (std::fread(frame.data(), 4, frame.size(), p) == frame.size()) {
        for (auto& v : frame)
            v &= 0x00FFFFFF;
        clip.frames.push_back(frame);
    }
    pclose(p);
    return !clip.frames.empty();
}

struct Figures {
    double seconds = 0; // best whole-clip time
    uint64_t bytes = 0;
};
std::map<std::string, Figures> g_figures; // "clip/what"

void Keep(const std::string& key, double seconds, uint64_t bytes) {
    Figures& f = g_figures[key];
    if (f.seconds == 0 || seconds < f.seconds)
        f.seconds = seconds;
    f.bytes = bytes;
}

// Thread CPU time: the machine is shared, so wall time would measure the neighbours too.
struct CpuClock {
    static double Now() {
        timespec t;
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
        return double(t.tv_sec) + t.tv_nsec * 1e-9;
    }
};
double Seconds(double start) {
    return CpuClock::Now() - start;
}

void EncodeOurs(benchmark::State& state, Clip* clip) {
    std::vector<uint8_t> out;
    for (auto _ : state) {
        const double t0 = CpuClock::Now();
        zov::FrameDiffCodec codec;
        if (!codec.Init(zov::C_CODEC_ENCODE, clip->w, clip->h, 24, 16, 16)) {
            state.SkipWithError("encoder refused the size");
            return;
        }
        out.resize(codec.MaxRecordBytes());
        uint64_t bytes = 0;
        const bool keep = clip->records.empty();
        for (const auto& f : clip->frames) {
            uint32_t size = uint32_t(out.size());
            codec.EncodeFrame(f.data(), clip->w, clip->h, out.data(), size, 0, 0, 0);
            bytes += size / 8;
            if (keep)
                clip->records.emplace_back(out.begin(), out.begin() + size / 8);
        }
        Keep(clip->name + "/ours", Seconds(t0), bytes);
        benchmark::DoNotOptimize(bytes);
    }
    state.counters["ms/frame"] =
        benchmark::Counter(1000.0 * g_figures[clip->name + "/ours"].seconds / clip->frames.size());
}

void DecodeOurs(benchmark::State& state, Clip* clip) {
    std::vector<uint32_t> image(size_t(clip->w) * clip->h);
    for (auto _ : state) {
        const double t0 = CpuClock::Now();
        zov::FrameDiffCodec codec;
        if (!codec.Init(zov::C_CODEC_DECODE, clip->w, clip->h, 24, 16, 16)) {
            state.SkipWithError("decoder refused the size");
            return;
        }
        codec.SetStreamVersion(9);
        for (const auto& r : clip->records) {
            if (r.size() <= 4)
                continue; // unchanged frame
            if (codec.DecodePayload(r.data() + 4, r.size() - 4, image.data()) != zov::DecodeStatus::Ok) {
                state.SkipWithError("a record was rejected");
                return;
            }
        }
        Keep(clip->name + "/decode", Seconds(t0), 0);
        benchmark::DoNotOptimize(image.data());
    }
}

void EncodeBaseline(benchmark::State& state, Clip* clip) {
    const int bw = 16, bh = 16, bx = (clip->w + bw - 1) / bw, by = (clip->h + bh - 1) / bh;
    std::vector<uint8_t> in, out;
    for (auto _ : state) {
        const double t0 = CpuClock::Now();
        z_stream z{};
        deflateInit(&z, 6);
        std::vector<uint32_t> prev(size_t(clip->w) * clip->h, 0xFFFFFFFFu);
        uint64_t bytes = 0;
        for (const auto& f : clip->frames) {
            in.assign((size_t(bx) * by + 7) / 8, 0);
            for (int b = 0; b < bx * by; ++b) {
                const int x0 = (b % bx) * bw, y0 = (b / bx) * bh;
                const int w = std::min(bw, clip->w - x0), h = std::min(bh, clip->h - y0);
                bool changed = false;
                for (int y = 0; y < h && !changed; ++y) {
                    const size_t at = size_t(y0 + y) * clip->w + x0;
                    changed = std::memcmp(&f[at], &prev[at], size_t(w) * 4) != 0;
                }
                if (!changed)
                    continue;
                in[b >> 3] |= uint8_t(1u << (b & 7));
                for (int y = 0; y < h; ++y) {
                    const size_t at = size_t(y0 + y) * clip->w + x0;
                    std::memcpy(&prev[at], &f[at], size_t(w) * 4);
                    for (int x = 0; x < w; ++x) {
                        const uint32_t v = f[at + x];
                        in.push_back(uint8_t(v));
                        in.push_back(uint8_t(v >> 8));
                        in.push_back(uint8_t(v >> 16));
                    }
                }
            }
            out.resize(in.size() + in.size() / 8 + 256);
            z.next_in = in.data();
            z.avail_in = uInt(in.size());
            z.next_out = out.data();
            z.avail_out = uInt(out.size());
            deflate(&z, Z_SYNC_FLUSH);
            bytes += out.size() - z.avail_out;
        }
        deflateEnd(&z);
        Keep(clip->name + "/baseline", Seconds(t0), bytes);
        benchmark::DoNotOptimize(bytes);
    }
}

void EncodeZmbv(benchmark::State& state, Clip* clip) {
    const AVCodec* codec = avcodec_find_encoder_by_name("zmbv");
    if (!codec) {
        state.SkipWithError("this FFmpeg has no zmbv encoder");
        return;
    }
    for (auto _ : state) {
        const double t0 = CpuClock::Now();
        AVCodecContext* ctx = avcodec_alloc_context3(codec);
        ctx->width = clip->w;
        ctx->height = clip->h;
        ctx->pix_fmt = AV_PIX_FMT_BGR0;
        ctx->time_base = AVRational{1, 4};
        ctx->gop_size = 40;
        ctx->thread_count = 1;
        if (avcodec_open2(ctx, codec, nullptr) < 0) {
            avcodec_free_context(&ctx);
            state.SkipWithError("zmbv refused the picture");
            return;
        }
        AVFrame* frame = av_frame_alloc();
        frame->format = AV_PIX_FMT_BGR0;
        frame->width = clip->w;
        frame->height = clip->h;
        av_frame_get_buffer(frame, 0);
        AVPacket* pkt = av_packet_alloc();
        uint64_t bytes = 0;
        int64_t pts = 0;
        auto drain = [&] {
            while (avcodec_receive_packet(ctx, pkt) == 0) {
                bytes += pkt->size;
                av_packet_unref(pkt);
            }
        };
        for (const auto& f : clip->frames) {
            av_frame_make_writable(frame);
            for (int y = 0; y < clip->h; ++y)
                std::memcpy(frame->data[0] + size_t(y) * frame->linesize[0], &f[size_t(y) * clip->w],
                            size_t(clip->w) * 4);
            frame->pts = pts++;
            avcodec_send_frame(ctx, frame);
            drain();
        }
        avcodec_send_frame(ctx, nullptr);
        drain();
        av_packet_free(&pkt);
        av_frame_free(&frame);
        avcodec_free_context(&ctx);
        Keep(clip->name + "/zmbv", Seconds(t0), bytes);
        benchmark::DoNotOptimize(bytes);
    }
}

std::vector<std::unique_ptr<Clip>> g_clips;

} // namespace

int main(int argc, char** argv) {
    const char* clipsEnv = std::getenv("ZOV_BENCH_CLIPS");
    const char* framesEnv = std::getenv("ZOV_BENCH_FRAMES");
    const int maxFrames = framesEnv ? std::atoi(framesEnv) : 0;
    std::stringstream names(clipsEnv ? clipsEnv : "terminal,browser,browser1080");
    std::string name;
    while (std::getline(names, name, ',')) {
        auto clip = std::make_unique<Clip>();
        const std::string path = std::string(ZOV_SHARED_DIR) + "/bench/corpus/" + name + ".mkv";
        if (!LoadClip(path, name, maxFrames, *clip)) {
            std::fprintf(stderr, "codec_bench: can not read the clip %s\n", path.c_str());
            return 1;
        }
        g_clips.push_back(std::move(clip));
    }
    for (auto& c : g_clips) {
        // Our encode first: it keeps the records the decode runs replay.
        benchmark::RegisterBenchmark(("encode/ours/" + c->name).c_str(), EncodeOurs, c.get())
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("encode/baseline/" + c->name).c_str(), EncodeBaseline, c.get())
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("encode/zmbv/" + c->name).c_str(), EncodeZmbv, c.get())
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("decode/ours/" + c->name).c_str(), DecodeOurs, c.get())
            ->Unit(benchmark::kMillisecond);
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();

    std::printf("\n%-12s %9s %6s | %-27s | %-33s | %-22s\n", "clip", "size", "frames",
                "bytes/frame ours base zmbv", "encode ms/frame ours base zmbv", "decode ms/frame ours");
    for (auto& c : g_clips) {
        const double n = double(c->frames.size());
        auto f = [&](const char* what) { return g_figures[c->name + "/" + what]; };
        const Figures ours = f("ours"), base = f("baseline"), zmbv = f("zmbv"), dec = f("decode");
        std::printf("%-12s %4dx%-4d %6zu | %8.0f %8.0f %8.0f | %9.2f %9.2f %9.2f | %9.2f\n", c->name.c_str(),
                    c->w, c->h, c->frames.size(), ours.bytes / n, base.bytes / n, zmbv.bytes / n,
                    1000 * ours.seconds / n, 1000 * base.seconds / n, 1000 * zmbv.seconds / n,
                    1000 * dec.seconds / n);
    }
    std::printf("\nratios (below 1 = ours smaller or faster)\n");
    std::printf("%-12s %14s %14s %16s %16s %18s\n", "clip", "bytes/base", "bytes/zmbv", "enc time/base",
                "enc time/zmbv", "encode/decode");
    for (auto& c : g_clips) {
        auto f = [&](const char* what) { return g_figures[c->name + "/" + what]; };
        const Figures ours = f("ours"), base = f("baseline"), zmbv = f("zmbv"), dec = f("decode");
        std::printf("%-12s %14.3f %14.3f %16.3f %16.3f %18.2f\n", c->name.c_str(),
                    double(ours.bytes) / base.bytes, double(ours.bytes) / zmbv.bytes,
                    ours.seconds / base.seconds, ours.seconds / zmbv.seconds, ours.seconds / dec.seconds);
    }
    return 0;
}
