// What must hold for every input of `convert_log`, whatever its bytes: shared by the
// fuzz harnesses and the regression test, so that a kept finding is checked the same way
// it was found.
#pragma once

#include <boost/json.hpp>

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tessmar/encoding/utf8.hpp"
#include "tessmar/pipeline.hpp"

namespace tessmar::fuzz {

/** Whether `text` is one JSON value (RFC 8259 grammar) with nothing but whitespace around
 *  it; `depth` receives the deepest nesting of arrays and objects, and `top_keys` (if given)
 *  the keys of a top-level object as written, quotes and escapes included. Checked without
 *  recursion, so any depth is fine. Lenient where a strict reader may refuse soundly: any
 *  bytes from 0x80 on and escaped lone surrogates pass inside strings. */
inline bool is_json(std::string_view s, std::size_t& depth,
                    std::vector<std::string_view>* top_keys = nullptr) {
    std::size_t i = 0;
    const std::size_t n = s.size();
    std::vector<char> open;
    depth = 0;
    auto ws = [&] {
        while (i < n && (s[i] == ' ' || s[i] == '\t' || s[i] == '\n' || s[i] == '\r')) ++i;
    };
    auto hex = [](char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); };
    auto digit = [](char c) { return c >= '0' && c <= '9'; };
    auto string = [&] {
        if (i >= n || s[i] != '"') return false;
        for (++i; i < n; ++i) {
            auto c = static_cast<unsigned char>(s[i]);
            if (c == '"') {
                ++i;
                return true;
            }
            if (c < 0x20) return false;
            if (c != '\\') continue;
            if (++i >= n) return false;
            switch (s[i]) {
                case '"': case '\\': case '/': case 'b': case 'f': case 'n': case 'r': case 't': break;
                case 'u':
                    for (int k = 0; k < 4; ++k)
                        if (++i >= n || !hex(s[i])) return false;
                    break;
                default: return false;
            }
        }
        return false;
    };
    auto number = [&] {
        if (i < n && s[i] == '-') ++i;
        if (i >= n || !digit(s[i])) return false;
        if (s[i] == '0') ++i;
        else while (i < n && digit(s[i])) ++i;
        if (i < n && s[i] == '.') {
            if (++i >= n || !digit(s[i])) return false;
            while (i < n && digit(s[i])) ++i;
        }
        if (i < n && (s[i] == 'e' || s[i] == 'E')) {
            ++i;
            if (i < n && (s[i] == '+' || s[i] == '-')) ++i;
            if (i >= n || !digit(s[i])) return false;
            while (i < n && digit(s[i])) ++i;
        }
        return true;
    };
    auto key = [&] {
        ws();
        const std::size_t start = i;
        if (!string()) return false;
        if (top_keys && open.size() == 1) top_keys->push_back(s.substr(start, i - start));
        ws();
        if (i >= n || s[i] != ':') return false;
        ++i;
        return true;
    };
    for (;;) {
        // A value is expected here.
        ws();
        if (i >= n) return false;
        char c = s[i];
        if (c == '[' || c == '{') {
            open.push_back(c);
            depth = std::max(depth, open.size());
            ++i;
            ws();
            if (i < n && s[i] == (c == '[' ? ']' : '}')) {
                ++i;
                open.pop_back();  // empty: a complete value
            } else if (c == '[') {
                continue;
            } else {
                if (!key()) return false;
                continue;
            }
        } else if (c == '"') {
            if (!string()) return false;
        } else if (c == '-' || digit(c)) {
            if (!number()) return false;
        } else {
            std::string_view rest = s.substr(i);
            std::size_t len = rest.starts_with("true") || rest.starts_with("null") ? 4 : rest.starts_with("false") ? 5 : 0;
            if (!len) return false;
            i += len;
        }
        // After a value: separators and closing brackets, until the next value is due.
        for (;;) {
            ws();
            if (open.empty()) return i == n;
            if (i >= n) return false;
            if (s[i] == ',') {
                ++i;
                if (open.back() == '{' && !key()) return false;
                break;
            }
            if (s[i] != (open.back() == '[' ? ']' : '}')) return false;
            ++i;
            open.pop_back();
        }
    }
}

/** The input as an independent reader sees it. */
struct Reference {
    bool is_json = false;
    std::optional<std::size_t> kyoku_count;  // length of "log" when the top level has one
};

