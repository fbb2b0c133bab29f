// Tile ids of the XML (0..135: kind * 4 + copy) as Tenhou's two-digit tile codes.
#pragma once

#include <cstdint>

#include "tessmar/tenhou/tile.hpp"

namespace tessmar::mjlog {

inline constexpr unsigned kTileIds = 136;
inline constexpr unsigned kKinds = 34;

/** The code of a kind: 11..19, 21..29, 31..39, 41..47. */
constexpr unsigned kind_code(unsigned kind) { return 10 * (kind / 9 + 1) + kind % 9 + 1; }

/** Copy 0 of each five (ids 16, 52, 88) is the red one when the rule has red fives. */
constexpr bool is_red_id(unsigned id) { return id == 16 || id == 52 || id == 88; }

/** The code of a tile id: 51, 52, 53 for the red fives when `red`. */
constexpr unsigned tile_code(unsigned id, bool red) {
    return red && is_red_id(id) ? 51 + (id - 16) / 36 : kind_code(id / 4);
}

/** Sorts codes in hand order: ascending, each red five right behind the plain five. */
constexpr unsigned hand_key(unsigned id, bool red) { return kind_code(id / 4) * 2 + (red && is_red_id(id)); }

static_assert(tile_code(0, true) == 11 && tile_code(35, true) == 19 && tile_code(36, true) == 21);
static_assert(tile_code(108, true) == 41 && tile_code(135, true) == 47 && tile_code(93, true) == 36);
static_assert(tile_code(16, true) == 51 && tile_code(52, true) == 52 && tile_code(88, true) == 53);
static_assert(tile_code(16, false) == 15 && tile_code(17, true) == 15);

// Every code written is one the JSON log reader knows.
static_assert([] {
    for (unsigned id = 0; id < kTileIds; ++id)
        for (bool red : {false, true})
            if (!tile_from_code(static_cast<std::uint8_t>(tile_code(id, red)))) return false;
    return true;
}());

}  // namespace tessmar::mjlog
