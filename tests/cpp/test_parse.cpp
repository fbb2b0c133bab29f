#include <gtest/gtest.h>

#include <boost/json/parse.hpp>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <limits>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "tessmar/tenhou/parse_internal.hpp"
#include "tessmar/tenhou/raw_log.hpp"

using namespace tessmar;

namespace {

// ---- a canonical text of a RawLog, to compare results and state expectations briefly ----

// Joins the pieces by appending (GCC 12 warns falsely on "literal" + std::string&&).
template <class... Parts>
std::string cat(const Parts&... parts) {
    std::string s;
    ((s += parts), ...);
    return s;
}

std::string num(double d) {
    if (std::isinf(d)) return d > 0 ? "inf" : "-inf";
    char buf[40];
    std::snprintf(buf, sizeof buf, "%.17g", d);
    return buf;
}

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

std::string dump(const JsonValue& v);

std::string dump(const JsonArray& a) {
    return list(a, [](const JsonValue& x) { return dump(x); });
}

// Numbers carry their category: u (non-negative integer), i (negative integer), d (float).
std::string dump(const JsonValue& v) {
    struct Visit {
        std::string operator()(std::nullptr_t) const { return "null"; }
        std::string operator()(bool b) const { return b ? "true" : "false"; }
        std::string operator()(std::uint64_t u) const { return cat("u", std::to_string(u)); }
        std::string operator()(std::int64_t i) const { return cat("i", std::to_string(i)); }
        std::string operator()(double d) const { return cat("d", num(d)); }
        std::string operator()(const std::string& s) const { return cat("\"", s, "\""); }
        std::string operator()(const JsonArray& a) const { return dump(a); }
        std::string operator()(const JsonObject& o) const {
            std::string s = "{";
            for (std::size_t i = 0; i < o.size(); ++i) {
                if (i) s += ',';
                s += cat(o[i].key, ":", dump(o[i].value));
            }
            s += '}';
            return s;
        }
    };
    return std::visit(Visit{}, v.v);
}

std::string dump(const ActionItem& a) {
    if (auto t = std::get_if<Tile>(&a)) return std::string(tile_name(*t));
    if (auto b = std::get_if<BareNumber>(&a)) return cat("#", std::to_string(b->value));
    return cat("\"", std::get<std::string>(a), "\"");
}

std::string to_text(std::int64_t v) { return std::to_string(v); }

std::string dump(const ResultItem& r) {
    if (auto s = std::get_if<std::string>(&r)) return cat("T\"", *s, "\"");
    if (auto d = std::get_if<Deltas>(&r)) return cat("D", list(*d, to_text));
    return cat("J", dump(std::get<JsonArray>(r)));
}

std::string dump_tile(Tile t) { return std::string(tile_name(t)); }
std::string dump_action(const ActionItem& a) { return dump(a); }
std::string dump_result(const ResultItem& r) { return dump(r); }

std::string dump(const LogEntry& e) {
    std::string s = cat("header=", list(e.header, to_text), " scores=", list(e.scores, to_text));
    s += cat(" dora=", list(e.dora_indicators, dump_tile), " ura=", list(e.ura_indicators, dump_tile));
    for (const SeatLog& seat : e.seats) {
        s += cat(" | ", list(seat.haipai, dump_tile), " take=", list(seat.take_entries, dump_action));
        s += cat(" discard=", list(seat.discard_entries, dump_action));
    }
    s += cat(" result=", list(e.result, dump_result));
    return s;
}

std::string quote(const std::string& s) { return cat("\"", s, "\""); }

template <class T, class F>
std::string opt(const std::optional<T>& o, F f) {
    return o ? f(*o) : std::string("absent");
}

std::string dump(const RawLog& raw) {
    const Rule& r = raw.rule;
    std::string s = cat("name=", list(raw.name, quote), " rule=", quote(r.disp), "/", to_text(r.aka), "/",
                        to_text(r.aka51), "/", to_text(r.aka52), "/", to_text(r.aka53));
    s += cat(" ratingc=", opt(raw.ratingc, quote), " lobby=", opt(raw.lobby, to_text));
    s += cat(" dan=", opt(raw.dan, [](const auto& v) { return list(v, quote); }));
    s += cat(" rate=", opt(raw.rate, [](const auto& v) { return list(v, num); }));
    s += cat(" sx=", opt(raw.sx, [](const auto& v) { return list(v, quote); }));
    for (const LogEntry& e : raw.log) s += cat("\n", dump(e));
    return s;
}

// ---- parsing every way: the one-piece read and reads in small chunks must agree ----

struct Outcome {
    bool ok = false;
    std::string text;  // dump of the RawLog, or the diagnostic
    std::size_t offset = 0;
    RawLog raw;
};

Outcome parse(const std::string& text) {
    Outcome whole;
    auto r = parse_raw_log(text);
    whole.ok = r.has_value();
    if (r) {
        whole.text = dump(*r);
        whole.raw = std::move(*r);
    } else {
        whole.text = r.error().message;
        whole.offset = r.error().offset;
        EXPECT_FALSE(r.error().message.empty());
        EXPECT_LE(r.error().offset, text.size()) << r.error().message;
    }
    for (std::size_t chunk : {1u, 2u, 3u, 7u, 64u}) {
        if (chunk >= text.size() && chunk != 1) continue;
        auto c = detail::parse_raw_log_in_chunks(text, chunk);
        EXPECT_EQ(c.has_value(), whole.ok) << "chunk " << chunk << ": " << (c ? "accepted" : c.error().message)
                                           << "\nwhole: " << whole.text;
        if (c && whole.ok) {
            EXPECT_EQ(dump(*c), whole.text) << "chunk " << chunk;
        }
    }
    return whole;
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

std::string result_of(const Outcome& o) {
    if (!o.ok || o.raw.log.empty()) return "-";
    return list(o.raw.log[0].result, dump_result);
}

}  // namespace

// ---------------------------------------------------------------------------------------

TEST(ParseSchema, MinimalLog) {
    Outcome o = parse(kMinimal);
    ASSERT_TRUE(o.ok) << o.text;
    EXPECT_EQ(o.text,
              R"(name=["a","b","c","d"] rule=""/0/0/0/0 ratingc=absent lobby=absent dan=absent rate=absent sx=absent)");
}

TEST(ParseSchema, AllFieldsAndBothForms) {
    const std::string full =
        R"({"ratingc":"PF4","lobby":7,"dan":["x","y"],"rate":[1500,1.5],"sx":["M","F"],)"
        R"("rule":{"disp":"d","aka":1,"aka51":2,"aka52":3,"aka53":255},"name":["a","b","c","d"],"log":[]})";
    Outcome o = parse(full);
    ASSERT_TRUE(o.ok) << o.text;
    EXPECT_EQ(o.text, R"(name=["a","b","c","d"] rule="d"/1/2/3/255 ratingc="PF4" lobby=7 dan=["x","y"] )"
                      R"(rate=[1500,1.5] sx=["M","F"])");

    const std::string array_form = R"([[],["a","b","c","d"],["d",1,2,3,255],"PF4",7,["x","y"],[1500,1.5],["M","F"]])";
    Outcome a = parse(array_form);
    ASSERT_TRUE(a.ok) << a.text;
    EXPECT_EQ(a.text, o.text);

    Outcome nulls = parse(R"([[],["a","b","c","d"],{},null,null,null,null,null])");
    ASSERT_TRUE(nulls.ok) << nulls.text;
    EXPECT_EQ(nulls.text, parse(kMinimal).text);

    // A short rule array leaves the rest at their defaults.
    Outcome short_rule = parse(R"({"log":[],"name":["a","b","c","d"],"rule":["d",1]})");
    ASSERT_TRUE(short_rule.ok) << short_rule.text;
    EXPECT_NE(short_rule.text.find(R"(rule="d"/1/0/0/0)"), std::string::npos) << short_rule.text;
}

TEST(ParseSchema, OptionalNullEqualsMissing) {
    for (const char* key : {"ratingc", "lobby", "dan", "rate", "sx"}) {
        Outcome o = parse(R"({"log":[],"name":["a","b","c","d"],"rule":{},")" + std::string(key) + R"(":null})");
        ASSERT_TRUE(o.ok) << key << ": " << o.text;
        EXPECT_EQ(o.text, parse(kMinimal).text) << key;
    }
}

TEST(ParseSchema, KyokuEntry) {
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
    Outcome o = parse(log_with(entry(at)));
    ASSERT_TRUE(o.ok) << o.text;
    ASSERT_EQ(o.raw.log.size(), 1u);
    const std::string hand = "[1m,2m,3m,4m,5m,6m,7m,8m,9m,1p,2p,3p,4p]";
    EXPECT_EQ(dump(o.raw.log[0]),
              "header=[7,2,1] scores=[-2147483648,2147483647,0,25000] dora=[?,5sr,C] ura=[9m,9p]"
              " | [?,1m,9m,1p,9p,1s,9s,E,C,5mr,5pr,5sr,5m] take=[#60,?,?,#255,5mr,\"c282627\",\"\"] discard=[]"
              " | " + hand + " take=[] discard=[] | " + hand + " take=[] discard=[] | " + hand +
              " take=[] discard=[]"
              " result=[T\"和了\",D[1,-2,3,-4],J[u1,u2,u3],J[],J[u1,u2,u3,u4,u5],J[u1,u2,u3,u2147483648],"
              "J[u0,u0,d1,\"x\",null,true,false,[u1,u2,u3,u4],{k:[{}]}]]");
}

// Each text breaks one rule of the schema (or of JSON at the top level) and must be refused.
TEST(ParseSchema, Refusals) {
    const std::string names = R"("name":["a","b","c","d"])";
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
    for (const auto& [what, text] : cases) {
        Outcome o = parse(text);
        EXPECT_FALSE(o.ok) << what << " was accepted: " << o.text;
    }
}

TEST(ParseSchema, UnknownKeysAreSkippedWhateverTheirShape) {
    const std::string extra =
        R"("title":["",""],"ver":2.3,"sc":[1,-2,3.5e1],"Log":null,"x":{"log":[1]},"x":true,"owari":[])"
        R"(,"rulex":{"disp":1},"":false,)";
    Outcome o = parse(log_with(entry(), extra));
    ASSERT_TRUE(o.ok) << o.text;
    EXPECT_EQ(o.text, parse(log_with(entry())).text);

    // Unknown keys that arrive in pieces (escapes, longer than the parser's buffer).
    std::string long_key;
    for (int i = 0; i < 2000; ++i) long_key += "k\\n\\u00e9";
    Outcome pieces = parse(log_with(entry(), R"("\u0078\n":1,"lo\u0067x":[2],")" + long_key + R"(":{"a":"b"},)"));
    ASSERT_TRUE(pieces.ok) << pieces.text;
    EXPECT_EQ(pieces.text, o.text);

    // Unknown keys in "rule" too, repeated as often as they like.
    Outcome r = parse(R"({"log":[],"name":["a","b","c","d"],"rule":{"x":1,"aka":1,"x":[{}],"AKA":"y"}})");
    ASSERT_TRUE(r.ok) << r.text;
    EXPECT_NE(r.text.find(R"(rule=""/1/0/0/0)"), std::string::npos) << r.text;
}

TEST(ParseSchema, ResultItemsTriedInOrder) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {R"("和了")", R"(T"和了")"},
        {"[-4000,11200,-2100,-2100]", "D[-4000,11200,-2100,-2100]"},
        {"[-2147483648,2147483647,0,-0]", "D[-2147483648,2147483647,0,0]"},
        {"[1,2,3]", "J[u1,u2,u3]"},
        {"[]", "J[]"},
        {"[1,2,3,4,5]", "J[u1,u2,u3,u4,u5]"},
        {"[1,2,3,4.0]", "J[u1,u2,u3,d4]"},
        {"[1,2,3,4e0]", "J[u1,u2,u3,d4]"},
        {"[-1,2,3,2147483648]", "J[i-1,u2,u3,u2147483648]"},
        {"[-2147483649,2,3,4]", "J[i-2147483649,u2,u3,u4]"},
        {"[1,2,3,\"4\"]", R"(J[u1,u2,u3,"4"])"},
        {"[1,2,3,[4]]", "J[u1,u2,u3,[u4]]"},
        {"[1,2,\"3\",4]", R"(J[u1,u2,"3",u4])"},
        {"[null,1,2,3]", "J[null,u1,u2,u3]"},
        {R"x([1,1,1,"30符4飜2000-3900点","立直(1飜)"])x", R"x(J[u1,u1,u1,"30符4飜2000-3900点","立直(1飜)"])x"},
        {R"([{"a":1,"a":[true]}])", "J[{a:u1,a:[true]}]"},
    };
    for (const auto& [item, expected] : cases) {
        Outcome o = parse(log_with(entry({{16, "[" + item + "]"}})));
        ASSERT_TRUE(o.ok) << item << ": " << o.text;
        EXPECT_EQ(result_of(o), cat("[", expected, "]")) << item;
    }
}

