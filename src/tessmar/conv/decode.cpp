#include <string_view>

#include "tessmar/conv/convert.hpp"

namespace tessmar {
namespace {

using namespace tessmar::mjai;

std::uint8_t left_of(std::uint8_t seat) { return static_cast<std::uint8_t>((seat + 3) % 4); }
std::uint8_t opposite_of(std::uint8_t seat) { return static_cast<std::uint8_t>((seat + 2) % 4); }
std::uint8_t right_of(std::uint8_t seat) { return static_cast<std::uint8_t>((seat + 1) % 4); }

std::unexpected<ConversionError> invalid_action(std::string_view text, std::uint8_t seat) {
    return std::unexpected(ConversionError{ConversionErrorKind::InvalidActionString, std::string(text), seat});
}

// Reads the tile codes at the given byte offsets, in that order; the first bad one is the error.
template <std::size_t N>
std::expected<std::array<Tile, N>, ConversionError> codes_at(std::string_view text, std::uint8_t seat,
                                                              const std::array<std::size_t, N>& offsets) {
    std::array<Tile, N> tiles{};
    for (std::size_t i = 0; i < N; ++i) {
        auto tile = tile_from_code_text(text.substr(offsets[i], 2));
        if (!tile) {
            tile.error().seat = seat;
            return std::unexpected(std::move(tile.error()));
        }
        tiles[i] = *tile;
    }
    return tiles;
}

// A call written with its letter at one of three places; the called tile follows the letter,
// the consumed tiles are the other codes from left to right.
struct CallShape {
    std::size_t letter;
    std::uint8_t (*target)(std::uint8_t);
    std::size_t pai;
    std::array<std::size_t, 3> consumed;  // the first `count` are used
};

constexpr CallShape kPonShapes[] = {
    {0, left_of, 1, {3, 5, 0}},
    {2, opposite_of, 3, {0, 5, 0}},
    {4, right_of, 5, {0, 2, 0}},
};
constexpr CallShape kDaiminkanShapes[] = {
    {0, left_of, 1, {3, 5, 7}},
    {2, opposite_of, 3, {0, 5, 7}},
    {6, right_of, 7, {0, 2, 4}},
};
constexpr CallShape kKakanShapes[] = {
    {0, nullptr, 1, {3, 5, 7}},
    {2, nullptr, 3, {0, 5, 7}},
    {4, nullptr, 5, {0, 2, 7}},
};

const CallShape* shape_for(const auto& shapes, std::size_t letter) {
    for (const CallShape& shape : shapes)
        if (shape.letter == letter) return &shape;
    return nullptr;
}

// Reads the pai and `N` consumed tiles of a call shape into a meld event.
template <class Meld, std::size_t N>
std::expected<Event, ConversionError> read_meld(std::string_view text, std::uint8_t seat, const CallShape& shape) {
    std::array<std::size_t, N + 1> offsets{};
    offsets[0] = shape.pai;
    for (std::size_t i = 0; i < N; ++i) offsets[i + 1] = shape.consumed[i];
    auto tiles = codes_at(text, seat, offsets);
    if (!tiles) return std::unexpected(std::move(tiles.error()));
    Meld meld{};
    meld.actor = seat;
    if constexpr (requires { meld.target; }) meld.target = shape.target(seat);
    meld.pai = (*tiles)[0];
    for (std::size_t i = 0; i < N; ++i) meld.consumed[i] = (*tiles)[i + 1];
    return Event{meld};
}

template <class Meld, std::size_t N>
std::expected<Event, ConversionError> read_lettered(std::string_view text, std::uint8_t seat, char letter,
                                                    std::size_t length, const auto& shapes) {
    if (text.size() != length) return invalid_action(text, seat);
    const CallShape* shape = shape_for(shapes, text.find(letter));
    if (!shape) return invalid_action(text, seat);
    return read_meld<Meld, N>(text, seat, *shape);
}

std::expected<Event, ConversionError> decode_take_text(std::string_view text, std::uint8_t seat) {
    if (text.find('c') != std::string_view::npos) {
        // The position of the "c" is not examined: Tenhou always writes it first.
        if (text.size() != 7) return invalid_action(text, seat);
        return read_meld<Chi, 2>(text, seat, CallShape{0, left_of, 1, {3, 5, 0}});
    }
    if (text.find('p') != std::string_view::npos) return read_lettered<Pon, 2>(text, seat, 'p', 7, kPonShapes);
    if (text.find('m') != std::string_view::npos)
        return read_lettered<Daiminkan, 3>(text, seat, 'm', 9, kDaiminkanShapes);
    return invalid_action(text, seat);
}

std::expected<void, ConversionError> decode_discard_text(std::string_view text, std::uint8_t seat,
                                                         std::vector<Event>& out) {
    if (text.find('k') != std::string_view::npos) {
        auto kakan = read_lettered<Kakan, 3>(text, seat, 'k', 9, kKakanShapes);
        if (!kakan) return std::unexpected(std::move(kakan.error()));
        out.push_back(std::move(*kakan));
        return {};
    }
    bool has_a = text.find('a') != std::string_view::npos;
    if (text.size() <= 7) {
        // A riichi declaration: three bytes, the first not examined, then the discarded tile.
        if (has_a || text.size() != 3) return invalid_action(text, seat);
        Tile pai = kUnknownTile;
        if (text.substr(1, 2) != "60") {
            auto tile = codes_at<1>(text, seat, {1});
            if (!tile) return std::unexpected(std::move(tile.error()));
            pai = (*tile)[0];
        }
        out.push_back(Reach{seat});
        out.push_back(Dahai{seat, pai, pai.is_unknown()});
        return {};
    }
    if (!has_a || text.size() != 9) return invalid_action(text, seat);
    // The position of the "a" is not examined; the codes are read from offset 7 first.
    auto tiles = codes_at<4>(text, seat, {7, 0, 2, 4});
    if (!tiles) return std::unexpected(std::move(tiles.error()));
    const auto& t = *tiles;
    out.push_back(Ankan{seat, {t[1], t[2], t[3], t[0]}});
    return {};
}

// Fills in tsumogiri tiles from the paired tsumo and removes empty-discard placeholders.
// The k-th take pairs with the k-th discard entry; a riichi entry counts as one entry.
// Kept events are compacted in one pass: erasing each placeholder where it stands would
// cost quadratic time on a long column of them.
void resolve_placeholders(const std::vector<Event>& takes, std::vector<Event>& discards) {
    std::size_t read = 0;   // next event to pair
    std::size_t write = 0;  // where the next kept event goes
    auto keep = [&] {
        if (write != read) discards[write] = std::move(discards[read]);
        ++write;
        ++read;
    };
    for (const Event& take : takes) {
        if (read >= discards.size()) break;
        if (std::holds_alternative<Reach>(discards[read])) keep();
        auto* dahai = std::get_if<Dahai>(&discards[read]);
        if (dahai && dahai->tsumogiri) {
            if (auto* tsumo = std::get_if<Tsumo>(&take)) dahai->pai = tsumo->pai;
            keep();
        } else if (dahai && dahai->pai.is_unknown()) {
            ++read;  // dropped; the next take pairs with the event after it
        } else {
            keep();
        }
    }
    discards.erase(discards.begin() + static_cast<std::ptrdiff_t>(write),
                   discards.begin() + static_cast<std::ptrdiff_t>(read));
}

}  // namespace

std::expected<Event, ConversionError> decode_take(const ActionItem& entry, std::uint8_t seat) {
    if (auto* tile = std::get_if<Tile>(&entry)) return Event{Tsumo{seat, *tile}};
    if (std::holds_alternative<BareNumber>(entry))
        return std::unexpected(ConversionError{ConversionErrorKind::UnexpectedNumber, {}, seat});
    return decode_take_text(std::get<std::string>(entry), seat);
}

std::expected<void, ConversionError> decode_discard(const ActionItem& entry, std::uint8_t seat,
                                                     std::vector<Event>& out) {
    if (auto* tile = std::get_if<Tile>(&entry)) {
        out.push_back(Dahai{seat, *tile, false});  // code 0 here is the empty-discard placeholder
        return {};
    }
    if (std::holds_alternative<BareNumber>(entry)) {
        out.push_back(Dahai{seat, kUnknownTile, true});  // the tile just drawn, filled in later
        return {};
    }
    return decode_discard_text(std::get<std::string>(entry), seat, out);
}

std::expected<SeatActions, ConversionError> decode_seat_actions(const Kyoku& kyoku, std::uint8_t seat) {
    const SeatLog& log = kyoku.seats[seat];
    SeatActions actions;
    actions.takes.reserve(log.take_entries.size());
    for (const ActionItem& entry : log.take_entries) {
        auto event = decode_take(entry, seat);
        if (!event) return std::unexpected(std::move(event.error()));
        actions.takes.push_back(std::move(*event));
    }
    actions.discards.reserve(log.discard_entries.size() + 2);
    for (const ActionItem& entry : log.discard_entries) {
        auto ok = decode_discard(entry, seat, actions.discards);
        if (!ok) return std::unexpected(std::move(ok.error()));
    }
    resolve_placeholders(actions.takes, actions.discards);
    return actions;
}

}  // namespace tessmar