inline Reference read_reference(std::string_view text) {
    Reference ref;
    std::size_t depth = 0;
    std::vector<std::string_view> top_keys;
    ref.is_json = is_json(text, depth, &top_keys);
    // Boost.JSON reads recursively, so it only sees texts of modest depth.
    constexpr std::size_t kReadableDepth = 256;
    if (!ref.is_json || depth > kReadableDepth) return ref;
    boost::json::monotonic_resource arena;  // trivial release: no recursive destruction
    boost::json::parse_options options;
    options.max_depth = kReadableDepth;
    options.allow_invalid_utf8 = true;
    boost::system::error_code ec;
    boost::json::value doc = boost::json::parse(text, ec, &arena, options);
    if (ec) return ref;  // escaped lone surrogates, which this reader refuses
    const boost::json::value* log = nullptr;
    if (const auto* obj = doc.if_object()) {
        // A second "log" hides the first from this reader, which keeps one value per key; the
        // one under test may fail in either, so the log's length is not known.
        std::size_t logs = 0;
        for (std::string_view key : top_keys) {
            boost::system::error_code key_ec;
            boost::json::value k = boost::json::parse(key, key_ec, &arena, options);
            logs += !key_ec && k.is_string() && k.get_string() == "log";
        }
        if (logs > 1) return ref;
        log = obj->if_contains("log");
    } else if (const auto* arr = doc.if_array(); arr && !arr->empty()) {
        log = &(*arr)[0];
    }
    if (log && log->is_array()) ref.kyoku_count = log->get_array().size();
    return ref;
}

inline constexpr std::array<std::string_view, 16> kEmittedTypes = {
    "start_game", "start_kyoku", "tsumo", "dahai",          "chi",      "pon",       "daiminkan",
    "kakan",      "ankan",       "dora",  "reach",          "reach_accepted",         "hora",
    "ryukyoku",   "end_kyoku",   "end_game",
};

// The value of "type" in an event text, which always comes first.
inline std::string_view event_type(std::string_view event) {
    constexpr std::string_view head = "{\"type\":\"";
    if (!event.starts_with(head)) return {};
    event.remove_prefix(head.size());
    auto end = event.find('"');
    return end == std::string_view::npos ? std::string_view{} : event.substr(0, end);
}

// An event text must be one compact JSON object whose escaping is the canonical one;
// re-serialising the parsed text gives it back byte for byte.
inline std::string check_event_text(std::string_view event) {
    boost::json::monotonic_resource arena;
    boost::json::parse_options options;
    options.allow_invalid_utf8 = true;  // player names pass through as the log gives them
    boost::system::error_code ec;
    boost::json::value v = boost::json::parse(event, ec, &arena, options);
    if (ec) return "event is not JSON: " + std::string(event);
    if (!v.is_object()) return "event is not an object: " + std::string(event);
    if (boost::json::serialize(v) != event) return "event is not compact canonical JSON: " + std::string(event);
    return {};
}

/** Empty when the text buffer is well made: each text followed by one line feed, nothing
 *  else in the buffer, one repeat key per text, texts sharing a key equal, and the ASCII
 *  flag true exactly when no byte is from 0x80 on. */
inline std::string check_text_buffer(const EventTexts& texts) {
    if (texts.repeat_keys.size() != texts.size()) return "one repeat key per text is missing";
    std::size_t begin = 0;
    for (std::size_t i = 0; i < texts.size(); ++i) {
        if (texts.ends[i] < begin || texts.ends[i] >= texts.buffer.size()) return "text end out of order";
        if (texts.buffer[texts.ends[i]] != '\n') return "text not followed by a line feed";
        if (texts.buffer.find('\n', begin) != texts.ends[i]) return "line feed inside a text";
        begin = texts.ends[i] + 1;
    }
    if (begin != texts.buffer.size()) return "bytes after the last line";
    std::vector<std::optional<std::string_view>> by_key(EventTexts::kRepeatKeys);
    for (std::size_t i = 0; i < texts.size(); ++i) {
        std::uint16_t key = texts.repeat_keys[i];
        if (key == 0) continue;
        if (key >= EventTexts::kRepeatKeys) return "repeat key out of range";
        if (!by_key[key]) by_key[key] = texts[i];
        if (*by_key[key] != texts[i])
            return "different texts share repeat key " + std::to_string(key) + ": " + std::string(*by_key[key]) +
                   " and " + std::string(texts[i]);
    }
    bool ascii = std::ranges::all_of(texts.buffer, [](char c) { return static_cast<unsigned char>(c) < 0x80; });
    if (ascii != texts.ascii) return "ASCII flag wrong";
    return {};
}

