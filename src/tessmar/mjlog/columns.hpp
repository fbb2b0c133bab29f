// The mjai route of a game read from the XML: its game columns made without the JSON text.
#pragma once

#include "tessmar/columns/columns.hpp"
#include "tessmar/mjlog/game.hpp"

namespace tessmar::mjlog {

/** The game columns that the JSON log reader makes of the Tenhou JSON text of `game`, made
 *  without that text, into `out` (fresh); false where that reader refuses the text: a kyoku
 *  header value above 255 or a score beyond 32 bits. On false, the last kyoku of `out` is the
 *  one refused. */
bool game_columns(const Game& game, GameColumns& out);

}  // namespace tessmar::mjlog
