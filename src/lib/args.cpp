#include "args.hpp"

#include <algorithm>

#include "errors.hpp"
#include "pyref.hpp"

namespace tessmar::lib {

namespace {

std::size_t find_parameter(const Signature& signature, PyObject* keyword) {
    if (PyUnicode_Check(keyword)) {
        for (std::size_t i = 0; i < signature.parameters.size(); ++i) {
            if (PyUnicode_CompareWithASCIIString(keyword, signature.parameters[i]) == 0) return i;
        }
    }
    return signature.parameters.size();
}

}  // namespace

bool bind_arguments(const Signature& signature, PyObject* const* args, Py_ssize_t nargs,
                    PyObject* kwnames, std::span<PyObject*> bound) {
    const std::size_t all = signature.parameters.size();
    const std::size_t count = all - signature.keyword_only;  // the positional ones
    std::fill(bound.begin(), bound.end(), nullptr);

    if (static_cast<std::size_t>(nargs) > count) {
        const char* verb = nargs == 1 ? "was" : "were";
        if (signature.required == count) {
            raise_message(PyExc_TypeError,
                          PyUnicode_FromFormat("%s() takes %zu positional arguments but %zd %s given",
                                               signature.function, count, nargs, verb));
        } else {
            raise_message(PyExc_TypeError,
                          PyUnicode_FromFormat("%s() takes from %zu to %zu positional arguments but %zd %s given",
                                               signature.function, signature.required, count, nargs, verb));
        }
        return false;
    }
    for (Py_ssize_t i = 0; i < nargs; ++i) bound[static_cast<std::size_t>(i)] = args[i];

    if (kwnames != nullptr) {
        const Py_ssize_t keywords = PyTuple_GET_SIZE(kwnames);
        for (Py_ssize_t k = 0; k < keywords; ++k) {
            PyObject* keyword = PyTuple_GET_ITEM(kwnames, k);
            const std::size_t index = find_parameter(signature, keyword);
            if (index == all) {
                raise_message(PyExc_TypeError,
                              PyUnicode_FromFormat("%s() got an unexpected keyword argument '%S'",
                                                   signature.function, keyword));
                return false;
            }
            if (bound[index] != nullptr) {
                raise_message(PyExc_TypeError,
                              PyUnicode_FromFormat("%s() got multiple values for argument '%s'",
                                                   signature.function, signature.parameters[index]));
                return false;
            }
            bound[index] = args[nargs + k];
        }
    }

    for (std::size_t i = 0; i < signature.required; ++i) {
        if (bound[i] == nullptr) {
            raise_message(PyExc_TypeError,
                          PyUnicode_FromFormat("%s() missing 1 required positional argument: '%s'",
                                               signature.function, signature.parameters[i]));
            return false;
        }
    }
    // Worded as the interpreter words it: "'a'", "'a' and 'b'", "'a', 'b' and 'c'".
    std::size_t missing = 0;
    for (std::size_t i = count; i < all; ++i) missing += bound[i] == nullptr;
    if (missing == 0 || signature.keywords_optional) return true;
    Ref names(PyUnicode_FromString(""));
    std::size_t listed = 0;
    for (std::size_t i = count; i < all && names; ++i) {
        if (bound[i] != nullptr) continue;
        const char* separator = listed == 0 ? "" : listed + 1 == missing ? " and " : ", ";
        names = Ref(PyUnicode_FromFormat("%U%s'%s'", names.get(), separator, signature.parameters[i]));
        ++listed;
    }
    if (!names) return false;
    raise_message(PyExc_TypeError, PyUnicode_FromFormat("%s() missing %zu required keyword-only argument%s: %U",
                                                        signature.function, missing, missing == 1 ? "" : "s",
                                                        names.get()));
    return false;
}

std::optional<std::string> text_argument(PyObject* value, const char* name) {
    if (!PyUnicode_Check(value)) {
        const Ref type_name(PyType_GetQualName(Py_TYPE(value)));
        if (!type_name) {
            PyErr_Clear();
            raise_message(PyExc_TypeError,
                          PyUnicode_FromFormat("argument '%s': '<failed to extract type name>' object "
                                               "cannot be converted to 'PyString'",
                                               name));
        } else {
            raise_message(PyExc_TypeError,
                          PyUnicode_FromFormat("argument '%s': '%U' object cannot be converted to 'PyString'",
                                               name, type_name.get()));
        }
        return std::nullopt;
    }
    Py_ssize_t size = 0;
    const char* utf8 = PyUnicode_AsUTF8AndSize(value, &size);
    if (utf8 == nullptr) return std::nullopt;
    return std::string(utf8, static_cast<std::size_t>(size));
}

std::optional<std::string> path_argument(PyObject* value, const char* name) {
    Ref path(PyOS_FSPath(value));
    if (!path) {
        reword_argument_error(name);
        return std::nullopt;
    }
    if (PyUnicode_Check(path.get())) {
        path = Ref(PyUnicode_EncodeFSDefault(path.get()));
        if (!path) {
            reword_argument_error(name);
            return std::nullopt;
        }
    }
    // PyOS_FSPath yields str or bytes only; both are bytes by now.
    return std::string(PyBytes_AS_STRING(path.get()), static_cast<std::size_t>(PyBytes_GET_SIZE(path.get())));
}

}  // namespace tessmar::lib
