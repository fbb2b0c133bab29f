// read_log, the JSON side: what the strict reader accepts and refuses, and where each value of
// the log's shape lands in the columns.
#include <gtest/gtest.h>

#include <array>
#include <boost/json/parse.hpp>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "tessmar/read/reader.hpp"

// Boost.JSON's implementation, compiled once for the comparison below: the core does not carry it.
#include <boost/json/src.hpp>

using namespace tessmar;

namespace {

// ---- a canonical text of the columns, to compare results and state expectations briefly ----

template <class Seq, class F>
std::string list(const Seq& seq, F f) {
    std::string s = "[";
    bool first = true;
    for (const auto& x : seq) {
        if (!first) s += ',';
        s += f(x);
        first = false;
    }
    s += ']';
    return s;
}

std::string to_text(std::int64_t v) { return std::to_string(v); }
std::string quote(const std::string& s) { return "\"" + s + "\""; }
std::string dump_tile(Tile t) { return std::string(tile_name(t)); }

// A text longer than Entry::kMaxText shows its kept bytes and a '+'.
std::string dump_entry(const Entry& e) {
    switch (e.kind) {
        case Entry::Kind::Tile: return dump_tile(e.tile());
        case Entry::Kind::Number: return "#" + std::to_string(e.value);
        case Entry::Kind::Text: return quote(std::string(e.notation())) + (e.too_long() ? "+" : "");
    }
    return "?";
}

std::string dump_result(const GameColumns& g, const KyokuColumns& k) {
    if (k.is_draw) return "draw" + list(k.draw_deltas, to_text);
    std::string s = "wins[";
    for (const Win& w : g.kyoku_wins(k))
        s += std::to_string(w.actor) + ">" + std::to_string(w.target) + list(w.deltas, to_text) + ";";
    return s + "]";
}

std::string dump(const GameColumns& g, const KyokuColumns& k) {
    std::string s = "header=" + list(std::array<int, 3>{k.kyoku, k.honba, k.kyotaku}, to_text);
    s += " scores=" + list(k.scores, to_text);
    s += " dora=" + list(g.dora(k), dump_tile) + " ura=" + list(g.ura(k), dump_tile);
    for (std::size_t seat = 0; seat < 4; ++seat) {
        s += " | " + list(k.haipai[seat], dump_tile) + " take=" + list(g.takes(k, seat), dump_entry);
        s += " discard=" + list(g.discards(k, seat), dump_entry);
    }
    return s + " result=" + dump_result(g, k);
}

std::string dump(const GameColumns& g) {
    std::string s = "name=" + list(g.names, quote) + " first=" + std::to_string(g.kyoku_first) +
                    " aka=" + std::to_string(g.aka_flag);
    for (const KyokuColumns& k : g.kyokus) s += "\n" + dump(g, k);
    return s;
}

struct Outcome {
    bool ok = false;
    ReadError::Kind kind = ReadError::Kind::Json;
    std::string text;  // dump of the columns, or the diagnostic
    std::size_t offset = 0;
    GameColumns game;
};

Outcome read(const std::string& text) {
    Outcome o;
    auto r = read_log(text);
    o.ok = r.has_value();
    if (r) {
        o.text = dump(*r);
        o.game = std::move(*r);
    } else {
        o.kind = r.error().kind;
        o.text = r.error().message;
        o.offset = r.error().offset;
        EXPECT_FALSE(r.error().message.empty());
        EXPECT_LE(r.error().offset, text.size()) << r.error().message;
    }
    return o;
}

// A refusal of the text as JSON or as the log's shape (not a model error).
::testing::AssertionResult refused(const std::string& text) {
    Outcome o = read(text);
    if (o.ok) return ::testing::AssertionFailure() << "accepted: " << o.text;
    if (o.kind != ReadError::Kind::Json) return ::testing::AssertionFailure() << "model error: " << o.text;
    return ::testing::AssertionSuccess();
}

// ---- texts ----

const std::string kHand = "[11,12,13,14,15,16,17,18,19,21,22,23,24]";

// One 17-element log entry; `at` replaces elements by index.
std::string entry(const std::map<int, std::string>& at = {}) {
    std::vector<std::string> e = {"[0,0,0]", "[25000,25000,25000,25000]", "[11]", "[]"};
    for (int seat = 0; seat < 4; ++seat) {
        e.push_back(kHand);
        e.push_back("[]");
        e.push_back("[]");
    }
    e.push_back("[]");
    for (const auto& [i, text] : at) e[static_cast<std::size_t>(i)] = text;
    std::string s = "[";
    for (std::size_t i = 0; i < e.size(); ++i) {
        if (i) s += ',';
        s += e[i];
    }
    s += ']';
    return s;
}

// A log object with one kyoku; `extra` goes in front of the standard members.
std::string log_with(const std::string& entry_text, const std::string& extra = "") {
    return "{" + extra + "\"log\":[" + entry_text + "],\"name\":[\"a\",\"b\",\"c\",\"d\"],\"rule\":{\"disp\":\"r\"}}";
}

const std::string kMinimal = R"({"log":[],"name":["a","b","c","d"],"rule":{}})";

// Element 16 (the result list) holding one detail item [0, value]: a place where any JSON is read.
std::string in_read_place(const std::string& value) { return log_with(entry({{16, "[[0," + value + "]]"}})); }
// The same value under an unrecognised key, at the top level, inside "rule" and nested deeper.
std::vector<std::string> in_skipped_places(const std::string& value) {
    return {
        "{\"x\":" + value + ",\"log\":[],\"name\":[\"a\",\"b\",\"c\",\"d\"],\"rule\":{}}",
        "{\"log\":[],\"name\":[\"a\",\"b\",\"c\",\"d\"],\"rule\":{},\"x\":" + value + "}",
        "{\"log\":[],\"name\":[\"a\",\"b\",\"c\",\"d\"],\"rule\":{\"x\":" + value + ",\"aka\":0}}",
        "{\"x\":[{\"y\":[" + value + "]}],\"log\":[],\"name\":[\"a\",\"b\",\"c\",\"d\"],\"rule\":{}}",
        "[[],[\"a\",\"b\",\"c\",\"d\"],{\"x\":" + value + "},null,null,null,null,null]",
    };
}

// A result item's reading, seen through the condensed result. Placed where a win's deltas
// stand, a delta item makes the win ("D" with its deltas); placed where the detail stands,
// a detail item makes the win ("J" with its two seats) or is refused ("J!"); a text item
// does neither ("T").
std::string classify(const std::string& item) {
    Outcome d = read(log_with(entry({{16, "[\"和了\"," + item + ",[0,1]]"}})));
    if (!d.ok) return "refused: " + d.text;
    const GameColumns& g = d.game;
    if (g.wins.size() == 1) return "D" + list(g.wins[0].deltas, to_text);
    Outcome j = read(log_with(entry({{16, "[\"和了\",[1,2,3,4]," + item + "]"}})));
    if (!j.ok) return j.kind == ReadError::Kind::InvalidWinDetails ? "J!" : "refused: " + j.text;
    if (j.game.wins.size() == 1) return "J" + std::to_string(j.game.wins[0].actor) + ">" + std::to_string(j.game.wins[0].target);
    return "T";
}

}  // namespace

