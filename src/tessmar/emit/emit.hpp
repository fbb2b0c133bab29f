// mjai event texts written straight into an EventTexts, one event at a time: keys in a fixed
// order, no whitespace, strings escaped as put_json_string does, and a repeat key for each text.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <string>
#include <string_view>

#include "tessmar/emit/texts.hpp"
#include "tessmar/encoding/tile.hpp"

namespace tessmar::emit {

using Seat = std::uint8_t;
using Points = std::array<std::int32_t, 4>;  // scores or deltas

// ---------------------------------------------------------------------------------------------
// Repeat keys: the events whose text depends only on a few small fields, numbered by them.
// Only texts that are equal share a key; every other event has key 0.

constexpr unsigned kTiles = kTileCount;
constexpr std::uint16_t kTsumoKeys = 1;                       // 1 .. 152: 1 + seat * 38 + tile
constexpr std::uint16_t kDahaiKeys = 153;                     // 153 .. 456: + 2 * (seat * 38 + tile) + tsumogiri
constexpr std::uint16_t kDoraKeys = 457;                      // 457 .. 494: + tile
constexpr std::uint16_t kReachKeys = 495;                     // 495 .. 498: + seat
constexpr std::uint16_t kReachAcceptedKeys = 499;             // 499 .. 502: + seat
constexpr std::uint16_t kEndKyokuKey = 503;
constexpr std::size_t kRepeatTextCount = kEndKyokuKey + 1;   // key 0 has no text
static_assert(kRepeatTextCount <= EventTexts::kRepeatKeys);

/** The text of repeat key `key` (1 .. kRepeatTextCount - 1) without its line feed: the bytes
 *  the emitter writes for every event of that key. Empty for any other number. */
std::string_view repeat_text(std::uint16_t key);

// The whole text of each repeat key, with its line feed, padded to 64 bytes so that one
// fixed-size copy writes it: `kRepeatTexts[key]`. The emitter copies those from dora on;
// tsumo and dahai it puts together from the smaller tables below.
struct RepeatText {
    char text[63];
    std::uint8_t size;  // with the line feed
};
static_assert(sizeof(RepeatText) == 64);
extern const std::array<RepeatText, kRepeatTextCount> kRepeatTexts;
// Bytes copied per repeated event: the longest text of its kind with its line feed, rounded up
// to 16 (checked against the table in emit.cpp).
constexpr std::size_t kDoraCopy = 48;           // {"type":"dora","dora_marker":"5mr"}: 37
constexpr std::size_t kReachCopy = 32;          // {"type":"reach","actor":0}: 27
constexpr std::size_t kReachAcceptedCopy = 48;  // {"type":"reach_accepted","actor":0}: 36
constexpr std::size_t kEndKyokuCopy = 32;       // {"type":"end_kyoku"}: 22

// Tsumo and dahai, most of all events, are written as a head per seat and a tail per tile
// (and tsumogiri): tables small enough to stay in the L1 cache while the output streams past.
// `{"type":"tsumo","actor":0,"pai":` and `{"type":"dahai","actor":0,"pai":` are 32 bytes each.
constexpr std::size_t kHeadSize = 32;
struct Head {
    char text[kHeadSize];
};
extern const std::array<Head, 4> kTsumoHeads;
extern const std::array<Head, 4> kDahaiHeads;
// `"5mr"}` and a line feed, padded to 8 bytes.
struct TsumoTail {
    char text[7];
    std::uint8_t size;
};
static_assert(sizeof(TsumoTail) == 8);
extern const std::array<TsumoTail, kTileCount> kTsumoTails;
// `"5mr","tsumogiri":false}` and a line feed, padded to 32 bytes; index 2 * tile + tsumogiri.
struct DahaiTail {
    char text[31];
    std::uint8_t size;
};
static_assert(sizeof(DahaiTail) == 32);
extern const std::array<DahaiTail, 2 * kTileCount> kDahaiTails;

// Each tile as its JSON string, padded to 8 bytes so that one fixed-size copy writes it.
struct QuotedTile {
    char text[7];
    std::uint8_t size;
};
static_assert(sizeof(QuotedTile) == 8);
extern const std::array<QuotedTile, kTileCount> kQuotedTiles;

// ---------------------------------------------------------------------------------------------
// Text writers for the events that are not repeated: each writes one whole text (without its
// line feed) at `p`, where room for `kMax...` bytes has been made, and returns its end.

constexpr std::size_t kMaxCall = 128;        // daiminkan, the longest call, needs 90
constexpr std::size_t kMaxStartKyoku = 512;  // about 460
constexpr std::size_t kMaxSmall = 192;       // start_game and hora without their lists, ryukyoku, end_game
constexpr std::size_t kPerListTile = 6;      // `"5mr",`

// Calls; every seat here is below 4.
char* write_chi(char* p, Seat actor, Seat target, Tile pai, Tile c0, Tile c1);
char* write_pon(char* p, Seat actor, Seat target, Tile pai, Tile c0, Tile c1);
char* write_daiminkan(char* p, Seat actor, Seat target, Tile pai, Tile c0, Tile c1, Tile c2);
char* write_kakan(char* p, Seat actor, Tile pai, Tile c0, Tile c1, Tile c2);
char* write_ankan(char* p, Seat actor, Tile c0, Tile c1, Tile c2, Tile c3);
/** Room: kMaxSmall + json_string_room of each name. */
char* write_start_game(char* p, const std::array<std::string, 4>& names, std::uint8_t kyoku_first, bool aka_flag);
char* write_start_kyoku(char* p, Tile bakaze, Tile dora_marker, std::uint8_t kyoku, std::uint8_t honba,
                        std::uint8_t kyotaku, Seat oya, const Points& scores,
                        const std::array<std::array<Tile, 13>, 4>& tehais);
/** Room: kMaxSmall + kPerListTile * ura_markers.size(). */
char* write_hora(char* p, std::uint8_t actor, std::uint8_t target, const Points& deltas,
                 std::span<const Tile> ura_markers);
char* write_ryukyoku(char* p, const Points& deltas);
char* write_end_game(char* p);

/** Appends event texts to an EventTexts.
 *
 *  While it writes, the emitter holds the buffer and both lists of `out` at sizes that run
 *  ahead of what is written, so `finish` must be called before `out` is read again. Texts are
 *  written through a raw pointer into room made once per event for the longest text that
 *  event can have, so no write checks the capacity.
 *
 *  The emitter is a small value, and every member that runs per event is inline: a hot loop
 *  may work on a local copy (`Emitter local = emitter; ... emitter = local;`), whose position
 *  then stays in registers instead of being stored and reloaded around every text written.
 *  Only one copy may be written through at a time, and the last one written through is the one
 *  to keep. */
class Emitter {
public:
    explicit Emitter(EventTexts& out);

