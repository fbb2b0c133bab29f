// The schema layer of the log reader: knows the shape of a Tenhou log at every position and
// writes each value straight into the game columns. No generic JSON value is ever built:
// values of unknown keys are only checked, and of a result's detail item only the first two
// values are kept.
#include <array>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "tessmar/read/reader.hpp"
#include "tessmar/read/scanner.hpp"

namespace tessmar {
namespace {

using read::Number;
using read::Scanner;

// Arrays and objects that are read may nest this deep, the top-level value being level 1.
constexpr std::size_t kMaxReadDepth = 127;
// A result's detail item is read at level 5 (top value, "log", log entry, result list, item),
// so its elements may open this many more levels.
constexpr std::size_t kDetailDepth = kMaxReadDepth - 5;

constexpr std::string_view kWinMarker = "\xE5\x92\x8C\xE4\xBA\x86";  // 和了

// Recognised keys of the top-level object, in the order of its array form.
enum class Field : std::uint8_t { Log, Name, Rule, Ratingc, Lobby, Dan, Rate, Sx };
constexpr std::array<std::string_view, 8> kFieldNames = {"log", "name", "rule", "ratingc", "lobby", "dan", "rate", "sx"};
// Recognised keys of "rule", in the order of its array form.
constexpr std::array<std::string_view, 5> kRuleFieldNames = {"disp", "aka", "aka51", "aka52", "aka53"};

template <std::size_t N>
int field_index(const std::array<std::string_view, N>& names, std::string_view key) {
    for (std::size_t k = 0; k < N; ++k)
        if (names[k] == key) return static_cast<int>(k);
    return -1;
}

bool contains(std::string_view text, std::string_view part) { return text.find(part) != std::string_view::npos; }

// One item of a kyoku's result list, as much of it as the result needs.
struct ResultItem {
    enum class Kind : std::uint8_t { Text, Deltas, Detail };
    Kind kind = Kind::Text;
    bool win_marker = false;  // Text: exactly the win marker
    bool seats_ok = false;    // Detail: starts with two numbers
    std::uint8_t actor = 0, target = 0;
    Deltas deltas{};
};

class Reader {
public:
    Reader(std::string_view text, GameColumns& game) : s_(text), game_(game) {
        // Real logs spend seven to eight bytes of text per column entry: room for one in six
        // bytes spares nearly every game a copy of all its entries.
        game_.entries.reserve(text.size() / 6 + 16);
        game_.tiles.reserve(text.size() / 256 + 16);
        game_.kyokus.reserve(text.size() / 512 + 4);
    }

    std::expected<void, ReadError> run() {
        if (!top() || !end_of_text())
            return std::unexpected(ReadError{ReadError::Kind::Json, s_.message(), s_.error_offset(), fault_});
        if (contains(disp_, "\xE4\xB8\x89" /* 三 */) || contains(disp_, "3-Player"))
            return std::unexpected(ReadError{ReadError::Kind::ThreePlayer, "the rule names a three-player game", 0, {}});
        if (win_fault_)
            return std::unexpected(ReadError{ReadError::Kind::InvalidWinDetails,
                                             "a win's detail does not start with the winner's and the loser's seats", 0,
                                             *win_fault_});
        game_.kyoku_first = contains(disp_, "\xE6\x9D\xB1" /* 東 */) || contains(disp_, "East") ? 4 : 0;
        game_.aka_flag = aka_;
        return {};
    }

private:
    bool end_of_text() {
        s_.peek();
        return s_.at_end() || s_.fail("unexpected content after the JSON value");
    }

    // ------------------------------------------------------------ refusals

    // A value that the log's shape refuses, at `at` (its first byte): the kyoku and seat being
    // read take the blame, unlike for a JSON syntax error. Always false.
    [[gnu::cold, gnu::noinline]] bool shape(const char* at, std::string_view message) {
        if (s_.message().empty()) fault_ = at_;
        return s_.fail_at(at, message);
    }
    // The same at the current position, after `peek`; at the end of the text it was cut short.
    [[gnu::cold, gnu::noinline]] bool wrong(std::string_view message) {
        return s_.at_end() ? s_.fail("incomplete JSON") : shape(s_.pos(), message);
    }

    // ------------------------------------------------------------ shapes

    // The '[' of an array the shape wants here.
    bool open_array() { return s_.accept('[') || wrong("expected an array"); }

    // A JSON array of any length; `element` reads one element.
    template <class Element>
    bool list(Element&& element) {
        if (!open_array()) return false;
        if (s_.peek() == ']') return s_.expect(']');
        for (bool more = true; more;)
            if (!element() || !s_.array_next(more)) return false;
        return true;
    }

