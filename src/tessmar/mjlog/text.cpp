#include "tessmar/mjlog/text.hpp"

#include <charconv>
#include <cmath>
#include <cstdint>

#include "tessmar/encoding/chars.hpp"
#include "tessmar/encoding/json_text.hpp"
#include "tessmar/encoding/utf8.hpp"

namespace tessmar::mjlog {

char* write_decimal(char* p, double value) {
    if (value == std::trunc(value)) return put_int(p, static_cast<std::int64_t>(value));
    const auto format = std::fabs(value) < 1e-4 ? std::chars_format::scientific : std::chars_format::fixed;
    return std::to_chars(p, p + kMaxDecimal, value, format).ptr;
}

std::string decode_name(std::string_view encoded) {
    std::string bytes;
    bytes.reserve(encoded.size());
    for (std::size_t i = 0; i < encoded.size(); ++i) {
        if (encoded[i] == '%' && i + 2 < encoded.size() && hex_value(encoded[i + 1]) >= 0 &&
            hex_value(encoded[i + 2]) >= 0) {
            bytes.push_back(static_cast<char>(hex_value(encoded[i + 1]) * 16 + hex_value(encoded[i + 2])));
            i += 2;
        } else {
            bytes.push_back(encoded[i]);
        }
    }
    return utf8_lossy(bytes);
}

}  // namespace tessmar::mjlog
