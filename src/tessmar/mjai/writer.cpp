#include "tessmar/mjai/writer.hpp"

#include <cstring>

namespace tessmar::mjai {
namespace {

// Texts are written through a raw pointer into room reserved up front for the longest
// text an event can have (`max_json_size`), so no write checks the capacity.

constexpr char kDigitPairs[] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
    "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";

// Each tile as its JSON string, padded to 8 bytes so that one fixed-size copy writes it.
struct QuotedTile {
    char text[8];
    std::uint8_t size;
};

constexpr std::array<QuotedTile, kTileCount> make_quoted_tiles() {
    std::array<QuotedTile, kTileCount> table{};
    for (std::uint8_t i = 0; i < kTileCount; ++i) {
        constexpr std::string_view names[kTileCount] = {
            "1m", "2m", "3m", "4m", "5m", "6m", "7m", "8m", "9m", "1p", "2p", "3p", "4p",
            "5p", "6p", "7p", "8p", "9p", "1s", "2s", "3s", "4s", "5s", "6s", "7s", "8s",
            "9s", "E",  "S",  "W",  "N",  "P",  "F",  "C",  "5mr", "5pr", "5sr", "?"};
        std::string_view name = names[i];
        table[i].text[0] = '"';
        for (std::size_t k = 0; k < name.size(); ++k) table[i].text[k + 1] = name[k];
        table[i].text[name.size() + 1] = '"';
        table[i].size = static_cast<std::uint8_t>(name.size() + 2);
    }
    return table;
}
constexpr auto kQuotedTiles = make_quoted_tiles();

// Longest texts: a tile 5 bytes + comma, an int32 11 bytes + comma; 16 bytes of slack
// cover the fixed-size copies that run past the end of what they write.
constexpr std::size_t kSlack = 16;
constexpr std::size_t kFixedMax = 512;  // start_kyoku, the longest fixed-size event, needs about 460

template <std::size_t N>
char* lit(char* p, const char (&text)[N]) {
    std::memcpy(p, text, N - 1);
    return p + N - 1;
}

unsigned digit_count(std::uint32_t v) {
    unsigned n = 1;
    for (; v >= 100; v /= 100) n += 2;
    return n + (v >= 10);
}

// Digits go straight to their place, two at a time from the right.
char* put_uint(char* p, std::uint32_t v) {
    char* end = p + digit_count(v);
    char* q = end;
    while (v >= 100) {
        q -= 2;
        std::memcpy(q, kDigitPairs + (v % 100) * 2, 2);
        v /= 100;
    }
    if (v >= 10)
        std::memcpy(q - 2, kDigitPairs + v * 2, 2);
    else
        q[-1] = static_cast<char>('0' + v);
    return end;
}

char* put_int(char* p, std::int32_t v) {
    if (v < 0) {
        *p++ = '-';
        return put_uint(p, 0u - static_cast<std::uint32_t>(v));
    }
    return put_uint(p, static_cast<std::uint32_t>(v));
}

char* put_tile(char* p, Tile t) {
    const QuotedTile& q = kQuotedTiles[t.index];
    std::memcpy(p, q.text, 8);
    return p + q.size;
}

template <class Tiles>
char* put_tiles(char* p, const Tiles& tiles) {
    *p++ = '[';
    bool first = true;
    for (Tile t : tiles) {
        if (!first) *p++ = ',';
        first = false;
        p = put_tile(p, t);
    }
    *p++ = ']';
    return p;
}

char* put_ints(char* p, const std::array<std::int32_t, 4>& values) {
    *p++ = '[';
    for (std::size_t i = 0; i < 4; ++i) {
        if (i) *p++ = ',';
        p = put_int(p, values[i]);
    }
    *p++ = ']';
    return p;
}

char* put_flag(char* p, bool flag) { return flag ? lit(p, "true") : lit(p, "false"); }

// Escapes into `p`, copying runs that need no escape in one piece.
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

struct Writer {
    char* p;

