#include "tessmar/tenhou/game.hpp"
namespace tessmar {
std::expected<Game, ModelError> build_game(RawLog&&) { return std::unexpected(ModelError::ThreePlayer); }
}
