#include "tessmar/conv/convert.hpp"
namespace tessmar {
std::expected<std::vector<Event>, ConversionError> convert_game(const Game&) {
    return std::unexpected(ConversionError{ConversionErrorKind::MissingTake, {}});
}
}
