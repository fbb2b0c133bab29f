// An owned reference, released on every path (C++ exceptions included).
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <utility>

namespace tessmar::lib {

class Ref {
public:
    Ref() = default;
    /** Takes over a new reference (or NULL). */
    explicit Ref(PyObject* owned) : object_(owned) {}
    Ref(const Ref&) = delete;
    Ref& operator=(const Ref&) = delete;
    Ref(Ref&& other) noexcept : object_(std::exchange(other.object_, nullptr)) {}
    Ref& operator=(Ref&& other) noexcept {
        std::swap(object_, other.object_);
        return *this;
    }
    ~Ref() { Py_XDECREF(object_); }

    PyObject* get() const { return object_; }
    explicit operator bool() const { return object_ != nullptr; }
    /** Hands the reference to the caller. */
    PyObject* release() { return std::exchange(object_, nullptr); }

private:
    PyObject* object_ = nullptr;
};

}  // namespace tessmar::lib
