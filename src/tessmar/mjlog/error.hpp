// The one error of the mjlog reader: what is wrong and where.
//
// Every function of the reader that can refuse its input returns a std::expected with an
// MjlogError (a Status when there is no value); a refusal is made by one of the refuse_
// helpers below and an inner one passed on with pass_on. The value parsers of values.hpp
// know no tag, so they fail with a message alone, which the reader places in its tag.
#pragma once

#include <cstddef>
#include <expected>
#include <string>
#include <string_view>
#include <utility>

#include "tessmar/encoding/chars.hpp"
#include "tessmar/location.hpp"

namespace tessmar::mjlog {

using tessmar::kNoOffset;

/** Why an mjlog text was refused. The message names the offending tag and its byte offset
 *  ("unknown tag <FOO> at byte 1234"); `offset` is that byte, or kNoOffset for the whole text.
 *  `fault`: the kyoku whose tag was refused (not for XML syntax, nor for game-level tags), and
 *  the seat for a draw, a discard or a call. */
struct MjlogError {
    std::string message;
    std::size_t offset = kNoOffset;
    Fault fault{};
};

/** The outcome of a step of the reader that yields no value. */
using Status = std::expected<void, MjlogError>;

/** Input text quoted in a message: printable ASCII as it is, any other byte as \xNN, at most
 *  `max` bytes of it, so that a message is short, one line, and valid UTF-8 whatever the input. */
inline std::string printable(std::string_view text, std::size_t max = 24) {
    std::string out;
    for (std::size_t i = 0; i < text.size() && i < max; ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c >= 0x20 && c < 0x7F) {
            out.push_back(static_cast<char>(c));
        } else {
            out.append("\\x");
            out.push_back(kHexDigits[c >> 4]);
            out.push_back(kHexDigits[c & 15]);
        }
    }
    if (text.size() > max) out.append("...");
    return out;
}

/** "`what` in <NAME> at byte OFFSET". */
inline MjlogError tag_error(std::string_view what, std::string_view tag_name, std::size_t offset) {
    std::string m(what);
    m.append(" in <").append(printable(tag_name, 32)).append("> at byte ").append(std::to_string(offset));
    return MjlogError{std::move(m), offset};
}

/** "`what` at byte OFFSET". */
inline MjlogError at_error(std::string_view what, std::size_t offset) {
    std::string m(what);
    m.append(" at byte ").append(std::to_string(offset));
    return MjlogError{std::move(m), offset};
}

/** Refusals, each ready to return from any function of the reader. */
inline std::unexpected<MjlogError> refuse_tag(std::string_view what, std::string_view tag_name, std::size_t offset) {
    return std::unexpected(tag_error(what, tag_name, offset));
}
inline std::unexpected<MjlogError> refuse_at(std::string_view what, std::size_t offset) {
    return std::unexpected(at_error(what, offset));
}
/** A refusal of the whole text, which no byte of it is to blame for. */
inline std::unexpected<MjlogError> refuse_text(std::string_view what) {
    return std::unexpected(MjlogError{std::string(what), kNoOffset});
}

/** The refusal held by a failed step, passed on as it is. */
template <class T>
std::unexpected<MjlogError> pass_on(std::expected<T, MjlogError>& failed) {
    return std::unexpected(std::move(failed.error()));
}

}  // namespace tessmar::mjlog
