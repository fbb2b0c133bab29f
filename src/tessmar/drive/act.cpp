// Column entries into acts: call notation, kans, riichi, tsumogiri placeholders.
//
// A notation text is judged in a fixed order, so that the error reported for a text that is
// wrong in several ways is always the same one: the letters are looked for with `find` over the
// whole text (take: c, p, m; discard: k, a), then the length is checked, then the letter's
// position; tile codes are read from left to right as listed below, the first bad one being the
// error. A text longer than `Entry::kMaxText` bytes is kept only as too long: no accepted shape
// is that long, so it fails as an `InvalidActionString` carrying its first 9 bytes.
#include <optional>
#include <string>
#include <string_view>

#include "tessmar/drive/act.hpp"
#include "tessmar/encoding/utf8.hpp"

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
        if (hi < 10 && lo < 10 && kTileOfCode[hi * 10 + lo] != kNoTile) {
            tile = Tile{kTileOfCode[hi * 10 + lo]};
            return true;
        }
        // Anything else by `tile_from_code_text` ("+0" reads as "?"); what it refuses is the
        // error, with the two bytes as its text.
        const std::string_view two = text.substr(at, 2);
        const std::optional<Tile> read = tile_from_code_text(two);
        if (!read) {
            error = ConversionError{ConversionErrorKind::InvalidTileCode, utf8_lossy(two), seat};
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

    // A call or kakan whose letter stands at byte `at`: the called tile follows the letter, the
    // `n` consumed tiles are the other codes from left to right.
    bool called(std::string_view text, ActKind kind, Seat target, std::size_t at, std::size_t n, Act& act) {
        // The other codes' places, by the letter's place (0, 2, 4 or 6): a table, not a loop,
        // as every call of a log comes through here.
        static constexpr std::array<std::array<std::size_t, 3>, 4> kConsumedAt{{
            {3, 5, 7}, {0, 5, 7}, {0, 2, 7}, {0, 2, 4}}};
        act = {kind, target, {}, false, {}};
        return codes(text, at + 1, kConsumedAt[at / 2], n, act);
    }

    // The letter's place names the discarder: first for the left seat, second for the one
    // opposite, at `right_at` for the right one; any other place is no call.
    bool call_at(std::string_view text, ActKind kind, std::size_t at, std::size_t right_at, std::size_t n, Act& act) {
        if (at == 0) return called(text, kind, left_of(seat), at, n, act);
        if (at == 2) return called(text, kind, opposite_of(seat), at, n, act);
        if (at == right_at) return called(text, kind, right_of(seat), at, n, act);
        return invalid(text);
    }

    bool take_text(std::string_view text, Act& act) {
        if (find(text, 'c') != std::string_view::npos) {
            // The position of the "c" is not examined: Tenhou always writes it first.
            if (text.size() != 7) return invalid(text);
            return called(text, ActKind::Chi, left_of(seat), 0, 2, act);
        }
        if (const std::size_t at = find(text, 'p'); at != std::string_view::npos) {
            if (text.size() != 7) return invalid(text);
            return call_at(text, ActKind::Pon, at, 4, 2, act);
        }
        if (const std::size_t at = find(text, 'm'); at != std::string_view::npos) {
            if (text.size() != 9) return invalid(text);
            return call_at(text, ActKind::Daiminkan, at, 6, 3, act);
        }
        return invalid(text);
    }

    bool discard_text(std::string_view text, Act& act) {
        if (const std::size_t at = find(text, 'k'); at != std::string_view::npos) {
            if (text.size() != 9) return invalid(text);
            if (at != 0 && at != 2 && at != 4) return invalid(text);
            return called(text, ActKind::Kakan, 0, at, 3, act);
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
// quadratic time on a long column of them. Pairing cannot fail, so decoding and pairing in one
// pass reports the same first error as decoding every entry first would.
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
