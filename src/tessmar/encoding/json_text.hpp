// Pieces of JSON text written through a raw pointer into room the caller made beforehand:
// literals, integers, lists of four integers and strings. Each returns the end of what it wrote.
#pragma once

#include <array>
#include <concepts>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string_view>
#include <type_traits>

namespace tessmar {

/** Room an integer needs at `p`, whatever its value: the digits are copied in one piece of
 *  fixed size, which may run past the number's end. */
inline constexpr std::size_t kIntRoom = 24;

template <std::size_t N>
char* put_literal(char* p, const char (&text)[N]) {
    std::memcpy(p, text, N - 1);
    return p + N - 1;
}

inline char* put_text(char* p, std::string_view text) {
    if (!text.empty()) std::memcpy(p, text.data(), text.size());
    return p + text.size();
}

inline constexpr char kDigitPairs[] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
    "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";

/** An unsigned integer in decimal; room: kIntRoom. Digits are made two at a time from the
 *  right into a scratch buffer, then copied in one piece. Values that fit 32 bits are worked
 *  in 32 bits: the texts' numbers are all small, and 64-bit division costs more. */
template <std::unsigned_integral U>
char* put_uint(char* p, U value) {
    using Word = std::conditional_t<(sizeof(U) <= 4), std::uint32_t, std::uint64_t>;
    if constexpr (sizeof(Word) > 4) {
        // Scores and deltas held in 64 bits: almost always small enough for 32-bit work.
        if (value <= std::numeric_limits<std::uint32_t>::max()) return put_uint(p, static_cast<std::uint32_t>(value));
    }
    Word v = value;
    if (v < 10) {
        *p = static_cast<char>('0' + v);
        return p + 1;
    }
    constexpr std::size_t kCopy = std::numeric_limits<Word>::digits10 + 1;  // the most digits
    static_assert(kCopy + 1 <= kIntRoom);
    char digits[2 * kCopy];
    char* end = digits + kCopy;
    char* q = end;
    while (v >= 100) {
        q -= 2;
        std::memcpy(q, kDigitPairs + (v % 100) * 2, 2);
        v /= 100;
    }
    if (v >= 10) {
        q -= 2;
        std::memcpy(q, kDigitPairs + v * 2, 2);
    } else {
        *--q = static_cast<char>('0' + v);
    }
    std::memcpy(p, q, kCopy);  // q + kCopy stays inside `digits`
    return p + (end - q);
}

/** An integer of any type in decimal; room: kIntRoom. */
template <std::integral I>
char* put_int(char* p, I value) {
    using Unsigned = std::make_unsigned_t<I>;
    if constexpr (std::is_signed_v<I>) {
        if (value < 0) {
            *p++ = '-';
            return put_uint(p, static_cast<Unsigned>(Unsigned{0} - static_cast<Unsigned>(value)));
        }
    }
    return put_uint(p, static_cast<Unsigned>(value));
}

/** `[a,b,c,d]`: four scores or deltas; room: 4 * (kIntRoom + 1) + 2. */
template <std::integral I>
char* put_points(char* p, const std::array<I, 4>& values) {
    *p++ = '[';
    for (std::size_t i = 0; i < 4; ++i) {
        if (i) *p++ = ',';
        p = put_int(p, values[i]);
    }
    *p++ = ']';
    return p;
}

/** Room a JSON string of `size` bytes needs at most. */
constexpr std::size_t json_string_room(std::size_t size) { return 6 * size + 2; }

/** Writes `text` (valid UTF-8) as a JSON string, with room for json_string_room(size): '"'
 *  and '\' escaped, control characters as \b \f \n \r \t or \u00xx, everything else as it
 *  is. This is the escaping of both outputs, mjai events and Tenhou JSON. */
char* put_json_string(char* p, std::string_view text);

}  // namespace tessmar
