// convert_columns on hand-built games: turn order, calls, kan dora, riichi, kyoku endings, retries.
//
// Every kyoku is written as the four seats' columns (as the log holds them) and the whole event
// stream is compared text by text with the stream worked out by hand.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include "columns_helpers.hpp"
#include "tessmar/drive/drive.hpp"

using namespace tessmar;
using tessmar::test::Item;
using tessmar::test::tile;

namespace {

// ---------------------------------------------------------------------------------------------
// Building games



struct Cols {
    std::vector<Item> takes, discards;
};
Cols s(std::vector<Item> takes, std::vector<Item> discards = {}) { return {std::move(takes), std::move(discards)}; }
const Cols none{};

struct Result {
    bool is_draw = true;
    Deltas draw_deltas{};
    std::vector<Win> wins;
};
Result draw(std::int32_t a, std::int32_t b, std::int32_t c, std::int32_t d) { return {true, {a, b, c, d}, {}}; }
Result wins(std::vector<Win> w) { return {false, {}, std::move(w)}; }
Win win(int actor, int target, Deltas d) {
    return Win{static_cast<std::uint8_t>(actor), static_cast<std::uint8_t>(target), d};
}

struct KyokuPlan {
    int index = 0;
    int honba = 0;
    int kyotaku = 0;
    std::array<Cols, 4> seats{};
    Result result{};
    std::vector<int> dora{41};
    std::vector<int> ura{};
    std::array<std::int32_t, 4> scores{25000, 25000, 25000, 25000};
};

// Distinct starting hands per seat, one of them not sorted, so that seat order and the
// log's own order show in every start_kyoku.
const std::array<std::array<int, 13>, 4> kHands = {{
    {11, 12, 13, 14, 15, 16, 17, 18, 19, 21, 22, 23, 24},
    {31, 32, 33, 34, 35, 36, 37, 38, 39, 41, 42, 43, 44},
    {25, 26, 27, 28, 29, 45, 46, 47, 51, 52, 53, 41, 41},
    {47, 46, 45, 44, 43, 42, 41, 39, 38, 37, 36, 35, 34},
}};
const char* const kTehais =
    R"([["1m","2m","3m","4m","5m","6m","7m","8m","9m","1p","2p","3p","4p"],)"
    R"(["1s","2s","3s","4s","5s","6s","7s","8s","9s","E","S","W","N"],)"
    R"(["5p","6p","7p","8p","9p","P","F","C","5mr","5pr","5sr","E","E"],)"
    R"(["C","F","P","N","W","S","E","9s","8s","7s","6s","5s","4s"]])";

template <class T>
Range append(std::vector<T>& all, const std::vector<T>& items) {
    Range r{static_cast<std::uint32_t>(all.size()), 0};
    all.insert(all.end(), items.begin(), items.end());
    r.end = static_cast<std::uint32_t>(all.size());
    return r;
}

Range append_tiles(GameColumns& g, const std::vector<int>& codes) {
    std::vector<Tile> tiles;
    for (int code : codes) tiles.push_back(tile(code));
    return append(g.tiles, tiles);
}

Range append_entries(GameColumns& g, const std::vector<Item>& items) {
    std::vector<Entry> entries;
    for (const Item& i : items) entries.push_back(i.entry);
    return append(g.entries, entries);
}

GameColumns make_game(const std::vector<KyokuPlan>& plans) {
    GameColumns g;
    g.names = {"A", "B", "C", "D"};
    for (const KyokuPlan& plan : plans) {
        KyokuColumns k;
        k.kyoku = static_cast<std::uint8_t>(plan.index);
        k.honba = static_cast<std::uint8_t>(plan.honba);
        k.kyotaku = static_cast<std::uint8_t>(plan.kyotaku);
        k.scores = plan.scores;
        k.is_draw = plan.result.is_draw;
        k.draw_deltas = plan.result.draw_deltas;
        k.dora = append_tiles(g, plan.dora);
        k.ura = append_tiles(g, plan.ura);
        for (std::size_t seat = 0; seat < 4; ++seat) {
            for (std::size_t n = 0; n < 13; ++n) k.haipai[seat][n] = tile(kHands[seat][n]);
            k.takes[seat] = append_entries(g, plan.seats[seat].takes);
            k.discards[seat] = append_entries(g, plan.seats[seat].discards);
        }
        k.wins = append(g.wins, plan.result.wins);
        g.kyokus.push_back(k);
    }
    return g;
}


// The event texts, or a single "error <Kind> in kyoku <position>" line.
std::vector<std::string> run(const GameColumns& game) {
    EventTexts texts;
    if (auto r = convert_columns(game, texts); !r)
        return {"error " + std::string(kind_name(r.error().kind)) + " in kyoku " + std::to_string(r.error().kyoku)};
    std::vector<std::string> out;
    for (std::size_t i = 0; i < texts.size(); ++i) out.emplace_back(texts[i]);
    return out;
}

std::vector<std::string> run(const std::vector<KyokuPlan>& kyokus) { return run(make_game(kyokus)); }

// ---------------------------------------------------------------------------------------------
// Expected texts

std::string n(int v) { return std::to_string(v); }
std::string q(std::string_view s) { return "\"" + std::string(s) + "\""; }
std::string list(std::initializer_list<std::string_view> tiles) {
    std::string out = "[";
    for (std::string_view t : tiles) out += (out.size() > 1 ? "," : "") + q(t);
    return out + "]";
}
std::string points(std::array<std::int32_t, 4> d) {
    return "[" + n(d[0]) + "," + n(d[1]) + "," + n(d[2]) + "," + n(d[3]) + "]";
}

const std::string kStartGame = R"({"type":"start_game","names":["A","B","C","D"],"kyoku_first":0,"aka_flag":false})";
const std::string kEndGame = R"({"type":"end_game"})";
const std::string kEndKyoku = R"({"type":"end_kyoku"})";

std::string sk(std::string_view bakaze, std::string_view dora, int kyoku, int honba, int kyotaku, int oya,
               std::array<std::int32_t, 4> scores = {25000, 25000, 25000, 25000}) {
    return R"({"type":"start_kyoku","bakaze":)" + q(bakaze) + R"(,"dora_marker":)" + q(dora) +
           R"(,"kyoku":)" + n(kyoku) + R"(,"honba":)" + n(honba) + R"(,"kyotaku":)" + n(kyotaku) +
           R"(,"oya":)" + n(oya) + R"(,"scores":)" + points(scores) + R"(,"tehais":)" + kTehais + "}";
}
// The first kyoku of the east round with the default indicator "E".
std::string sk0() { return sk("E", "E", 1, 0, 0, 0); }

std::string tsumo(int a, std::string_view p) {
    return R"({"type":"tsumo","actor":)" + n(a) + R"(,"pai":)" + q(p) + "}";
}
std::string dahai(int a, std::string_view p, bool tsumogiri = false) {
    return R"({"type":"dahai","actor":)" + n(a) + R"(,"pai":)" + q(p) + R"(,"tsumogiri":)" +
           (tsumogiri ? "true" : "false") + "}";
}
std::string chi(int a, int t, std::string_view p, std::string_view c1, std::string_view c2) {
    return R"({"type":"chi","actor":)" + n(a) + R"(,"target":)" + n(t) + R"(,"pai":)" + q(p) +
           R"(,"consumed":)" + list({c1, c2}) + "}";
}
std::string pon(int a, int t, std::string_view p) {
    return R"({"type":"pon","actor":)" + n(a) + R"(,"target":)" + n(t) + R"(,"pai":)" + q(p) +
           R"(,"consumed":)" + list({p, p}) + "}";
}
std::string daiminkan(int a, int t, std::string_view p) {
    return R"({"type":"daiminkan","actor":)" + n(a) + R"(,"target":)" + n(t) + R"(,"pai":)" + q(p) +
           R"(,"consumed":)" + list({p, p, p}) + "}";
}
std::string kakan(int a, std::string_view p) {
    return R"({"type":"kakan","actor":)" + n(a) + R"(,"pai":)" + q(p) + R"(,"consumed":)" + list({p, p, p}) + "}";
}
std::string ankan(int a, std::string_view p) {
    return R"({"type":"ankan","actor":)" + n(a) + R"(,"consumed":)" + list({p, p, p, p}) + "}";
}
std::string dora(std::string_view m) { return R"({"type":"dora","dora_marker":)" + q(m) + "}"; }
std::string reach(int a) { return R"({"type":"reach","actor":)" + n(a) + "}"; }
std::string accepted(int a) { return R"({"type":"reach_accepted","actor":)" + n(a) + "}"; }
std::string hora(int a, int t, std::array<std::int32_t, 4> d, std::initializer_list<std::string_view> ura) {
    return R"({"type":"hora","actor":)" + n(a) + R"(,"target":)" + n(t) + R"(,"deltas":)" + points(d) +
           R"(,"ura_markers":)" + list(ura) + "}";
}
std::string ryukyoku(std::array<std::int32_t, 4> d = {0, 0, 0, 0}) {
    return R"({"type":"ryukyoku","deltas":)" + points(d) + "}";
}

// A whole game's stream: start_game, the given texts, end_game.
std::vector<std::string> framed(std::vector<std::string> body) {
    body.insert(body.begin(), kStartGame);
    body.push_back(kEndGame);
    return body;
}

struct StreamCase {
    const char* what;
    std::vector<KyokuPlan> kyokus;
    std::vector<std::string> expected;  // without start_game and end_game
};

void check_streams(const std::vector<StreamCase>& cases) {
    for (const StreamCase& c : cases) {
        const auto actual = run(c.kyokus);
        const auto expected = framed(c.expected);
        EXPECT_EQ(actual, expected) << c.what;
        // On a mismatch, point at the first differing text.
        for (std::size_t i = 0; i < std::min(actual.size(), expected.size()); ++i)
            if (actual[i] != expected[i]) {
                ADD_FAILURE() << c.what << ": first difference at text " << i << "\n  expected: " << expected[i]
                              << "\n  actual:   " << actual[i];
                break;
            }
    }
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Game and kyoku frame

TEST(DriveGame, NoKyoku) {
    GameColumns g;
    g.names = {"あい", "b\"c", "", "D"};
    g.kyoku_first = 4;
    g.aka_flag = true;
    EXPECT_EQ(run(g), (std::vector<std::string>{
                          R"({"type":"start_game","names":["あい","b\"c","","D"],"kyoku_first":4,"aka_flag":true})",
                          R"({"type":"end_game"})",
                      }));
}

