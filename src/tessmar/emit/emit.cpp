#include "tessmar/emit/emit.hpp"

#include <algorithm>
#include <string_view>

namespace tessmar::emit {
namespace {

constexpr std::string_view kTileNames[kTileCount] = {
    "1m", "2m", "3m", "4m", "5m", "6m", "7m", "8m", "9m", "1p", "2p", "3p", "4p",
    "5p", "6p", "7p", "8p", "9p", "1s", "2s", "3s", "4s", "5s", "6s", "7s", "8s",
    "9s", "E",  "S",  "W",  "N",  "P",  "F",  "C",  "5mr", "5pr", "5sr", "?"};

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
constexpr auto kWholeTexts = make_whole_texts();

constexpr std::array<RepeatText, kRepeatTextCount - kDoraKeys> make_repeat_texts() {
    std::array<RepeatText, kRepeatTextCount - kDoraKeys> table{};
    for (std::size_t k = kDoraKeys; k < kRepeatTextCount; ++k) table[k - kDoraKeys] = kWholeTexts[k];
    return table;
}

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

constexpr char kDigitPairs[] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
    "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";

// ---------------------------------------------------------------------------------------------
// Writing through a raw pointer (the room is made by the caller)

template <std::size_t N>
char* lit(char* p, const char (&text)[N]) {
    std::memcpy(p, text, N - 1);
    return p + N - 1;
}

// Digits are made two at a time from the right into a scratch buffer, then copied in one piece
// of fixed size (the room made for every text covers the bytes copied past the number's end).
char* put_uint(char* p, std::uint32_t v) {
    if (v < 10) {
        *p = static_cast<char>('0' + v);
        return p + 1;
    }
    char digits[24];
    char* end = digits + 12;
    char* q = end;
    while (v >= 100) {
        q -= 2;
        std::memcpy(q, kDigitPairs + (v % 100) * 2, 2);
        v /= 100;
    }
    if (v >= 10) {
        q -= 2;
        std::memcpy(q, kDigitPairs + v * 2, 2);
    } else {
        *--q = static_cast<char>('0' + v);
    }
    std::memcpy(p, q, 12);  // at most 10 digits; q + 12 stays inside `digits`
    return p + (end - q);
}

char* put_int(char* p, std::int32_t v) {
    if (v < 0) {
        *p++ = '-';
        return put_uint(p, 0u - static_cast<std::uint32_t>(v));
    }
    return put_uint(p, static_cast<std::uint32_t>(v));
}

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

char* put_points(char* p, const Points& values) {
    *p++ = '[';
    for (std::size_t i = 0; i < 4; ++i) {
        if (i) *p++ = ',';
        p = put_int(p, values[i]);
    }
    *p++ = ']';
    return p;
}

bool is_ascii(std::string_view text) {
    unsigned char any = 0;
    for (char c : text) any |= static_cast<unsigned char>(c);
    return any < 0x80;
}

// The buffer's size while writing: its contents past what is written are never read, so the
// resize leaves them as they are instead of filling them.
void set_size(std::string& buffer, std::size_t size) {
    buffer.resize_and_overwrite(size, [](char*, std::size_t n) { return n; });
}

}  // namespace

// Escapes into `p` as mjai::append_json_string does, copying runs that need no escape in one piece.
char* put_string(char* p, std::string_view text) {
    static constexpr char kHex[] = "0123456789abcdef";
    *p++ = '"';
    std::size_t run = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        auto c = static_cast<unsigned char>(text[i]);
        if (c >= 0x20 && c != '"' && c != '\\') continue;
        std::memcpy(p, text.data() + run, i - run);
        p += i - run;
        run = i + 1;
        *p++ = '\\';
        switch (c) {
            case '"': *p++ = '"'; break;
            case '\\': *p++ = '\\'; break;
            case '\b': *p++ = 'b'; break;
            case '\t': *p++ = 't'; break;
            case '\n': *p++ = 'n'; break;
            case '\f': *p++ = 'f'; break;
            case '\r': *p++ = 'r'; break;
            default:
                p = lit(p, "u00");
                *p++ = kHex[c >> 4];
                *p++ = kHex[c & 15];
        }
    }
    std::memcpy(p, text.data() + run, text.size() - run);
    p += text.size() - run;
    *p++ = '"';
    return p;
}

constinit const std::array<QuotedTile, kTileCount> kQuotedTiles = make_quoted_tiles();
constinit const std::array<RepeatText, kRepeatTextCount - kDoraKeys> kRepeatTexts = make_repeat_texts();
constinit const std::array<Head, 4> kTsumoHeads = make_heads(kTsumoKeys, kTiles);
constinit const std::array<Head, 4> kDahaiHeads = make_heads(kDahaiKeys, 2 * kTiles);
constinit const std::array<TsumoTail, kTileCount> kTsumoTails = make_tsumo_tails();
constinit const std::array<DahaiTail, 2 * kTileCount> kDahaiTails = make_dahai_tails();

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

