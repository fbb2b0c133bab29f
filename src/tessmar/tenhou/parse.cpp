// Reads a Tenhou JSON log into RawLog in one forward pass. Boost.JSON's SAX parser does
// the lexing and calls a handler (Builder) that fills the typed records as events arrive.
//
// basic_parser descends one C++ call per nesting level, so it only ever sees values we
// read (refused beyond 127 levels) and never the values of unrecognised keys: for those
// the handler stops the parser, a flat validator of our own walks the value, and the
// parser is restarted behind it with a short text that reopens the enclosing containers.
#include "tessmar/tenhou/null_handler.hpp"
#include "tessmar/tenhou/parse_internal.hpp"

#include <boost/json/basic_parser_impl.hpp>

#include <algorithm>
#include <array>
#include <charconv>
#include <initializer_list>
#include <limits>
#include <optional>
#include <utility>

namespace tessmar {
namespace {

namespace json = boost::json;

// Arrays and objects that are read may nest this deep, the top-level value being level 1.
constexpr std::size_t kMaxReadDepth = 127;

// Boost's own limit only backs ours up: the handler refuses level 128 first.
constexpr std::size_t kParserMaxDepth = kMaxReadDepth + 8;

constexpr std::size_t kNoLimit = static_cast<std::size_t>(-1);

// Typical column lengths of a kyoku, so that most lists are allocated once.
constexpr std::size_t kReserveKyoku = 16;
constexpr std::size_t kReserveEntries = 24;
constexpr std::size_t kReserveIndicators = 6;
constexpr std::size_t kReserveResults = 4;

bool is_ws(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }
bool is_digit(char c) { return c >= '0' && c <= '9'; }
bool is_number_char(char c) { return is_digit(c) || c == '-' || c == '+' || c == '.' || c == 'e' || c == 'E'; }

// End of the number starting at p under the JSON grammar
// -?(0|[1-9][0-9]*)(\.[0-9]+)?([eE][+-]?[0-9]+)?, or nullptr where the grammar breaks.
const char* scan_number(const char* p, const char* end) {
    if (p != end && *p == '-') ++p;
    if (p == end || !is_digit(*p)) return nullptr;
    if (*p == '0') {
        ++p;
    } else {
        while (p != end && is_digit(*p)) ++p;
    }
    if (p != end && *p == '.') {
        ++p;
        if (p == end || !is_digit(*p)) return nullptr;
        while (p != end && is_digit(*p)) ++p;
    }
    if (p != end && (*p == 'e' || *p == 'E')) {
        ++p;
        if (p != end && (*p == '+' || *p == '-')) ++p;
        if (p == end || !is_digit(*p)) return nullptr;
        while (p != end && is_digit(*p)) ++p;
    }
    return p;
}

// The value of a well-formed JSON number text, correctly rounded. Beyond the range of a
// double it is an infinity, below the smallest subnormal a zero, with the text's sign.
double float_from_text(std::string_view t) {
    double d = 0;
    auto [ptr, ec] = std::from_chars(t.data(), t.data() + t.size(), d);
    if (ec == std::errc{}) return d;
    // from_chars only says "out of range"; a magnitude of at least 1 cannot underflow and
    // one below 1 cannot overflow, so the decimal exponent of the leading digit decides.
    const bool neg = t.front() == '-';
    std::size_t i = neg ? 1 : 0;
    const std::size_t int_start = i;
    while (i < t.size() && is_digit(t[i])) ++i;
    long long lead = 0;
    bool nonzero = t[int_start] != '0';
    if (nonzero) {
        lead = static_cast<long long>(i - int_start) - 1;
    } else {
        lead = -1;
        if (i < t.size() && t[i] == '.') {
            for (++i; i < t.size() && is_digit(t[i]); ++i, --lead)
                if (t[i] != '0') {
                    nonzero = true;
                    break;
                }
        }
    }
    const double zero = neg ? -0.0 : 0.0;
    if (!nonzero) return zero;
    if (auto e = t.find_first_of("eE"); e != std::string_view::npos) {
        std::size_t j = e + 1;
        const bool eneg = t[j] == '-';
        if (t[j] == '-' || t[j] == '+') ++j;
        long long ev = 0;
        for (; j < t.size(); ++j) ev = std::min(ev * 10 + (t[j] - '0'), 1'000'000'000'000LL);
        lead += eneg ? -ev : ev;
    }
    const double inf = std::numeric_limits<double>::infinity();
    return lead >= 0 ? (neg ? -inf : inf) : zero;
}

// tile_from_code as a table: one load per tile code, the commonest value of a log.
constexpr std::uint8_t kNoTile = 0xFF;
constexpr std::array<std::uint8_t, 256> kTileOfCode = [] {
    std::array<std::uint8_t, 256> table{};
    for (unsigned code = 0; code < 256; ++code) {
        auto tile = tile_from_code(static_cast<std::uint8_t>(code));
        table[code] = tile ? tile->index : kNoTile;
    }
    return table;
}();

std::optional<Tile> tile_of(std::uint8_t code) {
    std::uint8_t index = kTileOfCode[code];
    if (index == kNoTile) return std::nullopt;
    return Tile{index};
}

// A number as the parser reported it; the category follows the written form.
struct Number {
    enum class Kind : std::uint8_t { NonNegative, Negative, Float };
    Kind kind = Kind::NonNegative;
    std::uint64_t u = 0;          // NonNegative
    std::int64_t i = 0;           // Negative
    double d = 0;                 // Float
    std::string_view text;        // Float: the written number
    bool integer_text = false;    // Float: written without fraction or exponent (too large for 64 bits)
};

std::string describe(const Number& n) {
    switch (n.kind) {
        case Number::Kind::NonNegative: return "integer " + std::to_string(n.u);
        case Number::Kind::Negative: return "integer " + std::to_string(n.i);
        case Number::Kind::Float: break;
    }
    return (n.integer_text ? "integer " : "float ") + std::string(n.text);
}

JsonValue json_number(const Number& n) {
    switch (n.kind) {
        case Number::Kind::NonNegative: return JsonValue{n.u};
        case Number::Kind::Negative: return JsonValue{n.i};
        case Number::Kind::Float: break;
    }
    return JsonValue{n.d};
}

// Recognised keys of the top-level object, in the order of the array form.
enum class Field : std::uint8_t { Log, Name, Rule, Ratingc, Lobby, Dan, Rate, Sx };
constexpr std::size_t kFieldCount = 8;
constexpr std::array<std::string_view, kFieldCount> kFieldNames = {"log", "name", "rule", "ratingc",
                                                                  "lobby", "dan", "rate", "sx"};

// Recognised keys of "rule", in the order of its array form.
enum class RuleField : std::uint8_t { Disp, Aka, Aka51, Aka52, Aka53 };
constexpr std::size_t kRuleFieldCount = 5;
constexpr std::array<std::string_view, kRuleFieldCount> kRuleFieldNames = {"disp", "aka", "aka51", "aka52",
                                                                          "aka53"};

template <std::size_t N>
int find_name(const std::array<std::string_view, N>& names, std::string_view key) {
    for (std::size_t k = 0; k < N; ++k)
        if (names[k] == key) return static_cast<int>(k);
    return -1;
}

// What the open container is, and so what its next value must be.
enum class Ctx : std::uint8_t {
    TopObject, TopArray,      // RawLog
    RuleObject, RuleArray,    // Rule
    Names,                    // 4 x string
    Strings,                  // dan, sx
    Floats,                   // rate
    Kyokus,                   // log
    Entry,                    // one 17-element log entry
    Header,                   // 3 x byte
    Scores,                   // 4 x int32
    Indicators,               // list of tile
    Haipai,                   // 13 x tile
    Actions,                  // list of ActionItem
    Results,                  // list of ResultItem
    ResultArray,              // one array element of Results: delta item or detail item
    GenericArray, GenericObject,
};

bool is_object(Ctx c) { return c == Ctx::TopObject || c == Ctx::RuleObject || c == Ctx::GenericObject; }

struct Frame {
    Ctx ctx;
    std::uint8_t field = 0;   // object frames: field of the value that comes next
    std::uint32_t seen = 0;   // object frames: recognised keys met so far
    std::size_t count = 0;    // array frames: elements met so far
    void* target = nullptr;   // the record being filled
};

// The SAX handler: turns parser events into RawLog fields. Every refusal stores a
// diagnostic and makes the parser stop; so does an unrecognised key, which the reader
// then skips (skip_requested()).
class Builder {
public:
    static constexpr std::size_t max_array_size = kNoLimit;
    static constexpr std::size_t max_object_size = kNoLimit;
    static constexpr std::size_t max_string_size = kNoLimit;
    static constexpr std::size_t max_key_size = kNoLimit;

