// The tessmar._mjlog module: Tenhou's archive XML (mjlog) as the Tenhou JSON text that
// Tenhou's server makes of it, and as mjai events; and `convert`, the output file of one log
// (mjlog or Tenhou JSON) as bytes. It reports the conversion's failures with _tessmar's own
// exception types, so both modules raise the same thing for the same log, and says where each
// failure is (located.hpp). The core's work runs without the GIL, so that threads scale.
#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <array>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

#include "args.hpp"
#include "errors.hpp"
#include "gil.hpp"
#include "guard.hpp"
#include "located.hpp"
#include "pyref.hpp"
#include "results.hpp"
#include "tessmar/mjlog/mjlog.hpp"
#include "tessmar/pipeline.hpp"
#include "tessmar/encoding/utf8.hpp"

namespace tessmar::lib {

namespace {

PyObject* mjlog_error_type = nullptr;  // tessmar.MjlogError, for the life of the process

// The text as the core reads it: a str's UTF-8 form or a bytes object's content, borrowed from
// `value` (which the caller's arguments keep alive for the whole call). Both are immutable: the
// content of a bytes object never changes, and a str's UTF-8 form, once made, is kept with it
// unchanged; so the core may read either without the GIL. bytearray and memoryview are
// refused, since another thread could change them meanwhile.
std::optional<std::string_view> text_argument_view(PyObject* value, const char* name) {
    if (PyBytes_Check(value)) {
        return std::string_view(PyBytes_AS_STRING(value), static_cast<std::size_t>(PyBytes_GET_SIZE(value)));
    }
    if (PyUnicode_Check(value)) {
        Py_ssize_t size = 0;
        const char* utf8 = PyUnicode_AsUTF8AndSize(value, &size);
        if (utf8 == nullptr) return std::nullopt;
        return std::string_view(utf8, static_cast<std::size_t>(size));
    }
    PyErr_Format(PyExc_TypeError, "argument '%s' must be str or bytes, not %.200s", name, Py_TYPE(value)->tp_name);
    return std::nullopt;
}

// A log's text (borrowed, as text_argument_view says) and its game id (copied; "" when not given).
struct Arguments {
    std::string_view text;
    std::string ref;
};

// The text argument `text` (named `name` in errors) and the optional `ref`, as Arguments.
std::optional<Arguments> text_and_ref(PyObject* text, const char* name, PyObject* ref) {
    const std::optional<std::string_view> view = text_argument_view(text, name);
    if (!view) return std::nullopt;
    if (ref == nullptr) return Arguments{*view, {}};
    std::optional<std::string> copied = text_argument(ref, "ref");
    if (!copied) return std::nullopt;
    return Arguments{*view, std::move(*copied)};
}

constexpr std::array<const char*, 2> kParameters{"xml", "ref"};

std::optional<Arguments> bind(const char* function, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    const Signature signature{function, kParameters, 1};
    std::array<PyObject*, 2> bound;
    if (!bind_arguments(signature, args, nargs, kwnames, bound)) return std::nullopt;
    return text_and_ref(bound[0], "xml", bound[1]);
}

// ---------------------------------------------------------------- work without the GIL

// Why a text gives no output: the XML reader's refusal, a pipeline stage's, or JSON bytes that
// are not UTF-8 (reported as Python's decoder reports them). Not a std::variant: its variable
// templates would be exported from the shared object as unique symbols.
struct Refusal {
    enum class Kind : std::uint8_t { Mjlog, Pipeline, NotUtf8 } kind;
    mjlog::MjlogError mjlog{};
    PipelineError pipeline{};

