#include "results.hpp"

#include <array>
#include <cstdint>
#include <cstring>

#include "errors.hpp"
#include "pyref.hpp"
#include "tessmar/encoding/utf8.hpp"

namespace tessmar::lib {

// Event texts are ASCII apart from player names, and building an ASCII str directly skips
// the UTF-8 decoder.
PyObject* text_to_str(std::string_view text, bool ascii) {
    if (ascii || is_ascii(text)) {
        PyObject* str = PyUnicode_New(static_cast<Py_ssize_t>(text.size()), 127);
        if (str == nullptr) return nullptr;
        std::memcpy(PyUnicode_1BYTE_DATA(str), text.data(), text.size());
        return str;
    }
    PyObject* str = PyUnicode_DecodeUTF8(text.data(), static_cast<Py_ssize_t>(text.size()), "strict");
    if (str == nullptr && PyErr_ExceptionMatches(PyExc_UnicodeDecodeError)) {
        // The input was UTF-8 and the writer only adds ASCII: this is our own fault.
        PyErr_Clear();
        return raise_internal_error("an event text is not valid UTF-8");
    }
    return str;
}

PyObject* texts_to_list(const EventTexts& texts) {
    Ref list(PyList_New(static_cast<Py_ssize_t>(texts.size())));
    if (!list) return nullptr;
    // Equal texts of the frequent small events share one str: fewer objects to build and free.
    std::array<PyObject*, EventTexts::kRepeatKeys> shared{};
    for (std::size_t i = 0; i < texts.size(); ++i) {
        const std::uint16_t key = texts.repeat_keys[i];
        PyObject* item = key ? shared[key] : nullptr;
        if (item != nullptr) {
            Py_INCREF(item);
        } else {
            item = text_to_str(texts[i], texts.ascii);
            if (item == nullptr) return nullptr;
            if (key) shared[key] = item;  // borrowed: the list holds it
        }
        PyList_SET_ITEM(list.get(), static_cast<Py_ssize_t>(i), item);
    }
    return list.release();
}

}  // namespace tessmar::lib
