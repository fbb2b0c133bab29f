// The 16-bit meld codes of <N> and the call strings Tenhou writes for them.
#pragma once

#include <array>
#include <cstdint>
#include <expected>
#include <string>

namespace tessmar::mjlog {

enum class MeldKind : std::uint8_t { Chi, Pon, Kakan, Daiminkan, Ankan };

/** A decoded meld: its tile ids, the called one, and where it came from. */
struct Meld {
    MeldKind kind = MeldKind::Chi;
    std::uint8_t from = 0;             // relative seat: 1 right, 2 opposite, 3 left; 0 for an ankan
    std::uint8_t called = 0;           // id of the called tile (ankan: none)
    std::array<std::uint8_t, 4> ids{};  // chi, pon: three; kakan: the pon's three then the added; kans: four
};

/** Decodes `m`. Errors: the refusal's message (honours in a chi, a kind or tile beyond the
 *  tiles, a pon from the caller's own seat, a kita). */
std::expected<Meld, std::string> decode_meld(std::uint16_t m);

/** Longest call string: a daiminkan or kakan, four codes and a letter. */
inline constexpr std::size_t kMaxCallString = 9;

/** Writes the call string of a decoded meld at `p` (room for kMaxCallString) and returns its end. */
char* write_call(char* p, const Meld& meld, bool red);

/** Whether the string goes into the discard column (kakan, ankan) rather than the take column. */
constexpr bool in_discard_column(MeldKind k) { return k == MeldKind::Kakan || k == MeldKind::Ankan; }

}  // namespace tessmar::mjlog
