// Exceptions that say where a log was refused: the attributes `offset`, `kyoku` and `seat`,
// and a note (PEP 678) that says it in words. The package's own functions raise these;
// _tessmar's functions raise the bare exceptions of errors.hpp.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <string_view>

#include "errors.hpp"
#include "tessmar/location.hpp"
#include "tessmar/mjlog/error.hpp"
#include "tessmar/pipeline.hpp"

namespace tessmar::lib {

/** Raises `failure` as `raise` does (the same type, message and args), the exception carrying
 *  `where` as `offset`, `kyoku` and `seat` (an int each, or None where unknown) and `note` as
 *  its one note. Returns NULL. */
PyObject* raise_located(const Failure& failure, const Location& where, std::string_view note);

/** The exception of a failed pipeline stage, as `raise_stage_failure` raises it, with where
 *  the stage failed. Returns NULL. */
PyObject* raise_pipeline_failure(const PipelineError& error);

/** An mjlog reader's refusal as `type`(its message), with its byte and kyoku; the note leaves
 *  out the byte, which the message names already. Returns NULL. */
PyObject* raise_mjlog_failure(PyObject* type, const mjlog::MjlogError& error);

/** What bytes.decode("utf-8") raises for `text`, which is not UTF-8 (a UnicodeDecodeError),
 *  with the start of the bad sequence as its offset. Returns NULL. */
PyObject* raise_not_utf8(std::string_view text);

}  // namespace tessmar::lib