    // A JSON array of exactly `length` elements; `element(i)` reads element i.
    template <class Element>
    bool fixed(std::size_t length, const char* what, Element&& element) {
        if (!open_array()) return false;
        for (std::size_t i = 0; i < length; ++i) {
            if (!element_next(i, what) || !element(i)) return false;
        }
        return array_end(what);
    }

    // Before element i of an array of fixed length: its ',' (none before the first); a ']'
    // there ends the array too soon.
    bool element_next(std::size_t i, const char* what) {
        if (i ? s_.accept(',') : s_.peek() != ']') [[likely]]
            return true;
        return wrong_length(what, ']', "is too short", ',');
    }
    // After its last element: a ',' there makes the array too long.
    bool array_end(const char* what) {
        if (s_.accept(']')) [[likely]]
            return true;
        return wrong_length(what, ',', "is too long", ']');
    }
    // `what` ends too soon or goes on too long where `found` stands; else the syntax error of a
    // missing `wanted`.
    [[gnu::cold, gnu::noinline]] bool wrong_length(const char* what, char found, const char* verdict, char wanted) {
        if (s_.peek() == found) return shape(s_.pos(), std::string(what) + " " + verdict);
        return s_.expect(wanted);
    }

    // An object: `member(key, at)` reads the value of each key (whose first byte is at `at`)
    // after its ':'.
    template <class Member>
    bool object(Member&& member) {
        if (!s_.expect('{')) return false;
        if (s_.peek() == '}') return s_.expect('}');
        for (bool more = true; more;) {
            std::string_view key;
            s_.peek();
            const char* at = s_.pos();
            if (!s_.string_view(key, key_scratch_) || !s_.expect(':') || !member(key, at) || !s_.object_next(more))
                return false;
        }
        return true;
    }

    // ------------------------------------------------------------ scalars

    // Whether a number starts here (after `peek`): anything else is a value of the wrong kind.
    bool at_number(char c) { return c == '-' || is_digit(c); }

    // An integer 0..255 whose first byte is left in `at`.
    bool byte(std::uint8_t& out, const char*& at) {
        unsigned v = 0;
        const char c = s_.peek();
        at = s_.pos();
        if (!s_.small_uint(v)) {
            if (!at_number(c)) return wrong("expected an integer in 0..255");
            Number n;
            if (!s_.number(n)) return false;
            v = n.unsigned_at_most(255) ? static_cast<unsigned>(n.magnitude) : 256;
        }
        if (v > 255) return shape(at, "expected an integer in 0..255");
        out = static_cast<std::uint8_t>(v);
        return true;
    }
    bool byte(std::uint8_t& out) {
        const char* at;
        return byte(out, at);
    }

    bool int32(std::int32_t& out) {
        if (!at_number(s_.peek())) return wrong("expected a 32-bit integer");
        const char* at = s_.pos();
        Number n;
        if (!s_.number(n)) return false;
        if (!n.fits_int32()) return shape(at, "expected a 32-bit integer");
        out = n.as_int32();
        return true;
    }

    bool tile(Tile& out) {
        const char* at;
        std::uint8_t code = 0;
        if (!byte(code, at)) return false;
        if (kTileOfCode[code] == kNoTile) return shape(at, invalid_tile_code_message(code));
        out = Tile{kTileOfCode[code]};
        return true;
    }

    bool optional_null() { return s_.peek() == 'n'; }

    bool string_list() {
        return list([&] { return s_.string(nullptr); });
    }

    // ------------------------------------------------------------ top level

    bool top() {
        const char c = s_.peek();
        if (c == '{') {
            std::uint32_t seen = 0;
            if (!object([&](std::string_view key, const char* at) {
                    const int f = field_index(kFieldNames, key);
                    if (f < 0) return s_.skip_value();
                    if (seen & (1u << f)) return shape(at, "duplicate key " + quoted(key));
                    seen |= 1u << f;
                    return field(static_cast<Field>(f));
                }))
                return false;
            // Refused at the closing brace, where the keys have ended.
            if ((seen & 7u) != 7u) return shape(s_.pos() - 1, "\"log\", \"name\" or \"rule\" is missing");
            return true;
        }
        if (c == '[') {
            // The array form: the eight fields by position.
            return fixed(kFieldNames.size(), "top-level array",
                         [&](std::size_t i) { return field(static_cast<Field>(i)); });
        }
        return wrong("expected an object or an array");
    }

