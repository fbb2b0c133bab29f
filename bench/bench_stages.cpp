// Time of each stage of one conversion (reading the text into columns, driving the game into
// event texts) and the peak heap of a whole conversion, on the log files given as arguments.
//   bench_stages [google-benchmark flags] FILE...
#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <new>
#include <string>
#include <vector>

#include "tessmar/drive/drive.hpp"
#include "tessmar/pipeline.hpp"
#include "tessmar/read/reader.hpp"
#include "read_file.hpp"

// Heap accounting for the peak-memory report: every allocation of the process is counted.
namespace {
std::atomic<std::size_t> g_live{0}, g_peak{0};
}  // namespace

void* operator new(std::size_t n) {
    void* p = std::malloc(n + 16);
    if (!p) throw std::bad_alloc();
    *static_cast<std::size_t*>(p) = n;
    std::size_t live = g_live += n;
    std::size_t peak = g_peak.load();
    while (live > peak && !g_peak.compare_exchange_weak(peak, live)) {
    }
    return static_cast<char*>(p) + 16;
}
void operator delete(void* p) noexcept {
    if (!p) return;
    char* base = static_cast<char*>(p) - 16;
    g_live -= *reinterpret_cast<std::size_t*>(base);
    std::free(base);
}
void operator delete(void* p, std::size_t) noexcept { operator delete(p); }

namespace {

using namespace tessmar;

void set_throughput(benchmark::State& state, std::size_t bytes) {
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes));
}

void register_log(const std::string& name, std::string text) {
    auto shared = std::make_shared<std::string>(std::move(text));
    auto probe = convert_log_texts(*shared);
    if (!probe) {
        std::cerr << name << ": does not convert (stage " << int(probe.error().stage) << "), skipped\n";
        return;
    }
    const std::size_t output = probe->buffer.size();
    benchmark::RegisterBenchmark((name + "/read").c_str(), [shared](benchmark::State& state) {
        for (auto _ : state) benchmark::DoNotOptimize(read_log(*shared));
        set_throughput(state, shared->size());
    });
    auto game = std::make_shared<GameColumns>(*read_log(*shared));
    benchmark::RegisterBenchmark((name + "/drive").c_str(), [shared, game](benchmark::State& state) {
        for (auto _ : state) {
            EventTexts texts;
            benchmark::DoNotOptimize(convert_columns(*game, texts));
            benchmark::DoNotOptimize(texts);
        }
        set_throughput(state, shared->size());
    });
    benchmark::RegisterBenchmark((name + "/total").c_str(), [shared](benchmark::State& state) {
        for (auto _ : state) benchmark::DoNotOptimize(convert_log_texts(*shared));
        set_throughput(state, shared->size());
    });

    std::size_t before = g_live.load();
    g_peak = before;
    {
        auto texts = convert_log_texts(*shared);
        benchmark::DoNotOptimize(texts);
    }
    std::size_t peak = g_peak.load() - before;
    // A call from Python also holds its own copy of the input text for its whole length.
    peak += shared->size();
    std::printf("peak_heap %s bytes=%zu input=%zu output=%zu ratio=%.2f\n", name.c_str(), peak, shared->size(), output,
                double(peak) / double(shared->size() + output));
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    for (int i = 1; i < argc; ++i) {
        std::filesystem::path path(argv[i]);
        register_log(path.stem().string(), read_file(path.string()));
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
}
