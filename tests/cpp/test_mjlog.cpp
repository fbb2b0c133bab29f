// mjlog XML to Tenhou JSON: the real games byte for byte, then small hand-written games for
// what the real games do not show, then the refusals.
#include <gtest/gtest.h>

#include <boost/json/parse.hpp>
#include <boost/json/serialize.hpp>
#include <algorithm>
#include <filesystem>
#include <string>

#include "tessmar/mjlog/mjlog.hpp"
#include "tessmar/mjlog/score.hpp"
#include "tessmar/mjlog/tiles.hpp"
#include "tessmar/pipeline.hpp"
#include "tessmar/read/reader.hpp"
#include "read_file.hpp"

using namespace tessmar::mjlog;
namespace fs = std::filesystem;

namespace {

using tessmar::test::read_file;

constexpr const char* kGo = R"(<GO type="169" lobby="0"/>)";
constexpr const char* kUn =
    R"(<UN n0="%41" n1="%42" n2="%43" n3="%44" dan="0,9,10,20" rate="1500.00,2067.27,0.00001,-23.9" sx="M,M,F,M"/>)";
// Seat s holds ids 13s .. 13s + 12; seed dora id 3.
constexpr const char* kInit =
    R"(<INIT seed="0,0,0,1,2,3" ten="250,250,250,250" oya="0" hai0="0,1,2,3,4,5,6,7,8,9,10,11,12" )"
    R"(hai1="13,14,15,16,17,18,19,20,21,22,23,24,25" hai2="26,27,28,29,30,31,32,33,34,35,36,37,38" )"
    R"(hai3="39,40,41,42,43,44,45,46,47,48,49,50,51"/>)";
constexpr const char* kOwari = R"(owari="250,0.0,250,0.0,250,0.0,250,0.0")";
// The game's last ending: an abort without payments.
const std::string kLastEnd = std::string(R"(<RYUUKYOKU type="yao9" sc="250,0,250,0,250,0,250,0" hai0="" )") + kOwari + "/>";

std::string game(const std::string& kyokus, const std::string& go = kGo, const std::string& un = kUn) {
    return R"(<mjloggm ver="2.3"><SHUFFLE seed="x" ref=""/>)" + go + un + R"(<TAIKYOKU oya="0"/>)" + kyokus + "</mjloggm>";
}
// One kyoku with `body` between its INIT and `end`.
std::string one_kyoku(const std::string& body, const std::string& end = kLastEnd, const std::string& go = kGo) {
    return game(kInit + body + end, go);
}

std::string convert_ok(const std::string& xml) {
    auto r = mjlog_to_tenhou(xml, "");
    EXPECT_TRUE(r) << r.error().message;
    return r.value_or("");
}
// log[0][index] as compact JSON.
std::string kyoku_item(const std::string& xml, std::size_t index) {
    std::string out = convert_ok(xml);
    if (out.empty()) return "";
    return boost::json::serialize(boost::json::parse(out).at("log").at(0).at(index));
}
std::string take(const std::string& xml, unsigned seat) { return kyoku_item(xml, 5 + 3 * seat); }
std::string discards(const std::string& xml, unsigned seat) { return kyoku_item(xml, 6 + 3 * seat); }

std::string error_of(const std::string& xml) {
    auto r = mjlog_to_tenhou(xml, "");
    EXPECT_FALSE(r) << "accepted: " << xml.substr(0, 200);
    return r ? "" : r.error().message;
}

}  // namespace

// ---- real games ------------------------------------------------------------------------------

