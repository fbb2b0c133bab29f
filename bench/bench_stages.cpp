// Time of each stage of one conversion (parse, model, convert, serialise) and the peak heap
// of a whole conversion, on the log files given as arguments.
//   bench_stages [google-benchmark flags] FILE...
#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <new>
#include <sstream>
#include <string>
#include <vector>

#include "tessmar/conv/convert.hpp"
#include "tessmar/mjai/writer.hpp"
#include "tessmar/pipeline.hpp"
#include "tessmar/tenhou/game.hpp"
#include "tessmar/tenhou/raw_log.hpp"

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

std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

void set_throughput(benchmark::State& state, std::size_t bytes) {
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes));
}

void register_log(const std::string& name, std::string text) {
    auto shared = std::make_shared<std::string>(std::move(text));
    auto probe = convert_log(*shared);
    if (!probe) {
        std::cerr << name << ": does not convert (stage " << int(probe.error().stage) << "), skipped\n";
        return;
    }
    benchmark::RegisterBenchmark((name + "/parse").c_str(), [shared](benchmark::State& state) {
        for (auto _ : state) benchmark::DoNotOptimize(parse_raw_log(*shared));
        set_throughput(state, shared->size());
    });
    benchmark::RegisterBenchmark((name + "/model").c_str(), [shared](benchmark::State& state) {
        for (auto _ : state) {
            state.PauseTiming();
            RawLog raw = *parse_raw_log(*shared);
            state.ResumeTiming();
            benchmark::DoNotOptimize(build_game(std::move(raw)));
        }
        set_throughput(state, shared->size());
    });
    auto game = std::make_shared<Game>(*build_game(*parse_raw_log(*shared)));
    struct Discard final : EventSink {
        void take(std::span<const Event> events) override { benchmark::DoNotOptimize(events.data()); }
    };
    benchmark::RegisterBenchmark((name + "/convert").c_str(), [shared, game](benchmark::State& state) {
        Discard sink;
        for (auto _ : state) benchmark::DoNotOptimize(convert_game_to(*game, sink));
        set_throughput(state, shared->size());
    });
    auto events = std::make_shared<std::vector<Event>>(*convert_game(*game));
    benchmark::RegisterBenchmark((name + "/serialise").c_str(), [shared, events](benchmark::State& state) {
        for (auto _ : state) {
            EventTexts texts;
            texts.buffer.reserve(shared->size() * 10 + 1024);
            texts.ends.reserve(shared->size() / 5 + 16);
            for (const Event& e : *events) {
                mjai::append_event_json(texts.buffer, e);
                texts.ends.push_back(texts.buffer.size());
                texts.buffer.push_back('\n');
            }
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
    std::printf("peak_heap %s bytes=%zu input=%zu ratio=%.2f\n", name.c_str(), peak, shared->size(),
                double(peak) / double(shared->size()));
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
