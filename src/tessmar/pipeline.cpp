#include "tessmar/pipeline.hpp"

#include "tessmar/drive/drive.hpp"
#include "tessmar/mjlog/mjlog.hpp"
#include "tessmar/read/read.hpp"

namespace tessmar {

std::expected<EventTexts, PipelineError> convert_log_texts(std::string_view text) {
    auto game = read_log(text);
    if (!game)
        return std::unexpected(
            PipelineError{game.error().is_model_error() ? Stage::Model : Stage::Parse, std::move(game.error().message)});
    return convert_columns_texts(*game);
}

std::expected<EventTexts, PipelineError> convert_columns_texts(const GameColumns& game) {
    EventTexts texts;
    if (auto ok = convert_columns(game, texts); !ok)
        return std::unexpected(PipelineError{Stage::Convert, std::move(ok.error().text)});
    return texts;
}

std::expected<EventTexts, PipelineError> convert_mjlog_texts(const mjlog::Game& game) {
    GameColumns columns;
    // The JSON text would hold a number the log reader refuses (the XML allows any 32-bit value).
    if (!mjlog::game_columns(game, columns))
        return std::unexpected(PipelineError{Stage::Parse, "a value the game columns cannot hold"});
    return convert_columns_texts(columns);
}

std::expected<std::vector<std::string>, PipelineError> convert_log(std::string_view text) {
    auto texts = convert_log_texts(text);
    if (!texts) return std::unexpected(std::move(texts.error()));
    std::vector<std::string> out;
    out.reserve(texts->size());
    for (std::size_t i = 0; i < texts->size(); ++i) out.emplace_back((*texts)[i]);
    return out;
}

}  // namespace tessmar