TEST(MjlogRealGames, ConvertByteForByteAndReadBackAsLogs) {
    const fs::path shared = fs::path(TESSMAR_SHARED_LOGS).parent_path() / "mjlog";
    const std::pair<fs::path, fs::path> games[] = {
        {fs::path(TESSMAR_EXAMPLES) / "mjlog" / "tb-2019021004gm-00a9-0000-e2f6516d.xml",
         fs::path(TESSMAR_EXAMPLES) / "tb-2019021004gm-00a9-0000-e2f6516d.json"},
        {shared / "tb-2019103023gm-00a9-0000-f90e0fe9.xml",
         fs::path(TESSMAR_SHARED_LOGS) / "tb-2019103023gm-00a9-0000-f90e0fe9.json"},
    };
    int compared = 0;
    for (const auto& [xml_path, json_path] : games) {
        if (!fs::exists(xml_path) || !fs::exists(json_path)) continue;
        const std::string xml = read_file(xml_path), json = read_file(json_path);
        const std::string ref = xml_path.stem().string().substr(3);
        auto out = mjlog_to_tenhou(xml, ref);
        ASSERT_TRUE(out) << out.error().message;
        EXPECT_EQ(*out, json) << xml_path;
        EXPECT_TRUE(tessmar::read_log(*out)) << xml_path;
        EXPECT_TRUE(tessmar::convert_log_texts(*out)) << xml_path;
        // The appending form adds the same text behind what is there, and adds nothing on error.
        std::string buffer = "prefix";
        ASSERT_TRUE(append_mjlog_as_tenhou(xml, ref, buffer));
        EXPECT_EQ(buffer, "prefix" + json);
        buffer = "prefix";
        EXPECT_FALSE(append_mjlog_as_tenhou(xml.substr(0, xml.size() - 3), ref, buffer));
        EXPECT_EQ(buffer, "prefix");
        ++compared;
    }
    ASSERT_GE(compared, 1) << "the example game is missing";
}

TEST(MjlogRealGames, EveryCutOfTheFileIsRefused) {
    const std::string xml = read_file(fs::path(TESSMAR_EXAMPLES) / "mjlog" / "tb-2019021004gm-00a9-0000-e2f6516d.xml");
    ASSERT_FALSE(xml.empty());
    for (std::size_t cut = 0; cut < xml.size(); cut += 7) EXPECT_FALSE(mjlog_to_tenhou(xml.substr(0, cut), "")) << cut;
    // Without its closing tag or without the owari of its last ending.
    EXPECT_NE(error_of(xml.substr(0, xml.rfind("</mjloggm>"))).find("no closing </mjloggm>"), std::string::npos);
    std::string no_owari = xml;
    no_owari.erase(no_owari.rfind(" owari="), no_owari.rfind(" />") - no_owari.rfind(" owari="));
    EXPECT_NE(error_of(no_owari).find("no owari on its last ending"), std::string::npos);
}

// ---- calls -----------------------------------------------------------------------------------

TEST(MjlogCalls, EachKindInItsColumnWithRedFivesWhereTheyAre) {
    struct Case {
        const char* body;  // made by seat 1 after seat 0 discards
        const char* take;
        const char* discards;
    };
    const Case cases[] = {
        {R"(<D94/><N who="1" m="54647"/><E21/>)", R"(["c363435"])", "[16]"},           // chi
        {R"(<D99/><N who="1" m="57735"/><E21/>)", R"(["c375336"])", "[16]"},           // chi, red 5s from the hand
        {R"(<D109/><N who="1" m="42058"/><E21/>)", R"(["41p4141"])", "[16]"},          // pon from opposite
        {R"(<D18/><N who="1" m="6665"/><E21/>)", R"(["1515p15"])", "[16]"},            // pon from right, red left out
        {R"(<D115/><N who="1" m="44043"/><E21/>)", R"(["p424242"])", "[16]"},          // pon from left
        {R"(<D52/><N who="1" m="20075"/><E21/>)", R"(["p522525"])", "[16]"},           // red 5p called
        {R"(<D53/><N who="1" m="20586"/><E21/>)", R"(["25p2552"])", "[16]"},           // red 5p from the hand
        {R"(<D60/><N who="1" m="15362"/><U5/><E5/>)", R"(["27m272727",12])", "[0,60]"},  // daiminkan
        {R"(<D60/><N who="1" m="15363"/><U5/><E5/>)", R"(["m27272727",12])", "[0,60]"},
        {R"(<D60/><N who="1" m="15361"/><U5/><E5/>)", R"(["272727m27",12])", "[0,60]"},
        {R"(<U98/><N who="1" m="37969"/><U5/><E5/>)", "[37,12]", R"(["3737k3737",60])"},  // kakan
        {R"(<U52/><N who="1" m="19986"/><U5/><E5/>)", "[52,12]", R"(["25k522525",60])"},  // kakan, red added
        {R"(<U63/><N who="1" m="15360"/><U5/><E5/>)", "[27,12]", R"(["272727a27",60])"},  // ankan
        {R"(<U16/><N who="1" m="4096"/><U5/><E5/>)", "[51,12]", R"(["151515a51",60])"},   // ankan, red last
    };
    for (const Case& c : cases) {
        const std::string xml = one_kyoku(c.body);
        EXPECT_EQ(take(xml, 1), c.take) << c.body;
        EXPECT_EQ(discards(xml, 1), c.discards) << c.body;
    }
    // Without red fives the same codes give plain fives.
    const char* no_red = R"(<GO type="7" lobby="0"/>)";
    EXPECT_EQ(take(one_kyoku(R"(<D52/><N who="1" m="20075"/><E21/>)", kLastEnd, no_red), 1), R"(["p252525"])");
    EXPECT_EQ(discards(one_kyoku(R"(<U16/><N who="1" m="4096"/><U5/><E5/>)", kLastEnd, no_red), 1),
              R"(["151515a15",60])");
}

