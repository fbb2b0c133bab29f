"""The logs the command reads: which files are logs, and reading one within the size bound."""

from __future__ import annotations

import bz2
import io
import json
import re
import zlib
from collections.abc import Iterator
from typing import BinaryIO

GZIP_MAGIC = b"\x1f\x8b"
BZIP2_MAGIC = b"BZh"

# Far above any real game (a few hundred KiB at most), far below what a worker can hold.
DEFAULT_MAX_SIZE = 64 * 1024 * 1024

# How much of a log is read or decompressed at a time.
CHUNK = 1 << 20


class LogTooLarge(ValueError):
    """A log longer than the bound, counted after decompression."""


# The kinds of log, told by the file's name: Tenhou's JSON log, and its archive XML (mjlog).
JSON_EXTENSIONS = (".json",)
MJLOG_EXTENSIONS = (".mjlog", ".xml")
LOG_EXTENSIONS = JSON_EXTENSIONS + MJLOG_EXTENSIONS
# Compressed forms of a log, told by a second extension (the content says it as well).
COMPRESSED_EXTENSIONS = (".gz", ".bz2")
LOG_NAMES = ", ".join(f"{e}, {e}.gz, {e}.bz2" for e in LOG_EXTENSIONS)

# The game lengths --length can keep.
LENGTHS = ("east", "south", "any")

# A Tenhou game id, as archive file names carry it (with or without a prefix or suffix).
GAME_ID = re.compile(r"\d{10}gm-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{8}")


# The same, without their dots and by what follows the last dot: a name is split once.
_KIND_OF_EXTENSION = {extension[1:]: extension for extension in LOG_EXTENSIONS}
_COMPRESSED = {extension[1:] for extension in COMPRESSED_EXTENSIONS}


def split_log_name(name: str) -> tuple[str, str] | None:
    """A log file's name as its stem and its kind's extension ("x.mjlog.gz" gives ("x",
    ".mjlog")); None for a name that is no log's."""
    stem, dot, extension = name.rpartition(".")
    if not dot:
        return None
    extension = extension.lower()
    if extension in _COMPRESSED:
        stem, dot, extension = stem.rpartition(".")
        if not dot:
            return None
        extension = extension.lower()
    kind = _KIND_OF_EXTENSION.get(extension)
    return None if kind is None else (stem, kind)


def is_log_name(name: str) -> bool:
    return split_log_name(name) is not None


def is_mjlog_name(name: str) -> bool:
    split = split_log_name(name)
    return split is not None and split[1] in MJLOG_EXTENSIONS


def game_ref(name: str) -> str:
    """The game id that a mjlog file's name carries, written into its JSON as "ref": the Tenhou
    game id found in the name, or else the name without its extensions."""
    stem = (split_log_name(name) or (name, ""))[0]
    found = GAME_ID.search(stem)
    return found[0] if found else stem


def parse_size(text: str) -> int:
    """A byte count written plainly or with a binary suffix: 65536, 64K, 64M, 1G (KiB, MiB and
    GiB too)."""
    match = re.fullmatch(r"\s*(\d+)\s*(?:([KMG])(?:i?B)?)?\s*", text, re.IGNORECASE)
    if match is None:
        raise ValueError(f"not a size: {text!r} (a byte count, or a number with K, M or G)")
    value = int(match[1]) << 10 * " KMG".index((match[2] or " ").upper())
    if value < 1:
        raise ValueError(f"must be at least 1 byte: {text}")
    return value


def too_large(limit: int, compressed: bool = False) -> LogTooLarge:
    counted = ", decompressed" if compressed else ""
    return LogTooLarge(f"the log is larger than {limit} bytes (the size bound){counted}")


def read_log_bytes(source: bytes | BinaryIO, limit: int) -> bytes:
    """The content of a log (a stream, or bytes already in memory), decompressed first when it
    starts like gzip or bzip2 data; never more than `limit` bytes of it are held, however large
    the file or its decompressed content."""
    if isinstance(source, bytes):
        if not source.startswith((GZIP_MAGIC, BZIP2_MAGIC)):  # plain: as it is, not copied
            if len(source) > limit:
                raise too_large(limit)
            return source
        stream: BinaryIO = io.BytesIO(source)
    else:
        stream = source
    data = bytearray()
    first = stream.read(min(CHUNK, limit + 1))
    if first[:2] == GZIP_MAGIC:
        pieces, compressed = gunzip(first, stream), True
    elif first[:3] == BZIP2_MAGIC:
        pieces, compressed = bunzip2(first, stream), True
    else:
        pieces, compressed = _pieces(first, stream), False
    for piece in pieces:
        data += piece
        if len(data) > limit:
            raise too_large(limit, compressed)
    return bytes(data)


