// Tiles: one byte indexing the fixed table of 38 mjai tile names.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tessmar {

/** A tile: index 0..37 into the mjai name table (34 kinds, three red fives, and "?"). */
struct Tile {
    std::uint8_t index = 37;

    friend constexpr bool operator==(Tile, Tile) = default;
    constexpr bool is_unknown() const { return index == 37; }
};

inline constexpr Tile kUnknownTile{37};
inline constexpr std::size_t kTileCount = 38;

/** The mjai name of each tile, by index. */
inline constexpr std::array<std::string_view, kTileCount> kTileNames = {
    "1m", "2m", "3m", "4m", "5m", "6m", "7m", "8m", "9m",  //
    "1p", "2p", "3p", "4p", "5p", "6p", "7p", "8p", "9p",  //
    "1s", "2s", "3s", "4s", "5s", "6s", "7s", "8s", "9s",  //
    "E",  "S",  "W",  "N",  "P",  "F",  "C",               //
    "5mr", "5pr", "5sr", "?",
};

/** The mjai name of a tile ("1m", "E", "5mr", "?"). */
constexpr std::string_view tile_name(Tile t) { return kTileNames[t.index]; }

/** Tenhou's numeric code to a tile: 0 is "?", 11..19/21..29/31..39/41..47 the kinds,
 *  51..53 the red fives; anything else is no tile. */
constexpr std::optional<Tile> tile_from_code(std::uint8_t code) {
    if (code == 0) return kUnknownTile;
    unsigned tens = code / 10, units = code % 10;
    if (tens >= 1 && tens <= 4 && units != 0 && (tens < 4 || units <= 7))
        return Tile{static_cast<std::uint8_t>(code - tens - 10)};
    if (code >= 51 && code <= 53) return Tile{static_cast<std::uint8_t>(code - 51 + 34)};
    return std::nullopt;
}

inline constexpr std::uint8_t kNoTile = 0xFF;

/** Tenhou's numeric code (a byte) to a tile index, one load per code; kNoTile for a byte
 *  that is no tile code. */
inline constexpr std::array<std::uint8_t, 256> kTileOfCode = [] {
    std::array<std::uint8_t, 256> table{};
    for (unsigned code = 0; code < 256; ++code) {
        auto tile = tile_from_code(static_cast<std::uint8_t>(code));
        table[code] = tile ? tile->index : kNoTile;
    }
    return table;
}();

/** A two-byte tile code inside a notation string: an optional "+" then ASCII digits naming a
 *  tile code; nothing else reads. `two` must hold exactly two bytes. */
std::optional<Tile> tile_from_code_text(std::string_view two);

/** The parser's diagnostic for an integer that is no tile code ("invalid value: 60, expected one of: 0, 11, ..."). */
std::string invalid_tile_code_message(unsigned value);

}  // namespace tessmar
