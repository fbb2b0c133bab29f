#include "tessmar/tenhou/tile.hpp"

#include <array>
#include <charconv>
#include <string>

namespace tessmar {
namespace {

constexpr std::array<std::string_view, kTileCount> kNames = {
    "1m", "2m", "3m", "4m", "5m", "6m", "7m", "8m", "9m",  //
    "1p", "2p", "3p", "4p", "5p", "6p", "7p", "8p", "9p",  //
    "1s", "2s", "3s", "4s", "5s", "6s", "7s", "8s", "9s",  //
    "E",  "S",  "W",  "N",  "P",  "F",  "C",               //
    "5mr", "5pr", "5sr", "?",
};

}  // namespace

std::string utf8_lossy(std::string_view in) {
    std::string out;
    out.reserve(in.size());
    std::size_t i = 0;
    while (i < in.size()) {
        auto b = static_cast<unsigned char>(in[i]);
        std::size_t len = b < 0x80 ? 1 : (b >= 0xC2 && b <= 0xDF) ? 2 : (b >= 0xE0 && b <= 0xEF) ? 3
                                     : (b >= 0xF0 && b <= 0xF4) ? 4 : 0;
        std::size_t ok = len ? 1 : 0;
        for (std::size_t k = 1; k < len && i + k < in.size(); ++k) {
            auto c = static_cast<unsigned char>(in[i + k]);
            unsigned char lo = 0x80, hi = 0xBF;
            if (k == 1) {
                if (b == 0xE0) lo = 0xA0;
                if (b == 0xED) hi = 0x9F;
                if (b == 0xF0) lo = 0x90;
                if (b == 0xF4) hi = 0x8F;
            }
            if (c < lo || c > hi) break;
            ++ok;
        }
        if (len && ok == len) {
            out.append(in.substr(i, len));
            i += len;
        } else {
            out.append("\xEF\xBF\xBD");
            i += ok ? ok : 1;
        }
    }
    return out;
}

std::expected<Tile, ConversionError> tile_from_code_text(std::string_view two) {
    // An optional "+" then ASCII digits, as an unsigned 8-bit number; nothing else reads.
    std::string_view digits = two;
    if (!digits.empty() && digits.front() == '+') digits.remove_prefix(1);
    unsigned value = 0;
    bool read = !digits.empty();
    for (char c : digits) {
        if (c < '0' || c > '9') { read = false; break; }
        value = value * 10 + static_cast<unsigned>(c - '0');
    }
    if (read && value <= 255)
        if (auto tile = tile_from_code(static_cast<std::uint8_t>(value))) return *tile;
    return std::unexpected(ConversionError{ConversionErrorKind::InvalidTileCode, utf8_lossy(two)});
}

std::string_view tile_name(Tile t) { return kNames[t.index]; }

std::string invalid_tile_code_message(unsigned value) {
    std::string msg = "invalid value: " + std::to_string(value) + ", expected one of: 0";
    for (unsigned code = 1; code <= 255; ++code)
        if (tile_from_code(static_cast<std::uint8_t>(code))) msg += ", " + std::to_string(code);
    return msg;
}

}  // namespace tessmar