    bool field(Field f) {
        switch (f) {
            case Field::Log: return list([&] { return kyoku(); });
            case Field::Name:
                return fixed(4, "\"name\"", [&](std::size_t i) {
                    game_.names[i].clear();
                    return s_.string(&game_.names[i]);
                });
            case Field::Rule: return rule();
            case Field::Ratingc: return optional_null() ? s_.null() : s_.string(nullptr);
            case Field::Lobby: {
                std::int32_t lobby = 0;
                return optional_null() ? s_.null() : int32(lobby);
            }
            case Field::Dan:
            case Field::Sx: return optional_null() ? s_.null() : string_list();
            case Field::Rate:
                return optional_null() ? s_.null() : list([&] {
                    Number n;
                    return s_.number(n);
                });
        }
        return false;
    }

    bool rule() {
        std::uint8_t aka[4] = {};
        auto rule_field = [&](std::size_t f) {
            if (f == 0) {
                disp_.clear();
                return s_.string(&disp_);
            }
            return byte(aka[f - 1]);
        };
        bool ok = false;
        if (s_.peek() == '{') {
            std::uint32_t seen = 0;
            ok = object([&](std::string_view key, const char* at) {
                const int f = field_index(kRuleFieldNames, key);
                if (f < 0) return s_.skip_value();
                if (seen & (1u << f)) return shape(at, "duplicate key " + quoted(key) + " in \"rule\"");
                seen |= 1u << f;
                return rule_field(static_cast<std::size_t>(f));
            });
        } else {
            // The array form: up to five fields by position, the missing ones defaulted.
            std::size_t count = 0;
            ok = list([&] {
                if (count == kRuleFieldNames.size()) {
                    s_.peek();
                    return shape(s_.pos(), "rule array has more than 5 elements");
                }
                return rule_field(count++);
            });
        }
        aka_ = aka[0] || aka[1] || aka[2] || aka[3];
        return ok;
    }

    // ------------------------------------------------------------ one kyoku

    // Reads a list into the end of `all` and gives its range.
    template <class T, class Element>
    bool list_into(std::vector<T>& all, Range& range, Element&& element) {
        range.begin = static_cast<std::uint32_t>(all.size());
        if (!list(element)) return false;
        if (all.size() > std::numeric_limits<std::uint32_t>::max()) return s_.fail("log too large");
        range.end = static_cast<std::uint32_t>(all.size());
        return true;
    }

    bool tiles_into(Range& range) {
        return list_into(game_.tiles, range, [&] {
            Tile t;
            if (!tile(t)) return false;
            game_.tiles.push_back(t);
            return true;
        });
    }

    // A starting hand; one written plainly, all tile codes, is read in one step.
    bool hand(std::array<Tile, 13>& out) {
        std::array<std::uint8_t, 13> codes;
        s_.peek();
        if (s_.two_digit_array(codes, [](std::uint8_t code) { return kTileOfCode[code] != kNoTile; })) [[likely]] {
            for (std::size_t i = 0; i < codes.size(); ++i) out[i] = Tile{kTileOfCode[codes[i]]};
            return true;
        }
        return fixed(out.size(), "starting hand", [&](std::size_t i) { return tile(out[i]); });
    }

    bool entries_into(Range& range) {
        std::vector<Entry>& entries = game_.entries;
        return list_into(entries, range, [&] {
            s_.two_digit_run([&](unsigned code) { entries.push_back(kEntryOfCode[code]); });
            return entry(entries.emplace_back());
        });
    }

    // One take or discard entry: a tile code, else any other integer 0..255, else a text.
    bool entry(Entry& e) {
        const char c = s_.peek();
        if (c == '"') {
            std::string_view text;
            if (!s_.string_view(text, scratch_)) return false;
            e = Entry::from_text(text);
            return true;
        }
        constexpr std::string_view kWrong = "expected a tile code, an integer in 0..255 or a string";
        if (!at_number(c)) return wrong(kWrong);
        unsigned v = 0;
        if (!s_.small_uint(v)) {
            const char* at = s_.pos();
            Number n;
            if (!s_.number(n)) return false;
            if (!n.unsigned_at_most(255)) return shape(at, kWrong);
            v = static_cast<unsigned>(n.magnitude);
        } else if (v > 255) {
            // Three digits, all that the fast path reads of a number above 255: no position is
            // kept on the path of every entry.
            return shape(s_.pos() - 3, kWrong);
        }
        e = kEntryOfCode[v];
        return true;
    }

