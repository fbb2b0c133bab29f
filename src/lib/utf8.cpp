#include "utf8.hpp"

#include <cstring>

namespace tessmar::lib {

namespace {

constexpr std::uint64_t kHighBits = 0x8080808080808080ULL;

bool is_continuation(unsigned char byte) { return (byte & 0xC0) == 0x80; }

// Number of leading bytes of `bytes` (a multiple of 8) that are plain ASCII words.
std::size_t ascii_prefix(const unsigned char* bytes, std::size_t size) {
    std::size_t pos = 0;
    while (pos + 8 <= size) {
        std::uint64_t word;
        std::memcpy(&word, bytes + pos, sizeof word);
        if (word & kHighBits) break;
        pos += 8;
    }
    return pos;
}

}  // namespace

Utf8Step next_utf8(std::string_view bytes, std::size_t pos) {
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data()) + pos;
    const std::size_t left = bytes.size() - pos;
    const unsigned char lead = p[0];
    if (lead < 0x80) return {lead, 1, true};

    // The second byte's range depends on the lead byte: this is what rules out
    // overlong forms, surrogates and values above U+10FFFF.
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

    if (left < 2 || p[1] < low || p[1] > high) return {0, 1, false};
    value = (value << 6) | (p[1] & 0x3F);
    for (std::size_t i = 2; i < length; ++i) {
        if (i >= left || !is_continuation(p[i])) return {0, static_cast<std::uint8_t>(i), false};
        value = (value << 6) | (p[i] & 0x3F);
    }
    return {value, static_cast<std::uint8_t>(length), true};
}

bool is_valid_utf8(std::string_view bytes) {
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    std::size_t pos = 0;
    while (pos < bytes.size()) {
        pos += ascii_prefix(p + pos, bytes.size() - pos);
        if (pos >= bytes.size()) break;
        if (p[pos] < 0x80) {
            ++pos;
            continue;
        }
        const Utf8Step step = next_utf8(bytes, pos);
        if (!step.valid) return false;
        pos += step.length;
    }
    return true;
}

bool is_ascii(std::string_view bytes) {
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    std::size_t pos = ascii_prefix(p, bytes.size());
    for (; pos < bytes.size(); ++pos) {
        if (p[pos] >= 0x80) return false;
    }
    return true;
}

void append_utf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

}  // namespace tessmar::lib
