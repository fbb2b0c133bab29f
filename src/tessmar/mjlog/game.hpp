// One game as read from the XML: compact typed data, tile ids kept as ids (the rule that
// decides red fives may stand anywhere in the file, so codes are made when writing).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "tessmar/location.hpp"

namespace tessmar::mjlog {

/** One element of a take or discard column. */
struct Cell {
    enum Kind : std::uint8_t {
        Tile,  // value: tile id
        Call,  // value: meld code
        Zero,  // the discard slot of a daiminkan
    };
    static constexpr std::uint8_t kTsumogiri = 0x10;  // a discard of the tile just drawn
    static constexpr std::uint8_t kRiichi = 0x20;     // the riichi discard

    // One word rather than byte fields: after a byte store a compiler must assume any memory
    // changed, and the reader stores one entry per tag.
    std::uint32_t bits;

    constexpr Cell(unsigned column, unsigned kind, unsigned value) : bits(column | kind << 8 | value << 16) {}
    constexpr unsigned column() const { return bits & 0xFF; }  // seat * 2, + 1 for the discard column
    constexpr unsigned kind() const { return (bits >> 8) & 0xFF; }  // Kind | flags
    constexpr unsigned value() const { return bits >> 16; }
};

/** A range [begin, end) into one of the game's arrays. */
struct Slice {
    std::uint32_t begin = 0, end = 0;
    std::uint32_t size() const { return end - begin; }
};

struct Yaku {
    std::uint8_t id;
    std::int32_t han;  // -1 for a yakuman id
};

struct Agari {
    std::uint8_t who, from, pao;
    bool dealer, tsumo;
    std::int32_t fu;
    std::int64_t han;  // of the yaku kept
    std::uint32_t yakuman;
    std::array<std::int64_t, 4> deltas;  // points
    Slice yaku;                          // into Game::yaku: kept yaku, then yakuman ids
};

enum class DrawKind : std::uint8_t { Exhaustive, Yao9, Reach4, Ron3, Kan4, Kaze4, Nagashi };

struct Kyoku {
    std::array<std::int64_t, 3> header;  // round, honba, sticks
    std::array<std::int64_t, 4> scores;  // points
    std::array<std::array<std::uint8_t, 13>, 4> hands;
    Slice dora, ura;  // into Game::tiles
    Slice entries;    // into Game::entries
    // Entries of each column as written: a discard column without its trailing zeros.
    std::array<std::uint32_t, 8> column_sizes{};
    Slice wins;       // into Game::wins; empty for a draw
    DrawKind draw = DrawKind::Exhaustive;
    std::uint8_t tenpai = 0;  // hands shown at a draw
    std::array<std::int64_t, 4> draw_deltas{};
};

struct Connection {
    std::uint8_t what;  // 0 lost, 1 back
    std::int32_t log;   // kyoku index, -1 before the first
    std::uint8_t who;
    std::uint32_t step;
};

struct Game {
    double ver = 2.3;
    std::uint32_t rule = 0;  // GO type
    std::int64_t lobby = 0;
    std::array<std::string, 4> names;  // decoded UTF-8
    std::vector<std::uint8_t> dan;
    std::vector<double> rate;
    std::vector<std::string> sx;
    std::array<std::int64_t, 4> final_scores{};  // points
    std::array<double, 4> final_results{};

    std::vector<Kyoku> kyokus;
    std::vector<Cell> entries;
    std::vector<std::uint8_t> tiles;
    std::vector<Agari> wins;
    std::vector<Yaku> yaku;
    std::vector<Connection> connections;

    bool red() const { return (rule & 0x02) == 0; }
};

/** Kyoku `kyoku` of `game` (one it holds) as the place of a fault: its position, round and honba. */
inline Fault kyoku_fault(const Game& game, std::size_t kyoku, int seat = -1) {
    const Kyoku& k = game.kyokus[kyoku];
    return Fault{static_cast<int>(kyoku), seat, k.header[0], k.header[1]};
}

}  // namespace tessmar::mjlog
