#include "tessmar/encoding/json_text.hpp"

#include "tessmar/encoding/chars.hpp"

namespace tessmar {

// Runs that need no escape are copied in one piece.
char* put_json_string(char* p, std::string_view text) {
    *p++ = '"';
    std::size_t run = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        auto c = static_cast<unsigned char>(text[i]);
        if (c >= 0x20 && c != '"' && c != '\\') continue;
        std::memcpy(p, text.data() + run, i - run);
        p += i - run;
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
                p = put_literal(p, "u00");
                *p++ = kHexDigits[c >> 4];
                *p++ = kHexDigits[c & 15];
        }
    }
    std::memcpy(p, text.data() + run, text.size() - run);
    p += text.size() - run;
    *p++ = '"';
    return p;
}

}  // namespace tessmar