TEST(DriveGame, StartKyokuForIndex13AndTsumoWin) {
    KyokuPlan k{.index = 13,
                .honba = 3,
                .kyotaku = 2,
                .seats = {none, s({11}), none, none},
                .result = wins({win(1, 1, {-2000, 6000, -2000, -2000})}),
                .dora = {52},
                .ura = {},
                .scores = {31000, -500, 24500, 45000}};
    EXPECT_EQ(run({k}),
              (std::vector<std::string>{
                  R"({"type":"start_game","names":["A","B","C","D"],"kyoku_first":0,"aka_flag":false})",
                  R"({"type":"start_kyoku","bakaze":"N","dora_marker":"5pr","kyoku":2,"honba":3,"kyotaku":2,"oya":1,)"
                  R"("scores":[31000,-500,24500,45000],"tehais":[)"
                  R"(["1m","2m","3m","4m","5m","6m","7m","8m","9m","1p","2p","3p","4p"],)"
                  R"(["1s","2s","3s","4s","5s","6s","7s","8s","9s","E","S","W","N"],)"
                  R"(["5p","6p","7p","8p","9p","P","F","C","5mr","5pr","5sr","E","E"],)"
                  R"(["C","F","P","N","W","S","E","9s","8s","7s","6s","5s","4s"]]})",
                  R"({"type":"tsumo","actor":1,"pai":"1m"})",
                  R"({"type":"hora","actor":1,"target":1,"deltas":[-2000,6000,-2000,-2000],"ura_markers":[]})",
                  R"({"type":"end_kyoku"})",
                  R"({"type":"end_game"})",
              }));
}

