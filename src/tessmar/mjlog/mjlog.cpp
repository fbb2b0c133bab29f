#include "tessmar/mjlog/mjlog.hpp"

#include "tessmar/encoding/utf8.hpp"
#include "tessmar/mjlog/game.hpp"
#include "tessmar/mjlog/reader.hpp"
#include "tessmar/mjlog/write.hpp"
#include "tessmar/mjlog/xml.hpp"

namespace tessmar::mjlog {

std::expected<void, MjlogError> read_mjlog(std::string_view xml, std::string_view ref, Game& game) {
    if (std::size_t bad = invalid_utf8_offset(xml); bad != std::string_view::npos)
        return refuse_at("the text is not UTF-8", bad);
    if (invalid_utf8_offset(ref) != std::string_view::npos)
        return refuse_text("the game id is not UTF-8");
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
    if (auto ok = append_mjlog_as_tenhou(xml, ref, out); !ok) return pass_on(ok);
    return out;
}

}  // namespace tessmar::mjlog
