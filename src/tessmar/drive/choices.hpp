// Ambiguous calls: when a seat's call could claim this discard or a later one of the same tile,
// the kyoku is tried with the call taken, then declined, and the choices decide the retries.
#pragma once

#include <array>
#include <cstdint>

#include "tessmar/encoding/tile.hpp"

namespace tessmar::drive {

/** Per-kyoku record of ambiguous calls, keyed by tile: absent, taken or declined once. */
struct CallChoices {
    enum class Choice : std::uint8_t { Absent, Taken, Declined };
    using Slots = std::array<Choice, kTileCount>;
    Slots slots{};
    friend bool operator==(const CallChoices&, const CallChoices&) = default;
};

/** Decides an ambiguous call on `last_tile`; true when the calling seat takes the turn.
 *  Each decision moves the tile's slot on: absent -> taken (take), taken -> declined (decline),
 *  declined -> absent (decline). */
bool resolve_ambiguous_call(CallChoices& choices, Tile last_tile);

/** True when a failed attempt is to be repeated (some choice is recorded). */
bool should_retry_kyoku(const CallChoices& choices);

}  // namespace tessmar::drive