TEST(DriveGame, WindKyokuAndDealerFromIndex) {
    struct Case {
        int index;
        const char* bakaze;
        int kyoku, oya;
    };
    const std::vector<Case> cases = {
        {0, "E", 1, 0},  {3, "E", 4, 3},  {4, "S", 1, 0},  {7, "S", 4, 3},   {8, "W", 1, 0},
        {11, "W", 4, 3}, {12, "N", 1, 0}, {15, "N", 4, 3}, {16, "N", 1, 0}, {255, "N", 4, 3},
    };
    for (const Case& c : cases) {
        KyokuPlan k{.index = c.index, .result = draw(0, 0, 0, 0)};
        k.seats[c.oya] = s({11});  // the dealer draws and the kyoku ends on that draw
        EXPECT_EQ(run({k}), framed({sk(c.bakaze, "E", c.kyoku, 0, 0, c.oya), tsumo(c.oya, "1m"), ryukyoku(),
                                    kEndKyoku}))
            << "index " << c.index;
    }
}

TEST(DriveGame, TurnOrderAcrossTwoKyokus) {
    check_streams({
        {"a full turn of draws and discards, then a second kyoku dealt by seat 1",
         {
             {.seats = {s({11}, {21}), s({12}, {60}), s({13}, {23}), s({14}, {24})},
              .result = draw(1500, -500, -500, -500)},
             {.index = 1,
              .honba = 1,
              .seats = {s({31}, {60}), s({32}, {60}), s({33}, {60}), s({34}, {60})},
              .result = wins({win(2, 0, {-3900, 0, 3900, 0})}),
              .dora = {47},
              .ura = {42}},
         },
         {
             sk0(),
             tsumo(0, "1m"), dahai(0, "1p"),
             tsumo(1, "2m"), dahai(1, "2m", true),
             tsumo(2, "3m"), dahai(2, "3p"),
             tsumo(3, "4m"), dahai(3, "4p"),
             ryukyoku({1500, -500, -500, -500}), kEndKyoku,
             sk("E", "C", 2, 1, 0, 1),
             tsumo(1, "2s"), dahai(1, "2s", true),
             tsumo(2, "3s"), dahai(2, "3s", true),
             tsumo(3, "4s"), dahai(3, "4s", true),
             tsumo(0, "1s"), dahai(0, "1s", true),
             hora(2, 0, {-3900, 0, 3900, 0}, {"S"}), kEndKyoku,
         }},
    });
}