    /** Makes room for `events` more events holding `bytes` more bytes of text in all. */
    void reserve(std::size_t events, std::size_t bytes) { make_room(bytes + kSlack, events); }
    /** Trims the buffer and lists of `out` to what was written. */
    void finish();

    /** A point to come back to: everything written after it is dropped by `rewind`. */
    struct Mark {
        std::size_t bytes;
        std::size_t events;
    };
    Mark mark() const { return {pos_, count_}; }
    void rewind(Mark m) {
        pos_ = m.bytes;
        count_ = m.events;
    }
    std::size_t events_since(Mark m) const { return count_ - m.events; }

    // The repeated events; every seat here is below 4.
    void tsumo(Seat actor, Tile pai) {
        char* p = begin(kHeadSize + sizeof(TsumoTail));
        const TsumoTail& tail = kTsumoTails[pai.index];
        std::memcpy(p, &kTsumoHeads[actor], kHeadSize);
        std::memcpy(p + kHeadSize, &tail, sizeof tail);
        record(kHeadSize + tail.size, static_cast<std::uint16_t>(kTsumoKeys + actor * kTiles + pai.index));
    }
    void dahai(Seat actor, Tile pai, bool tsumogiri) {
        char* p = begin(kHeadSize + sizeof(DahaiTail));
        const unsigned tail_index = 2 * pai.index + tsumogiri;
        const DahaiTail& tail = kDahaiTails[tail_index];
        std::memcpy(p, &kDahaiHeads[actor], kHeadSize);
        std::memcpy(p + kHeadSize, &tail, sizeof tail);
        record(kHeadSize + tail.size, static_cast<std::uint16_t>(kDahaiKeys + 2 * actor * kTiles + tail_index));
    }
    void dora(Tile marker) { repeat<kDoraCopy>(static_cast<std::uint16_t>(kDoraKeys + marker.index)); }
    void reach(Seat actor) { repeat<kReachCopy>(static_cast<std::uint16_t>(kReachKeys + actor)); }
    void reach_accepted(Seat actor) {
        repeat<kReachAcceptedCopy>(static_cast<std::uint16_t>(kReachAcceptedKeys + actor));
    }
    void end_kyoku() { repeat<kEndKyokuCopy>(kEndKyokuKey); }

