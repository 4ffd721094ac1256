// Native half of the viewer benchmark: decodes whole streams through the same C API the
// WebAssembly module exports (zv_decode_all), so both sides run the same code the same way:
// WARMUP untimed decodes, then RUNS timed ones (each a fresh decoder over warm memory).
// Run through bench/viewer_bench.mjs; alone:
//   build/bin/viewer_bench_native STREAM.zov... [--warmup=W] [--runs=R] [--benchmark_format=json]
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "viewer/WasmApi.h"

int main(int argc, char** argv) {
    std::vector<char*> rest;
    std::vector<std::string> streams;
    int warmup = 1, runs = 5;
    for (int i = 0; i < argc; ++i) {
        if (i > 0 && argv[i][0] != '-')
            streams.push_back(argv[i]);
        else if (std::strncmp(argv[i], "--warmup=", 9) == 0)
            warmup = std::max(0, std::atoi(argv[i] + 9));
        else if (std::strncmp(argv[i], "--runs=", 7) == 0)
            runs = std::max(1, std::atoi(argv[i] + 7));
        else
            rest.push_back(argv[i]);
    }
    for (const std::string& path : streams) {
        std::ifstream in(path, std::ios::binary);
        auto bytes = std::make_shared<std::vector<uint8_t>>(std::istreambuf_iterator<char>(in),
                                                            std::istreambuf_iterator<char>());
        std::string name = path.substr(path.find_last_of('/') + 1);
        benchmark::RegisterBenchmark(
            ("decode/" + name).c_str(),
            [bytes, warmup](benchmark::State& state) {
                int32_t h = zv_create();
                std::memcpy(zv_buffer(h, int32_t(bytes->size())), bytes->data(), bytes->size());
                int32_t frames = 0;
                double slowest = 0;
                for (int i = 0; i < warmup; ++i)
                    zv_decode_all(h, int32_t(bytes->size()));
                for (auto _ : state) {
                    frames = zv_decode_all(h, int32_t(bytes->size()));
                    slowest = std::max(slowest, zv_slowest_record_ms());
                }
                if (frames < 0)
                    state.SkipWithError("damaged stream");
                state.counters["frames"] = frames;
                state.counters["frames_per_second"] =
                    benchmark::Counter(frames, benchmark::Counter::kIsIterationInvariantRate);
                state.counters["slowest_frame_ms"] = slowest;
                zv_destroy(h);
            })
            ->Unit(benchmark::kMillisecond)
            ->Iterations(runs)
            ->UseRealTime();
    }
    int n = int(rest.size());
    benchmark::Initialize(&n, rest.data());
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
