#include "tessmar/mjai/writer.hpp"

#include <cstring>
#include <type_traits>

namespace tessmar::mjai {
namespace {

constexpr char kDigitPairs[] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
    "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";

// Writes an unsigned number straight into the buffer, two digits at a time.
void append_uint(std::string& out, std::uint32_t v) {
    char buf[10];
    char* end = buf + sizeof buf;
    char* p = end;
    while (v >= 100) {
        unsigned pair = (v % 100) * 2;
        v /= 100;
        p -= 2;
        std::memcpy(p, kDigitPairs + pair, 2);
    }
    if (v >= 10) {
        p -= 2;
        std::memcpy(p, kDigitPairs + v * 2, 2);
    } else {
        *--p = static_cast<char>('0' + v);
    }
    out.append(p, static_cast<std::size_t>(end - p));
}

void append_int(std::string& out, std::int32_t v) {
    if (v < 0) {
        out.push_back('-');
        append_uint(out, 0u - static_cast<std::uint32_t>(v));
    } else {
        append_uint(out, static_cast<std::uint32_t>(v));
    }
}

void append_tile(std::string& out, Tile t) {
    out.push_back('"');
    out.append(tile_name(t));
    out.push_back('"');
}

template <std::size_t N>
void append_tiles(std::string& out, const std::array<Tile, N>& tiles) {
    out.push_back('[');
    for (std::size_t i = 0; i < N; ++i) {
        if (i) out.push_back(',');
        append_tile(out, tiles[i]);
    }
    out.push_back(']');
}

void append_tiles(std::string& out, const std::vector<Tile>& tiles) {
    out.push_back('[');
    for (std::size_t i = 0; i < tiles.size(); ++i) {
        if (i) out.push_back(',');
        append_tile(out, tiles[i]);
    }
    out.push_back(']');
}

void append_ints(std::string& out, const std::array<std::int32_t, 4>& values) {
    out.push_back('[');
    for (std::size_t i = 0; i < 4; ++i) {
        if (i) out.push_back(',');
        append_int(out, values[i]);
    }
    out.push_back(']');
}

// Each member after the type: ",\"key\":" then the value.
void key(std::string& out, std::string_view name) {
    out.append(",\"");
    out.append(name);
    out.append("\":");
}

void append_flag(std::string& out, bool flag) { out.append(flag ? "true" : "false"); }

struct Writer {
    std::string& out;

    void operator()(const None&) { head("none"); }
    void operator()(const StartGame& e) {
        head("start_game");
        key(out, "names");
        out.push_back('[');
        for (std::size_t i = 0; i < 4; ++i) {
            if (i) out.push_back(',');
            append_json_string(out, e.names[i]);
        }
        out.push_back(']');
        key(out, "kyoku_first");
        append_uint(out, e.kyoku_first);
        key(out, "aka_flag");
        append_flag(out, e.aka_flag);
    }
    void operator()(const StartKyoku& e) {
        head("start_kyoku");
        key(out, "bakaze");
        append_tile(out, e.bakaze);
        key(out, "dora_marker");
        append_tile(out, e.dora_marker);
        key(out, "kyoku");
        append_uint(out, e.kyoku);
        key(out, "honba");
        append_uint(out, e.honba);
        key(out, "kyotaku");
        append_uint(out, e.kyotaku);
        key(out, "oya");
        append_uint(out, e.oya);
        key(out, "scores");
        append_ints(out, e.scores);
        key(out, "tehais");
        out.push_back('[');
        for (std::size_t i = 0; i < 4; ++i) {
            if (i) out.push_back(',');
            append_tiles(out, e.tehais[i]);
        }
        out.push_back(']');
    }
    void operator()(const Tsumo& e) {
        head("tsumo");
        actor(e.actor);
        pai(e.pai);
    }
    void operator()(const Dahai& e) {
        head("dahai");
        actor(e.actor);
        pai(e.pai);
        key(out, "tsumogiri");
        append_flag(out, e.tsumogiri);
    }
    void operator()(const Chi& e) { meld("chi", e); }
    void operator()(const Pon& e) { meld("pon", e); }
    void operator()(const Daiminkan& e) { meld("daiminkan", e); }
    void operator()(const Kakan& e) {
        head("kakan");
        actor(e.actor);
        pai(e.pai);
        consumed(e.consumed);
    }
    void operator()(const Ankan& e) {
        head("ankan");
        actor(e.actor);
        consumed(e.consumed);
    }
    void operator()(const Dora& e) {
        head("dora");
        key(out, "dora_marker");
        append_tile(out, e.dora_marker);
    }
    void operator()(const Reach& e) {
        head("reach");
        actor(e.actor);
    }
    void operator()(const ReachAccepted& e) {
        head("reach_accepted");
        actor(e.actor);
    }
    void operator()(const Hora& e) {
        head("hora");
        actor(e.actor);
        key(out, "target");
        append_uint(out, e.target);
        if (e.deltas) {
            key(out, "deltas");
            append_ints(out, *e.deltas);
        }
        if (e.ura_markers) {
            key(out, "ura_markers");
            append_tiles(out, *e.ura_markers);
        }
    }
    void operator()(const Ryukyoku& e) {
        head("ryukyoku");
        if (e.deltas) {
            key(out, "deltas");
            append_ints(out, *e.deltas);
        }
    }
    void operator()(const EndKyoku&) { head("end_kyoku"); }
    void operator()(const EndGame&) { head("end_game"); }

    void head(std::string_view type) {
        out.append("{\"type\":\"");
        out.append(type);
        out.push_back('"');
    }
    void actor(Seat seat) {
        key(out, "actor");
        append_uint(out, seat);
    }
    void pai(Tile t) {
        key(out, "pai");
        append_tile(out, t);
    }
    template <std::size_t N>
    void consumed(const std::array<Tile, N>& tiles) {
        key(out, "consumed");
        append_tiles(out, tiles);
    }
    template <class Meld>
    void meld(std::string_view type, const Meld& e) {
        head(type);
        actor(e.actor);
        key(out, "target");
        append_uint(out, e.target);
        pai(e.pai);
        consumed(e.consumed);
    }
};

}  // namespace

void append_json_string(std::string& out, std::string_view text) {
    static constexpr char kHex[] = "0123456789abcdef";
    out.push_back('"');
    std::size_t run = 0;  // start of the pending run of bytes copied as they are
    for (std::size_t i = 0; i < text.size(); ++i) {
        auto c = static_cast<unsigned char>(text[i]);
        if (c >= 0x20 && c != '"' && c != '\\') continue;
        out.append(text.data() + run, i - run);
        run = i + 1;
        out.push_back('\\');
        switch (c) {
            case '"': out.push_back('"'); break;
            case '\\': out.push_back('\\'); break;
            case '\b': out.push_back('b'); break;
            case '\t': out.push_back('t'); break;
            case '\n': out.push_back('n'); break;
            case '\f': out.push_back('f'); break;
            case '\r': out.push_back('r'); break;
            default:
                out.append("u00");
                out.push_back(kHex[c >> 4]);
                out.push_back(kHex[c & 15]);
        }
    }
    out.append(text.data() + run, text.size() - run);
    out.push_back('"');
}

void append_event_json(std::string& out, const Event& event) {
    std::visit(Writer{out}, event);
    out.push_back('}');
}

std::expected<std::string, SerializeError> serialize_event(const Event& event) {
    std::string out;
    out.reserve(128);
    append_event_json(out, event);
    return out;
}

}  // namespace tessmar::mjai