    explicit Builder(RawLog& out) : out_(out) {}

    bool failed() const { return !message_.empty(); }
    const std::string& message() const { return message_; }
    bool skip_requested() const { return skip_; }
    void clear_skip() { skip_ = false; }
    void set_replaying(bool on) { replaying_ = on; }

    // A text after which a fresh parser stands where this one stands between two values:
    // every open container reopened, then one placeholder value.
    void reopening_text(std::string& out) const {
        out.clear();
        for (std::size_t k = 0; k < depth_; ++k) out += is_object(frames_[k].ctx) ? "{\"\":" : "[";
        out += "null";
    }

    // Delivers a number that the parser refused for its exponent alone (beyond 32 bits).
    bool put_float_text(std::string_view text) {
        numtext_.clear();
        Number n;
        n.kind = Number::Kind::Float;
        n.d = float_from_text(text);
        n.text = text;
        return number(n);
    }

    bool on_document_begin(json::error_code&) { return true; }
    bool on_document_end(json::error_code&) { return true; }
    bool on_array_begin(json::error_code& ec) { return replaying_ || begin_array() || stop(ec); }
    bool on_array_end(std::size_t, json::error_code& ec) { return end_array() || stop(ec); }
    bool on_object_begin(json::error_code& ec) { return replaying_ || begin_object() || stop(ec); }
    bool on_object_end(std::size_t, json::error_code& ec) { return end_object() || stop(ec); }

