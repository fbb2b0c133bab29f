#include "tessmar/read/scanner.hpp"

#include <bit>

#include "tessmar/encoding/utf8.hpp"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace tessmar::read {

// Indented logs hold runs of whitespace between most tokens: on x86 they are skipped sixteen
// bytes at a time.
char Scanner::skip_ws() {
#if defined(__SSE2__)
    const __m128i space = _mm_set1_epi8(' '), tab = _mm_set1_epi8('\t'), lf = _mm_set1_epi8('\n'),
                  cr = _mm_set1_epi8('\r');
    while (end_ - pos_ >= 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(pos_));
        const __m128i ws = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, space), _mm_cmpeq_epi8(v, tab)),
                                         _mm_or_si128(_mm_cmpeq_epi8(v, lf), _mm_cmpeq_epi8(v, cr)));
        const unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(ws));
        if (mask != 0xFFFF) {
            pos_ += std::countr_one(mask);
            return *pos_;
        }
        pos_ += 16;
    }
#endif
    while (pos_ != end_ && is_ws(*pos_)) ++pos_;
    return pos_ == end_ ? '\0' : *pos_;
}

bool Scanner::fail(std::string_view message) { return fail_at(pos_, message); }

bool Scanner::fail_at(const char* at, std::string_view message) {
    if (message_.empty()) {
        message_ = message;
        error_offset_ = static_cast<std::size_t>(at - begin_);
    }
    return false;
}

bool Scanner::fail_expected(char c, char alt) {
    if (peek() == '\0' && at_end()) return fail("incomplete JSON");
    std::string message = "syntax error: expected '";
    message += c;
    if (alt) {
        message += "' or '";
        message += alt;
    }
    message += "'";
    return fail(message);
}

bool Scanner::literal(std::string_view word) {
    for (char c : word) {
        if (pos_ == end_) return fail("incomplete JSON");
        if (*pos_ != c) return fail("syntax error");
        ++pos_;
    }
    return true;
}

bool Scanner::null() {
    if (peek() != 'n') return fail("expected null");
    return literal("null");
}

bool Scanner::string_view(std::string_view& out, std::string& scratch) {
    if (peek() != '"') return fail_expected('"');
    const char* run = pos_ + 1;
    const char* p = run;
    while (p != end_ && kPlain[static_cast<unsigned char>(*p)]) ++p;
    if (p != end_ && *p == '"') {
        out = std::string_view(run, static_cast<std::size_t>(p - run));
        pos_ = p + 1;
        return true;
    }
    scratch.clear();
    if (!string(&scratch)) return false;
    out = scratch;
    return true;
}

// pos_ stands on a byte that is not plain ASCII, or at the end; `run` is where the bytes
// not yet appended to `out` begin.
bool Scanner::string_tail(std::string* out, const char* run) {
    for (;;) {
        if (pos_ == end_) return fail("incomplete JSON");
        const auto c = static_cast<unsigned char>(*pos_);
        if (c == '"') {
            if (out) out->append(run, pos_);
            ++pos_;
            return true;
        }
        if (c == '\\') {
            if (out) out->append(run, pos_);
            if (!escape(out)) return false;
            run = pos_;
        } else if (c < 0x20) {
            return fail("control character in a string");
        } else if (is_common_utf8_triple(pos_, end_)) {
            pos_ += 3;
        } else if (!utf8_sequence()) {
            return false;
        }
        while (pos_ != end_ && kPlain[static_cast<unsigned char>(*pos_)]) ++pos_;
    }
}

// One multi-byte UTF-8 sequence at pos_; input that ends inside one is incomplete JSON.
bool Scanner::utf8_sequence() {
    const Utf8Step step = next_utf8(std::string_view(pos_, static_cast<std::size_t>(end_ - pos_)), 0);
    if (step.cut) return fail_at(end_, "incomplete JSON");
    if (!step.valid) return fail("invalid UTF-8 in a string");
    pos_ += step.length;
    return true;
}

