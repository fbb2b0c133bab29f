#include "tessmar/emit/emit.hpp"

#include <initializer_list>
#include <optional>
#include <string_view>

#include "tessmar/encoding/json_text.hpp"
#include "tessmar/encoding/utf8.hpp"

namespace tessmar::emit {
namespace {

// ---------------------------------------------------------------------------------------------
// Tables, made at compile time

constexpr std::array<QuotedTile, kTileCount> make_quoted_tiles() {
    std::array<QuotedTile, kTileCount> table{};
    for (std::size_t i = 0; i < kTileCount; ++i) {
        std::string_view name = kTileNames[i];
        table[i].text[0] = '"';
        for (std::size_t k = 0; k < name.size(); ++k) table[i].text[k + 1] = name[k];
        table[i].text[name.size() + 1] = '"';
        table[i].size = static_cast<std::uint8_t>(name.size() + 2);
    }
    return table;
}

// Builds one repeat text piece by piece.
struct TextBuilder {
    RepeatText t{};
    constexpr TextBuilder& add(std::string_view s) {
        for (char c : s) t.text[t.size++] = c;
        return *this;
    }
    constexpr TextBuilder& digit(unsigned d) {
        t.text[t.size++] = static_cast<char>('0' + d);
        return *this;
    }
    constexpr TextBuilder& tile(std::size_t i) { return add("\"").add(kTileNames[i]).add("\""); }
    constexpr RepeatText done() { return add("}\n").t; }
};

// The whole texts, as the tables below hold them or piece them together.
constexpr std::array<RepeatText, kRepeatTextCount> make_whole_texts() {
    std::array<RepeatText, kRepeatTextCount> table{};
    for (unsigned seat = 0; seat < 4; ++seat) {
        for (std::size_t tile = 0; tile < kTileCount; ++tile) {
            table[kTsumoKeys + seat * kTiles + tile] =
                TextBuilder{}.add("{\"type\":\"tsumo\",\"actor\":").digit(seat).add(",\"pai\":").tile(tile).done();
            for (unsigned tsumogiri = 0; tsumogiri < 2; ++tsumogiri)
                table[kDahaiKeys + 2 * (seat * kTiles + tile) + tsumogiri] =
                    TextBuilder{}
                        .add("{\"type\":\"dahai\",\"actor\":")
                        .digit(seat)
                        .add(",\"pai\":")
                        .tile(tile)
                        .add(",\"tsumogiri\":")
                        .add(tsumogiri ? "true" : "false")
                        .done();
        }
        table[kReachKeys + seat] = TextBuilder{}.add("{\"type\":\"reach\",\"actor\":").digit(seat).done();
        table[kReachAcceptedKeys + seat] =
            TextBuilder{}.add("{\"type\":\"reach_accepted\",\"actor\":").digit(seat).done();
    }
    for (std::size_t tile = 0; tile < kTileCount; ++tile)
        table[kDoraKeys + tile] = TextBuilder{}.add("{\"type\":\"dora\",\"dora_marker\":").tile(tile).done();
    table[kEndKyokuKey] = TextBuilder{}.add("{\"type\":\"end_kyoku\"").done();
    return table;
}
// For the tables cut from it at compile time; kRepeatTexts below is its copy in the program.
constexpr auto kWholeTexts = make_whole_texts();

// The first 32 bytes of the whole text of `key`.
constexpr Head head_of(std::size_t key) {
    Head h{};
    for (std::size_t i = 0; i < kHeadSize; ++i) h.text[i] = kWholeTexts[key].text[i];
    return h;
}

// The rest of the whole text of `key`, after its first 32 bytes, padded to `Tail`.
template <class Tail>
constexpr Tail tail_of(std::size_t key) {
    Tail t{};
    const RepeatText& whole = kWholeTexts[key];
    for (std::size_t i = kHeadSize; i < whole.size; ++i) t.text[i - kHeadSize] = whole.text[i];
    t.size = static_cast<std::uint8_t>(whole.size - kHeadSize);
    return t;
}

constexpr std::array<Head, 4> make_heads(std::size_t first_key, std::size_t seat_stride) {
    std::array<Head, 4> heads{};
    for (std::size_t seat = 0; seat < 4; ++seat) heads[seat] = head_of(first_key + seat * seat_stride);
    return heads;
}

constexpr std::array<TsumoTail, kTileCount> make_tsumo_tails() {
    std::array<TsumoTail, kTileCount> tails{};
    for (std::size_t tile = 0; tile < kTileCount; ++tile) tails[tile] = tail_of<TsumoTail>(kTsumoKeys + tile);
    return tails;
}

constexpr std::array<DahaiTail, 2 * kTileCount> make_dahai_tails() {
    std::array<DahaiTail, 2 * kTileCount> tails{};
    for (std::size_t i = 0; i < 2 * kTileCount; ++i) tails[i] = tail_of<DahaiTail>(kDahaiKeys + i);
    return tails;
}

// Whether every text of keys [first, last) is its seat's head and its tile's tail, the tail
// fitting its padded size.
template <class Tail>
constexpr bool pieces_match(std::size_t first, std::size_t per_seat, const std::array<Head, 4>& heads,
                            const auto& tails) {
    for (std::size_t seat = 0; seat < 4; ++seat)
        for (std::size_t i = 0; i < per_seat; ++i) {
            const RepeatText& whole = kWholeTexts[first + seat * per_seat + i];
            const Tail& tail = tails[i];
            if (whole.size <= kHeadSize || whole.size - kHeadSize != tail.size || tail.size >= sizeof(Tail))
                return false;
            for (std::size_t k = 0; k < whole.size; ++k) {
                char piece = k < kHeadSize ? heads[seat].text[k] : tail.text[k - kHeadSize];
                if (piece != whole.text[k]) return false;
            }
        }
    return true;
}

// Each tile as its JSON string and a comma, padded to 8 bytes: a list is written as a run of
// these whose last comma is overwritten.
constexpr std::array<QuotedTile, kTileCount> make_listed_tiles() {
    std::array<QuotedTile, kTileCount> table = make_quoted_tiles();
    for (QuotedTile& t : table) t.text[t.size++] = ',';
    return table;
}
constexpr auto kListedTiles = make_listed_tiles();

// ---------------------------------------------------------------------------------------------
// Writing through a raw pointer (the room is made by the caller)

// A seat below 4 (calls) as its one digit.
char* put_seat(char* p, Seat s) {
    *p = static_cast<char>('0' + s);
    return p + 1;
}

char* put_tile(char* p, Tile t) {
    const QuotedTile& q = kQuotedTiles[t.index];
    std::memcpy(p, q.text, sizeof q);
    return p + q.size;
}

// `["a","b",...]`
char* put_tiles(char* p, std::span<const Tile> tiles) {
    *p++ = '[';
    for (std::size_t i = 0; i < tiles.size(); ++i) {
        if (i) *p++ = ',';
        p = put_tile(p, tiles[i]);
    }
    *p++ = ']';
    return p;
}

// The buffer's size while writing: its contents past what is written are never read, so the
// resize leaves them as they are instead of filling them.
void set_size(std::string& buffer, std::size_t size) {
    buffer.resize_and_overwrite(size, [](char*, std::size_t n) { return n; });
}

}  // namespace

constinit const std::array<QuotedTile, kTileCount> kQuotedTiles = make_quoted_tiles();
constinit const std::array<RepeatText, kRepeatTextCount> kRepeatTexts = kWholeTexts;
constinit const std::array<Head, 4> kTsumoHeads = make_heads(kTsumoKeys, kTiles);
constinit const std::array<Head, 4> kDahaiHeads = make_heads(kDahaiKeys, 2 * kTiles);
constinit const std::array<TsumoTail, kTileCount> kTsumoTails = make_tsumo_tails();
constinit const std::array<DahaiTail, 2 * kTileCount> kDahaiTails = make_dahai_tails();

// The source the pieces above are cut from, and checked against below.
std::string_view repeat_text(std::uint16_t key) {
    if (key == 0 || key >= kRepeatTextCount) return {};
    const RepeatText& t = kRepeatTexts[key];
    return {t.text, t.size - 1u};  // without the line feed
}

namespace {
// Every text of keys [first, last) fits in `copy` bytes.
constexpr bool texts_fit(std::size_t first, std::size_t last, std::size_t copy) {
    for (std::size_t k = first; k < last; ++k)
        if (kWholeTexts[k].size > copy || kWholeTexts[k].size == 0) return false;
    return true;
}
static_assert(texts_fit(kDoraKeys, kReachKeys, kDoraCopy));
static_assert(texts_fit(kReachKeys, kReachAcceptedKeys, kReachCopy));
static_assert(texts_fit(kReachAcceptedKeys, kEndKyokuKey, kReachAcceptedCopy));
static_assert(texts_fit(kEndKyokuKey, kRepeatTextCount, kEndKyokuCopy));
static_assert(pieces_match<TsumoTail>(kTsumoKeys, kTiles, make_heads(kTsumoKeys, kTiles), make_tsumo_tails()));
static_assert(pieces_match<DahaiTail>(kDahaiKeys, 2 * kTiles, make_heads(kDahaiKeys, 2 * kTiles),
                                      make_dahai_tails()));
}  // namespace

// ---------------------------------------------------------------------------------------------
// Writers

namespace {

// `{"type":...,"actor":A` is `head` and the actor; then the target and the called tile where
// the call has them, then the consumed tiles.
template <std::size_t N>
char* write_call(char* p, const char (&head)[N], Seat actor, std::optional<Seat> target, std::optional<Tile> pai,
                 std::initializer_list<Tile> consumed) {
    p = put_seat(put_literal(p, head), actor);
    if (target) p = put_seat(put_literal(p, ",\"target\":"), *target);
    if (pai) p = put_tile(put_literal(p, ",\"pai\":"), *pai);
    p = put_literal(p, ",\"consumed\":[");
    for (Tile t : consumed) {
        p = put_tile(p, t);
        *p++ = ',';
    }
    p[-1] = ']';  // over the last comma
    *p++ = '}';
    return p;
}

}  // namespace

char* write_chi(char* p, Seat actor, Seat target, Tile pai, Tile c0, Tile c1) {
    return write_call(p, "{\"type\":\"chi\",\"actor\":", actor, target, pai, {c0, c1});
}

char* write_pon(char* p, Seat actor, Seat target, Tile pai, Tile c0, Tile c1) {
    return write_call(p, "{\"type\":\"pon\",\"actor\":", actor, target, pai, {c0, c1});
}

char* write_daiminkan(char* p, Seat actor, Seat target, Tile pai, Tile c0, Tile c1, Tile c2) {
    return write_call(p, "{\"type\":\"daiminkan\",\"actor\":", actor, target, pai, {c0, c1, c2});
}

char* write_kakan(char* p, Seat actor, Tile pai, Tile c0, Tile c1, Tile c2) {
    return write_call(p, "{\"type\":\"kakan\",\"actor\":", actor, std::nullopt, pai, {c0, c1, c2});
}

char* write_ankan(char* p, Seat actor, Tile c0, Tile c1, Tile c2, Tile c3) {
    return write_call(p, "{\"type\":\"ankan\",\"actor\":", actor, std::nullopt, std::nullopt, {c0, c1, c2, c3});
}

char* write_start_game(char* p, const std::array<std::string, 4>& names, std::uint8_t kyoku_first, bool aka_flag) {
    p = put_literal(p, "{\"type\":\"start_game\",\"names\":[");
    for (std::size_t i = 0; i < 4; ++i) {
        if (i) *p++ = ',';
        p = put_json_string(p, names[i]);
    }
    p = put_uint(put_literal(p, "],\"kyoku_first\":"), kyoku_first);
    p = put_literal(p, ",\"aka_flag\":");
    return aka_flag ? put_literal(p, "true}") : put_literal(p, "false}");
}

char* write_start_kyoku(char* p, Tile bakaze, Tile dora_marker, std::uint8_t kyoku, std::uint8_t honba,
                        std::uint8_t kyotaku, Seat oya, const Points& scores,
                        const std::array<std::array<Tile, 13>, 4>& tehais) {
    p = put_tile(put_literal(p, "{\"type\":\"start_kyoku\",\"bakaze\":"), bakaze);
    p = put_tile(put_literal(p, ",\"dora_marker\":"), dora_marker);
    p = put_uint(put_literal(p, ",\"kyoku\":"), kyoku);
    p = put_uint(put_literal(p, ",\"honba\":"), honba);
    p = put_uint(put_literal(p, ",\"kyotaku\":"), kyotaku);
    p = put_uint(put_literal(p, ",\"oya\":"), oya);
    p = put_points(put_literal(p, ",\"scores\":"), scores);
    p = put_literal(p, ",\"tehais\":[");
    for (const auto& hand : tehais) {
        *p++ = '[';
        for (Tile t : hand) {
            const QuotedTile& q = kListedTiles[t.index];
            std::memcpy(p, q.text, sizeof q);
            p += q.size;
        }
        p[-1] = ']';  // over the last comma
        *p++ = ',';
    }
    p[-1] = ']';
    *p++ = '}';
    return p;
}

char* write_hora(char* p, std::uint8_t actor, std::uint8_t target, const Points& deltas,
                 std::span<const Tile> ura_markers) {
    p = put_uint(put_literal(p, "{\"type\":\"hora\",\"actor\":"), actor);
    p = put_uint(put_literal(p, ",\"target\":"), target);
    p = put_points(put_literal(p, ",\"deltas\":"), deltas);
    p = put_tiles(put_literal(p, ",\"ura_markers\":"), ura_markers);
    *p++ = '}';
    return p;
}

char* write_ryukyoku(char* p, const Points& deltas) {
    p = put_points(put_literal(p, "{\"type\":\"ryukyoku\",\"deltas\":"), deltas);
    *p++ = '}';
    return p;
}

char* write_end_game(char* p) { return put_literal(p, "{\"type\":\"end_game\"}"); }

// ---------------------------------------------------------------------------------------------
// Emitter

Emitter::Emitter(EventTexts& out) : out_(&out) {
    pos_ = cap_ = out.buffer.size();
    data_ = out.buffer.data();
    count_ = count_cap_ = out.ends.size();
    out.repeat_keys.resize(count_);
    ends_ = out.ends.data();
    keys_ = out.repeat_keys.data();
}

Emitter::Room Emitter::grow(EventTexts& out, Room room, std::size_t pos, std::size_t bytes, std::size_t count,
                            std::size_t events) {
    auto grown = [](std::size_t used, std::size_t wanted, std::size_t size) {
        return used + wanted > 2 * size ? used + wanted : 2 * size;
    };
    if (room.cap - pos < bytes) {
        room.cap = grown(pos, bytes, room.cap);
        set_size(out.buffer, room.cap);
        room.data = out.buffer.data();
    }
    if (room.count_cap - count < events) {
        room.count_cap = grown(count, events, room.count_cap);
        out.ends.resize(room.count_cap);
        out.repeat_keys.resize(room.count_cap);
        room.ends = out.ends.data();
        room.keys = out.repeat_keys.data();
    }
    return room;
}

void Emitter::finish() {
    out_->buffer.resize(pos_);
    out_->ends.resize(count_);
    out_->repeat_keys.resize(count_);
    cap_ = pos_;
    count_cap_ = count_;
    data_ = out_->buffer.data();
    ends_ = out_->ends.data();
    keys_ = out_->repeat_keys.data();
}

void Emitter::start_game(const std::array<std::string, 4>& names, std::uint8_t kyoku_first, bool aka_flag) {
    std::size_t size = kMaxSmall;
    for (const std::string& name : names) {
        size += json_string_room(name.size());
        out_->ascii = out_->ascii && is_ascii(name);
    }
    commit(write_start_game(begin(size), names, kyoku_first, aka_flag));
}

}  // namespace tessmar::emit
