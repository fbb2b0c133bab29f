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
- `JsonSerializationError`: an event could not be written as JSON text.

File problems raise `OSError` subclasses. The exception classes are those of the extension
module `_tessmar` itself, so catching `tessmar.JsonParsingError` also catches the ones raised by
`_tessmar` directly.

Tenhou's archive XML (mjlog, plain or gzip-compressed) is read by `mjlog_to_tenhou` (the Tenhou
JSON text, as Tenhou's server writes it) and `mjlog_to_mjai`; malformed XML raises `MjlogError`,
also a `ValueError`.

The command `tessmar convert` (or `python -m tessmar convert`) converts whole archives in
parallel; see `tessmar convert --help`.
"""

import os

import _tessmar
from _tessmar import (
    JsonParsingError,
    JsonSerializationError,
    TenhouLogParsingError,
    TenhouToMjaiError,
)

from tessmar.mjlog import MjlogError, mjlog_to_mjai, mjlog_to_tenhou

__all__ = [
    "JsonParsingError",
    "JsonSerializationError",
    "MjlogError",
    "TenhouLogParsingError",
    "TenhouToMjaiError",
    "__version__",
    "mjlog_to_mjai",
    "mjlog_to_tenhou",
    "tenhou_file_to_mjai",
    "tenhou_to_mjai",
]

__version__: str = _tessmar.__version__
"""The version of the converter, the same as `_tessmar.__version__`."""

_Path = str | bytes | os.PathLike[str] | os.PathLike[bytes]


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