    bool on_string_part(json::string_view s, std::size_t, json::error_code&) {
        strbuf_.append(s.data(), s.size());
        return true;
    }
    bool on_string(json::string_view s, std::size_t, json::error_code& ec) {
        std::string_view v(s.data(), s.size());
        if (!strbuf_.empty()) {
            strbuf_.append(v);
            v = strbuf_;
        }
        bool ok = string(v);
        strbuf_.clear();
        return ok || stop(ec);
    }
    bool on_key_part(json::string_view s, std::size_t, json::error_code&) {
        keybuf_.append(s.data(), s.size());
        return true;
    }
    bool on_key(json::string_view s, std::size_t, json::error_code& ec) {
        if (replaying_) return true;
        std::string_view v(s.data(), s.size());
        if (!keybuf_.empty()) {
            keybuf_.append(v);
            v = keybuf_;
        }
        bool ok = key(v);
        keybuf_.clear();
        return ok || stop(ec);
    }

    bool on_number_part(json::string_view s, json::error_code&) {
        numtext_.append(s.data(), s.size());
        return true;
    }
    bool on_int64(std::int64_t i, json::string_view, json::error_code& ec) {
        numtext_.clear();
        Number n;
        if (i < 0) {
            n.kind = Number::Kind::Negative;
            n.i = i;
        } else {
            n.u = static_cast<std::uint64_t>(i);
        }
        return number(n) || stop(ec);
    }
    bool on_uint64(std::uint64_t u, json::string_view, json::error_code& ec) {
        numtext_.clear();
        Number n;
        n.u = u;
        return number(n) || stop(ec);
    }
    bool on_double(double, json::string_view s, json::error_code& ec) {
        // The parser's own conversion is not correctly rounded; the text is decisive.
        std::string_view text(s.data(), s.size());
        if (!numtext_.empty()) {
            numtext_.append(text);
            text = numtext_;
        }
        Number n;
        n.kind = Number::Kind::Float;
        n.d = float_from_text(text);
        n.text = text;
        n.integer_text = text.find_first_of(".eE") == std::string_view::npos;
        bool ok = number(n);
        numtext_.clear();
        return ok || stop(ec);
    }
    bool on_bool(bool b, json::error_code& ec) { return boolean(b) || stop(ec); }
    bool on_null(json::error_code& ec) { return replaying_ || null() || stop(ec); }
    bool on_comment_part(json::string_view, json::error_code&) { return true; }
    bool on_comment(json::string_view, json::error_code&) { return true; }

private:
    static bool stop(json::error_code& ec) {
        ec = json::error::syntax;  // any error: the reader looks at the Builder's own state
        return false;
    }
    // Failures are built out of line, so that the per-value paths stay small.
    [[gnu::cold, gnu::noinline]] bool fail(std::initializer_list<std::string_view> parts) {
        message_.clear();
        for (std::string_view part : parts) message_ += part;
        return false;
    }
    [[gnu::cold, gnu::noinline]] bool wrong_type(const char* expected, const char* found) {
        return fail({"expected ", expected, ", found ", found});
    }
    [[gnu::cold, gnu::noinline]] bool wrong_number(const char* expected, const Number& n) {
        return fail({"expected ", expected, ", found ", describe(n)});
    }
    [[gnu::cold, gnu::noinline]] bool wrong_count(const char* what, std::size_t count, std::size_t length) {
        if (count > length)
            return fail({what, " has more than ", std::to_string(length), " elements"});
        return fail({what, " has ", std::to_string(count), " elements, expected ", std::to_string(length)});
    }
    [[gnu::cold, gnu::noinline]] bool not_a_tile(std::uint8_t code) {
        message_ = invalid_tile_code_message(code);
        return false;
    }

    Frame& top() { return frames_[depth_ - 1]; }
    bool push(Ctx ctx, void* target) {
        frames_[depth_++] = Frame{ctx, 0, 0, 0, target};
        return true;
    }
    bool room_for_one_more() {
        if (depth_ < kMaxReadDepth) return true;
        return fail({"arrays and objects nested deeper than 127 levels"});
    }

    // The field of a RawLog (or Rule) frame that the next value fills.
    bool next_field(Frame& f, std::size_t limit, int& field) {
        if (f.ctx == Ctx::TopObject || f.ctx == Ctx::RuleObject) {
            field = f.field;
            return true;
        }
        if (f.count >= limit)
            return fail({f.ctx == Ctx::TopArray ? "top-level array has more than 8 elements"
                                                : "rule array has more than 5 elements"});
        field = static_cast<int>(f.count++);
        return true;
    }
    // The next element index of a fixed-length array, refused past its length.
    bool next_index(Frame& f, std::size_t length, const char* what, std::size_t& index) {
        if (f.count >= length) return wrong_count(what, length + 1, length);
        index = f.count++;
        return true;
    }
    bool check_length(const Frame& f, std::size_t length, const char* what) {
        if (f.count == length) return true;
        return wrong_count(what, f.count, length);
    }

