#include <algorithm>
#include <array>
#include <set>

#include "tessmar/conv/convert.hpp"

namespace tessmar {
namespace {

using namespace tessmar::mjai;

// A failed kyoku is never tried more often than this, even when its states never repeat.
constexpr std::size_t kMaxAttempts = 10'000;

std::unexpected<ConversionError> fail(ConversionErrorKind kind, int seat = -1) {
    return std::unexpected(ConversionError{kind, {}, seat});
}

// The called tile and discarder of a chi, pon or daiminkan; nothing for other takes.
struct CallInfo {
    Tile pai;
    Seat target;
    int rank;  // pon 1, chi 0, daiminkan -1
};

std::optional<CallInfo> call_info(const Event& take) {
    if (auto* e = std::get_if<Pon>(&take)) return CallInfo{e->pai, e->target, 1};
    if (auto* e = std::get_if<Chi>(&take)) return CallInfo{e->pai, e->target, 0};
    if (auto* e = std::get_if<Daiminkan>(&take)) return CallInfo{e->pai, e->target, -1};
    return std::nullopt;
}

using TileCounts = std::array<std::int32_t, kTileCount>;

/** One attempt at a kyoku: the working state of the turn loop. Appends to `out`. */
class KyokuAttempt {
public:
    KyokuAttempt(const Kyoku& kyoku, const std::array<SeatActions, 4>& seats, CallChoices& choices,
                 std::vector<Event>& out)
        : kyoku_(kyoku), seats_(seats), choices_(choices), out_(out) {}

    std::expected<void, ConversionError> run() {
        if (kyoku_.dora_indicators.empty()) return fail(ConversionErrorKind::DoraIndicatorsExhausted);
        feed_pos_ = 1;
        start_kyoku();
        for (std::size_t s = 0; s < 4; ++s) {
            remaining_[s].fill(0);
            for (const Event& d : seats_[s].discards)
                if (auto* dahai = std::get_if<Dahai>(&d)) ++remaining_[s][dahai->pai.index];
        }
        actor_ = kyoku_.kyoku % 4;
        for (;;) {
            if (auto ok = take_step(); !ok) return ok;
            auto ended = discard_step();
            if (!ended) return std::unexpected(std::move(ended.error()));
            if (*ended) {
                finish_kyoku(out_, kyoku_);
                return {};
            }
        }
    }

private:
    void start_kyoku() {
        StartKyoku e;
        e.bakaze = Tile{static_cast<std::uint8_t>(27 + std::min(kyoku_.kyoku / 4, 3))};
        e.dora_marker = kyoku_.dora_indicators.front();
        e.kyoku = static_cast<std::uint8_t>(kyoku_.kyoku % 4 + 1);
        e.honba = kyoku_.honba;
        e.kyotaku = kyoku_.kyotaku;
        e.oya = static_cast<Seat>(kyoku_.kyoku % 4);
        e.scores = kyoku_.scores;
        for (std::size_t s = 0; s < 4; ++s) e.tehais[s] = kyoku_.seats[s].haipai;
        out_.push_back(std::move(e));
    }

    std::expected<void, ConversionError> emit_dora() {
        if (feed_pos_ >= kyoku_.dora_indicators.size())
            return fail(ConversionErrorKind::DoraIndicatorsExhausted, actor_);
        out_.push_back(Dora{kyoku_.dora_indicators[feed_pos_++]});
        return {};
    }

    // Reads the actor's next take; a call must claim the last discard of another seat.
    std::expected<const Event*, ConversionError> next_take() {
        const auto& takes = seats_[actor_].takes;
        if (take_pos_[actor_] >= takes.size()) return fail(ConversionErrorKind::MissingTake, actor_);
        const Event& take = takes[take_pos_[actor_]++];
        if (auto call = call_info(take)) {
            if (call->pai != last_tile_ ||
                (discard_seen_ && (call->target != last_discarder_ || last_discarder_ == actor_)))
                return fail(ConversionErrorKind::InvalidCall, actor_);
        }
        return &take;
    }