// An escape at pos_ (on the backslash); its bytes are appended to `out` when given.
bool Scanner::escape(std::string* out) {
    const char* start = pos_;  // a surrogate is refused as the whole escape
    ++pos_;
    if (pos_ == end_) return fail("incomplete JSON");
    char plain = 0;
    switch (*pos_) {
        case '"': plain = '"'; break;
        case '\\': plain = '\\'; break;
        case '/': plain = '/'; break;
        case 'b': plain = '\b'; break;
        case 'f': plain = '\f'; break;
        case 'n': plain = '\n'; break;
        case 'r': plain = '\r'; break;
        case 't': plain = '\t'; break;
        case 'u': break;
        default: return fail("invalid escape in a string");
    }
    if (plain) {
        ++pos_;
        if (out) out->push_back(plain);
        return true;
    }
    auto hex4 = [this](std::uint32_t& v) {
        v = 0;
        for (int k = 0; k < 4; ++k) {
            if (pos_ == end_) return fail("incomplete JSON");
            const int h = hex_value(*pos_);
            if (h < 0) return fail("invalid \\u escape");
            v = v * 16 + static_cast<std::uint32_t>(h);
            ++pos_;
        }
        return true;
    };
    ++pos_;  // the 'u'
    std::uint32_t cp = 0;
    if (!hex4(cp)) return false;
    if (cp >= 0xDC00 && cp <= 0xDFFF) return fail_at(start, "lone low surrogate");
    if (cp >= 0xD800 && cp <= 0xDBFF) {
        // A high surrogate counts only with the low one that must follow it.
        if (pos_ == end_ || (pos_ + 1 == end_ && *pos_ == '\\')) return fail_at(end_, "incomplete JSON");
        if (pos_[0] != '\\' || pos_[1] != 'u') return fail_at(start, "lone high surrogate");
        pos_ += 2;
        std::uint32_t low = 0;
        if (!hex4(low)) return false;
        if (low < 0xDC00 || low > 0xDFFF) return fail_at(start, "lone high surrogate");
        cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
    }
    if (out) append_utf8(*out, cp);
    return true;
}

// The rest of a number from its '.', 'e' or 'E' at p.
bool Scanner::fraction_exponent(Number& n, const char* p) {
    n.integer = false;
    if (*p == '.') {
        ++p;
        if (p == end_) return fail_at(p, "incomplete JSON");
        if (!is_digit(*p)) return fail_at(p, "invalid number");
        while (p != end_ && is_digit(*p)) ++p;
    }
    if (p != end_ && (*p == 'e' || *p == 'E')) {
        ++p;
        if (p != end_ && (*p == '+' || *p == '-')) ++p;
        if (p == end_) return fail_at(p, "incomplete JSON");
        if (!is_digit(*p)) return fail_at(p, "invalid number");
        while (p != end_ && is_digit(*p)) ++p;
    }
    if (p == end_) return fail_at(p, "incomplete JSON");  // as in `number`
    pos_ = p;
    return true;
}

bool Scanner::skip_value(std::size_t max_depth) {
    open_.clear();
    for (;;) {
        // A value is wanted here.
        const char c = peek();
        if (c == '[' || c == '{') {
            if (open_.size() >= max_depth) return fail("arrays and objects nested deeper than 127 levels");
            ++pos_;
            open_.push_back(c);
            if (peek() == (c == '[' ? ']' : '}')) {
                ++pos_;
                open_.pop_back();
            } else {
                if (c == '{' && !(string(nullptr) && expect(':'))) return false;
                continue;
            }
        } else if (c == '"') {
            if (!string(nullptr)) return false;
        } else if (c == '-' || is_digit(c)) {
            Number n;
            if (!number(n)) return false;
        } else if (c == 't') {
            if (!literal("true")) return false;
        } else if (c == 'f') {
            if (!literal("false")) return false;
        } else if (c == 'n') {
            if (!literal("null")) return false;
        } else {
            return at_end() ? fail("incomplete JSON") : fail("syntax error: expected a value");
        }
        // After a value: close containers until one goes on with a ','.
        for (;;) {
            if (open_.empty()) return true;
            const bool object = open_.back() == '{';
            bool more = false;
            if (!separator(object ? '}' : ']', more)) return false;
            if (!more) {
                open_.pop_back();
                continue;
            }
            if (object && !(string(nullptr) && expect(':'))) return false;
            break;
        }
    }
}

}  // namespace tessmar::read
