// The game loop: budgets, the reservation of the output, and each kyoku's attempts and retries.
#include "tessmar/drive/drive.hpp"

#include <algorithm>
#include <set>

#include "tessmar/drive/act.hpp"
#include "tessmar/drive/choices.hpp"
#include "tessmar/drive/kyoku.hpp"
#include "tessmar/emit/emit.hpp"

namespace tessmar {
namespace {

using drive::CallChoices;

// A failed kyoku is never tried more often than this, even when its states never repeat.
constexpr std::size_t kMaxAttempts = 10'000;

// Failed attempts replay their kyoku from the start, and a contrived log can make the
// number of attempts grow exponentially with its ambiguous calls. The events that failed
// attempts may produce in one conversion are therefore bounded by the log's size (with a
// floor far above any real game), which keeps the conversion linear in its input.
constexpr std::size_t kMinRetryWork = 1'000'000;
constexpr std::size_t kRetryWorkPerEntry = 16;

// Every hora of a kyoku carries the kyoku's whole ura list, so a result with many wins and a
// long ura list would make the output grow with their product. The ura markers that one
// conversion copies into hora events are bounded by the log's size (with a floor far above
// any real game: three wins with five indicators each).
constexpr std::size_t kMinUraCopies = 1'000'000;
constexpr std::size_t kUraCopiesPerItem = 16;

std::size_t ura_copy_budget(const GameColumns& game) {
    std::size_t items = 0;
    for (const KyokuColumns& kyoku : game.kyokus) {
        items += kyoku.ura.size();
        if (!kyoku.is_draw) items += kyoku.wins.size();
    }
    return kMinUraCopies + kUraCopiesPerItem * items;
}

// The ura markers the closing hora events of a kyoku hold together.
std::size_t ura_copies(const KyokuColumns& kyoku) { return kyoku.is_draw ? 0 : kyoku.wins.size() * kyoku.ura.size(); }

// Real games average under 60 bytes of text per event.
constexpr std::size_t kBytesPerEvent = 64;

// Converts one kyoku into `out`, retrying attempts as the recorded call choices direct.
// A failed attempt leaves nothing in `out`; the events it emitted are taken from `retry_work`.
std::expected<void, ConversionError> convert_kyoku(const GameColumns& game, const KyokuColumns& kyoku,
                                                   drive::KyokuActs& acts, emit::Emitter& out,
                                                   std::size_t& retry_work) {
    if (auto ok = drive::decode_kyoku(game, kyoku, acts); !ok) return ok;
    CallChoices choices;
    // Attempts are deterministic given the choices they start with: a repeated start repeats for
    // ever. The starts are only recorded once a retry is due (the first start: no choice made).
    std::set<CallChoices::Slots> starts;
    const emit::Emitter::Mark mark = out.mark();
    for (std::size_t attempt = 1;; ++attempt) {
        auto ok = drive::attempt_kyoku(game, kyoku, acts, choices, out);
        if (ok) return {};
        const std::size_t spent = out.events_since(mark) + 1;
        out.rewind(mark);
        if (!drive::should_retry_kyoku(choices)) return ok;
        const bool over_budget = spent >= retry_work;
        retry_work = over_budget ? 0 : retry_work - spent;
        if (attempt == 1) starts.insert(CallChoices::Slots{});
        if (starts.contains(choices.slots) || attempt >= kMaxAttempts || over_budget) {
            // A kyoku given up on is no one seat's fault, whichever seat its last attempt stopped at.
            return std::unexpected(ConversionError{ConversionErrorKind::RetryLimit, {}});
        }
        starts.insert(choices.slots);
    }
}

}  // namespace

std::expected<void, ConversionError> convert_columns(const GameColumns& game, EventTexts& out) {
    std::size_t entries = 0;
    std::size_t largest = 0;  // entries of the largest kyoku
    for (const KyokuColumns& kyoku : game.kyokus) {
        const std::size_t n = GameColumns::entry_count(kyoku);
        entries += n;
        largest = std::max(largest, n);
    }

    emit::Emitter emitter(out);
    // About one event per column entry, plus a kyoku's opening and closing events and the game's two.
    const std::size_t events = 2 + 8 * game.kyokus.size() + entries;
    emitter.reserve(events, events * kBytesPerEvent);

    emitter.start_game(game.names, game.kyoku_first, game.aka_flag);
    std::size_t retry_work = kMinRetryWork + kRetryWorkPerEntry * entries;
    std::size_t ura_copies_left = ura_copy_budget(game);
    drive::KyokuActs acts;  // reused by every kyoku
    acts.store.resize(drive::store_size(largest));
    for (std::size_t k = 0; k < game.kyokus.size(); ++k) {
        const KyokuColumns& kyoku = game.kyokus[k];
        const std::size_t copies = ura_copies(kyoku);
        if (copies > ura_copies_left) {
            emitter.finish();
            return std::unexpected(ConversionError{ConversionErrorKind::OutputLimit, {}, -1, static_cast<int>(k)});
        }
        ura_copies_left -= copies;
        if (auto ok = convert_kyoku(game, kyoku, acts, emitter, retry_work); !ok) {
            emitter.finish();
            ok.error().kyoku = static_cast<int>(k);
            return ok;
        }
    }
    emitter.end_game();
    emitter.finish();
    return {};
}

}  // namespace tessmar