def read_log(stream: BinaryIO, limit: int) -> str:
    """As read_log_bytes, as text."""
    return read_log_bytes(stream, limit).decode("utf-8")


def _pieces(first: bytes, stream: BinaryIO) -> Iterator[bytes]:
    yield first
    while chunk := stream.read(CHUNK):
        yield chunk


def gunzip(first: bytes, stream: BinaryIO) -> Iterator[bytes]:
    """The decompressed content of gzip data (`first`, then the rest of `stream`), a piece of at
    most CHUNK bytes at a time, however much a small input expands. Members are taken one after
    another and zero bytes after the last, as gzip.decompress takes them; data cut short raises
    EOFError, damaged data zlib.error."""
    inflate = zlib.decompressobj(zlib.MAX_WBITS | 16)  # with the gzip header and trailer
    pending = first
    while True:
        if not pending:
            pending = stream.read(CHUNK)
            if not pending:
                # What the last piece left inside the decompressor: one match at most.
                yield inflate.flush()
                if inflate.eof:
                    return
                raise EOFError("Compressed file ended before the end-of-stream marker was reached")
        if inflate.eof:  # another member may follow, or zero bytes of padding
            pending = pending.lstrip(b"\0")
            if not pending:
                continue
            inflate = zlib.decompressobj(zlib.MAX_WBITS | 16)
        yield inflate.decompress(pending, CHUNK)
        pending = inflate.unused_data if inflate.eof else inflate.unconsumed_tail


def bunzip2(first: bytes, stream: BinaryIO) -> Iterator[bytes]:
    """As gunzip, for bzip2 data: streams one after another, a piece of at most CHUNK bytes at
    a time; data cut short raises EOFError, damaged data OSError."""
    inflate = bz2.BZ2Decompressor()
    pending = first
    while True:
        if inflate.eof:
            pending = inflate.unused_data + pending
            if not pending:
                pending = stream.read(CHUNK)
                if not pending:
                    return
            inflate = bz2.BZ2Decompressor()
        elif not pending and inflate.needs_input:
            pending = stream.read(CHUNK)
            if not pending:
                raise EOFError("Compressed file ended before the end-of-stream marker was reached")
        yield inflate.decompress(pending, CHUNK)
        pending = b""


# The rule text of a Tenhou JSON log, found without parsing the whole log: inside a JSON string
# every quote is escaped, so `"disp"` followed by a colon can only be a key.
_DISP = re.compile(r'"disp"\s*:\s*"((?:[^"\\]|\\.)*)"')
# The game type of a mjlog (its first GO tag), whose bit 0x08 marks a half-game.
_GO_TYPE = re.compile(r'<GO\s[^>]*?\btype="(\d+)"')
SOUTH_GAME = 0x08


def is_east_game(text: str, mjlog: bool) -> bool | None:
    """Whether a log is of an east-only game (tonpuusen) rather than a half-game, told as the
    converter tells it (the rule text holds "東" or "East"; the mjlog GO type lacks 0x08); None
    when the log does not say, which leaves it to the conversion to fail."""
    try:
        if mjlog:
            found = _GO_TYPE.search(text)
            return None if found is None else not int(found[1]) & SOUTH_GAME
        match = _DISP.search(text)
        if match is not None:
            disp = json.loads(f'"{match[1]}"')
        else:  # no rule text, or a rule written as an array: read the log
            rule = json.loads(text).get("rule")
            disp = rule[0] if isinstance(rule, list) and rule else ""
            if not isinstance(disp, str):
                return None
        return "東" in disp or "East" in disp
    except (ValueError, AttributeError):
        return None


def keeps_length(text: bytes, mjlog: bool, length: str) -> bool:
    """Whether --length `length` keeps the game of this log (its decompressed bytes)."""
    if length == "any":
        return True
    east = is_east_game(text.decode("utf-8", "replace"), mjlog)
    return east is None or east == (length == "east")
