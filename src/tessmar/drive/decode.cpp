// Column entries into acts: call notation, kans, riichi, tsumogiri placeholders.
//
// Notation texts are judged exactly as conv/decode.cpp judges them: the letters are looked for
// with `find` over the whole text, in the same order (take: c, p, m; discard: k, a), then the
// length, then the letter's position; tile codes are read in the same order, the first bad one
// being the error. A text longer than `Entry::kMaxText` bytes is kept only as too long: every
// such text fails on its length in the old decoder too, as an `InvalidActionString` (here
// carrying its first 9 bytes).
#include <optional>
#include <string>
#include <string_view>

#include "tessmar/drive/act.hpp"

namespace tessmar::drive {
namespace {

Seat left_of(Seat seat) { return static_cast<Seat>((seat + 3) % 4); }
Seat opposite_of(Seat seat) { return static_cast<Seat>((seat + 2) % 4); }
Seat right_of(Seat seat) { return static_cast<Seat>((seat + 1) % 4); }

// `text.find(c)` for the few bytes of a notation, without a library call.
std::size_t find(std::string_view text, char c) {
    for (std::size_t i = 0; i < text.size(); ++i)
        if (text[i] == c) return i;
    return std::string_view::npos;
}

// Tenhou's two-digit codes 00..99 to tile indices (kNoTile: no tile).
constexpr std::array<std::uint8_t, 100> make_code_tiles() {
    std::array<std::uint8_t, 100> table{};
    for (unsigned code = 0; code < 100; ++code) {
        auto tile = tile_from_code(static_cast<std::uint8_t>(code));
        table[code] = tile ? tile->index : kNoTile;
    }
    return table;
}
constexpr auto kCodeTiles = make_code_tiles();

/** Decoding of one entry; `error` holds the failure when a step returns false. */
struct Decoder {
    Seat seat;
    ConversionError& error;

    bool invalid(std::string_view text) {
        error = ConversionError{ConversionErrorKind::InvalidActionString, std::string(text), seat};
        return false;
    }

    // The tile code at byte `at` of `text` (two bytes, both inside the text).
    bool code_at(std::string_view text, std::size_t at, Tile& tile) {
        unsigned hi = static_cast<unsigned char>(text[at]) - unsigned{'0'};
        unsigned lo = static_cast<unsigned char>(text[at + 1]) - unsigned{'0'};
        if (hi < 10 && lo < 10 && kCodeTiles[hi * 10 + lo] != kNoTile) {
            tile = Tile{kCodeTiles[hi * 10 + lo]};
            return true;
        }
        // Anything else: as the old decoder, by `tile_from_code_text` ("+0" reads as "?"; the rest is
        // the error, with the two bytes as its text).
        auto read = tile_from_code_text(text.substr(at, 2));
        if (!read) {
            error = std::move(read.error());
            error.seat = seat;
            return false;
        }
        tile = *read;
        return true;
    }

    // The pai at `pai`, then the `n` consumed tiles at `consumed`, in that order.
    bool codes(std::string_view text, std::size_t pai, std::array<std::size_t, 3> consumed, std::size_t n, Act& act) {
        if (!code_at(text, pai, act.pai)) return false;
        for (std::size_t i = 0; i < n; ++i)
            if (!code_at(text, consumed[i], act.consumed[i])) return false;
        return true;
    }