    bool kyoku() {
        KyokuColumns& k = game_.kyokus.emplace_back();
        // Refusals inside the entry blame this kyoku, and the seat whose columns are being read.
        at_ = Fault{static_cast<int>(game_.kyokus.size() - 1)};
        auto next = [&] { return element_next(1, "log entry"); };  // before any element but the first
        if (!open_array()) return false;
        std::uint8_t header[3] = {};
        if (!element_next(0, "log entry") ||
            !fixed(3, "kyoku header", [&](std::size_t i) { return byte(header[i]); }))
            return false;
        k.kyoku = header[0];
        k.honba = header[1];
        k.kyotaku = header[2];
        at_.round = header[0];
        at_.honba = header[1];
        if (!next() || !fixed(4, "scores", [&](std::size_t i) { return int32(k.scores[i]); })) return false;
        if (!next() || !tiles_into(k.dora) || !next() || !tiles_into(k.ura)) return false;
        for (std::size_t seat = 0; seat < 4; ++seat) {
            at_.seat = static_cast<int>(seat);
            if (!next() || !hand(k.haipai[seat])) return false;
            if (!next() || !entries_into(k.takes[seat]) || !next() || !entries_into(k.discards[seat])) return false;
        }
        at_.seat = -1;
        if (!next() || !results(k) || !array_end("log entry")) return false;
        at_ = Fault{};
        return true;
    }

    // ------------------------------------------------------------ results

    bool results(KyokuColumns& k) {
        items_.clear();
        if (!list([&] { return result_item(items_.emplace_back()); })) return false;
        condense(k);
        return true;
    }

    bool result_item(ResultItem& item) {
        const char c = s_.peek();
        if (c == '"') {
            std::string_view text;
            if (!s_.string_view(text, scratch_)) return false;
            item.kind = ResultItem::Kind::Text;
            item.win_marker = text == kWinMarker;
            return true;
        }
        if (c != '[') return wrong("expected a string or an array as result item");
        // Four int32 values make a delta item; any other array is a detail item, whose first
        // two values name the winner and the seat it won from.
        std::size_t count = 0;
        bool all_int32 = true;
        bool numbers[2] = {false, false};
        std::uint8_t seats[2] = {0, 0};
        bool ok = list([&] {
            const char v = s_.peek();
            if (at_number(v)) {
                Number n;
                if (!s_.number(n)) return false;
                if (count < 4) {
                    if (n.fits_int32())
                        item.deltas[count] = n.as_int32();
                    else
                        all_int32 = false;
                }
                if (count < 2) {
                    numbers[count] = true;
                    // The low byte of a non-negative integer; any other number stands for seat 0.
                    if (n.unsigned_at_most(std::numeric_limits<std::uint64_t>::max()))
                        seats[count] = static_cast<std::uint8_t>(n.magnitude);
                }
            } else {
                all_int32 = false;
                if (!s_.skip_value(kDetailDepth)) return false;
            }
            ++count;
            return true;
        });
        if (!ok) return false;
        if (count == 4 && all_int32) {
            item.kind = ResultItem::Kind::Deltas;
        } else {
            item.kind = ResultItem::Kind::Detail;
            item.seats_ok = count >= 2 && numbers[0] && numbers[1];
            item.actor = seats[0];
            item.target = seats[1];
        }
        return true;
    }

    // A kyoku's result from its items: wins after the win marker, else a draw.
    void condense(KyokuColumns& k) {
        k.wins.begin = k.wins.end = static_cast<std::uint32_t>(game_.wins.size());
        if (items_.empty() || items_[0].kind != ResultItem::Kind::Text) {
            k.is_draw = true;
            return;
        }
        if (!items_[0].win_marker) {
            k.is_draw = true;
            if (items_.size() >= 2 && items_[1].kind == ResultItem::Kind::Deltas) k.draw_deltas = items_[1].deltas;
            return;
        }
        // Items after the marker pair up as (deltas, detail); pairs of other shapes carry no win.
        for (std::size_t i = 1; i + 1 < items_.size(); i += 2) {
            const ResultItem& deltas = items_[i];
            const ResultItem& detail = items_[i + 1];
            if (deltas.kind != ResultItem::Kind::Deltas || detail.kind != ResultItem::Kind::Detail) continue;
            if (!detail.seats_ok) {
                if (!win_fault_) win_fault_ = at_;
                return;
            }
            game_.wins.push_back(Win{detail.actor, detail.target, deltas.deltas});
        }
        k.wins.end = static_cast<std::uint32_t>(game_.wins.size());
    }

    Scanner s_;
    GameColumns& game_;
    std::string disp_;
    bool aka_ = false;
    std::optional<Fault> win_fault_;  // the kyoku of the first win detail refused, if one is
    Fault at_;         // the kyoku and seat being read
    Fault fault_;      // `at_` when the first refusal was one of the log's shape
    std::vector<ResultItem> items_;
    std::string scratch_;      // strings with escapes
    std::string key_scratch_;  // keys with escapes, apart: a key's view outlives reading its value
};

}  // namespace

std::expected<GameColumns, ReadError> read_log(std::string_view text) {
    GameColumns game;
    if (auto ok = Reader(text, game).run(); !ok) return std::unexpected(std::move(ok.error()));
    return game;
}

}  // namespace tessmar