    Refusal(mjlog::MjlogError e) : kind(Kind::Mjlog), mjlog(std::move(e)) {}
    Refusal(PipelineError e) : kind(Kind::Pipeline), pipeline(std::move(e)) {}
    static Refusal not_utf8() { return Refusal(Kind::NotUtf8); }

private:
    explicit Refusal(Kind k) : kind(k) {}
};

PyObject* raise_refusal(const Refusal& refusal, std::string_view text) {
    switch (refusal.kind) {
        case Refusal::Kind::Mjlog: return raise_mjlog_failure(mjlog_error_type, refusal.mjlog);
        case Refusal::Kind::Pipeline: return raise_pipeline_failure(refusal.pipeline);
        case Refusal::Kind::NotUtf8: return raise_not_utf8(text);
    }
    return raise_internal_error("unknown refusal");
}

// The events of a game in mjlog XML: straight from the game read to its columns, no JSON text
// is written or read.
std::expected<EventTexts, Refusal> mjlog_events(std::string_view xml, std::string_view ref) {
    mjlog::Game game;
    if (auto ok = mjlog::read_mjlog(xml, ref, game); !ok) return std::unexpected(std::move(ok.error()));
    auto texts = convert_mjlog_texts(game);
    if (!texts) return std::unexpected(std::move(texts.error()));
    return std::move(*texts);
}

// The output file of one log: its mjai lines, or the Tenhou JSON text. `is_input`: the output
// is the input text itself (a Tenhou JSON log asked for as Tenhou JSON).
struct Output {
    std::string text;
    bool is_input = false;
};

// Whether a log is mjlog XML rather than Tenhou JSON, told by its first character that is not
// JSON whitespace.
bool looks_like_xml(std::string_view text) {
    const std::size_t first = text.find_first_not_of(" \t\r\n");
    return first != std::string_view::npos && text[first] == '<';
}

std::expected<Output, Refusal> convert_text(std::string_view text, std::string_view ref, std::optional<bool> mjlog,
                                            bool tenhou, bool check_utf8) {
    if (mjlog.value_or(looks_like_xml(text))) {
        if (tenhou) {
            auto json = mjlog::mjlog_to_tenhou(text, ref);
            if (!json) return std::unexpected(std::move(json.error()));
            return Output{std::move(*json)};
        }
        auto texts = mjlog_events(text, ref);
        if (!texts) return std::unexpected(std::move(texts.error()));
        return Output{std::move(texts->buffer)};  // each text followed by its line feed
    }
    // Converted in full even when only checked: the log is copied once it converts.
    auto texts = convert_log_texts(text);
    if (!texts) {
        // The reader refuses every text that is not UTF-8 (it checks the bytes of each string,
        // and a byte from 0x80 on is no JSON outside one), so only a text it refused can be
        // one: bytes are told as not UTF-8 then, as decoding them would tell, without a second
        // pass over every log.
        if (check_utf8 && texts.error().stage == Stage::Parse && !is_valid_utf8(text))
            return std::unexpected(Refusal::not_utf8());
        return std::unexpected(std::move(texts.error()));
    }
    if (tenhou) return Output{{}, true};
    return Output{std::move(texts->buffer)};
}

// A new bytes object holding `text`, which is emptied.
PyObject* bytes_of(std::string& text) {
    PyObject* bytes = PyBytes_FromStringAndSize(nullptr, static_cast<Py_ssize_t>(text.size()));
    if (bytes == nullptr) return nullptr;
    char* to = PyBytes_AS_STRING(bytes);
    // Without the GIL: `to` is the buffer of a bytes object that only this call knows of (it
    // owns the one reference, and no other code has seen it); `text` is this call's own.
    without_gil([&] {
        std::memcpy(to, text.data(), text.size());
        std::string().swap(text);
    });
    return bytes;
}

// ---------------------------------------------------------------- functions

PyObject* mjlog_to_tenhou(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return guarded([&]() -> PyObject* {
        const std::optional<Arguments> arguments = bind("mjlog_to_tenhou", args, nargs, kwnames);
        if (!arguments) return nullptr;
        // Without the GIL: the XML is borrowed as text_argument_view says, `ref` is a copy, and
        // the result is a C++ string.
        auto json = without_gil([&] { return mjlog::mjlog_to_tenhou(arguments->text, arguments->ref); });
        if (!json) return raise_mjlog_failure(mjlog_error_type, json.error());
        return text_to_str(*json, false);
    });
}

PyObject* mjlog_to_mjai(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return guarded([&]() -> PyObject* {
        const std::optional<Arguments> arguments = bind("mjlog_to_mjai", args, nargs, kwnames);
        if (!arguments) return nullptr;
        // Without the GIL: as in mjlog_to_tenhou; the game and its texts are C++ values.
        auto texts = without_gil([&] { return mjlog_events(arguments->text, arguments->ref); });
        if (!texts) return raise_refusal(texts.error(), arguments->text);
        return texts_to_list(*texts);
    });
}

constexpr std::array<const char*, 4> kConvertParameters{"text", "ref", "mjlog", "tenhou"};
constexpr Signature kConvertSignature{"convert_text", kConvertParameters, 1, 2};

// The output file of the log `text_object` (str or bytes, not compressed): convert's work, for
// convert and for the plain case of convert_log.
PyObject* convert_object(PyObject* text_object, const char* name, PyObject* ref_object, std::optional<bool> mjlog,
                         bool tenhou) {
    const std::optional<Arguments> arguments = text_and_ref(text_object, name, ref_object);
    if (!arguments) return nullptr;
    const std::string_view text = arguments->text;
    // A str's UTF-8 form is valid; bytes are checked as JSON, as decoding them would.
    const bool check_utf8 = PyBytes_Check(text_object);

    // Without the GIL: the text is borrowed as text_argument_view says, `ref` is a copy,
    // and everything made (the game, its events, the output) is a C++ value of this call.
    auto output = without_gil([&] { return convert_text(text, arguments->ref, mjlog, tenhou, check_utf8); });
    if (!output) return raise_refusal(output.error(), text);
    if (!output->is_input) return bytes_of(output->text);
    if (PyBytes_CheckExact(text_object)) return Py_NewRef(text_object);  // immutable: the same object serves
    return PyBytes_FromStringAndSize(text.data(), static_cast<Py_ssize_t>(text.size()));
}

PyObject* convert(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return with_arguments<4>(kConvertSignature, args, nargs, kwnames, [&](const std::array<PyObject*, 4>& bound) -> PyObject* {
        // None: told by the text's first character.
        std::optional<bool> mjlog;
        if (bound[2] != Py_None) {
            const int given = PyObject_IsTrue(bound[2]);
            if (given < 0) return nullptr;
            mjlog = given != 0;
        }
        const int tenhou = PyObject_IsTrue(bound[3]);
        if (tenhou < 0) return nullptr;
        return convert_object(bound[0], "text", bound[1], mjlog, tenhou != 0);
    });
}

// tessmar.convert. A plain log within its bound, and no gzip output, is converted here; the rest
// (decompression, the size bound's error, compression) is tessmar.conversion's Python, to which
// the call is passed as it came. Threads converting at once share the GIL for whatever runs
// with it held: the common case runs no Python code at all.
constexpr std::array<const char*, 5> kConvertLogParameters{"data", "ref", "to", "gzip", "max_size"};
constexpr Signature kConvertLogSignature{"convert", kConvertLogParameters, 1, 4, true};
constexpr Py_ssize_t kDefaultMaxSize = Py_ssize_t{64} << 20;  // as tessmar.inputs.DEFAULT_MAX_SIZE

bool is_compressed(PyObject* data) {
    if (!PyBytes_Check(data)) return false;
    const std::string_view head(PyBytes_AS_STRING(data), static_cast<std::size_t>(PyBytes_GET_SIZE(data)));
    return head.starts_with("\x1f\x8b") || head.starts_with("BZh");
}

PyObject* convert_general(PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    const Ref module(PyImport_ImportModule("tessmar.conversion"));
    if (!module) return nullptr;
    const Ref general(PyObject_GetAttrString(module.get(), "convert_general"));
    if (!general) return nullptr;
    return PyObject_Vectorcall(general.get(), args, static_cast<std::size_t>(nargs), kwnames);
}

PyObject* convert_log(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return with_arguments<5>(kConvertLogSignature, args, nargs, kwnames, [&](const std::array<PyObject*, 5>& bound) -> PyObject* {
        PyObject* data = bound[0];
        bool tenhou = false;
        if (PyObject* to = bound[2]; to != nullptr) {
            const bool is_str = PyUnicode_Check(to);
            if (is_str && PyUnicode_CompareWithASCIIString(to, "tenhou") == 0) {
                tenhou = true;
            } else if (!is_str || PyUnicode_CompareWithASCIIString(to, "mjai") != 0) {
                return PyErr_Format(PyExc_ValueError, "to must be 'mjai' or 'tenhou', not %R", to);
            }
        }
        Py_ssize_t limit = kDefaultMaxSize;
        bool plain = bound[3] == nullptr || bound[3] == Py_False;
        if (bound[4] != nullptr) {
            limit = PyLong_Check(bound[4]) ? PyLong_AsSsize_t(bound[4]) : -1;
            if (limit < 0) {
                PyErr_Clear();
                plain = false;  // an odd bound: Python's rules judge it
            }
        }
        const Py_ssize_t size = PyBytes_Check(data)     ? PyBytes_GET_SIZE(data)
                                : PyUnicode_Check(data) ? PyUnicode_GET_LENGTH(data)
                                                        : 0;
        if (!plain || size > limit || is_compressed(data)) return convert_general(args, nargs, kwnames);
        return convert_object(data, "data", bound[1], std::nullopt, tenhou);
    });
}

template <auto Function>
constexpr PyCFunction as_method() {
    // METH_FASTCALL | METH_KEYWORDS functions are stored under the generic pointer type.
    return reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(Function));
}

PyMethodDef methods[] = {
    {"convert", as_method<convert_log>(), METH_FASTCALL | METH_KEYWORDS,
     "convert(data, *, ref='', to='mjai', gzip=False, max_size=67108864)\n--\n\n"
     "The output file of one log, byte for byte as `tessmar convert` writes it: its mjai events, "
     "each followed by a line feed, or with `to=\"tenhou\"` its Tenhou JSON text; gzip-compressed "
     "(one member) when `gzip`.\n\n"
     "`data` is Tenhou JSON or mjlog XML, as `str` or `bytes`, plain, gzip- or bzip2-compressed: its "
     "first bytes tell which. `ref` is the game id a mjlog's JSON carries. Decompression stops at "
     "`max_size` bytes with `LogTooLarge`. Failures raise what `tenhou_to_mjai`, `mjlog_to_mjai` and "
     "`mjlog_to_tenhou` raise for the same text, with the place of the fault as attributes `offset`, "
     "`kyoku` and `seat` and as a note. The interpreter's lock is released while the log is "
     "decompressed, converted and compressed, so threads convert in parallel."},
    {"convert_text", as_method<convert>(), METH_FASTCALL | METH_KEYWORDS,
     "convert_text(text, ref='', *, mjlog, tenhou)\n--\n\n"
     "The output file of one log as bytes: its mjai events, each followed by a line feed, or with "
     "`tenhou` its Tenhou JSON text. `text` (str or bytes, not compressed) is mjlog XML with `mjlog`, "
     "else Tenhou JSON (`mjlog` None: XML when its first character other than whitespace is '<'); "
     "`ref` is the game id of a mjlog's JSON."},
    {"mjlog_to_tenhou", as_method<mjlog_to_tenhou>(), METH_FASTCALL | METH_KEYWORDS,
     "mjlog_to_tenhou(xml, ref='')\n--\n\nThe Tenhou JSON text of a game in mjlog XML."},
    {"mjlog_to_mjai", as_method<mjlog_to_mjai>(), METH_FASTCALL | METH_KEYWORDS,
     "mjlog_to_mjai(xml, ref='')\n--\n\nThe mjai events of a game in mjlog XML."},
    {nullptr, nullptr, 0, nullptr},
};

PyModuleDef module_def = {
    PyModuleDef_HEAD_INIT,
    "tessmar._mjlog",
    "Tenhou's archive XML (mjlog) as Tenhou JSON and as mjai events; one log's output file as bytes.",
    0,  // no per-module state: like _tessmar, one interpreter per process
    methods,
    nullptr, nullptr, nullptr, nullptr,
};

PyObject* init_module() {
    // _tessmar refuses a second interpreter, and so, through this import, does this module.
    const Ref tessmar(PyImport_ImportModule("_tessmar"));
    if (!tessmar || !adopt_module_exceptions(tessmar.get()) || !make_shared_texts()) return nullptr;
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
