#include "tessmar/mjlog/write.hpp"

#include <algorithm>
#include <cstdlib>
#include <memory>

#include "tessmar/encoding/json_text.hpp"
#include "tessmar/mjlog/meld.hpp"
#include "tessmar/mjlog/score.hpp"
#include "tessmar/mjlog/text.hpp"
#include "tessmar/mjlog/tiles.hpp"

namespace tessmar::mjlog {
namespace {

// Room for each part of the text, at most: the whole text is written into room made once.
constexpr std::size_t kPerTile = 3;                          // `47,`
constexpr std::size_t kPerEntry = kMaxCallString + 3;        // `"272727m27",`
constexpr std::size_t kPerPoints = 4 * (kIntRoom + 1) + 2;    // `[-25000,...]`
constexpr std::size_t kPerKyoku = 3 * (kIntRoom + 1) + 2 * kPerPoints + 4 * (13 * kPerTile + 2) + 8 * 3 + 128;
constexpr std::size_t kPerWin = kPerPoints + 3 * 4 + kMaxScoreText + 16;
constexpr std::size_t kPerYaku = 64;  // the longest name, 21 bytes, with `,"(...飜)"` and the han
constexpr std::size_t kPerConnection = 4 * (kIntRoom + 12);
constexpr std::size_t kFixed = 1024;  // keys, rule, and the final scores

char* put_tiles(char* p, const Game& g, Slice r) {
    *p++ = '[';
    for (std::uint32_t i = r.begin; i < r.end; ++i) {
        if (i != r.begin) *p++ = ',';
        p = put_id_code(p, g.tiles[i], g.red());
    }
    *p++ = ']';
    return p;
}

char* put_hand(char* p, const std::array<std::uint8_t, 13>& hand, bool red) {
    const std::array<std::uint8_t, 13> sorted = hand_order(hand, red);
    *p++ = '[';
    for (std::size_t i = 0; i < 13; ++i) {
        if (i) *p++ = ',';
        p = put_id_code(p, sorted[i], red);
    }
    *p++ = ']';
    return p;
}

char* put_entry(char* p, Cell e, bool red) {
    switch (e.kind() & 0x0F) {
        case Cell::Tile: {
            const unsigned id = (e.kind() & Cell::kTsumogiri) ? kTileIds : e.value();
            if (!(e.kind() & Cell::kRiichi)) return put_id_code(p, id, red);
            p = put_text(p, "\"r");
            p = put_id_code(p, id, red);
            *p++ = '"';
            return p;
        }
        case Cell::Call:
            // Read already decoded it without error.
            *p++ = '"';
            p = write_call(p, *decode_meld(e.value()), red);
            *p++ = '"';
            return p;
        default: *p++ = '0'; return p;
    }
}

// Room that is written before it is read, so never filled first.
class Scratch {
public:
    char* room(std::size_t n) {
        if (n > size_) {
            data_ = std::make_unique_for_overwrite<char[]>(n);
            size_ = n;
        }
        return data_.get();
    }

private:
    std::unique_ptr<char[]> data_;
    std::size_t size_ = 0;
};

// The eight columns of a kyoku, written in one pass over its entries into `scratch` (each
// column in a slot of room for all entries), then copied out in order.
char* put_columns(char* p, const Game& g, const Kyoku& k, Scratch& scratch) {
    const std::size_t slot = k.entries.size() * kPerEntry + 1;
    char* room = scratch.room(8 * slot);
    std::array<char*, 8> begin, end;
    for (std::size_t c = 0; c < 8; ++c) begin[c] = end[c] = room + c * slot;
    const bool red = g.red();
    for (std::uint32_t i = k.entries.begin; i < k.entries.end; ++i) {
        const Cell e = g.entries[i];
        char*& q = end[e.column()];
        *q++ = ',';
        q = put_entry(q, e, red);
    }
    for (std::size_t c = 0; c < 8; ++c) {
        if (c % 2 == 1)  // a discard column loses its trailing zeros
            while (end[c] - begin[c] >= 2 && end[c][-1] == '0' && end[c][-2] == ',') end[c] -= 2;
        if (c % 2 == 0) {
            *p++ = ',';
            p = put_hand(p, k.hands[c / 2], red);
        }
        p = put_text(p, ",[");
        if (end[c] != begin[c]) p = put_text(p, std::string_view(begin[c] + 1, static_cast<std::size_t>(end[c] - begin[c] - 1)));
        *p++ = ']';
    }
    return p;
}

char* put_win(char* p, const Game& g, const Agari& w) {
    *p++ = ',';
    p = put_points(p, w.deltas);
    p = put_text(p, ",[");
    p = put_int(p, w.who);
    *p++ = ',';
    p = put_int(p, w.from);
    *p++ = ',';
    p = put_int(p, w.pao);
    p = put_text(p, ",\"");
    p = write_score_text(p, w);
    *p++ = '"';
    for (std::uint32_t i = w.yaku.begin; i < w.yaku.end; ++i) {
        const Yaku& y = g.yaku[i];
        p = put_text(p, ",\"");
        p = put_text(p, yaku_name(y.id));
        if (y.han < 0) {
            p = put_text(p, "(役満)\"");
        } else {
            *p++ = '(';
            p = put_int(p, y.han);
            p = put_text(p, "飜)\"");
        }
    }
    *p++ = ']';
    return p;
}

char* put_kyoku(char* p, const Game& g, const Kyoku& k, Scratch& scratch) {
    p = put_text(p, "[[");
    for (std::size_t i = 0; i < 3; ++i) {
        if (i) *p++ = ',';
        p = put_int(p, k.header[i]);
    }
    p = put_text(p, "],");
    p = put_points(p, k.scores);
    *p++ = ',';
    p = put_tiles(p, g, k.dora);
    *p++ = ',';
    p = put_tiles(p, g, k.ura);
    p = put_columns(p, g, k, scratch);
    if (k.wins.size()) {
        p = put_text(p, ",[\"和了\"");
        for (std::uint32_t i = k.wins.begin; i < k.wins.end; ++i) p = put_win(p, g, g.wins[i]);
    } else {
        p = put_text(p, ",[\"");
        p = put_text(p, draw_name(k.draw, k.tenpai));
        *p++ = '"';
        if (std::ranges::any_of(k.draw_deltas, [](std::int64_t d) { return d != 0; })) {
            *p++ = ',';
            p = put_points(p, k.draw_deltas);
        }
    }
    return put_text(p, "]]");
}

std::string_view room_name(std::uint32_t rule) {
    switch (rule & 0xA0) {
        case 0x80: return "上";
        case 0x20: return "特";
        case 0xA0: return "鳳";
        default: return "般";
    }
}

std::size_t room_needed(const Game& g, std::string_view ref) {
    std::size_t n = kFixed + json_string_room(ref.size()) + g.tiles.size() * kPerTile + g.entries.size() * kPerEntry +
                    g.kyokus.size() * kPerKyoku + g.wins.size() * kPerWin + g.yaku.size() * kPerYaku +
                    g.connections.size() * kPerConnection + g.dan.size() * 16 + g.rate.size() * (kMaxDecimal + 1);
    // Each string and its comma.
    for (const auto& name : g.names) n += json_string_room(name.size()) + 1;
    for (const auto& sx : g.sx) n += json_string_room(sx.size()) + 1;
    return n;
}

}  // namespace

namespace {

char* write_all(char* p, const Game& g, std::string_view ref) {
    Scratch scratch;
    p = put_text(p, "{\"ver\":");
    p = write_decimal(p, g.ver);
    p = put_text(p, ",\"ref\":");
    p = put_json_string(p, ref);
    p = put_text(p, ",\"log\":[");
    for (std::size_t i = 0; i < g.kyokus.size(); ++i) {
        if (i) *p++ = ',';
        p = put_kyoku(p, g, g.kyokus[i], scratch);
    }
    *p++ = ']';
    if (!g.connections.empty()) {
        p = put_text(p, ",\"connection\":[");
        for (std::size_t i = 0; i < g.connections.size(); ++i) {
            const Connection& c = g.connections[i];
            if (i) *p++ = ',';
            p = put_text(p, "{\"what\":");
            p = put_int(p, c.what);
            p = put_text(p, ",\"log\":");
            p = put_int(p, c.log);
            p = put_text(p, ",\"who\":");
            p = put_int(p, c.who);
            p = put_text(p, ",\"step\":");
            p = put_int(p, c.step);
            *p++ = '}';
        }
        *p++ = ']';
    }
    p = put_text(p, ",\"ratingc\":\"PF4\",\"rule\":{\"disp\":\"");
    p = put_text(p, room_name(g.rule));
    p = put_text(p, (g.rule & 0x08) ? "南" : "東");
    if (!(g.rule & 0x04)) p = put_text(p, "喰");
    if (g.red()) p = put_text(p, "赤");
    if (g.rule & 0x40) p = put_text(p, "速");
    p = put_text(p, g.red() ? "\",\"aka53\":1,\"aka52\":1,\"aka51\":1}" : "\",\"aka53\":0,\"aka52\":0,\"aka51\":0}");
    p = put_text(p, ",\"lobby\":");
    p = put_int(p, g.lobby);
    p = put_text(p, ",\"dan\":[");
    for (std::size_t i = 0; i < g.dan.size(); ++i) {
        if (i) *p++ = ',';
        *p++ = '"';
        p = put_text(p, dan_name(g.dan[i]));
        *p++ = '"';
    }
    p = put_text(p, "],\"rate\":[");
    for (std::size_t i = 0; i < g.rate.size(); ++i) {
        if (i) *p++ = ',';
        p = write_decimal(p, g.rate[i]);
    }
    p = put_text(p, "],\"sx\":[");
    for (std::size_t i = 0; i < g.sx.size(); ++i) {
        if (i) *p++ = ',';
        p = put_json_string(p, g.sx[i]);
    }
    p = put_text(p, "],\"sc\":[");
    for (std::size_t i = 0; i < 4; ++i) {
        if (i) *p++ = ',';
        p = put_int(p, g.final_scores[i]);
        *p++ = ',';
        p = write_decimal(p, g.final_results[i]);
    }
    p = put_text(p, "],\"name\":[");
    for (std::size_t i = 0; i < 4; ++i) {
        if (i) *p++ = ',';
        p = put_json_string(p, g.names[i]);
    }
    return put_text(p, "]}");
}

}  // namespace

void write_tenhou(const Game& g, std::string_view ref, std::string& out) {
    const std::size_t start = out.size();
    out.resize_and_overwrite(start + room_needed(g, ref), [&](char* data, std::size_t room) {
        char* p = write_all(data + start, g, ref);
        // The room is an upper bound; a write past it would be a fault of these bounds.
        if (p > data + room) std::abort();
        return static_cast<std::size_t>(p - data);
    });
}

}  // namespace tessmar::mjlog