// Numbers in every kind of place: the written form decides integer versus float.
TEST(ParseNumbers, ByKindOfPlace) {
    struct Case {
        const char* place;
        std::string number;
        std::string expected;  // "!" for a refusal
    };
    const std::string big400(400, '9');
    const std::vector<Case> cases = {
        // byte ("aka")
        {"byte", "0", "0"}, {"byte", "255", "255"}, {"byte", "-0", "0"}, {"byte", "256", "!"},
        {"byte", "-1", "!"}, {"byte", "1.0", "!"}, {"byte", "1e0", "!"}, {"byte", "1E+0", "!"},
        {"byte", "0.0", "!"}, {"byte", "18446744073709551616", "!"},
        // int32 ("lobby")
        {"int32", "2147483647", "2147483647"}, {"int32", "-2147483648", "-2147483648"},
        {"int32", "2147483648", "!"}, {"int32", "-2147483649", "!"}, {"int32", "-0", "0"},
        {"int32", "100.0", "!"}, {"int32", "1e2", "!"}, {"int32", "-9223372036854775809", "!"},
        // float ("rate")
        {"float", "1", "1"}, {"float", "-5", "-5"}, {"float", "-0", "0"}, {"float", "1.5", "1.5"},
        {"float", "0.1", "0.10000000000000001"}, {"float", "2074.7", "2074.6999999999998"},
        {"float", "2.2250738585072011e-308", "2.2250738585072009e-308"},
        {"float", "1.7976931348623157e308", "1.7976931348623157e+308"},
        {"float", "18446744073709551616", "1.8446744073709552e+19"},
        {"float", "1e400", "inf"}, {"float", "-1e400", "-inf"}, {"float", "1e-400", "0"},
        {"float", "-1e-400", "-0"}, {"float", "4e-320", "3.999955468730732e-320"},
        {"float", big400, "inf"}, {"float", "-" + big400, "-inf"}, {"float", "0." + big400 + "e1", "10"},
        {"float", "1e99999999999", "inf"}, {"float", "-1e99999999999", "-inf"},
        {"float", "1e-99999999999", "0"}, {"float", "0e99999999999", "0"}, {"float", "0.000e+99999999999", "0"},
        {"float", "123e-99999999999", "0"},
        // generic (detail item)
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
    for (const Case& c : cases) {
        std::string place = c.place;
        std::string text;
        if (place == "byte") text = R"({"log":[],"name":["a","b","c","d"],"rule":{"aka":)" + c.number + "}}";
        if (place == "int32") text = R"({"lobby":)" + c.number + R"(,"log":[],"name":["a","b","c","d"],"rule":{}})";
        if (place == "float") text = R"({"rate":[)" + c.number + R"(],"log":[],"name":["a","b","c","d"],"rule":{}})";
        if (place == "generic") text = in_read_place(c.number);
        if (place == "tile") text = log_with(entry({{2, "[" + c.number + "]"}}));
        if (place == "action") text = log_with(entry({{5, "[" + c.number + "]"}}));
        Outcome o = parse(text);
        if (c.expected == "!") {
            EXPECT_FALSE(o.ok) << place << " " << c.number;
            continue;
        }
        ASSERT_TRUE(o.ok) << place << " " << c.number << ": " << o.text;
        std::string got;
        if (place == "byte") got = std::to_string(o.raw.rule.aka);
        if (place == "int32") got = std::to_string(*o.raw.lobby);
        if (place == "float") got = num(o.raw.rate->at(0));
        if (place == "generic") got = dump(std::get<JsonArray>(o.raw.log[0].result.at(0)).at(1));
        if (place == "tile") got = dump_tile(o.raw.log[0].dora_indicators.at(0));
        if (place == "action") got = dump(o.raw.log[0].seats[0].take_entries.at(0));
        EXPECT_EQ(got, c.expected) << place << " " << c.number;
    }
}

TEST(ParseNumbers, TileCodeDiagnostic) {
    for (const char* place : {"dora", "hand"}) {
        std::string text = std::string(place) == "dora"
                               ? log_with(entry({{2, "[60]"}}))
                               : log_with(entry({{4, "[11,12,13,14,15,16,17,18,19,21,22,23,60]"}}));
        auto r = parse_raw_log(text);
        ASSERT_FALSE(r) << place;
        EXPECT_EQ(r.error().message, invalid_tile_code_message(60)) << place;
    }
}

// Malformed JSON is refused where a value is read and where it is skipped alike.
TEST(ParseJson, MalformedRefusedEverywhere) {
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
        EXPECT_FALSE(parse(in_read_place(value)).ok) << "read: " << value;
        for (const std::string& text : in_skipped_places(value)) EXPECT_FALSE(parse(text).ok) << "skipped: " << text;
    }
    // Cut short anywhere, a log is refused.
    const std::string text = log_with(entry({{16, R"(["和了",[1,2,3,4],[1,"a\u00e9",{"k":null}]])"}}), R"("x":[{"y":"z"}],)");
    for (std::size_t n = 0; n < text.size(); ++n) {
        auto r = parse_raw_log(std::string_view(text).substr(0, n));
        EXPECT_FALSE(r) << "prefix of " << n << " bytes";
    }
    EXPECT_TRUE(parse_raw_log(text));
}