TEST(MjlogCalls, TsumogiriRiichiAndTheZeroOfAKanWonOn) {
    // 60 only for the very tile drawn last; the riichi mark on the next discard only.
    EXPECT_EQ(discards(one_kyoku(R"(<T60/><D60/><T61/><D0/><T62/><REACH who="0" step="1"/><D62/>)"
                                 R"(<REACH who="0" ten="240,250,250,250" step="2"/><T70/><D70/>)"),
                       0),
              R"([60,11,"r60",60])");
    EXPECT_EQ(discards(one_kyoku(R"(<T60/><REACH who="0" step="1"/><D1/>)"), 0), R"(["r11"])");
    // After a call nothing was drawn, so the next discard is never 60.
    EXPECT_EQ(discards(one_kyoku(R"(<U94/><N who="1" m="54647"/><E94/>)"), 1), "[36]");
    // A daiminkan whose replacement tile wins leaves no trailing 0.
    const std::string won_on_kan =
        one_kyoku(R"(<D60/><N who="1" m="15362"/><U5/>)",
                  R"(<AGARI ten="40,2700,0" yaku="4,1,52,1" who="1" fromWho="1" sc="250,-13,250,26,250,-7,250,-6" )" +
                      std::string(kOwari) + "/>");
    EXPECT_EQ(take(won_on_kan, 1), R"(["27m272727",12])");
    EXPECT_EQ(discards(won_on_kan, 1), "[]");
}

// ---- results ---------------------------------------------------------------------------------

TEST(MjlogResults, ScoreTexts) {
    struct Case {
        int fu, han, yakuman;
        bool dealer, tsumo;
        const char* text;
        std::int64_t total;
    };
    const Case cases[] = {
        {30, 1, 0, false, false, "30符1飜1000点", 1000},  {20, 3, 0, false, true, "20符3飜700-1300点", 2700},
        {30, 3, 0, true, true, "30符3飜2000点∀", 6000},   {30, 1, 0, true, true, "30符1飜500点∀", 1500},
        {30, 4, 0, true, false, "30符4飜11600点", 11600}, {25, 2, 0, false, false, "25符2飜1600点", 1600},
        {40, 4, 0, false, false, "満貫8000点", 8000},      {30, 6, 0, false, true, "跳満3000-6000点", 12000},
        {20, 5, 0, true, true, "満貫4000点∀", 12000},      {30, 13, 0, true, false, "役満48000点", 48000},
        {30, 0, 2, false, true, "役満16000-32000点", 64000}, {30, 8, 0, false, false, "倍満16000点", 16000},
        {30, 11, 0, false, false, "三倍満24000点", 24000},  {0, 60, 0, false, false, "0符60飜0点", 0},
    };
    for (const Case& c : cases) {
        Agari w{};
        w.fu = c.fu, w.han = c.han, w.yakuman = static_cast<std::uint32_t>(c.yakuman), w.dealer = c.dealer, w.tsumo = c.tsumo;
        std::string text;
        append_score_text(text, w);
        EXPECT_EQ(text, c.text);
        EXPECT_EQ(compute_score(c.fu, c.han, static_cast<std::uint32_t>(c.yakuman), c.dealer, c.tsumo).total, c.total) << c.text;
    }
}

