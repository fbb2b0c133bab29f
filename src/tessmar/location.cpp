#include "tessmar/location.hpp"

#include <algorithm>

#include "tessmar/encoding/chars.hpp"

namespace tessmar {
namespace {

void append_escaped(std::string& out, std::string_view text, bool quote) {
    for (char c : text) {
        const auto b = static_cast<unsigned char>(c);
        if (b < 0x20 || b == 0x7F) {
            out.append("\\x").push_back(kHexDigits[b >> 4]);
            out.push_back(kHexDigits[b & 15]);
        } else {
            if (quote && (c == '"' || c == '\\')) out.push_back('\\');
            out.push_back(c);
        }
    }
}

}  // namespace

std::string location_note(const Location& where, std::string_view detail) {
    std::string out;
    auto part = [&out] {
        if (!out.empty()) out.append(", ");
    };
    if (where.offset != kNoOffset) out.append("byte ").append(std::to_string(where.offset));
    const Fault& f = where.fault;
    if (f.kyoku >= 0) {
        part();
        out.append("kyoku ").append(std::to_string(f.kyoku));
        if (f.round >= 0) {
            // The wind as the log's events name it: past North the round stays North.
            out.append(" (").push_back("ESWN"[std::min<std::int64_t>(f.round / 4, 3)]);
            out.append(std::to_string(f.round % 4 + 1));
            if (f.honba >= 0) out.append(", ").append(std::to_string(f.honba)).append(" honba");
            out.push_back(')');
        }
    }
    if (f.seat >= 0) {
        part();
        out.append("seat ").append(std::to_string(f.seat));
    }
    if (!out.empty()) out.append(": ");
    append_escaped(out, detail, false);
    return out;
}

std::string quoted(std::string_view text) {
    std::string out = "\"";
    append_escaped(out, text, true);
    out.push_back('"');
    return out;
}

}  // namespace tessmar
