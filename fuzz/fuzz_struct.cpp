// Structure in: a custom mutator edits a well-formed log as JSON (take and discard column
// entries, result arrays, kyoku headers, indicators, names, rule) so that most inputs get
// past the parser and exercise the model, the decoder, the driver and its retries.
// The checks are those of the text harness.
#include <boost/json.hpp>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <string_view>

#include "invariants.hpp"
#include "tessmar/pipeline.hpp"

extern "C" std::size_t LLVMFuzzerMutate(std::uint8_t* data, std::size_t size, std::size_t max_size);

namespace {

namespace json = boost::json;

constexpr std::size_t kKyokuLength = 17;
constexpr std::size_t kMaxKyokus = 64;  // keeps inputs small enough to run many per second

class Rng {
public:
    explicit Rng(unsigned seed) : gen_(seed) {}
    std::size_t below(std::size_t n) { return n ? std::uniform_int_distribution<std::size_t>(0, n - 1)(gen_) : 0; }
    bool one_in(std::size_t n) { return below(n) == 0; }
    std::int64_t between(std::int64_t lo, std::int64_t hi) {
        return std::uniform_int_distribution<std::int64_t>(lo, hi)(gen_);
    }
    template <class T, std::size_t N>
    const T& pick(const T (&items)[N]) { return items[below(N)]; }

private:
    std::mt19937 gen_;
};

constexpr int kTileCodes[] = {11, 12, 13, 14, 15, 16, 17, 18, 19, 21, 22, 23, 24, 25, 26, 27, 28, 29,
                              31, 32, 33, 34, 35, 36, 37, 38, 39, 41, 42, 43, 44, 45, 46, 47, 51, 52, 53};

// Mostly real tile codes, sometimes the codes with a meaning of their own (0, 60) or any byte.
int tile_code(Rng& rng) {
    switch (rng.below(16)) {
        case 0: return 0;
        case 1: return 60;
        case 2: return static_cast<int>(rng.below(256));
        default: return rng.pick(kTileCodes);
    }
}

int hand_tile(Rng& rng) { return rng.one_in(32) ? tile_code(rng) : rng.pick(kTileCodes); }

std::string two_digits(int code) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "%02d", code % 100);
    return buf;
}

// Two characters standing for a tile inside a notation string.
std::string code_text(Rng& rng) {
    static const char* const odd[] = {"60", "00", "0x", "+1", "1+", "  ", "99", "5", "\xE5\x92", "-1"};
    if (rng.one_in(12)) return rng.pick(odd);
    return two_digits(rng.one_in(6) ? tile_code(rng) : rng.pick(kTileCodes));
}

// A notation string with `letter` at byte `at` among `codes` tile codes.
std::string lettered(Rng& rng, char letter, std::size_t at, std::size_t codes) {
    std::string text;
    for (std::size_t i = 0; i < codes; ++i) {
        if (text.size() == at) text.push_back(letter);
        text += code_text(rng);
    }
    if (text.size() == at) text.push_back(letter);
    return text;
}

// One of the shapes of the notation, its letter usually where Tenhou writes it.
std::string notation(Rng& rng) {
    switch (rng.below(8)) {
        case 0: return lettered(rng, 'c', rng.one_in(8) ? 2 * rng.below(4) : 0, 3);
        case 1: return lettered(rng, 'p', 2 * rng.below(rng.one_in(8) ? 4 : 3), 3);
        case 2: {
            static const std::size_t at[] = {0, 2, 6, 4};
            return lettered(rng, 'm', at[rng.below(rng.one_in(8) ? 4 : 3)], 4);
        }
        case 3: return lettered(rng, 'k', 2 * rng.below(rng.one_in(8) ? 4 : 3), 4);
        case 4: return lettered(rng, 'a', rng.one_in(8) ? 2 * rng.below(4) : 6, 4);
        case 5: return std::string(1, rng.one_in(4) ? 'x' : 'r') + (rng.one_in(3) ? "60" : code_text(rng));
        case 6: {
            static const char* const odd[] = {"", "r", "60", "c", "p", "m", "k", "a", "r6", "c1213x4",
                                              "3939m3939", "38a383838", "\xE5\x92\x8C\xE4\xBA\x86"};
            return rng.pick(odd);
        }
        default: {  // any letters and digits, any length up to 12
            static const char alphabet[] = "0123456789cpmkar";
            std::string text(rng.below(13), '0');
            for (char& c : text) c = alphabet[rng.below(sizeof alphabet - 1)];
            return text;
        }
    }
}

json::value take_entry(Rng& rng) {
    if (rng.below(4) == 0) return json::value(notation(rng));
    return json::value(tile_code(rng));
}

json::value discard_entry(Rng& rng) {
    switch (rng.below(8)) {
        case 0: return json::value(60);
        case 1: return json::value(rng.one_in(4) ? 0 : static_cast<int>(rng.below(256)));
        case 2: return json::value(notation(rng));
        default: return json::value(tile_code(rng));
    }
}

