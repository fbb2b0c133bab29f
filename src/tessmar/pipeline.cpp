#include "tessmar/pipeline.hpp"

#include "tessmar/conv/convert.hpp"
#include "tessmar/mjai/writer.hpp"
#include "tessmar/tenhou/game.hpp"
#include "tessmar/tenhou/raw_log.hpp"

namespace tessmar {

std::expected<std::vector<std::string>, PipelineError> convert_log(std::string_view text) {
    auto raw = parse_raw_log(text);
    if (!raw) return std::unexpected(PipelineError{Stage::Parse, raw.error().message});
    auto game = build_game(std::move(*raw));
    if (!game) return std::unexpected(PipelineError{Stage::Model, {}});
    auto events = convert_game(*game);
    if (!events) return std::unexpected(PipelineError{Stage::Convert, events.error().text});
    std::vector<std::string> texts;
    texts.reserve(events->size());
    for (const Event& event : *events) {
        auto text = mjai::serialize_event(event);
        if (!text) return std::unexpected(PipelineError{Stage::Serialize, text.error().message});
        texts.push_back(std::move(*text));
    }
    return texts;
}

}  // namespace tessmar