TEST(MjlogResults, DoubleRonWithPaoAndTheFirstUraShown) {
    const std::string xml = one_kyoku(
        "<D5/>",
        R"(<AGARI ten="30,1000,0" yaku="10,1,53,0" doraHaiUra="" who="1" fromWho="0" sc="250,-10,250,10,250,0,250,0"/>)"
        R"(<AGARI ten="40,8000,1" yaku="1,1,53,0,52,3" doraHaiUra="5,88" who="2" fromWho="0" paoWho="3" )"
        R"(sc="240,-80,260,0,250,80,250,0" )" + std::string(kOwari) + "/>");
    const std::string out = convert_ok(xml);
    EXPECT_NE(out.find(R"j(,["和了",[-1000,1000,0,0],[1,0,1,"30符1飜1000点","自風 東(1飜)"],)j"
                       R"j([-8000,0,8000,0],[2,0,3,"満貫8000点","立直(1飜)","ドラ(3飜)"]]])j"),
              std::string::npos)
        << out;
    EXPECT_EQ(kyoku_item(xml, 2), "[11]");
    EXPECT_EQ(kyoku_item(xml, 3), "[12,53]");
}

TEST(MjlogResults, EveryDrawKind) {
    const std::pair<std::string, std::string> cases[] = {
        {R"(type="yao9" sc="250,0,250,0,250,0,250,0" hai0="")", R"(["九種九牌"])"},
        {R"(type="reach4" sc="250,0,250,0,250,0,250,0")", R"(["四家立直"])"},
        {R"(type="ron3" sc="250,0,250,0,250,0,250,0")", R"(["三家和了"])"},
        {R"(type="kan4" sc="250,0,250,0,250,0,250,0")", R"(["四槓散了"])"},
        {R"(type="kaze4" sc="250,0,250,0,250,0,250,0")", R"(["四風連打"])"},
        {R"(type="nm" sc="250,-40,250,120,250,-40,250,-40")", R"(["流し満貫",[-4000,12000,-4000,-4000]])"},
        {R"(sc="250,0,250,0,250,0,250,0" hai0="1" hai1="" hai2="3" hai3="4")", R"(["全員聴牌"])"},
        {R"(sc="250,0,250,0,250,0,250,0")", R"(["全員不聴"])"},
        {R"(type="" sc="250,-15,250,15,250,-15,250,15" hai1="1" hai3="2")", R"(["流局",[-1500,1500,-1500,1500]])"},
    };
    for (const auto& [attrs, result] : cases) {
        const std::string xml = one_kyoku("<T5/>", "<RYUUKYOKU " + attrs + " " + kOwari + "/>");
        EXPECT_EQ(kyoku_item(xml, 16), result) << attrs;
        EXPECT_EQ(kyoku_item(xml, 3), "[]");
    }
    EXPECT_NE(error_of(one_kyoku("", R"(<RYUUKYOKU type="xyz" sc="250,0,250,0,250,0,250,0" )" + std::string(kOwari) + "/>"))
                  .find("unknown draw type 'xyz'"),
              std::string::npos);
}

// ---- game-level fields -----------------------------------------------------------------------

