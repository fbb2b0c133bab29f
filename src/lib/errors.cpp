#include "errors.hpp"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iterator>

#include "paths.hpp"
#include "tessmar/encoding/utf8.hpp"

// The name of the input format in messages.
#define TESSMAR_FORMAT "tenhou.net/6"

namespace tessmar::lib {

namespace {

struct ExceptionSlot {
    const char* qualified_name;
    PyObject* type;  // owned for the life of the process once created
};

// Indexed by ModuleException.
ExceptionSlot exception_slots[] = {
    {"_tessmar.TenhouLogParsingError", nullptr},
    {"_tessmar.TenhouToMjaiError", nullptr},
    {"_tessmar.JsonSerializationError", nullptr},
    {"_tessmar.JsonParsingError", nullptr},
};
static_assert(std::size(exception_slots) == static_cast<std::size_t>(ModuleException::JsonParsing) + 1);

PyObject* internal_error_type = nullptr;

// Creates once, keeps forever. The global lock serialises callers; should a creation
// ever race with another, the later result is dropped in favour of the cached one.
PyObject* cached_type(PyObject*& slot, const char* name, const char* doc, PyObject* base) {
    if (slot != nullptr) return slot;
    PyObject* created = PyErr_NewExceptionWithDoc(name, doc, base, nullptr);
    if (created == nullptr) return nullptr;
    if (slot != nullptr) {
        Py_DECREF(created);
        return slot;
    }
    slot = created;
    return slot;
}

PyObject* os_error_type(int error) {
    switch (error) {
        case EPERM:
        case EACCES: return PyExc_PermissionError;
        case ENOENT: return PyExc_FileNotFoundError;
        case EINTR: return PyExc_InterruptedError;
        case EAGAIN: return PyExc_BlockingIOError;
        case EEXIST: return PyExc_FileExistsError;
        case EPIPE: return PyExc_BrokenPipeError;
        case ECONNABORTED: return PyExc_ConnectionAbortedError;
        case ECONNRESET: return PyExc_ConnectionResetError;
        case ETIMEDOUT: return PyExc_TimeoutError;
        case ECONNREFUSED: return PyExc_ConnectionRefusedError;
        default: return PyExc_OSError;
    }
}

// strerror_r comes in two shapes (GNU returns the text, XSI fills the buffer).
[[maybe_unused]] const char* strerror_text(char* result, const char*) { return result; }
[[maybe_unused]] const char* strerror_text(int result, const char* buffer) {
    return result == 0 ? buffer : nullptr;
}

// Whether a character in a quoted path is written as \u{...}. Printability comes
// from the interpreter's own Unicode database (Python's sense: spaces other than
// U+0020 are not printable either, so they cannot pass for ordinary spaces).
// Combining marks are Grapheme_Extend: general category Mn or Me, looked up in
// unicodedata, which ships with the interpreter, plus the Other_Grapheme_Extend list.
class EscapePolicy {
public:
    EscapePolicy() = default;
    EscapePolicy(const EscapePolicy&) = delete;
    EscapePolicy& operator=(const EscapePolicy&) = delete;
    ~EscapePolicy() { Py_XDECREF(category_); }

    bool operator()(char32_t c) {
        if (c < 0x80) return c < 0x20 || c == 0x7F;
        if (!Py_UNICODE_ISPRINTABLE(static_cast<Py_UCS4>(c))) return true;
        return is_other_grapheme_extend(c) || is_mark(c);
    }

private:
    bool is_mark(char32_t c) {
        if (!looked_up_) {
            looked_up_ = true;
            PyObject* module = PyImport_ImportModule("unicodedata");
            if (module != nullptr) {
                category_ = PyObject_GetAttrString(module, "category");
                Py_DECREF(module);
            }
            // Without the database the marks go unescaped; the message is still raised.
            if (category_ == nullptr) PyErr_Clear();
        }
        if (category_ == nullptr) return false;
        PyObject* character = PyUnicode_FromOrdinal(static_cast<int>(c));
        PyObject* name = character ? PyObject_CallOneArg(category_, character) : nullptr;
        Py_XDECREF(character);
        bool mark = false;
        if (name != nullptr && PyUnicode_Check(name)) {
            mark = PyUnicode_CompareWithASCIIString(name, "Mn") == 0 ||
                   PyUnicode_CompareWithASCIIString(name, "Me") == 0;
        }
        Py_XDECREF(name);
        if (PyErr_Occurred()) PyErr_Clear();
        return mark;
    }

