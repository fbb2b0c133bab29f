#include "located.hpp"

#include <string>

#include "pyref.hpp"

namespace tessmar::lib {

namespace {

PyObject* int_or_none(int value) { return value >= 0 ? PyLong_FromLong(value) : Py_NewRef(Py_None); }

bool set_attribute(PyObject* exception, const char* name, PyObject* value) {
    const Ref owned(value);
    return owned && PyObject_SetAttrString(exception, name, owned.get()) == 0;
}

// Gives `exception` its place and its note; false with the exception of that failure set.
bool locate(PyObject* exception, const Location& where, std::string_view note) {
    const Fault& f = where.fault;
    PyObject* offset = where.offset != kNoOffset ? PyLong_FromSize_t(where.offset) : Py_NewRef(Py_None);
    if (!set_attribute(exception, "offset", offset) || !set_attribute(exception, "kyoku", int_or_none(f.kyoku)) ||
        !set_attribute(exception, "seat", int_or_none(f.seat)))
        return false;
    const Ref text(PyUnicode_DecodeUTF8(note.data(), static_cast<Py_ssize_t>(note.size()), "replace"));
    if (!text) return false;
    const Ref added(PyObject_CallMethod(exception, "add_note", "O", text.get()));
    return static_cast<bool>(added);
}

// Takes the pending exception of type `type` and locates it; any other exception (the
// failure to make it) stays as it is.
PyObject* locate_pending(PyObject* type, const Location& where, std::string_view note) {
    PyObject* exception = PyErr_GetRaisedException();
    if (exception == nullptr || !PyObject_TypeCheck(exception, reinterpret_cast<PyTypeObject*>(type))) {
        PyErr_SetRaisedException(exception);
        return nullptr;
    }
    if (!locate(exception, where, note)) {
        Py_DECREF(exception);
        return nullptr;
    }
    PyErr_SetRaisedException(exception);
    return nullptr;
}

}  // namespace

PyObject* raise_located(const Failure& failure, const Location& where, std::string_view note) {
    raise(failure);
    return locate_pending(failure.type, where, note);
}

PyObject* raise_pipeline_failure(const PipelineError& error) {
    const std::optional<Failure> failure = stage_failure(error.stage);
    if (!failure) return nullptr;
    return raise_located(*failure, error.where, location_note(error.where, error.detail));
}

PyObject* raise_mjlog_failure(PyObject* type, const mjlog::MjlogError& error) {
    const Location where{error.offset, error.fault};
    return raise_located({type, error.message}, where, location_note(Location{kNoOffset, error.fault}, error.message));
}

PyObject* raise_not_utf8(std::string_view text) {
    // The interpreter's own decoder words it, so that it is exactly what bytes.decode raises.
    const Ref decoded(PyUnicode_DecodeUTF8(text.data(), static_cast<Py_ssize_t>(text.size()), "strict"));
    if (decoded) return raise_internal_error("a text checked as not UTF-8 decodes");
    if (!PyErr_ExceptionMatches(PyExc_UnicodeDecodeError)) return nullptr;
    PyObject* exception = PyErr_GetRaisedException();
    Py_ssize_t start = 0;
    const Ref reason(PyUnicodeDecodeError_GetReason(exception));
    if (!reason || PyUnicodeDecodeError_GetStart(exception, &start) < 0) {
        Py_DECREF(exception);
        return nullptr;
    }
    PyErr_SetRaisedException(exception);
    Py_ssize_t size = 0;
    const char* reason_text = PyUnicode_AsUTF8AndSize(reason.get(), &size);
    if (reason_text == nullptr) return nullptr;
    const Location where{static_cast<std::size_t>(start), {}};
    return locate_pending(PyExc_UnicodeDecodeError, where,
                          location_note(where, "not UTF-8 (" + std::string(reason_text, static_cast<std::size_t>(size)) + ")"));
}

}  // namespace tessmar::lib
