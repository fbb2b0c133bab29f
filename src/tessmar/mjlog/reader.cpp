// The game-level tags (mjloggm, GO, UN, BYE and the ignored ones), the dispatch of every tag,
// and the checks that only the whole game can answer.
#include <string>

#include "tessmar/mjlog/reader.hpp"
#include "tessmar/mjlog/score.hpp"
#include "tessmar/mjlog/text.hpp"
#include "tessmar/mjlog/tiles.hpp"
#include "tessmar/mjlog/values.hpp"

namespace tessmar::mjlog {

Status read_game(std::string_view xml, Game& game) { return detail::Reader(game).run(xml); }

namespace detail {
namespace {

constexpr std::string_view kThreePlayer = "three-player game, not supported: ";

}  // namespace

Status Reader::run(std::string_view text) {
    // A move in the quick form that may not stand here: `move` says why.
    auto quick_error = [&](const xml::Move& m) {
        return move(text.substr(m.offset + 1, m.name_size), m.offset, m.id);
    };
    xml::Scanner scanner(text);
    auto game = scanner.open();
    if (!game) return pass_on(game);
    if (const auto* ver = game->find("ver"); ver && !ver->value.empty()) {
        auto v = parse_decimal(ver->value);
        if (!v) return refuse_tag(v.error(), game->name, game->offset);
        g_.ver = *v;
    }
    // Room for all at once, from what real games hold per byte of text: an entry per fifteen
    // bytes, a kyoku (and about one win of six yaku) per one to two thousand.
    g_.entries.reserve(text.size() / 10);
    g_.kyokus.reserve(text.size() / 1000 + 1);
    g_.wins.reserve(text.size() / 1000 + 1);
    g_.yaku.reserve(text.size() / 150 + 8);
    g_.tiles.reserve(text.size() / 500 + 8);
    xml::Tag t;
    xml::Move m;
    for (;;) {
        // Whether moves may stand here changes only at other tags: asked once per run of moves.
        if (in_kyoku_ && !ended_) {
            while (scanner.quick(m)) {
                if (m.id >= kTileIds) return quick_error(m);
                add_move(m.letter, m.id);
            }
        } else if (scanner.quick(m)) {
            return quick_error(m);
        }
        auto more = scanner.next(t);
        if (!more) return pass_on(more);
        if (!*more) break;
        if (auto ok = tag(t); !ok) return ok;
    }
    return finish(scanner.close_offset());
}

Status Reader::tag(const Tag& t) {
    const std::string_view name = t.name;
    // Draws and discards not in the quick form (spaces, attributes): one of the letters, then
    // only the tile id's digits.
    if (name.size() >= 2 && ((name[0] >= 'D' && name[0] <= 'G') || (name[0] >= 'T' && name[0] <= 'W'))) {
        unsigned id = 0;
        bool digits = true;
        for (std::size_t i = 1; i < name.size(); ++i) {
            if (name[i] < '0' || name[i] > '9') { digits = false; break; }
            if (id < 1000) id = id * 10 + static_cast<unsigned>(name[i] - '0');
        }
        if (digits) return move(name, t.offset, id < 1000 ? id : 999);
    }
    switch (name[0]) {
        case 'N': if (name.size() == 1) return call(t); break;
        case 'R':
            if (name == "REACH") return blame(reach(t));
            if (name == "RYUUKYOKU") return blame(ryuukyoku(t));
            break;
        case 'D': if (name == "DORA") return blame(dora(t)); break;
        case 'A': if (name == "AGARI") return blame(agari(t)); break;
        case 'I': if (name == "INIT") return init(t); break;
        case 'U':
            if (name == "UN") {
                un(t);
                return {};
            }
            break;
        case 'B': if (name == "BYE") return bye(t); break;
        case 'G': if (name == "GO") return go(t); break;
        case 'S': if (name == "SHUFFLE") return {}; break;
        case 'T': if (name == "TAIKYOKU") return {}; break;
        case 'm': if (name == "mjloggm") return refuse_tag("nested game element", name, t.offset); break;
        default: break;
    }
    return refuse_at("unknown tag <" + printable(name, 32) + ">", t.offset);
}

Status Reader::go(const Tag& t) {
    if (go_seen_) return {};  // only the first one counts
    go_seen_ = true;
    if (const auto* type = t.find("type")) {
        auto v = parse_int(type->value);
        if (!v) return refuse(t, v.error());
        if (*v < 0) return refuse(t, "negative game type");
        g_.rule = static_cast<std::uint32_t>(*v);
    }
    if (g_.rule & 0x10) return refuse(t, std::string(kThreePlayer) + "the type says so");
    if (const auto* lobby = t.find("lobby"); lobby && !lobby->value.empty()) {
        auto v = parse_int(lobby->value);
        if (!v) return refuse(t, v.error());
        g_.lobby = *v;
    }
    return {};
}

void Reader::un(const Tag& t) {
    PlayerTag tag;
    tag.offset = t.offset;
    unsigned names = 0, seat = 0;
    for (unsigned i = 0; i < 4; ++i) {
        const char key[3] = {'n', static_cast<char>('0' + i), 0};
        if (const auto* n = t.find(key)) {
            tag.name_present[i] = true;
            tag.names[i] = n->value;
            ++names;
            seat = i;
        }
    }
    const auto* dan = t.find("dan");
    tag.has_dan = dan != nullptr;
    if (dan) tag.dan = dan->value;
    if (const auto* rate = t.find("rate")) tag.rate = rate->value;
    if (const auto* sx = t.find("sx")) tag.sx = sx->value;
    // One name and no dan: a seat coming back. Dropped again at the end if this is the player tag.
    if (names == 1 && !tag.has_dan) {
        reconnect_offsets_.push_back(t.offset);
        g_.connections.push_back({1, static_cast<std::int32_t>(g_.kyokus.size()) - 1, static_cast<std::uint8_t>(seat),
                                  in_kyoku_ ? step_ : 0});
    }
    if (first_un_.offset == kNoOffset) first_un_ = tag;
    if (tag.has_dan && !player_.has_dan) player_ = std::move(tag);
}

Status Reader::bye(const Tag& t) {
    auto who = seat(t, "who");
    if (!who) return pass_on(who);
    g_.connections.push_back({0, static_cast<std::int32_t>(g_.kyokus.size()) - 1, *who, in_kyoku_ ? step_ : 0});
    return {};
}

Status Reader::finish(std::size_t close_offset) {
    if (in_kyoku_ && !ended_)
        return blame(refuse_at("kyoku without an ending before </mjloggm>", close_offset));
    if (in_kyoku_) close_kyoku();
    if (!go_seen_) return refuse_text("no GO tag");
    if (first_un_.offset == kNoOffset) return refuse_text("no UN tag with player names");
    if (g_.kyokus.empty()) return refuse_text("no INIT tag");
    if (!last_ending_owari_)
        return refuse_tag("the game is cut short: no owari on its last ending", last_ending_name_, last_ending_offset_);
    return players();
}

Status Reader::players() {
    if (!player_.has_dan) player_ = std::move(first_un_);
    const PlayerTag& p = player_;
    auto fail = [&](std::string_view what) { return refuse_tag(what, "UN", p.offset); };
    // The first <UN> without a dan may have looked like a reconnection.
    for (std::size_t i = 0; i < reconnect_offsets_.size(); ++i) {
        if (reconnect_offsets_[i] != p.offset) continue;
        std::size_t seen = 0;
        for (auto it = g_.connections.begin(); it != g_.connections.end(); ++it) {
            if (it->what != 1) continue;
            if (seen++ == i) {
                g_.connections.erase(it);
                break;
            }
        }
        break;
    }
    if (!p.name_present[3] || p.names[3].empty()) return fail(std::string(kThreePlayer) + "no fourth player");
    for (unsigned i = 0; i < 4; ++i) g_.names[i] = decode_name(p.names[i]);
    if (auto ok = parse_ints(p.dan, values_); !ok) return fail(ok.error());
    for (std::int64_t d : values_) {
        if (d < 0 || d >= kDanIds) return fail("dan index out of range: " + std::to_string(d));
        g_.dan.push_back(static_cast<std::uint8_t>(d));
    }
    std::string error;
    for_each_item(p.rate, [&](std::string_view item) {
        if (!error.empty()) return;
        if (auto v = parse_decimal(item)) g_.rate.push_back(*v);
        else error = std::move(v.error());
    });
    if (!error.empty()) return fail(error);
    for_each_item(p.sx, [&](std::string_view item) { g_.sx.emplace_back(item); });
    return {};
}

Status Reader::owari(const Tag& t, std::string_view value) {
    std::size_t n = 0;
    std::string error;
    for_each_item(value, [&](std::string_view item) {
        if (!error.empty()) return;
        if (n >= 8) {
            error = "owari without eight values";
            return;
        }
        if (n % 2 == 0) {
            if (auto v = parse_int(item)) g_.final_scores[n / 2] = *v * 100;
            else error = "owari score: " + v.error();
        } else {
            if (auto v = parse_decimal(item)) g_.final_results[n / 2] = *v;
            else error = "owari result: " + v.error();
        }
        ++n;
    });
    if (error.empty() && n != 8) error = "owari without eight values";
    if (!error.empty()) return refuse(t, error);
    return {};
}

// ---------------------------------------------------------------------------------------------
// Attribute helpers

std::expected<std::string_view, MjlogError> Reader::required(const Tag& t, std::string_view name) const {
    if (const auto* a = t.find(name)) return a->value;
    return refuse(t, "missing attribute " + std::string(name));
}

std::expected<std::int64_t, MjlogError> Reader::integer(const Tag& t, std::string_view name) const {
    auto text = required(t, name);
    if (!text) return pass_on(text);
    std::int64_t value;
    if (read_int(*text, value)) return value;
    return refuse(t, std::string(name) + ": " + parse_int(*text).error());
}

std::expected<std::uint8_t, MjlogError> Reader::seat(const Tag& t, std::string_view name) const {
    auto v = integer(t, name);
    if (!v) return pass_on(v);
    if (*v < 0 || *v > 3)
        return refuse(t, std::string(name) + ": seat out of range: " + std::to_string(*v));
    return static_cast<std::uint8_t>(*v);
}

Status Reader::ints(const Tag& t, std::string_view name, std::vector<std::int64_t>& out) const {
    auto text = required(t, name);
    if (!text) return pass_on(text);
    if (auto ok = parse_ints(*text, out); !ok)
        return refuse(t, std::string(name) + ": " + ok.error());
    return {};
}

Status Reader::tile_ids(const Tag& t, std::string_view name, std::vector<std::int64_t>& out) const {
    if (auto ok = ints(t, name, out); !ok) return ok;
    for (std::int64_t id : out)
        if (id < 0 || id >= kTileIds)
            return refuse(t, "tile id out of range: " + std::to_string(id));
    return {};
}

}  // namespace detail
}  // namespace tessmar::mjlog
