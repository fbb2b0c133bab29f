// One attempt at a kyoku, and its closing events.
//
// The turn loop: whose column moves next, where kan dora are revealed, when a riichi is accepted.
//
// Each turn is a take step (the actor's next take: a tsumo or a call, with the replacement
// draws of daiminkan) and a discard step (the actor's next discard act). Nobody taking again
// ends the kyoku: a win on that discard or kan, or a draw.
//
// Speed: the state indexed by seat lives in `SeatCursors`, apart from the scalar state of
// `KyokuAttempt`. An object indexed at run time has to live in memory; one that is not, and
// whose address never leaves the attempt, can be kept in registers by the compiler, the
// emitter's write position included (see emit.hpp). So everything here is inlined into
// `attempt_kyoku`, and nothing hands the attempt or its emitter copy to an outside function.
#include <algorithm>

#include "tessmar/drive/kyoku.hpp"

namespace tessmar::drive {
namespace {

// On equal rank the higher seat wins.
int call_rank(ActKind kind) {
    switch (kind) {
        case ActKind::Pon: return 1;
        case ActKind::Chi: return 0;
        default: return -1;  // daiminkan
    }
}

/** Each seat's columns and how far the attempt has read them. */
struct SeatCursors {
    std::array<const Act*, 4> takes;
    std::array<std::size_t, 4> take_size;
    std::array<const Act*, 4> discards;
    std::array<std::size_t, 4> discard_size;
    std::array<std::size_t, 4> take_pos{};
    std::array<std::size_t, 4> discard_pos{};

    explicit SeatCursors(const KyokuActs& acts) {
        for (std::size_t s = 0; s < 4; ++s) {
            takes[s] = acts.seats[s].takes;
            take_size[s] = acts.seats[s].takes_size;
            discards[s] = acts.seats[s].discards;
            discard_size[s] = acts.seats[s].discards_size;
        }
    }
};

/** One attempt at a kyoku: the scalar working state of the turn loop. */
class KyokuAttempt {
public:
    KyokuAttempt(const GameColumns& game, const KyokuColumns& kyoku, const KyokuActs& acts, SeatCursors& seats,
                 CallChoices& choices, const emit::Emitter& out)
        : kyoku_(kyoku), acts_(acts), seats_(seats), choices_(choices), out_(out), dora_(game.dora(kyoku)) {
        for (Seat s = 0; s < 4; ++s) {
            takes_left_ += seats.take_size[s];
            set_call_next(s, seats.takes[s][0]);
        }
    }

    // Plays up to the kyoku's closing events; false on failure, with `error()` telling why.
    [[gnu::always_inline]] bool run() {
        if (dora_.empty()) {
            fail_seat_ = -1;
            fail_kind_ = ConversionErrorKind::DoraIndicatorsExhausted;
            return false;
        }
        feed_pos_ = 1;
        start_kyoku();
        actor_ = static_cast<Seat>(kyoku_.kyoku % 4);
        for (;;) {
            if (!take_step()) return false;
            bool ended = false;
            if (!discard_step(ended)) return false;
            if (ended) return true;
        }
    }

    ConversionError error() const { return ConversionError{fail_kind_, {}, fail_seat_, -1, fail_call_}; }
    const emit::Emitter& emitter() const { return out_; }

private:
    // Every step returns false after calling this.
    bool fail(ConversionErrorKind kind) {
        fail_kind_ = kind;
        fail_seat_ = actor_;
        return false;
    }

    // An InvalidCall, with the call and the discard it contradicts.
    [[gnu::cold]] void fail_call(const Act& take) {
        const char kind = take.kind == ActKind::Chi ? 'c' : take.kind == ActKind::Pon ? 'p' : 'm';
        fail_call_ = CallClash{kind, take.pai.index, take.target, last_tile_.index, discard_seen_ ? last_discarder_ : -1};
        fail(ConversionErrorKind::InvalidCall);
    }

    void start_kyoku() {
        const std::uint8_t k = kyoku_.kyoku;
        out_.start_kyoku(Tile{static_cast<std::uint8_t>(27 + std::min(k / 4, 3))}, dora_.front(),
                         static_cast<std::uint8_t>(k % 4 + 1), kyoku_.honba, kyoku_.kyotaku, static_cast<Seat>(k % 4),
                         kyoku_.scores, kyoku_.haipai);
    }

    bool emit_dora() {
        if (feed_pos_ >= dora_.size()) return fail(ConversionErrorKind::DoraIndicatorsExhausted);
        out_.dora(dora_[feed_pos_++]);
        return true;
    }

