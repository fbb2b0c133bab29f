// The schema layer of the log reader: knows the shape of a Tenhou log at every position and
// writes each value straight into the game columns. No generic JSON value is ever built:
// values of unknown keys are only checked, and of a result's detail item only the first two
// values are kept.
#include <algorithm>
#include <array>
#include <limits>
#include <string>
#include <vector>

#include "tessmar/read/read.hpp"
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
        // Real logs spend about eight bytes of text per column entry.
        game_.entries.reserve(text.size() / 8);
        game_.tiles.reserve(text.size() / 256 + 16);
        game_.kyokus.reserve(text.size() / 512 + 4);
    }

    std::expected<void, ReadError> run() {
        if (!top() || !end_of_text()) return std::unexpected(ReadError{ReadError::Kind::Json, s_.message(), s_.error_offset()});
        if (contains(disp_, "\xE4\xB8\x89" /* 三 */) || contains(disp_, "3-Player"))
            return std::unexpected(ReadError{ReadError::Kind::ThreePlayer, "three-player rule", 0});
        if (invalid_win_details_)
            return std::unexpected(ReadError{ReadError::Kind::InvalidWinDetails, "win without two seat numbers", 0});
        game_.kyoku_first = contains(disp_, "\xE6\x9D\xB1" /* 東 */) || contains(disp_, "East") ? 4 : 0;
        game_.aka_flag = aka_;
        return {};
    }

private:
    bool end_of_text() {
        s_.peek();
        return s_.at_end() || s_.fail("unexpected content after the JSON value");
    }

    // ------------------------------------------------------------ shapes

    // A JSON array of any length; `element` reads one element.
    template <class Element>
    bool list(Element&& element) {
        if (!s_.expect('[')) return false;
        if (s_.peek() == ']') return s_.expect(']');
        for (bool more = true; more;)
            if (!element() || !s_.array_next(more)) return false;
        return true;
    }

    // A JSON array of exactly `length` elements; `element(i)` reads element i.
    template <class Element>
    bool fixed(std::size_t length, const char* what, Element&& element) {
        if (!s_.expect('[')) return false;
        for (std::size_t i = 0; i < length; ++i) {
            if (i && !s_.expect(',')) return s_.fail(std::string(what) + " is too short");
            if (!element(i)) return false;
        }
        return s_.expect(']') || s_.fail(std::string(what) + " is too long");
    }

    // An object: `member(key)` reads the value of each key after its ':'.
    template <class Member>
    bool object(Member&& member) {
        if (!s_.expect('{')) return false;
        if (s_.peek() == '}') return s_.expect('}');
        for (bool more = true; more;) {
            std::string_view key;
            if (!s_.string_view(key, key_scratch_) || !s_.expect(':') || !member(key) || !s_.object_next(more))
                return false;
        }
        return true;
    }

    // ------------------------------------------------------------ scalars

    bool byte(std::uint8_t& out) {
        unsigned v = 0;
        s_.peek();
        if (!s_.small_uint(v)) {
            Number n;
            if (!s_.number(n)) return false;
            v = n.unsigned_at_most(255) ? static_cast<unsigned>(n.magnitude) : 256;
        }
        if (v > 255) return s_.fail("expected an integer in 0..255");
        out = static_cast<std::uint8_t>(v);
        return true;
    }

    bool int32(std::int32_t& out) {
        Number n;
        if (!s_.number(n)) return false;
        if (!n.fits_int32()) return s_.fail("expected a 32-bit integer");
        out = n.as_int32();
        return true;
    }

    bool tile(Tile& out) {
        const char* at = s_.pos();
        std::uint8_t code = 0;
        if (!byte(code)) return false;
        if (kTileOfCode[code] == kNoTile) return s_.fail_at(at, invalid_tile_code_message(code));
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
            if (!object([&](std::string_view key) {
                    const int f = field_index(kFieldNames, key);
                    if (f < 0) return s_.skip_value();
                    if (seen & (1u << f)) return s_.fail("duplicate key");
                    seen |= 1u << f;
                    return field(static_cast<Field>(f));
                }))
                return false;
            if ((seen & 7u) != 7u) return s_.fail("\"log\", \"name\" or \"rule\" is missing");
            return true;
        }
        if (c == '[') {
            // The array form: the eight fields by position.
            return fixed(kFieldNames.size(), "top-level array",
                         [&](std::size_t i) { return field(static_cast<Field>(i)); });
        }
        return s_.at_end() ? s_.fail("incomplete JSON") : s_.fail("expected an object or an array");
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
            ok = object([&](std::string_view key) {
                const int f = field_index(kRuleFieldNames, key);
                if (f < 0) return s_.skip_value();
                if (seen & (1u << f)) return s_.fail("duplicate key in \"rule\"");
                seen |= 1u << f;
                return rule_field(static_cast<std::size_t>(f));
            });
        } else {
            // The array form: up to five fields by position, the missing ones defaulted.
            std::size_t count = 0;
            ok = list([&] {
                if (count == kRuleFieldNames.size()) return s_.fail("rule array has more than 5 elements");
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

    bool entries_into(Range& range) {
        return list_into(game_.entries, range, [&] { return entry(game_.entries.emplace_back()); });
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
        if (c != '-' && !Scanner::is_digit(c)) return s_.fail("expected a tile code, an integer in 0..255 or a string");
        unsigned v = 0;
        if (!s_.small_uint(v)) {
            Number n;
            if (!s_.number(n)) return false;
            v = n.unsigned_at_most(255) ? static_cast<unsigned>(n.magnitude) : 256;
        }
        if (v > 255) return s_.fail("expected a tile code, an integer in 0..255 or a string");
        const auto code = static_cast<std::uint8_t>(v);
        if (kTileOfCode[code] != kNoTile) {
            e.kind = Entry::Kind::Tile;
            e.value = kTileOfCode[code];
        } else {
            e.kind = Entry::Kind::Number;
            e.value = code;
        }
        return true;
    }

    bool kyoku() {
        KyokuColumns& k = game_.kyokus.emplace_back();
        auto next = [&] { return s_.expect(',') || s_.fail("log entry is too short"); };
        if (!s_.expect('[')) return false;
        std::uint8_t header[3] = {};
        if (!fixed(3, "kyoku header", [&](std::size_t i) { return byte(header[i]); })) return false;
        k.kyoku = header[0];
        k.honba = header[1];
        k.kyotaku = header[2];
        if (!next() || !fixed(4, "scores", [&](std::size_t i) { return int32(k.scores[i]); })) return false;
        if (!next() || !tiles_into(k.dora) || !next() || !tiles_into(k.ura)) return false;
        for (std::size_t seat = 0; seat < 4; ++seat) {
            if (!next() || !fixed(13, "starting hand", [&](std::size_t i) { return tile(k.haipai[seat][i]); }))
                return false;
            if (!next() || !entries_into(k.takes[seat]) || !next() || !entries_into(k.discards[seat])) return false;
        }
        if (!next() || !results(k)) return false;
        return s_.expect(']') || s_.fail("log entry is too long");
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
        if (c != '[') return s_.fail("expected a string or an array as result item");
        // Four int32 values make a delta item; any other array is a detail item, whose first
        // two values name the winner and the seat it won from.
        std::size_t count = 0;
        bool all_int32 = true;
        bool numbers[2] = {false, false};
        std::uint8_t seats[2] = {0, 0};
        bool ok = list([&] {
            const char v = s_.peek();
            if (v == '-' || Scanner::is_digit(v)) {
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
                invalid_win_details_ = true;
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
    bool invalid_win_details_ = false;
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
