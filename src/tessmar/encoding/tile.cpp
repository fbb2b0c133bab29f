#include "tessmar/encoding/tile.hpp"

#include <string>

namespace tessmar {

std::optional<Tile> tile_from_code_text(std::string_view two) {
    std::string_view digits = two;
    if (!digits.empty() && digits.front() == '+') digits.remove_prefix(1);
    unsigned value = 0;
    bool read = !digits.empty();
    for (char c : digits) {
        if (c < '0' || c > '9') { read = false; break; }
        value = value * 10 + static_cast<unsigned>(c - '0');
    }
    if (!read || value > 255) return std::nullopt;
    return tile_from_code(static_cast<std::uint8_t>(value));
}

std::string invalid_tile_code_message(unsigned value) {
    std::string msg = "invalid value: " + std::to_string(value) + ", expected one of: 0";
    for (unsigned code = 1; code <= 255; ++code)
        if (tile_from_code(static_cast<std::uint8_t>(code))) msg += ", " + std::to_string(code);
    return msg;
}

}  // namespace tessmar