// Well-formed but unusual JSON under an unrecognised key is accepted.
TEST(ParseJson, OddButWellFormedSkipped) {
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
    const std::string reference = parse(kMinimal).text;
    for (const std::string& value : good) {
        for (const std::string& text : in_skipped_places(value)) {
            auto r = parse_raw_log(text);
            ASSERT_TRUE(r) << value.substr(0, 60) << ": " << r.error().message << " at " << r.error().offset;
            EXPECT_EQ(dump(*r), reference);
        }
        if (value.size() < 1000) parse(in_skipped_places(value)[0]);  // chunked reads agree
    }
}

// Random small edits of JSON values: where Boost's document parser accepts the value,
// both the read place and the skipped places accept it; where it refuses the whole text,
// so do we. (An edit that is only valid in its surroundings, like 1,"y":2, is left out.)
TEST(ParseJson, AgreesWithBoostOnRandomEdits) {
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
        // Boost refuses exponents beyond 32 bits, which we read on purpose (see ParseNumbers).
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
            auto r = parse_raw_log(text);
            EXPECT_EQ(r.has_value(), valid) << (valid ? "refused: " : "accepted: ") << v << "\nin: " << text;
        }
    }
    // Both verdicts occur often enough to mean something.
    EXPECT_GT(compared, 10000);
    EXPECT_GT(accepted, 2000) << compared;
    EXPECT_LT(accepted, compared - 2000);
}

