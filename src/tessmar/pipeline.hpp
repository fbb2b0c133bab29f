// The whole conversion of one log text, stage by stage.
#pragma once

#include <cstdint>
#include <expected>
#include <string>
#include <string_view>
#include <vector>

namespace tessmar {

/** The stage that failed; the boundary picks the exception by it alone. */
enum class Stage : std::uint8_t { Parse, Model, Convert, Serialize };

struct PipelineError {
    Stage stage;
    std::string detail;  // the stage's own diagnostic, for debugging and tests only
};

/** Parse, build the model, convert and serialise: one JSON text per event, in order.
 *  Errors: the first stage that fails, with its diagnostic. */
std::expected<std::vector<std::string>, PipelineError> convert_log(std::string_view text);

}  // namespace tessmar
