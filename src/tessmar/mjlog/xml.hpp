// The lexical layer of the mjlog reader: the tags of one machine-written XML document, read in
// place. Only what that writer produces is accepted: a prolog of whitespace, comments and an
// XML declaration, one <mjloggm> element holding self-closing (or unclosed) tags with
// double-quoted attributes and nothing but whitespace and comments between them, then
// whitespace and comments. Anything else is refused, never guessed at.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <expected>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "tessmar/mjlog/error.hpp"

namespace tessmar::mjlog::xml {

/** One attribute; `value` has its character references replaced. */
struct Attribute {
    std::string_view name;
    std::string_view value;
};

/** One opening or self-closing tag. Views stay valid until the scanner reads the next tag. */
struct Tag {
    std::string_view name;
    std::size_t offset = 0;  // of its '<'
    std::span<const Attribute> attributes;
    bool self_closing = false;

    const Attribute* find(std::string_view attr) const {
        // Names are a few bytes: compared here rather than by a call to memcmp each.
        for (const Attribute& a : attributes) {
            if (a.name.size() != attr.size()) continue;
            std::size_t i = 0;
            while (i < attr.size() && a.name[i] == attr[i]) ++i;
            if (i == attr.size()) return &a;
        }
        return nullptr;
    }
};

/** A draw or discard tag written `<T99/>`, as the quick path reads it. */
struct Move {
    // The name ("T99") as its letter and size, no view: a pointer stored in the loop over the
    // moves would make the compiler reload every pointer the reader holds.
    char letter = 0;
    unsigned name_size = 0;
    std::size_t offset = 0;  // of its '<', the name one byte on
    unsigned id = 0;  // the tile id, or 999 when it has more digits than a tile id can
};

/** Replaces the character references of an attribute value (the five named entities, decimal
 *  and hexadecimal references) into `out`. Errors: a message for a bare '&', an unknown entity
 *  or a reference to no XML character. */
std::expected<void, std::string> decode_references(std::string_view raw, std::string& out);

/** The refusal of tag `t`: "`what` in <NAME> at byte OFFSET". */
inline std::unexpected<MjlogError> refuse(const Tag& t, std::string_view what) {
    return refuse_tag(what, t.name, t.offset);
}

class Scanner {
public:
    /** `text` must be valid UTF-8 (checked by the caller). */
    explicit Scanner(std::string_view text) : text_(text) {}

    /** Skips the prolog and reads the <mjloggm> tag. */
    std::expected<Tag, MjlogError> open();
    /** The next tag inside the element into `tag`; false at the closing </mjloggm>, after
     *  checking that only whitespace and comments follow it. */
    std::expected<bool, MjlogError> next(Tag& tag);
    /** A draw or discard written `<T99/>` right at the current position, into `move`; false,
     *  having read nothing, for anything else. Nearly every tag is one of these, so they are
     *  read here without the general path of `next`. */
    bool quick(Move& move) {
        const char* s = text_.data() + pos_;
        const std::size_t left = text_.size() - pos_;
        if constexpr (std::endian::native == std::endian::little) {
            // The usual form, `<T1/>` to `<T123/>`, read from one word in a few steps, with no
            // branch on the number of digits (which follows no pattern).
            if (left >= 8) {
                std::uint64_t w;
                std::memcpy(&w, s, 8);
                // '<', then one of D E F G T U V W (0x44..0x47, 0x54..0x57).
                if ((w & 0xECFF) == 0x443C) {
                    constexpr std::uint64_t ones = 0x0101010101010101ull, highs = 0x8080808080808080ull;
                    // The bytes after the letter, less '0'. A borrow or carry between bytes
                    // changes only bytes above the first that is no digit, which is all that is read.
                    const std::uint64_t d = (w >> 16) - 0x30 * ones;
                    // High bit of each byte that is no digit: its difference is above 9.
                    const std::uint64_t other = ((d + 0x76 * ones) | d) & highs;
                    const unsigned digits = static_cast<unsigned>(std::countr_zero(other | (std::uint64_t{1} << 63))) / 8;
                    if (digits - 1 < 3 && ((w >> (8 * (digits + 2))) & 0xFFFF) == 0x3E2F) {  // then "/>"
                        // The digits right-aligned to three places, b0 * 100 + b1 * 10 + b2: shifted
                        // to the top of the word (which drops the bytes after them), then down.
                        const std::uint64_t v = (d << (64 - 8 * digits)) >> 40;
                        move.id = static_cast<unsigned>((v & 0xFF) * 100 + ((v >> 8) & 0xFF) * 10 + ((v >> 16) & 0xFF));
                        move.letter = s[1];
                        move.name_size = digits + 1;
                        move.offset = pos_;
                        pos_ += digits + 4;
                        return true;
                    }
                }
            }
        }
        if (left < 5 || s[0] != '<' || !((s[1] >= 'D' && s[1] <= 'G') || (s[1] >= 'T' && s[1] <= 'W')) ||
            static_cast<unsigned>(s[2] - '0') > 9)
            return false;
        std::size_t k = 3;
        unsigned id = static_cast<unsigned>(s[2] - '0');
        while (k < left && static_cast<unsigned>(s[k] - '0') <= 9) {
            id = id < 1000 ? id * 10 + static_cast<unsigned>(s[k] - '0') : id;
            ++k;
        }
        if (k + 1 >= left || s[k] != '/' || s[k + 1] != '>') return false;
        move.letter = s[1];
        move.name_size = static_cast<unsigned>(k - 1);
        move.offset = pos_;
        move.id = id < 1000 ? id : 999;
        pos_ += k + 2;
        return true;
    }
    /** Where the closing tag stands, once `next` returned false. */
    std::size_t close_offset() const { return close_offset_; }

private:
    // Whitespace and comments from pos_; refused: an unterminated comment.
    Status skip_blank();
    std::expected<Tag, MjlogError> tag();
    /** An attribute value scanned from its opening quote: where its closing quote stands,
     *  whether it holds any '&', and why it is refused (nullptr: it is whole). A plain value,
     *  not an expected: this runs for every attribute of the file. */
    struct ValueScan {
        std::size_t end = 0;
        bool references = false;
        const char* fault = nullptr;
        bool cut_short = false;  // the fault is the file's end, not a '<' in the value
    };
    ValueScan value(std::size_t quote) const;

    std::string_view text_;
    std::size_t pos_ = 0;
    std::size_t close_offset_ = 0;
    std::vector<Attribute> attributes_;
    std::vector<std::string> decoded_;  // values with references, one slot per attribute
    std::vector<std::size_t> decoded_at_;  // per value in decoded_: its attribute
};

}  // namespace tessmar::mjlog::xml