// ---------------------------------------------------------------------------------------------
// Kan dora

TEST(DriveDora, Order) {
    const Cols kan_then_riichi = s({11, 12}, {"k11111111", "r60"});
    check_streams({
        {"ankan: ankan, dora, replacement tsumo",
         {{.seats = {s({11, 22}, {"111111a11", 60}), none, none, none}, .dora = {41, 42}}},
         {sk0(), tsumo(0, "1m"), ankan(0, "1m"), dora("S"), tsumo(0, "2p"), dahai(0, "2p", true), ryukyoku(),
          kEndKyoku}},
        {"kakan: kakan, tsumo, dora, dahai",
         {{.seats = {s({11, 22}, {"k11111111", 60}), none, none, none}, .dora = {41, 42}}},
         {sk0(), tsumo(0, "1m"), kakan(0, "1m"), tsumo(0, "2p"), dora("S"), dahai(0, "2p", true), ryukyoku(),
          kEndKyoku}},
        {"daiminkan: daiminkan, tsumo, dora, dahai",
         {{.seats = {s({11}, {13}), s({"m13131313", 22}, {0, 60}), none, none}, .dora = {41, 42}}},
         {sk0(), tsumo(0, "1m"), dahai(0, "3m"), daiminkan(1, 0, "3m"), tsumo(1, "2p"), dora("S"),
          dahai(1, "2p", true), ryukyoku(), kEndKyoku}},
        {"two daiminkan in a row, one indicator each",
         {{.seats = {s({11}, {13}), s({"m13131313", 22}, {0, 60}), s({"m22222222", 23}, {0, 60}), none},
           .dora = {41, 42, 43}}},
         {sk0(), tsumo(0, "1m"), dahai(0, "3m"), daiminkan(1, 0, "3m"), tsumo(1, "2p"), dora("S"),
          dahai(1, "2p", true), daiminkan(2, 1, "2p"), tsumo(2, "3p"), dora("W"), dahai(2, "3p", true), ryukyoku(),
          kEndKyoku}},
        {"kan, replacement tsumo, ankan: first dora before the ankan, its own right after it",
         {{.seats = {s({11, 12, 13}, {"k11111111", "121212a12", 60}), none, none, none}, .dora = {41, 42, 43}}},
         {sk0(), tsumo(0, "1m"), kakan(0, "1m"), tsumo(0, "2m"), dora("S"), ankan(0, "2m"), dora("W"),
          tsumo(0, "3m"), dahai(0, "3m", true), ryukyoku(), kEndKyoku}},
        {"daiminkan, replacement tsumo, ankan",
         {{.seats = {s({11}, {13}), s({"m13131313", 22, 23}, {0, "222222a22", 60}), none, none},
           .dora = {41, 42, 43}}},
         {sk0(), tsumo(0, "1m"), dahai(0, "3m"), daiminkan(1, 0, "3m"), tsumo(1, "2p"), dora("S"), ankan(1, "2p"),
          dora("W"), tsumo(1, "3p"), dahai(1, "3p", true), ryukyoku(), kEndKyoku}},
        {"kan, replacement tsumo, kakan: kakan, dora, tsumo, dora, dahai",
         {{.seats = {s({11, 12, 13}, {"k11111111", "k12121212", 60}), none, none, none}, .dora = {41, 42, 43}}},
         {sk0(), tsumo(0, "1m"), kakan(0, "1m"), tsumo(0, "2m"), kakan(0, "2m"), dora("S"), tsumo(0, "3m"),
          dora("W"), dahai(0, "3m", true), ryukyoku(), kEndKyoku}},
        {"kan, replacement tsumo, riichi: the owed dora comes before the next seat's dahai",
         {{.seats = {kan_then_riichi, s({13}, {60}), none, none}, .dora = {41, 42}}},
         {sk0(), tsumo(0, "1m"), kakan(0, "1m"), tsumo(0, "2m"), reach(0), dahai(0, "2m", true), accepted(0),
          tsumo(1, "3m"), dora("S"), dahai(1, "3m", true), ryukyoku(), kEndKyoku}},
        {"kan, replacement tsumo, riichi: the owed dora comes before the caller's dahai after a pon",
         {{.seats = {kan_then_riichi, none, s({"12p1212"}, {31}), none}, .dora = {41, 42}}},
         {sk0(), tsumo(0, "1m"), kakan(0, "1m"), tsumo(0, "2m"), reach(0), dahai(0, "2m", true), accepted(0),
          pon(2, 0, "2m"), dora("S"), dahai(2, "1s"), ryukyoku(), kEndKyoku}},
        {"kan, replacement tsumo, riichi: the owed dora comes before a daiminkan of the riichi tile",
         {{.seats = {kan_then_riichi, s({"m12121212", 13}, {0, 60}), none, none}, .dora = {41, 42, 43}}},
         {sk0(), tsumo(0, "1m"), kakan(0, "1m"), tsumo(0, "2m"), reach(0), dahai(0, "2m", true), accepted(0),
          dora("S"), daiminkan(1, 0, "2m"), tsumo(1, "3m"), dora("W"), dahai(1, "3m", true), ryukyoku(), kEndKyoku}},
        {"kan, replacement tsumo, riichi: the owed dora comes before the next seat's ankan",
         {{.seats = {kan_then_riichi, s({13, 14}, {"131313a13", 60}), none, none}, .dora = {41, 42, 43}}},
         {sk0(), tsumo(0, "1m"), kakan(0, "1m"), tsumo(0, "2m"), reach(0), dahai(0, "2m", true), accepted(0),
          tsumo(1, "3m"), dora("S"), ankan(1, "3m"), dora("W"), tsumo(1, "4m"), dahai(1, "4m", true), ryukyoku(),
          kEndKyoku}},
        {"a win on the replacement draw of a kakan: no dora",
         {{.seats = {s({11, 12}, {"k11111111"}), none, none, none},
           .result = wins({win(0, 0, {-4000, 12000, -4000, -4000})}),
           .dora = {41, 42}}},
         {sk0(), tsumo(0, "1m"), kakan(0, "1m"), tsumo(0, "2m"), hora(0, 0, {-4000, 12000, -4000, -4000}, {}),
          kEndKyoku}},
        {"a win on the replacement draw of a daiminkan: no dora",
         {{.seats = {s({11}, {13}), s({"m13131313", 22}, {0}), none, none},
           .result = wins({win(1, 1, {-8000, 8000, 0, 0})}),
           .dora = {41, 42}}},
         {sk0(), tsumo(0, "1m"), dahai(0, "3m"), daiminkan(1, 0, "3m"), tsumo(1, "2p"),
          hora(1, 1, {-8000, 8000, 0, 0}, {}), kEndKyoku}},
    });
}

