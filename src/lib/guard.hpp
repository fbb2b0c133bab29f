// The one place where C++ exceptions stop on their way out of a module function.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <exception>
#include <new>
#include <stdexcept>

#include "errors.hpp"

namespace tessmar::lib {

// A C++ exception must not unwind into the interpreter. An allocation that fails (an input
// too large for the memory left) is the interpreter's MemoryError, which callers catch as an
// ordinary Exception; anything else that escapes is a broken invariant of the module, raised
// as its internal error instead of ending the process.
template <typename Body>
PyObject* guarded(Body&& body) {
    try {
        return body();
    } catch (const std::bad_alloc&) {
        PyErr_Clear();
        return PyErr_NoMemory();
    } catch (const std::length_error&) {  // a size past what a container can ever hold
        PyErr_Clear();
        return PyErr_NoMemory();
    } catch (const std::exception& fault) {
        PyErr_Clear();  // whatever was half raised, the fault is what the caller sees
        return raise_internal_error(fault.what());
    } catch (...) {
        PyErr_Clear();
        return raise_internal_error("unknown internal fault");
    }
}

}  // namespace tessmar::lib