    // ---- the detail or delta item being read (one at a time: they never nest) ----
    std::vector<ResultItem>& results_of(Frame& f) { return *static_cast<std::vector<ResultItem>*>(f.target); }
    JsonArray& detail(Frame& f) {
        if (!detail_) {
            auto& item = results_of(f).emplace_back(std::in_place_index<2>);
            detail_ = &std::get<2>(item);
            detail_->reserve(8);
            for (std::size_t k = 0; k < pending_count_; ++k) {
                std::int32_t v = pending_[k];
                JsonValue& slot = detail_->emplace_back();
                if (v < 0)
                    slot.v.emplace<std::int64_t>(v);
                else
                    slot.v.emplace<std::uint64_t>(static_cast<std::uint64_t>(v));
            }
        }
        return *detail_;
    }
    // Where the next value of a generic container (or detail item) goes, else nullptr.
    JsonValue* generic_slot(Frame& f) {
        switch (f.ctx) {
            case Ctx::ResultArray: return &detail(f).emplace_back();
            case Ctx::GenericArray: return &static_cast<JsonArray*>(f.target)->emplace_back();
            case Ctx::GenericObject: return &static_cast<JsonObject*>(f.target)->back().value;
            default: return nullptr;
        }
    }

    bool read_byte(const Number& n, std::uint8_t& out) {
        if (n.kind == Number::Kind::NonNegative && n.u <= 255) {
            out = static_cast<std::uint8_t>(n.u);
            return true;
        }
        return wrong_number("an integer in 0..255", n);
    }
    bool read_int32(const Number& n, std::int32_t& out) {
        if (n.kind == Number::Kind::NonNegative && n.u <= 2147483647u) {
            out = static_cast<std::int32_t>(n.u);
            return true;
        }
        if (n.kind == Number::Kind::Negative && n.i >= -2147483648LL) {
            out = static_cast<std::int32_t>(n.i);
            return true;
        }
        return wrong_number("an integer in -2147483648..2147483647", n);
    }
    bool read_tile(const Number& n, Tile& out) {
        std::uint8_t code = 0;
        if (!read_byte(n, code)) return false;
        auto tile = tile_of(code);
        if (!tile) return not_a_tile(code);
        out = *tile;
        return true;
    }
    static double to_double(const Number& n) {
        switch (n.kind) {
            case Number::Kind::NonNegative: return static_cast<double>(n.u);
            case Number::Kind::Negative: return static_cast<double>(n.i);
            case Number::Kind::Float: break;
        }
        return n.d;
    }

    // ---- events, by the container they arrive in ----
    bool begin_array() {
        if (depth_ == 0) return push(Ctx::TopArray, nullptr);
        if (!room_for_one_more()) return false;
        Frame& f = top();
        switch (f.ctx) {
            case Ctx::TopObject:
            case Ctx::TopArray: {
                int field = 0;
                if (!next_field(f, kFieldCount, field)) return false;
                switch (static_cast<Field>(field)) {
                    case Field::Log:
                        out_.log.reserve(kReserveKyoku);
                        return push(Ctx::Kyokus, &out_.log);
                    case Field::Name: return push(Ctx::Names, &out_.name);
                    case Field::Rule: return push(Ctx::RuleArray, &out_.rule);
                    case Field::Dan: return push(Ctx::Strings, &out_.dan.emplace());
                    case Field::Sx: return push(Ctx::Strings, &out_.sx.emplace());
                    case Field::Rate: return push(Ctx::Floats, &out_.rate.emplace());
                    case Field::Ratingc: return wrong_type("a string or null for \"ratingc\"", "an array");
                    case Field::Lobby: return wrong_type("an integer or null for \"lobby\"", "an array");
                }
                return false;
            }
            case Ctx::Kyokus: {
                auto& log = *static_cast<std::vector<LogEntry>*>(f.target);
                return push(Ctx::Entry, &log.emplace_back());
            }
            case Ctx::Entry: {
                std::size_t index = 0;
                if (!next_index(f, 17, "log entry", index)) return false;
                auto& entry = *static_cast<LogEntry*>(f.target);
                switch (index) {
                    case 0: return push(Ctx::Header, &entry.header);
                    case 1: return push(Ctx::Scores, &entry.scores);
                    case 2:
                        entry.dora_indicators.reserve(kReserveIndicators);
                        return push(Ctx::Indicators, &entry.dora_indicators);
                    case 3:
                        entry.ura_indicators.reserve(kReserveIndicators);
                        return push(Ctx::Indicators, &entry.ura_indicators);
                    case 16:
                        entry.result.reserve(kReserveResults);
                        return push(Ctx::Results, &entry.result);
                    default: break;
                }
                SeatLog& seat = entry.seats[(index - 4) / 3];
                switch ((index - 4) % 3) {
                    case 0: return push(Ctx::Haipai, &seat.haipai);
                    case 1:
                        seat.take_entries.reserve(kReserveEntries);
                        return push(Ctx::Actions, &seat.take_entries);
                    default:
                        seat.discard_entries.reserve(kReserveEntries);
                        return push(Ctx::Actions, &seat.discard_entries);
                }
            }
            case Ctx::Results:
                pending_count_ = 0;
                detail_ = nullptr;
                return push(Ctx::ResultArray, f.target);
            case Ctx::ResultArray:
            case Ctx::GenericArray:
            case Ctx::GenericObject: {
                JsonValue* slot = generic_slot(f);
                return push(Ctx::GenericArray, &slot->v.emplace<JsonArray>());
            }
            case Ctx::RuleObject:
            case Ctx::RuleArray: return wrong_type("a string or an integer in \"rule\"", "an array");
            case Ctx::Actions: return wrong_type("a tile code, an integer in 0..255 or a string", "an array");
            default: return wrong_type(scalar_expected(f.ctx), "an array");
        }
    }