// ---------------------------------------------------------------------------------------------
// Riichi and kyoku endings

TEST(DriveEnd, RiichiAndClosingEvents) {
    check_streams({
        {"riichi called by pon: reach, dahai, reach_accepted, pon",
         {{.seats = {s({11}, {"r21"}), s({"p212121"}, {31}), none, none}}},
         {sk0(), tsumo(0, "1m"), reach(0), dahai(0, "1p"), accepted(0), pon(1, 0, "1p"), dahai(1, "1s"), ryukyoku(),
          kEndKyoku}},
        {"riichi accepted once, before the next draw",
         {{.seats = {s({11}, {"r60"}), s({12}, {22}), s({13}, {23}), none}}},
         {sk0(), tsumo(0, "1m"), reach(0), dahai(0, "1m", true), accepted(0), tsumo(1, "2m"), dahai(1, "2p"),
          tsumo(2, "3m"), dahai(2, "3p"), ryukyoku(), kEndKyoku}},
        {"ron on the riichi discard: no reach_accepted",
         {{.seats = {s({11}, {"r21"}), none, none, none},
           .result = wins({win(2, 0, {-8000, 0, 9000, 0})}),
           .ura = {43}}},
         {sk0(), tsumo(0, "1m"), reach(0), dahai(0, "1p"), hora(2, 0, {-8000, 0, 9000, 0}, {"W"}), kEndKyoku}},
        {"double ron: two hora in result order with the same ura list",
         {{.seats = {s({11}, {21}), none, none, none},
           .result = wins({win(3, 0, {-8000, 0, 0, 8000}), win(1, 0, {-2000, 2000, 0, 0})}),
           .ura = {43, 44}}},
         {sk0(), tsumo(0, "1m"), dahai(0, "1p"), hora(3, 0, {-8000, 0, 0, 8000}, {"W", "N"}),
          hora(1, 0, {-2000, 2000, 0, 0}, {"W", "N"}), kEndKyoku}},
        {"a win marker without wins: end_kyoku alone",
         {{.seats = {s({11}, {21}), none, none, none}, .result = wins({})}},
         {sk0(), tsumo(0, "1m"), dahai(0, "1p"), kEndKyoku}},
        {"chankan: kakan, then the win; no replacement tsumo, no dora",
         {{.seats = {s({11, 12}, {21, "k12121212"}), s({13}, {23}), s({14}, {24}), s({15}, {25})},
           .result = wins({win(1, 0, {-1000, 1000, 0, 0})}),
           .ura = {43}}},
         {sk0(), tsumo(0, "1m"), dahai(0, "1p"), tsumo(1, "3m"), dahai(1, "3p"), tsumo(2, "4m"), dahai(2, "4p"),
          tsumo(3, "5m"), dahai(3, "5p"), tsumo(0, "2m"), kakan(0, "2m"), hora(1, 0, {-1000, 1000, 0, 0}, {"W"}),
          kEndKyoku}},
        {"a win on an ankan: no dora (one indicator is enough)",
         {{.seats = {s({11}, {"111111a11"}), none, none, none},
           .result = wins({win(2, 0, {-32000, 0, 32000, 0})})}},
         {sk0(), tsumo(0, "1m"), ankan(0, "1m"), hora(2, 0, {-32000, 0, 32000, 0}, {}), kEndKyoku}},
    });
}

