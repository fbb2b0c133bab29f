#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "tessmar/encoding/utf8.hpp"

using namespace tessmar;

namespace {

std::string replacement(int n) {
    std::string out;
    for (int i = 0; i < n; ++i) out += "\xEF\xBF\xBD";
    return out;
}

TEST(Utf8, NextStepReadsCodePointsAndMaximalSubparts) {
    using namespace std::string_view_literals;
    Utf8Step s = next_utf8("A", 0);
    EXPECT_TRUE(s.valid);
    EXPECT_EQ(s.code_point, U'A');
    s = next_utf8("\xE3\x81\x82", 0);  // あ
    EXPECT_TRUE(s.valid);
    EXPECT_EQ(s.length, 3);
    EXPECT_EQ(s.code_point, U'\u3042');
    s = next_utf8("\xF0\x9F\x80\x84", 0);
    EXPECT_TRUE(s.valid);
    EXPECT_EQ(s.code_point, U'\U0001F004');
    // Overlong, surrogate, above U+10FFFF, stray continuation, bad lead: one byte, not cut.
    for (std::string_view bad : {"\xC0\xAF"sv, "\xE0\x80\x80"sv, "\xED\xA0\x80"sv, "\xF4\x90\x80\x80"sv, "\x80"sv, "\xFF"sv}) {
        s = next_utf8(bad, 0);
        EXPECT_FALSE(s.valid) << bad.size();
        EXPECT_EQ(s.length, 1);
        EXPECT_FALSE(s.cut);
    }
    // A prefix that could have gone on: its length; cut only when the bytes end there.
    s = next_utf8("\xE3\x81X", 0);
    EXPECT_FALSE(s.valid);
    EXPECT_EQ(s.length, 2);
    EXPECT_FALSE(s.cut);
    s = next_utf8("\xE3\x81", 0);
    EXPECT_FALSE(s.valid);
    EXPECT_EQ(s.length, 2);
    EXPECT_TRUE(s.cut);
    s = next_utf8("\xF0", 0);
    EXPECT_EQ(s.length, 1);
    EXPECT_TRUE(s.cut);
    s = next_utf8("\xC0", 0);  // no sequence begins with C0, so nothing was cut
    EXPECT_FALSE(s.cut);
}

TEST(Utf8, InvalidOffsetFindsTheFirstBadByteAtAnyPosition) {
    const std::string ascii(100, 'a');
    EXPECT_EQ(invalid_utf8_offset(ascii), std::string_view::npos);
    EXPECT_EQ(invalid_utf8_offset(""), std::string_view::npos);
    EXPECT_TRUE(is_valid_utf8(ascii + "\xE3\x81\x82" + ascii));
    // Past the word-at-a-time prefix, inside it and at its end.
    for (std::size_t at : {0u, 7u, 8u, 31u, 32u, 33u, 99u, 100u}) {
        std::string text = ascii;
        text.insert(at, "\xED\xA0\x80");
        EXPECT_EQ(invalid_utf8_offset(text), at) << at;
        EXPECT_FALSE(is_valid_utf8(text));
    }
    EXPECT_EQ(invalid_utf8_offset(ascii + "\xE3\x81"), 100u);  // cut at the end
}

TEST(Utf8, AsciiAndEncoding) {
    EXPECT_TRUE(is_ascii(std::string(40, '~')));
    EXPECT_FALSE(is_ascii(std::string(40, '~') + "\x80"));
    EXPECT_FALSE(is_ascii("\xC3\xA9" + std::string(40, 'x')));
    std::string out;
    for (char32_t c : {U'A', U'\u00E9', U'\u3042', U'\U0001F004'}) append_utf8(out, c);
    EXPECT_EQ(out, "A\xC3\xA9\xE3\x81\x82\xF0\x9F\x80\x84");
}

TEST(Utf8, LossyReplacesEachMaximalSubpart) {
    EXPECT_EQ(utf8_lossy("ab\xE3\x81\x82"), "ab\xE3\x81\x82");
    EXPECT_EQ(utf8_lossy("\xE3\x81" "x"), replacement(1) + "x");  // one subpart of two bytes
    EXPECT_EQ(utf8_lossy("\xC0\xAF"), replacement(2));             // two bytes, neither begins one
    EXPECT_EQ(utf8_lossy("\xF0\x9F\x80"), replacement(1));         // cut at the end
    EXPECT_EQ(utf8_lossy("\xFF\xFE"), replacement(2));
}

}  // namespace
