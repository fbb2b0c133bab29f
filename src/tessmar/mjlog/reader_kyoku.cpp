// The tags of a kyoku: INIT, draws and discards, calls, riichi, kan dora, and its ending.
#include <array>
#include <cstring>
#include <string>
#include <string_view>

#include "tessmar/mjlog/meld.hpp"
#include "tessmar/mjlog/reader.hpp"
#include "tessmar/mjlog/score.hpp"
#include "tessmar/mjlog/tiles.hpp"
#include "tessmar/mjlog/values.hpp"

namespace tessmar::mjlog::detail {
namespace {

std::string tile_out_of_range(std::int64_t id) { return "tile id out of range: " + std::to_string(id); }

// A starting hand as the writer puts it, thirteen tile ids of one to three digits each
// followed by a comma but the last, straight into `hand`. False for anything else, where the
// general path finds the error (or reads what it accepts beyond this form). The text is copied
// with a comma after it and padding, so each item is read without a branch on its digits.
bool read_hand(std::string_view text, std::array<std::uint8_t, 13>& hand) {
    std::array<char, 64> buf;
    if (text.size() > 13 * 4 - 1) return false;
    std::memcpy(buf.data(), text.data(), text.size());
    std::memset(buf.data() + text.size(), ',', 4);
    const char* p = buf.data();
    unsigned bad = 0;
    for (std::size_t i = 0; i < 13; ++i) {
        const unsigned d0 = static_cast<unsigned char>(p[0]) - unsigned{'0'}, d1 = static_cast<unsigned char>(p[1]) - unsigned{'0'},
                       d2 = static_cast<unsigned char>(p[2]) - unsigned{'0'};
        const unsigned two = d1 <= 9, three = two & (d2 <= 9);
        const unsigned digits = 1 + two + three;
        const unsigned id = three ? d0 * 100 + d1 * 10 + d2 : two ? d0 * 10 + d1 : d0;
        bad |= static_cast<unsigned>(d0 > 9) | static_cast<unsigned>(p[digits] != ',') | static_cast<unsigned>(id >= kTileIds);
        hand[i] = static_cast<std::uint8_t>(id);
        p += digits + 1;
        if (bad) return false;
    }
    return p == buf.data() + text.size() + 1;
}

}  // namespace

Status Reader::blame(Status status, int seat) const {
    if (!status && in_kyoku_ && status.error().fault.kyoku < 0) status.error().fault = kyoku_fault(g_, g_.kyokus.size() - 1, seat);
    return status;
}

Status Reader::init(const Tag& t) {
    // The kyoku before has not ended: its fault.
    if (in_kyoku_ && !ended_)
        return blame(refuse(t, "kyoku without an ending before the next"));
    if (in_kyoku_) close_kyoku();
    Fault fault{static_cast<int>(g_.kyokus.size())};
    Status ok = read_init(t, fault);
    if (!ok) ok.error().fault = fault;
    return ok;
}

Status Reader::read_init(const Tag& t, Fault& fault) {
    Kyoku k{};
    if (auto ok = ints(t, "seed", values_); !ok) return ok;
    if (values_.size() != 6) return refuse(t, "seed without six values");
    for (std::size_t i = 0; i < 3; ++i) {
        if (values_[i] < 0) return refuse(t, "negative round, honba or sticks in seed");
        k.header[i] = values_[i];
    }
    fault.round = k.header[0];
    fault.honba = k.header[1];
    if (values_[5] < 0 || values_[5] >= kTileIds) return refuse(t, tile_out_of_range(values_[5]));
    k.dora.begin = static_cast<std::uint32_t>(g_.tiles.size());
    g_.tiles.push_back(static_cast<std::uint8_t>(values_[5]));
    k.dora.end = static_cast<std::uint32_t>(g_.tiles.size());
    k.ura = {k.dora.end, k.dora.end};

    if (auto ok = ints(t, "ten", values_); !ok) return ok;
    if (values_.size() != 4) return refuse(t, "ten without four scores");
    for (std::size_t i = 0; i < 4; ++i) k.scores[i] = values_[i] * 100;
    auto oya = seat(t, "oya");
    if (!oya) return pass_on(oya);
    oya_ = *oya;

    for (unsigned s = 0; s < 4; ++s) {
        const char key[5] = {'h', 'a', 'i', static_cast<char>('0' + s), 0};
        const auto* hai = t.find(key);
        if (!hai) return refuse(t, "three-player game, not supported: no starting hand " + std::string(key));
        if (read_hand(hai->value, k.hands[s])) continue;
        if (auto ok = parse_ints(hai->value, values_); !ok)
            return refuse(t, std::string(key) + ": " + ok.error());
        if (values_.size() != 13)
            return refuse(t, "three-player game, not supported: " + std::string(key) + " does not hold 13 tiles");
        for (std::size_t i = 0; i < 13; ++i) {
            if (values_[i] < 0 || values_[i] >= kTileIds) return refuse(t, tile_out_of_range(values_[i]));
            k.hands[s][i] = static_cast<std::uint8_t>(values_[i]);
        }
    }
    const auto entries = static_cast<std::uint32_t>(g_.entries.size());
    const auto wins = static_cast<std::uint32_t>(g_.wins.size());
    k.entries = {entries, entries};
    k.wins = {wins, wins};
    g_.kyokus.push_back(k);
    in_kyoku_ = true;
    ended_ = ended_by_win_ = false;
    step_ = 0;
    last_drawn_.fill(-1);
    riichi_.fill(false);
    counts_.fill(0);
    sizes_.fill(0);
    return {};
}

void Reader::close_kyoku() {
    g_.kyokus.back().entries.end = static_cast<std::uint32_t>(g_.entries.size());
    g_.kyokus.back().column_sizes = sizes_;
}

Status Reader::in_play(std::string_view name, std::size_t offset) const {
    if (!in_kyoku_) return refuse_tag("kyoku event before the first INIT", name, offset);
    if (ended_) return refuse_tag("kyoku event after the kyoku's ending", name, offset);
    return {};
}

Status Reader::move(std::string_view name, std::size_t offset, unsigned id) {
    // The letter names the seat (D E F G, T U V W: its two low bits).
    const int seat = static_cast<int>(static_cast<unsigned>(name[0]) & 3);
    if (!in_kyoku_ || ended_) return blame(in_play(name, offset), seat);
    if (id >= kTileIds)
        return blame(refuse_tag("tile id out of range: " + printable(name.substr(1)), name, offset), seat);
    add_move(name[0], id);
    return {};
}

Status Reader::call(const Tag& t) {
    if (auto ok = in_play(t.name, t.offset); !ok) return blame(ok);
    auto who = seat(t, "who");
    if (!who) return blame(pass_on(who));
    auto m = integer(t, "m");
    if (!m) return blame(pass_on(m), *who);
    if (*m < 0 || *m > 0xFFFF) return blame(refuse(t, "meld code out of range"), *who);
    const auto code = static_cast<std::uint16_t>(*m);
    auto meld = decode_meld(code);
    if (!meld) return blame(refuse(t, meld.error()), *who);
    const auto take = static_cast<std::uint8_t>(*who * 2), discard = static_cast<std::uint8_t>(take + 1);
    if (in_discard_column(meld->kind)) {
        g_.entries.push_back({discard, Cell::Call, code});
        sizes_[discard] = ++counts_[discard];
    } else {
        g_.entries.push_back({take, Cell::Call, code});
        sizes_[take] = ++counts_[take];
        // The caller discards nothing for the called tile of an open kan.
        if (meld->kind == MeldKind::Daiminkan) {
            g_.entries.push_back({discard, Cell::Zero, 0});
            ++counts_[discard];
        }
    }
    last_drawn_[*who] = -1;
    ++step_;
    return {};
}

Status Reader::reach(const Tag& t) {
    if (auto ok = in_play(t.name, t.offset); !ok) return ok;
    auto who = seat(t, "who");
    if (!who) return pass_on(who);
    auto step = integer(t, "step");
    if (!step) return pass_on(step);
    if (*step == 1) riichi_[*who] = true;
    return {};
}

Status Reader::dora(const Tag& t) {
    if (auto ok = in_play(t.name, t.offset); !ok) return ok;
    auto id = integer(t, "hai");
    if (!id) return pass_on(id);
    if (*id < 0 || *id >= kTileIds) return refuse(t, tile_out_of_range(*id));
    g_.tiles.push_back(static_cast<std::uint8_t>(*id));
    Kyoku& k = g_.kyokus.back();
    k.dora.end = static_cast<std::uint32_t>(g_.tiles.size());
    k.ura = {k.dora.end, k.dora.end};
    return {};
}

Status Reader::ending(const Tag& t, bool win) {
    if (!in_kyoku_) return refuse(t, "kyoku ending before the first INIT");
    if (ended_ && !(win && ended_by_win_)) return refuse(t, "kyoku with several endings");
    if (owari_offset_ != kNoOffset) {
        // The fault of the earlier kyoku, whose ending carries the owari.
        MjlogError e = tag_error("owari on an ending that is not the game's last", owari_name_, owari_offset_);
        e.fault = kyoku_fault(g_, owari_kyoku_);
        return std::unexpected(std::move(e));
    }
    ended_ = true;
    ended_by_win_ = win;
    last_ending_offset_ = t.offset;
    last_ending_name_ = t.name;
    last_ending_owari_ = false;
    if (const auto* o = t.find("owari")) {
        if (auto ok = owari(t, o->value); !ok) return ok;
        owari_offset_ = t.offset;
        owari_name_ = t.name;
        owari_kyoku_ = g_.kyokus.size() - 1;
        last_ending_owari_ = true;
    }
    return {};
}

Status Reader::agari(const Tag& t) {
    if (auto ok = ending(t, true); !ok) return ok;
    Agari w{};
    auto who = seat(t, "who");
    if (!who) return pass_on(who);
    auto from = seat(t, "fromWho");
    if (!from) return pass_on(from);
    w.who = *who;
    w.from = *from;
    w.pao = *who;
    if (const auto* pao = t.find("paoWho"); pao && !pao->value.empty()) {
        auto p = seat(t, "paoWho");
        if (!p) return pass_on(p);
        w.pao = *p;
    }
    w.dealer = w.who == oya_;
    w.tsumo = w.who == w.from;

    if (auto ok = ints(t, "ten", values_); !ok) return ok;
    if (values_.size() != 3) return refuse(t, "ten without three values");
    const std::int64_t fu = values_[0], value = values_[1], limit = values_[2];
    if (fu < 0) return refuse(t, "negative fu");
    w.fu = static_cast<std::int32_t>(fu);

    w.yaku.begin = static_cast<std::uint32_t>(g_.yaku.size());
    if (const auto* yaku = t.find("yaku")) {
        if (auto ok = parse_ints(yaku->value, values_); !ok) return refuse(t, "yaku: " + ok.error());
        if (values_.size() % 2) return refuse(t, "yaku without a han for each");
        for (std::size_t i = 0; i < values_.size(); i += 2) {
            const std::int64_t id = values_[i], han = values_[i + 1];
            if (id < 0 || id >= kYakuIds) return refuse(t, "yaku id out of range: " + std::to_string(id));
            if (han < 0) return refuse(t, "negative han");
            // Dora of each kind counted zero times is not written.
            if (id >= 52 && han == 0) continue;
            g_.yaku.push_back({static_cast<std::uint8_t>(id), static_cast<std::int32_t>(han)});
            w.han += han;
        }
    }
    if (const auto* yakuman = t.find("yakuman")) {
        if (auto ok = parse_ints(yakuman->value, values_); !ok) return refuse(t, "yakuman: " + ok.error());
        for (std::int64_t id : values_) {
            if (id < 0 || id >= kYakuIds) return refuse(t, "yakuman id out of range: " + std::to_string(id));
            g_.yaku.push_back({static_cast<std::uint8_t>(id), -1});
            ++w.yakuman;
        }
    }
    w.yaku.end = static_cast<std::uint32_t>(g_.yaku.size());

    const Score score = compute_score(w.fu, w.han, w.yakuman, w.dealer, w.tsumo);
    if (score.total != value) {
        std::string text;
        append_score_text(text, w);
        return refuse(t, "score [" + std::to_string(fu) + ", " + std::to_string(value) + ", " +
                                             std::to_string(limit) + "] does not match " + text);
    }

    Kyoku& k = g_.kyokus.back();
    if (const auto* ura = t.find("doraHaiUra")) {
        if (auto ok = tile_ids(t, "doraHaiUra", values_); !ok) return ok;
        // The first win that shows ura indicators gives the kyoku's list.
        if (k.ura.size() == 0 && !values_.empty()) {
            k.ura.begin = static_cast<std::uint32_t>(g_.tiles.size());
            for (std::int64_t id : values_) g_.tiles.push_back(static_cast<std::uint8_t>(id));
            k.ura.end = static_cast<std::uint32_t>(g_.tiles.size());
        }
        (void)ura;
    }
    if (auto ok = ints(t, "sc", values_); !ok) return ok;
    if (values_.size() != 8) return refuse(t, "sc without eight values");
    for (std::size_t i = 0; i < 4; ++i) w.deltas[i] = values_[2 * i + 1] * 100;
    g_.wins.push_back(w);
    k.wins.end = static_cast<std::uint32_t>(g_.wins.size());
    return {};
}

Status Reader::ryuukyoku(const Tag& t) {
    if (auto ok = ending(t, false); !ok) return ok;
    Kyoku& k = g_.kyokus.back();
    std::string_view type;
    if (const auto* a = t.find("type")) type = a->value;
    if (!draw_kind(type, k.draw))
        return refuse(t, "unknown draw type '" + printable(type) + "'");
    if (auto ok = ints(t, "sc", values_); !ok) return ok;
    if (values_.size() != 8) return refuse(t, "sc without eight values");
    for (std::size_t i = 0; i < 4; ++i) k.draw_deltas[i] = values_[2 * i + 1] * 100;
    for (const char* key : {"hai0", "hai1", "hai2", "hai3"}) k.tenpai += t.find(key) != nullptr;
    return {};
}

}  // namespace tessmar::mjlog::detail
