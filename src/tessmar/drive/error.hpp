// The failure value of the conversion stage.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace tessmar {

enum class ConversionErrorKind : std::uint8_t {
    InvalidActionString = 0,      // an entry string fits no accepted shape
    InvalidTileCode = 1,          // a tile code inside an entry string is not a tile
    DoraIndicatorsExhausted = 2,  // no dora indicator, or a kan needs one more than listed
    MissingTake = 3,              // the seat to move has no take left, or a daiminkan is its last take
    // A reach without the dahai that completes it. Never produced: a riichi entry decodes into
    // one act holding both, so no reach can stand alone at the end of a column. The number is
    // kept so that every later kind keeps its own.
    MissingDiscardAfterReach = 4,
    UnexpectedNumber = 5,         // a bare number stands in a take column
    InvalidCall = 6,              // a call contradicts the last discard
    RetryLimit = 7,               // a kyoku's attempts would repeat for ever, or cost too much
    OutputLimit = 8,              // the hora events would copy the ura list more than the log's size allows
};

/** The kind's name, for diagnostics and tests. */
constexpr std::string_view kind_name(ConversionErrorKind kind) {
    switch (kind) {
        case ConversionErrorKind::InvalidActionString: return "InvalidActionString";
        case ConversionErrorKind::InvalidTileCode: return "InvalidTileCode";
        case ConversionErrorKind::DoraIndicatorsExhausted: return "DoraIndicatorsExhausted";
        case ConversionErrorKind::MissingTake: return "MissingTake";
        case ConversionErrorKind::MissingDiscardAfterReach: return "MissingDiscardAfterReach";
        case ConversionErrorKind::UnexpectedNumber: return "UnexpectedNumber";
        case ConversionErrorKind::InvalidCall: return "InvalidCall";
        case ConversionErrorKind::RetryLimit: return "RetryLimit";
        case ConversionErrorKind::OutputLimit: return "OutputLimit";
    }
    return "unknown";
}

/** InvalidCall: the call and the last discard that it contradicts (tiles as indices of
 *  encoding/tile.hpp's table). */
struct CallClash {
    char kind = 0;                 // 'c' chi, 'p' pon, 'm' daiminkan
    std::uint8_t tile = 37;        // the called tile
    std::uint8_t from = 0;         // the seat the call names as the discarder
    std::uint8_t last_tile = 37;   // the tile of the last discard
    int last_seat = -1;            // the seat that made it; -1: nothing discarded yet
};

/** Kind plus context: what `describe` says, and where. */
struct ConversionError {
    ConversionErrorKind kind;
    std::string text;            // offending entry text or tile code, where there is one
    int seat = -1;               // seat involved, where known
    int kyoku = -1;              // position of the kyoku in the log, where known
    CallClash call{};            // InvalidCall
};

/** One line for people: what is wrong, without where (the kyoku and seat say that). */
std::string describe(const ConversionError& error);

}  // namespace tessmar
