// Conversion of a game's columns into the text of its mjai event stream, in one pass.
#pragma once

#include <expected>

#include "tessmar/columns/columns.hpp"
#include "tessmar/drive/error.hpp"
#include "tessmar/emit/texts.hpp"

namespace tessmar {

/** Appends the texts of the whole event stream of `game`, start_game to end_game, to `out`
 *  (room for them is made up front from the game's size).
 *  Errors: any decoding error; a turn-loop error of a kyoku whose retries are exhausted;
 *  `RetryLimit` for a kyoku whose attempts would repeat for ever, or whose failed attempts
 *  would cost more than the size of the log allows; `OutputLimit` for a log whose hora events
 *  would hold more copies of ura indicators than its size allows. `kyoku` of the error is the
 *  position of the failing kyoku. On failure `out` is left in an unspecified (valid) state. */
std::expected<void, ConversionError> convert_columns(const GameColumns& game, EventTexts& out);

}  // namespace tessmar