// ---------------------------------------------------------------------------------------

TEST(ReadSchema, MinimalLog) {
    Outcome o = read(kMinimal);
    ASSERT_TRUE(o.ok) << o.text;
    EXPECT_EQ(o.text, R"(name=["a","b","c","d"] first=0 aka=0)");
}

TEST(ReadSchema, AllFieldsAndBothForms) {
    // The rule text carries the East marker, so that its place shows in kyoku_first.
    const std::string full =
        R"({"ratingc":"PF4","lobby":7,"dan":["x","y"],"rate":[1500,1.5],"sx":["M","F"],)"
        R"("rule":{"disp":"d東","aka":1,"aka51":2,"aka52":3,"aka53":255},"name":["a","b","c","d"],"log":[]})";
    Outcome o = read(full);
    ASSERT_TRUE(o.ok) << o.text;
    EXPECT_EQ(o.text, R"(name=["a","b","c","d"] first=4 aka=1)");

    const std::string array_form = R"([[],["a","b","c","d"],["d東",1,2,3,255],"PF4",7,["x","y"],[1500,1.5],["M","F"]])";
    Outcome a = read(array_form);
    ASSERT_TRUE(a.ok) << a.text;
    EXPECT_EQ(a.text, o.text);

    Outcome nulls = read(R"([[],["a","b","c","d"],{},null,null,null,null,null])");
    ASSERT_TRUE(nulls.ok) << nulls.text;
    EXPECT_EQ(nulls.text, read(kMinimal).text);

    // A short rule array leaves the rest at their defaults; each position after the rule text
    // is a red-five count.
    const std::vector<std::pair<std::string, std::string>> short_rules = {
        {R"(["d",1])", "first=0 aka=1"}, {R"(["d",0,0,0,1])", "first=0 aka=1"},
        {R"(["d",0])", "first=0 aka=0"}, {R"(["東"])", "first=4 aka=0"}, {"[]", "first=0 aka=0"},
    };
    for (const auto& [rule, expected] : short_rules) {
        Outcome r = read(R"({"log":[],"name":["a","b","c","d"],"rule":)" + rule + "}");
        ASSERT_TRUE(r.ok) << rule << ": " << r.text;
        EXPECT_EQ(r.text, R"(name=["a","b","c","d"] )" + expected) << rule;
    }
}

TEST(ReadSchema, OptionalNullEqualsMissing) {
    for (const char* key : {"ratingc", "lobby", "dan", "rate", "sx"}) {
        Outcome o = read(R"({"log":[],"name":["a","b","c","d"],"rule":{},")" + std::string(key) + R"(":null})");
        ASSERT_TRUE(o.ok) << key << ": " << o.text;
        EXPECT_EQ(o.text, read(kMinimal).text) << key;
    }
}

TEST(ReadSchema, KyokuEntry) {
    std::map<int, std::string> at = {
        {0, "[7,2,1]"},
        {1, "[-2147483648,2147483647,0,25000]"},
        {2, "[0,53,47]"},
        {3, "[19,29]"},
        {4, "[0,11,19,21,29,31,39,41,47,51,52,53,15]"},
        {5, "[60,0,-0,255,51,\"c282627\",\"\"]"},
        {6, "[]"},
        {16, R"(["和了",[1,-2,3,-4],[1,2,3],[],[1,2,3,4,5],[1,2,3,2147483648],[0,-0,1.0,"x",null,true,false,[1,2,3,4],{"k":[{}]}]])"},
    };
    Outcome o = read(log_with(entry(at)));
    ASSERT_TRUE(o.ok) << o.text;
    ASSERT_EQ(o.game.kyokus.size(), 1u);
    const std::string hand = "[1m,2m,3m,4m,5m,6m,7m,8m,9m,1p,2p,3p,4p]";
    // Result items pair up after the marker: (delta, detail) is a win, the two pairs of
    // detail items that follow are no win.
    EXPECT_EQ(dump(o.game, o.game.kyokus[0]),
              "header=[7,2,1] scores=[-2147483648,2147483647,0,25000] dora=[?,5sr,C] ura=[9m,9p]"
              " | [?,1m,9m,1p,9p,1s,9s,E,C,5mr,5pr,5sr,5m] take=[#60,?,?,#255,5mr,\"c282627\",\"\"] discard=[]"
              " | " + hand + " take=[] discard=[] | " + hand + " take=[] discard=[] | " + hand +
              " take=[] discard=[]"
              " result=wins[1>2[1,-2,3,-4];]");
}

// Columns and hands written without whitespace, the form of most logs, read as they do
// spaced out: runs of two-digit codes (tiles, numbers that are no tile) broken by other
// entries, and a column that is one run to its end.
TEST(ReadSchema, PlainAndSpacedFormsReadAlike) {
    const std::map<int, std::string> at = {
        {4, "[47,11,19,21,29,31,39,41,51,52,53,15,12]"},
        {5, "[60,10,99,11,\"c282627\",5,100,53,0,44]"},
        {6, "[11,12,13,14,15,16,17,18,19,21,22,23,24,25,26,27,28,29,31,32,33,34,35,36,37,38,39,41,42,43,44,45,46,47]"},
        {7, "[12,13,14,15,16,17,18,19,21,22,23,24,11]"},
        {8, "[60]"},
    };
    const std::string plain = log_with(entry(at));
    std::string spaced;
    for (char c : plain) {
        spaced += c;
        if (c == ',') spaced += ' ';
    }
    const Outcome a = read(plain), b = read(spaced);
    ASSERT_TRUE(a.ok) << a.text;
    ASSERT_TRUE(b.ok) << b.text;
    EXPECT_EQ(dump(a.game, a.game.kyokus[0]), dump(b.game, b.game.kyokus[0]));
    EXPECT_NE(dump(a.game, a.game.kyokus[0]).find("take=[#60,#10,#99,1m,\"c282627\",#5,#100,5sr,?,N]"), std::string::npos);
    // A plain hand with a code that is no tile is refused at that code.
    const std::string bad = log_with(entry({{4, "[11,12,13,14,15,16,17,18,19,21,22,23,20]"}}));
    auto r = read_log(bad);
    ASSERT_FALSE(r);
    EXPECT_EQ(r.error().offset, bad.find("20]"));
}

