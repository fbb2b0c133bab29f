// mjlog XML in: any bytes go through the XML reader and the Tenhou JSON writer, and must end
// in a sound result or an error value.
//   - a result is strict UTF-8 JSON that the project's own log reader takes, unless it stops
//     at a number its columns cannot hold (the XML allows any 32-bit value);
//   - converting again gives the same bytes, and the appending form appends exactly them;
//   - an error has a message (one short line of UTF-8), and the byte it names lies inside the input;
//   - the mjai route without the text (game columns made from the game read) gives the same
//     events, or fails at the same stage, as converting the text; it refuses the same XML.
#include <boost/json/parse.hpp>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "tessmar/encoding/utf8.hpp"
#include "tessmar/mjlog/mjlog.hpp"
#include "tessmar/pipeline.hpp"
#include "tessmar/read/reader.hpp"

namespace {

[[noreturn]] void broken(const char* what, std::string_view detail) {
    std::fprintf(stderr, "invariant broken: %s\n%.*s\n", what, static_cast<int>(detail.size() > 2000 ? 2000 : detail.size()),
                 detail.data());
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view xml(reinterpret_cast<const char*>(data), size);
    auto out = tessmar::mjlog::mjlog_to_tenhou(xml, "2019021004gm-00a9-0000-e2f6516d");
    if (!out) {
        const auto& e = out.error();
        if (e.message.empty()) broken("empty error message", xml);
        if (tessmar::invalid_utf8_offset(e.message) != std::string_view::npos || e.message.size() > 400 ||
            e.message.find('\n') != std::string::npos)
            broken("the message is not one short line of UTF-8", e.message);
        if (e.offset != tessmar::mjlog::kNoOffset && e.offset > size) broken("error offset beyond the input", e.message);
        if (e.fault.seat < -1 || e.fault.seat > 3 || e.fault.kyoku < -1 || (e.fault.kyoku < 0 && e.fault.seat >= 0))
            broken("the error blames no kyoku that can be", e.message);
        tessmar::mjlog::Game game;
        auto read = tessmar::mjlog::read_mjlog(xml, "2019021004gm-00a9-0000-e2f6516d", game);
        if (read || read.error().message != e.message || read.error().offset != e.offset)
            broken("reading the game refuses differently", e.message);
        std::string again = "x";
        if (tessmar::mjlog::append_mjlog_as_tenhou(xml, "", again) || again != "x")
            broken("the appending form left something on error", e.message);
        return 0;
    }
    const std::string& json = *out;
    boost::system::error_code ec;
    boost::json::parse(json, ec);
    if (ec) broken("output is not strict JSON", json);
    if (auto log = tessmar::read_log(json); !log) {
        const auto& e = log.error();
        const char at = e.offset < json.size() ? json[e.offset] : 0;
        const char before = e.offset > 0 && e.offset <= json.size() ? json[e.offset - 1] : 0;
        const bool at_number = (at >= '0' && at <= '9') || at == '-' || (before >= '0' && before <= '9');
        if (e.is_model_error() || !at_number) broken("the log reader refuses the output", e.message + "\n" + json);
    }
    {
        tessmar::mjlog::Game game;
        if (!tessmar::mjlog::read_mjlog(xml, "2019021004gm-00a9-0000-e2f6516d", game))
            broken("reading the game refuses what converts", json);
        const auto direct = tessmar::convert_mjlog_texts(game);
        const auto via_text = tessmar::convert_log_texts(json);
        if (direct.has_value() != via_text.has_value()) broken("the mjai routes disagree on success", json);
        if (direct && (direct->lines() != via_text->lines() || direct->size() != via_text->size()))
            broken("the mjai routes give different events", json);
        if (!direct && direct.error().stage != via_text.error().stage)
            broken("the mjai routes fail at different stages", via_text.error().detail + "\n" + json);
        // Both routes blame the same kyoku and seat, at no byte of the XML.
        if (!direct && (direct.error().where.offset != tessmar::kNoOffset ||
                        direct.error().where.fault.kyoku != via_text.error().where.fault.kyoku ||
                        direct.error().where.fault.seat != via_text.error().where.fault.seat))
            broken("the mjai routes blame different places", via_text.error().detail + "\n" + json);
    }
    auto twice = tessmar::mjlog::mjlog_to_tenhou(xml, "2019021004gm-00a9-0000-e2f6516d");
    if (!twice || *twice != json) broken("converting twice differs", json);
    std::string appended = "prefix";
    if (!tessmar::mjlog::append_mjlog_as_tenhou(xml, "2019021004gm-00a9-0000-e2f6516d", appended) ||
        appended.compare(6, std::string::npos, json) != 0 || !appended.starts_with("prefix"))
        broken("the appending form differs", json);
    return 0;
}
