// Small builders of game columns for the tests that do not go through the reader.
#pragma once

#include <gtest/gtest.h>

#include <string_view>

#include "tessmar/columns/columns.hpp"

namespace tessmar::test {

inline Tile tile(int code) {
    auto t = tile_from_code(static_cast<std::uint8_t>(code));
    EXPECT_TRUE(t.has_value()) << code;
    return t.value_or(kUnknownTile);
}

// One column entry as the log writes it: an integer is a tile entry when it is a tile code and a
// bare number entry otherwise (60: discard of the tile just drawn); a string is notation text.
struct Item {
    Entry entry;
    Item(int code) {
        if (auto t = tile_from_code(static_cast<std::uint8_t>(code))) {
            entry.kind = Entry::Kind::Tile;
            entry.value = t->index;
        } else {
            entry.kind = Entry::Kind::Number;
            entry.value = static_cast<std::uint8_t>(code);
        }
    }
    Item(std::string_view text) : entry(Entry::from_text(text)) {}
    Item(const char* text) : Item(std::string_view(text)) {}
};

}  // namespace tessmar::test