char* write_chi(char* p, Seat actor, Seat target, Tile pai, Tile c0, Tile c1) {
    p = put_seat(lit(p, "{\"type\":\"chi\",\"actor\":"), actor);
    p = put_tile(lit(put_seat(lit(p, ",\"target\":"), target), ",\"pai\":"), pai);
    p = put_tile(lit(p, ",\"consumed\":["), c0);
    p = put_tile(lit(p, ","), c1);
    return lit(p, "]}");
}

char* write_pon(char* p, Seat actor, Seat target, Tile pai, Tile c0, Tile c1) {
    p = put_seat(lit(p, "{\"type\":\"pon\",\"actor\":"), actor);
    p = put_tile(lit(put_seat(lit(p, ",\"target\":"), target), ",\"pai\":"), pai);
    p = put_tile(lit(p, ",\"consumed\":["), c0);
    p = put_tile(lit(p, ","), c1);
    return lit(p, "]}");
}

char* write_daiminkan(char* p, Seat actor, Seat target, Tile pai, Tile c0, Tile c1, Tile c2) {
    p = put_seat(lit(p, "{\"type\":\"daiminkan\",\"actor\":"), actor);
    p = put_tile(lit(put_seat(lit(p, ",\"target\":"), target), ",\"pai\":"), pai);
    p = put_tile(lit(p, ",\"consumed\":["), c0);
    p = put_tile(lit(p, ","), c1);
    p = put_tile(lit(p, ","), c2);
    return lit(p, "]}");
}

char* write_kakan(char* p, Seat actor, Tile pai, Tile c0, Tile c1, Tile c2) {
    p = put_seat(lit(p, "{\"type\":\"kakan\",\"actor\":"), actor);
    p = put_tile(lit(p, ",\"pai\":"), pai);
    p = put_tile(lit(p, ",\"consumed\":["), c0);
    p = put_tile(lit(p, ","), c1);
    p = put_tile(lit(p, ","), c2);
    return lit(p, "]}");
}

char* write_ankan(char* p, Seat actor, Tile c0, Tile c1, Tile c2, Tile c3) {
    p = put_seat(lit(p, "{\"type\":\"ankan\",\"actor\":"), actor);
    p = put_tile(lit(p, ",\"consumed\":["), c0);
    p = put_tile(lit(p, ","), c1);
    p = put_tile(lit(p, ","), c2);
    p = put_tile(lit(p, ","), c3);
    return lit(p, "]}");
}

char* write_start_game(char* p, const std::array<std::string, 4>& names, std::uint8_t kyoku_first, bool aka_flag) {
    p = lit(p, "{\"type\":\"start_game\",\"names\":[");
    for (std::size_t i = 0; i < 4; ++i) {
        if (i) *p++ = ',';
        p = put_string(p, names[i]);
    }
    p = put_uint(lit(p, "],\"kyoku_first\":"), kyoku_first);
    p = lit(p, ",\"aka_flag\":");
    return aka_flag ? lit(p, "true}") : lit(p, "false}");
}

char* write_start_kyoku(char* p, Tile bakaze, Tile dora_marker, std::uint8_t kyoku, std::uint8_t honba,
                        std::uint8_t kyotaku, Seat oya, const Points& scores,
                        const std::array<std::array<Tile, 13>, 4>& tehais) {
    p = put_tile(lit(p, "{\"type\":\"start_kyoku\",\"bakaze\":"), bakaze);
    p = put_tile(lit(p, ",\"dora_marker\":"), dora_marker);
    p = put_uint(lit(p, ",\"kyoku\":"), kyoku);
    p = put_uint(lit(p, ",\"honba\":"), honba);
    p = put_uint(lit(p, ",\"kyotaku\":"), kyotaku);
    p = put_uint(lit(p, ",\"oya\":"), oya);
    p = put_points(lit(p, ",\"scores\":"), scores);
    p = lit(p, ",\"tehais\":[");
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
    p = put_uint(lit(p, "{\"type\":\"hora\",\"actor\":"), actor);
    p = put_uint(lit(p, ",\"target\":"), target);
    p = put_points(lit(p, ",\"deltas\":"), deltas);
    p = put_tiles(lit(p, ",\"ura_markers\":"), ura_markers);
    *p++ = '}';
    return p;
}

char* write_ryukyoku(char* p, const Points& deltas) {
    p = put_points(lit(p, "{\"type\":\"ryukyoku\",\"deltas\":"), deltas);
    *p++ = '}';
    return p;
}

char* write_end_game(char* p) { return lit(p, "{\"type\":\"end_game\"}"); }

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
        size += kPerNameByte * name.size();
        out_->ascii = out_->ascii && is_ascii(name);
    }
    commit(write_start_game(begin(size), names, kyoku_first, aka_flag));
}

}  // namespace tessmar::emit
