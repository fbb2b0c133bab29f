"""Converting one log held in memory: any of its forms in, the output file's bytes out."""

from __future__ import annotations

import gzip as _gzip
import zlib
from typing import TYPE_CHECKING, Literal

from tessmar import _mjlog
from tessmar.inputs import BZIP2_MAGIC, DEFAULT_MAX_SIZE, GZIP_MAGIC, LogTooLarge, read_log_bytes, too_large

__all__ = ["LogTooLarge", "convert", "convert_general", "decompressed", "gzipped"]

# On mjai text level 3 takes about 40% of the time of zlib's usual 6 for files about a fifth
# larger; compressing would otherwise cost more than converting.
GZIP_LEVEL = 3


def gzipped(data: bytes) -> bytes:
    """One gzip member; mtime=0 so that converting the same log twice gives the same bytes."""
    return _gzip.compress(data, compresslevel=GZIP_LEVEL, mtime=0)


def decompressed(data: str | bytes, max_size: int, error: type[Exception] | None = None) -> str | bytes:
    """The log itself: bytes that start like gzip or bzip2 data are decompressed, never beyond
    `max_size` bytes (LogTooLarge). `error`: the exception type that compressed data which is
    damaged or cut short raises, with the decompressor's words; by default its own."""
    if not isinstance(data, bytes) or (data[:2] != GZIP_MAGIC and data[:3] != BZIP2_MAGIC):
        if isinstance(data, (str, bytes)) and len(data) > max_size:  # others: the converter's TypeError
            raise too_large(max_size)
        return data
    try:
        return read_log_bytes(data, max_size)
    except (OSError, EOFError, zlib.error) as exc:
        if error is None:
            raise
        raise error(f"not a whole {'gzip' if data[:2] == GZIP_MAGIC else 'bzip2'} stream: {exc}") from None


def is_xml(text: str | bytes) -> bool:
    """Whether a log is mjlog XML rather than Tenhou JSON, told by its first character that is
    not JSON whitespace, as the extension tells it (only the head is looked at: this runs under
    the interpreter's lock for every log)."""
    if isinstance(text, str):
        head = text[:64].lstrip(" \t\r\n") or text.lstrip(" \t\r\n")
        return head[:1] == "<"
    head_bytes = text[:64].lstrip(b" \t\r\n") or text.lstrip(b" \t\r\n")
    return head_bytes[:1] == b"<"


def convert_general(
    data: bytes | str,
    *,
    ref: str = "",
    to: Literal["mjai", "tenhou"] = "mjai",
    gzip: bool = False,
    max_size: int = DEFAULT_MAX_SIZE,
) -> bytes:
    """`convert` in full, for what the extension's entry passes on: a compressed log, a gzip
    output, a log past its bound, an unusual argument.

    The output file of one log, byte for byte as `tessmar convert` writes it: its mjai
    events, each followed by a line feed, or with `to="tenhou"` its Tenhou JSON text;
    gzip-compressed (one member) when `gzip`.

    `data` is Tenhou JSON or mjlog XML, as `str` or `bytes`, plain, gzip- or
    bzip2-compressed: its first bytes tell which. `ref` is the game id a mjlog's JSON carries.
    Decompression stops at `max_size` bytes with `LogTooLarge`. Failures raise what
    `tenhou_to_mjai`, `mjlog_to_mjai` and `mjlog_to_tenhou` raise for the same text, with the
    place of the fault as attributes `offset`, `kyoku` and `seat` and as a note. The
    interpreter's lock is released while the log is decompressed, converted and compressed,
    so threads convert in parallel.
    """
    if to == "mjai":
        tenhou = False
    elif to == "tenhou":
        tenhou = True
    else:
        raise ValueError(f"to must be 'mjai' or 'tenhou', not {to!r}")
    # The converter tells XML from JSON itself.
    output = _mjlog.convert_text(decompressed(data, max_size), ref, mjlog=None, tenhou=tenhou)
    return gzipped(output) if gzip else output


if TYPE_CHECKING:
    convert = convert_general  # the same signature and behaviour
else:
    # The extension's entry: the plain case without running Python code, which threads
    # converting at once would have to take turns at; the rest comes back to convert_general.
    convert = _mjlog.convert
