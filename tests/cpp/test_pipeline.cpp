#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <set>

#include "tessmar/emit/emit.hpp"
#include "tessmar/pipeline.hpp"
#include "read_file.hpp"

using namespace tessmar;

namespace {

using tessmar::test::read_file;

std::vector<std::filesystem::path> example_logs() {
    std::vector<std::filesystem::path> paths;
    for (const char* dir : {TESSMAR_EXAMPLES, TESSMAR_SHARED_LOGS})
        if (std::filesystem::is_directory(dir))
            for (const auto& entry : std::filesystem::directory_iterator(dir))
                if (entry.path().extension() == ".json") paths.push_back(entry.path());
    return paths;
}

}  // namespace

TEST(Pipeline, TextBufferIsTheFileContentAndRepeatKeysNameEqualTexts) {
    auto paths = example_logs();
    ASSERT_FALSE(paths.empty());
    for (const auto& path : paths) {
        std::string log = read_file(path);
        auto texts = convert_log_texts(log);
        ASSERT_TRUE(texts) << path;
        auto owned = convert_log(log);
        ASSERT_TRUE(owned) << path;
        ASSERT_EQ(texts->size(), owned->size());
        ASSERT_EQ(texts->repeat_keys.size(), texts->size());
        std::string joined;
        std::map<std::uint16_t, std::string_view> by_key;
        bool ascii = true;
        for (std::size_t i = 0; i < texts->size(); ++i) {
            std::string_view text = (*texts)[i];
            EXPECT_EQ(text, (*owned)[i]);
            joined.append(text).push_back('\n');
            for (char c : text) ascii = ascii && static_cast<unsigned char>(c) < 0x80;
            std::uint16_t key = texts->repeat_keys[i];
            ASSERT_LT(key, EventTexts::kRepeatKeys);
            if (key == 0) continue;
            EXPECT_EQ(text, emit::repeat_text(key)) << path << " key " << key;
            auto [it, fresh] = by_key.emplace(key, text);
            if (!fresh) {
                EXPECT_EQ(it->second, text) << path << " key " << key;
            }
        }
        EXPECT_EQ(texts->lines(), joined) << path;
        EXPECT_EQ(texts->ascii, ascii) << path;
        // Distinct texts never share a key: as many keys as distinct keyed texts.
        std::set<std::string_view> keyed;
        for (std::size_t i = 0; i < texts->size(); ++i)
            if (texts->repeat_keys[i]) keyed.insert((*texts)[i]);
        EXPECT_EQ(keyed.size(), by_key.size()) << path;
    }
}

TEST(Pipeline, EachStageReportsItsOwnFailure) {
    auto stage_of = [](std::string_view text) {
        auto result = convert_log_texts(text);
        return result ? -1 : static_cast<int>(result.error().stage);
    };
    EXPECT_EQ(stage_of("not json"), static_cast<int>(Stage::Parse));
    EXPECT_EQ(stage_of(R"({"log":[],"name":["A","B","C","D"],"rule":{"disp":"三"}})"), static_cast<int>(Stage::Model));
    EXPECT_EQ(stage_of(R"({"log":[[[0,0,0],[0,0,0,0],[],[],)"
                       R"([11,11,11,11,11,11,11,11,11,11,11,11,11],[],[],)"
                       R"([11,11,11,11,11,11,11,11,11,11,11,11,11],[],[],)"
                       R"([11,11,11,11,11,11,11,11,11,11,11,11,11],[],[],)"
                       R"([11,11,11,11,11,11,11,11,11,11,11,11,11],[],[],[]]],)"
                       R"("name":["A","B","C","D"],"rule":{}})"),
              static_cast<int>(Stage::Convert));
    EXPECT_EQ(stage_of(R"({"log":[],"name":["A","B","C","D"],"rule":{}})"), -1);
}

TEST(Pipeline, FailuresSayWhere) {
    const std::string hand = "[11,11,11,11,12,12,12,12,13,13,13,14,14]";
    // South 1, 1 honba: seat 0 discards 1p, then seat 1 pons 3m from it.
    const std::string log = R"({"log":[[[4,1,0],[25000,25000,25000,25000],[11],[],)" + hand + R"(,[15],[21],)" + hand +
                            R"(,["p131313"],[],)" + hand + ",[],[]," + hand + R"(,[],[],[]]],"name":["A","B","C","D"],"rule":{}})";
    auto call = convert_log_texts(log);
    ASSERT_FALSE(call);
    EXPECT_EQ(call.error().stage, Stage::Convert);
    EXPECT_EQ(location_note(call.error().where, call.error().detail),
              "kyoku 0 (S1, 1 honba), seat 1: pon of 3m, but the last discard is 1p");

    // A reading failure names its byte; the kyoku and seat come with shape errors only.
    auto tile = convert_log_texts(log.substr(0, log.find("[15]")) + "[300]" + log.substr(log.find("[15]") + 4));
    ASSERT_FALSE(tile);
    EXPECT_EQ(tile.error().where.offset, log.find("[15]") + 1);
    EXPECT_TRUE(location_note(tile.error().where, tile.error().detail)
                    .starts_with("byte " + std::to_string(log.find("[15]") + 1) + ", kyoku 0 (S1, 1 honba), seat 0: "));
    auto cut = convert_log_texts(log.substr(0, 100));
    ASSERT_FALSE(cut);
    EXPECT_EQ(location_note(cut.error().where, cut.error().detail), "byte 100: incomplete JSON");
    auto model = convert_log_texts(R"({"log":[],"name":["A","B","C","D"],"rule":{"disp":"三"}})");
    ASSERT_FALSE(model);
    EXPECT_EQ(model.error().where.offset, kNoOffset);

    // Past North the wind stays North; a detail stays one line.
    EXPECT_EQ(location_note(Location{7, Fault{2, 3, 17, 0}}, "a\nb"), "byte 7, kyoku 2 (N2, 0 honba), seat 3: a\\x0ab");
}
