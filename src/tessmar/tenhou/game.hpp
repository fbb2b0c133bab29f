// The checked game model that the converter walks.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <expected>
#include <string>
#include <variant>
#include <vector>

#include "tessmar/tenhou/raw_log.hpp"

namespace tessmar {

struct Win {
    std::uint8_t actor = 0;
    std::uint8_t target = 0;
    Deltas deltas{};
};

struct Wins {
    std::vector<Win> wins;
};

struct Draw {
    Deltas deltas{};
};

using KyokuResult = std::variant<Wins, Draw>;

struct Kyoku {
    std::uint8_t kyoku = 0;
    std::uint8_t honba = 0;
    std::uint8_t kyotaku = 0;
    std::array<std::int32_t, 4> scores{};
    std::vector<Tile> dora_indicators;
    std::vector<Tile> ura_indicators;
    std::array<SeatLog, 4> seats;
    KyokuResult result;
};

struct Game {
    std::array<std::string, 4> names;
    std::uint8_t kyoku_first = 0;
    bool aka_flag = false;
    std::vector<Kyoku> kyokus;
};

enum class ModelError : std::uint8_t { ThreePlayer, InvalidWinDetails };

/** Judges the rule text, condenses each kyoku's result and moves the rest of the log into a Game.
 *  Errors: `ThreePlayer` ("三" or "3-Player" in the rule text), `InvalidWinDetails`
 *  (a win's detail item without two leading numbers). */
std::expected<Game, ModelError> build_game(RawLog&& raw);

/** The number of take and discard column entries of a kyoku: the measure of its size. */
std::size_t entry_count(const Kyoku& kyoku);

}  // namespace tessmar