TEST(ParseJson, NestingLimitOfReadValues) {
    // Levels: top object 1, log 2, entry 3, result list 4, detail item 5, then nested arrays.
    auto nested = [](int levels) {
        std::string inner = std::string(static_cast<std::size_t>(levels - 5), '[') +
                            std::string(static_cast<std::size_t>(levels - 5), ']');
        return log_with(entry({{16, "[[0," + inner + "]]"}}));
    };
    Outcome at127 = parse(nested(127));
    EXPECT_TRUE(at127.ok) << at127.text;
    Outcome at128 = parse(nested(128));
    EXPECT_FALSE(at128.ok);
    EXPECT_NE(at128.text.find("127"), std::string::npos) << at128.text;

    // Objects count as well: 61 pairs of object and array inside the detail item make 127
    // levels, one more array makes 128.
    std::string open, close;
    for (int i = 0; i < 61; ++i) {
        open += "{\"k\":[";
        close += "]}";
    }
    Outcome m127 = parse(log_with(entry({{16, "[[0," + open + close + "]]"}})));
    EXPECT_TRUE(m127.ok) << m127.text;
    Outcome m128 = parse(log_with(entry({{16, "[[0," + open + "[]" + close + "]]"}})));
    EXPECT_FALSE(m128.ok);

    // Far deeper read values fail cleanly, without exhausting the stack.
    const std::size_t deep = 200000;
    auto r = parse_raw_log(log_with(entry({{16, "[[0," + std::string(deep, '[') + std::string(deep, ']') + "]]"}})));
    EXPECT_FALSE(r);
    // A scalar inside the 127th level is fine: only arrays and objects count.
    auto s = parse_raw_log(log_with(entry({{16, "[[" + std::string(122, '[') + "1" + std::string(122, ']') + "]]"}})));
    EXPECT_TRUE(s) << s.error().message;
}

