"""Tenhou's archive format, mjlog XML, plain or gzip-compressed: as the Tenhou JSON text that
Tenhou's server makes of it, and as mjai events."""

from __future__ import annotations

import gzip
import zlib

from tessmar import _mjlog
from tessmar._mjlog import MjlogError

__all__ = ["MjlogError", "mjlog_to_mjai", "mjlog_to_tenhou"]

GZIP_MAGIC = b"\x1f\x8b"


def _plain(xml: str | bytes) -> str | bytes:
    """The XML itself: bytes that start like gzip data are decompressed first."""
    if isinstance(xml, bytes) and xml[:2] == GZIP_MAGIC:
        try:
            return gzip.decompress(xml)
        except (OSError, EOFError, zlib.error) as exc:
            raise MjlogError(f"not a whole gzip stream: {exc}") from None
    return xml


def mjlog_to_tenhou(xml: str | bytes, ref: str = "") -> str:
    """The Tenhou JSON text of one four-player game given as mjlog XML, byte for byte as
    Tenhou's server writes it; `ref` is the game id it carries (for example
    "2019021004gm-00a9-0000-e2f6516d"). `xml` as `bytes` may be gzip-compressed.

    Raises `MjlogError` (a `ValueError`) for XML that is malformed, cut short or not a game the
    JSON log can hold (three-player games among them), saying what is wrong and at which byte.
    """
    return _mjlog.mjlog_to_tenhou(_plain(xml), ref)


def mjlog_to_mjai(xml: str | bytes, ref: str = "") -> list[str]:
    """The mjai events of one game given as mjlog XML: the same as
    `tenhou_to_mjai(mjlog_to_tenhou(xml, ref))`, without making the JSON text a `str`.

    Raises `MjlogError` as `mjlog_to_tenhou` does, and the exceptions of `tenhou_to_mjai` for
    a game that cannot be converted.
    """
    return _mjlog.mjlog_to_mjai(_plain(xml), ref)
