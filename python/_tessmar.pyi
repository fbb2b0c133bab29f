"""Converts one four-player Tenhou JSON game log into the mjai event stream."""

import os

__all__ = [
    "TenhouLogParsingError",
    "TenhouToMjaiError",
    "JsonSerializationError",
    "JsonParsingError",
    "tenhou_file_to_mjai",
    "tenhou_to_mjai",
    "__version__",
    "VERSION",
]

class TenhouLogParsingError(ValueError):
    """The log is valid JSON of the right shape but not a game that can be converted,
    for example a three-player log or malformed win details ("invalid log")."""

class TenhouToMjaiError(ValueError):
    """The log's take and discard columns cannot be put into an order of play."""

class JsonSerializationError(ValueError):
    """An event could not be written as JSON text. Kept so that callers may catch it: every
    event text is written from values the reader has already checked, so no log raises it."""

class JsonParsingError(ValueError):
    """The text is not JSON, or its JSON is not a Tenhou log."""

def tenhou_file_to_mjai(
    filename: str | bytes | os.PathLike[str] | os.PathLike[bytes],
    mjai_out: str | bytes | os.PathLike[str] | os.PathLike[bytes] | None = None,
) -> list[str]:
    """Reads the log in `filename` (UTF-8) and returns its mjai events, one JSON text each.

    When `mjai_out` is given, the events are also written there one per line
    ("-" is standard output), only after the whole conversion succeeded.
    File problems raise `OSError` subclasses. Equal event texts may be one shared `str`
    object, in one result and across results.
    """

def tenhou_to_mjai(data: str) -> list[str]:
    """Converts the JSON text of one Tenhou log and returns its mjai events, one JSON text each.

    Equal event texts may be one shared `str` object, in one result and across results.
    """

__version__: str
VERSION: str