/** Empty when `result` is a sound outcome of converting `text`, else what is wrong. */
inline std::string check_outcome(std::string_view text, const std::expected<EventTexts, PipelineError>& result) {
    const Reference ref = read_reference(text);
    if (!result) {
        // A refusal must come from the log itself.
        const PipelineError& e = result.error();
        if (!ref.is_json && e.stage != Stage::Parse) return "non-JSON text got past the parser";
        // Where it failed: reading stops at a byte of the text (or just past it), later stages at
        // no byte; a conversion failure is always one kyoku's, of those the log holds.
        const Location& at = e.where;
        if ((e.stage == Stage::Parse) != (at.offset != kNoOffset)) return "offset given or missing: " + e.detail;
        if (at.offset != kNoOffset && at.offset > text.size()) return "offset beyond the text: " + e.detail;
        if (at.fault.seat < -1 || at.fault.seat > 3) return "seat out of range: " + e.detail;
        if (e.stage == Stage::Convert && at.fault.kyoku < 0) return "conversion failure of no kyoku: " + e.detail;
        // The module tells bytes that are not UTF-8 only from a failure to read them.
        if (e.stage != Stage::Parse && !is_valid_utf8(text)) return "text that is not UTF-8 was read: " + e.detail;
        if (ref.kyoku_count && at.fault.kyoku >= static_cast<int>(*ref.kyoku_count))
            return "failure in a kyoku past the log's: " + e.detail;
        if (e.detail.empty() || location_note(at, e.detail).find('\n') != std::string::npos)
            return "the note is not one line: " + e.detail;
        return {};
    }
    if (!ref.is_json) return "non-JSON text was converted";
    if (!is_valid_utf8(text)) return "text that is not UTF-8 was converted";
    if (auto bad = check_text_buffer(*result); !bad.empty()) return bad;
    std::vector<std::string_view> events;
    for (std::size_t i = 0; i < result->size(); ++i) events.push_back((*result)[i]);
    if (events.size() < 2) return "fewer than two events";
    if (event_type(events.front()) != "start_game") return "first event is not start_game";
    if (events.back() != "{\"type\":\"end_game\"}") return "last event is not end_game";

    // start_game, then (start_kyoku ... end_kyoku)*, then end_game.
    std::size_t kyokus = 0;
    bool in_kyoku = false;
    for (std::size_t i = 1; i + 1 < events.size(); ++i) {
        std::string_view type = event_type(events[i]);
        bool known = false;
        for (std::string_view t : kEmittedTypes) known = known || t == type;
        if (!known) return "unknown event type: " + std::string(events[i]);
        if (type == "start_game" || type == "end_game") return "game event inside the game: " + std::to_string(i);
        if (type == "start_kyoku") {
            if (in_kyoku) return "start_kyoku inside a kyoku at event " + std::to_string(i);
            in_kyoku = true;
            ++kyokus;
        } else if (!in_kyoku) {
            return "event outside a kyoku at event " + std::to_string(i);
        } else if (type == "end_kyoku") {
            in_kyoku = false;
        }
    }
    if (in_kyoku) return "last kyoku has no end_kyoku";
    if (ref.kyoku_count && *ref.kyoku_count != kyokus)
        return "log has " + std::to_string(*ref.kyoku_count) + " kyokus but the output " + std::to_string(kyokus);
    for (std::string_view event : events)
        if (auto bad = check_event_text(event); !bad.empty()) return bad;
    return {};
}

/** Converts `text` as the module does and checks the outcome; empty when it is sound. */
inline std::string convert_and_check(std::string_view text) { return check_outcome(text, convert_log_texts(text)); }

// The body of both harnesses: any input must end soundly, or the run stops with the reason.
inline int fuzz_one_input(const std::uint8_t* data, std::size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);
    if (auto bad = convert_and_check(text); !bad.empty()) {
        std::fprintf(stderr, "invariant broken: %s\n", bad.c_str());
        std::abort();
    }
    return 0;
}

}  // namespace tessmar::fuzz
