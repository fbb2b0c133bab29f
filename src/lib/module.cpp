// The _tessmar module: initialisation and the two conversion functions.
#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <array>
#include <atomic>
#include <cstdint>
#include <string>

#include "args.hpp"
#include "errors.hpp"
#include "guard.hpp"
#include "io.hpp"
#include "pyref.hpp"
#include "results.hpp"
#include "tessmar/pipeline.hpp"

#ifndef TESSMAR_PACKAGE_VERSION
#error "TESSMAR_PACKAGE_VERSION must be defined by the build"
#endif

namespace tessmar::lib {

namespace {

// ---------------------------------------------------------------- functions

PyObject* convert_text(const std::string& text) {
    auto texts = convert_log_texts(text);
    if (!texts) return raise_stage_failure(texts.error().stage);
    return texts_to_list(*texts);
}

constexpr std::array<const char*, 1> kTextParameters{"data"};
constexpr Signature kTextSignature{"tenhou_to_mjai", kTextParameters, 1};

PyObject* tenhou_to_mjai(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return with_arguments<1>(kTextSignature, args, nargs, kwnames, [&](const std::array<PyObject*, 1>& bound) -> PyObject* {
        const std::optional<std::string> text = text_argument(bound[0], "data");
        if (!text) return nullptr;
        return convert_text(*text);
    });
}

constexpr std::array<const char*, 2> kFileParameters{"filename", "mjai_out"};
constexpr Signature kFileSignature{"tenhou_file_to_mjai", kFileParameters, 1};

PyObject* tenhou_file_to_mjai(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return with_arguments<2>(kFileSignature, args, nargs, kwnames, [&](const std::array<PyObject*, 2>& bound) -> PyObject* {
        const std::optional<std::string> filename = path_argument(bound[0], "filename");
        if (!filename) return nullptr;
        std::optional<std::string> mjai_out;
        if (bound[1] != nullptr && bound[1] != Py_None) {
            mjai_out = path_argument(bound[1], "mjai_out");
            if (!mjai_out) return nullptr;
        }

        auto text = read_log_file(*filename);
        if (!text) return raise_read_failure(text.error(), *filename);
        auto texts = convert_log_texts(*text);
        if (!texts) return raise_stage_failure(texts.error().stage);
        std::string().swap(*text);  // the log is no longer needed while the output is written

        // Only now, with every text and the result list in hand, is the output touched: a
        // failure before this point (memory included) leaves no file behind.
        Ref list(texts_to_list(*texts));
        if (!list) return nullptr;
        if (mjai_out) {
            auto written = write_lines(*mjai_out, *texts);
            if (!written) return raise_write_failure(written.error(), *mjai_out);
        }
        return list.release();
    });
}

template <auto Function>
constexpr PyCFunction as_method() {
    // METH_FASTCALL | METH_KEYWORDS functions are stored under the generic pointer type.
    return reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(Function));
}

PyMethodDef tenhou_file_to_mjai_def = {
    "tenhou_file_to_mjai", as_method<tenhou_file_to_mjai>(), METH_FASTCALL | METH_KEYWORDS,
    "tenhou_file_to_mjai(filename, mjai_out=None)\n--\n\n"};

PyMethodDef tenhou_to_mjai_def = {
    "tenhou_to_mjai", as_method<tenhou_to_mjai>(), METH_FASTCALL | METH_KEYWORDS,
    "tenhou_to_mjai(data)\n--\n\n"};

// ---------------------------------------------------------------- module

PyModuleDef module_def = {
    PyModuleDef_HEAD_INIT,
    "_tessmar",
    "",       // an empty docstring, not a missing one
    0,        // no per-module state
    nullptr,  // functions are added one by one, in order
    nullptr, nullptr, nullptr, nullptr,
};

// The module and the exception types are process-wide objects, so only the first
// interpreter that imports the module may use it.
std::atomic<std::int64_t> first_interpreter{-1};
PyObject* the_module = nullptr;

std::string version_text() {
    std::string version = TESSMAR_PACKAGE_VERSION;
    const auto replace_all = [&version](const std::string& from, const std::string& to) {
        for (std::size_t at = version.find(from); at != std::string::npos; at = version.find(from, at + to.size())) {
            version.replace(at, from.size(), to);
        }
    };
    replace_all("-alpha", "a");
    replace_all("-beta", "b");
    return version;
}

// Sets module.NAME and appends NAME to module.__all__ (created by the first addition).
bool add_attribute(PyObject* module, const char* name, PyObject* value) {
    PyObject* dict = PyModule_GetDict(module);
    PyObject* all = PyDict_GetItemString(dict, "__all__");
    if (all == nullptr) {
        const Ref created(PyList_New(0));
        if (!created || PyDict_SetItemString(dict, "__all__", created.get()) < 0) return false;
        all = created.get();  // the dictionary keeps it alive
    }
    const Ref key(PyUnicode_InternFromString(name));
    if (!key || PyList_Append(all, key.get()) < 0) return false;
    return PyModule_AddObjectRef(module, name, value) == 0;
}

bool add_function(PyObject* module, PyMethodDef* def) {
    const Ref module_name(PyModule_GetNameObject(module));
    if (!module_name) return false;
    const Ref function(PyCMethod_New(def, module, module_name.get(), nullptr));
    return function && add_attribute(module, def->ml_name, function.get());
}

PyObject* create_module() {
    Ref module(PyModule_Create(&module_def));
    if (!module) return nullptr;
    static constexpr std::array<std::pair<const char*, ModuleException>, 4> kExceptions{{
        {"TenhouLogParsingError", ModuleException::TenhouLogParsing},
        {"TenhouToMjaiError", ModuleException::TenhouToMjai},
        {"JsonSerializationError", ModuleException::JsonSerialization},
        {"JsonParsingError", ModuleException::JsonParsing},
    }};
    for (const auto& [name, which] : kExceptions) {
        PyObject* type = module_exception(which);
        if (type == nullptr || !add_attribute(module.get(), name, type)) return nullptr;
    }
    if (!make_shared_texts()) return nullptr;
    if (!add_function(module.get(), &tenhou_file_to_mjai_def)) return nullptr;
    if (!add_function(module.get(), &tenhou_to_mjai_def)) return nullptr;
    const std::string version = version_text();
    const Ref version_str(PyUnicode_FromStringAndSize(version.data(), static_cast<Py_ssize_t>(version.size())));
    if (!version_str || !add_attribute(module.get(), "__version__", version_str.get()) ||
        !add_attribute(module.get(), "VERSION", version_str.get())) {
        return nullptr;
    }
    return module.release();
}

PyObject* init_module() {
    const std::int64_t interpreter = PyInterpreterState_GetID(PyInterpreterState_Get());
    if (interpreter < 0) return nullptr;
    std::int64_t first = -1;
    if (!first_interpreter.compare_exchange_strong(first, interpreter) && first != interpreter) {
        return raise({PyExc_ImportError,
                      "_tessmar does not support sub-interpreters: it is already loaded in another "
                      "interpreter of this process"});
    }
    if (the_module == nullptr) {
        the_module = create_module();  // a failed attempt is not cached; the next import retries
        if (the_module == nullptr) return nullptr;
    }
    return Py_NewRef(the_module);
}

}  // namespace

}  // namespace tessmar::lib

PyMODINIT_FUNC PyInit__tessmar(void) {
    return tessmar::lib::guarded([] { return tessmar::lib::init_module(); });
}