// Each text breaks one rule of the schema (or of JSON at the top level) and must be refused.
TEST(ReadSchema, Refusals) {
    const std::vector<std::pair<const char*, std::string>> cases = {
        {"empty text", ""},
        {"only whitespace", " \n\t\r "},
        {"byte-order mark", "\xEF\xBB\xBF" + kMinimal},
        {"trailing content", kMinimal + " x"},
        {"second value", kMinimal + kMinimal},
        {"trailing comma after value", kMinimal + ","},
        {"top-level string", R"("log")"},
        {"top-level number", "1"},
        {"top-level null", "null"},
        {"array form with 7", R"([[],["a","b","c","d"],{},null,null,null,null])"},
        {"array form with 9", R"([[],["a","b","c","d"],{},null,null,null,null,null,null])"},
        {"array form, log null", R"([null,["a","b","c","d"],{},null,null,null,null,null])"},
        {"array form, rule null", R"([[],["a","b","c","d"],null,null,null,null,null,null])"},
        {"missing log", R"({"name":["a","b","c","d"],"rule":{}})"},
        {"missing name", R"({"log":[],"rule":{}})"},
        {"missing rule", R"({"log":[],"name":["a","b","c","d"]})"},
        {"log null", R"({"log":null,"name":["a","b","c","d"],"rule":{}})"},
        {"rule null", R"({"log":[],"name":["a","b","c","d"],"rule":null})"},
        {"duplicate log", R"({"log":[],"log":[],"name":["a","b","c","d"],"rule":{}})"},
        {"duplicate escaped log", R"({"log":[],"\u006cog":[],"name":["a","b","c","d"],"rule":{}})"},
        {"duplicate null ratingc", R"({"ratingc":null,"ratingc":null,"log":[],"name":["a","b","c","d"],"rule":{}})"},
        {"duplicate disp", R"({"log":[],"name":["a","b","c","d"],"rule":{"disp":"a","disp":"a"}})"},
        {"duplicate aka", R"({"log":[],"name":["a","b","c","d"],"rule":{"aka":1,"aka":1}})"},
        {"ratingc number", R"({"ratingc":5,"log":[],"name":["a","b","c","d"],"rule":{}})"},
        {"lobby string", R"({"lobby":"1","log":[],"name":["a","b","c","d"],"rule":{}})"},
        {"lobby fraction", R"({"lobby":1.0,"log":[],"name":["a","b","c","d"],"rule":{}})"},
        {"dan not strings", R"({"dan":[1],"log":[],"name":["a","b","c","d"],"rule":{}})"},
        {"rate string", R"({"rate":["1"],"log":[],"name":["a","b","c","d"],"rule":{}})"},
        {"rate null element", R"({"rate":[null],"log":[],"name":["a","b","c","d"],"rule":{}})"},
        {"sx object", R"({"sx":{},"log":[],"name":["a","b","c","d"],"rule":{}})"},
        {"name 3", R"({"log":[],"name":["a","b","c"],"rule":{}})"},
        {"name 5", R"({"log":[],"name":["a","b","c","d","e"],"rule":{}})"},
        {"name number", R"({"log":[],"name":["a","b","c",4],"rule":{}})"},
        {"rule disp number", R"({"log":[],"name":["a","b","c","d"],"rule":{"disp":1}})"},
        {"rule disp null", R"({"log":[],"name":["a","b","c","d"],"rule":{"disp":null}})"},
        {"rule aka null", R"({"log":[],"name":["a","b","c","d"],"rule":{"aka":null}})"},
        {"rule aka 1.0", R"({"log":[],"name":["a","b","c","d"],"rule":{"aka":1.0}})"},
        {"rule aka 1e0", R"({"log":[],"name":["a","b","c","d"],"rule":{"aka":1e0}})"},
        {"rule aka 256", R"({"log":[],"name":["a","b","c","d"],"rule":{"aka":256}})"},
        {"rule aka -1", R"({"log":[],"name":["a","b","c","d"],"rule":{"aka":-1}})"},
        {"rule aka string", R"({"log":[],"name":["a","b","c","d"],"rule":{"aka":"1"}})"},
        {"rule array of 6", R"({"log":[],"name":["a","b","c","d"],"rule":["",0,0,0,0,0]})"},
        {"rule array null", R"({"log":[],"name":["a","b","c","d"],"rule":[null]})"},
        {"rule string", R"({"log":[],"name":["a","b","c","d"],"rule":"x"})"},
        {"log object", R"({"log":{},"name":["a","b","c","d"],"rule":{}})"},
        {"log entry object", R"({"log":[{}],"name":["a","b","c","d"],"rule":{}})"},
        {"log entry number", R"({"log":[1],"name":["a","b","c","d"],"rule":{}})"},
        {"log entry 16", log_with(entry().substr(0, entry().rfind(',')) + "]")},
        {"log entry 18", log_with(entry().substr(0, entry().size() - 1) + ",[]]")},
        {"header 2", log_with(entry({{0, "[0,0]"}}))},
        {"header 4", log_with(entry({{0, "[0,0,0,0]"}}))},
        {"header 256", log_with(entry({{0, "[0,256,0]"}}))},
        {"header fraction", log_with(entry({{0, "[0,0.0,0]"}}))},
        {"header object", log_with(entry({{0, "{}"}}))},
        {"scores 3", log_with(entry({{1, "[1,2,3]"}}))},
        {"scores 5", log_with(entry({{1, "[1,2,3,4,5]"}}))},
        {"scores fraction", log_with(entry({{1, "[25000.5,1,2,3]"}}))},
        {"scores whole fraction", log_with(entry({{1, "[25000.0,1,2,3]"}}))},
        {"scores exponent", log_with(entry({{1, "[25e3,1,2,3]"}}))},
        {"scores 2^31", log_with(entry({{1, "[2147483648,1,2,3]"}}))},
        {"scores -2^31-1", log_with(entry({{1, "[-2147483649,1,2,3]"}}))},
        {"scores huge", log_with(entry({{1, "[99999999999999999999999,1,2,3]"}}))},
        {"dora 60", log_with(entry({{2, "[60]"}}))},
        {"dora 10", log_with(entry({{2, "[10]"}}))},
        {"ura string", log_with(entry({{3, "[\"11\"]"}}))},
        {"ura null", log_with(entry({{3, "null"}}))},
        {"hand 12", log_with(entry({{4, "[11,12,13,14,15,16,17,18,19,21,22,23]"}}))},
        {"hand 14", log_with(entry({{7, "[11,12,13,14,15,16,17,18,19,21,22,23,24,25]"}}))},
        {"hand 60", log_with(entry({{10, "[11,12,13,14,15,16,17,18,19,21,22,23,60]"}}))},
        {"hand 11.0", log_with(entry({{13, "[11.0,12,13,14,15,16,17,18,19,21,22,23,24]"}}))},
        {"hand string", log_with(entry({{13, "[\"11\",12,13,14,15,16,17,18,19,21,22,23,24]"}}))},
        {"take 300", log_with(entry({{5, "[300]"}}))},
        {"take -1", log_with(entry({{5, "[-1]"}}))},
        {"take 1.5", log_with(entry({{5, "[1.5]"}}))},
        {"take 11.0", log_with(entry({{5, "[11.0]"}}))},
        {"take 1e1", log_with(entry({{5, "[1e1]"}}))},
        {"take null", log_with(entry({{5, "[null]"}}))},
        {"take true", log_with(entry({{5, "[true]"}}))},
        {"take array", log_with(entry({{5, "[[11]]"}}))},
        {"take object", log_with(entry({{5, "[{}]"}}))},
        {"discard 256", log_with(entry({{15, "[256]"}}))},
        {"take column object", log_with(entry({{8, "{}"}}))},
        {"result object", log_with(entry({{16, "[{}]"}}))},
        {"result number", log_with(entry({{16, "[5]"}}))},
        {"result null", log_with(entry({{16, "[null]"}}))},
        {"result bool", log_with(entry({{16, "[false]"}}))},
        {"result not a list", log_with(entry({{16, "\"和了\""}}))},
        {"names missing but extra keys", R"({"log":[],"names":["a","b","c","d"],"rule":{}})"},
        {"key case matters", R"({"Log":[],"name":["a","b","c","d"],"rule":{}})"},
    };
    for (const auto& [what, text] : cases) EXPECT_TRUE(refused(text)) << what;
}

