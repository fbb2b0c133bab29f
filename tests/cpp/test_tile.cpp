#include <gtest/gtest.h>

#include "tessmar/encoding/tile.hpp"
#include "tessmar/encoding/utf8.hpp"

using namespace tessmar;

namespace {

std::string name_of_code(unsigned code) {
    auto t = tile_from_code(static_cast<std::uint8_t>(code));
    return t ? std::string(tile_name(*t)) : std::string("-");
}

}  // namespace

TEST(Tile, CodesAndNames) {
    EXPECT_EQ(name_of_code(0), "?");
    EXPECT_EQ(name_of_code(11), "1m");
    EXPECT_EQ(name_of_code(19), "9m");
    EXPECT_EQ(name_of_code(21), "1p");
    EXPECT_EQ(name_of_code(29), "9p");
    EXPECT_EQ(name_of_code(31), "1s");
    EXPECT_EQ(name_of_code(39), "9s");
    EXPECT_EQ(name_of_code(15), "5m");
    EXPECT_EQ(name_of_code(25), "5p");
    EXPECT_EQ(name_of_code(35), "5s");
    EXPECT_EQ(name_of_code(41), "E");
    EXPECT_EQ(name_of_code(42), "S");
    EXPECT_EQ(name_of_code(43), "W");
    EXPECT_EQ(name_of_code(44), "N");
    EXPECT_EQ(name_of_code(45), "P");
    EXPECT_EQ(name_of_code(46), "F");
    EXPECT_EQ(name_of_code(47), "C");
    EXPECT_EQ(name_of_code(51), "5mr");
    EXPECT_EQ(name_of_code(52), "5pr");
    EXPECT_EQ(name_of_code(53), "5sr");
    for (unsigned bad : {1u, 9u, 10u, 20u, 30u, 40u, 48u, 49u, 50u, 54u, 60u, 99u, 255u})
        EXPECT_EQ(name_of_code(bad), "-") << bad;
}

TEST(Tile, ExactlyThirtyEightCodesMapOntoDistinctTiles) {
    std::array<int, kTileCount> seen{};
    int accepted = 0;
    for (unsigned code = 0; code <= 255; ++code) {
        if (auto t = tile_from_code(static_cast<std::uint8_t>(code))) {
            ASSERT_LT(t->index, kTileCount);
            ++seen[t->index];
            ++accepted;
        }
    }
    EXPECT_EQ(accepted, 38);
    for (int n : seen) EXPECT_EQ(n, 1);
    EXPECT_FALSE(Tile{4} == Tile{34});  // a red five is a tile of its own
}

TEST(Tile, CodeText) {
    auto tile = [](std::string_view two) -> std::string {
        auto t = tile_from_code_text(two);
        if (t) return std::string(tile_name(*t));
        return "!" + utf8_lossy(two);  // the text an InvalidTileCode error carries
    };
    EXPECT_EQ(tile("00"), "?");
    EXPECT_EQ(tile("+0"), "?");
    EXPECT_EQ(tile("53"), "5sr");
    EXPECT_EQ(tile("47"), "C");
    EXPECT_EQ(tile("05"), "!05");
    EXPECT_EQ(tile("+1"), "!+1");
    EXPECT_EQ(tile("-1"), "!-1");
    EXPECT_EQ(tile(" 1"), "! 1");
    EXPECT_EQ(tile("1 "), "!1 ");
    EXPECT_EQ(tile("x4"), "!x4");
    EXPECT_EQ(tile("++"), "!++");
    // A slice that cuts a multi-byte character decodes with U+FFFD in place of the broken part.
    EXPECT_EQ(tile("\xE5\x92"), "!\xEF\xBF\xBD");
    EXPECT_EQ(tile("1\xE5"), "!1\xEF\xBF\xBD");
    EXPECT_EQ(tile("\xFF\xFE"), "!\xEF\xBF\xBD\xEF\xBF\xBD");
}

TEST(Tile, InvalidCodeDiagnostic) {
    EXPECT_EQ(invalid_tile_code_message(60),
              "invalid value: 60, expected one of: 0, 11, 12, 13, 14, 15, 16, 17, 18, 19, 21, 22, 23, 24, 25, 26, "
              "27, 28, 29, 31, 32, 33, 34, 35, 36, 37, 38, 39, 41, 42, 43, 44, 45, 46, 47, 51, 52, 53");
}
