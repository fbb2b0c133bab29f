// The Tenhou JSON text of a game read from the XML.
#pragma once

#include <string>
#include <string_view>

#include "tessmar/mjlog/game.hpp"

namespace tessmar::mjlog {

/** Appends the JSON text of `game` to `out`: keys in Tenhou's order, no whitespace, no final
 *  line feed. `ref` is valid UTF-8. */
void write_tenhou(const Game& game, std::string_view ref, std::string& out);

}  // namespace tessmar::mjlog