    PyObject* category_ = nullptr;
    bool looked_up_ = false;
};

}  // namespace

PyObject* module_exception(ModuleException which) {
    ExceptionSlot& slot = exception_slots[static_cast<int>(which)];
    return cached_type(slot.type, slot.qualified_name, nullptr, PyExc_ValueError);
}

bool adopt_module_exceptions(PyObject* owner) {
    for (ExceptionSlot& slot : exception_slots) {
        if (slot.type != nullptr) continue;
        const char* name = std::strchr(slot.qualified_name, '.') + 1;
        PyObject* type = PyObject_GetAttrString(owner, name);
        if (type == nullptr) return false;
        slot.type = type;  // kept for the life of the process, as a created one would be
    }
    return true;
}

PyObject* raise(const Failure& failure) {
    return raise_message(failure.type,
                         PyUnicode_DecodeUTF8(failure.message.data(),
                                              static_cast<Py_ssize_t>(failure.message.size()), "replace"));
}

PyObject* raise_message(PyObject* type, PyObject* message) {
    if (message == nullptr) return nullptr;
    PyObject* exception = PyObject_CallOneArg(type, message);
    Py_DECREF(message);
    if (exception == nullptr) return nullptr;
    // Set as it stands: PyErr_SetObject would chain the exception being handled
    // by the caller as __context__.
    PyErr_SetRaisedException(exception);
    return nullptr;
}

PyObject* raise_stage_failure(Stage stage) {
    const std::optional<Failure> failure = stage_failure(stage);
    return failure ? raise(*failure) : nullptr;
}

std::optional<Failure> stage_failure(Stage stage) {
    ModuleException which;
    const char* message;
    switch (stage) {
        case Stage::Parse:
            which = ModuleException::JsonParsing;
            message = "failed to parse " TESSMAR_FORMAT " log";
            break;
        case Stage::Model:
            which = ModuleException::TenhouLogParsing;
            message = "invalid log";
            break;
        case Stage::Convert:
            which = ModuleException::TenhouToMjai;
            message = "failed to convert " TESSMAR_FORMAT " log to mjai";
            break;
        default:
            raise_internal_error("pipeline reported an unknown stage");
            return std::nullopt;
    }
    PyObject* type = module_exception(which);
    if (type == nullptr) return std::nullopt;
    return Failure{type, message};
}

PyObject* raise_read_failure(const ReadFailure& failure, std::string_view path) {
    switch (failure.kind) {
        case ReadFailureKind::Open: {
            EscapePolicy policy;
            std::string message = "failed to open " TESSMAR_FORMAT " log file ";
            message += quoted_path(path, [&policy](char32_t c) { return policy(c); });
            return raise({PyExc_FileNotFoundError, std::move(message)});
        }
        case ReadFailureKind::Read:
            return raise({os_error_type(failure.error), system_error_text(failure.error)});
        case ReadFailureKind::InvalidUtf8:
            return raise({PyExc_OSError, "stream did not contain valid UTF-8"});
    }
    return raise_internal_error("unknown read failure");
}

PyObject* raise_write_failure(WriteFailure failure, std::string_view path) {
    switch (failure) {
        case WriteFailure::Create:
            return raise({PyExc_OSError, "failed to create mjai out file " + utf8_lossy(path)});
        case WriteFailure::Write:
            return raise({PyExc_OSError, "failed to write to mjai out file"});
    }
    return raise_internal_error("unknown write failure");
}

PyObject* raise_internal_error(std::string_view description) {
    // Derived from BaseException so that `except Exception` in callers does not swallow
    // a broken module; kept out of the module's attributes.
    PyObject* type = cached_type(internal_error_type, "_tessmar.InternalError",
                                 "An internal fault of _tessmar (not a problem with the input).",
                                 PyExc_BaseException);
    if (type == nullptr) return nullptr;
    return raise({type, std::string(description)});
}

void reword_argument_error(const char* name) {
    PyObject* inner = PyErr_GetRaisedException();
    if (inner == nullptr) return;
    if (!Py_IS_TYPE(inner, reinterpret_cast<PyTypeObject*>(PyExc_TypeError))) {
        PyErr_SetRaisedException(inner);
        return;
    }
    PyObject* text = PyObject_Str(inner);
    if (text == nullptr) {
        // str() of a plain TypeError failing leaves nothing better than the original.
        PyErr_Clear();
        PyErr_SetRaisedException(inner);
        return;
    }
    PyObject* message = PyUnicode_FromFormat("argument '%s': %U", name, text);
    Py_DECREF(text);
    PyObject* outer = message ? PyObject_CallOneArg(PyExc_TypeError, message) : nullptr;
    Py_XDECREF(message);
    if (outer == nullptr) {
        Py_DECREF(inner);
        return;  // the allocation failure is what is raised
    }
    // The inner exception is dropped, its own cause is kept.
    if (PyObject* cause = PyException_GetCause(inner)) PyException_SetCause(outer, cause);
    Py_DECREF(inner);
    PyErr_SetRaisedException(outer);
}

std::string system_error_text(int error) {
    char buffer[256];
    const char* description = strerror_text(strerror_r(error, buffer, sizeof buffer), buffer);
    std::string text = description != nullptr ? description : "Unknown error";
    // Formatted by hand: std::to_string would bring a GNU-unique symbol that the
    // linker exports next to PyInit__tessmar.
    char digits[16];
    const int length = std::snprintf(digits, sizeof digits, "%d", error);
    text += " (os error ";
    text.append(digits, length > 0 ? static_cast<std::size_t>(length) : 0);
    text += ')';
    return text;
}

}  // namespace tessmar::lib
