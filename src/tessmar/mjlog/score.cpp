#include "tessmar/mjlog/score.hpp"

#include <array>

#include "tessmar/encoding/json_text.hpp"

namespace tessmar::mjlog {
namespace {

constexpr std::array<std::string_view, kYakuIds> kYaku = {
    "門前清自摸和", "立直", "一発", "槍槓", "嶺上開花", "海底摸月", "河底撈魚", "平和", "断幺九", "一盃口",
    "自風 東", "自風 南", "自風 西", "自風 北", "場風 東", "場風 南", "場風 西", "場風 北",
    "役牌 白", "役牌 發", "役牌 中",
    "両立直", "七対子", "混全帯幺九", "一気通貫", "三色同順", "三色同刻", "三槓子", "対々和", "三暗刻",
    "小三元", "混老頭", "二盃口", "純全帯幺九", "混一色", "清一色", "人和",
    "天和", "地和", "大三元", "四暗刻", "四暗刻単騎", "字一色", "緑一色", "清老頭", "九蓮宝燈",
    "純正九蓮宝燈", "国士無双", "国士無双１３面", "大四喜", "小四喜", "四槓子",
    "ドラ", "裏ドラ", "赤ドラ",
};

constexpr std::array<std::string_view, kDanIds> kDan = {
    "新人", "９級", "８級", "７級", "６級", "５級", "４級", "３級", "２級", "１級", "初段",
    "二段", "三段", "四段", "五段", "六段", "七段", "八段", "九段", "十段", "天鳳",
};

constexpr std::int64_t ceil100(std::int64_t x) { return (x + 99) / 100 * 100; }

}  // namespace

std::string_view yaku_name(unsigned id) { return kYaku[id]; }
std::string_view dan_name(unsigned index) { return kDan[index]; }

bool draw_kind(std::string_view type, DrawKind& kind) {
    if (type.empty()) kind = DrawKind::Exhaustive;
    else if (type == "yao9") kind = DrawKind::Yao9;
    else if (type == "reach4") kind = DrawKind::Reach4;
    else if (type == "ron3") kind = DrawKind::Ron3;
    else if (type == "kan4") kind = DrawKind::Kan4;
    else if (type == "kaze4") kind = DrawKind::Kaze4;
    else if (type == "nm") kind = DrawKind::Nagashi;
    else return false;
    return true;
}

std::string_view draw_name(DrawKind kind, unsigned tenpai) {
    switch (kind) {
        case DrawKind::Exhaustive: return tenpai == 4 ? "全員聴牌" : tenpai == 0 ? "全員不聴" : "流局";
        case DrawKind::Yao9: return "九種九牌";
        case DrawKind::Reach4: return "四家立直";
        case DrawKind::Ron3: return "三家和了";
        case DrawKind::Kan4: return "四槓散了";
        case DrawKind::Kaze4: return "四風連打";
        case DrawKind::Nagashi: return "流し満貫";
    }
    return "";
}

Score compute_score(std::int64_t fu, std::int64_t han, std::uint32_t yakuman, bool dealer, bool tsumo) {
    using Label = Score::Label;
    Label label = Label::FuHan;
    std::int64_t base;
    if (yakuman > 0) {
        label = Label::Yakuman;
        base = 8000 * static_cast<std::int64_t>(yakuman);
    } else {
        // fu * 2^(han + 2), known to reach 2000 without computing it once the shift is large.
        base = fu == 0 ? 0 : han + 2 >= 32 ? 2000 : fu << (han + 2);
        if (base >= 2000) {
            if (han <= 5) label = Label::Mangan, base = 2000;
            else if (han <= 7) label = Label::Haneman, base = 3000;
            else if (han <= 10) label = Label::Baiman, base = 4000;
            else if (han <= 12) label = Label::Sanbaiman, base = 6000;
            else label = Label::Yakuman, base = 8000;
        }
    }
    if (!tsumo) {
        const std::int64_t pay = ceil100((dealer ? 6 : 4) * base);
        return {label, pay, 0, pay};
    }
    if (dealer) {
        const std::int64_t each = ceil100(2 * base);
        return {label, each, 0, 3 * each};
    }
    const std::int64_t a = ceil100(base), b = ceil100(2 * base);
    return {label, a, b, 2 * a + b};
}

char* write_score_text(char* p, const Agari& win) {
    const Score s = compute_score(win.fu, win.han, win.yakuman, win.dealer, win.tsumo);
    switch (s.label) {
        case Score::Label::FuHan:
            p = put_int(p, win.fu);
            p = put_text(p, "符");
            p = put_int(p, win.han);
            p = put_text(p, "飜");
            break;
        case Score::Label::Mangan: p = put_text(p, "満貫"); break;
        case Score::Label::Haneman: p = put_text(p, "跳満"); break;
        case Score::Label::Baiman: p = put_text(p, "倍満"); break;
        case Score::Label::Sanbaiman: p = put_text(p, "三倍満"); break;
        case Score::Label::Yakuman: p = put_text(p, "役満"); break;
    }
    p = put_int(p, s.first);
    if (win.tsumo && !win.dealer) {
        *p++ = '-';
        p = put_int(p, s.second);
    }
    return put_text(p, win.tsumo && win.dealer ? "点∀" : "点");
}

void append_score_text(std::string& out, const Agari& win) {
    char buf[kMaxScoreText];
    out.append(buf, write_score_text(buf, win));
}

}  // namespace tessmar::mjlog
