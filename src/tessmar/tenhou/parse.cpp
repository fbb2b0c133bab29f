#include "tessmar/tenhou/raw_log.hpp"

namespace tessmar {

std::expected<RawLog, ParseError> parse_raw_log(std::string_view) {
    return std::unexpected(ParseError{"not built yet", 0});
}

}  // namespace tessmar