// ---------------------------------------------------------------------------------------------
// Several seats calling the same discard

TEST(DriveCalls, RankingBetweenSeats) {
    check_streams({
        {"pon (seat 0) beats chi (seat 2)",
         {{.index = 1,
           .seats = {s({"1313p13"}, {31}), s({11, 41}, {13}), s({"c131214"}), none},
           .result = wins({win(1, 1, {-1000, 3000, -1000, -1000})})}},
         {sk("E", "E", 2, 0, 0, 1), tsumo(1, "1m"), dahai(1, "3m"), pon(0, 1, "3m"), dahai(0, "1s"), tsumo(1, "E"),
          hora(1, 1, {-1000, 3000, -1000, -1000}, {}), kEndKyoku}},
        {"pon (seat 2) beats chi (seat 0)",
         {{.index = 3,
           .seats = {s({"c131214"}), none, s({"1313p13"}, {31}), s({11, 41}, {13})},
           .result = wins({win(3, 3, {-1000, -1000, -1000, 3000})})}},
         {sk("E", "E", 4, 0, 0, 3), tsumo(3, "1m"), dahai(3, "3m"), pon(2, 3, "3m"), dahai(2, "1s"), tsumo(3, "E"),
          hora(3, 3, {-1000, -1000, -1000, 3000}, {}), kEndKyoku}},
        {"chi (seat 0) beats daiminkan (seat 2)",
         {{.index = 3,
           .seats = {s({"c131214"}, {31}), s({41}), s({"131313m13"}), s({11}, {13})},
           .result = wins({win(1, 1, {-1000, 3000, -1000, -1000})})}},
         {sk("E", "E", 4, 0, 0, 3), tsumo(3, "1m"), dahai(3, "3m"), chi(0, 3, "3m", "2m", "4m"), dahai(0, "1s"),
          tsumo(1, "E"), hora(1, 1, {-1000, 3000, -1000, -1000}, {}), kEndKyoku}},
        {"pon (seat 1) beats daiminkan (seat 3)",
         {{.seats = {s({11}, {13}), s({"p131313"}, {31}), s({41}), s({"131313m13"})},
           .result = wins({win(2, 2, {-1000, -1000, 3000, -1000})})}},
         {sk0(), tsumo(0, "1m"), dahai(0, "3m"), pon(1, 0, "3m"), dahai(1, "1s"), tsumo(2, "E"),
          hora(2, 2, {-1000, -1000, 3000, -1000}, {}), kEndKyoku}},
        // Counted from the discarder (seat 2) seat 1 would come last; the absolute seat number decides.
        {"two pons: the higher seat number wins",
         {{.index = 2,
           .seats = {s({41}), s({"1313p13"}), s({11}, {13}), s({"p131313"}, {31})},
           .result = wins({win(0, 0, {3000, -1000, -1000, -1000})})}},
         {sk("E", "E", 3, 0, 0, 2), tsumo(2, "1m"), dahai(2, "3m"), pon(3, 2, "3m"), dahai(3, "1s"), tsumo(0, "E"),
          hora(0, 0, {3000, -1000, -1000, -1000}, {}), kEndKyoku}},
        {"two daiminkan: the higher seat number wins",
         {{.seats = {s({11}, {13}), s({"m13131313"}), s({"13m131313", 22}, {0, 60}), s({41})},
           .result = wins({win(3, 3, {-1000, -1000, -1000, 3000})}),
           .dora = {41, 42}}},
         {sk0(), tsumo(0, "1m"), dahai(0, "3m"), daiminkan(2, 0, "3m"), tsumo(2, "2p"), dora("S"),
          dahai(2, "2p", true), tsumo(3, "E"), hora(3, 3, {-1000, -1000, -1000, 3000}, {}), kEndKyoku}},
    });
}

