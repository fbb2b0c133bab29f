#include "paths.hpp"

#include <algorithm>
#include <array>
#include <utility>

#include "tessmar/encoding/chars.hpp"
#include "tessmar/encoding/utf8.hpp"

namespace tessmar::lib {

namespace {

constexpr char kHexUpper[] = "0123456789ABCDEF";

void append_unicode_escape(std::string& out, char32_t c) {
    out += "\\u{";
    bool started = false;
    for (int shift = 20; shift >= 0; shift -= 4) {
        const unsigned digit = (c >> shift) & 0xF;
        if (digit != 0 || started || shift == 0) {
            out += kHexDigits[digit];
            started = true;
        }
    }
    out += '}';
}

// Inclusive ranges, in order (Unicode 14 to 15.1 agree on this list).
constexpr std::array<std::pair<char32_t, char32_t>, 25> kOtherGraphemeExtend{{
    {0x09BE, 0x09BE}, {0x09D7, 0x09D7}, {0x0B3E, 0x0B3E}, {0x0B57, 0x0B57}, {0x0BBE, 0x0BBE},
    {0x0BD7, 0x0BD7}, {0x0CC2, 0x0CC2}, {0x0CD5, 0x0CD6}, {0x0D3E, 0x0D3E}, {0x0D57, 0x0D57},
    {0x0DCF, 0x0DCF}, {0x0DDF, 0x0DDF}, {0x1B35, 0x1B35}, {0x200C, 0x200C}, {0x302E, 0x302F},
    {0xFF9E, 0xFF9F}, {0x1133E, 0x1133E}, {0x11357, 0x11357}, {0x114B0, 0x114B0},
    {0x114BD, 0x114BD}, {0x115AF, 0x115AF}, {0x11930, 0x11930}, {0x1D165, 0x1D165},
    {0x1D16E, 0x1D172}, {0xE0020, 0xE007F},
}};

}  // namespace

std::string quoted_path(std::string_view path, const NeedsEscape& needs_escape) {
    std::string out;
    out.reserve(path.size() + 2);
    out += '"';
    std::size_t pos = 0;
    while (pos < path.size()) {
        const Utf8Step step = next_utf8(path, pos);
        if (!step.valid) {
            // Each stray byte on its own, so the exact bytes can be read back.
            for (std::size_t i = 0; i < step.length; ++i) {
                const auto byte = static_cast<unsigned char>(path[pos + i]);
                out += "\\x";
                out += kHexUpper[byte >> 4];
                out += kHexUpper[byte & 0xF];
            }
            pos += step.length;
            continue;
        }
        const char32_t c = step.code_point;
        switch (c) {
            case U'"': out += "\\\""; break;
            case U'\'': out += "\\'"; break;
            case U'\\': out += "\\\\"; break;
            case U'\t': out += "\\t"; break;
            case U'\r': out += "\\r"; break;
            case U'\n': out += "\\n"; break;
            case U'\0': out += "\\0"; break;
            default:
                if (needs_escape(c)) {
                    append_unicode_escape(out, c);
                } else {
                    out.append(path.substr(pos, step.length));
                }
        }
        pos += step.length;
    }
    out += '"';
    return out;
}

bool is_stdout_path(std::string_view path) {
    return !path.empty() && path.front() == '-' &&
           std::all_of(path.begin() + 1, path.end(), [](char c) { return c == '/'; });
}

bool is_other_grapheme_extend(char32_t c) {
    const auto it = std::lower_bound(kOtherGraphemeExtend.begin(), kOtherGraphemeExtend.end(), c,
                                     [](const auto& range, char32_t value) { return range.second < value; });
    return it != kOtherGraphemeExtend.end() && it->first <= c;
}

}  // namespace tessmar::lib
