// Text in: any bytes go through the whole pipeline (parse, build, convert, serialise)
// and must end in a sound result or an error value.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "invariants.hpp"
#include "tessmar/pipeline.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);
    if (auto bad = tessmar::fuzz::convert_and_check(text); !bad.empty()) {
        std::fprintf(stderr, "invariant broken: %s\n", bad.c_str());
        std::abort();
    }
    return 0;
}
