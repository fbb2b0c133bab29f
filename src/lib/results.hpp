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

/** A new list of one str per event text; equal texts of the frequent small events share one
 *  str. NULL with an exception set on failure. */
PyObject* texts_to_list(const EventTexts& texts);

}  // namespace tessmar::lib
