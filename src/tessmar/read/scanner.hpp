// The lexical layer of the log reader: strict JSON tokens read in place from one text.
// Standard JSON only: whitespace is space, tab, line feed and carriage return; strings are
// valid UTF-8 with valid escapes (surrogates in pairs); numbers follow the JSON grammar.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "tessmar/encoding/chars.hpp"

namespace tessmar::read {

// Bytes that a string holds as they are: printable ASCII but the quote and the backslash.
inline constexpr std::array<bool, 256> kPlain = [] {
    std::array<bool, 256> table{};
    for (unsigned c = 0x20; c < 0x80; ++c) table[c] = c != '"' && c != '\\';
    return table;
}();

/** A JSON number as its written form decides: the reader's integer kinds refuse a fraction
 *  or an exponent even when the value is whole, so the form is kept, not a double. */
struct Number {
    bool integer = true;     // written without fraction or exponent
    bool negative = false;   // written with a minus sign ("-0" is negative and zero)
    bool big = false;        // integer whose magnitude exceeds 64 bits
    std::uint64_t magnitude = 0;

    /** A non-negative integer (or -0) of at most `max`, as the integer kinds read it. */
    bool unsigned_at_most(std::uint64_t max) const {
        return integer && !big && magnitude <= max && (!negative || magnitude == 0);
    }
    /** An integer that fits a signed 32-bit value. */
    bool fits_int32() const {
        return integer && !big && magnitude <= (negative ? 2147483648u : 2147483647u);
    }
    std::int32_t as_int32() const {
        return negative ? static_cast<std::int32_t>(0u - static_cast<std::uint32_t>(magnitude))
                        : static_cast<std::int32_t>(magnitude);
    }
};

/** Reads tokens forward from `pos`. Every refusal records a message and the offset where
 *  reading stopped, and returns false; the first refusal is the one kept. (This is the JSON
 *  reader's one convention, kept through read/reader.cpp: a step per token returns a bool
 *  that the hot loop tests, and only `read_log` turns the kept refusal into an
 *  std::expected.) That offset is the
 *  text's length when the text ends too soon, else the byte that breaks the grammar (a
 *  surrogate escape: its backslash). */
class Scanner {
public:
    explicit Scanner(std::string_view text) : begin_(text.data()), pos_(text.data()), end_(text.data() + text.size()) {}

    const char* pos() const { return pos_; }
    bool at_end() const { return pos_ == end_; }
    const std::string& message() const { return message_; }
    std::size_t error_offset() const { return error_offset_; }

    /** Skips whitespace and returns the next byte without consuming it; 0 at the end. */
    char peek() {
        if (pos_ != end_ && !is_ws(*pos_)) return *pos_;
        return skip_ws();
    }
    /** Consumes `c` after whitespace, if it stands there; records no refusal. */
    bool accept(char c) {
        if (peek() != c) return false;
        ++pos_;
        return true;
    }
    /** Consumes `c` after whitespace. */
    bool expect(char c) {
        if (peek() != c) return fail_expected(c);
        ++pos_;
        return true;
    }
    /** After an element: consumes a ',' (`more` true) or the closing bracket (`more` false). */
    bool array_next(bool& more) { return separator(']', more); }
    bool object_next(bool& more) { return separator('}', more); }

    /** The literal `null` at the current position (after whitespace). */
    bool null();

    /** A string at the current position (after whitespace). With `out`, its unescaped bytes
     *  are appended there; without, it is only checked. */
    bool string(std::string* out) {
        if (peek() != '"') return fail_expected('"');
        const char* run = ++pos_;
        // Plain ASCII runs are the common case: stop at the quote or at anything to look at.
        while (pos_ != end_ && kPlain[static_cast<unsigned char>(*pos_)]) ++pos_;
        if (pos_ != end_ && *pos_ == '"') {
            if (out) out->append(run, pos_);
            ++pos_;
            return true;
        }
        return string_tail(out, run);
    }
    /** A string as a view: into the text when it holds no escape, else into `scratch`. */
    bool string_view(std::string_view& out, std::string& scratch);

    /** The fast path of the commonest token, a tile code: a plain integer of one to three
     *  digits at the current position (after `peek`). False, with nothing consumed, for
     *  anything else; `number` then reads it and gives the verdict. */
    bool small_uint(unsigned& out) {
        const char* p = pos_;
        // Tile codes are two digits: read them without a loop.
        if (end_ - p >= 3) {
            const char next = p[2];
            unsigned v;
            if (two_digits(p, v) && !is_digit(next) && next != '.' && next != 'e' && next != 'E') {
                pos_ = p + 2;
                out = v;
                return true;
            }
        }
        unsigned v = 0;
        int digits = 0;
        for (; p != end_ && digits < 4 && is_digit(*p); ++p, ++digits) v = v * 10 + static_cast<unsigned>(*p - '0');
        if (digits == 0 || digits == 4 || (digits > 1 && *pos_ == '0') || p == end_) return false;
        if (*p == '.' || *p == 'e' || *p == 'E') return false;
        pos_ = p;
        out = v;
        return true;
    }

