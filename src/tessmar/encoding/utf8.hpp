// UTF-8: validation, decoding (strict and lossy) and encoding, for the readers and the boundary.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace tessmar {

/** One step through a byte string. When `valid`, `length` bytes (1..4) encode
 *  `code_point`. Otherwise `length` is the maximal ill-formed subpart (1..3 bytes): the
 *  longest prefix that could still have begun a well-formed sequence, or 1; `cut` then says
 *  that the bytes ended inside that prefix, which more input could have completed. */
struct Utf8Step {
    char32_t code_point;
    std::uint8_t length;
    bool valid;
    bool cut = false;
};

/** Reads the sequence starting at `pos` (which must be < bytes.size()). Inline: the JSON
 *  scanner steps through every non-ASCII string byte with it. */
inline Utf8Step next_utf8(std::string_view bytes, std::size_t pos) {
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data()) + pos;
    const std::size_t left = bytes.size() - pos;
    const unsigned char lead = p[0];
    if (lead < 0x80) return {lead, 1, true};

    // The second byte's range depends on the lead byte: this is what rules out overlong
    // forms, surrogates and values above U+10FFFF.
    std::size_t length;
    unsigned char low = 0x80, high = 0xBF;
    char32_t value;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        value = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        value = lead & 0x0F;
        if (lead == 0xE0) low = 0xA0;
        if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        value = lead & 0x07;
        if (lead == 0xF0) low = 0x90;
        if (lead == 0xF4) high = 0x8F;
    } else {
        return {0, 1, false};
    }

    if (left < 2) return {0, 1, false, true};
    if (p[1] < low || p[1] > high) return {0, 1, false};
    value = (value << 6) | (p[1] & 0x3F);
    for (std::size_t i = 2; i < length; ++i) {
        if (i >= left) return {0, static_cast<std::uint8_t>(i), false, true};
        if ((p[i] & 0xC0) != 0x80) return {0, static_cast<std::uint8_t>(i), false};
        value = (value << 6) | (p[i] & 0x3F);
    }
    return {value, static_cast<std::uint8_t>(length), true};
}

/** True when the three bytes at `p` (before `end`) are a sequence led by E1..EC: kana and
 *  kanji, most of the non-ASCII text in logs, and every such form with two continuation
 *  bytes is valid, so a reader's hot loop may take them without the full check. */
inline bool is_common_utf8_triple(const char* p, const char* end) {
    const auto lead = static_cast<unsigned char>(p[0]);
    return lead >= 0xE1 && lead <= 0xEC && end - p >= 3 && (p[1] & 0xC0) == 0x80 && (p[2] & 0xC0) == 0x80;
}

/** The offset of the first byte that does not begin a well-formed sequence (no overlong
 *  forms, no surrogates, nothing above U+10FFFF, no truncated sequence at the end), or npos. */
std::size_t invalid_utf8_offset(std::string_view bytes);

/** True when `bytes` is well-formed UTF-8. */
inline bool is_valid_utf8(std::string_view bytes) { return invalid_utf8_offset(bytes) == std::string_view::npos; }

/** True when every byte is below 0x80. */
bool is_ascii(std::string_view bytes);

/** Appends the UTF-8 encoding of a scalar value. */
void append_utf8(std::string& out, char32_t code_point);

/** `bytes` decoded as UTF-8, each maximal ill-formed subpart becoming U+FFFD. */
std::string utf8_lossy(std::string_view bytes);

}  // namespace tessmar