    bool begin_object() {
        if (depth_ == 0) return push(Ctx::TopObject, nullptr);
        if (!room_for_one_more()) return false;
        Frame& f = top();
        switch (f.ctx) {
            case Ctx::TopObject:
            case Ctx::TopArray: {
                int field = 0;
                if (!next_field(f, kFieldCount, field)) return false;
                if (static_cast<Field>(field) == Field::Rule) return push(Ctx::RuleObject, &out_.rule);
                return fail({"expected an array, a string or null for \"", kFieldNames[field], "\", found an object"});
            }
            case Ctx::ResultArray:
            case Ctx::GenericArray:
            case Ctx::GenericObject: {
                JsonValue* slot = generic_slot(f);
                return push(Ctx::GenericObject, &slot->v.emplace<JsonObject>());
            }
            case Ctx::Kyokus: return wrong_type("a log entry array", "an object");
            case Ctx::Entry: return wrong_type("an array in a log entry", "an object");
            case Ctx::Results: return wrong_type("a string or an array as result item", "an object");
            case Ctx::Actions: return wrong_type("a tile code, an integer in 0..255 or a string", "an object");
            default: return wrong_type(scalar_expected(f.ctx), "an object");
        }
    }

    bool end_array() {
        Frame& f = top();
        bool ok = true;
        switch (f.ctx) {
            case Ctx::TopArray: ok = check_length(f, kFieldCount, "top-level array"); break;
            case Ctx::Names: ok = check_length(f, 4, "\"name\""); break;
            case Ctx::Entry: ok = check_length(f, 17, "log entry"); break;
            case Ctx::Header: ok = check_length(f, 3, "kyoku header"); break;
            case Ctx::Scores: ok = check_length(f, 4, "scores"); break;
            case Ctx::Haipai: ok = check_length(f, 13, "starting hand"); break;
            case Ctx::ResultArray:
                // Exactly four int32 values make a delta item; anything else is a detail item.
                if (!detail_) {
                    if (pending_count_ == 4)
                        results_of(f).emplace_back(std::in_place_index<1>, pending_);
                    else
                        detail(f);
                }
                detail_ = nullptr;
                pending_count_ = 0;
                break;
            default: break;
        }
        --depth_;
        return ok;
    }

    bool end_object() {
        Frame& f = top();
        if (f.ctx == Ctx::TopObject) {
            for (Field required : {Field::Log, Field::Name, Field::Rule}) {
                auto k = static_cast<std::size_t>(required);
                if (!(f.seen & (1u << k))) return fail({"missing field \"", kFieldNames[k], "\""});
            }
        }
        --depth_;
        return true;
    }

    bool key(std::string_view k) {
        Frame& f = top();
        int field = -1;
        switch (f.ctx) {
            case Ctx::TopObject: field = find_name(kFieldNames, k); break;
            case Ctx::RuleObject: field = find_name(kRuleFieldNames, k); break;
            case Ctx::GenericObject:
                static_cast<JsonObject*>(f.target)->push_back(JsonMember{std::string(k), {}});
                return true;
            default: return fail({"key outside an object"});
        }
        if (field < 0) {
            skip_ = true;
            return false;
        }
        if (f.seen & (1u << field)) return fail({"duplicate field \"", k, "\""});
        f.seen |= 1u << field;
        f.field = static_cast<std::uint8_t>(field);
        return true;
    }

