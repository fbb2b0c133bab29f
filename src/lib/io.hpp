// Reading the log file and writing event lines, straight on file descriptors.
#pragma once

#include <expected>
#include <string>

#include "tessmar/pipeline.hpp"

namespace tessmar::lib {

enum class ReadFailureKind {
    Open,         // the file could not be opened, whatever the reason
    Read,         // a read call failed; `error` holds errno
    InvalidUtf8,  // the whole content was read but is not UTF-8
};

struct ReadFailure {
    ReadFailureKind kind;
    int error;  // errno of the failed call, 0 for InvalidUtf8
};

/** Reads the whole file at the byte path `path` (read-only, close-on-exec; reads
 *  interrupted by a signal are retried) and checks that it is UTF-8.
 *  The descriptor is closed before returning. */
std::expected<std::string, ReadFailure> read_log_file(const std::string& path);

enum class WriteFailure {
    Create,  // the output file could not be created or truncated
    Write,   // a write failed; the lines written so far stay
};

/** Writes each text followed by "\n" to standard output when `path` is "-" (or "-/", ...),
 *  otherwise to the file `path`, created or truncated with mode 0666 before the umask.
 *  A file is closed before returning, on every path. */
std::expected<void, WriteFailure> write_lines(const std::string& path, const EventTexts& texts);

}  // namespace tessmar::lib
