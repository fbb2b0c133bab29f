#include "tessmar/mjlog/xml.hpp"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <cstring>

#include "tessmar/encoding/chars.hpp"
#include "tessmar/encoding/utf8.hpp"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace tessmar::mjlog::xml {
namespace {

constexpr bool is_letter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

// Byte classes by table: the scanner looks at every byte of a tag's names.
constexpr std::uint8_t kSpace = 1, kNameChar = 2;
constexpr auto kClass = [] {
    std::array<std::uint8_t, 256> t{};
    for (char c : {' ', '\t', '\n', '\r'}) t[static_cast<unsigned char>(c)] = kSpace;
    for (unsigned c = 0; c < 128; ++c)
        if (is_letter(static_cast<char>(c)) || is_digit(static_cast<char>(c)) || c == '_' || c == '.' || c == '-')
            t[c] = kNameChar;
    return t;
}();
inline bool is_space(char c) { return kClass[static_cast<unsigned char>(c)] == kSpace; }
inline bool is_name_char(char c) { return kClass[static_cast<unsigned char>(c)] == kNameChar; }


// A character XML allows: tab, line feed, carriage return, and from U+0020 on without the
// surrogates and the two non-characters U+FFFE and U+FFFF.
constexpr bool is_xml_char(std::uint32_t cp) {
    return cp == 0x9 || cp == 0xA || cp == 0xD || (cp >= 0x20 && cp <= 0xD7FF) || (cp >= 0xE000 && cp <= 0xFFFD) ||
           (cp >= 0x10000 && cp <= 0x10FFFF);
}

// The first '"', '<' or '&' in [p, end), or end. Attribute values are mostly short lists of
// numbers, read eight bytes at a time, with a few long ones (the shuffle seed).
const char* value_stop(const char* p, const char* end) {
#if defined(__SSE2__)
    // Sixteen bytes at a time: most values end in the first block, the longest in a few.
    const __m128i quote = _mm_set1_epi8('"'), lt = _mm_set1_epi8('<'), amp = _mm_set1_epi8('&');
    while (end - p >= 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        const __m128i hit = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, quote), _mm_cmpeq_epi8(v, lt)), _mm_cmpeq_epi8(v, amp));
        if (const auto mask = static_cast<unsigned>(_mm_movemask_epi8(hit))) return p + std::countr_zero(mask);
        p += 16;
    }
#endif
    if constexpr (std::endian::native == std::endian::little) {
        constexpr std::uint64_t ones = 0x0101010101010101ull, highs = 0x8080808080808080ull;
        // High bit set in each byte equal to c; exact in the lowest such byte, which is all
        // that is used.
        const auto equal = [](std::uint64_t w, char c) {
            const std::uint64_t x = w ^ (ones * static_cast<unsigned char>(c));
            return (x - ones) & ~x & highs;
        };
        for (int words = 0; words < 4 && end - p >= 8; ++words) {
            std::uint64_t w;
            std::memcpy(&w, p, 8);
            if (const std::uint64_t m = equal(w, '"') | equal(w, '<') | equal(w, '&'))
                return p + std::countr_zero(m) / 8;
            p += 8;
        }
        // A long value: the library's search is much faster there, and three passes of it
        // cost less than one of ours.
        if (end - p >= 8) {
            const auto* quote = static_cast<const char*>(std::memchr(p, '"', static_cast<std::size_t>(end - p)));
            const char* stop = quote ? quote : end;
            if (const void* lt = std::memchr(p, '<', static_cast<std::size_t>(stop - p))) stop = static_cast<const char*>(lt);
            if (const void* amp = std::memchr(p, '&', static_cast<std::size_t>(stop - p))) stop = static_cast<const char*>(amp);
            return stop;
        }
    }
    while (p != end && *p != '"' && *p != '<' && *p != '&') ++p;
    return p;
}

// A name's size and its first and last bytes in one word (names are never empty).
std::uint64_t name_key(std::string_view name) {
    return std::uint64_t{name.size()} << 16 | std::uint64_t{static_cast<unsigned char>(name.front())} << 8 |
           static_cast<unsigned char>(name.back());
}

}  // namespace

