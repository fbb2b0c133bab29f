// Tenhou's archive format, mjlog XML, as the Tenhou JSON log that Tenhou's server makes of
// the same game, byte for byte. Four-player games only; any input the format's writer would
// not produce is refused as a whole, never converted in part.
#pragma once

#include <expected>
#include <string>
#include <string_view>

#include "tessmar/mjlog/error.hpp"
#include "tessmar/mjlog/game.hpp"

namespace tessmar::mjlog {

/** The Tenhou JSON text of one game. `xml` is the XML text (already decompressed), any
 *  bytes; `ref` is the game id written as "ref" (may be empty).
 *  Errors: text that is not UTF-8 or not the format's XML, a three-player game (the message
 *  starts "three-player game, not supported"), a game cut short, values out of range,
 *  impossible meld codes, scores that do not add up; the message says where. */
std::expected<std::string, MjlogError> mjlog_to_tenhou(std::string_view xml, std::string_view ref);

/** As `mjlog_to_tenhou`, appending the text to `out`; on error `out` is left as it was. */
std::expected<void, MjlogError> append_mjlog_as_tenhou(std::string_view xml, std::string_view ref, std::string& out);

/** The first half of `mjlog_to_tenhou`: the XML read into `game` (fresh), with the same errors. */
std::expected<void, MjlogError> read_mjlog(std::string_view xml, std::string_view ref, Game& game);

}  // namespace tessmar::mjlog
