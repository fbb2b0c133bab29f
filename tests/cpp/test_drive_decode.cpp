// decode_kyoku: call notation, kans, riichi, tsumogiri filling and empty-discard placeholders.
//
// Each case builds a one-kyoku game holding the columns under test and compares the decoded acts
// in a short text form: "tsumo 3p", "chi<0 3p 2p 4p" (target, pai, consumed), "dahai 1p" with
// " tg" for a tsumogiri, "reach 5s" (the riichi's dahai), "kakan 5p 5p 5p 5p", "ankan 8s 8s 8s 8s".
// An error reads "Kind:text".
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "columns_helpers.hpp"
#include "tessmar/drive/act.hpp"

using namespace tessmar;
using tessmar::test::Item;
using tessmar::test::tile;
using drive::Act;
using drive::ActKind;

namespace {


std::string error_text(const ConversionError& e) { return std::string(kind_name(e.kind)) + ":" + e.text; }

using Column = std::vector<Item>;

Range append(GameColumns& g, const Column& column) {
    Range r{static_cast<std::uint32_t>(g.entries.size()), 0};
    for (const Item& i : column) g.entries.push_back(i.entry);
    r.end = static_cast<std::uint32_t>(g.entries.size());
    return r;
}

struct SeatColumns {
    Column takes, discards;
};

std::string act_text(const Act& a) {
    auto name = [](Tile t) { return std::string(tile_name(t)); };
    switch (a.kind) {
        case ActKind::Tsumo: return "tsumo " + name(a.pai);
        case ActKind::Chi:
        case ActKind::Pon:
        case ActKind::Daiminkan: {
            std::string out = a.kind == ActKind::Chi ? "chi<" : a.kind == ActKind::Pon ? "pon<" : "daiminkan<";
            out += std::to_string(a.target) + " " + name(a.pai);
            for (int i = 0; i < (a.kind == ActKind::Daiminkan ? 3 : 2); ++i) out += " " + name(a.consumed[i]);
            return out;
        }
        case ActKind::Dahai: return "dahai " + name(a.pai) + (a.tsumogiri ? " tg" : "");
        case ActKind::Reach: return "reach " + name(a.pai) + (a.tsumogiri ? " tg" : "");
        case ActKind::Kakan:
            return "kakan " + name(a.pai) + " " + name(a.consumed[0]) + " " + name(a.consumed[1]) + " " +
                   name(a.consumed[2]);
        case ActKind::Ankan:
            return "ankan " + name(a.consumed[0]) + " " + name(a.consumed[1]) + " " + name(a.consumed[2]) + " " +
                   name(a.consumed[3]);
    }
    return "kind " + std::to_string(static_cast<int>(a.kind));
}

struct Decoded {
    std::array<std::vector<std::string>, 4> takes, discards;
    std::string error;  // empty on success
    int error_seat = -1;
};

Decoded decode_with(drive::KyokuActs& acts, const std::array<SeatColumns, 4>& seats) {
    GameColumns g;
    KyokuColumns k;
    for (std::size_t s = 0; s < 4; ++s) {
        k.takes[s] = append(g, seats[s].takes);
        k.discards[s] = append(g, seats[s].discards);
    }
    g.kyokus.push_back(k);
    Decoded d;
    if (auto r = drive::decode_kyoku(g, g.kyokus[0], acts); !r) {
        d.error = error_text(r.error());
        d.error_seat = r.error().seat;
        return d;
    }
    for (std::size_t s = 0; s < 4; ++s) {
        const drive::SeatActs& seat = acts.seats[s];
        for (std::size_t i = 0; i < seat.takes_size; ++i) d.takes[s].push_back(act_text(seat.takes[i]));
        for (std::size_t i = 0; i < seat.discards_size; ++i) d.discards[s].push_back(act_text(seat.discards[i]));
    }
    return d;
}

// The columns of one seat; the other seats have none.
Decoded decode_seat(int seat, const Column& takes, const Column& discards) {
    std::array<SeatColumns, 4> seats{};
    seats[seat] = {takes, discards};
    drive::KyokuActs acts;
    return decode_with(acts, seats);
}

// One take entry: its act, or the error.
std::string take(const Item& entry, int seat) {
    auto d = decode_seat(seat, {entry}, {});
    if (!d.error.empty()) return d.error;
    return d.takes[seat].size() == 1 ? d.takes[seat][0] : "<" + std::to_string(d.takes[seat].size()) + " acts>";
}

// One discard entry (no take to pair with): its act, or the error.
std::string discard(const Item& entry, int seat) {
    auto d = decode_seat(seat, {}, {entry});
    if (!d.error.empty()) return d.error;
    return d.discards[seat].size() == 1 ? d.discards[seat][0]
                                        : "<" + std::to_string(d.discards[seat].size()) + " acts>";
}

std::string label(const Item& i) {
    return i.entry.kind == Entry::Kind::Text ? std::string(i.entry.notation()) : std::to_string(i.entry.value);
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Take column

TEST(DriveDecodeTake, Shapes) {
    struct Case {
        Item entry;
        int seat;
        const char* expected;
    };
    const std::vector<Case> cases = {
        {23, 1, "tsumo 3p"},
        {53, 3, "tsumo 5sr"},
        {0, 2, "tsumo ?"},
        // chi: always from the left
        {"c232224", 1, "chi<0 3p 2p 4p"},
        {"c232224", 0, "chi<3 3p 2p 4p"},
        {"c533436", 2, "chi<1 5sr 4s 6s"},
        // The position of "c" is not examined: only offsets 1, 3, 5 are read.
        {"xc13141", 3, "InvalidTileCode:c1"},
        // pon: the letter's position names the source
        {"p151551", 2, "pon<1 5m 5m 5mr"},
        {"12p1212", 0, "pon<2 2m 2m 2m"},
        {"51p1515", 0, "pon<2 5m 5mr 5m"},
        {"1515p51", 0, "pon<1 5mr 5m 5m"},
        {"1515p51", 3, "pon<0 5mr 5m 5m"},
        {"1551p15", 0, "pon<1 5m 5m 5mr"},
        {"p474747", 0, "pon<3 C C C"},
        // daiminkan
        {"393939m39", 3, "daiminkan<0 9s 9s 9s 9s"},
        {"m15155115", 0, "daiminkan<3 5m 5m 5mr 5m"},
        {"15m511515", 1, "daiminkan<3 5mr 5m 5m 5m"},
        {"252525m52", 2, "daiminkan<3 5pr 5p 5p 5p"},
        {"51m151515", 2, "daiminkan<0 5m 5mr 5m 5m"},
        {"255225m25", 0, "daiminkan<1 5p 5p 5pr 5p"},
    };
    for (const Case& c : cases) EXPECT_EQ(take(c.entry, c.seat), c.expected) << label(c.entry) << " seat " << c.seat;
}

TEST(DriveDecodeTake, Errors) {
    struct Case {
        Item entry;
        const char* expected;
    };
    const std::vector<Case> cases = {
        // The number itself is the text: what the message shows.
        {60, "UnexpectedNumber:60"},
        {1, "UnexpectedNumber:1"},
        {255, "UnexpectedNumber:255"},
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
        // A text longer than 9 bytes is kept only as too long: the error carries its first 9 bytes.
        {"m393939393", "InvalidActionString:m39393939"},
        {"39m393939x", "InvalidActionString:39m393939"},
        {"3m9393939", "InvalidActionString:3m9393939"},
        {"393939m", "InvalidActionString:393939m"},
        {"m3939393x", "InvalidTileCode:3x"},
        {"1xm993939", "InvalidTileCode:99"},  // pai (offset 3) first
        // letters of the discard column are not take shapes
        {"k25252525", "InvalidActionString:k25252525"},
        {"383838a38", "InvalidActionString:383838a38"},
    };
    for (const Case& c : cases) EXPECT_EQ(take(c.entry, 0), c.expected) << label(c.entry);
}

TEST(DriveDecodeTake, CutMultibyteCodeReportsReplacementCharacter) {
    // "c12" + U+6771 (3 bytes) + "4": the consumed code at offset 3 holds two bytes of the character.
    auto d = decode_seat(0, {"c12\xE6\x9D\xB1" "4"}, {});
    EXPECT_TRUE(d.error.starts_with("InvalidTileCode:")) << d.error;
    EXPECT_NE(d.error.find("\xEF\xBF\xBD"), std::string::npos) << d.error;
}

// ---------------------------------------------------------------------------------------------
// Discard column

TEST(DriveDecodeDiscard, Shapes) {
    struct Case {
        Item entry;
        int seat;
        const char* expected;
    };
    const std::vector<Case> cases = {
        {21, 0, "dahai 1p"},
        {51, 2, "dahai 5mr"},
        {0, 1, "dahai ?"},
        {60, 3, "dahai ? tg"},
        {1, 0, "dahai ? tg"},
        {255, 0, "dahai ? tg"},
        // riichi: the reach and its dahai in one act
        {"r35", 0, "reach 5s"},
        {"x35", 2, "reach 5s"},
        {"r53", 1, "reach 5sr"},
        {"r60", 3, "reach ? tg"},
        {"r00", 3, "reach ? tg"},
        // kakan: the letter's position names where the added tile is written
        {"k25252525", 0, "kakan 5p 5p 5p 5p"},
        {"k52252525", 1, "kakan 5pr 5p 5p 5p"},
        {"25k522525", 2, "kakan 5pr 5p 5p 5p"},
        {"5225k2525", 3, "kakan 5p 5pr 5p 5p"},
        {"2525k5225", 0, "kakan 5pr 5p 5p 5p"},
        {"2552k2525", 0, "kakan 5p 5p 5pr 5p"},
        // ankan: codes at offsets 0, 2, 4 and 7
        {"383838a38", 1, "ankan 8s 8s 8s 8s"},
        {"151551a15", 2, "ankan 5m 5m 5mr 5m"},
    };
    for (const Case& c : cases) EXPECT_EQ(discard(c.entry, c.seat), c.expected) << label(c.entry);
}

TEST(DriveDecodeDiscard, Errors) {
    struct Case {
        Item entry;
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
        {"k252525252", "InvalidActionString:k25252525"},  // longer than 9 bytes: its first 9
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
        {"38383x a38", "InvalidActionString:38383x a3"},  // longer than 9 bytes: its first 9
        {"3838a3838", "InvalidTileCode:a3"},  // the position of "a" is not examined
        {"38383838a3", "InvalidActionString:38383838a"},  // longer than 9 bytes: its first 9
        {"123456789", "InvalidActionString:123456789"},
        {"12345678", "InvalidActionString:12345678"},
        // take letters mean nothing here
        {"c232224", "InvalidActionString:c232224"},
        {"393939m39", "InvalidActionString:393939m39"},
    };
    for (const Case& c : cases) EXPECT_EQ(discard(c.entry, 0), c.expected) << label(c.entry);
}

// ---------------------------------------------------------------------------------------------
// Both columns of a seat

TEST(DriveDecodeSeat, TakesKeepOneActPerEntryInTheirSeat) {
    auto d = decode_seat(1, {23, "c232224", 44}, {});
    EXPECT_EQ(d.error, "");
    EXPECT_EQ(d.takes[1], (std::vector<std::string>{"tsumo 3p", "chi<0 3p 2p 4p", "tsumo N"}));
    for (int other : {0, 2, 3}) EXPECT_TRUE(d.takes[other].empty() && d.discards[other].empty()) << other;
    EXPECT_TRUE(d.discards[1].empty());
}

TEST(DriveDecodeSeat, PlaceholderResolution) {
    struct Case {
        const char* what;
        int seat;
        Column takes, discards;
        std::vector<std::string> expected_discards;
    };
    const std::vector<Case> cases = {
        {"mixed column: the tsumogiri tile is the paired draw",
         0,
         {11, 45, 35, 25},
         {21, 60, "r35", "k25252525"},
         {"dahai 1p", "dahai P tg", "reach 5s", "kakan 5p 5p 5p 5p"}},
        {"a riichi counts as one entry", 2, {11, 22, 33}, {60, "r60", 60}, {"dahai 1m tg", "reach 2p tg", "dahai 3s tg"}},
        {"r00 is resolved like r60", 3, {52}, {"r00"}, {"reach 5pr tg"}},
        {"a bare number other than 60 is a tsumogiri too", 1, {41, 42}, {1, 255}, {"dahai E tg", "dahai S tg"}},
        {"a tsumogiri paired with a call keeps the unknown tile", 1, {"c232224", 31}, {60, 60},
         {"dahai ? tg", "dahai 1s tg"}},
        {"the empty discard of a daiminkan is removed and the replacement draw pairs with the next entry",
         1,
         {11, "m13131313", 22},
         {31, 0, 60},
         {"dahai 1s", "dahai 2p tg"}},
        {"two empty discards in a row", 1, {"m13131313", "m14141414", 22, 23}, {0, 0, 60, 60},
         {"dahai 2p tg", "dahai 3p tg"}},
        {"kans are paired like any other entry",
         0,
         {11, 22, 33},
         {"111111a11", "k22222222", 60},
         {"ankan 1m 1m 1m 1m", "kakan 2p 2p 2p 2p", "dahai 3s tg"}},
        {"entries beyond the last take stay as written", 0, {11}, {60, 60, 0}, {"dahai 1m tg", "dahai ? tg", "dahai ?"}},
        {"more takes than discards", 2, {11, 12, 13}, {60}, {"dahai 1m tg"}},
        {"an empty discard removed at the end", 0, {11, "m13131313"}, {60, 0}, {"dahai 1m tg"}},
    };
    for (const Case& c : cases) {
        auto d = decode_seat(c.seat, c.takes, c.discards);
        EXPECT_EQ(d.error, "") << c.what;
        EXPECT_EQ(d.takes[c.seat].size(), c.takes.size()) << c.what;
        EXPECT_EQ(d.discards[c.seat], c.expected_discards) << c.what;
    }
}

TEST(DriveDecodeSeat, FirstErrorWins) {
    struct Case {
        Column takes, discards;
        const char* expected;
    };
    const std::vector<Case> cases = {
        // The take column is read completely before the discard column.
        {{11, 60}, {"bad"}, "UnexpectedNumber:60"},
        {{11, "zz", 60}, {21}, "InvalidActionString:zz"},
        {{11, "c1x1314"}, {21}, "InvalidTileCode:1x"},
        {{11, 12}, {21, "r3x", "bad"}, "InvalidTileCode:3x"},
        {{11}, {21, "", 60}, "InvalidActionString:"},
    };
    for (const Case& c : cases) {
        auto d = decode_seat(2, c.takes, c.discards);
        EXPECT_EQ(d.error, c.expected);
        EXPECT_EQ(d.error_seat, 2) << c.expected;
    }
}

TEST(DriveDecodeSeat, ActsAreReusedFromKyokuToKyoku) {
    // A larger kyoku first, then a smaller one into the same acts: only the second one's acts.
    drive::KyokuActs acts;
    std::array<SeatColumns, 4> big{};
    big[0] = {{11, 12, 13}, {"r35", 60, 60}};
    big[3] = {{14}, {24}};
    ASSERT_EQ(decode_with(acts, big).error, "");
    std::array<SeatColumns, 4> small{};
    small[2] = {{15}, {60}};
    auto d = decode_with(acts, small);
    EXPECT_EQ(d.error, "");
    for (int s : {0, 1, 3}) EXPECT_TRUE(d.takes[s].empty() && d.discards[s].empty()) << s;
    EXPECT_EQ(d.takes[2], std::vector<std::string>{"tsumo 5m"});
    EXPECT_EQ(d.discards[2], std::vector<std::string>{"dahai 5m tg"});
}
