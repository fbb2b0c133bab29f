#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <set>

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