    // The calls; every seat here is below 4.
    void chi(Seat actor, Seat target, Tile pai, Tile c0, Tile c1) {
        commit(write_chi(begin(kMaxCall), actor, target, pai, c0, c1));
    }
    void pon(Seat actor, Seat target, Tile pai, Tile c0, Tile c1) {
        commit(write_pon(begin(kMaxCall), actor, target, pai, c0, c1));
    }
    void daiminkan(Seat actor, Seat target, Tile pai, Tile c0, Tile c1, Tile c2) {
        commit(write_daiminkan(begin(kMaxCall), actor, target, pai, c0, c1, c2));
    }
    void kakan(Seat actor, Tile pai, Tile c0, Tile c1, Tile c2) {
        commit(write_kakan(begin(kMaxCall), actor, pai, c0, c1, c2));
    }
    void ankan(Seat actor, Tile c0, Tile c1, Tile c2, Tile c3) {
        commit(write_ankan(begin(kMaxCall), actor, c0, c1, c2, c3));
    }

    // The rest. Names are escaped as JSON strings; any name byte from 0x80 on clears `ascii`.
    void start_game(const std::array<std::string, 4>& names, std::uint8_t kyoku_first, bool aka_flag);
    void start_kyoku(Tile bakaze, Tile dora_marker, std::uint8_t kyoku, std::uint8_t honba, std::uint8_t kyotaku,
                     Seat oya, const Points& scores, const std::array<std::array<Tile, 13>, 4>& tehais) {
        commit(write_start_kyoku(begin(kMaxStartKyoku), bakaze, dora_marker, kyoku, honba, kyotaku, oya, scores,
                                 tehais));
    }
    /** `actor` and `target` as the log names them, any byte. Always with deltas and ura markers. */
    void hora(std::uint8_t actor, std::uint8_t target, const Points& deltas, std::span<const Tile> ura_markers) {
        commit(write_hora(begin(kMaxSmall + kPerListTile * ura_markers.size()), actor, target, deltas, ura_markers));
    }
    /** Always with deltas. */
    void ryukyoku(const Points& deltas) { commit(write_ryukyoku(begin(kMaxSmall), deltas)); }
    void end_game() { commit(write_end_game(begin(kMaxSmall))); }

private:
    // Room for every fixed-size copy to run past the end of what it writes.
    static constexpr std::size_t kSlack = 64;

    // Returns where the next text goes, with room for `max_bytes` (its line feed included)
    // and for one more event in the lists.
    [[gnu::always_inline]] char* begin(std::size_t max_bytes) {
        if (cap_ - pos_ < max_bytes + kSlack || count_ == count_cap_) [[unlikely]]
            make_room(max_bytes + kSlack, 1);
        return data_ + pos_;
    }
    // Records the text that ends at `end` (before its line feed, which this writes).
    [[gnu::always_inline]] void commit(char* end, std::uint16_t key = 0) {
        *end = '\n';
        const std::size_t last = static_cast<std::size_t>(end - data_);
        ends_[count_] = last;
        keys_[count_] = key;
        ++count_;
        pos_ = last + 1;
    }
    // Copies `kCopy` bytes of the key's text (the longest of its kind fits, see emit.cpp):
    // writing the output is what bounds the speed of these events, so no more than needed.
    template <std::size_t kCopy>
    [[gnu::always_inline]] void repeat(std::uint16_t key) {
        char* p = begin(sizeof(RepeatText));
        const RepeatText& t = kRepeatTexts[key];
        std::memcpy(p, &t, kCopy);
        record(t.size, key);
    }
    // Records the text of `size` bytes (its line feed included) written at the position.
    [[gnu::always_inline]] void record(std::size_t size, std::uint16_t key) {
        ends_[count_] = pos_ + size - 1;
        keys_[count_] = key;
        ++count_;
        pos_ += size;
    }

    // The buffer and lists as they are while writing.
    struct Room {
        char* data;
        std::size_t cap;
        std::size_t* ends;
        std::uint16_t* keys;
        std::size_t count_cap;
    };
    // Growing goes through a function that is not given the emitter, so that a local copy never
    // has its address taken.
    void make_room(std::size_t bytes, std::size_t events) {
        Room r = grow(*out_, Room{data_, cap_, ends_, keys_, count_cap_}, pos_, bytes, count_, events);
        data_ = r.data;
        cap_ = r.cap;
        ends_ = r.ends;
        keys_ = r.keys;
        count_cap_ = r.count_cap;
    }
    [[gnu::noinline]] static Room grow(EventTexts& out, Room room, std::size_t pos, std::size_t bytes,
                                       std::size_t count, std::size_t events);

    EventTexts* out_;
    char* data_ = nullptr;
    std::size_t pos_ = 0;  // bytes written
    std::size_t cap_ = 0;  // bytes usable: the buffer's size while writing
    std::size_t* ends_ = nullptr;
    std::uint16_t* keys_ = nullptr;
    std::size_t count_ = 0;      // events written
    std::size_t count_cap_ = 0;  // the lists' size while writing
};

}  // namespace tessmar::emit