// ---------------------------------------------------------------------------------------------
// Ambiguous calls and retries

TEST(DriveRetry, AmbiguousCallsRetriedToSuccess) {
    check_streams({
        // Seat 0 throws 3m twice and seat 2's next take is a pon of 3m from seat 0. The first
        // attempt gives the pon to the first 3m and later fails (seat 0's pon of 9p cannot follow
        // seat 3's 5m); the second declines it, and the pon lands on the second 3m. A second kyoku
        // whose ambiguous pon belongs to the first discard shows that choices do not carry over.
        {"pon retried onto the later discard",
         {
             {.seats = {s({11, "2929p29"}, {13, 13}), s({12}, {29}), s({"13p1313"}, {31}), s({15}, {15})}},
             {.honba = 1, .seats = {s({11}, {13, 13}), none, s({"13p1313"}, {31}), none}},
         },
         {sk0(), tsumo(0, "1m"), dahai(0, "3m"), tsumo(1, "2m"), dahai(1, "9p"), pon(0, 1, "9p"), dahai(0, "3m"),
          pon(2, 0, "3m"), dahai(2, "1s"), tsumo(3, "5m"), dahai(3, "5m"), ryukyoku(), kEndKyoku,
          sk("E", "E", 1, 1, 0, 0), tsumo(0, "1m"), dahai(0, "3m"), pon(2, 0, "3m"), dahai(2, "1s"), ryukyoku(),
          kEndKyoku}},
        // As above, but seat 0's second 3m is a tsumogiri after a daiminkan's replacement draw:
        // the first 3m is ambiguous only if that tsumogiri counts as a 3m.
        {"a resolved tsumogiri counts as a later discard of its tile",
         {{.seats = {s({11, "292929m29", 13}, {13, 0, 60}), s({12}, {29}), s({"13p1313"}, {31}), s({15}, {15})},
           .dora = {41, 42}}},
         {sk0(), tsumo(0, "1m"), dahai(0, "3m"), tsumo(1, "2m"), dahai(1, "9p"), daiminkan(0, 1, "9p"),
          tsumo(0, "3m"), dora("S"), dahai(0, "3m", true), pon(2, 0, "3m"), dahai(2, "1s"), tsumo(3, "5m"),
          dahai(3, "5m"), ryukyoku(), kEndKyoku}},
    });
}