std::expected<void, std::string> decode_references(std::string_view raw, std::string& out) {
    out.clear();
    std::size_t i = 0;
    while (i < raw.size()) {
        std::size_t amp = raw.find('&', i);
        if (amp == std::string_view::npos) {
            out.append(raw.substr(i));
            break;
        }
        out.append(raw.substr(i, amp - i));
        std::size_t semi = raw.find(';', amp);
        if (semi == std::string_view::npos) return std::unexpected(std::string("'&' without a reference"));
        std::string_view ref = raw.substr(amp + 1, semi - amp - 1);
        if (ref == "amp") out.push_back('&');
        else if (ref == "lt") out.push_back('<');
        else if (ref == "gt") out.push_back('>');
        else if (ref == "quot") out.push_back('"');
        else if (ref == "apos") out.push_back('\'');
        else if (ref.size() >= 2 && ref[0] == '#') {
            const bool hex = ref[1] == 'x';
            std::string_view digits = ref.substr(hex ? 2 : 1);
            std::uint32_t cp = 0;
            bool ok = !digits.empty();
            for (char c : digits) {
                const int d = hex ? hex_value(c) : is_digit(c) ? c - '0' : -1;
                if (d < 0) { ok = false; break; }
                cp = cp * (hex ? 16 : 10) + static_cast<unsigned>(d);
                if (cp > 0x10FFFF) { ok = false; break; }
            }
            if (!ok || !is_xml_char(cp))
                return std::unexpected("bad character reference '&" + printable(ref, 16) + ";'");
            append_utf8(out, cp);
        } else {
            return std::unexpected("unknown entity '&" + printable(ref, 16) + ";'");
        }
        i = semi + 1;
    }
    return {};
}

Status Scanner::skip_blank() {
    // Nearly always the next tag follows at once.
    if (pos_ + 1 < text_.size() && text_[pos_] == '<' && text_[pos_ + 1] != '!') return {};
    for (;;) {
        while (pos_ < text_.size() && is_space(text_[pos_])) ++pos_;
        if (text_.compare(pos_, 4, "<!--") != 0) return {};
        std::size_t end = text_.find("-->", pos_ + 4);
        if (end == std::string_view::npos) return refuse_at("unterminated comment", pos_);
        pos_ = end + 3;
    }
}

std::expected<Tag, MjlogError> Scanner::open() {
    if (text_.starts_with("\xEF\xBB\xBF")) pos_ = 3;  // a byte order mark
    if (auto blank = skip_blank(); !blank) return pass_on(blank);
    if (text_.compare(pos_, 5, "<?xml") == 0 && pos_ + 5 < text_.size() && is_space(text_[pos_ + 5])) {
        std::size_t end = text_.find("?>", pos_);
        if (end == std::string_view::npos) return refuse_at("unterminated XML declaration", pos_);
        pos_ = end + 2;
        if (auto blank = skip_blank(); !blank) return pass_on(blank);
    }
    if (pos_ >= text_.size()) return refuse_text("no mjloggm element");
    if (text_[pos_] != '<') return refuse_at("text before the mjloggm element", pos_);
    auto game = tag();
    if (!game) return game;
    if (game->name != "mjloggm") {
        if (text_.find("<mjloggm", pos_) == std::string_view::npos)
            return refuse_text("no mjloggm element");
        return refuse_tag("tag before the mjloggm element", game->name, game->offset);
    }
    if (game->self_closing) return refuse_tag("empty game element", game->name, game->offset);
    return game;
}

std::expected<bool, MjlogError> Scanner::next(Tag& out) {
    if (auto blank = skip_blank(); !blank) return pass_on(blank);
    if (pos_ >= text_.size())
        // The message names no byte: there is none past the end.
        return std::unexpected(MjlogError{"the file is cut short: no closing </mjloggm>", text_.size()});
    if (text_[pos_] != '<') return refuse_at("text between tags", pos_);
    if (pos_ + 1 < text_.size() && text_[pos_ + 1] == '/') {
        // Only the game's own closing tag: no other element has content.
        const std::size_t start = pos_;
        if (text_.compare(pos_, 9, "</mjloggm") != 0)
            return refuse_at("unexpected closing tag", start);
        pos_ += 9;
        while (pos_ < text_.size() && is_space(text_[pos_])) ++pos_;
        if (pos_ >= text_.size() || text_[pos_] != '>') return refuse_at("malformed closing tag", start);
        ++pos_;
        close_offset_ = start;
        if (auto blank = skip_blank(); !blank) return pass_on(blank);
        if (pos_ != text_.size()) return refuse_at("content after </mjloggm>", pos_);
        return false;
    }
    auto t = tag();
    if (!t) return pass_on(t);
    out = *t;
    return true;
}