    bool string(std::string_view s) {
        if (depth_ == 0) return wrong_type("an object or an array", "a string");
        Frame& f = top();
        switch (f.ctx) {
            case Ctx::TopObject:
            case Ctx::TopArray: {
                int field = 0;
                if (!next_field(f, kFieldCount, field)) return false;
                if (static_cast<Field>(field) == Field::Ratingc) {
                    out_.ratingc.emplace(s);
                    return true;
                }
                return fail({"unexpected string for \"", kFieldNames[field], "\""});
            }
            case Ctx::RuleObject:
            case Ctx::RuleArray: {
                int field = 0;
                if (!next_field(f, kRuleFieldCount, field)) return false;
                if (static_cast<RuleField>(field) == RuleField::Disp) {
                    out_.rule.disp.assign(s);
                    return true;
                }
                return fail({"expected an integer in 0..255 for \"", kRuleFieldNames[field], "\", found a string"});
            }
            case Ctx::Names: {
                std::size_t index = 0;
                if (!next_index(f, 4, "\"name\"", index)) return false;
                (*static_cast<std::array<std::string, 4>*>(f.target))[index].assign(s);
                return true;
            }
            case Ctx::Strings: static_cast<std::vector<std::string>*>(f.target)->emplace_back(s); return true;
            case Ctx::Actions:
                static_cast<std::vector<ActionItem>*>(f.target)->emplace_back(std::in_place_index<2>, s);
                return true;
            case Ctx::Results: results_of(f).emplace_back(std::in_place_index<0>, s); return true;
            case Ctx::ResultArray:
            case Ctx::GenericArray:
            case Ctx::GenericObject: generic_slot(f)->v.emplace<std::string>(s); return true;
            default: return wrong_type(scalar_expected(f.ctx), "a string");
        }
    }

    // Numbers inside a kyoku (nearly all numbers of a log) are handled here; the rest in
    // number_elsewhere(), kept out of line so that this path stays short.
    bool number(const Number& n) {
        if (depth_ == 0) return number_elsewhere(n);
        Frame& f = top();
        switch (f.ctx) {
            case Ctx::Header: {
                std::size_t index = 0;
                if (!next_index(f, 3, "kyoku header", index)) return false;
                return read_byte(n, (*static_cast<std::array<std::uint8_t, 3>*>(f.target))[index]);
            }
            case Ctx::Scores: {
                std::size_t index = 0;
                if (!next_index(f, 4, "scores", index)) return false;
                return read_int32(n, (*static_cast<std::array<std::int32_t, 4>*>(f.target))[index]);
            }
            case Ctx::Indicators: {
                Tile t;
                if (!read_tile(n, t)) return false;
                static_cast<std::vector<Tile>*>(f.target)->push_back(t);
                return true;
            }
            case Ctx::Haipai: {
                std::size_t index = 0;
                if (!next_index(f, 13, "starting hand", index)) return false;
                return read_tile(n, (*static_cast<std::array<Tile, 13>*>(f.target))[index]);
            }
            case Ctx::Actions: {
                // A tile code first, then any other integer 0..255 as a bare number.
                if (n.kind != Number::Kind::NonNegative || n.u > 255)
                    return wrong_number("a tile code, an integer in 0..255 or a string", n);
                auto code = static_cast<std::uint8_t>(n.u);
                auto& list = *static_cast<std::vector<ActionItem>*>(f.target);
                if (auto tile = tile_of(code))
                    list.emplace_back(std::in_place_index<0>, *tile);
                else
                    list.emplace_back(std::in_place_index<1>, BareNumber{code});
                return true;
            }
            default: return number_elsewhere(n);
        }
    }

    [[gnu::noinline]] bool number_elsewhere(const Number& n) {
        if (depth_ == 0) return wrong_type("an object or an array", "a number");
        Frame& f = top();
        switch (f.ctx) {
            case Ctx::TopObject:
            case Ctx::TopArray: {
                int field = 0;
                if (!next_field(f, kFieldCount, field)) return false;
                if (static_cast<Field>(field) == Field::Lobby) return read_int32(n, out_.lobby.emplace());
                return fail({"unexpected number for \"", kFieldNames[field], "\""});
            }
            case Ctx::RuleObject:
            case Ctx::RuleArray: {
                int field = 0;
                if (!next_field(f, kRuleFieldCount, field)) return false;
                Rule& r = out_.rule;
                switch (static_cast<RuleField>(field)) {
                    case RuleField::Disp: return wrong_type("a string for \"disp\"", "a number");
                    case RuleField::Aka: return read_byte(n, r.aka);
                    case RuleField::Aka51: return read_byte(n, r.aka51);
                    case RuleField::Aka52: return read_byte(n, r.aka52);
                    case RuleField::Aka53: return read_byte(n, r.aka53);
                }
                return false;
            }
            case Ctx::Floats: static_cast<std::vector<double>*>(f.target)->push_back(to_double(n)); return true;
            case Ctx::ResultArray:
                if (!detail_ && pending_count_ < 4) {
                    std::int32_t v = 0;
                    bool fits = (n.kind == Number::Kind::NonNegative && n.u <= 2147483647u) ||
                                (n.kind == Number::Kind::Negative && n.i >= -2147483648LL);
                    if (fits) {
                        v = n.kind == Number::Kind::Negative ? static_cast<std::int32_t>(n.i)
                                                            : static_cast<std::int32_t>(n.u);
                        pending_[pending_count_++] = v;
                        return true;
                    }
                }
                detail(f).push_back(json_number(n));
                return true;
            case Ctx::GenericArray:
            case Ctx::GenericObject: *generic_slot(f) = json_number(n); return true;
            default: return wrong_type(scalar_expected(f.ctx), "a number");
        }
    }

