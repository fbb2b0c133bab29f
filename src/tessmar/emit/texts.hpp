// The event texts of one conversion: one buffer that is also the output file's content.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tessmar {

/** The JSON texts of a game's events in one buffer, each followed by a line feed: the buffer
 *  is exactly the content of an output file. */
struct EventTexts {
    std::string buffer;
    std::vector<std::size_t> ends;  // end offset of each text in `buffer`, before its line feed
    // For each text, 0, or a number below kRepeatKeys that only texts equal to it share: the
    // frequent small events (tsumo, dahai, reach, dora, ...) repeat, so a consumer can build
    // one object per key instead of one per text.
    std::vector<std::uint16_t> repeat_keys;
    bool ascii = true;  // every text is plain ASCII (only player names can make it not)

    static constexpr std::size_t kRepeatKeys = 512;

    std::size_t size() const { return ends.size(); }
    std::string_view operator[](std::size_t i) const {
        std::size_t begin = i ? ends[i - 1] + 1 : 0;
        return std::string_view(buffer).substr(begin, ends[i] - begin);
    }
    std::string_view lines() const { return buffer; }
};

}  // namespace tessmar
