// Strict UTF-8 reading for log files, paths in messages and event texts.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace tessmar::lib {

/** One step through a byte string. When `valid`, `length` bytes (1..4) encode
 *  `code_point`. Otherwise `length` is the maximal ill-formed subpart (1..3 bytes):
 *  the longest prefix that could still have begun a well-formed sequence, or 1. */
struct Utf8Step {
    char32_t code_point;
    std::uint8_t length;
    bool valid;
};

/** Reads the sequence starting at `pos` (which must be < bytes.size()). */
Utf8Step next_utf8(std::string_view bytes, std::size_t pos);

/** True when `bytes` is well-formed UTF-8: no overlong forms, no surrogates,
 *  nothing above U+10FFFF, no truncated sequence at the end. */
bool is_valid_utf8(std::string_view bytes);

/** True when every byte is below 0x80. */
bool is_ascii(std::string_view bytes);

/** Appends the UTF-8 encoding of a scalar value. */
void append_utf8(std::string& out, char32_t code_point);

}  // namespace tessmar::lib