std::int64_t points(Rng& rng) {
    static const std::int64_t edges[] = {0, -1, 1, 1000, -8000, 25000, std::numeric_limits<std::int32_t>::max(),
                                         std::numeric_limits<std::int32_t>::min()};
    return rng.one_in(4) ? rng.pick(edges) : rng.between(-32, 32) * 100;
}

json::array deltas(Rng& rng) { return json::array{points(rng), points(rng), points(rng), points(rng)}; }

// The detail item of a win: winner, source, then what a real log carries after them.
json::array detail(Rng& rng) {
    json::array d;
    auto seat = [&]() -> json::value {
        switch (rng.below(12)) {
            case 0: return json::value(-1);
            case 1: return json::value(1.5);
            case 2: return json::value(257);
            case 3: return json::value("0");
            default: return json::value(static_cast<int>(rng.below(4)));
        }
    };
    std::size_t n = rng.one_in(8) ? rng.below(2) : 2 + rng.below(4);
    for (std::size_t i = 0; i < n; ++i) d.push_back(i < 2 ? seat() : json::value("30\xE7\xAC\xA6" "1000"));
    return d;
}

json::array result(Rng& rng) {
    static const char* const draws[] = {"\xE6\xB5\x81\xE5\xB1\x80",  // 流局
                                        "\xE4\xB9\x9D\xE7\xA8\xAE\xE4\xB9\x9D\xE7\x89\x8C",  // 九種九牌
                                        "\xE5\x9B\x9B\xE9\xA2\xA8\xE9\x80\xA3\xE6\x89\x93", ""};
    json::array r;
    switch (rng.below(6)) {
        case 0: case 1: case 2: {
            r.push_back(json::value("\xE5\x92\x8C\xE4\xBA\x86"));  // 和了
            std::size_t wins = 1 + rng.below(rng.one_in(4) ? 3 : 1);
            for (std::size_t i = 0; i < wins; ++i) {
                if (rng.one_in(10)) {
                    r.push_back(detail(rng));
                    r.push_back(deltas(rng));
                } else {
                    r.push_back(deltas(rng));
                    r.push_back(detail(rng));
                }
            }
            if (rng.one_in(8)) r.push_back(deltas(rng));
            break;
        }
        case 3: case 4:
            r.push_back(json::value(rng.pick(draws)));
            if (!rng.one_in(4)) r.push_back(rng.one_in(8) ? json::value(detail(rng)) : json::value(deltas(rng)));
            break;
        default:
            if (rng.one_in(2)) r.push_back(deltas(rng));
            break;
    }
    return r;
}

json::array hand(Rng& rng) {
    json::array h;
    for (int i = 0; i < 13; ++i) h.push_back(hand_tile(rng));
    return h;
}

// The smallest log that converts: the dealer draws and wins on the draw.
json::value fresh_log(Rng& rng) {
    json::array kyoku{json::array{0, 0, 0}, json::array{25000, 25000, 25000, 25000}, json::array{hand_tile(rng)},
                      json::array{}};
    for (int seat = 0; seat < 4; ++seat) {
        kyoku.push_back(hand(rng));
        kyoku.push_back(seat == 0 ? json::array{hand_tile(rng)} : json::array{});
        kyoku.push_back(json::array{});
    }
    kyoku.push_back(json::array{"\xE5\x92\x8C\xE4\xBA\x86", json::array{6000, -2000, -2000, -2000},
                                json::array{0, 0, 0}});
    return json::object{{"log", json::array{kyoku}},
                        {"name", json::array{"A", "B", "C", "D"}},
                        {"rule", json::object{{"disp", "\xE8\x88\xAC\xE5\x8D\x97\xE5\x96\xB0\xE8\xB5\xA4"},
                                              {"aka", 1}}}};
}

// The kyoku list of a log in object or array form; null when the input has none.
json::array* kyokus_of(json::value& log) {
    if (auto* obj = log.if_object()) {
        if (auto* v = obj->if_contains("log")) return v->if_array();
    } else if (auto* arr = log.if_array(); arr && !arr->empty()) {
        return (*arr)[0].if_array();
    }
    return nullptr;
}

json::array* kyoku_at(json::array& kyokus, std::size_t i) {
    auto* k = kyokus[i].if_array();
    return k && k->size() == kKyokuLength ? k : nullptr;
}

