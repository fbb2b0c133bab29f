// Decoding of take and discard columns: call notation, kans, riichi, tsumogiri placeholders.
#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

#include "tessmar/conv/convert.hpp"
#include "tessmar/mjai/writer.hpp"

using namespace tessmar;

namespace {

std::string kind_name(ConversionErrorKind k) {
    switch (k) {
        case ConversionErrorKind::InvalidActionString: return "InvalidActionString";
        case ConversionErrorKind::InvalidTileCode: return "InvalidTileCode";
        case ConversionErrorKind::DoraIndicatorsExhausted: return "DoraIndicatorsExhausted";
        case ConversionErrorKind::MissingTake: return "MissingTake";
        case ConversionErrorKind::MissingDiscardAfterReach: return "MissingDiscardAfterReach";
        case ConversionErrorKind::UnexpectedNumber: return "UnexpectedNumber";
        case ConversionErrorKind::InvalidCall: return "InvalidCall";
        case ConversionErrorKind::RetryLimit: return "RetryLimit";
        case ConversionErrorKind::OutputLimit: return "OutputLimit";
    }
    return "kind " + std::to_string(static_cast<int>(k));
}

// An error as "Kind:payload", so that expectations read as one string.
std::string error_text(const ConversionError& e) { return kind_name(e.kind) + ":" + e.text; }

std::string json(const Event& e) {
    auto text = mjai::serialize_event(e);
    return text ? *text : std::string("<unserialisable>");
}

std::vector<std::string> jsons(const std::vector<Event>& events) {
    std::vector<std::string> out;
    for (const Event& e : events) out.push_back(json(e));
    return out;
}

// One column entry, written as the log writes it: an integer is a tile entry when it is a
// tile code and a bare number entry otherwise; a string is a text entry.
struct Entry {
    ActionItem item;
    Entry(int code) {
        if (auto t = tile_from_code(static_cast<std::uint8_t>(code)))
            item = *t;
        else
            item = BareNumber{static_cast<std::uint8_t>(code)};
    }
    Entry(const char* text) : item(std::string(text)) {}
    Entry(std::string text) : item(std::move(text)) {}
};

// decode_take as one text: the event's JSON, or "Kind:payload".
std::string take(Entry entry, int seat) {
    auto ev = decode_take(entry.item, static_cast<std::uint8_t>(seat));
    return ev ? json(*ev) : error_text(ev.error());
}

// decode_discard as the JSON texts of the appended events, or one "Kind:payload".
std::vector<std::string> discard(Entry entry, int seat) {
    std::vector<Event> out;
    auto r = decode_discard(entry.item, static_cast<std::uint8_t>(seat), out);
    if (!r) return {error_text(r.error())};
    return jsons(out);
}

struct Decoded {
    std::vector<std::string> takes, discards;
    std::string error;
};

std::vector<ActionItem> column(const std::vector<Entry>& entries) {
    std::vector<ActionItem> out;
    for (const Entry& e : entries) out.push_back(e.item);
    return out;
}

Decoded seat_actions(int seat, const std::vector<Entry>& takes, const std::vector<Entry>& discards) {
    Kyoku k;
    k.dora_indicators = {*tile_from_code(41)};
    k.result = Draw{};
    k.seats[seat].take_entries = column(takes);
    k.seats[seat].discard_entries = column(discards);
    // The other seats hold entries that would fail, to show that only `seat` is read.
    for (int other = 0; other < 4; ++other)
        if (other != seat) {
            k.seats[other].take_entries = column({60, "bad"});
            k.seats[other].discard_entries = column({"bad"});
        }
    auto r = decode_seat_actions(k, static_cast<std::uint8_t>(seat));
    if (!r) return {{}, {}, error_text(r.error())};
    return {jsons(r->takes), jsons(r->discards), ""};
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Take column

TEST(DecodeTake, Shapes) {
    struct Case {
        Entry entry;
        int seat;
        const char* expected;
    };
    const std::vector<Case> cases = {
        {23, 1, R"({"type":"tsumo","actor":1,"pai":"3p"})"},
        {53, 3, R"({"type":"tsumo","actor":3,"pai":"5sr"})"},
        {0, 2, R"({"type":"tsumo","actor":2,"pai":"?"})"},
        // chi: always from the left
        {"c232224", 1, R"({"type":"chi","actor":1,"target":0,"pai":"3p","consumed":["2p","4p"]})"},
        {"c232224", 0, R"({"type":"chi","actor":0,"target":3,"pai":"3p","consumed":["2p","4p"]})"},
        {"c533436", 2, R"({"type":"chi","actor":2,"target":1,"pai":"5sr","consumed":["4s","6s"]})"},
        // The position of "c" is not examined: only offsets 1, 3, 5 are read.
        {"xc13141", 3, "InvalidTileCode:c1"},
        // pon: the letter's position names the source
        {"p151551", 2, R"({"type":"pon","actor":2,"target":1,"pai":"5m","consumed":["5m","5mr"]})"},
        {"12p1212", 0, R"({"type":"pon","actor":0,"target":2,"pai":"2m","consumed":["2m","2m"]})"},
        {"51p1515", 0, R"({"type":"pon","actor":0,"target":2,"pai":"5m","consumed":["5mr","5m"]})"},
        {"1515p51", 0, R"({"type":"pon","actor":0,"target":1,"pai":"5mr","consumed":["5m","5m"]})"},
        {"1515p51", 3, R"({"type":"pon","actor":3,"target":0,"pai":"5mr","consumed":["5m","5m"]})"},
        {"1551p15", 0, R"({"type":"pon","actor":0,"target":1,"pai":"5m","consumed":["5m","5mr"]})"},
        {"p474747", 0, R"({"type":"pon","actor":0,"target":3,"pai":"C","consumed":["C","C"]})"},
        // daiminkan
        {"393939m39", 3,
         R"({"type":"daiminkan","actor":3,"target":0,"pai":"9s","consumed":["9s","9s","9s"]})"},
        {"m15155115", 0,
         R"({"type":"daiminkan","actor":0,"target":3,"pai":"5m","consumed":["5m","5mr","5m"]})"},
        {"15m511515", 1,
         R"({"type":"daiminkan","actor":1,"target":3,"pai":"5mr","consumed":["5m","5m","5m"]})"},
        {"252525m52", 2,
         R"({"type":"daiminkan","actor":2,"target":3,"pai":"5pr","consumed":["5p","5p","5p"]})"},
        {"51m151515", 2,
         R"({"type":"daiminkan","actor":2,"target":0,"pai":"5m","consumed":["5mr","5m","5m"]})"},
        {"255225m25", 0,
         R"({"type":"daiminkan","actor":0,"target":1,"pai":"5p","consumed":["5p","5pr","5p"]})"},
    };
    for (const Case& c : cases) {
        const auto* text = std::get_if<std::string>(&c.entry.item);
        EXPECT_EQ(take(c.entry, c.seat), c.expected) << (text ? *text : "tile entry") << " seat " << c.seat;
    }
}

TEST(DecodeTake, Errors) {
    struct Case {
        Entry entry;
        const char* expected;
    };
    const std::vector<Case> cases = {
        {60, "UnexpectedNumber:"},
        {1, "UnexpectedNumber:"},
        {255, "UnexpectedNumber:"},
        {"60", "InvalidActionString:60"},
        {"", "InvalidActionString:"},
        {"r35", "InvalidActionString:r35"},
        {"1234567", "InvalidActionString:1234567"},
        {"123456789", "InvalidActionString:123456789"},
        // chi
        {"c12131", "InvalidActionString:c12131"},
        {"c1213141", "InvalidActionString:c1213141"},
        {"c1213x4", "InvalidTileCode:x4"},
        {"c1x1314", "InvalidTileCode:1x"},
        {"c101112", "InvalidTileCode:10"},
        {"c605958", "InvalidTileCode:60"},  // pai is read first
        // "c" wins over "p": read as a chi, the pai at offset 1 is "2c"
        {"12c13p4", "InvalidTileCode:2c"},
        // pon
        {"p12121", "InvalidActionString:p12121"},
        {"p1212121", "InvalidActionString:p1212121"},
        {"1p12121", "InvalidActionString:1p12121"},
        {"121p121", "InvalidActionString:121p121"},
        {"121212p", "InvalidActionString:121212p"},
        {"1xp9915", "InvalidTileCode:99"},  // pai (offset 3) before consumed (offset 0)
        {"12p15x9", "InvalidTileCode:x9"},
        // "p" wins over "m", "c" over both
        {"p12m12121", "InvalidActionString:p12m12121"},
        {"m1p131313", "InvalidActionString:m1p131313"},
        {"p13m313", "InvalidTileCode:m3"},
        {"c12m314", "InvalidTileCode:m3"},
        // daiminkan
        {"3939m3939", "InvalidActionString:3939m3939"},
        {"m3939393", "InvalidActionString:m3939393"},
        {"m393939393", "InvalidActionString:m393939393"},
        {"39m393939x", "InvalidActionString:39m393939x"},
        {"3m9393939", "InvalidActionString:3m9393939"},
        {"393939m", "InvalidActionString:393939m"},
        {"m3939393x", "InvalidTileCode:3x"},
        {"1xm993939", "InvalidTileCode:99"},  // pai (offset 3) first
        // letters of the discard column are not take shapes
        {"k25252525", "InvalidActionString:k25252525"},
        {"383838a38", "InvalidActionString:383838a38"},
    };
    for (const Case& c : cases) {
        const auto* text = std::get_if<std::string>(&c.entry.item);
        EXPECT_EQ(take(c.entry, 0), c.expected) << (text ? *text : "number entry");
    }
}

TEST(DecodeTake, CutMultibyteCodeReportsReplacementCharacter) {
    // "c12" + U+6771 (3 bytes) + "4": the consumed code at offset 3 holds two bytes of the character.
    auto ev = decode_take(ActionItem{std::string("c12\xE6\x9D\xB1" "4")}, 0);
    ASSERT_FALSE(ev.has_value());
    EXPECT_EQ(ev.error().kind, ConversionErrorKind::InvalidTileCode);
    EXPECT_NE(ev.error().text.find("\xEF\xBF\xBD"), std::string::npos) << ev.error().text;
}

// ---------------------------------------------------------------------------------------------
// Discard column

TEST(DecodeDiscard, Shapes) {
    struct Case {
        Entry entry;
        int seat;
        std::vector<std::string> expected;
    };
    const std::vector<Case> cases = {
        {21, 0, {R"({"type":"dahai","actor":0,"pai":"1p","tsumogiri":false})"}},
        {51, 2, {R"({"type":"dahai","actor":2,"pai":"5mr","tsumogiri":false})"}},
        {0, 1, {R"({"type":"dahai","actor":1,"pai":"?","tsumogiri":false})"}},
        {60, 3, {R"({"type":"dahai","actor":3,"pai":"?","tsumogiri":true})"}},
        {1, 0, {R"({"type":"dahai","actor":0,"pai":"?","tsumogiri":true})"}},
        {255, 0, {R"({"type":"dahai","actor":0,"pai":"?","tsumogiri":true})"}},
        // riichi
        {"r35", 0, {R"({"type":"reach","actor":0})", R"({"type":"dahai","actor":0,"pai":"5s","tsumogiri":false})"}},
        {"x35", 2, {R"({"type":"reach","actor":2})", R"({"type":"dahai","actor":2,"pai":"5s","tsumogiri":false})"}},
        {"r53", 1, {R"({"type":"reach","actor":1})", R"({"type":"dahai","actor":1,"pai":"5sr","tsumogiri":false})"}},
        {"r60", 3, {R"({"type":"reach","actor":3})", R"({"type":"dahai","actor":3,"pai":"?","tsumogiri":true})"}},
        {"r00", 3, {R"({"type":"reach","actor":3})", R"({"type":"dahai","actor":3,"pai":"?","tsumogiri":true})"}},
        // kakan: the letter's position names where the added tile is written
        {"k25252525", 0, {R"({"type":"kakan","actor":0,"pai":"5p","consumed":["5p","5p","5p"]})"}},
        {"k52252525", 1, {R"({"type":"kakan","actor":1,"pai":"5pr","consumed":["5p","5p","5p"]})"}},
        {"25k522525", 2, {R"({"type":"kakan","actor":2,"pai":"5pr","consumed":["5p","5p","5p"]})"}},
        {"5225k2525", 3, {R"({"type":"kakan","actor":3,"pai":"5p","consumed":["5pr","5p","5p"]})"}},
        {"2525k5225", 0, {R"({"type":"kakan","actor":0,"pai":"5pr","consumed":["5p","5p","5p"]})"}},
        {"2552k2525", 0, {R"({"type":"kakan","actor":0,"pai":"5p","consumed":["5p","5pr","5p"]})"}},
        // ankan: codes at offsets 0, 2, 4 and 7
        {"383838a38", 1, {R"({"type":"ankan","actor":1,"consumed":["8s","8s","8s","8s"]})"}},
        {"151551a15", 2, {R"({"type":"ankan","actor":2,"consumed":["5m","5m","5mr","5m"]})"}},
    };
    for (const Case& c : cases) {
        const auto* text = std::get_if<std::string>(&c.entry.item);
        EXPECT_EQ(discard(c.entry, c.seat), c.expected) << (text ? *text : "number entry");
    }
}

TEST(DecodeDiscard, Errors) {
    struct Case {
        Entry entry;
        const char* expected;
    };
    const std::vector<Case> cases = {
        {"", "InvalidActionString:"},
        {"r3", "InvalidActionString:r3"},
        {"r355", "InvalidActionString:r355"},
        {"1234567", "InvalidActionString:1234567"},
        {"a35", "InvalidActionString:a35"},
        {"ra5", "InvalidActionString:ra5"},
        {"r3x", "InvalidTileCode:3x"},
        {"r06", "InvalidTileCode:06"},
        {"r10", "InvalidTileCode:10"},
        // kakan
        {"k2525252", "InvalidActionString:k2525252"},
        {"k252525252", "InvalidActionString:k252525252"},
        {"k25", "InvalidActionString:k25"},
        {"252525k25", "InvalidActionString:252525k25"},
        {"2k5252525", "InvalidActionString:2k5252525"},
        {"25252525k", "InvalidActionString:25252525k"},
        {"k2525x525", "InvalidTileCode:x5"},
        {"2xk992525", "InvalidTileCode:99"},  // pai (offset 3) first
        // "k" wins over "a": read as a kakan the code at offset 5 is "a5"
        {"k2525a525", "InvalidTileCode:a5"},
        // ankan
        {"38a383838", "InvalidTileCode:a3"},  // offsets 7 and 0 read, then 2
        {"1x1x1xa99", "InvalidTileCode:99"},  // offset 7 first
        {"38383x a38", "InvalidActionString:38383x a38"},
        {"3838a3838", "InvalidTileCode:a3"},  // the position of "a" is not examined
        {"38383838a3", "InvalidActionString:38383838a3"},
        {"123456789", "InvalidActionString:123456789"},
        {"12345678", "InvalidActionString:12345678"},
        // take letters mean nothing here
        {"c232224", "InvalidActionString:c232224"},
        {"393939m39", "InvalidActionString:393939m39"},
    };
    for (const Case& c : cases) {
        const auto* text = std::get_if<std::string>(&c.entry.item);
        EXPECT_EQ(discard(c.entry, 0), std::vector<std::string>{c.expected}) << (text ? *text : "number entry");
    }
}

TEST(DecodeDiscard, AppendsToTheGivenList) {
    std::vector<Event> out;
    out.push_back(mjai::EndKyoku{});
    ASSERT_TRUE(decode_discard(ActionItem{std::string("r35")}, 2, out).has_value());
    ASSERT_TRUE(decode_discard(ActionItem{*tile_from_code(41)}, 2, out).has_value());
    EXPECT_EQ(jsons(out), (std::vector<std::string>{
                              R"({"type":"end_kyoku"})",
                              R"({"type":"reach","actor":2})",
                              R"({"type":"dahai","actor":2,"pai":"5s","tsumogiri":false})",
                              R"({"type":"dahai","actor":2,"pai":"E","tsumogiri":false})",
                          }));
}

// ---------------------------------------------------------------------------------------------
// Both columns of a seat

TEST(DecodeSeat, TakesKeepOneEventPerEntry) {
    auto d = seat_actions(1, {23, "c232224", 44}, {});
    EXPECT_EQ(d.error, "");
    EXPECT_EQ(d.takes, (std::vector<std::string>{
                           R"({"type":"tsumo","actor":1,"pai":"3p"})",
                           R"({"type":"chi","actor":1,"target":0,"pai":"3p","consumed":["2p","4p"]})",
                           R"({"type":"tsumo","actor":1,"pai":"N"})",
                       }));
    EXPECT_TRUE(d.discards.empty());
}

TEST(DecodeSeat, PlaceholderResolution) {
    struct Case {
        const char* what;
        int seat;
        std::vector<Entry> takes, discards;
        std::vector<std::string> expected_discards;
    };
    const std::vector<Case> cases = {
        {"mixed column: the tsumogiri tile is the paired draw",
         0,
         {11, 45, 35, 25},
         {21, 60, "r35", "k25252525"},
         {R"({"type":"dahai","actor":0,"pai":"1p","tsumogiri":false})",
          R"({"type":"dahai","actor":0,"pai":"P","tsumogiri":true})",
          R"({"type":"reach","actor":0})",
          R"({"type":"dahai","actor":0,"pai":"5s","tsumogiri":false})",
          R"({"type":"kakan","actor":0,"pai":"5p","consumed":["5p","5p","5p"]})"}},
        {"a riichi counts as one entry",
         2,
         {11, 22, 33},
         {60, "r60", 60},
         {R"({"type":"dahai","actor":2,"pai":"1m","tsumogiri":true})",
          R"({"type":"reach","actor":2})",
          R"({"type":"dahai","actor":2,"pai":"2p","tsumogiri":true})",
          R"({"type":"dahai","actor":2,"pai":"3s","tsumogiri":true})"}},
        {"r00 is resolved like r60",
         3,
         {52},
         {"r00"},
         {R"({"type":"reach","actor":3})", R"({"type":"dahai","actor":3,"pai":"5pr","tsumogiri":true})"}},
        {"a bare number other than 60 is a tsumogiri too",
         1,
         {41, 42},
         {1, 255},
         {R"({"type":"dahai","actor":1,"pai":"E","tsumogiri":true})",
          R"({"type":"dahai","actor":1,"pai":"S","tsumogiri":true})"}},
        {"a tsumogiri paired with a call keeps the unknown tile",
         1,
         {"c232224", 31},
         {60, 60},
         {R"({"type":"dahai","actor":1,"pai":"?","tsumogiri":true})",
          R"({"type":"dahai","actor":1,"pai":"1s","tsumogiri":true})"}},
        {"the empty discard of a daiminkan is removed and the replacement draw pairs with the next entry",
         1,
         {11, "m13131313", 22},
         {31, 0, 60},
         {R"({"type":"dahai","actor":1,"pai":"1s","tsumogiri":false})",
          R"({"type":"dahai","actor":1,"pai":"2p","tsumogiri":true})"}},
        {"two empty discards in a row",
         1,
         {"m13131313", "m14141414", 22, 23},
         {0, 0, 60, 60},
         {R"({"type":"dahai","actor":1,"pai":"2p","tsumogiri":true})",
          R"({"type":"dahai","actor":1,"pai":"3p","tsumogiri":true})"}},
        {"kans are paired like any other entry",
         0,
         {11, 22, 33},
         {"111111a11", "k22222222", 60},
         {R"({"type":"ankan","actor":0,"consumed":["1m","1m","1m","1m"]})",
          R"({"type":"kakan","actor":0,"pai":"2p","consumed":["2p","2p","2p"]})",
          R"({"type":"dahai","actor":0,"pai":"3s","tsumogiri":true})"}},
        {"entries beyond the last take stay as written",
         0,
         {11},
         {60, 60, 0},
         {R"({"type":"dahai","actor":0,"pai":"1m","tsumogiri":true})",
          R"({"type":"dahai","actor":0,"pai":"?","tsumogiri":true})",
          R"({"type":"dahai","actor":0,"pai":"?","tsumogiri":false})"}},
        {"more takes than discards",
         2,
         {11, 12, 13},
         {60},
         {R"({"type":"dahai","actor":2,"pai":"1m","tsumogiri":true})"}},
        {"an empty discard removed at the end",
         0,
         {11, "m13131313"},
         {60, 0},
         {R"({"type":"dahai","actor":0,"pai":"1m","tsumogiri":true})"}},
    };
    for (const Case& c : cases) {
        auto d = seat_actions(c.seat, c.takes, c.discards);
        EXPECT_EQ(d.error, "") << c.what;
        EXPECT_EQ(d.takes.size(), c.takes.size()) << c.what;
        EXPECT_EQ(d.discards, c.expected_discards) << c.what;
    }
}

TEST(DecodeSeat, FirstErrorWins) {
    struct Case {
        std::vector<Entry> takes, discards;
        const char* expected;
    };
    const std::vector<Case> cases = {
        // The take column is read completely before the discard column.
        {{11, 60}, {"bad"}, "UnexpectedNumber:"},
        {{11, "zz", 60}, {21}, "InvalidActionString:zz"},
        {{11, "c1x1314"}, {21}, "InvalidTileCode:1x"},
        {{11, 12}, {21, "r3x", "bad"}, "InvalidTileCode:3x"},
        {{11}, {21, "", 60}, "InvalidActionString:"},
    };
    for (const Case& c : cases) EXPECT_EQ(seat_actions(2, c.takes, c.discards).error, c.expected);
}
