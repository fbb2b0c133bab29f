#include "results.hpp"

#include <array>
#include <cstdint>
#include <cstring>

#include "errors.hpp"
#include "pyref.hpp"
#include "tessmar/emit/emit.hpp"
#include "tessmar/encoding/utf8.hpp"

namespace tessmar::lib {

namespace {

// The str of each repeat key's text (null where a number has none), made once when the module
// is initialised and kept for the life of the process: the frequent small events then cost each
// result one reference instead of one object. Each extension module has its own table.
using SharedTexts = std::array<PyObject*, EventTexts::kRepeatKeys>;
const SharedTexts* shared_texts = nullptr;

}  // namespace

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

bool make_shared_texts() {
    static SharedTexts made{};
    if (shared_texts != nullptr) return true;
    SharedTexts table{};
    for (std::size_t key = 1; key < table.size(); ++key) {
        const std::string_view text = emit::repeat_text(static_cast<std::uint16_t>(key));
        if (text.empty()) continue;
        table[key] = text_to_str(text, true);
        if (table[key] == nullptr) {
            for (PyObject* str : table) Py_XDECREF(str);  // a failed import keeps nothing
            return false;
        }
    }
    made = table;  // the references are kept for the life of the process
    shared_texts = &made;
    return true;
}

PyObject* texts_to_list(const EventTexts& texts) {
    if (shared_texts == nullptr) return raise_internal_error("the shared event texts were never made");
    const SharedTexts& shared = *shared_texts;
    Ref list(PyList_New(static_cast<Py_ssize_t>(texts.size())));
    if (!list) return nullptr;
    for (std::size_t i = 0; i < texts.size(); ++i) {
        const std::uint16_t key = texts.repeat_keys[i];
        PyObject* item = key < shared.size() ? shared[key] : nullptr;
        if (item != nullptr) {
            Py_INCREF(item);
        } else {
            item = text_to_str(texts[i], texts.ascii);
            if (item == nullptr) return nullptr;
        }
        PyList_SET_ITEM(list.get(), static_cast<Py_ssize_t>(i), item);
    }
    return list.release();
}

}  // namespace tessmar::lib
