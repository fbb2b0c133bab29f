// Text in: any bytes go through the whole pipeline (parse, build, convert, serialise)
// and must end in a sound result or an error value.
#include <cstddef>
#include <cstdint>

#include "invariants.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    return tessmar::fuzz::fuzz_one_input(data, size);
}
