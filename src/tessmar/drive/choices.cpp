#include "tessmar/drive/choices.hpp"

#include <algorithm>

namespace tessmar::drive {

bool resolve_ambiguous_call(CallChoices& choices, Tile last_tile) {
    using Choice = CallChoices::Choice;
    Choice& slot = choices.slots[last_tile.index];
    switch (slot) {
        case Choice::Absent: slot = Choice::Taken; return true;
        case Choice::Taken: slot = Choice::Declined; return false;
        case Choice::Declined: slot = Choice::Absent; return false;
    }
    return false;
}

bool should_retry_kyoku(const CallChoices& choices) {
    return std::ranges::any_of(choices.slots, [](auto c) { return c != CallChoices::Choice::Absent; });
}

}  // namespace tessmar::drive