TEST(ReadSchema, UnknownKeysAreSkippedWhateverTheirShape) {
    const std::string extra =
        R"("title":["",""],"ver":2.3,"sc":[1,-2,3.5e1],"Log":null,"x":{"log":[1]},"x":true,"owari":[])"
        R"(,"rulex":{"disp":1},"":false,)";
    Outcome o = read(log_with(entry(), extra));
    ASSERT_TRUE(o.ok) << o.text;
    EXPECT_EQ(o.text, read(log_with(entry())).text);

    // Unknown keys with escapes, and a long one.
    std::string long_key;
    for (int i = 0; i < 2000; ++i) long_key += "k\\n\\u00e9";
    Outcome pieces = read(log_with(entry(), R"("\u0078\n":1,"lo\u0067x":[2],")" + long_key + R"(":{"a":"b"},)"));
    ASSERT_TRUE(pieces.ok) << pieces.text;
    EXPECT_EQ(pieces.text, o.text);

    // Unknown keys in "rule" too, repeated as often as they like.
    Outcome r = read(R"({"log":[],"name":["a","b","c","d"],"rule":{"x":1,"aka":1,"x":[{}],"AKA":"y"}})");
    ASSERT_TRUE(r.ok) << r.text;
    EXPECT_EQ(r.text, R"(name=["a","b","c","d"] first=0 aka=1)");
}

TEST(ReadSchema, ResultItemsTriedInOrder) {
    // Four 32-bit integers make a delta item; any other array is a detail item, whose first
    // two values are the seats when they are non-negative integers (their low byte), else 0.
    const std::vector<std::pair<std::string, std::string>> cases = {
        {R"("和了")", "T"},
        {"[-4000,11200,-2100,-2100]", "D[-4000,11200,-2100,-2100]"},
        {"[-2147483648,2147483647,0,-0]", "D[-2147483648,2147483647,0,0]"},
        {"[1,2,3]", "J1>2"},
        {"[]", "J!"},
        {"[1,2,3,4,5]", "J1>2"},
        {"[1,2,3,4.0]", "J1>2"},
        {"[1,2,3,4e0]", "J1>2"},
        {"[-1,2,3,2147483648]", "J0>2"},
        {"[-2147483649,2,3,4]", "J0>2"},
        {"[1,2,3,\"4\"]", "J1>2"},
        {"[1,2,3,[4]]", "J1>2"},
        {"[1,2,\"3\",4]", "J1>2"},
        {"[null,1,2,3]", "J!"},
        {R"x([1,1,1,"30符4飜2000-3900点","立直(1飜)"])x", "J1>1"},
        {R"([{"a":1,"a":[true]}])", "J!"},
    };
    for (const auto& [item, expected] : cases) EXPECT_EQ(classify(item), expected) << item;
}

