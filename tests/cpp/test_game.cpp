// build_game: rule text judgement, red-five flag, result condensation, pass-through of the log.
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "tessmar/tenhou/game.hpp"

using namespace tessmar;

namespace {

Tile tile(int code) {
    auto t = tile_from_code(static_cast<std::uint8_t>(code));
    EXPECT_TRUE(t.has_value()) << code;
    return t.value_or(kUnknownTile);
}

// Generic JSON values as the parser stores them inside a detail item.
JsonValue u(std::uint64_t v) { return JsonValue{v}; }
JsonValue i(std::int64_t v) { return JsonValue{v}; }
JsonValue f(double v) { return JsonValue{v}; }
JsonValue s(const char* v) { return JsonValue{std::string(v)}; }
JsonValue null() { return JsonValue{nullptr}; }
JsonValue boolean(bool v) { return JsonValue{v}; }

ResultItem text(const char* t) { return std::string(t); }
ResultItem delta(std::int32_t a, std::int32_t b, std::int32_t c, std::int32_t d) { return Deltas{a, b, c, d}; }
ResultItem detail(std::vector<JsonValue> values) { return JsonArray(std::move(values)); }
// A detail item naming winner and source seat, followed by the values a real log carries.
ResultItem who(std::uint64_t actor, std::uint64_t target) {
    return detail({u(actor), u(target), u(actor), s("30符1飜1000点"), s("立直(1飜)")});
}

const char* const kWin = "和了";

LogEntry entry(std::vector<ResultItem> result) {
    LogEntry e;
    e.header = {0, 0, 0};
    e.scores = {25000, 25000, 25000, 25000};
    e.dora_indicators = {tile(41)};
    e.result = std::move(result);
    return e;
}

RawLog log_with(std::string disp, std::vector<LogEntry> entries = {}) {
    RawLog raw;
    raw.name = {"A", "B", "C", "D"};
    raw.rule.disp = std::move(disp);
    raw.log = std::move(entries);
    return raw;
}

RawLog log_with_result(std::vector<ResultItem> result) {
    std::vector<LogEntry> entries;
    entries.push_back(entry(std::move(result)));
    return log_with("四般南喰赤", std::move(entries));
}

std::string deltas_text(const Deltas& d) {
    return std::to_string(d[0]) + "," + std::to_string(d[1]) + "," + std::to_string(d[2]) + "," +
           std::to_string(d[3]);
}

// A compact description of a kyoku result, so that expected results read as one line.
std::string describe(const KyokuResult& r) {
    if (auto* draw = std::get_if<Draw>(&r)) return "draw(" + deltas_text(draw->deltas) + ")";
    std::string out = "wins[";
    for (const Win& w : std::get<Wins>(r).wins)
        out += std::to_string(w.actor) + ">" + std::to_string(w.target) + "(" + deltas_text(w.deltas) + ");";
    return out + "]";
}

std::string error_name(ModelError e) {
    switch (e) {
        case ModelError::ThreePlayer: return "ThreePlayer";
        case ModelError::InvalidWinDetails: return "InvalidWinDetails";
    }
    return "?";
}

// "first=N" on success, the error's name otherwise.
std::string judge(std::string disp) {
    auto game = build_game(log_with(std::move(disp)));
    if (!game) return error_name(game.error());
    return "first=" + std::to_string(game->kyoku_first);
}

std::string result_of(std::vector<ResultItem> result) {
    auto game = build_game(log_with_result(std::move(result)));
    if (!game) return error_name(game.error());
    if (game->kyokus.size() != 1) return "kyokus=" + std::to_string(game->kyokus.size());
    return describe(game->kyokus[0].result);
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Rule text

TEST(GameRuleText, MarkersDecideKyokuFirstAndThreePlayer) {
    using namespace std::string_literals;
    struct Case {
        std::string disp;
        const char* expected;
    };
    const std::vector<Case> cases = {
        {"", "first=0"},
        {"四般南喰赤", "first=0"},
        {"四鳳東喰赤", "first=4"},
        {"東", "first=4"},
        {"般南喰赤東", "first=4"},
        {"East", "first=4"},
        {"Tonpuu (East only)", "first=4"},
        {"NorthEastern", "first=4"},  // inside a longer word
        {"east", "first=0"},          // case-sensitive
        {"EAST", "first=0"},
        {"Eas t", "first=0"},
        // A character sharing two of its three bytes with the marker is not the marker.
        {"\xE6\x9D\xB2", "first=0"},  // U+6772, one above 東
        {"\xE6\x9D", "first=0"},      // a cut-off marker
        {"三般東喰赤", "ThreePlayer"},
        {"三", "ThreePlayer"},
        {"East 3-Player", "ThreePlayer"},
        {"x3-Playery", "ThreePlayer"},
        {"3-player", "first=0"},      // case-sensitive as well
        {"3 Player", "first=0"},
        {"\xE4\xB8\x8A", "first=0"},  // U+4E0A, one above 三
        // Bytes after a NUL still count: the text is searched as bytes, not as a C string.
        {"x\0East"s, "first=4"},
        {"x\0\xE6\x9D\xB1"s, "first=4"},
        {"East\0\xE4\xB8\x89"s, "ThreePlayer"},
        {"\0003-Player"s, "ThreePlayer"},
    };
    for (const Case& c : cases) EXPECT_EQ(judge(c.disp), c.expected) << "disp: " << c.disp;
}

TEST(GameRuleText, ThreePlayerIsJudgedBeforeAnyKyoku) {
    // The only kyoku has broken win details; the rule text alone decides.
    std::vector<LogEntry> entries;
    entries.push_back(entry({text(kWin), delta(0, 0, 0, 0), detail({})}));
    auto game = build_game(log_with("三般南", std::move(entries)));
    ASSERT_FALSE(game.has_value());
    EXPECT_EQ(game.error(), ModelError::ThreePlayer);
}

TEST(GameRuleText, AkaFlagFromAnyRedFiveCount) {
    struct Case {
        std::uint8_t aka, aka51, aka52, aka53;
        bool expected;
    };
    const std::vector<Case> cases = {
        {0, 0, 0, 0, false}, {1, 0, 0, 0, true},   {0, 1, 0, 0, true},
        {0, 0, 1, 0, true},  {0, 0, 0, 2, true},   {255, 0, 0, 0, true},
        {0, 0, 0, 255, true}, {1, 1, 1, 1, true},
    };
    for (const Case& c : cases) {
        RawLog raw = log_with("四般南喰赤");
        raw.rule.aka = c.aka;
        raw.rule.aka51 = c.aka51;
        raw.rule.aka52 = c.aka52;
        raw.rule.aka53 = c.aka53;
        auto game = build_game(std::move(raw));
        ASSERT_TRUE(game.has_value());
        EXPECT_EQ(game->aka_flag, c.expected)
            << int(c.aka) << " " << int(c.aka51) << " " << int(c.aka52) << " " << int(c.aka53);
    }
}

// ---------------------------------------------------------------------------------------------
// Results

TEST(GameResult, Condensation) {
    struct Case {
        const char* what;
        std::vector<ResultItem> result;
        const char* expected;
    };
    const std::vector<Case> cases = {
        {"empty", {}, "draw(0,0,0,0)"},
        {"delta first", {delta(1, 2, 3, 4)}, "draw(0,0,0,0)"},
        {"detail first", {who(1, 2), delta(1, 2, 3, 4)}, "draw(0,0,0,0)"},
        {"draw with deltas", {text("流局"), delta(1500, -1500, 1500, -1500)}, "draw(1500,-1500,1500,-1500)"},
        {"draw without deltas", {text("流局")}, "draw(0,0,0,0)"},
        {"draw name only, any text", {text("九種九牌")}, "draw(0,0,0,0)"},
        {"draw followed by a detail", {text("流局"), detail({u(1), u(2)}), delta(7, 7, 7, 7)}, "draw(0,0,0,0)"},
        {"draw: later items ignored", {text("全員聴牌"), delta(0, 0, 0, 0), delta(9, 9, 9, 9)}, "draw(0,0,0,0)"},
        {"draw with a broken detail is no error", {text("流局"), detail({})}, "draw(0,0,0,0)"},
        {"near-marker text is a draw", {text("和了 "), delta(8000, -8000, 0, 0), who(0, 1)},
         "draw(8000,-8000,0,0)"},
        {"half a marker is a draw", {text("和"), delta(1, 1, 1, 1)}, "draw(1,1,1,1)"},
        {"marker alone", {text(kWin)}, "wins[]"},
        {"marker and one item", {text(kWin), delta(0, 8000, -8000, 0)}, "wins[]"},
        {"one win", {text(kWin), delta(0, 8000, -8000, 0), who(1, 2)}, "wins[1>2(0,8000,-8000,0);]"},
        {"tsumo win", {text(kWin), delta(-1000, 3000, -1000, -1000), who(1, 1)},
         "wins[1>1(-1000,3000,-1000,-1000);]"},
        {"double ron in log order",
         {text(kWin), delta(0, 0, -8000, 8000), who(3, 2), delta(1000, 0, -1000, 0), who(0, 2)},
         "wins[3>2(0,0,-8000,8000);0>2(1000,0,-1000,0);]"},
        {"unpaired last item ignored",
         {text(kWin), delta(0, 0, -8000, 8000), who(3, 2), delta(1000, 0, -1000, 0)},
         "wins[3>2(0,0,-8000,8000);]"},
        {"wrong order is skipped", {text(kWin), who(1, 2), delta(0, 8000, -8000, 0)}, "wins[]"},
        // Pairs are (2,3), (4,5): a win standing across a pair boundary is not a win.
        {"pairs are fixed",
         {text(kWin), delta(5, 5, 5, 5), delta(0, 8000, -8000, 0), who(1, 2)}, "wins[]"},
        {"skipped pair then win",
         {text(kWin), who(0, 0), delta(9, 9, 9, 9), delta(0, 8000, -8000, 0), who(1, 2)},
         "wins[1>2(0,8000,-8000,0);]"},
        {"text pair skipped", {text(kWin), text("x"), who(1, 2), delta(1, 0, 0, -1), who(0, 3)},
         "wins[0>3(1,0,0,-1);]"},
        // A skipped pair's detail is never examined.
        {"skipped pair with broken detail", {text(kWin), detail({}), delta(1, 2, 3, 4)}, "wins[]"},
        {"two details", {text(kWin), detail({s("x")}), detail({u(1), u(1)})}, "wins[]"},
        {"only the first two values are read", {text(kWin), delta(0, 1, 0, -1), detail({u(1), u(3), null(), s("z")})},
         "wins[1>3(0,1,0,-1);]"},
        {"out-of-place values pass through", {text(kWin), delta(-2147483647 - 1, 2147483647, 0, 0), who(9, 200)},
         "wins[9>200(-2147483648,2147483647,0,0);]"},
    };
    for (const Case& c : cases) EXPECT_EQ(result_of(c.result), c.expected) << c.what;
}

TEST(GameResult, ActorAndTargetFromNumberCategories) {
    struct Case {
        JsonValue actor, target;
        int expected_actor, expected_target;
    };
    const std::vector<Case> cases = {
        {u(257), u(0), 1, 0},
        {u(0), u(257), 0, 1},
        {u(256), u(511), 0, 255},
        {u(std::numeric_limits<std::uint64_t>::max()), u(3), 255, 3},
        {u(0x1'0000'0002ull), u(2), 2, 2},
        {i(-1), f(1.5), 0, 0},
        {f(1.5), i(-1), 0, 0},
        {f(2.0), u(3), 0, 3},  // a float is 0 even when its value is whole
        {u(3), f(3.0), 3, 0},
        {i(std::numeric_limits<std::int64_t>::min()), i(-255), 0, 0},
        {f(-0.0), f(1e300), 0, 0},
    };
    for (std::size_t n = 0; n < cases.size(); ++n) {
        const Case& c = cases[n];
        auto game = build_game(log_with_result({text(kWin), delta(1, 2, 3, 4), detail({c.actor, c.target})}));
        ASSERT_TRUE(game.has_value()) << "case " << n;
        ASSERT_EQ(game->kyokus.size(), 1u);
        const auto* wins = std::get_if<Wins>(&game->kyokus[0].result);
        ASSERT_NE(wins, nullptr) << "case " << n;
        ASSERT_EQ(wins->wins.size(), 1u) << "case " << n;
        EXPECT_EQ(wins->wins[0].actor, c.expected_actor) << "case " << n;
        EXPECT_EQ(wins->wins[0].target, c.expected_target) << "case " << n;
        EXPECT_EQ(wins->wins[0].deltas, (Deltas{1, 2, 3, 4})) << "case " << n;
    }
}

TEST(GameResult, InvalidWinDetails) {
    struct Case {
        const char* what;
        std::vector<JsonValue> values;
    };
    const std::vector<Case> cases = {
        {"empty", {}},
        {"one value", {u(1)}},
        {"string first", {s("1"), u(2)}},
        {"string second", {u(1), s("2")}},
        {"null first", {null(), u(2)}},
        {"null second", {u(1), null()}},
        {"boolean first", {boolean(true), u(2)}},
        {"boolean second", {u(1), boolean(false)}},
        {"array first", {JsonValue{JsonArray{u(1)}}, u(2)}},
        {"object second", {u(1), JsonValue{JsonObject{}}}},
    };
    for (const Case& c : cases) {
        auto game = build_game(log_with_result({text(kWin), delta(0, 0, 0, 0), detail(c.values)}));
        ASSERT_FALSE(game.has_value()) << c.what;
        EXPECT_EQ(game.error(), ModelError::InvalidWinDetails) << c.what;
    }
}

TEST(GameResult, InvalidWinDetailsAnywhereFailsTheGame) {
    // The second win of the first kyoku.
    EXPECT_EQ(result_of({text(kWin), delta(0, 0, 0, 0), who(1, 0), delta(0, 0, 0, 0), detail({u(2)})}),
              "InvalidWinDetails");
    // A later kyoku, after a good one.
    std::vector<LogEntry> entries;
    entries.push_back(entry({text(kWin), delta(0, 1000, -1000, 0), who(1, 2)}));
    entries.push_back(entry({text("流局")}));
    entries.push_back(entry({text(kWin), delta(0, 1000, -1000, 0), detail({s("?"), u(2)})}));
    auto game = build_game(log_with("四般南", std::move(entries)));
    ASSERT_FALSE(game.has_value());
    EXPECT_EQ(game.error(), ModelError::InvalidWinDetails);
}

// ---------------------------------------------------------------------------------------------
// Everything else passes through

TEST(GameModel, NoKyoku) {
    auto game = build_game(log_with(""));
    ASSERT_TRUE(game.has_value());
    EXPECT_TRUE(game->kyokus.empty());
    EXPECT_EQ(game->kyoku_first, 0);
    EXPECT_FALSE(game->aka_flag);
    EXPECT_EQ(game->names, (std::array<std::string, 4>{"A", "B", "C", "D"}));
}

TEST(GameModel, LogPassesThroughUnchanged) {
    // Two kyokus with distinct values everywhere, so that a swapped or dropped field shows.
    auto hand = [](int first) {
        std::array<Tile, 13> h{};
        const int codes[] = {11, 12, 13, 14, 15, 16, 17, 18, 19, 21, 22, 23, 24, 25, 26, 27, 28};
        for (int k = 0; k < 13; ++k) h[k] = tile(codes[(first + 12 - k) % 17]);  // not sorted
        return h;
    };
    std::vector<LogEntry> entries;
    for (int n = 0; n < 2; ++n) {
        LogEntry e;
        e.header = {static_cast<std::uint8_t>(13 + n), static_cast<std::uint8_t>(2 + n),
                    static_cast<std::uint8_t>(200 + n)};
        e.scores = {31000 + n, -2500, 24000, 47500};
        e.dora_indicators = {tile(52), tile(0), tile(47)};
        if (n == 1) e.dora_indicators.push_back(tile(11));
        e.ura_indicators = n == 0 ? std::vector<Tile>{tile(19), tile(53)} : std::vector<Tile>{};
        for (int seat = 0; seat < 4; ++seat) {
            e.seats[seat].haipai = hand(seat + 4 * n);
            e.seats[seat].take_entries = {tile(11 + seat), BareNumber{60}, std::string("c121314"),
                                          std::string(seat, 'x')};
            e.seats[seat].discard_entries = {BareNumber{static_cast<std::uint8_t>(seat)}, tile(0),
                                             std::string("r") + std::to_string(21 + seat)};
        }
        e.result = n == 0 ? std::vector<ResultItem>{text("流局"), delta(-1000, 3000, -1000, -1000)}
                          : std::vector<ResultItem>{text(kWin), delta(0, 0, 8000, -8000), who(2, 3)};
        entries.push_back(std::move(e));
    }
    const std::vector<LogEntry> original = entries;
    RawLog raw = log_with("四般東喰赤", std::move(entries));
    raw.name = {"Ｎａｍｅ", "a\"b", "", "\x01\t"};
    raw.rule.aka53 = 1;
    raw.ratingc = "PF4";
    raw.lobby = 0;

    auto game = build_game(std::move(raw));
    ASSERT_TRUE(game.has_value());
    EXPECT_EQ(game->names, (std::array<std::string, 4>{"Ｎａｍｅ", "a\"b", "", "\x01\t"}));
    EXPECT_EQ(game->kyoku_first, 4);
    EXPECT_TRUE(game->aka_flag);
    ASSERT_EQ(game->kyokus.size(), 2u);
    for (int n = 0; n < 2; ++n) {
        const Kyoku& k = game->kyokus[n];
        const LogEntry& e = original[n];
        EXPECT_EQ(k.kyoku, e.header[0]);
        EXPECT_EQ(k.honba, e.header[1]);
        EXPECT_EQ(k.kyotaku, e.header[2]);
        EXPECT_EQ(k.scores, e.scores);
        EXPECT_EQ(k.dora_indicators, e.dora_indicators);
        EXPECT_EQ(k.ura_indicators, e.ura_indicators);
        for (int seat = 0; seat < 4; ++seat) {
            EXPECT_EQ(k.seats[seat].haipai, e.seats[seat].haipai) << n << "/" << seat;
            EXPECT_EQ(k.seats[seat].take_entries, e.seats[seat].take_entries) << n << "/" << seat;
            EXPECT_EQ(k.seats[seat].discard_entries, e.seats[seat].discard_entries) << n << "/" << seat;
        }
    }
    EXPECT_EQ(describe(game->kyokus[0].result), "draw(-1000,3000,-1000,-1000)");
    EXPECT_EQ(describe(game->kyokus[1].result), "wins[2>3(0,0,8000,-8000);]");
}
