// mjlog XML to Tenhou JSON against the JSON log's own conversion, on the shared real games:
//   bench_mjlog [google-benchmark flags] [XML FILE...]
// Without files it takes the games of ../shared/mjlog (skipping any that is absent), each with
// its server JSON from ../shared/logs. Throughput is bytes of each benchmark's own input.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "tessmar/mjlog/columns.hpp"
#include "tessmar/mjlog/mjlog.hpp"
#include "tessmar/mjlog/reader.hpp"
#include "tessmar/pipeline.hpp"
#include "read_file.hpp"

namespace {

namespace fs = std::filesystem;

void set_throughput(benchmark::State& state, std::size_t bytes) {
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes));
}

void register_game(const fs::path& xml_path) {
    auto xml = std::make_shared<std::string>(read_file(xml_path));
    const std::string name = xml_path.stem().string();
    auto first = tessmar::mjlog::mjlog_to_tenhou(*xml, name);
    if (!first) {
        std::cerr << xml_path << ": " << first.error().message << "\n";
        return;
    }
    auto json = std::make_shared<std::string>(std::move(*first));

    benchmark::RegisterBenchmark(("mjlog_to_tenhou/" + name).c_str(), [xml, name](benchmark::State& state) {
        for (auto _ : state) benchmark::DoNotOptimize(tessmar::mjlog::mjlog_to_tenhou(*xml, name));
        set_throughput(state, xml->size());
    });
    benchmark::RegisterBenchmark(("append_mjlog_as_tenhou/" + name).c_str(), [xml, name](benchmark::State& state) {
        std::string out;
        for (auto _ : state) {
            out.clear();
            benchmark::DoNotOptimize(tessmar::mjlog::append_mjlog_as_tenhou(*xml, name, out));
        }
        set_throughput(state, xml->size());
    });
    // The reading half alone: XML into the typed game, no text written.
    benchmark::RegisterBenchmark(("mjlog_read_game/" + name).c_str(), [xml](benchmark::State& state) {
        for (auto _ : state) {
            tessmar::mjlog::Game game;
            benchmark::DoNotOptimize(tessmar::mjlog::read_game(*xml, game));
            benchmark::DoNotOptimize(game);
        }
        set_throughput(state, xml->size());
    });
    // The JSON log of the same game through the whole mjai conversion: the yardstick.
    benchmark::RegisterBenchmark(("convert_log_texts_json/" + name).c_str(), [json](benchmark::State& state) {
        for (auto _ : state) benchmark::DoNotOptimize(tessmar::convert_log_texts(*json));
        set_throughput(state, json->size());
    });
    // XML to mjai through the JSON text, as mjlog_to_tenhou then tenhou_to_mjai; bytes of XML.
    benchmark::RegisterBenchmark(("mjlog_then_convert_log_texts/" + name).c_str(), [xml, name](benchmark::State& state) {
        std::string out;
        for (auto _ : state) {
            out.clear();
            (void)tessmar::mjlog::append_mjlog_as_tenhou(*xml, name, out);
            benchmark::DoNotOptimize(tessmar::convert_log_texts(out));
        }
        set_throughput(state, xml->size());
    });
    // The game columns alone, from a game read once.
    benchmark::RegisterBenchmark(("mjlog_game_columns/" + name).c_str(), [xml](benchmark::State& state) {
        tessmar::mjlog::Game game;
        (void)tessmar::mjlog::read_game(*xml, game);
        for (auto _ : state) {
            tessmar::GameColumns columns;
            benchmark::DoNotOptimize(tessmar::mjlog::game_columns(game, columns));
            benchmark::DoNotOptimize(columns);
        }
        set_throughput(state, xml->size());
    });
    // XML to mjai as mjlog_to_mjai does it: game columns straight from the game read.
    benchmark::RegisterBenchmark(("mjlog_to_columns_then_drive/" + name).c_str(), [xml, name](benchmark::State& state) {
        for (auto _ : state) {
            tessmar::mjlog::Game game;
            (void)tessmar::mjlog::read_mjlog(*xml, name, game);
            benchmark::DoNotOptimize(tessmar::convert_mjlog_texts(game));
        }
        set_throughput(state, xml->size());
    });
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    std::vector<fs::path> files;
    for (int i = 1; i < argc; ++i) files.emplace_back(argv[i]);
    if (files.empty()) {
        const fs::path dir = fs::path(TESSMAR_SHARED) / "mjlog";
        for (const char* name : {"tb-2019021004gm-00a9-0000-e2f6516d.xml", "tb-2019103023gm-00a9-0000-f90e0fe9.xml"})
            if (fs::exists(dir / name)) files.push_back(dir / name);
            else std::cerr << "skipped (absent): " << (dir / name) << "\n";
    }
    for (const auto& f : files) register_game(f);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
