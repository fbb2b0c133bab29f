// The game as the reader leaves it: compact per-kyoku columns, no generic JSON values.
// Every list of every kyoku lives in one of three game-wide arrays; a kyoku holds ranges.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "tessmar/encoding/tile.hpp"

namespace tessmar {

using Deltas = std::array<std::int32_t, 4>;

/** One entry of a take or discard column: a tile, a bare number (an integer 0..255 that is no
 *  tile code) or a notation text. Texts are kept inline: no accepted notation is longer than
 *  `kMaxText` bytes, so a longer one is only remembered as too long. */
struct Entry {
    enum class Kind : std::uint8_t { Tile, Number, Text };
    static constexpr std::size_t kMaxText = 9;
    static constexpr std::uint8_t kTooLong = 0xFF;  // `size` of a text longer than kMaxText

    Kind kind = Kind::Tile;
    std::uint8_t value = 0;  // Tile: the tile index; Number: the number
    std::uint8_t size = 0;   // Text: its length in bytes, or kTooLong
    char text[kMaxText] = {};

    /** A text entry as the reader keeps it: inline, or only marked too long. */
    static Entry from_text(std::string_view notation) {
        Entry e;
        e.kind = Kind::Text;
        e.size = notation.size() > kMaxText ? kTooLong : static_cast<std::uint8_t>(notation.size());
        std::copy_n(notation.data(), std::min(notation.size(), kMaxText), e.text);
        return e;
    }

    Tile tile() const { return Tile{value}; }
    bool too_long() const { return size == kTooLong; }
    std::string_view notation() const { return {text, too_long() ? kMaxText : size}; }
};

/** The entry of each integer 0..255 as a column holds it: its tile where it is a tile code (0
 *  is the unknown tile), else the bare number. Entries are copied from here whole. */
inline constexpr std::array<Entry, 256> kEntryOfCode = [] {
    std::array<Entry, 256> table{};
    for (unsigned code = 0; code < 256; ++code) {
        const bool tile = kTileOfCode[code] != kNoTile;
        table[code].kind = tile ? Entry::Kind::Tile : Entry::Kind::Number;
        table[code].value = tile ? kTileOfCode[code] : static_cast<std::uint8_t>(code);
    }
    return table;
}();

/** A half-open range of indices into one of the game-wide arrays. */
struct Range {
    std::uint32_t begin = 0;
    std::uint32_t end = 0;
    std::size_t size() const { return end - begin; }
    bool empty() const { return begin == end; }
};

struct Win {
    std::uint8_t actor = 0;   // the winning seat as the log names it (not checked to be 0..3)
    std::uint8_t target = 0;
    Deltas deltas{};
};

/** One log entry: a kyoku. */
struct KyokuColumns {
    std::uint8_t kyoku = 0;    // kyoku index as the log gives it
    std::uint8_t honba = 0;
    std::uint8_t kyotaku = 0;
    bool is_draw = false;      // the result: a draw with `draw_deltas`, else the wins in `wins`
    std::array<std::int32_t, 4> scores{};
    Deltas draw_deltas{};
    std::array<std::array<Tile, 13>, 4> haipai{};
    Range dora;                // into GameColumns::tiles
    Range ura;                 // into GameColumns::tiles
    std::array<Range, 4> takes;     // into GameColumns::entries, seat 0..3
    std::array<Range, 4> discards;  // into GameColumns::entries, seat 0..3
    Range wins;                // into GameColumns::wins; empty for a draw
};

/** A whole game, checked: four players (no three-player rule) and well-formed win details. */
struct GameColumns {
    std::array<std::string, 4> names;
    std::uint8_t kyoku_first = 0;  // 4 for an East-only game, else 0
    bool aka_flag = false;
    std::vector<KyokuColumns> kyokus;
    std::vector<Tile> tiles;       // dora and ura indicators of every kyoku
    std::vector<Entry> entries;    // take and discard columns of every kyoku
    std::vector<Win> wins;         // wins of every kyoku

    std::span<const Tile> dora(const KyokuColumns& k) const { return at(tiles, k.dora); }
    std::span<const Tile> ura(const KyokuColumns& k) const { return at(tiles, k.ura); }
    std::span<const Entry> takes(const KyokuColumns& k, std::size_t seat) const { return at(entries, k.takes[seat]); }
    std::span<const Entry> discards(const KyokuColumns& k, std::size_t seat) const {
        return at(entries, k.discards[seat]);
    }
    std::span<const Win> kyoku_wins(const KyokuColumns& k) const { return at(wins, k.wins); }

    /** Take and discard entries of one kyoku: the measure of its size. */
    static std::size_t entry_count(const KyokuColumns& k) {
        std::size_t n = 0;
        for (std::size_t s = 0; s < 4; ++s) n += k.takes[s].size() + k.discards[s].size();
        return n;
    }

private:
    template <class T>
    static std::span<const T> at(const std::vector<T>& all, Range r) {
        return std::span<const T>(all).subspan(r.begin, r.size());
    }
};

}  // namespace tessmar