// Numbers in every kind of place: the written form decides integer versus float.
TEST(ReadNumbers, ByKindOfPlace) {
    struct Case {
        const char* place;
        std::string number;
        std::string expected;  // "!" for a refusal
    };
    const std::string big400(400, '9');
    const std::vector<Case> cases = {
        // byte ("aka", kyoku header)
        {"byte", "0", "0"}, {"byte", "255", "255"}, {"byte", "-0", "0"}, {"byte", "256", "!"},
        {"byte", "-1", "!"}, {"byte", "1.0", "!"}, {"byte", "1e0", "!"}, {"byte", "1E+0", "!"},
        {"byte", "0.0", "!"}, {"byte", "18446744073709551616", "!"},
        // int32 ("lobby", scores)
        {"int32", "2147483647", "2147483647"}, {"int32", "-2147483648", "-2147483648"},
        {"int32", "2147483648", "!"}, {"int32", "-2147483649", "!"}, {"int32", "-0", "0"},
        {"int32", "100.0", "!"}, {"int32", "1e2", "!"}, {"int32", "-9223372036854775809", "!"},
        // float ("rate"): only read, never kept
        {"float", "1", ""}, {"float", "-5", ""}, {"float", "-0", ""}, {"float", "1.5", ""},
        {"float", "0.1", ""}, {"float", "2074.7", ""},
        {"float", "2.2250738585072011e-308", ""},
        {"float", "1.7976931348623157e308", ""},
        {"float", "18446744073709551616", ""},
        {"float", "1e400", ""}, {"float", "-1e400", ""}, {"float", "1e-400", ""},
        {"float", "-1e-400", ""}, {"float", "4e-320", ""},
        {"float", big400, ""}, {"float", "-" + big400, ""}, {"float", "0." + big400 + "e1", ""},
        {"float", "1e99999999999", ""}, {"float", "-1e99999999999", ""},
        {"float", "1e-99999999999", ""}, {"float", "0e99999999999", ""}, {"float", "0.000e+99999999999", ""},
        {"float", "123e-99999999999", ""},
        // generic (detail item), by category: u non-negative integer, i negative integer, d float
        {"generic", "0", "u0"}, {"generic", "-0", "u0"}, {"generic", "-1", "i-1"},
        {"generic", "18446744073709551615", "u18446744073709551615"},
        {"generic", "18446744073709551616", "d1.8446744073709552e+19"},
        {"generic", "-9223372036854775808", "i-9223372036854775808"},
        {"generic", "-9223372036854775809", "d-9.2233720368547758e+18"},
        {"generic", "1.0", "d1"}, {"generic", "-0.0", "d-0"}, {"generic", "1e400", "dinf"},
        {"generic", "1e99999999999", "dinf"}, {"generic", "-1E99999999999", "d-inf"}, {"generic", big400, "dinf"},
        // tile (dora indicator)
        {"tile", "0", "?"}, {"tile", "-0", "?"}, {"tile", "53", "5sr"}, {"tile", "47", "C"}, {"tile", "19", "9m"},
        {"tile", "60", "!"}, {"tile", "10", "!"}, {"tile", "48", "!"}, {"tile", "54", "!"}, {"tile", "256", "!"},
        {"tile", "11.0", "!"}, {"tile", "-11", "!"},
        // take or discard entry
        {"action", "0", "?"}, {"action", "-0", "?"}, {"action", "60", "#60"}, {"action", "255", "#255"},
        {"action", "10", "#10"}, {"action", "52", "5pr"}, {"action", "256", "!"}, {"action", "-1", "!"},
        {"action", "1.5", "!"}, {"action", "11.0", "!"}, {"action", "1e99999999999", "!"},
    };
    // Each kind is read in one or two places; `got` gives what the columns hold of it
    // (null: only the verdict is observable).
    struct Probe {
        std::string text;
        std::string (*got)(const GameColumns&);
        std::string expected;
    };
    for (const Case& c : cases) {
        const std::string place = c.place;
        const std::string& n = c.number;
        std::vector<Probe> probes;
        if (place == "byte") {
            probes.push_back({R"({"log":[],"name":["a","b","c","d"],"rule":{"aka":)" + n + "}}",
                              [](const GameColumns& g) { return std::to_string(g.aka_flag); },
                              c.expected == "0" ? "0" : "1"});
            probes.push_back({log_with(entry({{0, "[" + n + ",0,0]"}})),
                              [](const GameColumns& g) { return std::to_string(g.kyokus.at(0).kyoku); }, c.expected});
        }
        if (place == "int32") {
            probes.push_back({R"({"lobby":)" + n + R"(,"log":[],"name":["a","b","c","d"],"rule":{}})", nullptr, ""});
            probes.push_back({log_with(entry({{1, "[" + n + ",0,0,0]"}})),
                              [](const GameColumns& g) { return std::to_string(g.kyokus.at(0).scores[0]); },
                              c.expected});
        }
        if (place == "float")
            probes.push_back({R"({"rate":[)" + n + R"(],"log":[],"name":["a","b","c","d"],"rule":{}})", nullptr, ""});
        if (place == "generic") {
            probes.push_back({in_read_place(n), nullptr, ""});
            // As a win's first detail value: a non-negative integer gives its low byte, anything else 0.
            probes.push_back({log_with(entry({{16, "[\"和了\",[1,2,3,4],[" + n + ",3]]"}})),
                              [](const GameColumns& g) { return std::to_string(g.wins.at(0).actor); },
                              c.expected[0] == 'u' ? std::to_string(std::stoull(c.expected.substr(1)) % 256) : "0"});
        }
        if (place == "tile")
            probes.push_back({log_with(entry({{2, "[" + n + "]"}})),
                              [](const GameColumns& g) { return dump_tile(g.tiles.at(0)); }, c.expected});
        if (place == "action")
            probes.push_back({log_with(entry({{5, "[" + n + "]"}})),
                              [](const GameColumns& g) { return dump_entry(g.entries.at(0)); }, c.expected});
        ASSERT_FALSE(probes.empty()) << place;
        for (const Probe& p : probes) {
            if (c.expected == "!") {
                EXPECT_TRUE(refused(p.text)) << place << " " << n << " in " << p.text;
                continue;
            }
            Outcome o = read(p.text);
            ASSERT_TRUE(o.ok) << place << " " << n << ": " << o.text << " in " << p.text;
            if (p.got) {
                EXPECT_EQ(p.got(o.game), p.expected) << place << " " << n << " in " << p.text;
            }
        }
    }
}

TEST(ReadNumbers, TileCodeDiagnostic) {
    for (const char* place : {"dora", "hand"}) {
        std::string text = std::string(place) == "dora"
                               ? log_with(entry({{2, "[60]"}}))
                               : log_with(entry({{4, "[11,12,13,14,15,16,17,18,19,21,22,23,60]"}}));
        auto r = read_log(text);
        ASSERT_FALSE(r) << place;
        EXPECT_EQ(r.error().kind, ReadError::Kind::Json) << place;
        EXPECT_EQ(r.error().message, invalid_tile_code_message(60)) << place;
    }
}

