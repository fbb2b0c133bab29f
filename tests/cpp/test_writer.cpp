#include <gtest/gtest.h>

#include "tessmar/mjai/writer.hpp"

using namespace tessmar;
using namespace tessmar::mjai;

namespace {

Tile t(unsigned code) { return *tile_from_code(static_cast<std::uint8_t>(code)); }

std::string json(const Event& e) {
    auto text = serialize_event(e);
    EXPECT_TRUE(text.has_value());
    return text.value_or("");
}

}  // namespace

TEST(Writer, EveryEventTypeInKeyOrder) {
    StartKyoku sk;
    sk.bakaze = t(42);
    sk.dora_marker = t(52);
    sk.kyoku = 2;
    sk.honba = 1;
    sk.kyotaku = 3;
    sk.oya = 1;
    sk.scores = {25000, -1200, 0, 2147483647};
    for (std::size_t s = 0; s < 4; ++s)
        for (std::size_t i = 0; i < 13; ++i)
            sk.tehais[s][i] = Tile{static_cast<std::uint8_t>(std::min<std::size_t>(s * 9 + i, 37))};
    const std::pair<Event, std::string> cases[] = {
        {None{}, R"({"type":"none"})"},
        {StartGame{{"A", "B", "C", "D"}, 0, true},
         R"({"type":"start_game","names":["A","B","C","D"],"kyoku_first":0,"aka_flag":true})"},
        {sk,
         R"({"type":"start_kyoku","bakaze":"S","dora_marker":"5pr","kyoku":2,"honba":1,"kyotaku":3,"oya":1,)"
         R"("scores":[25000,-1200,0,2147483647],"tehais":[)"
         R"(["1m","2m","3m","4m","5m","6m","7m","8m","9m","1p","2p","3p","4p"],)"
         R"(["1p","2p","3p","4p","5p","6p","7p","8p","9p","1s","2s","3s","4s"],)"
         R"(["1s","2s","3s","4s","5s","6s","7s","8s","9s","E","S","W","N"],)"
         R"(["E","S","W","N","P","F","C","5mr","5pr","5sr","?","?","?"]]})"},
        {Tsumo{3, kUnknownTile}, R"({"type":"tsumo","actor":3,"pai":"?"})"},
        {Dahai{0, t(51), false}, R"({"type":"dahai","actor":0,"pai":"5mr","tsumogiri":false})"},
        {Chi{1, 0, t(23), {t(24), t(25)}}, R"({"type":"chi","actor":1,"target":0,"pai":"3p","consumed":["4p","5p"]})"},
        {Pon{2, 1, t(15), {t(15), t(51)}}, R"({"type":"pon","actor":2,"target":1,"pai":"5m","consumed":["5m","5mr"]})"},
        {Daiminkan{3, 0, t(39), {t(39), t(39), t(39)}},
         R"({"type":"daiminkan","actor":3,"target":0,"pai":"9s","consumed":["9s","9s","9s"]})"},
        {Kakan{0, t(25), {t(25), t(25), t(52)}},
         R"({"type":"kakan","actor":0,"pai":"5p","consumed":["5p","5p","5pr"]})"},
        {Ankan{0, {t(38), t(38), t(38), t(38)}}, R"({"type":"ankan","actor":0,"consumed":["8s","8s","8s","8s"]})"},
        {Dora{t(45)}, R"({"type":"dora","dora_marker":"P"})"},
        {Reach{2}, R"({"type":"reach","actor":2})"},
        {ReachAccepted{3}, R"({"type":"reach_accepted","actor":3})"},
        {Hora{1, 2, Deltas{-8000, 9000, 0, 0}, std::vector<Tile>{t(46), t(47)}},
         R"({"type":"hora","actor":1,"target":2,"deltas":[-8000,9000,0,0],"ura_markers":["F","C"]})"},
        {Ryukyoku{Deltas{0, 0, 0, 0}}, R"({"type":"ryukyoku","deltas":[0,0,0,0]})"},
        {EndKyoku{}, R"({"type":"end_kyoku"})"},
        {EndGame{}, R"({"type":"end_game"})"},
    };
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        EXPECT_EQ(cases[i].first.index(), i) << "tag order";
        EXPECT_EQ(json(cases[i].first), cases[i].second);
    }
}

TEST(Writer, AbsentOptionalFieldsAreLeftOutAndEmptyListsStay) {
    EXPECT_EQ(json(Hora{3, 1, {}, {}}), R"({"type":"hora","actor":3,"target":1})");
    EXPECT_EQ(json(Hora{3, 1, Deltas{1, 2, 3, 4}, {}}), R"({"type":"hora","actor":3,"target":1,"deltas":[1,2,3,4]})");
    EXPECT_EQ(json(Hora{3, 3, {}, std::vector<Tile>{}}), R"({"type":"hora","actor":3,"target":3,"ura_markers":[]})");
    EXPECT_EQ(json(Ryukyoku{}), R"({"type":"ryukyoku"})");
}

TEST(Writer, IntegersAtTheirLimits) {
    EXPECT_EQ(json(Ryukyoku{Deltas{-2147483647 - 1, 2147483647, -10, 100}}),
              R"({"type":"ryukyoku","deltas":[-2147483648,2147483647,-10,100]})");
    EXPECT_EQ(json(StartGame{{"", "", "", ""}, 255, false}),
              R"({"type":"start_game","names":["","","",""],"kyoku_first":255,"aka_flag":false})");
    EXPECT_EQ(json(Reach{9}), R"({"type":"reach","actor":9})");
    EXPECT_EQ(json(Reach{99}), R"({"type":"reach","actor":99})");
    EXPECT_EQ(json(Reach{100}), R"({"type":"reach","actor":100})");
}

TEST(Writer, NamesAreEscapedExactly) {
    std::string out;
    append_json_string(out, std::string_view("a\"b\\c\td\x01" "e\x1f\b\f\n\r/\x7f", 16));
    EXPECT_EQ(out, R"("a\"b\\c\td\u0001e\u001f\b\f\n\r/)" "\x7f\"");
    out.clear();
    append_json_string(out, std::string_view("\0x", 2));
    EXPECT_EQ(out, R"("\u0000x")");
    out.clear();
    append_json_string(out, "鬼ヅモ@川村軍団");
    EXPECT_EQ(out, "\"鬼ヅモ@川村軍団\"");
    EXPECT_EQ(json(StartGame{{"\"", "\\", "\t", "私"}, 4, true}),
              R"({"type":"start_game","names":["\"","\\","\t","私"],"kyoku_first":4,"aka_flag":true})");
}