    // A tsumo, with the dora of an earlier kakan revealed before it when one is owed there.
    std::expected<void, ConversionError> emit_tsumo(const Event& take) {
        if (dora_due_at_tsumo_) {
            if (auto ok = emit_dora(); !ok) return ok;
        }
        dora_due_at_tsumo_ = false;
        out_.push_back(take);
        return {};
    }

    std::expected<void, ConversionError> take_step() {
        auto take = next_take();
        if (!take) return std::unexpected(std::move(take.error()));
        if (reach_pending_) out_.push_back(ReachAccepted{last_discarder_});
        const Event& t = **take;
        if (std::holds_alternative<Tsumo>(t)) {
            dora_due_at_discard_ = kan_dora_pending_;
            return emit_tsumo(t);
        }
        if (!std::holds_alternative<Daiminkan>(t)) {  // chi or pon
            dora_due_at_discard_ = kan_dora_pending_;
            out_.push_back(t);
            return {};
        }
        if (kan_dora_pending_) {
            if (auto ok = emit_dora(); !ok) return ok;
        }
        out_.push_back(t);
        // The replacement draw follows at once; a further daiminkan reveals the previous kan's dora.
        for (;;) {
            auto next = next_take();
            if (!next) return std::unexpected(std::move(next.error()));
            const Event& n = **next;
            if (std::holds_alternative<Daiminkan>(n)) {
                if (auto ok = emit_dora(); !ok) return ok;
                out_.push_back(n);
                continue;
            }
            dora_due_at_discard_ = true;
            if (std::holds_alternative<Tsumo>(n)) return emit_tsumo(n);
            out_.push_back(n);
            return {};
        }
    }

    void note_dahai(const Event& d) {
        if (auto* dahai = std::get_if<Dahai>(&d)) {
            last_tile_ = dahai->pai;
            --remaining_[actor_][dahai->pai.index];
        }
    }

    // Returns true when the kyoku has ended.
    std::expected<bool, ConversionError> discard_step() {
        const auto& discards = seats_[actor_].discards;
        std::size_t& pos = discard_pos_[actor_];
        if (pos >= discards.size()) return true;  // won on the draw, or a draw declared on it
        const Event& d = discards[pos++];
        note_dahai(d);

        bool is_dahai = std::holds_alternative<Dahai>(d);
        bool is_kakan = std::holds_alternative<Kakan>(d);
        bool is_ankan = std::holds_alternative<Ankan>(d);
        if (dora_due_at_discard_) {
            if (is_dahai || is_ankan) {
                if (auto ok = emit_dora(); !ok) return std::unexpected(std::move(ok.error()));
                kan_dora_pending_ = false;
            } else if (is_kakan) {
                dora_due_at_tsumo_ = true;
                kan_dora_pending_ = true;
            } else {
                kan_dora_pending_ = true;  // owed to the next turn
            }
        } else {
            kan_dora_pending_ = false;
        }
        out_.push_back(d);

        if (std::holds_alternative<Reach>(d)) {
            if (pos >= discards.size()) return fail(ConversionErrorKind::MissingDiscardAfterReach, actor_);
            const Event& after = discards[pos++];
            note_dahai(after);
            out_.push_back(after);
            reach_pending_ = true;
        } else {
            reach_pending_ = false;
        }

        // Nobody takes again: a win on this discard or kan, or a draw. Checked before the kan
        // handling, so a kan won on reveals no dora.
        bool exhausted = true;
        for (std::size_t s = 0; s < 4; ++s) exhausted = exhausted && take_pos_[s] >= seats_[s].takes.size();
        if (exhausted) return true;

        if (is_kakan) {
            kan_dora_pending_ = true;
        } else if (is_ankan) {
            if (auto ok = emit_dora(); !ok) return std::unexpected(std::move(ok.error()));
        } else {
            Seat next = choose_next_seat();
            last_discarder_ = actor_;
            discard_seen_ = true;
            actor_ = next;
        }
        return false;
    }