TEST(MjlogGame, RuleTextsEastOnlyAndWithoutRedFives) {
    const std::pair<const char*, const char*> cases[] = {
        {"1", R"("disp":"般東喰赤","aka53":1,"aka52":1,"aka51":1)"},
        {"7", R"("disp":"般東","aka53":0,"aka52":0,"aka51":0)"},
        {"65", R"("disp":"般東喰赤速","aka53":1,"aka52":1,"aka51":1)"},
        {"41", R"("disp":"特南喰赤","aka53":1,"aka52":1,"aka51":1)"},
        {"137", R"("disp":"上南喰赤","aka53":1,"aka52":1,"aka51":1)"},
    };
    for (const auto& [type, rule] : cases) {
        const std::string out = convert_ok(one_kyoku("", kLastEnd, std::string(R"(<GO type=")") + type + R"(" lobby="7"/>)"));
        EXPECT_NE(out.find(std::string(R"("rule":{)") + rule + R"(},"lobby":7,)"), std::string::npos) << out;
    }
    // Without red fives, id 16 in a hand is a plain 5m.
    EXPECT_EQ(kyoku_item(one_kyoku("", kLastEnd, R"(<GO type="7"/>)"), 7), "[14,14,14,15,15,15,15,16,16,16,16,17,17]");
    EXPECT_EQ(kyoku_item(one_kyoku(""), 7), "[14,14,14,15,15,15,51,16,16,16,16,17,17]");
}

TEST(MjlogGame, NamesDecimalsAndTheFieldsAroundTheLog) {
    const std::string un =
        R"(<UN n0="%22%5C%0A%01q" n1="a+b%4%zz" n2="%FF%E3%81%82" n3="&quot;&amp;&#x41;&#66;&lt;" dan="0,9,10,20" )"
        R"(rate="1500.00,2067.27,0.00001,-0.0" sx="M,,F"/>)";
    const std::string out = convert_ok(game(kInit + kLastEnd, kGo, un));
    EXPECT_NE(out.find(R"("dan":["新人","１級","初段","天鳳"],"rate":[1500,2067.27,1e-05,0],"sx":["M","","F"],)"
                       R"("sc":[25000,0,25000,0,25000,0,25000,0],)"
                       R"("name":["\"\\\n\u0001q","a+b%4%zz","�あ","\"&AB<"]})"),
              std::string::npos)
        << out;
    EXPECT_TRUE(out.starts_with(R"({"ver":2.3,"ref":"","log":[[[0,0,0],[25000,25000,25000,25000],[11],[],)")) << out;
    EXPECT_NE(convert_ok(R"(<mjloggm>)" + game(kInit + kLastEnd).substr(19)).find(R"({"ver":2.3,)"), std::string::npos);
    auto with_ref = mjlog_to_tenhou(game(kInit + kLastEnd), "id\"1");
    ASSERT_TRUE(with_ref);
    EXPECT_NE(with_ref->find(R"("ref":"id\"1")"), std::string::npos);
}

TEST(MjlogGame, ConnectionRecords) {
    // Before the first INIT; inside a kyoku, counting draws, discards and calls; after its ending.
    const std::string xml = game(std::string(R"(<BYE who="2"/>)") + kInit +
                                 R"(<T5/><REACH who="0" step="1"/><D5/><BYE who="1"/><U6/><UN n1="%42"/>)"
                                 R"(<UN n0="x" n1="y"/><UN n2="z" dan="1"/>)" +
                                 R"(<RYUUKYOKU type="yao9" sc="250,0,250,0,250,0,250,0"/><BYE who="3"/>)" + kInit +
                                 "<T9/>" + kLastEnd);
    EXPECT_NE(convert_ok(xml).find(R"(],"connection":[{"what":0,"log":-1,"who":2,"step":0},)"
                                   R"({"what":0,"log":0,"who":1,"step":2},{"what":1,"log":0,"who":1,"step":3},)"
                                   R"({"what":0,"log":0,"who":3,"step":3}],"ratingc":"PF4",)"),
              std::string::npos);
}

TEST(MjlogGame, DeclarationCommentsAndWhitespaceAreHarmless) {
    const std::string plain = convert_ok(one_kyoku("<T5/><D5/>"));
    std::string decorated = "\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<!-- archive -->\n" +
                            one_kyoku("\n  <T5 />\n<!-- a comment <T9/> -->\t< D5/>\r\n") + "\n<!-- end -->\n";
    EXPECT_EQ(convert_ok(decorated), plain);
}

// ---- refusals --------------------------------------------------------------------------------

TEST(MjlogRefusals, MalformedXmlSaysWhatAndWhere) {
    const std::string base = one_kyoku("<T5/><D5/>");
    const std::size_t at = base.find("<D5/>");
    auto with = [&](const std::string& tag) { return std::string(base).insert(at, tag); };
    EXPECT_EQ(error_of(with("<FOO/>")), "unknown tag <FOO> at byte " + std::to_string(at));
    EXPECT_EQ(error_of(with("<T5 a='1'/>")), "attribute value in single quotes in <T5> at byte " + std::to_string(at));
    EXPECT_EQ(error_of(with(R"(<T5 a="1" a="2"/>)")), "repeated attribute in <T5> at byte " + std::to_string(at));
    EXPECT_EQ(error_of(with("x")), "text between tags at byte " + std::to_string(at));
    EXPECT_EQ(error_of(with("</T5>")), "unexpected closing tag at byte " + std::to_string(at));
    EXPECT_EQ(error_of(with(R"(<DORA hai="1&bad;"/>)")), "unknown entity '&bad;' in <DORA> at byte " + std::to_string(at));
    EXPECT_EQ(error_of(with("<DORA/>")), "missing attribute hai in <DORA> at byte " + std::to_string(at));
    EXPECT_EQ(error_of(std::string(base).insert(at, "\xC3\x28")), "the text is not UTF-8 at byte " + std::to_string(at));
    EXPECT_EQ(error_of(base + "<x/>"), "content after </mjloggm> at byte " + std::to_string(base.size()));
    EXPECT_EQ(error_of("<?xml version=\"1.0\"?><root/>"), "no mjloggm element");
    EXPECT_EQ(error_of(""), "no mjloggm element");
}