void mutate_column(json::array& column, json::array* other, bool takes, Rng& rng) {
    auto entry = [&] { return takes ? take_entry(rng) : discard_entry(rng); };
    auto at = [&](bool end_ok) { return rng.below(column.size() + (end_ok ? 1 : 0)); };
    switch (rng.below(10)) {
        case 0: case 1:
            if (!column.empty()) column.erase(column.begin() + static_cast<std::ptrdiff_t>(at(false)));
            break;
        case 2: case 3:
            column.insert(column.begin() + static_cast<std::ptrdiff_t>(at(true)), entry());
            break;
        case 4:
            if (!column.empty()) column[at(false)] = entry();
            break;
        case 5:
            if (!column.empty()) {
                std::size_t i = at(false);
                json::value copy = column[i];
                column.insert(column.begin() + static_cast<std::ptrdiff_t>(i), copy);
            }
            break;
        case 6:
            if (column.size() >= 2) {
                std::size_t i = rng.below(column.size() - 1);
                std::swap(column[i], column[i + 1]);
            }
            break;
        case 7:  // a byte of a notation string changed
            if (!column.empty()) {
                json::value& v = column[at(false)];
                if (auto* s = v.if_string(); s && !s->empty()) {
                    static const char letters[] = "0123456789cpmkar";
                    (*s)[rng.below(s->size())] = letters[rng.below(sizeof letters - 1)];
                } else {
                    v = json::value(notation(rng));
                }
            }
            break;
        case 8:  // an entry moved to another seat's column of the same kind
            if (other && !column.empty()) {
                std::size_t i = at(false);
                other->insert(other->begin() + static_cast<std::ptrdiff_t>(rng.below(other->size() + 1)), column[i]);
                column.erase(column.begin() + static_cast<std::ptrdiff_t>(i));
            }
            break;
        default:
            column.resize(at(true));
            break;
    }
}

void mutate_tiles(json::array& tiles, Rng& rng, bool keep_length) {
    if (keep_length || tiles.empty() || rng.one_in(2)) {
        if (!tiles.empty()) tiles[rng.below(tiles.size())] = hand_tile(rng);
        if (!keep_length && rng.one_in(2)) tiles.push_back(hand_tile(rng));
    } else if (rng.one_in(3)) {
        tiles.clear();
    } else {
        tiles.pop_back();
    }
}

void mutate_kyoku(json::array& kyoku, json::array& kyokus, Rng& rng) {
    auto arr = [&](std::size_t i) -> json::array* { return kyoku[i].if_array(); };
    std::size_t seat = rng.below(4);
    switch (rng.below(14)) {
        case 0: case 1: case 2: case 3: case 4: case 5: {  // take or discard column
            bool takes = rng.one_in(2);
            std::size_t column = 5 + 3 * seat + (takes ? 0 : 1);
            std::size_t other = 5 + 3 * ((seat + 1 + rng.below(3)) % 4) + (takes ? 0 : 1);
            if (auto* c = arr(column)) mutate_column(*c, arr(other), takes, rng);
            break;
        }
        case 6: case 7:
            kyoku[16] = result(rng);
            break;
        case 8: {  // header: kyoku index, honba, kyotaku
            if (auto* h = arr(0); h && h->size() == 3) {
                static const int edges[] = {0, 3, 4, 7, 8, 11, 12, 13, 15, 16, 255};
                (*h)[rng.below(3)] = rng.one_in(2) ? rng.pick(edges) : static_cast<int>(rng.below(256));
            }
            break;
        }
        case 9:
            if (auto* s = arr(1); s && s->size() == 4) (*s)[rng.below(4)] = points(rng);
            break;
        case 10: case 11:
            if (auto* d = arr(rng.one_in(3) ? 3 : 2)) mutate_tiles(*d, rng, false);
            break;
        case 12:
            if (auto* h = arr(4 + 3 * seat); h && h->size() == 13) mutate_tiles(*h, rng, true);
            break;
        default: {  // a seat's columns taken from another kyoku, or two seats' columns swapped
            std::size_t from = rng.below(kyokus.size());
            json::array* donor = kyoku_at(kyokus, from);
            std::size_t column = 5 + 3 * seat + rng.below(2);
            if (donor && donor != &kyoku && rng.one_in(2)) {
                kyoku[column] = (*donor)[column];
            } else {
                std::size_t other = 5 + 3 * ((seat + 1) % 4) + (column - 5) % 3;
                std::swap(kyoku[column], kyoku[other]);
            }
            break;
        }
    }
}

