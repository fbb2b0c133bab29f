// The module's exception types and the mapping of every failure to an exception.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <optional>
#include <string>
#include <string_view>

#include "io.hpp"
#include "tessmar/pipeline.hpp"

namespace tessmar::lib {

/** The exception types of the module. `JsonSerialization` (JsonSerializationError) is never
 *  raised: every event is written as JSON text from values that always have one, so no
 *  conversion fails there. The type stays because it is part of the module's surface, for
 *  code that names it in an `except` clause. */
enum class ModuleException { TenhouLogParsing, TenhouToMjai, JsonSerialization, JsonParsing };

/** The exception type, created on first request and kept for the life of the process.
 *  Borrowed reference; NULL with an exception set if it cannot be created. */
PyObject* module_exception(ModuleException which);

/** Makes this shared object raise the exception types of `owner`, the imported _tessmar
 *  module, instead of creating its own: a second extension module reports the same failures
 *  with the same types. False with an exception set if `owner` lacks one of them. */
bool adopt_module_exceptions(PyObject* owner);

/** A failure waiting to be raised: the type (borrowed, static) and the message. */
struct Failure {
    PyObject* type;
    std::string message;
};

/** Raises `failure` as type(message): one argument, no cause and no implicit
 *  context. Always returns NULL, for `return raise(...)`. */
PyObject* raise(const Failure& failure);

/** The same with a message that is already a `str` (a new reference, taken over;
 *  NULL means its creation failed and that exception stays). Returns NULL. */
PyObject* raise_message(PyObject* type, PyObject* message);

/** The exception of a failed pipeline stage, not yet raised; nothing, with an exception set,
 *  when its type cannot be had. */
std::optional<Failure> stage_failure(Stage stage);

/** Raises the exception of a failed pipeline stage. Returns NULL. */
PyObject* raise_stage_failure(Stage stage);

/** Raises the failure to read the log file at `path`. Returns NULL. */
PyObject* raise_read_failure(const ReadFailure& failure, std::string_view path);

/** Raises the failure to create or write the output file at `path`. Returns NULL. */
PyObject* raise_write_failure(WriteFailure failure, std::string_view path);

/** Raises the dedicated BaseException subclass for a fault of the module itself. Returns NULL. */
PyObject* raise_internal_error(std::string_view description);

/** Replaces a pending TypeError (exactly that type) from converting argument `name`
 *  by TypeError("argument 'NAME': " + str(inner)), keeping the inner cause. Any other
 *  pending exception is left as it is. */
void reword_argument_error(const char* name);

/** The system's description of `error` followed by " (os error N)". */
std::string system_error_text(int error);

}  // namespace tessmar::lib
