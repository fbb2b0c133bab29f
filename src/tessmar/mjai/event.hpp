// The mjai event record: 17 types, each with its fixed fields in key order.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "tessmar/tenhou/tile.hpp"

namespace tessmar::mjai {

using Seat = std::uint8_t;
using Deltas = std::array<std::int32_t, 4>;

struct None {};
struct StartGame {
    std::array<std::string, 4> names;
    std::uint8_t kyoku_first = 0;
    bool aka_flag = false;
};
struct StartKyoku {
    Tile bakaze;
    Tile dora_marker;
    std::uint8_t kyoku = 0;
    std::uint8_t honba = 0;
    std::uint8_t kyotaku = 0;
    Seat oya = 0;
    std::array<std::int32_t, 4> scores{};
    std::array<std::array<Tile, 13>, 4> tehais{};
};
struct Tsumo { Seat actor = 0; Tile pai; };
struct Dahai { Seat actor = 0; Tile pai; bool tsumogiri = false; };
struct Chi { Seat actor = 0; Seat target = 0; Tile pai; std::array<Tile, 2> consumed{}; };
struct Pon { Seat actor = 0; Seat target = 0; Tile pai; std::array<Tile, 2> consumed{}; };
struct Daiminkan { Seat actor = 0; Seat target = 0; Tile pai; std::array<Tile, 3> consumed{}; };
struct Kakan { Seat actor = 0; Tile pai; std::array<Tile, 3> consumed{}; };
struct Ankan { Seat actor = 0; std::array<Tile, 4> consumed{}; };
struct Dora { Tile dora_marker; };
struct Reach { Seat actor = 0; };
struct ReachAccepted { Seat actor = 0; };
struct Hora {
    Seat actor = 0;
    Seat target = 0;
    std::optional<Deltas> deltas;
    std::optional<std::vector<Tile>> ura_markers;
};
struct Ryukyoku { std::optional<Deltas> deltas; };
struct EndKyoku {};
struct EndGame {};

/** A tagged event; the alternative's index is the event's tag (0 = none ... 16 = end_game). */
using Event = std::variant<None, StartGame, StartKyoku, Tsumo, Dahai, Chi, Pon, Daiminkan, Kakan, Ankan, Dora,
                           Reach, ReachAccepted, Hora, Ryukyoku, EndKyoku, EndGame>;

}  // namespace tessmar::mjai

namespace tessmar {
using mjai::Event;
}