    bool null() {
        if (depth_ == 0) return wrong_type("an object or an array", "null");
        Frame& f = top();
        switch (f.ctx) {
            case Ctx::TopObject:
            case Ctx::TopArray: {
                int field = 0;
                if (!next_field(f, kFieldCount, field)) return false;
                switch (static_cast<Field>(field)) {
                    case Field::Ratingc: out_.ratingc.reset(); return true;
                    case Field::Lobby: out_.lobby.reset(); return true;
                    case Field::Dan: out_.dan.reset(); return true;
                    case Field::Rate: out_.rate.reset(); return true;
                    case Field::Sx: out_.sx.reset(); return true;
                    default: return fail({"\"", kFieldNames[field], "\" may not be null"});
                }
            }
            case Ctx::RuleObject:
            case Ctx::RuleArray: {
                int field = 0;
                if (!next_field(f, kRuleFieldCount, field)) return false;
                return fail({"\"", kRuleFieldNames[field], "\" may not be null"});
            }
            case Ctx::ResultArray:
            case Ctx::GenericArray:
            case Ctx::GenericObject: generic_slot(f)->v = nullptr; return true;
            default: return wrong_type(scalar_expected(f.ctx), "null");
        }
    }

    bool boolean(bool b) {
        if (depth_ == 0) return wrong_type("an object or an array", "a boolean");
        Frame& f = top();
        switch (f.ctx) {
            case Ctx::ResultArray:
            case Ctx::GenericArray:
            case Ctx::GenericObject: generic_slot(f)->v = b; return true;
            case Ctx::TopObject:
            case Ctx::TopArray:
            case Ctx::RuleObject:
            case Ctx::RuleArray: return fail({"unexpected boolean"});
            default: return wrong_type(scalar_expected(f.ctx), "a boolean");
        }
    }

    static const char* scalar_expected(Ctx ctx) {
        switch (ctx) {
            case Ctx::Names: return "a string in \"name\"";
            case Ctx::Strings: return "a string";
            case Ctx::Floats: return "a number in \"rate\"";
            case Ctx::Kyokus: return "a log entry array";
            case Ctx::Entry: return "an array in a log entry";
            case Ctx::Header: return "an integer in 0..255 in the kyoku header";
            case Ctx::Scores: return "an integer score";
            case Ctx::Indicators:
            case Ctx::Haipai: return "a tile code";
            case Ctx::Actions: return "a tile code, an integer in 0..255 or a string";
            case Ctx::Results: return "a string or an array as result item";
            default: return "another value";
        }
    }

    RawLog& out_;
    std::array<Frame, kMaxReadDepth> frames_;
    std::size_t depth_ = 0;
    std::string strbuf_, keybuf_, numtext_;  // pieces of a value that arrived split
    Deltas pending_{};                        // leading int32 values of the result array being read
    std::size_t pending_count_ = 0;
    JsonArray* detail_ = nullptr;             // set once that array is known to be a detail item
    std::string message_;
    bool skip_ = false;
    bool replaying_ = false;
};

// Accepts every event: lets the parser check single strings of skipped values.
using Validator = detail::NullHandler;

json::parse_options parser_options() {
    json::parse_options opt;  // strict JSON: no comments, trailing commas or invalid UTF-8
    opt.max_depth = kParserMaxDepth;
    return opt;
}

class Reader {
public:
    Reader(std::string_view text, std::size_t chunk)
        : text_(text), chunk_(std::max<std::size_t>(chunk, 1)), parser_(parser_options(), raw_),
          validator_(parser_options()) {}

    std::expected<RawLog, ParseError> run() {
        const char* data = text_.data();
        const std::size_t size = text_.size();
        std::size_t pos = 0;
        for (;;) {
            json::error_code ec;
            std::size_t stop = 0;
            for (;;) {
                std::size_t len = std::min(chunk_, size - pos);
                bool more = pos + len < size;
                std::size_t n = parser_.write_some(more, data + pos, len, ec);
                if (ec) {
                    stop = pos + n;
                    break;
                }
                if (n != len) return failure("unexpected content after the JSON value", pos + n);
                pos += len;
                if (!more) return std::move(raw_);
            }
            Builder& b = parser_.handler();
            if (b.skip_requested()) {
                // The parser stopped on the closing quote of the unrecognised key.
                b.clear_skip();
                if (stop >= size || data[stop] != '"') return failure("lost track of a skipped key", stop);
                auto end = skip_member_value(stop + 1);
                if (!end) return std::unexpected(std::move(end.error()));
                if (auto r = restart(*end, pos); !r) return std::unexpected(std::move(r.error()));
                continue;
            }
            if (b.failed()) return failure(b.message(), stop);
            if (ec == json::error::exponent_overflow) {
                // A well-formed number whose exponent exceeds the parser's 32 bits: read it here.
                std::size_t start = stop;
                while (start > 0 && is_number_char(data[start - 1])) --start;
                const char* end = scan_number(data + start, data + size);
                if (!end) return failure(ec.message(), stop);
                std::size_t after = static_cast<std::size_t>(end - data);
                if (!b.put_float_text(text_.substr(start, after - start))) return failure(b.message(), start);
                if (auto r = restart(after, pos); !r) return std::unexpected(std::move(r.error()));
                continue;
            }
            return failure(ec.message(), stop);
        }
    }

private:
    std::unexpected<ParseError> failure(std::string message, std::size_t offset) const {
        return std::unexpected(ParseError{std::move(message), offset});
    }

