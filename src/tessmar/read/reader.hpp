// Reads a Tenhou JSON log straight into game columns, in one pass over its text.
#pragma once

#include <cstddef>
#include <cstdint>
#include <expected>
#include <string>
#include <string_view>

#include "tessmar/columns/columns.hpp"
#include "tessmar/location.hpp"

namespace tessmar {

/** Why a log was refused; the message is one line for people. */
struct ReadError {
    enum class Kind : std::uint8_t {
        Json,               // not a log: JSON syntax, or a value that does not fit the log's shape
        ThreePlayer,        // the rule text names a three-player game
        InvalidWinDetails,  // a win's detail item does not start with two numbers
    };
    Kind kind = Kind::Json;
    std::string message;
    // Json: the byte where reading stopped: the text's length for a text cut short, else the
    // first byte of the character or token that breaks the grammar or the log's shape.
    std::size_t offset = 0;
    // The kyoku (and seat) whose entry the log's shape refuses: a value of the wrong kind,
    // range or length, or a win detail without its seats. Unset for JSON syntax (a text cut
    // short among it), which is the text's fault, and for the rule.
    Fault fault{};

    bool is_model_error() const { return kind != Kind::Json; }
};

/** Reads one complete log (UTF-8 JSON text) into columns and checks it as a game.
 *  Errors: `Json` for any JSON syntax error, trailing content, a value of the wrong type,
 *  range, length or tile code, a repeated recognised key, a missing required key, or read
 *  arrays and objects nested deeper than 127 levels; then, for a text that reads, the model
 *  errors `ThreePlayer` and `InvalidWinDetails`, in that order. */
std::expected<GameColumns, ReadError> read_log(std::string_view text);

}  // namespace tessmar
