// Byte paths as they appear in error messages, and the standard-output path.
#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace tessmar::lib {

/** Decides whether a character (not one of the escapes with a letter of their own)
 *  must be written as \u{...}: it is not printable, or it is a combining mark. */
using NeedsEscape = std::function<bool(char32_t)>;

/** The path between double quotes: valid UTF-8 as characters, with \" \' \\ \t \r \n \0,
 *  \u{hex} for the characters `needs_escape` picks, and \xHH for every byte that is
 *  not part of valid UTF-8. The result is valid UTF-8. */
std::string quoted_path(std::string_view path, const NeedsEscape& needs_escape);

/** True for "-", optionally followed by separators ("-/", "-//"): standard output.
 *  "./-" and "-x" are ordinary paths. */
bool is_stdout_path(std::string_view path);

/** The characters with the Other_Grapheme_Extend property: together with the general
 *  categories Mn and Me they make up Grapheme_Extend. */
bool is_other_grapheme_extend(char32_t c);

}  // namespace tessmar::lib