TEST(MjlogRefusals, ValuesTheFormatCannotHold) {
    const std::pair<std::string, std::string> cases[] = {
        {one_kyoku("<T136/>"), "tile id out of range: 136 in <T136>"},
        {one_kyoku("<T5/><D99999999999/>"), "tile id out of range"},
        {one_kyoku(R"(<DORA hai="140"/>)"), "tile id out of range: 140 in <DORA>"},
        {game(std::string(kInit).replace(std::string(kInit).find("12\""), 2, "140") + kLastEnd), "tile id out of range: 140 in <INIT>"},
        {one_kyoku(R"(<N who="4" m="6665"/>)"), "who: seat out of range: 4 in <N>"},
        {one_kyoku(R"(<N who="1" m="65536"/>)"), "meld code out of range in <N>"},
        {one_kyoku(R"(<N who="1" m="64519"/>)"), "chi of honours in meld code 64519"},
        {one_kyoku(R"(<N who="1" m="52744"/>)"), "bad tile kind in meld code 52744"},
        {one_kyoku(R"(<N who="1" m="34817"/>)"), "bad tile in meld code 34817"},
        {one_kyoku(R"(<N who="1" m="6664"/>)"), "pon called from own seat"},
        {one_kyoku(R"(<N who="1" m="32"/>)"), "no JSON notation for nuki"},
        {one_kyoku("", R"(<RYUUKYOKU sc="250,0,250,0,250,0" )" + std::string(kOwari) + "/>"), "sc without eight values"},
        {one_kyoku("", R"(<RYUUKYOKU sc="250,0,250,0,250,0,250,0" owari="250,0.0,250,0.0"/>)"), "owari without eight values"},
        {one_kyoku("", R"(<AGARI ten="30,1100,0" yaku="8,1" who="1" fromWho="0" sc="250,-11,250,11,250,0,250,0" )" +
                           std::string(kOwari) + "/>"),
         "score [30, 1100, 0] does not match 30符1飜1000点 in <AGARI>"},
        {one_kyoku("", R"(<AGARI ten="30,1000,0" yaku="55,1" who="1" fromWho="0" sc="250,-10,250,10,250,0,250,0" )" +
                           std::string(kOwari) + "/>"),
         "yaku id out of range: 55"},
        {game(kInit + std::string(R"(<RYUUKYOKU sc="250,0,250,0,250,0,250,0"/>)") + kInit + kLastEnd, kGo,
              R"(<UN n0="a" n1="b" n2="c" n3="d" dan="21"/>)"),
         "dan index out of range: 21 in <UN>"},
    };
    for (const auto& [xml, message] : cases) EXPECT_NE(error_of(xml).find(message), std::string::npos) << message;
}