    // A call written with its letter at one of three places; the called tile follows the letter,
    // the consumed tiles are the other codes from left to right.
    bool take_text(std::string_view text, Act& act) {
        if (find(text, 'c') != std::string_view::npos) {
            // The position of the "c" is not examined: Tenhou always writes it first.
            if (text.size() != 7) return invalid(text);
            act = {ActKind::Chi, left_of(seat), {}, false, {}};
            return codes(text, 1, {3, 5, 0}, 2, act);
        }
        if (find(text, 'p') != std::string_view::npos) {
            if (text.size() != 7) return invalid(text);
            switch (find(text, 'p')) {
                case 0: act = {ActKind::Pon, left_of(seat), {}, false, {}}; return codes(text, 1, {3, 5, 0}, 2, act);
                case 2: act = {ActKind::Pon, opposite_of(seat), {}, false, {}}; return codes(text, 3, {0, 5, 0}, 2, act);
                case 4: act = {ActKind::Pon, right_of(seat), {}, false, {}}; return codes(text, 5, {0, 2, 0}, 2, act);
                default: return invalid(text);
            }
        }
        if (find(text, 'm') != std::string_view::npos) {
            if (text.size() != 9) return invalid(text);
            switch (find(text, 'm')) {
                case 0: act = {ActKind::Daiminkan, left_of(seat), {}, false, {}}; return codes(text, 1, {3, 5, 7}, 3, act);
                case 2: act = {ActKind::Daiminkan, opposite_of(seat), {}, false, {}}; return codes(text, 3, {0, 5, 7}, 3, act);
                case 6: act = {ActKind::Daiminkan, right_of(seat), {}, false, {}}; return codes(text, 7, {0, 2, 4}, 3, act);
                default: return invalid(text);
            }
        }
        return invalid(text);
    }

    bool discard_text(std::string_view text, Act& act) {
        if (find(text, 'k') != std::string_view::npos) {
            if (text.size() != 9) return invalid(text);
            act = {ActKind::Kakan, 0, {}, false, {}};
            switch (find(text, 'k')) {
                case 0: return codes(text, 1, {3, 5, 7}, 3, act);
                case 2: return codes(text, 3, {0, 5, 7}, 3, act);
                case 4: return codes(text, 5, {0, 2, 7}, 3, act);
                default: return invalid(text);
            }
        }
        bool has_a = find(text, 'a') != std::string_view::npos;
        if (text.size() <= 7) {
            // A riichi declaration: three bytes, the first not examined, then the discarded tile.
            if (has_a || text.size() != 3) return invalid(text);
            Tile pai = kUnknownTile;
            if (text.substr(1, 2) != "60" && !code_at(text, 1, pai)) return false;
            act = {ActKind::Reach, 0, pai, pai.is_unknown(), {}};
            return true;
        }
        if (!has_a || text.size() != 9) return invalid(text);
        // The position of the "a" is not examined; the codes are read from offset 7 first.
        Tile t[4];
        for (std::size_t i = 0; i < 4; ++i)
            if (!code_at(text, i == 0 ? 7 : 2 * (i - 1), t[i])) return false;
        act = {ActKind::Ankan, 0, {}, false, {t[1], t[2], t[3], t[0]}};
        return true;
    }

    bool take(const Entry& entry, Act& act) {
        switch (entry.kind) {
            case Entry::Kind::Tile: act = {ActKind::Tsumo, 0, entry.tile(), false, {}}; return true;
            case Entry::Kind::Number:
                error = ConversionError{ConversionErrorKind::UnexpectedNumber, std::to_string(entry.value), seat};
                return false;
            case Entry::Kind::Text: break;
        }
        // No accepted notation is longer than 9 bytes, and every text that long fails on its length.
        if (entry.too_long()) return invalid(entry.notation());
        return take_text(entry.notation(), act);
    }

