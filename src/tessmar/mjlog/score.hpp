// The texts of a result: yaku and dan names, draw names, and a win's score text.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "tessmar/mjlog/game.hpp"

namespace tessmar::mjlog {

inline constexpr unsigned kYakuIds = 55;
inline constexpr unsigned kDanIds = 21;

std::string_view yaku_name(unsigned id);  // id < kYakuIds
std::string_view dan_name(unsigned index);  // index < kDanIds

/** The draw kind of a RYUUKYOKU `type`; false for a type Tenhou does not write. */
bool draw_kind(std::string_view type, DrawKind& kind);
/** The first element of a draw's result; `tenpai` is the number of hands shown. */
std::string_view draw_name(DrawKind kind, unsigned tenpai);

/** A win's value as the score text states it. */
struct Score {
    enum class Label : std::uint8_t { FuHan, Mangan, Haneman, Baiman, Sanbaiman, Yakuman };
    Label label;
    std::int64_t first;   // ron: the payment; dealer tsumo: each; other tsumo: each non-dealer
    std::int64_t second;  // other tsumo: the dealer's payment
    std::int64_t total;
};

/** `fu` and `han` are non-negative; with `yakuman` above 0 they are not used. */
Score compute_score(std::int64_t fu, std::int64_t han, std::uint32_t yakuman, bool dealer, bool tsumo);

/** Room for any score text. */
inline constexpr std::size_t kMaxScoreText = 128;
/** Writes the score text ("30符4飜11600点", "跳満3000-6000点", "満貫4000点∀") at `p`. */
char* write_score_text(char* p, const Agari& win);
/** The same, appended to `out`. */
void append_score_text(std::string& out, const Agari& win);

}  // namespace tessmar::mjlog