// Malformed JSON is refused where a value is read and where it is skipped alike.
TEST(ReadJson, MalformedRefusedEverywhere) {
    const std::vector<std::string> bad = {
        "[1,]", "[,1]", "[1 2]", "[1;2]", "{\"a\" 1}", "{\"a\":1,}", "{\"a\"}", "{a:1}", "{1:1}", "{\"a\":1 \"b\":2}",
        "'a'", "tru", "nul", "True", "NULL", "nan", "NaN", "Infinity", "-Infinity", "01", "-01", "1.", ".5", "+1",
        "-", "1e", "1e+", "1.e1", "0x10", "1_000", "\"\\x\"", "\"\\u12\"", "\"\\u12G4\"", "\"\\U0041\"",
        "\"\\ud800\"", "\"\\udc00\"", "\"\\ud800\\u0041\"", "\"a\tb\"", "\"a\nb\"", std::string("\"a\0b\"", 5),
        "\"\xC0\x80\"", "\"\xED\xA0\x80\"", "\"\xF4\x90\x80\x80\"", "\"\xFF\"", "\"\xE5\x92\"", "\"\x80\"",
        "/*c*/1", "1/*c*/", "// c\n1", "[1]]", "[[1]", "{\"a\":1}}", "[1,\f2]", "[1,\v2]", "[1,\xC2\xA0 2]",
        "\xEF\xBB\xBF" "1", "[1]x", "\"\\'\"", "\"abc\\",
    };
    for (const std::string& value : bad) {
        EXPECT_TRUE(refused(in_read_place(value))) << "read: " << value;
        for (const std::string& text : in_skipped_places(value)) EXPECT_TRUE(refused(text)) << "skipped: " << text;
    }
    // Cut short anywhere, a log is refused.
    const std::string text = log_with(entry({{16, R"(["和了",[1,2,3,4],[1,"a\u00e9",{"k":null}]])"}}), R"("x":[{"y":"z"}],)");
    for (std::size_t n = 0; n < text.size(); ++n) EXPECT_TRUE(refused(text.substr(0, n))) << "prefix of " << n << " bytes";
    // Whole, the text reads; only then is its made-up win detail (a string as second value) judged.
    Outcome whole = read(text);
    EXPECT_FALSE(whole.ok);
    EXPECT_EQ(whole.kind, ReadError::Kind::InvalidWinDetails) << whole.text;
}

// Well-formed but unusual JSON under an unrecognised key is accepted.
TEST(ReadJson, OddButWellFormedSkipped) {
    const std::vector<std::string> good = {
        "\"\\\"\\\\\\/\\b\\f\\n\\r\\t\\u0000\\u00e9\\uD83D\\uDE00\\u20AC\"",
        "\"plain \xE5\x92\x8C\xE4\xBA\x86 \xF0\x9F\x80\x84 \x7F\"",
        "\"\"", "[]", "{}", "[[],{},[{}]]", "{\"\":\"\",\"\":1}", " \t\r\n[ \t\r\n1 \t\r\n, \t\r\n{ \"a\" : 2 } ]",
        "-0", "-0.0", "0e0", "1E+2", "1e-2", "-1.5E-7", "1e400", "-1e400", "1e-400", "1e99999999999",
        "123456789012345678901234567890", std::string(500, '7'), "18446744073709551616", "-9223372036854775809",
        "true", "false", "null", "[true,false,null]",
        std::string(100000, '[') + std::string(100000, ']'),
        [] {
            std::string s;
            for (int i = 0; i < 100000; ++i) s += "{\"a\":";
            s += "1";
            for (int i = 0; i < 100000; ++i) s += "}";
            return s;
        }(),
        [] {
            std::string s;
            for (int i = 0; i < 50000; ++i) s += "[{\"\\u0061\":";
            s += "\"\\n\"";
            for (int i = 0; i < 50000; ++i) s += "}]";
            return s;
        }(),
    };
    const std::string reference = read(kMinimal).text;
    for (const std::string& value : good) {
        for (const std::string& text : in_skipped_places(value)) {
            auto r = read_log(text);
            ASSERT_TRUE(r) << value.substr(0, 60) << ": " << r.error().message << " at " << r.error().offset;
            EXPECT_EQ(dump(*r), reference);
        }
    }
}

// Random small edits of JSON values: where Boost's document parser accepts the value,
// both the read place and the skipped places accept it; where it refuses the whole text,
// so do we. (An edit that is only valid in its surroundings, like 1,"y":2, is left out.)
TEST(ReadJson, AgreesWithBoostOnRandomEdits) {
    const std::vector<std::string> seeds = {
        R"({"a":[1,-2.5e3,"x\u00e9\n",true,false,null,{}],"b":{"c":[[]]}})",
        R"(["\ud83d\ude00 ok","\"\\\/\b\f\r\t",0,-0,1E+2,3.25e-1])",
        "\"\xE5\x92\x8C\xF0\x9F\x80\x84\"",
        R"([{"k":"v"},[null],12345678901234567890,-9223372036854775809])",
    };
    const std::string alphabet = "{}[]\",:0123456789-+.eE tfnrulas\\/u\t\n\x01\x7F\x80\xC3\xA9\xED\xFF'";
    std::mt19937 rng(12345);
    boost::json::parse_options deep;
    deep.max_depth = 1000;
    int compared = 0, accepted = 0;
    for (int round = 0; round < 4000; ++round) {
        std::string v = seeds[rng() % seeds.size()];
        for (int edits = 1 + static_cast<int>(rng() % 3); edits > 0 && !v.empty(); --edits) {
            std::size_t at = rng() % v.size();
            char c = alphabet[rng() % alphabet.size()];
            switch (rng() % 3) {
                case 0: v[at] = c; break;
                case 1: v.insert(v.begin() + static_cast<std::ptrdiff_t>(at), c); break;
                default: v.erase(at, 1); break;
            }
        }
        boost::json::error_code ec;
        boost::json::parse(v, ec, {}, deep);
        // Boost refuses exponents beyond 32 bits, which we read on purpose (see ReadNumbers).
        if (ec == boost::json::error::exponent_overflow) continue;
        const bool valid = !ec;
        std::vector<std::string> texts = in_skipped_places(v);
        texts.push_back(in_read_place(v));
        for (const std::string& text : texts) {
            boost::json::error_code whole_ec;
            boost::json::parse(text, whole_ec, {}, deep);
            if (!valid && !whole_ec) continue;
            ++compared;
            accepted += valid;
            auto r = read_log(text);
            EXPECT_EQ(r.has_value(), valid) << (valid ? "refused: " : "accepted: ") << v << "\nin: " << text;
        }
    }
    // Both verdicts occur often enough to mean something.
    EXPECT_GT(compared, 10000);
    EXPECT_GT(accepted, 2000) << compared;
    EXPECT_LT(accepted, compared - 2000);
}

