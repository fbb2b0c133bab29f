// Conversion of the game model into the mjai event stream.
#pragma once

#include <array>
#include <cstdint>
#include <expected>
#include <span>
#include <vector>

#include "tessmar/conv/error.hpp"
#include "tessmar/mjai/event.hpp"
#include "tessmar/tenhou/game.hpp"

namespace tessmar {

/** One seat's decoded columns of one kyoku. */
struct SeatActions {
    std::vector<Event> takes;     // tsumo, chi, pon, daiminkan: one per take entry
    std::vector<Event> discards;  // dahai, reach (+ its dahai), kakan, ankan; empty-discard placeholders removed
};

/** One take entry. Errors: `UnexpectedNumber`, `InvalidActionString`, `InvalidTileCode`. */
std::expected<Event, ConversionError> decode_take(const ActionItem& entry, std::uint8_t seat);

/** One discard entry, appending one event (two for a riichi) to `out`.
 *  Errors: `InvalidActionString`, `InvalidTileCode`. */
std::expected<void, ConversionError> decode_discard(const ActionItem& entry, std::uint8_t seat,
                                                     std::vector<Event>& out);

/** Both columns of one seat, with tsumogiri tiles filled in and empty discards removed.
 *  Errors: the first error of `decode_take`, then of `decode_discard`. */
std::expected<SeatActions, ConversionError> decode_seat_actions(const Kyoku& kyoku, std::uint8_t seat);

/** Appends a kyoku's closing events (`hora` per win or `ryukyoku`, then `end_kyoku`). Cannot fail. */
void finish_kyoku(std::vector<Event>& events, const Kyoku& kyoku);

/** Per-kyoku record of ambiguous calls, keyed by tile: absent, taken (true) or declined once (false). */
struct CallChoices {
    enum class Choice : std::uint8_t { Absent, Taken, Declined };
    std::array<Choice, kTileCount> slots{};
    friend bool operator==(const CallChoices&, const CallChoices&) = default;
};

/** Decides an ambiguous call on `last_tile`; true when the calling seat takes the turn. */
bool resolve_ambiguous_call(CallChoices& choices, Tile last_tile);

/** True when a failed attempt is to be repeated (some choice is recorded). */
bool should_retry_kyoku(const CallChoices& choices);

/** Receives the events of a conversion in order, in pieces: start_game, each finished kyoku, end_game. */
class EventSink {
public:
    virtual void take(std::span<const Event> events) = 0;

protected:
    ~EventSink() = default;
};

/** The whole event stream of a game, handed to `sink` kyoku by kyoku, so that no more than one
 *  kyoku's events are held at once. On failure the sink has seen only complete kyokus and must
 *  drop them. Errors: as `convert_game`. */
std::expected<void, ConversionError> convert_game_to(const Game& game, EventSink& sink);

/** The whole event stream of a game, from start_game to end_game.
 *  Errors: any decoding error; a driver error of a kyoku whose retries are exhausted;
 *  `RetryLimit` for a kyoku whose attempts would repeat for ever, or whose failed attempts
 *  would cost more than the size of the log allows; `OutputLimit` for a log whose hora events
 *  would hold more copies of ura indicators than its size allows. */
std::expected<std::vector<Event>, ConversionError> convert_game(const Game& game);

}  // namespace tessmar
