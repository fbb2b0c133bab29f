#include "tessmar/mjlog/values.hpp"

#include <charconv>
#include <cmath>

#include "tessmar/mjlog/error.hpp"

namespace tessmar::mjlog {
namespace {

std::string single_quoted(std::string_view text) {
    std::string s = printable(text);
    s.insert(s.begin(), '\'');
    s.push_back('\'');
    return s;
}

}  // namespace

std::expected<std::int64_t, std::string> parse_int(std::string_view text) {
    std::int64_t value = 0;
    if (read_int(text, value)) return value;
    std::string_view digits = text.starts_with('-') ? text.substr(1) : text;
    const bool all_digits = !digits.empty() && digits.find_first_not_of("0123456789") == std::string_view::npos;
    return std::unexpected((all_digits ? "number out of range: " : "not an integer: ") + single_quoted(text));
}

std::expected<void, std::string> parse_ints(std::string_view text, std::vector<std::int64_t>& out) {
    out.clear();
    if (text.find_first_not_of(" \t\r\n") == std::string_view::npos) return {};
    // One pass over the bytes: these lists (hands, scores) are most of the values read.
    const char* p = text.data();
    const char* const end = p + text.size();
    for (;;) {
        // Most items are one to three digits and a comma: read without a branch on how many.
        if (end - p >= 4) {
            const unsigned d0 = static_cast<unsigned char>(p[0]) - '0', d1 = static_cast<unsigned char>(p[1]) - '0',
                           d2 = static_cast<unsigned char>(p[2]) - '0';
            const unsigned two = d1 <= 9, three = two & (d2 <= 9);
            const unsigned digits = 1 + two + three;
            if (d0 <= 9 && p[digits] == ',') {
                out.push_back(three ? d0 * 100 + d1 * 10 + d2 : two ? d0 * 10 + d1 : d0);
                p += digits + 1;
                continue;
            }
        }
        const char* item = p;
        const bool negative = p != end && *p == '-';
        if (negative) ++p;
        const char* digits = p;
        std::int64_t value = 0;
        while (p != end && static_cast<unsigned>(*p - '0') <= 9 && value <= kMaxMagnitude) value = value * 10 + (*p++ - '0');
        if (p == digits || value > kMaxMagnitude || (p != end && *p != ',')) {
            const std::string_view rest(item, static_cast<std::size_t>(end - item));
            return std::unexpected(parse_int(rest.substr(0, rest.find(','))).error());
        }
        out.push_back(negative ? -value : value);
        if (p == end) return {};
        ++p;
    }
}

std::expected<double, std::string> parse_decimal(std::string_view text) {
    double value = 0;
    const char* end = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(text.data(), end, value, std::chars_format::general);
    if (text.empty() || ec != std::errc() || ptr != end || !std::isfinite(value))
        return std::unexpected("not a decimal: " + single_quoted(text));
    if (std::fabs(value) >= 1e15) return std::unexpected("number out of range: " + single_quoted(text));
    return value;
}

}  // namespace tessmar::mjlog
