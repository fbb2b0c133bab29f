"""Tenhou's archive XML (mjlog) as Tenhou JSON and as mjai events; one log's output file as bytes.

Every failure of a log that these functions raise (MjlogError, the exceptions of _tessmar, and
UnicodeDecodeError for JSON bytes that are not UTF-8) keeps its type, message and args, and
carries where the log was refused: the attributes `offset`, `kyoku` and `seat` (int or None)
and one note (PEP 678) saying it in words.
"""

from typing import Literal

class MjlogError(ValueError):
    """mjlog XML that is malformed, cut short, or not a four-player game."""

    offset: int | None
    kyoku: int | None
    seat: int | None

def mjlog_to_tenhou(xml: str | bytes, ref: str = "") -> str: ...
def mjlog_to_mjai(xml: str | bytes, ref: str = "") -> list[str]: ...
def convert(
    data: str | bytes,
    *,
    ref: str = "",
    to: Literal["mjai", "tenhou"] = "mjai",
    gzip: bool = False,
    max_size: int = 67108864,
) -> bytes:
    """tessmar.convert: the plain case converted here, the rest passed on to
    tessmar.conversion.convert_general."""

def convert_text(text: str | bytes, ref: str = "", *, mjlog: bool | None, tenhou: bool) -> bytes:
    """The output file of one log: its mjai events, each followed by a line feed, or with
    `tenhou` its Tenhou JSON text (a JSON log's own bytes, once it converts). `text` (not
    compressed) is mjlog XML with `mjlog`, else Tenhou JSON; `mjlog` None: XML when its first
    character other than whitespace is "<". `ref` is the game id written into a mjlog's JSON."""