namespace {

// A repeated attribute would make a tag mean two things. Few names: each pair compared by a
// key of its size and end bytes, and by the whole name only when the keys match. Many: sorted.
bool has_repeated_name(std::span<const Attribute> attributes) {
    const std::size_t count = attributes.size();
    if (count <= 1) return false;
    if (count <= 16) {
        std::array<std::uint64_t, 16> keys;
        for (std::size_t a = 0; a < count; ++a) keys[a] = name_key(attributes[a].name);
        for (std::size_t a = 1; a < count; ++a)
            for (std::size_t b = 0; b < a; ++b)
                if (keys[a] == keys[b] && attributes[a].name == attributes[b].name) return true;
        return false;
    }
    std::vector<std::string_view> names;
    for (const Attribute& a : attributes) names.push_back(a.name);
    std::ranges::sort(names);
    return std::ranges::adjacent_find(names) != names.end();
}

}  // namespace

Scanner::ValueScan Scanner::value(std::size_t quote) const {
    const std::size_t n = text_.size();
    const char* s = text_.data();
    ValueScan scan;
    std::size_t i = quote + 1;
    // One pass to the closing quote that also finds any '<' or '&' on the way.
    for (;;) {
        i = static_cast<std::size_t>(value_stop(s + i, s + n) - s);
        if (i < n && s[i] == '&') {
            scan.references = true;
            ++i;
            continue;
        }
        if (i >= n || (s[i] == '<' && !std::memchr(s + i, '"', n - i))) {
            scan.fault = "the file is cut short inside a tag";
            scan.cut_short = true;
        } else if (s[i] == '<') {
            scan.fault = "'<' in an attribute value";
        }
        break;
    }
    scan.end = i;
    return scan;
}

// A tag at pos_ (on its '<'): `<`, optional whitespace, a name, attributes each after
// whitespace, optional whitespace, an optional '/', optional whitespace, `>`.
std::expected<Tag, MjlogError> Scanner::tag() {
    const std::size_t start = pos_;
    const std::size_t n = text_.size();
    const char* s = text_.data();
    auto malformed = [&](std::string_view what) { return refuse_at(what, start); };
    std::size_t i = pos_ + 1;
    while (i < n && is_space(s[i])) ++i;
    if (i >= n) return malformed("the file is cut short inside a tag");
    if (!(is_letter(s[i]) || s[i] == '_')) {
        if (s[i] == '!' || s[i] == '?') return malformed("markup other than a tag or a comment");
        return malformed("malformed tag");
    }
    const std::size_t name_start = i;
    while (i < n && is_name_char(s[i])) ++i;
    Tag t;
    t.name = text_.substr(name_start, i - name_start);
    t.offset = start;
    attributes_.clear();
    decoded_at_.clear();
    std::size_t decoded_count = 0;
    for (;;) {
        const std::size_t before_space = i;
        while (i < n && is_space(s[i])) ++i;
        if (i >= n) return malformed("the file is cut short inside a tag");
        if (s[i] == '/' || s[i] == '>') break;
        if (i == before_space || !is_name_char(s[i])) return refuse(t, "malformed attribute");
        const std::size_t attr_start = i;
        while (i < n && is_name_char(s[i])) ++i;
        std::string_view attr_name = text_.substr(attr_start, i - attr_start);
        while (i < n && is_space(s[i])) ++i;
        if (i >= n || s[i] != '=') return refuse(t, "malformed attribute");
        ++i;
        while (i < n && is_space(s[i])) ++i;
        if (i >= n) return malformed("the file is cut short inside a tag");
        if (s[i] != '"') return refuse(t, s[i] == '\'' ? "attribute value in single quotes" : "attribute value without quotes");
        const ValueScan scan = value(i);
        if (scan.fault != nullptr) return scan.cut_short ? refuse_at(scan.fault, t.offset) : refuse(t, scan.fault);
        const std::string_view value = text_.substr(i + 1, scan.end - i - 1);
        i = scan.end + 1;
        if (scan.references) {
            if (decoded_.size() <= decoded_count) decoded_.resize(decoded_count + 1);
            if (auto ok = decode_references(value, decoded_[decoded_count]); !ok) return refuse(t, ok.error());
            // Views into decoded_ are taken once every value is decoded: the slots may move.
            decoded_at_.push_back(attributes_.size());
            ++decoded_count;
        }
        attributes_.push_back({attr_name, value});
    }
    if (s[i] == '/') {
        t.self_closing = true;
        ++i;
        while (i < n && is_space(s[i])) ++i;
    }
    if (i >= n) return malformed("the file is cut short inside a tag");
    if (s[i] != '>') return refuse(t, "malformed tag end");
    pos_ = i + 1;
    for (std::size_t d = 0; d < decoded_count; ++d) attributes_[decoded_at_[d]].value = decoded_[d];
    if (has_repeated_name(attributes_)) return refuse(t, "repeated attribute");
    t.attributes = attributes_;
    return t;
}

}  // namespace tessmar::mjlog::xml
