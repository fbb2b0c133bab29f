// One attempt at a kyoku: the turn loop that puts the decoded columns into an order of play
// and emits each event as it is decided, and the kyoku's closing events.
#pragma once

#include <expected>

#include "tessmar/columns/columns.hpp"
#include "tessmar/drive/error.hpp"
#include "tessmar/drive/act.hpp"
#include "tessmar/drive/choices.hpp"
#include "tessmar/emit/emit.hpp"

namespace tessmar::drive {

/** Plays `kyoku` once from start_kyoku to end_kyoku, emitting into `out`; ambiguous calls are
 *  decided by, and recorded in, `choices`. `acts` is `decode_kyoku` of the kyoku.
 *  On failure `out` holds what the attempt emitted before it failed (the caller rewinds it).
 *  Errors: `DoraIndicatorsExhausted`, `MissingTake`, `InvalidCall`. */
std::expected<void, ConversionError> attempt_kyoku(const GameColumns& game, const KyokuColumns& kyoku,
                                                   const KyokuActs& acts, CallChoices& choices, emit::Emitter& out);

/** Emits a kyoku's closing events: a hora per win (each with the kyoku's whole ura list) or a
 *  ryukyoku, then end_kyoku. Cannot fail. */
void finish_kyoku(const GameColumns& game, const KyokuColumns& kyoku, emit::Emitter& out);

}  // namespace tessmar::drive
