// The tessmar._mjlog module: Tenhou's archive XML (mjlog) as the Tenhou JSON text that
// Tenhou's server makes of it, and as mjai events. It reports the conversion's failures with
// _tessmar's own exception types, so both modules raise the same thing for the same log.
#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <array>
#include <optional>
#include <string>
#include <string_view>

#include "args.hpp"
#include "errors.hpp"
#include "guard.hpp"
#include "pyref.hpp"
#include "results.hpp"
#include "tessmar/mjlog/mjlog.hpp"
#include "tessmar/pipeline.hpp"

namespace tessmar::lib {

namespace {

PyObject* mjlog_error_type = nullptr;  // tessmar.MjlogError, for the life of the process

// The XML as the core reads it: a str's UTF-8 form or a bytes object's content, borrowed from
// `value` (which the caller's arguments keep alive for the whole call).
std::optional<std::string_view> xml_argument(PyObject* value) {
    if (PyBytes_Check(value)) {
        return std::string_view(PyBytes_AS_STRING(value), static_cast<std::size_t>(PyBytes_GET_SIZE(value)));
    }
    if (PyUnicode_Check(value)) {
        Py_ssize_t size = 0;
        const char* utf8 = PyUnicode_AsUTF8AndSize(value, &size);
        if (utf8 == nullptr) return std::nullopt;
        return std::string_view(utf8, static_cast<std::size_t>(size));
    }
    PyErr_Format(PyExc_TypeError, "argument 'xml' must be str or bytes, not %.200s", Py_TYPE(value)->tp_name);
    return std::nullopt;
}

struct Arguments {
    std::string_view xml;
    std::string ref;
};

constexpr std::array<const char*, 2> kParameters{"xml", "ref"};

std::optional<Arguments> bind(const char* function, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    const Signature signature{function, kParameters, 1};
    std::array<PyObject*, 2> bound;
    if (!bind_arguments(signature, args, nargs, kwnames, bound)) return std::nullopt;
    const std::optional<std::string_view> xml = xml_argument(bound[0]);
    if (!xml) return std::nullopt;
    std::optional<std::string> ref;
    if (bound[1] != nullptr) {
        ref = text_argument(bound[1], "ref");
        if (!ref) return std::nullopt;
    }
    return Arguments{*xml, ref.value_or(std::string())};
}

PyObject* raise_mjlog_error(const mjlog::MjlogError& error) { return raise({mjlog_error_type, error.message}); }

PyObject* mjlog_to_tenhou(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return guarded([&]() -> PyObject* {
        const std::optional<Arguments> arguments = bind("mjlog_to_tenhou", args, nargs, kwnames);
        if (!arguments) return nullptr;
        const auto json = mjlog::mjlog_to_tenhou(arguments->xml, arguments->ref);
        if (!json) return raise_mjlog_error(json.error());
        return text_to_str(*json, false);
    });
}

PyObject* mjlog_to_mjai(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return guarded([&]() -> PyObject* {
        const std::optional<Arguments> arguments = bind("mjlog_to_mjai", args, nargs, kwnames);
        if (!arguments) return nullptr;
        // Straight from the game read to its columns: no JSON text is written or read.
        mjlog::Game game;
        if (auto ok = mjlog::read_mjlog(arguments->xml, arguments->ref, game); !ok) return raise_mjlog_error(ok.error());
        const auto texts = convert_mjlog_texts(game);
        if (!texts) return raise_stage_failure(texts.error().stage);
        return texts_to_list(*texts);
    });
}

template <auto Function>
constexpr PyCFunction as_method() {
    // METH_FASTCALL | METH_KEYWORDS functions are stored under the generic pointer type.
    return reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(Function));
}

PyMethodDef methods[] = {
    {"mjlog_to_tenhou", as_method<mjlog_to_tenhou>(), METH_FASTCALL | METH_KEYWORDS,
     "mjlog_to_tenhou(xml, ref='')\n--\n\nThe Tenhou JSON text of a game in mjlog XML."},
    {"mjlog_to_mjai", as_method<mjlog_to_mjai>(), METH_FASTCALL | METH_KEYWORDS,
     "mjlog_to_mjai(xml, ref='')\n--\n\nThe mjai events of a game in mjlog XML."},
    {nullptr, nullptr, 0, nullptr},
};

PyModuleDef module_def = {
    PyModuleDef_HEAD_INIT,
    "tessmar._mjlog",
    "Tenhou's archive XML (mjlog) as Tenhou JSON and as mjai events.",
    0,  // no per-module state: like _tessmar, one interpreter per process
    methods,
    nullptr, nullptr, nullptr, nullptr,
};

PyObject* init_module() {
    // _tessmar refuses a second interpreter, and so, through this import, does this module.
    const Ref tessmar(PyImport_ImportModule("_tessmar"));
    if (!tessmar || !adopt_module_exceptions(tessmar.get())) return nullptr;
    if (mjlog_error_type == nullptr) {
        mjlog_error_type = PyErr_NewExceptionWithDoc(
            "tessmar.MjlogError", "mjlog XML that is malformed, cut short, or not a four-player game.",
            PyExc_ValueError, nullptr);
        if (mjlog_error_type == nullptr) return nullptr;
    }
    Ref module(PyModule_Create(&module_def));
    if (!module || PyModule_AddObjectRef(module.get(), "MjlogError", mjlog_error_type) < 0) return nullptr;
    return module.release();
}

}  // namespace

}  // namespace tessmar::lib

PyMODINIT_FUNC PyInit__mjlog(void) {
    return tessmar::lib::guarded([] { return tessmar::lib::init_module(); });
}
