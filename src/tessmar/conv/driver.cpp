#include <algorithm>
#include <array>
#include <set>

#include "tessmar/conv/convert.hpp"

namespace tessmar {
namespace {

using namespace tessmar::mjai;

// A failed kyoku is never tried more often than this, even when its states never repeat.
constexpr std::size_t kMaxAttempts = 10'000;

// Failed attempts replay their kyoku from the start, and a contrived log can make the
// number of attempts grow exponentially with its ambiguous calls. The events that failed
// attempts may produce in one conversion are therefore bounded by the log's size (with a
// floor far above any real game), which keeps the conversion linear in its input.
constexpr std::size_t kMinRetryWork = 1'000'000;
constexpr std::size_t kRetryWorkPerEntry = 16;

std::size_t retry_work_budget(const Game& game) {
    std::size_t entries = 0;
    for (const Kyoku& kyoku : game.kyokus) entries += entry_count(kyoku);
    return kMinRetryWork + kRetryWorkPerEntry * entries;
}

// Every hora of a kyoku carries the kyoku's whole ura list, so a result with many wins and a
// long ura list would make the output grow with their product. The ura markers that one
// conversion copies into hora events are bounded by the log's size (with a floor far above
// any real game: three wins with five indicators each).
constexpr std::size_t kMinUraCopies = 1'000'000;
constexpr std::size_t kUraCopiesPerItem = 16;

std::size_t ura_copy_budget(const Game& game) {
    std::size_t items = 0;
    for (const Kyoku& kyoku : game.kyokus) {
        items += kyoku.ura_indicators.size();
        if (auto* wins = std::get_if<Wins>(&kyoku.result)) items += wins->wins.size();
    }
    return kMinUraCopies + kUraCopiesPerItem * items;
}

// The ura markers the closing hora events of a kyoku hold together.
std::size_t ura_copies(const Kyoku& kyoku) {
    auto* wins = std::get_if<Wins>(&kyoku.result);
    return wins ? wins->wins.size() * kyoku.ura_indicators.size() : 0;
}

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
using SeatTileCounts = std::array<TileCounts, 4>;

// Each seat's dahai per tile, over its whole discard list.
SeatTileCounts count_discards(const std::array<SeatActions, 4>& seats) {
    SeatTileCounts counts{};
    for (std::size_t s = 0; s < 4; ++s)
        for (const Event& d : seats[s].discards)
            if (auto* dahai = std::get_if<Dahai>(&d)) ++counts[s][dahai->pai.index];
    return counts;
}

/** One attempt at a kyoku: the working state of the turn loop. Appends to `out`.
 *  `discard_counts` is `count_discards` of `seats`, made once for all attempts. */
class KyokuAttempt {
public:
    KyokuAttempt(const Kyoku& kyoku, const std::array<SeatActions, 4>& seats, const SeatTileCounts& discard_counts,
                 CallChoices& choices, std::vector<Event>& out)
        : kyoku_(kyoku), seats_(seats), discard_counts_(discard_counts), choices_(choices), out_(out) {}

    std::expected<void, ConversionError> run() {
        if (kyoku_.dora_indicators.empty()) return fail(ConversionErrorKind::DoraIndicatorsExhausted);
        feed_pos_ = 1;
        start_kyoku();
        remaining_ = discard_counts_;
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
    const SeatTileCounts& discard_counts_;
    CallChoices& choices_;
    std::vector<Event>& out_;

    std::size_t feed_pos_ = 1;  // next indicator of the kyoku's list to reveal
    SeatTileCounts remaining_{};
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
// A failed attempt leaves nothing in `out`; what it produced is taken from `retry_work`.
std::expected<void, ConversionError> convert_kyoku(const Kyoku& kyoku, std::vector<Event>& out,
                                                   std::size_t& retry_work) {
    std::array<SeatActions, 4> seats;
    for (std::uint8_t s = 0; s < 4; ++s) {
        auto decoded = decode_seat_actions(kyoku, s);
        if (!decoded) return std::unexpected(std::move(decoded.error()));
        seats[s] = std::move(*decoded);
    }
    // Counted once: an attempt that fails at once must not cost the length of the columns.
    const SeatTileCounts discard_counts = count_discards(seats);
    CallChoices choices;
    // Attempts are deterministic given the choices they start with: a repeated start repeats for ever.
    std::set<std::array<CallChoices::Choice, kTileCount>> starts;
    const std::size_t mark = out.size();
    for (std::size_t attempt = 1;; ++attempt) {
        starts.insert(choices.slots);
        auto ok = KyokuAttempt(kyoku, seats, discard_counts, choices, out).run();
        if (ok) return {};
        const std::size_t spent = out.size() - mark + 1;
        out.resize(mark);
        if (!should_retry_kyoku(choices)) return ok;
        const bool over_budget = spent >= retry_work;
        retry_work = over_budget ? 0 : retry_work - spent;
        if (starts.contains(choices.slots) || attempt >= kMaxAttempts || over_budget) {
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
    std::size_t retry_work = retry_work_budget(game);
    std::size_t ura_copies_left = ura_copy_budget(game);
    for (std::size_t k = 0; k < game.kyokus.size(); ++k) {
        events.clear();
        const std::size_t copies = ura_copies(game.kyokus[k]);
        if (copies > ura_copies_left)
            return std::unexpected(ConversionError{ConversionErrorKind::OutputLimit, {}, -1, static_cast<int>(k)});
        ura_copies_left -= copies;
        if (auto ok = convert_kyoku(game.kyokus[k], events, retry_work); !ok) {
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
