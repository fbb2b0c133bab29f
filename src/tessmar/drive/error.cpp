#include "tessmar/drive/error.hpp"

#include "tessmar/location.hpp"
#include "tessmar/encoding/tile.hpp"

namespace tessmar {
namespace {

std::string call_text(const CallClash& call) {
    std::string out = call.kind == 'c' ? "chi" : call.kind == 'p' ? "pon" : "daiminkan";
    out.append(" of ").append(tile_name(Tile{call.tile}));
    return out;
}

// The InvalidCall's reason: the tile, the seat, or the caller's own discard.
std::string clash_text(const CallClash& call, int caller) {
    std::string out = call_text(call);
    if (call.last_seat < 0) return out + ", but nothing has been discarded yet";
    if (call.tile != call.last_tile) return out.append(", but the last discard is ").append(tile_name(Tile{call.last_tile}));
    if (call.last_seat == caller) return out + ", but the last discard is the caller's own";
    return out.append(" from seat ")
        .append(std::to_string(call.from))
        .append(", but the last discard is seat ")
        .append(std::to_string(call.last_seat))
        .append("'s");
}

}  // namespace

std::string describe(const ConversionError& error) {
    switch (error.kind) {
        case ConversionErrorKind::InvalidActionString: return "entry " + quoted(error.text) + " is no call, kan or riichi";
        case ConversionErrorKind::InvalidTileCode: return "invalid tile code " + quoted(error.text) + " in an entry";
        case ConversionErrorKind::DoraIndicatorsExhausted:
            return error.seat < 0 ? "the kyoku has no dora indicator" : "a kan reveals more dora indicators than the kyoku lists";
        case ConversionErrorKind::MissingTake: return "the seat's turn to take, but its take column has ended";
        case ConversionErrorKind::MissingDiscardAfterReach: return "a riichi is the last of the seat's discards";
        case ConversionErrorKind::UnexpectedNumber:
            return "number " + error.text + " in the take column, which holds tiles and calls";
        case ConversionErrorKind::InvalidCall: return clash_text(error.call, error.seat);
        case ConversionErrorKind::RetryLimit:
            return "the calls cannot be put into an order of play (gave up after repeated attempts)";
        case ConversionErrorKind::OutputLimit:
            return "the wins would copy the ura indicators more often than the log's size allows";
    }
    return "unknown conversion error";
}

}  // namespace tessmar
