// A decoded column entry (an "act") and the decoding of one kyoku's columns into acts.
#pragma once

#include <array>
#include <cstdint>
#include <expected>
#include <vector>

#include "tessmar/columns/columns.hpp"
#include "tessmar/drive/error.hpp"
#include "tessmar/encoding/tile.hpp"

namespace tessmar::drive {

using Seat = std::uint8_t;

enum class ActKind : std::uint8_t {
    // take column
    Tsumo,
    Chi,
    Pon,
    Daiminkan,
    // discard column
    Dahai,
    Reach,  // a riichi entry: the reach and its dahai (`pai`, `tsumogiri`) in one act
    Kakan,
    Ankan,
};

/** One entry of a seat's column, decoded. The acting seat is the column's seat. */
struct Act {
    ActKind kind;
    Seat target;                   // chi, pon, daiminkan: the seat whose discard is called
    Tile pai;                      // every kind but ankan (reach: the tile of its dahai)
    bool tsumogiri;                // dahai, reach: the tile just drawn is thrown
    std::array<Tile, 4> consumed;  // chi, pon: 2; daiminkan, kakan: 3; ankan: 4

    bool is_call() const { return kind == ActKind::Chi || kind == ActKind::Pon || kind == ActKind::Daiminkan; }
    /** The discard that a riichi entry throws, or a dahai: a tile leaves the hand. */
    bool throws() const { return kind == ActKind::Dahai || kind == ActKind::Reach; }
};
static_assert(sizeof(Act) == 8);

/** Acts of `KyokuActs::store` needed for a kyoku of `entries` column entries. */
constexpr std::size_t store_size(std::size_t entries) { return entries + 4; }

/** Both columns of one seat, decoded: ranges of `KyokuActs::store`. */
struct SeatActs {
    const Act* takes = nullptr;  // followed by a tsumo that is no entry, so `takes[takes_size]` can be read
    std::size_t takes_size = 0;
    const Act* discards = nullptr;
    std::size_t discards_size = 0;  // acts kept (empty-discard placeholders removed)
};

/** The decoded columns of one kyoku, reused from kyoku to kyoku. */
struct KyokuActs {
    // The acts of every column of the kyoku, one per entry at most, and one after each take
    // column; grown, never shrunk, so that one allocation made for the largest kyoku serves the
    // whole game.
    std::vector<Act> store;
    std::array<SeatActs, 4> seats{};

    // For each seat and tile, where in the seat's discard acts it last throws that tile (a dahai
    // or a riichi's dahai): (epoch << 32) + index. Entries of an earlier kyoku have a smaller
    // epoch, so the table is never cleared. Made once per kyoku: an attempt that fails at once
    // must not cost the length of the columns.
    std::array<std::array<std::uint64_t, kTileCount>, 4> last_throws{};
    std::uint32_t epoch = 0;  // this kyoku's

    /** Whether `seat` throws `tile` at discard act `pos` or later. */
    bool throws_later(Seat seat, Tile tile, std::size_t pos) const {
        return last_throws[seat][tile.index] >= (std::uint64_t{epoch} << 32 | pos);
    }
};

/** Decodes the four seats of `kyoku` into `acts`: seat by seat, each take column before its
 *  discard column, tsumogiri tiles filled in from the paired take, empty-discard placeholders
 *  removed, last throws noted. The order of the checks is
 *  fixed (see act.cpp), so a text wrong in several ways always fails the same way.
 *  Errors (the first entry that fails, with its seat): `UnexpectedNumber` (a number in a take
 *  column), `InvalidActionString` (with the text, only its first 9 bytes for a longer one),
 *  `InvalidTileCode` (with the two bytes). */
std::expected<void, ConversionError> decode_kyoku(const GameColumns& game, const KyokuColumns& kyoku,
                                                  KyokuActs& acts);

}  // namespace tessmar::drive
