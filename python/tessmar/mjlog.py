"""Tenhou's archive format, mjlog XML, plain or compressed: as the Tenhou JSON text that
Tenhou's server makes of it, and as mjai events."""

from __future__ import annotations

from tessmar import _mjlog
from tessmar._mjlog import MjlogError
from tessmar.conversion import decompressed
from tessmar.inputs import DEFAULT_MAX_SIZE

__all__ = ["MjlogError", "mjlog_to_mjai", "mjlog_to_tenhou"]


def mjlog_to_tenhou(xml: str | bytes, ref: str = "", *, max_size: int = DEFAULT_MAX_SIZE) -> str:
    """The Tenhou JSON text of one four-player game given as mjlog XML, byte for byte as
    Tenhou's server writes it; `ref` is the game id it carries (for example
    "2019021004gm-00a9-0000-e2f6516d"). `xml` as `bytes` may be gzip- or bzip2-compressed; it
    is decompressed up to `max_size` bytes (`LogTooLarge` beyond).

    Raises `MjlogError` (a `ValueError`) for XML that is malformed, cut short or not a game the
    JSON log can hold (three-player games among them), saying what is wrong and at which byte.
    """
    return _mjlog.mjlog_to_tenhou(decompressed(xml, max_size, MjlogError), ref)


def mjlog_to_mjai(xml: str | bytes, ref: str = "", *, max_size: int = DEFAULT_MAX_SIZE) -> list[str]:
    """The mjai events of one game given as mjlog XML: the same as
    `tenhou_to_mjai(mjlog_to_tenhou(xml, ref))`, without making the JSON text a `str`.

    Raises `MjlogError` as `mjlog_to_tenhou` does, and the exceptions of `tenhou_to_mjai` for
    a game that cannot be converted.
    """
    return _mjlog.mjlog_to_mjai(decompressed(xml, max_size, MjlogError), ref)
