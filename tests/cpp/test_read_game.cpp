// read_log, the game side: rule text markers, the red-five flag, result condensation, win
// details, and the log's values passing through to the columns unchanged.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "columns_helpers.hpp"
#include "tessmar/read/reader.hpp"

using namespace tessmar;
using tessmar::test::tile;

namespace {


// A JSON string holding exactly the bytes of `s`.
std::string json_string(std::string_view s) {
    std::string out = "\"";
    for (char c : s) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (static_cast<unsigned char>(c) < 0x20) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\u%04x", static_cast<unsigned>(c));
            out += buf;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

std::string join(const std::vector<std::string>& parts) {
    std::string s = "[";
    for (std::size_t i = 0; i < parts.size(); ++i) s += (i ? "," : "") + parts[i];
    return s + "]";
}

// Result items as the log writes them.
const std::string kWin = json_string("和了");
std::string text(const char* t) { return json_string(t); }
std::string delta(std::int32_t a, std::int32_t b, std::int32_t c, std::int32_t d) {
    return join({std::to_string(a), std::to_string(b), std::to_string(c), std::to_string(d)});
}
// A detail item naming winner and source seat, followed by the values a real log carries.
std::string who(unsigned actor, unsigned target) {
    return join({std::to_string(actor), std::to_string(target), std::to_string(actor), text("30符1飜1000点"),
                 text("立直(1飜)")});
}

// One log entry with the given result items and placeholder values elsewhere.
std::string entry(const std::vector<std::string>& result) {
    const std::string hand = "[0,0,0,0,0,0,0,0,0,0,0,0,0]";
    std::string s = "[[0,0,0],[25000,25000,25000,25000],[41],[]";
    for (int seat = 0; seat < 4; ++seat) s += "," + hand + ",[],[]";
    return s + "," + join(result) + "]";
}

std::string log_with(std::string_view disp, const std::vector<std::string>& entries = {}) {
    return R"({"log":)" + join(entries) + R"(,"name":["A","B","C","D"],"rule":{"disp":)" + json_string(disp) + "}}";
}

std::string kind_name(ReadError::Kind k) {
    switch (k) {
        case ReadError::Kind::Json: return "Json";
        case ReadError::Kind::ThreePlayer: return "ThreePlayer";
        case ReadError::Kind::InvalidWinDetails: return "InvalidWinDetails";
    }
    return "?";
}

std::string error_of(const ReadError& e) {
    return e.kind == ReadError::Kind::Json ? "Json: " + e.message : kind_name(e.kind);
}

std::string deltas_text(const Deltas& d) {
    return std::to_string(d[0]) + "," + std::to_string(d[1]) + "," + std::to_string(d[2]) + "," +
           std::to_string(d[3]);
}

// A compact description of a kyoku result, so that expected results read as one line.
std::string describe(const GameColumns& g, const KyokuColumns& k) {
    if (k.is_draw) return "draw(" + deltas_text(k.draw_deltas) + ")";
    std::string out = "wins[";
    for (const Win& w : g.kyoku_wins(k))
        out += std::to_string(w.actor) + ">" + std::to_string(w.target) + "(" + deltas_text(w.deltas) + ");";
    return out + "]";
}

// "first=N" on success, the error's name otherwise.
std::string judge(std::string_view disp) {
    auto game = read_log(log_with(disp));
    if (!game) return error_of(game.error());
    return "first=" + std::to_string(game->kyoku_first);
}

std::string result_of(const std::vector<std::string>& result) {
    auto game = read_log(log_with("四般南喰赤", {entry(result)}));
    if (!game) return error_of(game.error());
    if (game->kyokus.size() != 1) return "kyokus=" + std::to_string(game->kyokus.size());
    return describe(*game, game->kyokus[0]);
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Rule text

TEST(ReadRuleText, MarkersDecideKyokuFirstAndThreePlayer) {
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
        {"三般東喰赤", "ThreePlayer"},
        {"三", "ThreePlayer"},
        {"East 3-Player", "ThreePlayer"},
        {"x3-Playery", "ThreePlayer"},
        {"3-player", "first=0"},      // case-sensitive as well
        {"3 Player", "first=0"},
        {"\xE4\xB8\x8A", "first=0"},  // U+4E0A, one above 三
        // Bytes after a NUL (written \u0000) still count: the text is searched as bytes.
        {"x\0East"s, "first=4"},
        {"x\0\xE6\x9D\xB1"s, "first=4"},
        {"East\0\xE4\xB8\x89"s, "ThreePlayer"},
        {"\0003-Player"s, "ThreePlayer"},
    };
    for (const Case& c : cases) EXPECT_EQ(judge(c.disp), c.expected) << "disp: " << c.disp;
}

TEST(ReadRuleText, ThreePlayerIsJudgedBeforeAnyKyoku) {
    // The only kyoku has broken win details; the rule text alone decides.
    auto game = read_log(log_with("三般南", {entry({kWin, delta(0, 0, 0, 0), "[]"})}));
    ASSERT_FALSE(game.has_value());
    EXPECT_EQ(game.error().kind, ReadError::Kind::ThreePlayer);
}

TEST(ReadRuleText, AkaFlagFromAnyRedFiveCount) {
    struct Case {
        int aka, aka51, aka52, aka53;
        bool expected;
    };
    const std::vector<Case> cases = {
        {0, 0, 0, 0, false}, {1, 0, 0, 0, true},   {0, 1, 0, 0, true},
        {0, 0, 1, 0, true},  {0, 0, 0, 2, true},   {255, 0, 0, 0, true},
        {0, 0, 0, 255, true}, {1, 1, 1, 1, true},
    };
    for (const Case& c : cases) {
        const std::string rule = R"({"disp":"四般南喰赤","aka":)" + std::to_string(c.aka) + R"(,"aka51":)" +
                                 std::to_string(c.aka51) + R"(,"aka52":)" + std::to_string(c.aka52) +
                                 R"(,"aka53":)" + std::to_string(c.aka53) + "}";
        auto game = read_log(R"({"log":[],"name":["A","B","C","D"],"rule":)" + rule + "}");
        ASSERT_TRUE(game.has_value()) << rule;
        EXPECT_EQ(game->aka_flag, c.expected) << rule;
    }
}

// ---------------------------------------------------------------------------------------------
// Results

TEST(ReadResult, Condensation) {
    struct Case {
        const char* what;
        std::vector<std::string> result;
        const char* expected;
    };
    const std::vector<Case> cases = {
        {"empty", {}, "draw(0,0,0,0)"},
        {"delta first", {delta(1, 2, 3, 4)}, "draw(0,0,0,0)"},
        {"detail first", {who(1, 2), delta(1, 2, 3, 4)}, "draw(0,0,0,0)"},
        {"draw with deltas", {text("流局"), delta(1500, -1500, 1500, -1500)}, "draw(1500,-1500,1500,-1500)"},
        {"draw without deltas", {text("流局")}, "draw(0,0,0,0)"},
        {"draw name only, any text", {text("九種九牌")}, "draw(0,0,0,0)"},
        {"draw followed by a detail", {text("流局"), "[1,2]", delta(7, 7, 7, 7)}, "draw(0,0,0,0)"},
        {"draw: later items ignored", {text("全員聴牌"), delta(0, 0, 0, 0), delta(9, 9, 9, 9)}, "draw(0,0,0,0)"},
        {"draw with a broken detail is no error", {text("流局"), "[]"}, "draw(0,0,0,0)"},
        {"near-marker text is a draw", {text("和了 "), delta(8000, -8000, 0, 0), who(0, 1)},
         "draw(8000,-8000,0,0)"},
        {"half a marker is a draw", {text("和"), delta(1, 1, 1, 1)}, "draw(1,1,1,1)"},
        {"marker alone", {kWin}, "wins[]"},
        {"marker and one item", {kWin, delta(0, 8000, -8000, 0)}, "wins[]"},
        {"one win", {kWin, delta(0, 8000, -8000, 0), who(1, 2)}, "wins[1>2(0,8000,-8000,0);]"},
        {"tsumo win", {kWin, delta(-1000, 3000, -1000, -1000), who(1, 1)}, "wins[1>1(-1000,3000,-1000,-1000);]"},
        {"double ron in log order",
         {kWin, delta(0, 0, -8000, 8000), who(3, 2), delta(1000, 0, -1000, 0), who(0, 2)},
         "wins[3>2(0,0,-8000,8000);0>2(1000,0,-1000,0);]"},
        {"unpaired last item ignored", {kWin, delta(0, 0, -8000, 8000), who(3, 2), delta(1000, 0, -1000, 0)},
         "wins[3>2(0,0,-8000,8000);]"},
        {"wrong order is skipped", {kWin, who(1, 2), delta(0, 8000, -8000, 0)}, "wins[]"},
        // Pairs are (2,3), (4,5): a win standing across a pair boundary is not a win.
        {"pairs are fixed", {kWin, delta(5, 5, 5, 5), delta(0, 8000, -8000, 0), who(1, 2)}, "wins[]"},
        {"skipped pair then win", {kWin, who(0, 0), delta(9, 9, 9, 9), delta(0, 8000, -8000, 0), who(1, 2)},
         "wins[1>2(0,8000,-8000,0);]"},
        {"text pair skipped", {kWin, text("x"), who(1, 2), delta(1, 0, 0, -1), who(0, 3)}, "wins[0>3(1,0,0,-1);]"},
        // A skipped pair's detail is never examined.
        {"skipped pair with broken detail", {kWin, "[]", delta(1, 2, 3, 4)}, "wins[]"},
        {"two details", {kWin, R"(["x"])", "[1,1]"}, "wins[]"},
        {"only the first two values are read", {kWin, delta(0, 1, 0, -1), R"([1,3,null,"z"])"},
         "wins[1>3(0,1,0,-1);]"},
        {"out-of-place values pass through", {kWin, delta(-2147483647 - 1, 2147483647, 0, 0), who(9, 200)},
         "wins[9>200(-2147483648,2147483647,0,0);]"},
    };
    for (const Case& c : cases) EXPECT_EQ(result_of(c.result), c.expected) << c.what;
}

TEST(ReadResult, ActorAndTargetFromNumberCategories) {
    // A non-negative integer gives its low byte; a negative integer or any number with a
    // fraction or exponent gives 0, even when its value is whole.
    struct Case {
        const char *actor, *target;
        int expected_actor, expected_target;
    };
    const std::vector<Case> cases = {
        {"257", "0", 1, 0},
        {"0", "257", 0, 1},
        {"256", "511", 0, 255},
        {"18446744073709551615", "3", 255, 3},
        {"4294967298", "2", 2, 2},
        {"-1", "1.5", 0, 0},
        {"1.5", "-1", 0, 0},
        {"2.0", "3", 0, 3},
        {"3", "3.0", 3, 0},
        {"-9223372036854775808", "-255", 0, 0},
        {"-0.0", "1e300", 0, 0},
    };
    for (const Case& c : cases) {
        const std::string detail = "[" + std::string(c.actor) + "," + c.target + "]";
        auto game = read_log(log_with("四般南喰赤", {entry({kWin, delta(1, 2, 3, 4), detail})}));
        ASSERT_TRUE(game.has_value()) << detail << ": " << game.error().message;
        ASSERT_EQ(game->kyokus.size(), 1u);
        const auto wins = game->kyoku_wins(game->kyokus[0]);
        ASSERT_EQ(wins.size(), 1u) << detail;
        EXPECT_EQ(wins[0].actor, c.expected_actor) << detail;
        EXPECT_EQ(wins[0].target, c.expected_target) << detail;
        EXPECT_EQ(wins[0].deltas, (Deltas{1, 2, 3, 4})) << detail;
    }
}

TEST(ReadResult, InvalidWinDetails) {
    const std::vector<std::pair<const char*, std::string>> cases = {
        {"empty", "[]"},
        {"one value", "[1]"},
        {"string first", R"(["1",2])"},
        {"string second", R"([1,"2"])"},
        {"null first", "[null,2]"},
        {"null second", "[1,null]"},
        {"boolean first", "[true,2]"},
        {"boolean second", "[1,false]"},
        {"array first", "[[1],2]"},
        {"object second", "[1,{}]"},
    };
    for (const auto& [what, detail] : cases)
        EXPECT_EQ(result_of({kWin, delta(0, 0, 0, 0), detail}), "InvalidWinDetails") << what;
}

TEST(ReadResult, InvalidWinDetailsAnywhereFailsTheGame) {
    // The second win of the first kyoku.
    EXPECT_EQ(result_of({kWin, delta(0, 0, 0, 0), who(1, 0), delta(0, 0, 0, 0), "[2]"}), "InvalidWinDetails");
    // A later kyoku, after a good one.
    auto game = read_log(log_with("四般南", {entry({kWin, delta(0, 1000, -1000, 0), who(1, 2)}), entry({text("流局")}),
                                            entry({kWin, delta(0, 1000, -1000, 0), R"(["?",2])"})}));
    ASSERT_FALSE(game.has_value());
    EXPECT_EQ(game.error().kind, ReadError::Kind::InvalidWinDetails);
}

// ---------------------------------------------------------------------------------------------
// Everything else passes through

TEST(ReadModel, NoKyoku) {
    auto game = read_log(log_with(""));
    ASSERT_TRUE(game.has_value());
    EXPECT_TRUE(game->kyokus.empty());
    EXPECT_EQ(game->kyoku_first, 0);
    EXPECT_FALSE(game->aka_flag);
    EXPECT_EQ(game->names, (std::array<std::string, 4>{"A", "B", "C", "D"}));
}

TEST(ReadModel, LogPassesThroughUnchanged) {
    // Two kyokus with distinct values everywhere, so that a swapped or dropped field shows.
    // A column entry as the log writes it and as the columns should hold it.
    struct Item {
        Entry::Kind kind;
        int value;  // Tile: its code; Number: the number
        std::string text;
        std::string json() const { return kind == Entry::Kind::Text ? json_string(text) : std::to_string(value); }
        bool held_by(const Entry& e) const {
            if (e.kind != kind) return false;
            if (kind == Entry::Kind::Tile) return e.tile() == tile(value);
            if (kind == Entry::Kind::Number) return e.value == value;
            return !e.too_long() && e.notation() == text;
        }
    };
    struct Seat {
        std::array<int, 13> hand;
        std::vector<Item> takes, discards;
    };
    struct Kyoku {
        std::array<int, 3> header;
        std::array<std::int32_t, 4> scores;
        std::vector<int> dora, ura;
        std::array<Seat, 4> seats;
        std::vector<std::string> result;
    };
    auto hand = [](int first) {
        std::array<int, 13> h{};
        const int codes[] = {11, 12, 13, 14, 15, 16, 17, 18, 19, 21, 22, 23, 24, 25, 26, 27, 28};
        for (int k = 0; k < 13; ++k) h[k] = codes[(first + 12 - k) % 17];  // not sorted
        return h;
    };
    auto codes = [](const auto& seq) {
        std::vector<std::string> parts;
        for (int c : seq) parts.push_back(std::to_string(c));
        return join(parts);
    };
    auto items = [](const std::vector<Item>& seq) {
        std::vector<std::string> parts;
        for (const Item& i : seq) parts.push_back(i.json());
        return join(parts);
    };
    std::vector<Kyoku> kyokus;
    std::vector<std::string> entries;
    for (int n = 0; n < 2; ++n) {
        Kyoku e;
        e.header = {13 + n, 2 + n, 200 + n};
        e.scores = {31000 + n, -2500, 24000, 47500};
        e.dora = {52, 0, 47};
        if (n == 1) e.dora.push_back(11);
        e.ura = n == 0 ? std::vector<int>{19, 53} : std::vector<int>{};
        for (int seat = 0; seat < 4; ++seat) {
            e.seats[seat].hand = hand(seat + 4 * n);
            e.seats[seat].takes = {{Entry::Kind::Tile, 11 + seat, ""},
                                   {Entry::Kind::Number, 60, ""},
                                   {Entry::Kind::Text, 0, "c121314"},
                                   {Entry::Kind::Text, 0, std::string(static_cast<std::size_t>(seat), 'x')}};
            // A bare number in the log is an integer that is no tile code, so 1..4 rather than 0..3.
            e.seats[seat].discards = {{Entry::Kind::Number, seat + 1, ""},
                                      {Entry::Kind::Tile, 0, ""},
                                      {Entry::Kind::Text, 0, "r" + std::to_string(21 + seat)}};
        }
        e.result = n == 0 ? std::vector<std::string>{text("流局"), delta(-1000, 3000, -1000, -1000)}
                          : std::vector<std::string>{kWin, delta(0, 0, 8000, -8000), who(2, 3)};
        std::vector<std::string> parts = {codes(e.header), codes(e.scores), codes(e.dora), codes(e.ura)};
        for (const Seat& s : e.seats) {
            parts.push_back(codes(s.hand));
            parts.push_back(items(s.takes));
            parts.push_back(items(s.discards));
        }
        parts.push_back(join(e.result));
        entries.push_back(join(parts));
        kyokus.push_back(std::move(e));
    }
    const std::array<std::string, 4> names = {"Ｎａｍｅ", "a\"b", "", "\x01\t"};
    const std::string text = R"({"log":)" + join(entries) + R"(,"name":)" +
                             join({json_string(names[0]), json_string(names[1]), json_string(names[2]),
                                   json_string(names[3])}) +
                             R"(,"rule":{"disp":"四般東喰赤","aka53":1},"ratingc":"PF4","lobby":0})";

    auto game = read_log(text);
    ASSERT_TRUE(game.has_value()) << game.error().message;
    EXPECT_EQ(game->names, names);
    EXPECT_EQ(game->kyoku_first, 4);
    EXPECT_TRUE(game->aka_flag);
    ASSERT_EQ(game->kyokus.size(), 2u);
    auto tiles = [](const std::vector<int>& c) {
        std::vector<Tile> t;
        for (int code : c) t.push_back(tile(code));
        return t;
    };
    for (std::size_t n = 0; n < 2; ++n) {
        const KyokuColumns& k = game->kyokus[n];
        const Kyoku& e = kyokus[n];
        EXPECT_EQ(k.kyoku, e.header[0]);
        EXPECT_EQ(k.honba, e.header[1]);
        EXPECT_EQ(k.kyotaku, e.header[2]);
        EXPECT_EQ(k.scores, e.scores);
        EXPECT_EQ(std::vector<Tile>(game->dora(k).begin(), game->dora(k).end()), tiles(e.dora)) << n;
        EXPECT_EQ(std::vector<Tile>(game->ura(k).begin(), game->ura(k).end()), tiles(e.ura)) << n;
        for (std::size_t seat = 0; seat < 4; ++seat) {
            const Seat& s = e.seats[seat];
            for (std::size_t i = 0; i < 13; ++i) EXPECT_EQ(k.haipai[seat][i], tile(s.hand[i])) << n << "/" << seat;
            const auto takes = game->takes(k, seat);
            const auto discards = game->discards(k, seat);
            ASSERT_EQ(takes.size(), s.takes.size()) << n << "/" << seat;
            ASSERT_EQ(discards.size(), s.discards.size()) << n << "/" << seat;
            for (std::size_t i = 0; i < takes.size(); ++i)
                EXPECT_TRUE(s.takes[i].held_by(takes[i])) << n << "/" << seat << " take " << i;
            for (std::size_t i = 0; i < discards.size(); ++i)
                EXPECT_TRUE(s.discards[i].held_by(discards[i])) << n << "/" << seat << " discard " << i;
        }
    }
    EXPECT_EQ(describe(*game, game->kyokus[0]), "draw(-1000,3000,-1000,-1000)");
    EXPECT_EQ(describe(*game, game->kyokus[1]), "wins[2>3(0,0,8000,-8000);]");
}
