// Native half of the viewer benchmark: decodes whole streams through the same C API the
// WebAssembly module exports (zv_decode_all), so both sides run the same code.
// Run through bench/viewer_bench.mjs; alone:
//   build/bin/viewer_bench_native STREAM.zov... [--benchmark_format=json]
#include <benchmark/benchmark.h>

#include <algorithm>
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
    for (int i = 0; i < argc; ++i) {
        if (i > 0 && argv[i][0] != '-')
            streams.push_back(argv[i]);
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
            [bytes](benchmark::State& state) {
                int32_t h = zv_create();
                std::memcpy(zv_buffer(h, int32_t(bytes->size())), bytes->data(), bytes->size());
                int32_t frames = 0;
                double slowest = 0;
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
            ->Iterations(1)
            ->UseRealTime();
    }
    int n = int(rest.size());
    benchmark::Initialize(&n, rest.data());
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
