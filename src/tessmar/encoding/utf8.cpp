#include "tessmar/encoding/utf8.hpp"

#include <cstring>

namespace tessmar {
namespace {

constexpr std::uint64_t kHighBits = 0x8080808080808080ULL;

// Number of leading bytes of `bytes` that are plain ASCII words: texts are nearly always
// ASCII, so 32 bytes are tested at a time while they are, then 8.
std::size_t ascii_prefix(const unsigned char* bytes, std::size_t size) {
    std::size_t pos = 0;
    while (pos + 32 <= size) {
        std::uint64_t a, b, c, d;
        std::memcpy(&a, bytes + pos, 8);
        std::memcpy(&b, bytes + pos + 8, 8);
        std::memcpy(&c, bytes + pos + 16, 8);
        std::memcpy(&d, bytes + pos + 24, 8);
        if ((a | b | c | d) & kHighBits) break;
        pos += 32;
    }
    while (pos + 8 <= size) {
        std::uint64_t word;
        std::memcpy(&word, bytes + pos, sizeof word);
        if (word & kHighBits) break;
        pos += 8;
    }
    return pos;
}

}  // namespace

std::size_t invalid_utf8_offset(std::string_view bytes) {
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
        if (!step.valid) return pos;
        pos += step.length;
    }
    return std::string_view::npos;
}

bool is_ascii(std::string_view bytes) {
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    for (std::size_t pos = ascii_prefix(p, bytes.size()); pos < bytes.size(); ++pos)
        if (p[pos] >= 0x80) return false;
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

std::string utf8_lossy(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    std::size_t pos = 0;
    while (pos < bytes.size()) {
        const Utf8Step step = next_utf8(bytes, pos);
        if (step.valid) {
            out.append(bytes.substr(pos, step.length));
        } else {
            out.append("\xEF\xBF\xBD");
        }
        pos += step.length;
    }
    return out;
}

}  // namespace tessmar