TEST(ReadJson, NestingLimitOfReadValues) {
    // Levels: top object 1, log 2, entry 3, result list 4, detail item 5, then nested arrays.
    auto nested = [](int levels) {
        std::string inner = std::string(static_cast<std::size_t>(levels - 5), '[') +
                            std::string(static_cast<std::size_t>(levels - 5), ']');
        return log_with(entry({{16, "[[0," + inner + "]]"}}));
    };
    Outcome at127 = read(nested(127));
    EXPECT_TRUE(at127.ok) << at127.text;
    Outcome at128 = read(nested(128));
    EXPECT_FALSE(at128.ok);
    EXPECT_EQ(at128.kind, ReadError::Kind::Json);
    EXPECT_NE(at128.text.find("127"), std::string::npos) << at128.text;

    // Objects count as well: 61 pairs of object and array inside the detail item make 127
    // levels, one more array makes 128.
    std::string open, close;
    for (int i = 0; i < 61; ++i) {
        open += "{\"k\":[";
        close += "]}";
    }
    Outcome m127 = read(log_with(entry({{16, "[[0," + open + close + "]]"}})));
    EXPECT_TRUE(m127.ok) << m127.text;
    EXPECT_TRUE(refused(log_with(entry({{16, "[[0," + open + "[]" + close + "]]"}}))));

    // Far deeper read values fail cleanly, without exhausting the stack.
    const std::size_t deep = 200000;
    EXPECT_TRUE(refused(log_with(entry({{16, "[[0," + std::string(deep, '[') + std::string(deep, ']') + "]]"}}))));
    // A scalar inside the 127th level is fine: only arrays and objects count.
    auto s = read_log(log_with(entry({{16, "[[" + std::string(122, '[') + "1" + std::string(122, ']') + "]]"}})));
    EXPECT_TRUE(s) << s.error().message;
}

// Strings and keys with escapes, and long ones, are decoded wherever their value is kept.
TEST(ReadJson, StringsWithEscapes) {
    Outcome o = read(R"({"\u006cog":[],"n\u0061me":["A\u3055\u3093","\ud83c\udc04x","a\"b\\c\/d","\u0041\u0042"],)"
                     R"("r\u0075le":{"d\u0069sp":"\u822c\u6771\u55b0\u8d64","\u0061ka":1}})");
    ASSERT_TRUE(o.ok) << o.text;
    EXPECT_EQ(o.game.names[0], "Aさん");
    EXPECT_EQ(o.game.names[1], "\xF0\x9F\x80\x84x");
    EXPECT_EQ(o.game.names[2], "a\"b\\c/d");
    EXPECT_EQ(o.game.names[3], "AB");
    EXPECT_EQ(o.game.kyoku_first, 4);  // the rule text decodes to 般東喰赤
    EXPECT_TRUE(o.game.aka_flag);

    // Long strings with escapes throughout: a take entry keeps its first bytes, the values
    // inside a detail item (a string, a key) are only checked.
    std::string long_text;
    std::string long_json;
    for (int i = 0; i < 3000; ++i) {
        long_text += "ab\n\xE5\x92\x8C";
        long_json += "ab\\n\\u548c";
    }
    Outcome l = read(log_with(entry({{5, "[\"" + long_json + "\"]"}, {16, "[[0,\"" + long_json + "\"]]"}}),
                              R"("x":")" + long_json + R"(",)"));
    ASSERT_TRUE(l.ok) << l.text;
    const Entry& take = l.game.entries.at(0);
    ASSERT_EQ(take.kind, Entry::Kind::Text);
    EXPECT_TRUE(take.too_long());
    EXPECT_EQ(take.notation(), long_text.substr(0, Entry::kMaxText));

    Outcome k = read(log_with(entry({{16, "[[{\"" + long_json + "\":1}]]"}})));
    EXPECT_TRUE(k.ok) << k.text;

    // Invalid UTF-8 in a string that is read is refused as well.
    for (const char* bad : {"\xFF", "\xC0\x80", "\xED\xA0\x80", "\xE5\x92"}) {
        EXPECT_TRUE(refused(R"({"log":[],"name":["a","b","c",")" + std::string(bad) + R"("],"rule":{}})"));
        EXPECT_TRUE(refused(log_with(entry({{5, "[\"" + std::string(bad) + "\"]"}}))));
    }
}

TEST(ReadJson, Offsets) {
    auto r = read_log(kMinimal + "  x");
    ASSERT_FALSE(r);
    EXPECT_EQ(r.error().offset, kMinimal.size() + 2);
    auto bom = read_log("\xEF\xBB\xBF" + kMinimal);
    ASSERT_FALSE(bom);
    EXPECT_EQ(bom.error().offset, 0u);
    // After a skipped value the offsets still count from the start of the text; a value out of
    // range is refused at its first byte.
    std::string text = R"({"x":[1,{"y":2}] ,"log":[],"name":["a","b","c","d"],"rule":{"aka":256}})";
    auto s = read_log(text);
    ASSERT_FALSE(s);
    EXPECT_EQ(text.substr(s.error().offset, 3), "256") << s.error().message;

    // Where reading stopped: the first byte of the offending token, past any whitespace
    // before it (a surrogate escape: its backslash).
    const std::vector<std::pair<std::string, std::string>> at_token = {
        {log_with(entry({{4, "[11,12,13,14,15,16,17,18,19,21,22,23,  99]"}})), "99]"},
        {log_with(entry({{5, "[11, 300]"}})), "300]"},
        {R"({"log":[],"name":["a","b","c","d"],"rule":{}, "log":[]})", R"("log":[]})"},
        {R"({"log":[],"name":["a","b","c","d"]})", "}"},
        {R"({"log":[],"name":["a","b","c","\udc00"],"rule":{}})", R"(\udc00")"},
        {R"({"log":[],"name":["a","b","c","\ud800x"],"rule":{}})", R"(\ud800x")"},
    };
    for (const auto& [log, rest] : at_token) {
        auto r = read_log(log);
        ASSERT_FALSE(r) << log;
        EXPECT_TRUE(log.substr(r.error().offset).starts_with(rest)) << r.error().message << ": " << log.substr(r.error().offset);
    }
    // A text cut short stops at its length, whatever it ends inside: a number, a string, a
    // UTF-8 sequence, an escape, a literal.
    const std::string whole = R"({"x":[-1.5e3, 12, null, "\u00e9\ud83d\ude00"],"name":["a","b","c",")"
                              "\xE5\x92\x8C"
                              R"("],"log":[],"rule":{}})";
    ASSERT_TRUE(read_log(whole));
    for (std::size_t n = 0; n < whole.size(); ++n) {
        auto r = read_log(whole.substr(0, n));
        ASSERT_FALSE(r);
        EXPECT_EQ(r.error().offset, n) << whole.substr(0, n) << ": " << r.error().message;
    }
}