TEST(DriveErrors, Kinds) {
    struct Case {
        const char* what;
        std::vector<KyokuPlan> kyokus;
        const char* expected;
        int kyoku = 0;  // position of the failing kyoku
    };
    const std::vector<Case> cases = {
        {"no dora indicator", {{.seats = {s({11}), none, none, none}, .dora = {}}}, "DoraIndicatorsExhausted"},
        {"decoding comes before the dora check",
         {{.seats = {s({11}), none, none, s({"bad"})}, .dora = {}}},
         "InvalidActionString"},
        {"seats are decoded in order, each take column before its discard column",
         {{.seats = {s({11}, {"zz"}), s({60}), s({"c1213x4"}), none}}},
         "InvalidActionString"},
        {"a decoding error: seat 1 before seat 2", {{.seats = {s({11}), s({60}), s({"c1213x4"}), none}}},
         "UnexpectedNumber"},
        {"a decoding error in a later kyoku fails the game",
         {{.seats = {s({11}), none, none, none}}, {.index = 1, .seats = {none, s({11}), s({"c1213x4"}), none}}},
         "InvalidTileCode",
         1},
        {"two daiminkan with two indicators",
         {{.seats = {s({11}, {13}), s({"m13131313", 22}, {0, 60}), s({"m22222222", 23}, {0, 60}), none},
           .dora = {41, 42}}},
         "DoraIndicatorsExhausted"},
        {"ankan with one indicator", {{.seats = {s({11, 12}, {"111111a11", 60}), none, none, none}}},
         "DoraIndicatorsExhausted"},
        {"chi of a tile that was not discarded", {{.seats = {s({11}, {13}), s({"c141315"}, {31}), none, none}}},
         "InvalidCall"},
        {"pon naming another source", {{.seats = {s({11}, {13}), s({"13p1313"}, {31}), none, none}}},
         "InvalidCall"},
        {"a call as the dealer's first take", {{.seats = {s({"p131313"}, {31}), none, none, none}}}, "InvalidCall"},
        {"a take column one entry short",
         {{.seats = {s({11, 16}, {21, 26}), s({12}, {22}), s({}, {23}), s({14}, {24})}}},
         "MissingTake"},
        {"a daiminkan as its seat's last take", {{.seats = {s({11}, {13}), s({"m13131313"}, {0}), none, none}}},
         "MissingTake"},
        // A call on the discarder's last discard element is not ambiguous: nothing is recorded and the
        // first failure is final (a retry that declined the pon would end in InvalidCall instead).
        {"a call on the last discard element is not retried",
         {{.seats = {s({11}, {13}), s({12}, {12}), s({"13p1313"}, {31}), none}}},
         "MissingTake"},
        {"a call on the last discard of its tile is not retried",
         {{.seats = {s({11}, {13, 14}), s({12}, {12}), s({"13p1313"}, {31}), none}}},
         "MissingTake"},
        // Attempt 1 fails with InvalidCall; attempts 2 and 3 (pon declined, then the choice dropped)
        // fail with MissingTake, and with nothing left to try that last error is reported.
        {"retries exhausted: the last attempt's error",
         {{.seats = {s({11, "2929p29"}, {13, 13}), s({12, 18}, {29}), s({"13p1313"}, {31}), s({15}, {15})}}},
         "MissingTake"},
        // Seat 0 throws 3m four times; seat 2's only take is a pon of 3m from seat 0, and every path
        // ends with seat 3 (no takes at all) to move. Attempt 1 takes the pon at the first 3m and
        // fails, recording 3m as taken. Attempt 2 declines at the first 3m, drops the choice at the
        // second, takes the pon at the third and fails, leaving 3m recorded as taken again: the
        // state attempt 2 began with, so every further attempt would repeat attempt 2.
        {"repeating attempts end with RetryLimit",
         {{.seats = {s({11, "2929p29", "3939p39"}, {13, 13, 13, 13}), s({12, 14, 16}, {29, 39}),
                     s({"13p1313"}, {31}), none}}},
         "RetryLimit"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(run(c.kyokus), std::vector<std::string>{std::string("error ") + c.expected + " in kyoku " +
                                                          std::to_string(c.kyoku)})
            << c.what;
}
