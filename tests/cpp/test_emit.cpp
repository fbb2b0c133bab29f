#include <gtest/gtest.h>

#include <functional>
#include <map>

#include "tessmar/emit/emit.hpp"

using namespace tessmar;

namespace {

Tile t(unsigned code) { return *tile_from_code(static_cast<std::uint8_t>(code)); }

// The texts that `write` emits, each checked to end in exactly one line feed.
std::vector<std::string> emitted(const std::function<void(emit::Emitter&)>& write, EventTexts* keep = nullptr) {
    EventTexts texts;
    emit::Emitter out(texts);
    write(out);
    out.finish();
    std::vector<std::string> result;
    for (std::size_t i = 0; i < texts.size(); ++i) {
        EXPECT_EQ(texts.buffer[texts.ends[i]], '\n');
        result.emplace_back(texts[i]);
    }
    EXPECT_EQ(texts.ends.empty() ? 0 : texts.ends.back() + 1, texts.buffer.size());
    if (keep) *keep = std::move(texts);
    return result;
}

std::string one(const std::function<void(emit::Emitter&)>& write) {
    auto texts = emitted(write);
    EXPECT_EQ(texts.size(), 1u);
    return texts.empty() ? "" : texts[0];
}

}  // namespace

TEST(Emit, EveryEventTypeInKeyOrder) {
    std::array<std::array<Tile, 13>, 4> tehais{};
    for (std::size_t s = 0; s < 4; ++s)
        for (std::size_t i = 0; i < 13; ++i)
            tehais[s][i] = Tile{static_cast<std::uint8_t>(std::min<std::size_t>(s * 9 + i, 37))};
    const std::pair<std::function<void(emit::Emitter&)>, std::string> cases[] = {
        {[](auto& e) { e.start_game({"A", "B", "C", "D"}, 0, true); },
         R"({"type":"start_game","names":["A","B","C","D"],"kyoku_first":0,"aka_flag":true})"},
        {[&](auto& e) { e.start_kyoku(t(42), t(52), 2, 1, 3, 1, {25000, -1200, 0, 2147483647}, tehais); },
         R"({"type":"start_kyoku","bakaze":"S","dora_marker":"5pr","kyoku":2,"honba":1,"kyotaku":3,"oya":1,)"
         R"("scores":[25000,-1200,0,2147483647],"tehais":[)"
         R"(["1m","2m","3m","4m","5m","6m","7m","8m","9m","1p","2p","3p","4p"],)"
         R"(["1p","2p","3p","4p","5p","6p","7p","8p","9p","1s","2s","3s","4s"],)"
         R"(["1s","2s","3s","4s","5s","6s","7s","8s","9s","E","S","W","N"],)"
         R"(["E","S","W","N","P","F","C","5mr","5pr","5sr","?","?","?"]]})"},
        {[](auto& e) { e.tsumo(3, kUnknownTile); }, R"({"type":"tsumo","actor":3,"pai":"?"})"},
        {[](auto& e) { e.dahai(0, t(51), false); }, R"({"type":"dahai","actor":0,"pai":"5mr","tsumogiri":false})"},
        {[](auto& e) { e.dahai(2, t(11), true); }, R"({"type":"dahai","actor":2,"pai":"1m","tsumogiri":true})"},
        {[](auto& e) { e.chi(1, 0, t(23), t(24), t(25)); },
         R"({"type":"chi","actor":1,"target":0,"pai":"3p","consumed":["4p","5p"]})"},
        {[](auto& e) { e.pon(2, 1, t(15), t(15), t(51)); },
         R"({"type":"pon","actor":2,"target":1,"pai":"5m","consumed":["5m","5mr"]})"},
        {[](auto& e) { e.daiminkan(3, 0, t(39), t(39), t(39), t(39)); },
         R"({"type":"daiminkan","actor":3,"target":0,"pai":"9s","consumed":["9s","9s","9s"]})"},
        {[](auto& e) { e.kakan(0, t(25), t(25), t(25), t(52)); },
         R"({"type":"kakan","actor":0,"pai":"5p","consumed":["5p","5p","5pr"]})"},
        {[](auto& e) { e.ankan(0, t(38), t(38), t(38), t(38)); },
         R"({"type":"ankan","actor":0,"consumed":["8s","8s","8s","8s"]})"},
        {[](auto& e) { e.dora(t(45)); }, R"({"type":"dora","dora_marker":"P"})"},
        {[](auto& e) { e.reach(2); }, R"({"type":"reach","actor":2})"},
        {[](auto& e) { e.reach_accepted(3); }, R"({"type":"reach_accepted","actor":3})"},
        {[](auto& e) {
             const Tile ura[] = {t(46), t(47)};
             e.hora(1, 2, {-8000, 9000, 0, 0}, ura);
         },
         R"({"type":"hora","actor":1,"target":2,"deltas":[-8000,9000,0,0],"ura_markers":["F","C"]})"},
        {[](auto& e) { e.hora(3, 3, {0, 0, 0, 0}, {}); },
         R"({"type":"hora","actor":3,"target":3,"deltas":[0,0,0,0],"ura_markers":[]})"},
        {[](auto& e) { e.ryukyoku({0, 0, 0, 0}); }, R"({"type":"ryukyoku","deltas":[0,0,0,0]})"},
        {[](auto& e) { e.end_kyoku(); }, R"({"type":"end_kyoku"})"},
        {[](auto& e) { e.end_game(); }, R"({"type":"end_game"})"},
    };
    for (const auto& [write, text] : cases) EXPECT_EQ(one(write), text);
}

