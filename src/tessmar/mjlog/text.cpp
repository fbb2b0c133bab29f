#include "tessmar/mjlog/text.hpp"

#include <charconv>
#include <cmath>
#include <cstdint>

#include "tessmar/mjlog/put.hpp"

namespace tessmar::mjlog {
namespace {

int hex_value(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Decodes bytes as UTF-8, each maximal invalid subpart becoming U+FFFD.
std::string utf8_lossy(std::string_view in) {
    std::string out;
    out.reserve(in.size());
    std::size_t i = 0;
    while (i < in.size()) {
        auto b = static_cast<unsigned char>(in[i]);
        std::size_t len = b < 0x80 ? 1 : (b >= 0xC2 && b <= 0xDF) ? 2 : (b >= 0xE0 && b <= 0xEF) ? 3
                                     : (b >= 0xF0 && b <= 0xF4) ? 4 : 0;
        std::size_t ok = len ? 1 : 0;
        for (std::size_t k = 1; k < len && i + k < in.size(); ++k) {
            auto c = static_cast<unsigned char>(in[i + k]);
            unsigned char lo = 0x80, hi = 0xBF;
            if (k == 1) {
                if (b == 0xE0) lo = 0xA0;
                if (b == 0xED) hi = 0x9F;
                if (b == 0xF0) lo = 0x90;
                if (b == 0xF4) hi = 0x8F;
            }
            if (c < lo || c > hi) break;
            ++ok;
        }
        if (len && ok == len) {
            out.append(in.substr(i, len));
            i += len;
        } else {
            out.append("\xEF\xBF\xBD");
            i += ok ? ok : 1;
        }
    }
    return out;
}

}  // namespace

char* write_json_string(char* p, std::string_view text) {
    static constexpr char kHex[] = "0123456789abcdef";
    *p++ = '"';
    std::size_t run = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        auto c = static_cast<unsigned char>(text[i]);
        if (c >= 0x20 && c != '"' && c != '\\') continue;
        p = put(p, text.substr(run, i - run));
        run = i + 1;
        *p++ = '\\';
        switch (c) {
            case '"': *p++ = '"'; break;
            case '\\': *p++ = '\\'; break;
            case '\b': *p++ = 'b'; break;
            case '\t': *p++ = 't'; break;
            case '\n': *p++ = 'n'; break;
            case '\f': *p++ = 'f'; break;
            case '\r': *p++ = 'r'; break;
            default:
                p = put(p, "u00");
                *p++ = kHex[c >> 4];
                *p++ = kHex[c & 15];
        }
    }
    p = put(p, text.substr(run));
    *p++ = '"';
    return p;
}

char* write_decimal(char* p, double value) {
    if (value == std::trunc(value)) return put_int(p, static_cast<std::int64_t>(value));
    const auto format = std::fabs(value) < 1e-4 ? std::chars_format::scientific : std::chars_format::fixed;
    return std::to_chars(p, p + kMaxDecimal, value, format).ptr;
}

std::string decode_name(std::string_view encoded) {
    std::string bytes;
    bytes.reserve(encoded.size());
    for (std::size_t i = 0; i < encoded.size(); ++i) {
        if (encoded[i] == '%' && i + 2 < encoded.size() && hex_value(encoded[i + 1]) >= 0 &&
            hex_value(encoded[i + 2]) >= 0) {
            bytes.push_back(static_cast<char>(hex_value(encoded[i + 1]) * 16 + hex_value(encoded[i + 2])));
            i += 2;
        } else {
            bytes.push_back(encoded[i]);
        }
    }
    return utf8_lossy(bytes);
}

}  // namespace tessmar::mjlog
