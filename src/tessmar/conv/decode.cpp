#include "tessmar/conv/convert.hpp"
namespace tessmar {
// Placeholder until the decoder lands.
std::expected<Event, ConversionError> decode_take(const ActionItem&, std::uint8_t) {
    return std::unexpected(ConversionError{ConversionErrorKind::InvalidActionString, {}});
}
std::expected<void, ConversionError> decode_discard(const ActionItem&, std::uint8_t, std::vector<Event>&) {
    return std::unexpected(ConversionError{ConversionErrorKind::InvalidActionString, {}});
}
std::expected<SeatActions, ConversionError> decode_seat_actions(const Kyoku&, std::uint8_t) {
    return std::unexpected(ConversionError{ConversionErrorKind::InvalidActionString, {}});
}
}
