// The reader: the XML's tags, in document order, into a Game. Game-level tags are read in
// reader.cpp, the tags of a kyoku in reader_kyoku.cpp.
#pragma once

#include <array>
#include <cstdint>
#include <expected>
#include <string>
#include <string_view>
#include <vector>

#include "tessmar/mjlog/error.hpp"
#include "tessmar/mjlog/game.hpp"
#include "tessmar/mjlog/xml.hpp"

namespace tessmar::mjlog {


/** Reads one whole mjlog text (valid UTF-8) into `game`, which must be fresh. */
Status read_game(std::string_view xml, Game& game);

namespace detail {

/** The player tag's values, kept until the end: which <UN> it is is known only then. */
struct PlayerTag {
    std::size_t offset = kNoOffset;
    bool has_dan = false;
    std::array<std::string, 4> names;
    std::array<bool, 4> name_present{};
    std::string dan, rate, sx;
};

class Reader {
public:
    explicit Reader(Game& game) : g_(game) {}
    Status run(std::string_view xml);

private:
    using Tag = xml::Tag;

    // reader.cpp: the game's own tags and the checks at its end.
    Status tag(const Tag& t);
    Status go(const Tag& t);
    void un(const Tag& t);
    Status bye(const Tag& t);
    Status finish(std::size_t close_offset);
    Status players();
    Status owari(const Tag& t, std::string_view value);

    // reader_kyoku.cpp: the tags of a kyoku.
    Status init(const Tag& t);
    // INIT's values, into a new kyoku; `fault` gets its round and honba once they are read.
    Status read_init(const Tag& t, Fault& fault);
    // A draw (letters T U V W) or discard (D E F G) of tile `id`.
    Status move(std::string_view name, std::size_t offset, unsigned id);
    // The move itself, once it may stand here. No branch on its seat or kind, which follow no
    // pattern a predictor could learn: masks, where compilers would make a conditional a branch.
    void add_move(char letter, unsigned id) {
        // D E F G and T U V W: the seat in the two low bits, 0x10 set for a draw.
        const unsigned seat = static_cast<unsigned>(letter) & 3;
        const unsigned draw = (static_cast<unsigned>(letter) >> 4) & 1;
        const unsigned discard = draw ^ 1, discard_mask = 0u - discard;
        const unsigned flags = (static_cast<unsigned>(last_drawn_[seat] == static_cast<int>(id)) * Cell::kTsumogiri) |
                               (static_cast<unsigned>(riichi_[seat]) * Cell::kRiichi);
        static_assert(Cell::Tile == 0);
        g_.entries.push_back({seat * 2 + discard, flags & discard_mask, id});
        sizes_[seat * 2 + discard] = ++counts_[seat * 2 + discard];
        last_drawn_[seat] = static_cast<int>(id | discard_mask);
        riichi_[seat] = riichi_[seat] & (draw != 0);
        ++step_;
    }
    Status call(const Tag& t);
    Status reach(const Tag& t);
    Status dora(const Tag& t);
    Status agari(const Tag& t);
    Status ryuukyoku(const Tag& t);
    // Whether a kyoku event may stand here: inside a kyoku that has not ended.
    Status in_play(std::string_view name, std::size_t offset) const;
    // What every ending does first: one kind per kyoku, owari only on the last.
    Status ending(const Tag& t, bool win);
    void close_kyoku();
    // A kyoku tag's refusal blames the kyoku in play (and `seat`), unless it blames one already.
    Status blame(Status status, int seat = -1) const;

    // Attribute helpers; each error names the tag.
    std::expected<std::string_view, MjlogError> required(const Tag& t, std::string_view name) const;
    std::expected<std::int64_t, MjlogError> integer(const Tag& t, std::string_view name) const;
    std::expected<std::uint8_t, MjlogError> seat(const Tag& t, std::string_view name) const;
    Status ints(const Tag& t, std::string_view name, std::vector<std::int64_t>& out) const;
    Status tile_ids(const Tag& t, std::string_view name, std::vector<std::int64_t>& out) const;

    Game& g_;

    // The game.
    bool go_seen_ = false;
    PlayerTag first_un_, player_;
    std::vector<std::size_t> reconnect_offsets_;  // of the <UN> each reconnection came from

    // The kyoku in progress.
    bool in_kyoku_ = false;
    bool ended_ = false, ended_by_win_ = false;
    std::uint8_t oya_ = 0;
    std::uint32_t step_ = 0;
    std::array<int, 4> last_drawn_{};
    std::array<bool, 4> riichi_{};
    // Entries of each column so far, and up to the last one that is not a kan's zero.
    std::array<std::uint32_t, 8> counts_{}, sizes_{};

    // The last ending so far, and the ending that carried owari, if any.
    std::size_t last_ending_offset_ = kNoOffset;
    std::string_view last_ending_name_;
    bool last_ending_owari_ = false;
    std::size_t owari_offset_ = kNoOffset;
    std::string_view owari_name_;
    std::size_t owari_kyoku_ = 0;

    std::vector<std::int64_t> values_;  // scratch lists
};

}  // namespace detail
}  // namespace tessmar::mjlog