    Seat choose_next_seat() {
        int best = -1;
        int best_rank = -2;
        for (Seat s = 0; s < 4; ++s) {
            if (s == actor_ || take_pos_[s] >= seats_[s].takes.size()) continue;
            auto call = call_info(seats_[s].takes[take_pos_[s]]);
            // On equal rank the higher seat wins.
            if (call && call->target == actor_ && call->pai == last_tile_ && call->rank >= best_rank) {
                best = s;
                best_rank = call->rank;
            }
        }
        Seat right = static_cast<Seat>((actor_ + 1) % 4);
        if (best < 0) return right;
        // The call may belong to a later discard of the same tile by this seat.
        bool ambiguous = discard_pos_[actor_] < seats_[actor_].discards.size() &&
                         remaining_[actor_][last_tile_.index] >= 1;
        if (!ambiguous || resolve_ambiguous_call(choices_, last_tile_)) return static_cast<Seat>(best);
        return right;
    }

    const Kyoku& kyoku_;
    const std::array<SeatActions, 4>& seats_;
    CallChoices& choices_;
    std::vector<Event>& out_;

    std::size_t feed_pos_ = 1;  // next indicator of the kyoku's list to reveal
    std::array<TileCounts, 4> remaining_{};
    std::array<std::size_t, 4> take_pos_{};
    std::array<std::size_t, 4> discard_pos_{};
    Seat actor_ = 0;
    Tile last_tile_ = kUnknownTile;
    Seat last_discarder_ = 0;
    bool discard_seen_ = false;
    bool reach_pending_ = false;
    bool kan_dora_pending_ = false;
    bool dora_due_at_discard_ = false;
    bool dora_due_at_tsumo_ = false;
};

// Converts one kyoku into `out`, retrying attempts as the recorded call choices direct.
// A failed attempt leaves nothing in `out`.
std::expected<void, ConversionError> convert_kyoku(const Kyoku& kyoku, std::vector<Event>& out) {
    std::array<SeatActions, 4> seats;
    for (std::uint8_t s = 0; s < 4; ++s) {
        auto decoded = decode_seat_actions(kyoku, s);
        if (!decoded) return std::unexpected(std::move(decoded.error()));
        seats[s] = std::move(*decoded);
    }
    CallChoices choices;
    // Attempts are deterministic given the choices they start with: a repeated start repeats for ever.
    std::set<std::array<CallChoices::Choice, kTileCount>> starts;
    const std::size_t mark = out.size();
    for (std::size_t attempt = 1;; ++attempt) {
        starts.insert(choices.slots);
        auto ok = KyokuAttempt(kyoku, seats, choices, out).run();
        if (ok) return {};
        out.resize(mark);
        if (!should_retry_kyoku(choices)) return ok;
        if (starts.contains(choices.slots) || attempt >= kMaxAttempts) {
            ok.error().kind = ConversionErrorKind::RetryLimit;
            return ok;
        }
    }
}

}  // namespace

std::expected<void, ConversionError> convert_game_to(const Game& game, EventSink& sink) {
    std::vector<Event> events;
    events.push_back(StartGame{game.names, game.kyoku_first, game.aka_flag});
    sink.take(events);
    for (std::size_t k = 0; k < game.kyokus.size(); ++k) {
        events.clear();
        if (auto ok = convert_kyoku(game.kyokus[k], events); !ok) {
            ok.error().kyoku = static_cast<int>(k);
            return std::unexpected(std::move(ok.error()));
        }
        sink.take(events);
    }
    events.assign(1, EndGame{});
    sink.take(events);
    return {};
}

std::expected<std::vector<Event>, ConversionError> convert_game(const Game& game) {
    struct Collect final : EventSink {
        std::vector<Event> all;
        void take(std::span<const Event> events) override { all.insert(all.end(), events.begin(), events.end()); }
    } collect;
    if (auto ok = convert_game_to(game, collect); !ok) return std::unexpected(std::move(ok.error()));
    return std::move(collect.all);
}

}  // namespace tessmar
