#include "tessmar/tenhou/game.hpp"

#include <string_view>

namespace tessmar {
namespace {

constexpr std::string_view kWinMarker = "\xE5\x92\x8C\xE4\xBA\x86";  // 和了

bool contains(std::string_view text, std::string_view part) { return text.find(part) != std::string_view::npos; }

// A win's seat from a detail value: the low byte of a non-negative integer, 0 for any other number.
std::optional<std::uint8_t> seat_of(const JsonValue& value) {
    if (auto* u = std::get_if<std::uint64_t>(&value.v)) return static_cast<std::uint8_t>(*u);
    if (std::holds_alternative<std::int64_t>(value.v) || std::holds_alternative<double>(value.v)) return 0;
    return std::nullopt;
}

std::expected<KyokuResult, ModelError> build_result(const std::vector<ResultItem>& items) {
    auto* marker = items.empty() ? nullptr : std::get_if<std::string>(&items[0]);
    if (!marker) return Draw{};
    if (*marker != kWinMarker) {
        Draw draw;
        if (items.size() >= 2)
            if (auto* deltas = std::get_if<Deltas>(&items[1])) draw.deltas = *deltas;
        return draw;
    }
    Wins wins;
    for (std::size_t i = 1; i + 1 < items.size(); i += 2) {
        auto* deltas = std::get_if<Deltas>(&items[i]);
        auto* detail = std::get_if<JsonArray>(&items[i + 1]);
        if (!deltas || !detail) continue;  // pairs of other shapes carry no win
        if (detail->size() < 2) return std::unexpected(ModelError::InvalidWinDetails);
        auto actor = seat_of((*detail)[0]);
        auto target = seat_of((*detail)[1]);
        if (!actor || !target) return std::unexpected(ModelError::InvalidWinDetails);
        wins.wins.push_back(Win{*actor, *target, *deltas});
    }
    return wins;
}

}  // namespace

std::expected<Game, ModelError> build_game(RawLog&& raw) {
    std::string_view disp = raw.rule.disp;
    if (contains(disp, "\xE4\xB8\x89" /* 三 */) || contains(disp, "3-Player"))
        return std::unexpected(ModelError::ThreePlayer);

    Game game;
    game.kyoku_first = contains(disp, "\xE6\x9D\xB1" /* 東 */) || contains(disp, "East") ? 4 : 0;
    game.kyokus.reserve(raw.log.size());
    for (LogEntry& entry : raw.log) {
        auto result = build_result(entry.result);
        if (!result) return std::unexpected(result.error());
        game.kyokus.push_back(Kyoku{
            .kyoku = entry.header[0],
            .honba = entry.header[1],
            .kyotaku = entry.header[2],
            .scores = entry.scores,
            .dora_indicators = std::move(entry.dora_indicators),
            .ura_indicators = std::move(entry.ura_indicators),
            .seats = std::move(entry.seats),
            .result = std::move(*result),
        });
    }
    game.names = std::move(raw.name);
    const Rule& rule = raw.rule;
    game.aka_flag = rule.aka || rule.aka51 || rule.aka52 || rule.aka53;
    return game;
}

std::size_t entry_count(const Kyoku& kyoku) {
    std::size_t entries = 0;
    for (const SeatLog& seat : kyoku.seats) entries += seat.take_entries.size() + seat.discard_entries.size();
    return entries;
}

}  // namespace tessmar