void mutate_log(json::value& log, Rng& rng) {
    json::array* kyokus = kyokus_of(log);
    if (!kyokus) return;
    std::size_t choice = rng.below(20);
    if (choice < 15 && !kyokus->empty()) {
        std::size_t i = rng.below(kyokus->size());
        if (auto* k = kyoku_at(*kyokus, i)) mutate_kyoku(*k, *kyokus, rng);
        return;
    }
    auto* obj = log.if_object();
    switch (choice) {
        case 15:  // a kyoku repeated
            if (!kyokus->empty() && kyokus->size() < kMaxKyokus) {
                std::size_t i = rng.below(kyokus->size());
                json::value copy = (*kyokus)[i];
                kyokus->insert(kyokus->begin() + static_cast<std::ptrdiff_t>(rng.below(kyokus->size() + 1)), copy);
            }
            break;
        case 16:  // a kyoku dropped
            if (!kyokus->empty()) kyokus->erase(kyokus->begin() + static_cast<std::ptrdiff_t>(rng.below(kyokus->size())));
            break;
        case 17:
            if (obj) {
                static const char* const rules[] = {
                    "\xE8\x88\xAC\xE5\x8D\x97\xE5\x96\xB0\xE8\xB5\xA4",  // 般南喰赤
                    "\xE9\xB3\xB3\xE6\x9D\xB1\xE5\x96\xB0\xE8\xB5\xA4",  // 鳳東喰赤
                    "\xE4\xB8\x89\xE9\xB3\xB3\xE5\x8D\x97\xE5\x96\xB0\xE8\xB5\xA4",  // 三鳳南喰赤
                    "East", "3-Player", "east", ""};
                json::object rule{{"disp", rng.pick(rules)}};
                if (!rng.one_in(3)) rule["aka"] = static_cast<int>(rng.below(3));
                if (rng.one_in(3)) rule["aka51"] = static_cast<int>(rng.below(2));
                (*obj)["rule"] = std::move(rule);
            }
            break;
        case 18:
            if (obj) {
                static const char* const names[] = {"A", "", "\"\\", "tab\there", "\x01\x1f\x7f",
                                                    "\xE3\x81\x82\xE3\x81\x84", "NoName", "/\xF0\x9F\x80\x84"};
                (*obj)["name"] = json::array{rng.pick(names), rng.pick(names), rng.pick(names), rng.pick(names)};
            }
            break;
        default:  // the other top-level form
            if (obj && rng.one_in(4)) {
                // Copies first: the object owns what `kyokus` points into.
                const json::value* name = obj->if_contains("name");
                const json::value* rule = obj->if_contains("rule");
                json::value kyoku_list = *kyokus;
                json::array form{kyoku_list, name ? *name : json::value(nullptr), rule ? *rule : json::value(nullptr),
                                 nullptr, nullptr, nullptr, nullptr, nullptr};
                log = std::move(form);
            }
            break;
    }
}

// Reads a log written by this mutator or taken from the corpus; null when it is none.
json::value read_log(const std::uint8_t* data, std::size_t size) {
    boost::system::error_code ec;
    json::parse_options options;
    options.max_depth = 64;
    json::value v = json::parse(std::string_view(reinterpret_cast<const char*>(data), size), ec, {}, options);
    if (ec || !kyokus_of(v)) return nullptr;
    return v;
}

std::size_t emit(const json::value& log, std::uint8_t* data, std::size_t size, std::size_t max_size) {
    std::string text = json::serialize(log);
    if (text.size() > max_size) return size;  // too large for now: keep the input as it was
    std::memcpy(data, text.data(), text.size());
    return text.size();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    return tessmar::fuzz::fuzz_one_input(data, size);
}

extern "C" std::size_t LLVMFuzzerCustomMutator(std::uint8_t* data, std::size_t size, std::size_t max_size,
                                               unsigned int seed) {
    Rng rng(seed);
    // Now and then a plain byte mutation, so that near-valid texts reach the parser too.
    if (rng.one_in(16)) return LLVMFuzzerMutate(data, size, max_size);
    json::value log = read_log(data, size);
    if (log.is_null()) log = fresh_log(rng);
    std::size_t rounds = 1 + rng.below(4);
    for (std::size_t i = 0; i < rounds; ++i) mutate_log(log, rng);
    return emit(log, data, size, max_size);
}

extern "C" std::size_t LLVMFuzzerCustomCrossOver(const std::uint8_t* data1, std::size_t size1,
                                                 const std::uint8_t* data2, std::size_t size2, std::uint8_t* out,
                                                 std::size_t max_out_size, unsigned int seed) {
    Rng rng(seed);
    json::value first = read_log(data1, size1);
    json::value second = read_log(data2, size2);
    if (first.is_null() || second.is_null()) return 0;
    json::array& a = *kyokus_of(first);
    json::array& b = *kyokus_of(second);
    if (b.empty()) return 0;
    // A kyoku of the second log put in place of, or next to, one of the first.
    json::value kyoku = b[rng.below(b.size())];
    std::size_t at = rng.below(a.size() + 1);
    if (at < a.size() && rng.one_in(2)) {
        a[at] = std::move(kyoku);
    } else if (a.size() < kMaxKyokus) {
        a.insert(a.begin() + static_cast<std::ptrdiff_t>(at), std::move(kyoku));
    }
    std::string text = json::serialize(first);
    if (text.size() > max_out_size) return 0;
    std::memcpy(out, text.data(), text.size());
    return text.size();
}
