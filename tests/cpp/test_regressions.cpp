// Every input kept in fuzz/regressions/ still ends in a sound result or an error value,
// checked as the fuzz harnesses check it. A file named NAME.EXPECTED.json (EXPECTED one of
// ok, parse, model, convert) must also end that way.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "../../fuzz/invariants.hpp"
#include "tessmar/pipeline.hpp"

namespace {

namespace fs = std::filesystem;
using tessmar::Stage;

fs::path regressions_dir() { return fs::path(TESSMAR_EXAMPLES).parent_path() / "fuzz" / "regressions"; }

std::vector<fs::path> regression_files() {
    std::vector<fs::path> files;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(regressions_dir(), ec))
        if (entry.is_regular_file()) files.push_back(entry.path());
    std::ranges::sort(files);
    return files;
}

// "ok" or the stage that must refuse the input, from the second-to-last dot-separated part.
std::optional<std::string> expected_outcome(const fs::path& file) {
    std::string stem = file.stem().string();  // NAME.EXPECTED
    auto dot = stem.rfind('.');
    if (dot == std::string::npos) return std::nullopt;
    std::string word = stem.substr(dot + 1);
    if (word == "ok" || word == "parse" || word == "model" || word == "convert") return word;
    return std::nullopt;
}

std::string outcome_name(const std::expected<tessmar::EventTexts, tessmar::PipelineError>& result) {
    if (result) return "ok";
    switch (result.error().stage) {
        case Stage::Parse: return "parse";
        case Stage::Model: return "model";
        case Stage::Convert: return "convert";
    }
    return "?";
}

class Regression : public testing::TestWithParam<fs::path> {};

TEST_P(Regression, EndsInSoundOutcome) {
    std::ifstream in(GetParam(), std::ios::binary);
    ASSERT_TRUE(in) << GetParam();
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());

    auto result = tessmar::convert_log_texts(text);
    EXPECT_EQ(tessmar::fuzz::check_outcome(text, result), "");
    if (auto expected = expected_outcome(GetParam())) {
        EXPECT_EQ(outcome_name(result), *expected) << (result ? "" : result.error().detail);
    }

    // The same text gives the same outcome again, also as separate strings: no state
    // survives a call.
    auto again = tessmar::convert_log(text);
    ASSERT_EQ(again.has_value(), result.has_value());
    if (result) {
        ASSERT_EQ(again->size(), result->size());
        for (std::size_t i = 0; i < result->size(); ++i) ASSERT_EQ((*again)[i], (*result)[i]) << i;
    }
}

INSTANTIATE_TEST_SUITE_P(Fuzz, Regression, testing::ValuesIn(regression_files()),
                         [](const testing::TestParamInfo<fs::path>& info) {
                             std::string name = info.param.filename().string();
                             std::ranges::replace_if(name, [](char c) { return !std::isalnum(static_cast<unsigned char>(c)); }, '_');
                             return name;
                         });
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(Regression);

// The directory is found and holds the kept findings; an empty list would make every
// check above pass without running.
TEST(RegressionFiles, AreFound) { EXPECT_FALSE(regression_files().empty()) << regressions_dir(); }

}  // namespace

namespace {

// The fuzzers' reference reader decides whether a refusal at a later stage is sound, so
// its grammar is checked here on its own.
struct JsonCase {
    const char* text;
    bool valid;
};

class ReferenceReader : public testing::TestWithParam<JsonCase> {};

TEST_P(ReferenceReader, FollowsJsonGrammar) {
    std::size_t depth = 0;
    EXPECT_EQ(tessmar::fuzz::is_json(GetParam().text, depth), GetParam().valid) << GetParam().text;
}

INSTANTIATE_TEST_SUITE_P(
    Texts, ReferenceReader,
    testing::Values(JsonCase{"{}", true}, JsonCase{" [ ] ", true}, JsonCase{"[1,-0,0.5,1e2,-1.5E-3]", true},
                    JsonCase{R"({"a":[{"b":null}],"c":"\"\\\/\b\f\n\r\t\u00e9\ud83c\udc04"})", true},
                    JsonCase{"\"\\ud800\"", true}, JsonCase{"\"\xE6\x9D\xB1\xFF\"", true},
                    JsonCase{"", false}, JsonCase{"[", false}, JsonCase{"[1,]", false}, JsonCase{"[01]", false},
                    JsonCase{"[1.]", false}, JsonCase{"[.5]", false}, JsonCase{"[1e]", false}, JsonCase{"{\"a\"}", false},
                    JsonCase{"{\"a\":1,}", false}, JsonCase{"{1:2}", false}, JsonCase{"[\"\\x\"]", false},
                    JsonCase{"[\"\\u12\"]", false}, JsonCase{"[\"a\tb\"]", false}, JsonCase{"[tru]", false},
                    JsonCase{"[] []", false}, JsonCase{"\xEF\xBB\xBF{}", false}, JsonCase{"[NaN]", false},
                    JsonCase{"[1]x", false}, JsonCase{"{\"a\":1]", false}, JsonCase{"[\"unterminated]", false}));

TEST(ReferenceReader, MeasuresDepthWithoutRecursion) {
    const std::size_t n = 1'000'000;
    std::string deep = std::string(n, '[') + std::string(n, ']');
    std::size_t depth = 0;
    EXPECT_TRUE(tessmar::fuzz::is_json(deep, depth));
    EXPECT_EQ(depth, n);
    EXPECT_FALSE(tessmar::fuzz::is_json(deep.substr(1), depth));
}

}  // namespace
