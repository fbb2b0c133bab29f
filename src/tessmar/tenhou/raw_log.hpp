// The Tenhou log as parsed: typed records built straight from the JSON text.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <expected>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "tessmar/tenhou/tile.hpp"

namespace tessmar {

struct JsonValue;
struct JsonMember;
using JsonArray = std::vector<JsonValue>;
using JsonObject = std::vector<JsonMember>;

/** A generic JSON value; numbers keep their category (non-negative integer,
 *  negative integer, or float) as decided by their written form. */
struct JsonValue {
    std::variant<std::nullptr_t, bool, std::uint64_t, std::int64_t, double, std::string, JsonArray, JsonObject> v;
};
struct JsonMember {
    std::string key;
    JsonValue value;
};

/** A bare number entry of a take or discard column (an integer 0..255 that is no tile code). */
struct BareNumber {
    std::uint8_t value;
    friend bool operator==(BareNumber, BareNumber) = default;
};

/** One entry of a take or discard column: tile entry, bare number entry or text entry. */
using ActionItem = std::variant<Tile, BareNumber, std::string>;

using Deltas = std::array<std::int32_t, 4>;

/** One element of a kyoku's result array: text item, delta item or detail item. */
using ResultItem = std::variant<std::string, Deltas, JsonArray>;

struct Rule {
    std::string disp;
    std::uint8_t aka = 0, aka51 = 0, aka52 = 0, aka53 = 0;
};

/** One seat of one kyoku, as the log gives it. */
struct SeatLog {
    std::array<Tile, 13> haipai{};
    std::vector<ActionItem> take_entries;
    std::vector<ActionItem> discard_entries;
};

/** One element of "log": a 17-element array describing one kyoku. */
struct LogEntry {
    std::array<std::uint8_t, 3> header{};  // kyoku index, honba, kyotaku
    std::array<std::int32_t, 4> scores{};
    std::vector<Tile> dora_indicators;
    std::vector<Tile> ura_indicators;
    std::array<SeatLog, 4> seats;
    std::vector<ResultItem> result;
};

struct RawLog {
    std::vector<LogEntry> log;
    std::array<std::string, 4> name;
    Rule rule;
    std::optional<std::string> ratingc;
    std::optional<std::int32_t> lobby;
    std::optional<std::vector<std::string>> dan;
    std::optional<std::vector<double>> rate;
    std::optional<std::vector<std::string>> sx;
};

/** Why a text was refused; for debugging and tests only, never shown to Python callers. */
struct ParseError {
    std::string message;
    std::size_t offset = 0;  // byte offset in the text where the parser stopped
};

/** Reads one complete Tenhou JSON log (UTF-8) in one forward pass.
 *  Errors: any JSON syntax error, trailing content, a value that does not fit the
 *  schema (type, range, length, tile code, duplicate recognised key, missing
 *  required key) or read values nested deeper than 127 levels. */
std::expected<RawLog, ParseError> parse_raw_log(std::string_view text);

}  // namespace tessmar
