"""Telling a finished output (mjai lines or Tenhou JSON) from one cut short, so that a rerun
keeps only the finished."""

from __future__ import annotations

import json
import os
import stat
import zlib
from collections.abc import Iterator
from typing import BinaryIO

from tessmar.inputs import DEFAULT_MAX_SIZE, gunzip

# Every converted game ends with this line; an output cut anywhere before its last byte lacks it.
END = b'\n{"type":"end_game"}\n'


def is_complete(path: str, compressed: bool, tenhou: bool = False) -> bool:
    """Whether the output at `path` ends with the end_game line (`tenhou`: whether it is one
    whole JSON text); for a gzipped output, whether it is also a whole gzip stream
    (decompressed a piece at a time to find out). Anything that cannot be read counts as not
    complete."""
    try:
        # Non-blocking: opening a FIFO left under an output's name must not hang the run.
        with open(os.open(path, os.O_RDONLY | os.O_NONBLOCK), "rb") as out:
            status = os.fstat(out.fileno())
            if not stat.S_ISREG(status.st_mode):
                return False
            if tenhou:
                # A JSON log cut anywhere is no longer JSON.
                data = bytearray()
                for piece in gunzip(b"", out) if compressed else _pieces(out):
                    data += piece
                    if len(data) > DEFAULT_MAX_SIZE:
                        return False
                return isinstance(json.loads(data), dict)
            if compressed:
                tail = b""
                for piece in gunzip(b"", out):
                    tail = (tail + piece)[-len(END) :]
                return tail == END
            size = status.st_size
            if size < len(END):
                return False
            out.seek(size - len(END))
            return out.read() == END
    except (OSError, EOFError, zlib.error, ValueError):  # ValueError: not JSON, not UTF-8
        return False


def _pieces(out: BinaryIO) -> Iterator[bytes]:
    while piece := out.read(1 << 20):
        yield piece
