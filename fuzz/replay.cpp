// Runs inputs through the pipeline once each and prints their outcome: for triage and
// minimisation of findings (the fuzzers themselves print nothing about sound inputs).
//   replay FILE...
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

#include "invariants.hpp"
#include "tessmar/pipeline.hpp"

namespace {

const char* stage_name(tessmar::Stage stage) {
    switch (stage) {
        case tessmar::Stage::Parse: return "parse";
        case tessmar::Stage::Model: return "model";
        case tessmar::Stage::Convert: return "convert";
    }
    return "?";
}

}  // namespace

int main(int argc, char** argv) {
    int broken = 0;
    for (int i = 1; i < argc; ++i) {
        std::ifstream in(argv[i], std::ios::binary);
        if (!in) {
            std::printf("%s: cannot read\n", argv[i]);
            ++broken;
            continue;
        }
        std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        auto result = tessmar::convert_log_texts(text);
        if (result)
            std::printf("%s: ok, %zu events\n", argv[i], result->size());
        else
            std::printf("%s: %s error: %.200s\n", argv[i], stage_name(result.error().stage), result.error().detail.c_str());
        if (auto bad = tessmar::fuzz::check_outcome(text, result); !bad.empty()) {
            std::printf("  INVARIANT BROKEN: %s\n", bad.c_str());
            ++broken;
        }
    }
    return broken ? 1 : 0;
}
