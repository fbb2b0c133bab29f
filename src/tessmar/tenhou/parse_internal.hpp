// Entry points of the log parser that only tests use.
#pragma once

#include <cstddef>
#include <expected>
#include <string_view>

#include "tessmar/tenhou/raw_log.hpp"

namespace tessmar::detail {

/** As `parse_raw_log`, but hands the text to the JSON reader `chunk` bytes at a time
 *  (`chunk` >= 1), so that strings, keys and numbers reach the handler in pieces.
 *  The outcome must not depend on `chunk`; tests compare it with the one-piece read. */
std::expected<RawLog, ParseError> parse_raw_log_in_chunks(std::string_view text, std::size_t chunk);

}  // namespace tessmar::detail
