"""Tenhou game logs to mjai event streams.

    import tessmar
    events = tessmar.tenhou_to_mjai(text)                 # list[str], one JSON text per event
    tessmar.tenhou_file_to_mjai("game.json", "game.mjson")  # also writes the events as lines

Bad input raises one of four exceptions, all subclasses of `ValueError`, and never yields a
partial result:

- `JsonParsingError`: the text is not JSON, or its JSON is not a Tenhou log;
- `TenhouLogParsingError`: a log that is not a convertible four-player game ("invalid log"),
  such as a three-player log or malformed win details;
- `TenhouToMjaiError`: the log's columns cannot be put into an order of play;
- `JsonSerializationError`: an event could not be written as JSON text (kept for callers that
  catch it: event texts are written from values already checked, so no log raises it).

File problems raise `OSError` subclasses. The exception classes are those of the extension
module `_tessmar` itself, so catching `tessmar.JsonParsingError` also catches the ones raised by
`_tessmar` directly.

Tenhou's archive XML (mjlog, plain or compressed) is read by `mjlog_to_tenhou` (the Tenhou
JSON text, as Tenhou's server writes it) and `mjlog_to_mjai`; malformed XML raises `MjlogError`,
also a `ValueError`.

For pipelines:

- `convert(data)`: any log (Tenhou JSON or mjlog XML, `str` or `bytes`, plain, gzip or bzip2)
  to the bytes of its output file, with the interpreter's lock released while it works;
- `iter_logs(*sources)`: the logs of files, folders, downloader databases and zip or tar
  archives, as `Log` records;
- `convert_tree(sources, out)`: the batch run of `tessmar convert`, on local processes or any
  `concurrent.futures.Executor` (a Dask cluster's too), returning a `Summary`.

Decompression stops at a size bound with `LogTooLarge` (a `ValueError`). The exceptions raised
by the package's own functions say where the log is at fault: attributes `offset`, `kyoku` and
`seat`, and a note.

The command `tessmar convert` (or `python -m tessmar convert`) converts whole archives in
parallel; see `tessmar convert --help`.
"""

import os as _os
from typing import TYPE_CHECKING as _TYPE_CHECKING

import _tessmar
from _tessmar import (
    JsonParsingError,
    JsonSerializationError,
    TenhouLogParsingError,
    TenhouToMjaiError,
)

from tessmar.conversion import convert
from tessmar.inputs import LogTooLarge
from tessmar.mjlog import MjlogError, mjlog_to_mjai, mjlog_to_tenhou

if _TYPE_CHECKING:
    from tessmar.batch import Summary, convert_tree
    from tessmar.sources import Log, iter_logs

# The batch run and the archive readers import much of the standard library (sqlite3, tarfile,
# zipfile, concurrent.futures): they are loaded on first use, so that a worker process, which
# needs only the converter, starts quickly.
_LAZY = {"Summary": "tessmar.batch", "convert_tree": "tessmar.batch", "Log": "tessmar.sources", "iter_logs": "tessmar.sources"}


def __getattr__(name: str) -> object:
    module = _LAZY.get(name)
    if module is None:
        raise AttributeError(f"module 'tessmar' has no attribute {name!r}")
    import importlib

    value = getattr(importlib.import_module(module), name)
    globals()[name] = value
    return value


def __dir__() -> list[str]:
    return sorted(set(globals()) | set(_LAZY))

__all__ = [
    "JsonParsingError",
    "JsonSerializationError",
    "Log",
    "LogTooLarge",
    "MjlogError",
    "Summary",
    "TenhouLogParsingError",
    "TenhouToMjaiError",
    "__version__",
    "convert",
    "convert_tree",
    "iter_logs",
    "mjlog_to_mjai",
    "mjlog_to_tenhou",
    "tenhou_file_to_mjai",
    "tenhou_to_mjai",
]

__version__: str = _tessmar.__version__
"""The version of the converter, the same as `_tessmar.__version__`."""

_Path = str | bytes | _os.PathLike[str] | _os.PathLike[bytes]


# The extension's functions carry no docstrings of their own; these wrappers give them one and
# pass the arguments through untouched, so errors and results are the extension's.
def tenhou_to_mjai(data: str) -> list[str]:
    """Converts the JSON text of one four-player Tenhou log into mjai events.

    Returns one compact JSON text per event, from `start_game` to `end_game`. Raises
    `JsonParsingError`, `TenhouLogParsingError`, `TenhouToMjaiError` or
    `JsonSerializationError` for a log that cannot be converted, and `TypeError` when `data`
    is not a `str`.
    """
    return _tessmar.tenhou_to_mjai(data)


def tenhou_file_to_mjai(filename: _Path, mjai_out: _Path | None = None) -> list[str]:
    """Reads one Tenhou log from the UTF-8 file `filename` and converts it like `tenhou_to_mjai`.

    When `mjai_out` is given, the events are also written to that file, one per line ("-" means
    standard output). Nothing is written unless the whole conversion succeeded. File problems
    raise `OSError` subclasses.
    """
    return _tessmar.tenhou_file_to_mjai(filename, mjai_out)
