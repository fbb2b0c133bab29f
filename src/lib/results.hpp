// Turning the core's texts into Python objects: the results of the module functions.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <string_view>

#include "tessmar/emit/texts.hpp"

namespace tessmar::lib {

/** A new str of UTF-8 `text` (`ascii`: known to be ASCII, which skips the decoder). Text that
 *  is not UTF-8 is the module's own fault and raises its internal error. */
PyObject* text_to_str(std::string_view text, bool ascii);

/** Makes, once for this extension module, the str of every repeat key's text (immutable
 *  constants, like the exception types, kept for the life of the process). False with an
 *  exception set on failure; nothing is kept then, and the next import retries. */
bool make_shared_texts();

/** A new list of one str per event text; the texts of the frequent small events are the shared
 *  str of their repeat key, and so the same objects in every result. NULL with an exception set
 *  on failure (as also before the shared texts are made). */
PyObject* texts_to_list(const EventTexts& texts);

}  // namespace tessmar::lib