TEST(Emit, IntegersAtTheirLimits) {
    EXPECT_EQ(one([](auto& e) { e.ryukyoku({-2147483647 - 1, 2147483647, -10, 100}); }),
              R"({"type":"ryukyoku","deltas":[-2147483648,2147483647,-10,100]})");
    EXPECT_EQ(one([](auto& e) { e.start_game({"", "", "", ""}, 255, false); }),
              R"({"type":"start_game","names":["","","",""],"kyoku_first":255,"aka_flag":false})");
    // A win's seats pass through as the log gives them.
    EXPECT_EQ(one([](auto& e) { e.hora(9, 255, {1, 2, 3, 4}, {}); }),
              R"({"type":"hora","actor":9,"target":255,"deltas":[1,2,3,4],"ura_markers":[]})");
}

TEST(Emit, NamesAreEscapedExactly) {
    EventTexts texts;
    EXPECT_EQ(emitted([](auto& e) { e.start_game({"a\"b\\c\td", std::string("\x01" "e\x1f\b\f\n\r/\x7f", 9),
                                                   std::string("\0x", 2), "鬼ヅモ@川村軍団"},
                                                  4, true); },
                      &texts)[0],
              R"({"type":"start_game","names":["a\"b\\c\td","\u0001e\u001f\b\f\n\r/)" "\x7f"
              R"(","\u0000x","鬼ヅモ@川村軍団"],"kyoku_first":4,"aka_flag":true})");
    EXPECT_FALSE(texts.ascii);
    emitted([](auto& e) { e.start_game({"A", "B", "C", "D"}, 0, false); }, &texts);
    EXPECT_TRUE(texts.ascii);
}

// Equal texts of the frequent events share a repeat key, and only equal texts do; each key's
// text is what repeat_text gives for it, which a consumer may build once for every call.
TEST(Emit, RepeatKeysNameEqualTexts) {
    EventTexts texts;
    emitted(
        [](auto& e) {
            for (int round = 0; round < 2; ++round)
                for (emit::Seat s = 0; s < 4; ++s)
                    for (std::uint8_t i = 0; i < kTileCount; ++i) {
                        e.tsumo(s, Tile{i});
                        e.dahai(s, Tile{i}, false);
                        e.dahai(s, Tile{i}, true);
                        e.dora(Tile{i});
                        e.reach(s);
                        e.reach_accepted(s);
                        e.end_kyoku();
                    }
            e.chi(1, 0, t(23), t(24), t(25));
            e.ryukyoku({0, 0, 0, 0});
        },
        &texts);
    std::map<std::uint16_t, std::string> by_key;
    std::map<std::string, std::uint16_t> by_text;
    for (std::size_t i = 0; i < texts.size(); ++i) {
        const std::uint16_t key = texts.repeat_keys[i];
        ASSERT_LT(key, EventTexts::kRepeatKeys);
        if (key == 0) continue;
        EXPECT_EQ(texts[i], emit::repeat_text(key)) << key;
        auto [at, fresh] = by_key.emplace(key, std::string(texts[i]));
        EXPECT_TRUE(fresh || at->second == texts[i]) << key;
        auto [text_at, new_text] = by_text.emplace(std::string(texts[i]), key);
        EXPECT_TRUE(new_text || text_at->second == key) << texts[i];
    }
    EXPECT_EQ(by_key.size(), 4u * 38 * 3 + 38 + 4 + 4 + 1);
    // Every number that names a text is used, and no other number has one.
    EXPECT_EQ(by_key.size(), emit::kRepeatTextCount - 1);
    for (std::uint16_t key = 0; key < EventTexts::kRepeatKeys; ++key)
        EXPECT_EQ(emit::repeat_text(key).empty(), !by_key.contains(key)) << key;
    EXPECT_EQ(texts.repeat_keys[texts.size() - 1], 0);
    EXPECT_EQ(texts.repeat_keys[texts.size() - 2], 0);
}

// A mark taken before some texts drops exactly them; texts written after a rewind follow on.
TEST(Emit, RewindDropsWhatFollowsTheMark) {
    EventTexts texts;
    auto result = emitted(
        [](auto& e) {
            e.reach(0);
            auto mark = e.mark();
            for (int i = 0; i < 10000; ++i) e.ryukyoku({i, 0, 0, 0});  // enough to grow the buffer
            EXPECT_EQ(e.events_since(mark), 10000u);
            e.rewind(mark);
            e.end_game();
        },
        &texts);
    EXPECT_EQ(result, (std::vector<std::string>{R"({"type":"reach","actor":0})", R"({"type":"end_game"})"}));
    EXPECT_EQ(texts.lines(), "{\"type\":\"reach\",\"actor\":0}\n{\"type\":\"end_game\"}\n");
}
