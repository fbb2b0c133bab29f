// The mjai route of a game read from the XML: the game columns made straight from the typed
// game, equal to what the JSON log reader makes of the text write.cpp writes for it, without
// writing that text and reading it back. Each rule here mirrors one place of the writer and
// of the JSON reader; fuzz_mjlog checks that both routes give the same events.
#include <algorithm>
#include <array>
#include <cstdint>
#include <limits>

#include "tessmar/mjlog/columns.hpp"
#include "tessmar/mjlog/meld.hpp"
#include "tessmar/mjlog/tiles.hpp"

namespace tessmar::mjlog {
namespace {

using Column = tessmar::Entry;

bool fits_int32(std::int64_t v) {
    return v >= std::numeric_limits<std::int32_t>::min() && v <= std::numeric_limits<std::int32_t>::max();
}

// Four values as the reader's delta item: only when all four are 32-bit integers.
bool deltas_of(const std::array<std::int64_t, 4>& values, Deltas& out) {
    if (!std::ranges::all_of(values, fits_int32)) return false;
    for (std::size_t i = 0; i < 4; ++i) out[i] = static_cast<std::int32_t>(values[i]);
    return true;
}

static_assert(kMaxCallString <= Column::kMaxText);

// The entries of tile ids 0..135 under each red rule, then of a tsumogiri (60).
using IdEntries = std::array<Column, kTileIds + 1>;
constexpr IdEntries id_entries(bool red) {
    IdEntries table{};
    for (unsigned id = 0; id < kTileIds; ++id) table[id] = kEntryOfCode[tile_code(id, red)];
    table[kTileIds] = kEntryOfCode[60];
    return table;
}
constexpr IdEntries kIdEntries[2] = {id_entries(false), id_entries(true)};

// The tile of an id: every id's code is a tile code.
static_assert([] {
    for (const IdEntries& t : kIdEntries)
        for (unsigned id = 0; id < kTileIds; ++id)
            if (t[id].kind != Column::Kind::Tile) return false;
    return true;
}());
Tile tile_of(unsigned id, bool red) { return Tile{kIdEntries[red][id].value}; }

// As put_entry writes a riichi discard, a call or a kan's zero, then as the reader reads that,
// into `out` (all zero).
void put_rare_entry(Column& out, Cell e, bool red) {
    switch (e.kind() & 0x0F) {
        case Cell::Tile: {
            out.kind = Column::Kind::Text;
            out.size = 3;
            out.text[0] = 'r';
            put_id_code(out.text + 1, (e.kind() & Cell::kTsumogiri) ? kTileIds : e.value(), red);
            return;
        }
        case Cell::Call: {
            out.kind = Column::Kind::Text;
            const char* end = write_call(out.text, *decode_meld(e.value()), red);
            out.size = static_cast<std::uint8_t>(end - out.text);
            return;
        }
        default: out = kEntryOfCode[0];
    }
}

// False where the JSON reader refuses the written kyoku: a header value above 255 or a score
// beyond 32 bits.
bool kyoku_columns(const Game& g, const Kyoku& k, GameColumns& out) {
    KyokuColumns& c = out.kyokus.emplace_back();
    for (std::int64_t v : k.header)
        if (v > 255) return false;  // never negative: the reader refused that
    c.kyoku = static_cast<std::uint8_t>(k.header[0]);
    c.honba = static_cast<std::uint8_t>(k.header[1]);
    c.kyotaku = static_cast<std::uint8_t>(k.header[2]);
    for (std::size_t i = 0; i < 4; ++i) {
        if (!fits_int32(k.scores[i])) return false;
        c.scores[i] = static_cast<std::int32_t>(k.scores[i]);
    }
    const bool red = g.red();
    auto tiles = [&](Slice r, tessmar::Range& range) {
        range.begin = static_cast<std::uint32_t>(out.tiles.size());
        for (std::uint32_t i = r.begin; i < r.end; ++i) out.tiles.push_back(tile_of(g.tiles[i], red));
        range.end = static_cast<std::uint32_t>(out.tiles.size());
    };
    tiles(k.dora, c.dora);
    tiles(k.ura, c.ura);
    for (std::size_t s = 0; s < 4; ++s) {
        const std::array<std::uint8_t, 13> hand = hand_order(k.hands[s], red);  // as written
        for (std::size_t i = 0; i < 13; ++i) c.haipai[s][i] = tile_of(hand[i], red);
    }

    // The eight columns, take then discard of each seat, one after the other; a discard
    // column loses its trailing zeros, as written.
    std::uint32_t at = static_cast<std::uint32_t>(out.entries.size());
    for (std::size_t col = 0; col < 8; ++col) {
        tessmar::Range& range = col % 2 ? c.discards[col / 2] : c.takes[col / 2];
        range.begin = at;
        at += k.column_sizes[col];
        range.end = at;
    }
    out.entries.resize(at);
    // Pointers held in locals: the byte-sized stores below could alias anything in memory.
    Column* const base = out.entries.data();
    std::array<Column*, 8> to, stop;
    for (std::size_t col = 0; col < 8; ++col) {
        const tessmar::Range& range = col % 2 ? c.discards[col / 2] : c.takes[col / 2];
        to[col] = base + range.begin;
        stop[col] = base + range.end;
    }
    const Cell* const entries = g.entries.data();
    const IdEntries& ids = kIdEntries[red];
    for (std::uint32_t i = k.entries.begin; i < k.entries.end; ++i) {
        const Cell e = entries[i];
        Column*& d = to[e.column()];
        if (d == stop[e.column()]) continue;  // a trailing zero
        if ((e.kind() & (0x0F | Cell::kRiichi)) == Cell::Tile)
            *d = ids[(e.kind() & Cell::kTsumogiri) ? kTileIds : e.value()];
        else
            put_rare_entry(*d, e, red);
        ++d;
    }

    c.wins.begin = c.wins.end = static_cast<std::uint32_t>(out.wins.size());
    if (k.wins.size() == 0) {
        c.is_draw = true;
        // Written only when some is not zero; read only as four 32-bit values.
        if (!deltas_of(k.draw_deltas, c.draw_deltas)) c.draw_deltas = {};
        return true;
    }
    // A win whose deltas are not four 32-bit values is no delta item for the reader: it
    // skips that win.
    for (std::uint32_t i = k.wins.begin; i < k.wins.end; ++i) {
        const Agari& w = g.wins[i];
        tessmar::Win win{w.who, w.from, {}};
        if (deltas_of(w.deltas, win.deltas)) out.wins.push_back(win);
    }
    c.wins.end = static_cast<std::uint32_t>(out.wins.size());
    return true;
}

}  // namespace

bool game_columns(const Game& g, GameColumns& out) {
    out.names = g.names;
    // The rule text names East (東) for an East-only game; it never names three players.
    out.kyoku_first = (g.rule & 0x08) ? 0 : 4;
    out.aka_flag = g.red();
    out.kyokus.reserve(g.kyokus.size());
    out.entries.reserve(g.entries.size());
    out.tiles.reserve(g.tiles.size());
    out.wins.reserve(g.wins.size());
    for (const Kyoku& k : g.kyokus)
        if (!kyoku_columns(g, k, out)) return false;
    return true;
}

}  // namespace tessmar::mjlog
