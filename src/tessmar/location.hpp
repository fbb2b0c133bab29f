// Where a log was refused: the byte where reading stopped, the kyoku and the seat at fault,
// and the line that says so to a person.
#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <string>
#include <string_view>

namespace tessmar {

inline constexpr std::size_t kNoOffset = std::numeric_limits<std::size_t>::max();

/** The kyoku and the seat that one failure is the fault of, as far as they are known. */
struct Fault {
    int kyoku = -1;           // position in the log's sequence of kyoku; -1: not one kyoku's fault
    int seat = -1;            // 0..3; -1: not one seat's fault
    std::int64_t round = -1;  // that kyoku's round (0 = East 1, 4 = South 1, ...); -1: not read yet
    std::int64_t honba = -1;  // and its honba, read with the round
};

struct Location {
    std::size_t offset = kNoOffset;  // byte of the log text where reading stopped; kNoOffset: it read
    Fault fault{};
};

/** "byte 5123, kyoku 3 (S1, 0 honba), seat 2: DETAIL", with only the parts that are known;
 *  DETAIL alone when none is. One line: control characters of `detail` are escaped. */
std::string location_note(const Location& where, std::string_view detail);

/** `text` in double quotes for a message: the quote, the backslash and control characters
 *  escaped, other bytes as they are. */
std::string quoted(std::string_view text);

}  // namespace tessmar
