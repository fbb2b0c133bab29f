// The exact compact JSON text of an mjai event.
#pragma once

#include <expected>
#include <string>
#include <string_view>

#include "tessmar/mjai/event.hpp"

namespace tessmar::mjai {

/** Why an event could not be written; no well-formed event produces one. */
struct SerializeError {
    std::string message;
};

/** Appends the event's compact JSON text to `out` (no whitespace, keys in field order,
 *  absent optional fields left out). */
void append_event_json(std::string& out, const Event& event);

/** The event's JSON text in a buffer of its own that starts with room for 128 bytes. */
std::expected<std::string, SerializeError> serialize_event(const Event& event);

/** Appends `text` as a JSON string: quote, backslash and control characters escaped,
 *  everything from U+0080 on copied as raw UTF-8. */
void append_json_string(std::string& out, std::string_view text);

}  // namespace tessmar::mjai