    // Records `next`, the next take of `seat` (past the last take stands a tsumo, see
    // SeatActs::takes): its lane of `call_keys_` is (target, tile) for a call, else no key.
    void set_call_next(Seat seat, const Act& next) {
        const std::uint64_t key = next.is_call() ? call_key(next.target, next.pai) : kNoCall;
        const unsigned shift = 16 * seat;
        call_keys_ = (call_keys_ & ~(std::uint64_t{0xFFFF} << shift)) | (key << shift);
    }
    static std::uint64_t call_key(Seat target, Tile pai) { return std::uint64_t{target} << 8 | pai.index; }
    static constexpr std::uint64_t kNoCall = 0xFFFF;  // no (seat, tile) key

    // Reads the actor's next take; a call must claim the last discard of another seat.
    const Act* next_take() {
        std::size_t& pos = seats_.take_pos[actor_];
        if (pos >= seats_.take_size[actor_]) {
            fail(ConversionErrorKind::MissingTake);
            return nullptr;
        }
        const Act* take = &seats_.takes[actor_][pos++];
        --takes_left_;
        // The actor's lane holds a key exactly while its next take is a call: it changes only
        // when this take or the next one is a call.
        if (take->is_call() || take[1].is_call()) [[unlikely]] {
            set_call_next(actor_, take[1]);
            if (take->is_call() && (take->pai != last_tile_ || (discard_seen_ && (take->target != last_discarder_ ||
                                                                                  last_discarder_ == actor_)))) {
                fail_call(*take);
                return nullptr;
            }
        }
        return take;
    }

    [[gnu::always_inline]] void emit_call(const Act& a) {
        const auto& c = a.consumed;
        switch (a.kind) {
            case ActKind::Chi: out_.chi(actor_, a.target, a.pai, c[0], c[1]); break;
            case ActKind::Pon: out_.pon(actor_, a.target, a.pai, c[0], c[1]); break;
            default: out_.daiminkan(actor_, a.target, a.pai, c[0], c[1], c[2]); break;
        }
    }

    // A tsumo, with the dora of an earlier kakan revealed before it when one is owed there.
    bool emit_tsumo(const Act& take) {
        if (dora_due_at_tsumo_ && !emit_dora()) return false;
        dora_due_at_tsumo_ = false;
        out_.tsumo(actor_, take.pai);
        return true;
    }

    bool take_step() {
        const Act* take = next_take();
        if (!take) return false;
        if (take->kind == ActKind::Tsumo && !(reach_pending_ | kan_dora_pending_ | dora_due_at_tsumo_)) [[likely]] {
            // The usual draw (no riichi to accept, no kan dora owed): the steps below, with what
            // they skip for it.
            dora_due_at_discard_ = false;
            out_.tsumo(actor_, take->pai);
            return true;
        }
        if (reach_pending_) out_.reach_accepted(last_discarder_);
        if (take->kind == ActKind::Tsumo) {
            dora_due_at_discard_ = kan_dora_pending_;
            return emit_tsumo(*take);
        }
        if (take->kind != ActKind::Daiminkan) {  // chi or pon
            dora_due_at_discard_ = kan_dora_pending_;
            emit_call(*take);
            return true;
        }
        if (kan_dora_pending_ && !emit_dora()) return false;
        emit_call(*take);
        // The replacement draw follows at once; a further daiminkan reveals the previous kan's dora.
        for (;;) {
            const Act* next = next_take();
            if (!next) return false;
            if (next->kind == ActKind::Daiminkan) {
                if (!emit_dora()) return false;
                emit_call(*next);
                continue;
            }
            dora_due_at_discard_ = true;
            if (next->kind == ActKind::Tsumo) return emit_tsumo(*next);
            emit_call(*next);
            return true;
        }
    }