    char* operator()(const None&) { return lit(p, "{\"type\":\"none\""); }
    char* operator()(const StartGame& e) {
        p = lit(p, "{\"type\":\"start_game\",\"names\":[");
        for (std::size_t i = 0; i < 4; ++i) {
            if (i) *p++ = ',';
            p = put_string(p, e.names[i]);
        }
        p = lit(p, "],\"kyoku_first\":");
        p = put_uint(p, e.kyoku_first);
        p = lit(p, ",\"aka_flag\":");
        return put_flag(p, e.aka_flag);
    }
    char* operator()(const StartKyoku& e) {
        p = lit(p, "{\"type\":\"start_kyoku\",\"bakaze\":");
        p = put_tile(p, e.bakaze);
        p = lit(p, ",\"dora_marker\":");
        p = put_tile(p, e.dora_marker);
        p = lit(p, ",\"kyoku\":");
        p = put_uint(p, e.kyoku);
        p = lit(p, ",\"honba\":");
        p = put_uint(p, e.honba);
        p = lit(p, ",\"kyotaku\":");
        p = put_uint(p, e.kyotaku);
        p = lit(p, ",\"oya\":");
        p = put_uint(p, e.oya);
        p = lit(p, ",\"scores\":");
        p = put_ints(p, e.scores);
        p = lit(p, ",\"tehais\":[");
        for (std::size_t i = 0; i < 4; ++i) {
            if (i) *p++ = ',';
            p = put_tiles(p, e.tehais[i]);
        }
        *p++ = ']';
        return p;
    }
    char* operator()(const Tsumo& e) {
        p = actor(lit(p, "{\"type\":\"tsumo\""), e.actor);
        return pai(p, e.pai);
    }
    char* operator()(const Dahai& e) {
        p = actor(lit(p, "{\"type\":\"dahai\""), e.actor);
        p = pai(p, e.pai);
        return put_flag(lit(p, ",\"tsumogiri\":"), e.tsumogiri);
    }
    char* operator()(const Chi& e) { return meld(lit(p, "{\"type\":\"chi\""), e); }
    char* operator()(const Pon& e) { return meld(lit(p, "{\"type\":\"pon\""), e); }
    char* operator()(const Daiminkan& e) { return meld(lit(p, "{\"type\":\"daiminkan\""), e); }
    char* operator()(const Kakan& e) {
        p = actor(lit(p, "{\"type\":\"kakan\""), e.actor);
        p = pai(p, e.pai);
        return put_tiles(lit(p, ",\"consumed\":"), e.consumed);
    }
    char* operator()(const Ankan& e) {
        p = actor(lit(p, "{\"type\":\"ankan\""), e.actor);
        return put_tiles(lit(p, ",\"consumed\":"), e.consumed);
    }
    char* operator()(const Dora& e) { return put_tile(lit(p, "{\"type\":\"dora\",\"dora_marker\":"), e.dora_marker); }
    char* operator()(const Reach& e) { return actor(lit(p, "{\"type\":\"reach\""), e.actor); }
    char* operator()(const ReachAccepted& e) { return actor(lit(p, "{\"type\":\"reach_accepted\""), e.actor); }
    char* operator()(const Hora& e) {
        p = actor(lit(p, "{\"type\":\"hora\""), e.actor);
        p = put_uint(lit(p, ",\"target\":"), e.target);
        if (e.deltas) p = put_ints(lit(p, ",\"deltas\":"), *e.deltas);
        if (e.ura_markers) p = put_tiles(lit(p, ",\"ura_markers\":"), *e.ura_markers);
        return p;
    }
    char* operator()(const Ryukyoku& e) {
        p = lit(p, "{\"type\":\"ryukyoku\"");
        if (e.deltas) p = put_ints(lit(p, ",\"deltas\":"), *e.deltas);
        return p;
    }
    char* operator()(const EndKyoku&) { return lit(p, "{\"type\":\"end_kyoku\""); }
    char* operator()(const EndGame&) { return lit(p, "{\"type\":\"end_game\""); }

    static char* actor(char* p, Seat seat) { return put_uint(lit(p, ",\"actor\":"), seat); }
    static char* pai(char* p, Tile t) { return put_tile(lit(p, ",\"pai\":"), t); }
    template <class Meld>
    static char* meld(char* p, const Meld& e) {
        p = actor(p, e.actor);
        p = put_uint(lit(p, ",\"target\":"), e.target);
        p = pai(p, e.pai);
        return put_tiles(lit(p, ",\"consumed\":"), e.consumed);
    }
};

// An upper bound of the event's text length, slack included.
std::size_t max_json_size(const Event& event) {
    std::size_t size = kFixedMax + kSlack;
    if (auto* e = std::get_if<StartGame>(&event)) {
        for (const std::string& name : e->names) size += 6 * name.size();  // \u00XX at worst
    } else if (auto* e = std::get_if<Hora>(&event)) {
        if (e->ura_markers) size += 6 * e->ura_markers->size();
    }
    return size;
}

}  // namespace

void append_json_string(std::string& out, std::string_view text) {
    std::size_t old = out.size();
    out.resize_and_overwrite(old + 6 * text.size() + 2 + kSlack, [&](char* buf, std::size_t) {
        return static_cast<std::size_t>(put_string(buf + old, text) - buf);
    });
}

void append_event_json(std::string& out, const Event& event) {
    std::size_t old = out.size();
    out.resize_and_overwrite(old + max_json_size(event), [&](char* buf, std::size_t) {
        char* end = std::visit(Writer{buf + old}, event);
        *end++ = '}';
        return static_cast<std::size_t>(end - buf);
    });
}

std::expected<std::string, SerializeError> serialize_event(const Event& event) {
    std::string out;
    out.reserve(128);
    append_event_json(out, event);
    return out;
}

}  // namespace tessmar::mjai