TEST(ReadJson, ShapeErrorsBlameTheirKyokuAndSeat) {
    auto fault_of = [](const std::string& text) {
        auto r = read_log(text);
        EXPECT_FALSE(r) << text;
        return r ? Fault{} : r.error().fault;
    };
    auto two = [](const std::string& second) { return "{\"log\":[" + entry() + "," + second + "],\"name\":[\"a\",\"b\",\"c\",\"d\"],\"rule\":{}}"; };
    // The second kyoku (index 1, header South 2 with 3 honba), seat 2's starting hand.
    std::string hand = "[11,12,13,14,15,16,17,18,19,21,22,23,99]";
    Fault f = fault_of(two(entry({{0, "[5,3,0]"}, {10, hand}})));
    EXPECT_EQ(f.kyoku, 1);
    EXPECT_EQ(f.seat, 2);
    EXPECT_EQ(f.round, 5);
    EXPECT_EQ(f.honba, 3);
    // A value of the wrong kind in seat 3's discards, a result that is not an array, a
    // header that is too short (before its round is known).
    f = fault_of(two(entry({{15, "[{}]"}})));
    EXPECT_EQ(f.kyoku, 1);
    EXPECT_EQ(f.seat, 3);
    f = fault_of(two(entry({{16, "7"}})));
    EXPECT_EQ(f.kyoku, 1);
    EXPECT_EQ(f.seat, -1);
    f = fault_of(two(entry({{0, "[5,3]"}})));
    EXPECT_EQ(f.kyoku, 1);
    EXPECT_EQ(f.round, -1);
    // JSON syntax is the text's fault, even inside a kyoku; so is the rule.
    f = fault_of(two(entry({{5, "[11;12]"}})));
    EXPECT_EQ(f.kyoku, -1);
    EXPECT_EQ(f.seat, -1);
    // Cut inside a tile code: "1" would be no tile code, but the text ended.
    const std::string text = two(entry());
    const std::size_t cut = text.find("[11,12", 250) + 2;
    auto r = read_log(text.substr(0, cut));
    ASSERT_FALSE(r);
    EXPECT_EQ(r.error().offset, cut);
    EXPECT_EQ(r.error().fault.kyoku, -1);
    EXPECT_EQ(fault_of(R"({"log":[],"name":["a","b","c","d"],"rule":{"disp":"三"}})").kyoku, -1);
    // A win detail without its seats: a model error of that kyoku.
    r = read_log(two(entry({{16, "[\"\xE5\x92\x8C\xE4\xBA\x86\",[0,0,0,0],[\"x\"]]"}})));
    ASSERT_FALSE(r);
    EXPECT_EQ(r.error().kind, ReadError::Kind::InvalidWinDetails);
    EXPECT_EQ(r.error().fault.kyoku, 1);
    EXPECT_EQ(r.error().fault.round, 0);
}

TEST(ReadRealLogs, EveryLogReads) {
    namespace fs = std::filesystem;
    const fs::path dir = TESSMAR_SHARED_LOGS;
    if (!fs::is_directory(dir)) GTEST_SKIP() << "no shared logs at " << dir;
    std::map<std::string, Outcome> logs;
    for (const auto& file : fs::directory_iterator(dir)) {
        if (file.path().extension() != ".json") continue;
        std::ifstream in(file.path(), std::ios::binary);
        std::stringstream ss;
        ss << in.rdbuf();
        Outcome o = read(ss.str());
        EXPECT_TRUE(o.ok) << file.path() << ": " << o.text << " at " << o.offset;
        EXPECT_FALSE(o.game.kyokus.empty()) << file.path();
        logs[file.path().filename().string()] = std::move(o);
    }
    ASSERT_EQ(logs.size(), 5u);

    const GameColumns& rc = logs.at("rc-2179-0-1.json").game;
    EXPECT_EQ(list(rc.names, quote), R"(["Aさん","Bさん","私","Dさん"])");
    EXPECT_EQ(rc.kyoku_first, 0);  // 般南喰赤
    EXPECT_TRUE(rc.aka_flag);
    ASSERT_EQ(rc.kyokus.size(), 1u);
    const KyokuColumns& k = rc.kyokus[0];
    EXPECT_EQ(list(std::array<int, 3>{k.kyoku, k.honba, k.kyotaku}, to_text), "[0,1,1]");
    EXPECT_EQ(list(k.scores, to_text), "[26500,25500,23500,23500]");
    EXPECT_EQ(list(rc.dora(k), dump_tile), "[7p]");
    EXPECT_EQ(list(rc.ura(k), dump_tile), "[S]");
    EXPECT_EQ(list(k.haipai[0], dump_tile), "[2m,5m,8m,4p,6p,7p,8p,8p,1s,8s,W,F,C]");
    EXPECT_EQ(list(rc.takes(k, 0), dump_entry), R"([S,4m,9p,2s,5s,7m,P,9s,4s,6m,N,F,"c282627"])");
    EXPECT_EQ(dump_entry(rc.discards(k, 0)[5]), "#60");
    EXPECT_EQ(dump_tile(k.haipai[1].at(4)), "5mr");
    EXPECT_EQ(dump_entry(rc.discards(k, 1)[8]), "\"r25\"");
    EXPECT_EQ(dump_result(rc, k), "wins[1>1[-4000,11200,-2100,-2100];]");

    const Outcome& tb = logs.at("tb-2019021004gm-00a9-0000-e2f6516d.json");
    EXPECT_EQ(tb.text.substr(0, tb.text.find('\n')),
              R"(name=["鬼ヅモ@川村軍団","HN-Koda","Sidecar","あがれる間6s"] first=0 aka=1)");  // 鳳南喰赤, aka 0/1/1/1
    EXPECT_EQ(tb.game.kyokus.size(), 10u);
}
