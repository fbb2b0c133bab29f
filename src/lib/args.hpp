// Binding the module functions' arguments and converting them to owned C++ values.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <array>
#include <cstddef>
#include <optional>
#include <span>
#include <string>

#include "guard.hpp"

namespace tessmar::lib {

/** A function's parameters, in order; the first `required` of them have no default. The last
 *  `keyword_only` of them (none of the first `required`) are keyword-only, and required too. */
struct Signature {
    const char* function;
    std::span<const char* const> parameters;
    std::size_t required;
    std::size_t keyword_only = 0;
    bool keywords_optional = false;  // keyword-only parameters that may be left out
};

/** Binds a fast call's arguments to the parameters: `bound[i]` is the borrowed value of
 *  parameter i, or NULL when it was not given. Returns false with the interpreter's usual
 *  TypeError (surplus, unknown, duplicate, missing) set. */
bool bind_arguments(const Signature& signature, PyObject* const* args, Py_ssize_t nargs,
                    PyObject* kwnames, std::span<PyObject*> bound);

/** A module function: `body(bound)` run under `guarded` once the arguments are bound to the
 *  signature's N parameters (as `bind_arguments` binds them); NULL with its TypeError set
 *  when they cannot be. */
template <std::size_t N, typename Body>
PyObject* with_arguments(const Signature& signature, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames,
                         Body&& body) {
    return guarded([&]() -> PyObject* {
        std::array<PyObject*, N> bound;
        if (!bind_arguments(signature, args, nargs, kwnames, bound)) return nullptr;
        return body(bound);
    });
}

/** The UTF-8 text of a `str` (or subclass) argument, copied. NULL result with TypeError
 *  "argument 'NAME': ..." for other types; a str without UTF-8 form raises the
 *  interpreter's UnicodeEncodeError unchanged. */
std::optional<std::string> text_argument(PyObject* value, const char* name);

/** The byte path of a path-like argument (str encoded with the file-system encoding,
 *  bytes as they are). On failure an exception is set: a TypeError reworded for NAME. */
std::optional<std::string> path_argument(PyObject* value, const char* name);

}  // namespace tessmar::lib
