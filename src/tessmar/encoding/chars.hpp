// Character classes that both text readers (the JSON scanner and the XML scanner) need.
#pragma once

namespace tessmar {

/** The sixteen hexadecimal digits, lower case, by value. */
inline constexpr char kHexDigits[] = "0123456789abcdef";

constexpr bool is_digit(char c) { return c >= '0' && c <= '9'; }

/** The value of a hexadecimal digit, or -1. */
constexpr int hex_value(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace tessmar
