#include "tessmar/mjlog/mjlog.hpp"

#include "tessmar/mjlog/game.hpp"
#include "tessmar/mjlog/reader.hpp"
#include "tessmar/mjlog/write.hpp"
#include "tessmar/mjlog/xml.hpp"

namespace tessmar::mjlog {

std::expected<void, MjlogError> read_mjlog(std::string_view xml, std::string_view ref, Game& game) {
    if (std::size_t bad = xml::invalid_utf8_offset(xml); bad != std::string_view::npos)
        return std::unexpected(at_error("the text is not UTF-8", bad));
    if (xml::invalid_utf8_offset(ref) != std::string_view::npos)
        return std::unexpected(MjlogError{"the game id is not UTF-8", kNoOffset});
    return read_game(xml, game);
}

std::expected<void, MjlogError> append_mjlog_as_tenhou(std::string_view xml, std::string_view ref, std::string& out) {
    Game game;
    if (auto ok = read_mjlog(xml, ref, game); !ok) return ok;
    write_tenhou(game, ref, out);
    return {};
}

std::expected<std::string, MjlogError> mjlog_to_tenhou(std::string_view xml, std::string_view ref) {
    std::string out;
    if (auto ok = append_mjlog_as_tenhou(xml, ref, out); !ok) return std::unexpected(std::move(ok.error()));
    return out;
}

}  // namespace tessmar::mjlog
