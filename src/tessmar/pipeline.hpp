// The whole conversion of one log text, stage by stage.
#pragma once

#include <cstdint>
#include <expected>
#include <string>
#include <string_view>
#include <vector>

#include "tessmar/columns/columns.hpp"
#include "tessmar/emit/texts.hpp"
#include "tessmar/location.hpp"
#include "tessmar/mjlog/game.hpp"

namespace tessmar {

/** The stage that failed; the boundary picks the exception by it alone. */
enum class Stage : std::uint8_t { Parse, Model, Convert };

struct PipelineError {
    Stage stage;
    std::string detail;  // the stage's own diagnostic: one line for people, without the place
    Location where;      // the byte where reading stopped (Parse only), the kyoku and seat at fault
};

/** Read the log into columns, check it as a game, and drive it turn by turn, writing each
 *  event's JSON text as it comes. Errors: the first stage that fails, with its diagnostic and
 *  where it failed. */
std::expected<EventTexts, PipelineError> convert_log_texts(std::string_view text);

/** As `convert_log_texts` for a game already in columns: the driving stage alone (the error's
 *  kyoku carries its round and honba from `game`). */
std::expected<EventTexts, PipelineError> convert_columns_texts(const GameColumns& game);

/** As `convert_log_texts` of the Tenhou JSON text of a game read from mjlog XML (same events,
 *  same failing stage), without writing and reading that text. No error has an offset: there
 *  is no JSON text, and the XML has been read. */
std::expected<EventTexts, PipelineError> convert_mjlog_texts(const mjlog::Game& game);

/** As `convert_log_texts`, with each text in a string of its own. */
std::expected<std::vector<std::string>, PipelineError> convert_log(std::string_view text);

}  // namespace tessmar