    /** Two-digit integers from the current position, each followed straight by a ',', as long
     *  as they go on: `each(value)` takes each, and reading stops before anything else. Runs of
     *  tile codes make most of a log, so they are read without the steps of one token each. */
    template <class Each>
    void two_digit_run(Each&& each) {
        const char* p = pos_;
        const char* const end = end_;  // a local: the stores of `each` may not move it
        for (unsigned v; end - p >= 3 && two_digits(p, v) && p[2] == ','; p += 3) each(v);
        pos_ = p;
    }

    /** An array of exactly N two-digit integers, each of which `accept`s, written without
     *  whitespace at the current position (after `peek`): read into `out` and consumed. False,
     *  with nothing consumed, for any other text. Starting hands take this shape in most logs. */
    template <std::size_t N, class Accept>
    bool two_digit_array(std::array<std::uint8_t, N>& out, Accept&& accept) {
        if (static_cast<std::size_t>(end_ - pos_) < 1 + 3 * N || *pos_ != '[') return false;
        const char* p = pos_ + 1;
        for (std::size_t i = 0; i < N; ++i, p += 3) {
            unsigned v;
            if (!two_digits(p, v) || p[2] != (i + 1 < N ? ',' : ']')) return false;
            out[i] = static_cast<std::uint8_t>(v);
            if (!accept(out[i])) return false;
        }
        pos_ = p;
        return true;
    }

    /** A number at the current position (after whitespace). */
    bool number(Number& n) {
        peek();
        const char* p = pos_;
        n = Number{};
        if (p != end_ && *p == '-') {
            n.negative = true;
            ++p;
        }
        if (p == end_) return fail_at(p, "incomplete JSON");
        if (!is_digit(*p)) return fail_at(p, "invalid number");
        if (*p == '0') {
            ++p;
        } else {
            // 19 digits always fit 64 bits; a 20th is checked, and more make the number big.
            const char* digits = p;
            std::uint64_t m = 0;
            while (p != end_ && is_digit(*p) && p - digits < 19) m = m * 10 + static_cast<unsigned>(*p++ - '0');
            if (p != end_ && is_digit(*p)) {
                const unsigned d = static_cast<unsigned>(*p++ - '0');
                if (m > (UINT64_MAX - d) / 10) n.big = true;
                m = m * 10 + d;
                while (p != end_ && is_digit(*p)) {
                    n.big = true;
                    ++p;
                }
            }
            n.magnitude = m;
        }
        if (p != end_ && (*p == '.' || *p == 'e' || *p == 'E')) return fraction_exponent(n, p);
        // Numbers are only read inside an array or an object, which must close after them: at
        // the end of the text, the number may be cut short, and reads as no value at all.
        if (p == end_) return fail_at(p, "incomplete JSON");
        pos_ = p;
        return true;
    }

    /** Checks one value of any kind. Arrays and objects opened inside it may nest at most
     *  `max_depth` levels (the value itself counting as level 1); skipped values of unknown
     *  keys pass no limit. Flat: no recursion, whatever the depth. */
    bool skip_value(std::size_t max_depth = static_cast<std::size_t>(-1));

    /** Records a refusal at the current position; always false. */
    [[gnu::cold]] bool fail(std::string_view message);
    /** Records a refusal at `at`; always false. */
    [[gnu::cold]] bool fail_at(const char* at, std::string_view message);

    static bool is_ws(char c) {
        // One test for the four whitespace bytes: the bit of each in a mask of the bytes up to ' '.
        constexpr std::uint64_t kMask = (1ull << ' ') | (1ull << '\n') | (1ull << '\r') | (1ull << '\t');
        const auto b = static_cast<unsigned char>(c);
        return b <= ' ' && ((kMask >> b) & 1);
    }

private:
    // The integer 10..99 of the two digits at `p`, if they are two digits without a leading 0.
    static bool two_digits(const char* p, unsigned& out) {
        const unsigned d0 = static_cast<unsigned char>(p[0]) - '0';
        const unsigned d1 = static_cast<unsigned char>(p[1]) - '0';
        out = d0 * 10 + d1;
        return d0 - 1 < 9 && d1 < 10;
    }
    bool separator(char close, bool& more) {
        char c = peek();
        if (c == ',') {
            ++pos_;
            more = true;
            return true;
        }
        if (c == close) {
            ++pos_;
            more = false;
            return true;
        }
        return fail_expected(close == ']' ? ']' : '}', ',');
    }
    [[gnu::cold]] bool fail_expected(char c, char alt = '\0');
    char skip_ws();
    bool string_tail(std::string* out, const char* run);
    bool fraction_exponent(Number& n, const char* p);
    bool escape(std::string* out);
    bool utf8_sequence();
    bool literal(std::string_view word);


    const char* begin_;
    const char* pos_;
    const char* end_;
    std::string message_;
    std::size_t error_offset_ = 0;
    std::string open_;  // containers open in the value being skipped
};

}  // namespace tessmar::read
