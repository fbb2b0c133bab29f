#include "tessmar/pipeline.hpp"

#include "tessmar/conv/convert.hpp"
#include "tessmar/mjai/writer.hpp"
#include "tessmar/tenhou/game.hpp"
#include "tessmar/tenhou/raw_log.hpp"

namespace tessmar {
namespace {

bool is_ascii(std::string_view text) {
    unsigned char any = 0;
    for (char c : text) any |= static_cast<unsigned char>(c);
    return any < 0x80;
}

// The events whose text depends only on a few small fields, numbered by those fields.
std::uint16_t repeat_key(const Event& event) {
    using namespace mjai;
    constexpr unsigned kTiles = kTileCount;
    auto seat_tile = [](Seat actor, Tile pai) { return actor < 4 ? actor * kTiles + pai.index : 0u; };
    unsigned key = 0;
    if (auto* e = std::get_if<Tsumo>(&event)) {
        if (e->actor < 4) key = 1 + seat_tile(e->actor, e->pai);                     // 1 .. 152
    } else if (auto* e = std::get_if<Dahai>(&event)) {
        if (e->actor < 4) key = 153 + 2 * seat_tile(e->actor, e->pai) + e->tsumogiri;  // 153 .. 456
    } else if (auto* e = std::get_if<Dora>(&event)) {
        key = 457 + e->dora_marker.index;                                          // 457 .. 494
    } else if (auto* e = std::get_if<Reach>(&event)) {
        if (e->actor < 4) key = 495 + e->actor;                                    // 495 .. 498
    } else if (auto* e = std::get_if<ReachAccepted>(&event)) {
        if (e->actor < 4) key = 499 + e->actor;                                    // 499 .. 502
    } else if (std::holds_alternative<EndKyoku>(event)) {
        key = 503;
    }
    static_assert(503 < EventTexts::kRepeatKeys);
    return static_cast<std::uint16_t>(key);
}

// Writes each finished kyoku's events straight into the shared text buffer.
struct TextWriter final : EventSink {
    EventTexts& texts;
    explicit TextWriter(EventTexts& t) : texts(t) {}
    void take(std::span<const Event> events) override {
        for (const Event& event : events) {
            if (auto* start = std::get_if<mjai::StartGame>(&event))
                for (const std::string& name : start->names) texts.ascii = texts.ascii && is_ascii(name);
            mjai::append_event_json(texts.buffer, event);
            texts.ends.push_back(texts.buffer.size());
            texts.buffer.push_back('\n');
            texts.repeat_keys.push_back(repeat_key(event));
        }
    }
};

// Real games average under 60 bytes of text per event.
constexpr std::size_t kBytesPerEvent = 64;

// About one event per column entry, plus a kyoku's opening and closing events and the game's two.
std::size_t expected_event_count(const Game& game) {
    std::size_t events = 2;
    for (const Kyoku& kyoku : game.kyokus) events += 8 + entry_count(kyoku);
    return events;
}

}  // namespace

std::expected<EventTexts, PipelineError> convert_log_texts(std::string_view text) {
    auto raw = parse_raw_log(text);
    if (!raw) return std::unexpected(PipelineError{Stage::Parse, raw.error().message});
    auto game = build_game(std::move(*raw));
    if (!game) return std::unexpected(PipelineError{Stage::Model, {}});
    EventTexts texts;
    // Sized from what will be converted, not from the text, which may be mostly skipped values.
    const std::size_t events = expected_event_count(*game);
    texts.buffer.reserve(events * kBytesPerEvent);
    texts.ends.reserve(events);
    texts.repeat_keys.reserve(events);
    TextWriter writer(texts);
    // The writer cannot fail: every event of the converter has a JSON form.
    if (auto ok = convert_game_to(*game, writer); !ok)
        return std::unexpected(PipelineError{Stage::Convert, ok.error().text});
    return texts;
}

std::expected<std::vector<std::string>, PipelineError> convert_log(std::string_view text) {
    auto texts = convert_log_texts(text);
    if (!texts) return std::unexpected(std::move(texts.error()));
    std::vector<std::string> out;
    out.reserve(texts->size());
    for (std::size_t i = 0; i < texts->size(); ++i) out.emplace_back((*texts)[i]);
    return out;
}

}  // namespace tessmar
