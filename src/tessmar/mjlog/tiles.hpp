// Tile ids of the XML (0..135: kind * 4 + copy) as Tenhou's two-digit tile codes.
#pragma once

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "tessmar/encoding/tile.hpp"

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

/** The text of each id's code under each red rule, and at index kTileIds the tsumogiri's 60:
 *  the writer puts every tile as one two-byte copy, not by dividing. */
using CodeTexts = std::array<std::array<char, 2>, kTileIds + 1>;
constexpr CodeTexts code_texts(bool red) {
    CodeTexts t{};
    for (unsigned id = 0; id <= kTileIds; ++id) {
        const unsigned code = id == kTileIds ? 60 : tile_code(id, red);
        t[id] = {static_cast<char>('0' + code / 10), static_cast<char>('0' + code % 10)};
    }
    return t;
}
inline constexpr CodeTexts kCodeTexts[2] = {code_texts(false), code_texts(true)};

/** Writes the code of tile id `id` (or kTileIds: 60) at `p`. */
inline char* put_id_code(char* p, unsigned id, bool red) {
    std::memcpy(p, kCodeTexts[red][id].data(), 2);
    return p + 2;
}

/** Sorts codes in hand order: ascending, each red five right behind the plain five. */
constexpr unsigned hand_key(unsigned id, bool red) { return kind_code(id / 4) * 2 + (red && is_red_id(id)); }

/** Each id's place among all ids in hand order (by hand_key, then by id), and the id at
 *  each place, under one red rule. */
struct HandPlaces {
    std::array<std::uint8_t, kTileIds> place{}, id{};
};
constexpr HandPlaces hand_places(bool red) {
    HandPlaces t;
    for (unsigned a = 0; a < kTileIds; ++a) {
        unsigned place = 0;
        for (unsigned b = 0; b < kTileIds; ++b)
            place += hand_key(b, red) < hand_key(a, red) || (hand_key(b, red) == hand_key(a, red) && b < a);
        t.place[a] = static_cast<std::uint8_t>(place);
        t.id[place] = static_cast<std::uint8_t>(a);
    }
    return t;
}
inline constexpr HandPlaces kHandPlaces[2] = {hand_places(false), hand_places(true)};

/** The ids of a hand (each below kTileIds) in hand order. The tiles follow no pattern a
 *  branch predictor could learn, so rather than sorted by comparisons they are marked in a
 *  bitmap by their place and read back in order. */
inline std::array<std::uint8_t, 13> hand_order(const std::array<std::uint8_t, 13>& hand, bool red) {
    const HandPlaces& t = kHandPlaces[red];
    std::array<std::uint64_t, 3> bits{};
    bool twice = false;
    for (std::uint8_t id : hand) {
        const unsigned place = t.place[id];
        const std::uint64_t bit = std::uint64_t{1} << (place & 63);
        twice |= (bits[place >> 6] & bit) != 0;
        bits[place >> 6] |= bit;
    }
    std::array<std::uint8_t, 13> out{};
    if (!twice) {
        std::size_t n = 0;
        for (std::size_t w = 0; w < 3; ++w)
            for (std::uint64_t b = bits[w]; b; b &= b - 1) out[n++] = t.id[64 * w + static_cast<unsigned>(std::countr_zero(b))];
        return out;
    }
    // An id twice, which no real hand holds: each one's place counted among the others.
    for (std::size_t i = 0; i < 13; ++i) {
        std::size_t place = 0;
        for (std::size_t j = 0; j < 13; ++j)
            place += t.place[hand[j]] < t.place[hand[i]] || (hand[j] == hand[i] && j < i);
        out[place] = hand[i];
    }
    return out;
}

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