    // Puts a fresh parser where the old one stood between two values, to read on from `at`.
    std::expected<void, ParseError> restart(std::size_t at, std::size_t& pos) {
        Builder& b = parser_.handler();
        b.reopening_text(reopen_);
        parser_.reset();
        b.set_replaying(true);
        json::error_code ec;
        parser_.write_some(true, reopen_.data(), reopen_.size(), ec);
        b.set_replaying(false);
        if (ec) return failure("could not resume after " + std::to_string(at), at);
        pos = at;
        return {};
    }

    std::size_t skip_ws(std::size_t q) const {
        while (q < text_.size() && is_ws(text_[q])) ++q;
        return q;
    }

    // Checks the string starting at q with the parser itself; returns where it (and the
    // whitespace after it) ends.
    std::expected<std::size_t, ParseError> skip_string(std::size_t q) {
        validator_.reset();
        json::error_code ec;
        std::size_t n = validator_.write_some(false, text_.data() + q, text_.size() - q, ec);
        if (ec) return failure(ec.message(), q + n);
        return q + n;
    }

    // q is just after an object key: ':' and the value, which must be well-formed JSON.
    std::expected<std::size_t, ParseError> skip_member_value(std::size_t q) {
        q = skip_ws(q);
        if (q == text_.size()) return failure("incomplete JSON", q);
        if (text_[q] != ':') return failure("syntax error", q);
        return skip_value(q + 1);
    }

    // Validates one JSON value from q (leading whitespace allowed) and returns its end.
    // Flat: containers are tracked in open_, so any nesting depth is fine.
    std::expected<std::size_t, ParseError> skip_value(std::size_t q) {
        const std::size_t size = text_.size();
        open_.clear();
        bool want_value = true;
        for (;;) {
            q = skip_ws(q);
            if (want_value) {
                if (q == size) return failure("incomplete JSON", q);
                char c = text_[q];
                if (c == '[' || c == '{') {
                    open_.push_back(c);
                    q = skip_ws(q + 1);
                    if (q == size) return failure("incomplete JSON", q);
                    if (text_[q] == (c == '[' ? ']' : '}')) {
                        open_.pop_back();
                        ++q;
                        want_value = false;
                    } else if (c == '{') {
                        auto r = skip_key(q);
                        if (!r) return r;
                        q = *r;
                    }
                    continue;
                }
                if (c == '"') {
                    auto r = skip_string(q);
                    if (!r) return r;
                    q = *r;
                } else if (c == '-' || is_digit(c)) {
                    const char* end = scan_number(text_.data() + q, text_.data() + size);
                    if (!end) return failure("invalid number", q);
                    q = static_cast<std::size_t>(end - text_.data());
                } else {
                    std::string_view word = c == 't' ? "true" : c == 'f' ? "false" : c == 'n' ? "null" : "";
                    std::string_view have = text_.substr(q, word.size());
                    if (word.empty() || have != word.substr(0, have.size())) return failure("syntax error", q);
                    if (have.size() < word.size()) return failure("incomplete JSON", size);
                    q += word.size();
                }
                want_value = false;
                continue;
            }
            if (open_.empty()) return q;
            if (q == size) return failure("incomplete JSON", q);
            char c = text_[q];
            char open = open_.back();
            if (c == ',') {
                q = skip_ws(q + 1);
                if (open == '{') {
                    auto r = skip_key(q);
                    if (!r) return r;
                    q = *r;
                }
                want_value = true;
            } else if (c == (open == '[' ? ']' : '}')) {
                open_.pop_back();
                ++q;
            } else {
                return failure("syntax error", q);
            }
        }
    }

    // A member key at q, then ':'; returns the position after the colon.
    std::expected<std::size_t, ParseError> skip_key(std::size_t q) {
        if (q == text_.size()) return failure("incomplete JSON", q);
        if (text_[q] != '"') return failure("syntax error", q);
        auto r = skip_string(q);
        if (!r) return r;
        q = *r;
        if (q == text_.size()) return failure("incomplete JSON", q);
        if (text_[q] != ':') return failure("syntax error", q);
        return q + 1;
    }

    std::string_view text_;
    std::size_t chunk_;
    RawLog raw_;
    json::basic_parser<Builder> parser_;
    json::basic_parser<Validator> validator_;
    std::string open_;    // containers open in the value being skipped
    std::string reopen_;  // text that reopens the read containers after a skip
};

}  // namespace

std::expected<RawLog, ParseError> parse_raw_log(std::string_view text) {
    return Reader(text, text.size()).run();
}

namespace detail {

std::expected<RawLog, ParseError> parse_raw_log_in_chunks(std::string_view text, std::size_t chunk) {
    return Reader(text, chunk).run();
}

}  // namespace detail
}  // namespace tessmar