    bool discard(const Entry& entry, Act& act) {
        switch (entry.kind) {
            // Code 0 here is the empty-discard placeholder.
            case Entry::Kind::Tile: act = {ActKind::Dahai, 0, entry.tile(), false, {}}; return true;
            // The tile just drawn, filled in later.
            case Entry::Kind::Number: act = {ActKind::Dahai, 0, kUnknownTile, true, {}}; return true;
            case Entry::Kind::Text: break;
        }
        if (entry.too_long()) return invalid(entry.notation());
        return discard_text(entry.notation(), act);
    }
};

// Decodes a take column into `out`, one act per entry.
bool decode_takes(std::span<const Entry> entries, Act* out, Decoder& decoder) {
    for (const Entry& entry : entries) {
        if (entry.kind == Entry::Kind::Tile) [[likely]]
            *out = Act{ActKind::Tsumo, 0, entry.tile(), false, {}};
        else if (!decoder.take(entry, *out))
            return false;
        ++out;
    }
    return true;
}

// Decodes a discard column into `out`, returning the number of acts kept, or nothing on an
// error.
//
// Tsumogiri tiles are filled in from the paired tsumo and empty-discard placeholders removed as
// the entries are decoded: the k-th take pairs with the k-th discard entry (a riichi entry is one
// act), whether that entry is kept or dropped; entries past the last take are kept as they are.
// Kept acts are compacted as they come: erasing each placeholder where it stands would cost
// quadratic time on a long column of them. The old decoder decodes every entry before it pairs
// any, but pairing cannot fail, so the first error is the same.
std::optional<std::size_t> decode_discards(std::span<const Entry> entries, std::span<const Act> takes, Act* out,
                                           Decoder& decoder, std::array<std::uint64_t, kTileCount>& last_throws,
                                           std::uint64_t stamp) {
    std::size_t kept = 0;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const Entry& entry = entries[i];
        const Act* take = i < takes.size() ? &takes[i] : nullptr;
        Act a;
        if (entry.kind != Entry::Kind::Text) [[likely]] {
            // A tile, or a number: the tile just drawn. Tiles and numbers alternate with no pattern
            // a branch predictor could learn, so both are decoded without branching on which.
            const bool tsumogiri = entry.kind == Entry::Kind::Number;
            const Tile drawn = take && take->kind == ActKind::Tsumo ? take->pai : kUnknownTile;
            a = Act{ActKind::Dahai, 0, tsumogiri ? drawn : entry.tile(), tsumogiri, {}};
            // An empty-discard placeholder (code 0) paired with a take is dropped; the next take
            // pairs with the next entry.
            const bool placeholder = take && !tsumogiri && entry.tile().is_unknown();
            if (!placeholder) last_throws[a.pai.index] = stamp | kept;
            out[kept] = a;
            kept += !placeholder;
            continue;
        }
        if (!decoder.discard(entry, a)) return std::nullopt;
        if (a.throws()) {
            if (take && a.tsumogiri && take->kind == ActKind::Tsumo) a.pai = take->pai;
            last_throws[a.pai.index] = stamp | kept;
        }
        out[kept++] = a;
    }
    return kept;
}

}  // namespace

std::expected<void, ConversionError> decode_kyoku(const GameColumns& game, const KyokuColumns& kyoku,
                                                  KyokuActs& acts) {
    ConversionError error{};
    if (++acts.epoch == 0) {  // after 2^32 kyokus: the stamps start again from a clear table
        acts.last_throws = {};
        acts.epoch = 1;
    }
    const std::uint64_t stamp = std::uint64_t{acts.epoch} << 32;
    if (const std::size_t size = store_size(GameColumns::entry_count(kyoku)); acts.store.size() < size)
        acts.store.resize(size);
    Act* out = acts.store.data();
    for (Seat s = 0; s < 4; ++s) {
        SeatActs& seat = acts.seats[s];
        Decoder decoder{s, error};
        auto takes = game.takes(kyoku, s);
        auto discards = game.discards(kyoku, s);
        if (!decode_takes(takes, out, decoder)) return std::unexpected(std::move(error));
        seat.takes = out;
        seat.takes_size = takes.size();
        out += takes.size();
        *out++ = Act{ActKind::Tsumo, 0, kUnknownTile, false, {}};  // no entry: see SeatActs::takes
        auto kept = decode_discards(discards, {seat.takes, seat.takes_size}, out, decoder, acts.last_throws[s], stamp);
        if (!kept) return std::unexpected(std::move(error));
        seat.discards = out;
        seat.discards_size = *kept;
        out += *kept;
    }
    return {};
}

}  // namespace tessmar::drive
