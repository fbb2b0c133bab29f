#include "tessmar/drive/kyoku.hpp"

namespace tessmar::drive {

void finish_kyoku(const GameColumns& game, const KyokuColumns& kyoku, emit::Emitter& out) {
    if (kyoku.is_draw) {
        out.ryukyoku(kyoku.draw_deltas);
    } else {
        // Every win of the kyoku carries the whole ura list, riichi or not.
        const auto ura = game.ura(kyoku);
        for (const Win& win : game.kyoku_wins(kyoku)) out.hora(win.actor, win.target, win.deltas, ura);
    }
    out.end_kyoku();
}

}  // namespace tessmar::drive
