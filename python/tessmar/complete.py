"""Telling a finished mjai output from one cut short, so that a rerun keeps only the finished."""

from __future__ import annotations

import os
import stat
import zlib

from tessmar.inputs import gunzip

# Every converted game ends with this line; an output cut anywhere before its last byte lacks it.
END = b'\n{"type":"end_game"}\n'


def is_complete(path: str, compressed: bool) -> bool:
    """Whether the output at `path` ends with the end_game line; for a gzipped output, whether
    it is also a whole gzip stream (decompressed a piece at a time to find out). Anything that
    cannot be read counts as not complete."""
    try:
        # Non-blocking: opening a FIFO left under an output's name must not hang the run.
        with open(os.open(path, os.O_RDONLY | os.O_NONBLOCK), "rb") as out:
            status = os.fstat(out.fileno())
            if not stat.S_ISREG(status.st_mode):
                return False
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
    except (OSError, EOFError, zlib.error):
        return False
