// Attribute values: comma-separated lists of decimal integers or of decimals.
#pragma once

#include <cstdint>
#include <expected>
#include <string>
#include <string_view>
#include <vector>

namespace tessmar::mjlog {

/** Values are bounded by a signed 32-bit range, so anything computed from them (points are
 *  hundreds times 100, payments six times a base) fits 64 bits. */
inline constexpr std::int64_t kMaxMagnitude = 2147483647;

/** One decimal integer: an optional '-' then digits, nothing else; false when it is not one
 *  or its magnitude passes kMaxMagnitude. */
inline bool read_int(std::string_view text, std::int64_t& out) {
    const char* p = text.data();
    const char* end = p + text.size();
    const bool negative = p != end && *p == '-';
    if (negative) ++p;
    if (p == end || end - p > 10) return false;
    std::int64_t value = 0;
    for (; p != end; ++p) {
        const unsigned d = static_cast<unsigned char>(*p) - '0';
        if (d > 9) return false;
        value = value * 10 + d;
    }
    if (value > kMaxMagnitude) return false;
    out = negative ? -value : value;
    return true;
}

/** As read_int, with the reason when it is not one. */
std::expected<std::int64_t, std::string> parse_int(std::string_view text);

/** A list of integers separated by commas; an empty or all-blank text is the empty list.
 *  `out` is cleared first. */
std::expected<void, std::string> parse_ints(std::string_view text, std::vector<std::int64_t>& out);

/** One decimal as an IEEE double: finite and of magnitude below 1e15, where its integral
 *  text is still exact. */
std::expected<double, std::string> parse_decimal(std::string_view text);

/** The pieces of a comma-separated list; an empty or all-blank text has none. */
template <class F>
void for_each_item(std::string_view text, F&& f) {
    if (text.find_first_not_of(" \t\r\n") == std::string_view::npos) return;
    for (;;) {
        std::size_t comma = text.find(',');
        f(text.substr(0, comma));
        if (comma == std::string_view::npos) return;
        text.remove_prefix(comma + 1);
    }
}

}  // namespace tessmar::mjlog
