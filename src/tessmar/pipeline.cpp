#include "tessmar/pipeline.hpp"

#include "tessmar/drive/drive.hpp"
#include "tessmar/read/read.hpp"

namespace tessmar {

std::expected<EventTexts, PipelineError> convert_log_texts(std::string_view text) {
    auto game = read_log(text);
    if (!game)
        return std::unexpected(
            PipelineError{game.error().is_model_error() ? Stage::Model : Stage::Parse, std::move(game.error().message)});
    EventTexts texts;
    if (auto ok = convert_columns(*game, texts); !ok)
        return std::unexpected(PipelineError{Stage::Convert, std::move(ok.error().text)});
    return texts;
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