TEST(MjlogRefusals, GamesThatCannotBeWrittenAsAFourPlayerLog) {
    const std::string three = "three-player game, not supported";
    EXPECT_TRUE(error_of(one_kyoku("", kLastEnd, R"(<GO type="185" lobby="0"/>)")).starts_with(three));
    EXPECT_TRUE(error_of(game(kInit + kLastEnd, kGo, R"(<UN n0="a" n1="b" n2="c" n3="" dan="1,1,1"/>)")).starts_with(three));
    std::string init = kInit;
    init.replace(init.find(R"( hai3=")"), init.size() - 2 - init.find(R"( hai3=")"), R"( hai3="")");
    EXPECT_TRUE(error_of(game(init + kLastEnd)).starts_with(three));

    const std::pair<std::string, std::string> cases[] = {
        {game(kInit + std::string("<T5/>") + kInit + kLastEnd), "kyoku without an ending"},
        {one_kyoku("<T5/>", R"(<RYUUKYOKU sc="250,0,250,0,250,0,250,0"/>)" + kLastEnd), "kyoku with several endings"},
        {one_kyoku("", kLastEnd + "<T5/>"), "kyoku event after the kyoku's ending in <T5>"},
        {game(std::string("<T5/>") + kInit + kLastEnd), "kyoku event before the first INIT"},
        {game(kInit + kLastEnd + kInit + kLastEnd), "owari on an ending that is not the game's last"},
        {game(kInit + kLastEnd, ""), "no GO tag"},
        {game(kInit + kLastEnd, kGo, ""), "no UN tag with player names"},
        {game(""), "no INIT tag"},
    };
    for (const auto& [xml, message] : cases) EXPECT_NE(error_of(xml).find(message), std::string::npos) << message;
}

TEST(MjlogRefusals, KyokuTagsBlameTheirKyoku) {
    auto fault_of = [](const std::string& xml) {
        auto r = mjlog_to_tenhou(xml, "");
        EXPECT_FALSE(r) << xml.substr(0, 200);
        return r ? tessmar::Fault{} : r.error().fault;
    };
    const std::string init = kInit, draw = R"(<RYUUKYOKU sc="250,0,250,0,250,0,250,0"/>)";
    std::string second = kInit;  // South 2, 3 honba
    second.replace(second.find("0,0,0,"), 6, "5,3,0,");
    // A move of seat 2 (a discard, F) and a call of seat 1 in the second kyoku.
    tessmar::Fault f = fault_of(game(init + draw + second + "<T5/><F136/>" + kLastEnd));
    EXPECT_EQ(f.kyoku, 1);
    EXPECT_EQ(f.seat, 2);
    EXPECT_EQ(f.round, 5);
    EXPECT_EQ(f.honba, 3);
    f = fault_of(game(init + draw + second + R"(<N who="1" m="6664"/>)" + kLastEnd));
    EXPECT_EQ(f.kyoku, 1);
    EXPECT_EQ(f.seat, 1);
    // A bad INIT is the new kyoku's; an INIT before the last one ended, that one's; an owari
    // too early, the kyoku whose ending carries it.
    std::string bad_init = second;
    bad_init.replace(bad_init.find("ten=\"250,"), 9, "ten=\"250x");
    f = fault_of(game(init + draw + bad_init + kLastEnd));
    EXPECT_EQ(f.kyoku, 1);
    EXPECT_EQ(f.round, 5);
    EXPECT_EQ(f.seat, -1);
    EXPECT_EQ(fault_of(game(init + "<T5/>" + second + kLastEnd)).kyoku, 0);
    EXPECT_EQ(fault_of(game(init + kLastEnd + kInit + draw + kInit + kLastEnd)).kyoku, 0);
    // Game-level tags and XML syntax blame no kyoku.
    EXPECT_EQ(fault_of(game(init + R"(<BYE who="7"/>)" + kLastEnd)).kyoku, -1);
    EXPECT_EQ(fault_of(game(init + "<T5 x=1/>" + kLastEnd)).kyoku, -1);
    EXPECT_EQ(fault_of(game(init + kLastEnd).substr(0, 300)).kyoku, -1);
}

TEST(MjlogGame, HandOrderIsTheSortedOrderEvenWithAnIdTwice) {
    // As the hand is written: sorted by (hand_key, id), a red five behind the plain ones.
    auto sorted = [](std::array<std::uint8_t, 13> hand, bool red) {
        std::ranges::sort(hand, [red](unsigned a, unsigned b) {
            return std::pair(hand_key(a, red), a) < std::pair(hand_key(b, red), b);
        });
        return hand;
    };
    const std::array<std::uint8_t, 13> hands[] = {
        {135, 16, 17, 0, 52, 88, 89, 19, 18, 63, 64, 1, 100},
        {16, 16, 16, 3, 3, 135, 0, 0, 52, 53, 52, 88, 18},  // ids twice: only made-up input
        {12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1, 0},
    };
    for (const auto& hand : hands)
        for (bool red : {false, true}) EXPECT_EQ(hand_order(hand, red), sorted(hand, red)) << red;
}