    // Sets `ended` when the kyoku has ended.
    bool discard_step(bool& ended) {
        std::size_t& pos = seats_.discard_pos[actor_];
        if (pos >= seats_.discard_size[actor_]) {  // won on the draw, or a draw declared on it
            ended = true;
            return true;
        }
        const Act& d = seats_.discards[actor_][pos++];
        if (d.kind == ActKind::Dahai && !dora_due_at_discard_) [[likely]] {
            // The usual discard (no kan dora owed): the steps below, with what they skip for it.
            last_tile_ = d.pai;
            kan_dora_pending_ = false;
            out_.dahai(actor_, d.pai, d.tsumogiri);
            reach_pending_ = false;
            if (takes_left_ == 0) {
                ended = true;
                return true;
            }
            pass_turn();
            return true;
        }
        const bool is_dahai = d.kind == ActKind::Dahai;
        const bool is_kakan = d.kind == ActKind::Kakan;
        const bool is_ankan = d.kind == ActKind::Ankan;
        // A riichi's dahai counts as the last discard at once: nothing between its reach and its
        // dahai reads it.
        if (d.throws()) last_tile_ = d.pai;

        if (dora_due_at_discard_) {
            if (is_dahai || is_ankan) {
                if (!emit_dora()) return false;
                kan_dora_pending_ = false;
            } else if (is_kakan) {
                dora_due_at_tsumo_ = true;
                kan_dora_pending_ = true;
            } else {
                kan_dora_pending_ = true;  // a riichi: owed to the next turn
            }
        } else {
            kan_dora_pending_ = false;
        }

        const auto& c = d.consumed;
        switch (d.kind) {
            case ActKind::Dahai: out_.dahai(actor_, d.pai, d.tsumogiri); break;
            case ActKind::Kakan: out_.kakan(actor_, d.pai, c[0], c[1], c[2]); break;
            case ActKind::Ankan: out_.ankan(actor_, c[0], c[1], c[2], c[3]); break;
            default:
                // A riichi: its reach and its dahai, always together (see MissingDiscardAfterReach).
                out_.reach(actor_);
                out_.dahai(actor_, d.pai, d.tsumogiri);
                break;
        }
        reach_pending_ = d.kind == ActKind::Reach;

        // Nobody takes again: a win on this discard or kan, or a draw. Checked before the kan
        // handling, so a kan won on reveals no dora.
        if (takes_left_ == 0) {
            ended = true;
            return true;
        }

        if (is_kakan) {
            kan_dora_pending_ = true;
        } else if (is_ankan) {
            if (!emit_dora()) return false;
        } else {
            pass_turn();
        }
        return true;
    }

    // After a dahai: the next seat to take.
    void pass_turn() {
        Seat next = choose_next_seat();
        last_discarder_ = actor_;
        discard_seen_ = true;
        actor_ = next;
    }

    Seat choose_next_seat() {
        Seat right = static_cast<Seat>((actor_ + 1) % 4);
        // Only a seat whose next take calls this tile from this seat can claim the discard: usually
        // none. Whether any lane of `call_keys_` is that key is found without a branch per seat
        // (a lane equal to it is a zero lane of `x`; a seat never calls its own discard).
        constexpr std::uint64_t kLanes = 0x0001'0001'0001'0001;
        const std::uint64_t x = call_keys_ ^ (call_key(actor_, last_tile_) * kLanes);
        if ((((x - kLanes) & ~x) & (kLanes << 15)) == 0) [[likely]]
            return right;
        int best = -1;
        int best_rank = -2;
        for (Seat s = 0; s < 4; ++s) {
            const Act& call = seats_.takes[s][seats_.take_pos[s]];
            if (s != actor_ && call.is_call() && call.target == actor_ && call.pai == last_tile_) {
                // On equal rank the higher seat wins.
                int rank = call_rank(call.kind);
                if (rank >= best_rank) {
                    best = s;
                    best_rank = rank;
                }
            }
        }
        if (best < 0) return right;
        // The call may belong to a later discard of the same tile by this seat.
        const std::size_t pos = seats_.discard_pos[actor_];
        bool ambiguous = pos < seats_.discard_size[actor_] && acts_.throws_later(actor_, last_tile_, pos);
        if (!ambiguous || resolve_ambiguous_call(choices_, last_tile_)) return static_cast<Seat>(best);
        return right;
    }

    const KyokuColumns& kyoku_;
    const KyokuActs& acts_;
    SeatCursors& seats_;
    CallChoices& choices_;
    // A copy of the caller's emitter, so that its position stays in registers (see emit.hpp).
    emit::Emitter out_;
    const std::span<const Tile> dora_;

    std::size_t takes_left_ = 0;   // takes of all seats not yet read
    // Lane s (16 bits): the (target, tile) key of the next take of seat s if it is a call.
    std::uint64_t call_keys_ = 0;
    std::size_t feed_pos_ = 1;     // next indicator of the kyoku's list to reveal
    Seat actor_ = 0;
    Tile last_tile_ = kUnknownTile;
    Seat last_discarder_ = 0;
    bool discard_seen_ = false;
    bool reach_pending_ = false;
    bool kan_dora_pending_ = false;
    bool dora_due_at_discard_ = false;
    bool dora_due_at_tsumo_ = false;
    ConversionErrorKind fail_kind_{};
    int fail_seat_ = -1;
    CallClash fail_call_{};
};

}  // namespace

std::expected<void, ConversionError> attempt_kyoku(const GameColumns& game, const KyokuColumns& kyoku,
                                                   const KyokuActs& acts, CallChoices& choices, emit::Emitter& out) {
    SeatCursors seats(acts);
    KyokuAttempt attempt(game, kyoku, acts, seats, choices, out);
    const bool ok = attempt.run();
    out = attempt.emitter();
    if (!ok) return std::unexpected(attempt.error());
    finish_kyoku(game, kyoku, out);
    return {};
}

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
