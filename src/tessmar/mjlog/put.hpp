// Small writers of output text at a raw position, for writers that made room beforehand.
#pragma once

#include <charconv>
#include <cstdint>
#include <cstring>
#include <string_view>

namespace tessmar::mjlog {

inline constexpr std::size_t kMaxInt = 20;  // an int64 in decimal

inline char* put(char* p, std::string_view text) {
    if (!text.empty()) std::memcpy(p, text.data(), text.size());
    return p + text.size();
}

inline char* put_int(char* p, std::int64_t v) { return std::to_chars(p, p + kMaxInt, v).ptr; }

/** A two-digit tile code. */
inline char* put_code(char* p, unsigned code) {
    p[0] = static_cast<char>('0' + code / 10);
    p[1] = static_cast<char>('0' + code % 10);
    return p + 2;
}

}  // namespace tessmar::mjlog