// ---- the mjai route --------------------------------------------------------------------------

namespace {

// The stage where both mjai routes fail (as an int), or -1 where both give the same events; a
// disagreement is a failure of the test.
int stage_of_both_routes(const std::string& xml) {
    const auto text = mjlog_to_tenhou(xml, "r");
    Game game;
    if (!text || !read_mjlog(xml, "r", game)) {
        ADD_FAILURE() << "refused: " << xml.substr(0, 200);
        return -2;
    }
    const auto direct = tessmar::convert_mjlog_texts(game);
    const auto via_text = tessmar::convert_log_texts(*text);
    if (direct.has_value() != via_text.has_value()) {
        ADD_FAILURE() << "one route fails: " << *text;
        return -2;
    }
    if (direct) {
        EXPECT_EQ(direct->lines(), via_text->lines()) << *text;
        return -1;
    }
    EXPECT_EQ(direct.error().stage, via_text.error().stage) << via_text.error().detail;
    return static_cast<int>(via_text.error().stage);
}

std::string replaced(std::string text, const std::string& from, const std::string& to) {
    return text.replace(text.find(from), from.size(), to);
}

}  // namespace

TEST(MjlogToMjai, GameColumnsGiveTheEventsOfTheText) {
    EXPECT_EQ(stage_of_both_routes(read_file(fs::path(TESSMAR_EXAMPLES) / "mjlog" / "tb-2019021004gm-00a9-0000-e2f6516d.xml")), -1);
    // Calls of each kind (kan zeros, trailing ones dropped), riichi, tsumogiri, both red rules,
    // a double ron, a draw with payments.
    const std::string win = R"(<AGARI ten="40,2700,0" yaku="4,1,52,1" who="1" fromWho="1" sc="250,-13,250,26,250,-7,250,-6" )" +
                            std::string(kOwari) + "/>";
    const std::string kyokus[] = {
        one_kyoku(R"(<T60/><D60/><T61/><D0/><T62/><REACH who="0" step="1"/><D62/><T70/><D70/><D94/><N who="1" m="54647"/><E21/>)"),
        one_kyoku(R"(<D60/><N who="1" m="15362"/><U5/>)", win),
        one_kyoku(R"(<D60/><N who="1" m="15363"/><U5/><E5/><U98/><N who="1" m="37969"/><U6/><E6/>)", kLastEnd, R"(<GO type="7"/>)"),
        one_kyoku(R"(<U16/><N who="1" m="4096"/><U5/><E5/><F7/>)", R"(<RYUUKYOKU type="nm" sc="250,-40,250,120,250,-40,250,-40" )" +
                                                                   std::string(kOwari) + "/>"),
        one_kyoku("<D5/>", R"(<AGARI ten="30,1000,0" yaku="10,1,53,0" who="1" fromWho="0" sc="250,-10,250,10,250,0,250,0"/>)"
                           R"(<AGARI ten="40,8000,1" yaku="1,1,53,0,52,3" doraHaiUra="5,88" who="2" fromWho="0" paoWho="3" )"
                           R"(sc="240,-80,260,0,250,80,250,0" )" + std::string(kOwari) + "/>"),
        // Deltas beyond 32 bits: the text's reader takes that win for no win.
        one_kyoku(R"(<D60/><N who="1" m="15362"/><U5/>)", replaced(win, "250,26,", "250,2000000000,")),
    };
    for (const std::string& xml : kyokus) stage_of_both_routes(xml);
    // Values the columns cannot hold: a round above 255, a score beyond 32 bits.
    const int parse = static_cast<int>(tessmar::Stage::Parse);
    EXPECT_EQ(stage_of_both_routes(game(replaced(kInit, "seed=\"0,", "seed=\"256,") + kLastEnd)), parse);
    EXPECT_EQ(stage_of_both_routes(game(replaced(kInit, "ten=\"250,", "ten=\"-21474837,") + kLastEnd)), parse);
    // 255 is held (and then refused by the driver, in both routes).
    EXPECT_EQ(stage_of_both_routes(game(replaced(kInit, "seed=\"0,", "seed=\"255,") + kLastEnd)),
              static_cast<int>(tessmar::Stage::Convert));
}