// Strings and keys reach the handler in several pieces when they carry escapes or are long.
TEST(ParseJson, StringsInPieces) {
    Outcome o = parse(R"({"\u006cog":[],"n\u0061me":["A\u3055\u3093","\ud83c\udc04x","a\"b\\c\/d","\u0041\u0042"],)"
                      R"("r\u0075le":{"d\u0069sp":"\u822c\u5357\u55b0\u8d64","\u0061ka":1}})");
    ASSERT_TRUE(o.ok) << o.text;
    EXPECT_EQ(o.raw.name[0], "Aさん");
    EXPECT_EQ(o.raw.name[1], "\xF0\x9F\x80\x84x");
    EXPECT_EQ(o.raw.name[2], "a\"b\\c/d");
    EXPECT_EQ(o.raw.name[3], "AB");
    EXPECT_EQ(o.raw.rule.disp, "般南喰赤");
    EXPECT_EQ(o.raw.rule.aka, 1);

    // Longer than the parser's internal buffer, with escapes throughout.
    std::string long_text;
    std::string long_json;
    for (int i = 0; i < 3000; ++i) {
        long_text += "ab\n\xE5\x92\x8C";
        long_json += "ab\\n\\u548c";
    }
    Outcome l = parse(log_with(entry({{5, "[\"" + long_json + "\"]"}, {16, "[[0,\"" + long_json + "\"]]"}}),
                              R"("x":")" + long_json + R"(",)"));
    ASSERT_TRUE(l.ok) << l.text;
    EXPECT_EQ(std::get<std::string>(l.raw.log[0].seats[0].take_entries.at(0)), long_text);
    EXPECT_EQ(std::get<std::string>(std::get<JsonArray>(l.raw.log[0].result.at(0)).at(1).v), long_text);

    Outcome k = parse(log_with(entry({{16, "[[{\"" + long_json + "\":1}]]"}})));
    ASSERT_TRUE(k.ok) << k.text;
    const auto& obj = std::get<JsonObject>(std::get<JsonArray>(k.raw.log[0].result.at(0)).at(0).v);
    EXPECT_EQ(obj.at(0).key, long_text);

    // Invalid UTF-8 in a string that is read is refused as well.
    for (const char* bad : {"\xFF", "\xC0\x80", "\xED\xA0\x80", "\xE5\x92"}) {
        EXPECT_FALSE(parse(R"({"log":[],"name":["a","b","c",")" + std::string(bad) + R"("],"rule":{}})").ok);
        EXPECT_FALSE(parse(log_with(entry({{5, "[\"" + std::string(bad) + "\"]"}}))).ok);
    }
}

