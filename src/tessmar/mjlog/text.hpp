// Text forms of the Tenhou JSON output that the XML spells otherwise: decimals, and the
// percent-encoded player names.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace tessmar::mjlog {

inline constexpr std::size_t kMaxDecimal = 32;
/** Writes a decimal at `p` (room for kMaxDecimal): a whole value as an integer ("-46.0" is -46, -0.0 is 0), any other with
 *  the fewest significant digits that read back as the same double, in positional notation
 *  down to 1e-4 and in exponent form ("1e-05") below. `value` is finite, below 1e15. */
char* write_decimal(char* p, double value);

/** A percent-encoded name: each '%' and two hex digits is that byte, everything else stays;
 *  the bytes read as UTF-8 with each invalid sequence replaced by U+FFFD. */
std::string decode_name(std::string_view encoded);

}  // namespace tessmar::mjlog
