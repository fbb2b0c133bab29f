#include "tessmar/pipeline.hpp"

#include "tessmar/drive/drive.hpp"
#include "tessmar/mjlog/columns.hpp"
#include "tessmar/read/reader.hpp"

namespace tessmar {

namespace {

// The kyoku at position `kyoku` of `game`, with its round and honba.
Fault kyoku_fault(const GameColumns& game, int kyoku, int seat) {
    Fault fault{kyoku, seat};
    if (kyoku >= 0 && static_cast<std::size_t>(kyoku) < game.kyokus.size()) {
        fault.round = game.kyokus[static_cast<std::size_t>(kyoku)].kyoku;
        fault.honba = game.kyokus[static_cast<std::size_t>(kyoku)].honba;
    }
    return fault;
}

}  // namespace

std::expected<EventTexts, PipelineError> convert_log_texts(std::string_view text) {
    auto game = read_log(text);
    if (!game) {
        ReadError& e = game.error();
        const bool model = e.is_model_error();
        return std::unexpected(PipelineError{model ? Stage::Model : Stage::Parse, std::move(e.message),
                                             Location{model ? kNoOffset : e.offset, e.fault}});
    }
    return convert_columns_texts(*game);
}

std::expected<EventTexts, PipelineError> convert_columns_texts(const GameColumns& game) {
    EventTexts texts;
    if (auto ok = convert_columns(game, texts); !ok) {
        const ConversionError& e = ok.error();
        return std::unexpected(PipelineError{Stage::Convert, describe(e), Location{kNoOffset, kyoku_fault(game, e.kyoku, e.seat)}});
    }
    return texts;
}

std::expected<EventTexts, PipelineError> convert_mjlog_texts(const mjlog::Game& game) {
    GameColumns columns;
    // The JSON text would hold a number the log reader refuses (the XML allows any 32-bit value).
    if (!mjlog::game_columns(game, columns)) {
        // The one refused, the last made.
        const Fault fault = columns.kyokus.empty() ? Fault{} : mjlog::kyoku_fault(game, columns.kyokus.size() - 1);
        return std::unexpected(PipelineError{
            Stage::Parse, "a round, honba or stick count above 255, or a score beyond 32 bits: more than the JSON log holds",
            Location{kNoOffset, fault}});
    }
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