TEST(ParseJson, Offsets) {
    auto r = parse_raw_log(kMinimal + "  x");
    ASSERT_FALSE(r);
    EXPECT_EQ(r.error().offset, kMinimal.size() + 2);
    auto bom = parse_raw_log("\xEF\xBB\xBF" + kMinimal);
    ASSERT_FALSE(bom);
    EXPECT_EQ(bom.error().offset, 0u);
    // After a skipped value the offsets still count from the start of the text.
    std::string text = R"({"x":[1,{"y":2}] ,"log":[],"name":["a","b","c","d"],"rule":{"aka":256}})";
    auto s = parse_raw_log(text);
    ASSERT_FALSE(s);
    EXPECT_EQ(text.substr(s.error().offset - 3, 3), "256") << s.error().message;
}

TEST(ParseRealLogs, EveryLogParses) {
    namespace fs = std::filesystem;
    const fs::path dir = TESSMAR_SHARED_LOGS;
    if (!fs::is_directory(dir)) GTEST_SKIP() << "no shared logs at " << dir;
    std::map<std::string, Outcome> parsed;
    for (const auto& file : fs::directory_iterator(dir)) {
        if (file.path().extension() != ".json") continue;
        std::ifstream in(file.path(), std::ios::binary);
        std::stringstream ss;
        ss << in.rdbuf();
        Outcome o = parse(ss.str());
        EXPECT_TRUE(o.ok) << file.path() << ": " << o.text << " at " << o.offset;
        EXPECT_FALSE(o.raw.log.empty()) << file.path();
        parsed[file.path().filename().string()] = std::move(o);
    }
    ASSERT_EQ(parsed.size(), 5u);

    const RawLog& rc = parsed.at("rc-2179-0-1.json").raw;
    EXPECT_EQ(list(rc.name, quote), R"(["Aさん","Bさん","私","Dさん"])");
    EXPECT_EQ(rc.rule.disp, "般南喰赤");
    EXPECT_EQ(rc.rule.aka, 1);
    EXPECT_FALSE(rc.ratingc || rc.lobby || rc.dan || rc.rate || rc.sx);
    ASSERT_EQ(rc.log.size(), 1u);
    const LogEntry& k = rc.log[0];
    EXPECT_EQ(list(k.header, to_text), "[0,1,1]");
    EXPECT_EQ(list(k.scores, to_text), "[26500,25500,23500,23500]");
    EXPECT_EQ(list(k.dora_indicators, dump_tile), "[7p]");
    EXPECT_EQ(list(k.ura_indicators, dump_tile), "[S]");
    EXPECT_EQ(list(k.seats[0].haipai, dump_tile), "[2m,5m,8m,4p,6p,7p,8p,8p,1s,8s,W,F,C]");
    EXPECT_EQ(list(k.seats[0].take_entries, dump_action),
              R"([S,4m,9p,2s,5s,7m,P,9s,4s,6m,N,F,"c282627"])");
    EXPECT_EQ(dump(k.seats[0].discard_entries.at(5)), "#60");
    EXPECT_EQ(dump(k.seats[1].haipai.at(4)), "5mr");
    EXPECT_EQ(dump(k.seats[1].discard_entries.at(8)), "\"r25\"");
    EXPECT_EQ(list(k.result, dump_result),
              R"x([T"和了",D[-4000,11200,-2100,-2100],J[u1,u1,u1,"30符4飜2000-3900点","立直(1飜)","門前清自摸和(1飜)","断幺九(1飜)","赤ドラ(1飜)"]])x");

    const RawLog& tb = parsed.at("tb-2019021004gm-00a9-0000-e2f6516d.json").raw;
    const std::string& tb_text = parsed.at("tb-2019021004gm-00a9-0000-e2f6516d.json").text;
    EXPECT_EQ(tb_text.substr(0, tb_text.find('\n')),
              R"(name=["鬼ヅモ@川村軍団","HN-Koda","Sidecar","あがれる間6s"] rule="鳳南喰赤"/0/1/1/1 ratingc="PF4" lobby=0 )"
              R"(dan=["七段","七段","七段","九段"] rate=[2074.6999999999998,2067.27,2082.79,2277.6799999999998] sx=["M","M","F","M"])");
    EXPECT_EQ(tb.log.size(), 10u);
}
