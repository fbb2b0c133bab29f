#include "tessmar/conv/convert.hpp"

namespace tessmar {

void finish_kyoku(std::vector<Event>& events, const Kyoku& kyoku) {
    if (auto* wins = std::get_if<Wins>(&kyoku.result)) {
        // Every win of the kyoku carries the whole ura list, riichi or not.
        for (const Win& win : wins->wins)
            events.push_back(mjai::Hora{win.actor, win.target, win.deltas, kyoku.ura_indicators});
    } else {
        events.push_back(mjai::Ryukyoku{std::get<Draw>(kyoku.result).deltas});
    }
    events.push_back(mjai::EndKyoku{});
}

}  // namespace tessmar
