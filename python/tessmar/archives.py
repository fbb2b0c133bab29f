"""zip and tar archives of logs, read member by member as folders, never unpacked to disk."""

from __future__ import annotations

import bz2
import lzma
import stat
import tarfile
import zipfile
import zlib
from collections.abc import Callable, Iterator
from typing import IO, Any, NamedTuple

from tessmar.inputs import BZIP2_MAGIC, CHUNK, GZIP_MAGIC, is_log_name, too_large
from tessmar.jobs import exception_name

ZIP_MAGICS = (b"PK\x03\x04", b"PK\x05\x06")  # a zip's first member, or the end of an empty one
# Longest first: "x.tar.gz" is a tar, "x.gz" is not.
ARCHIVE_EXTENSIONS = (".tar.gz", ".tar.bz2", ".tar.xz", ".tgz", ".tar", ".zip")

# Errors of a damaged or cut archive, from tarfile, zipfile or the decompressors under them.
DAMAGED = (tarfile.TarError, zipfile.BadZipFile, EOFError, OSError, zlib.error, lzma.LZMAError)


def archive_stem(name: str) -> str | None:
    """The folder an archive's name stands for ("logs.tar.bz2" gives "logs"), None for a name
    that is no archive's."""
    lower = name.lower()
    for extension in ARCHIVE_EXTENSIONS:
        if lower.endswith(extension) and len(name) > len(extension):
            return name[: -len(extension)]
    return None


def archive_kind(path: str) -> str | None:
    """ "zip" or "tar" for an archive, told by its content (a tar under gzip, bzip2 or xz
    too), else None."""
    try:
        with open(path, "rb") as f:
            head = f.read(4096)
            if head[:4] in ZIP_MAGICS:
                return "zip"
            return "tar" if _tar_header(head, f)[257:262] == b"ustar" else None
    except (OSError, EOFError, zlib.error, lzma.LZMAError):
        return None


def _tar_header(head: bytes, rest: IO[bytes]) -> bytes:
    """The first 512 bytes of a file's content, decompressed when it is compressed: bzip2 gives
    nothing before its first block is whole (up to 900 kB), so input is read until it does."""
    if head.startswith(GZIP_MAGIC):
        decompressor: Any = zlib.decompressobj(zlib.MAX_WBITS | 16)
    elif head.startswith(BZIP2_MAGIC):
        decompressor = bz2.BZ2Decompressor()
    elif head[:6] == b"\xfd7zXZ\x00":
        decompressor = lzma.LZMADecompressor()
    else:
        return head
    out = b""
    while head and len(out) < 512:
        out += decompressor.decompress(head)
        head = rest.read(1 << 16) if len(out) < 512 else b""
    return out


class Member(NamedTuple):
    """A log-named member of an archive: its name, and its content, or why it is refused (an
    exception's name and message), or neither for a member the reader did not want."""

    name: str
    data: bytes | None
    exception: str = ""
    message: str = ""


class ArchiveDamaged(Exception):
    """An archive that cannot be read (any further)."""


def unsafe(name: str) -> str | None:
    """Why a member name could not be written under the output folder, or None."""
    if name.startswith("/") or "\\" in name or "\0" in name or (len(name) > 1 and name[1] == ":"):
        return "an absolute or non-portable member name"
    if ".." in name.split("/"):
        return "a member name that leads out of the archive's folder (..)"
    return None


def read_bounded(stream: IO[bytes], limit: int) -> bytes:
    """A member's content, refused once longer than `limit` whatever its header claims."""
    data = bytearray()
    while piece := stream.read(min(CHUNK, limit + 1 - len(data))):
        data += piece
        if len(data) > limit:
            raise too_large(limit, compressed=True)
    return bytes(data)


def _refused(name: str, exception: str, message: str) -> Member:
    return Member(name, None, exception, message)


def _failed(name: str, exc: BaseException) -> Member:
    return _refused(name, exception_name(exc), str(exc))


def _open_zip(path: str) -> zipfile.ZipFile:
    try:
        return zipfile.ZipFile(path)
    except DAMAGED as exc:
        raise ArchiveDamaged(str(exc)) from None


def count_members(path: str) -> int:
    """The log members a zip's index lists."""
    with _open_zip(path) as archive:
        return sum(
            1 for info in archive.infolist()
            if not info.is_dir() and is_log_name(info.filename.rsplit("/", 1)[-1])
        )


def _refusal(name: str, link: bool, regular: bool) -> Member | None:
    """The refusal of a member that could not be written under the output folder as a file."""
    why = unsafe(name)
    if why is None and link:
        why = "the member is a link"
    elif why is None and not regular:
        why = "the member is not a regular file"
    return None if why is None else _refused(name, "UnsafePath", f"refused: {why}")


# Whether a member (by name) is to be read: false for one whose output is already there.
Wanted = Callable[[str], bool]


def zip_members(path: str, limit: int, wanted: Wanted) -> Iterator[Member]:
    """The log members of a zip, in its order. A zip whose index cannot be read raises
    ArchiveDamaged; a member that cannot be read fails alone."""
    with _open_zip(path) as archive:
        for info in archive.infolist():
            name = info.filename
            if info.is_dir() or not is_log_name(name.rsplit("/", 1)[-1]):
                continue
            refusal = _refusal(name, stat.S_ISLNK(info.external_attr >> 16), True)
            if refusal is not None:
                yield refusal
            elif info.flag_bits & 0x1:
                yield _refused(name, "EncryptedMember", "the member is encrypted")
            elif not wanted(name):
                yield Member(name, None)
            else:
                try:
                    with archive.open(info) as member:
                        yield Member(name, read_bounded(member, limit))
                except (DAMAGED + (ValueError, NotImplementedError, RuntimeError)) as exc:
                    yield _failed(name, exc)


def tar_members(path: str, limit: int, wanted: Wanted) -> Iterator[Member]:
    """The log members of a tar (plain or compressed), read as a stream in its order. Damage
    raises ArchiveDamaged once the members before it have been given."""
    try:
        with open(path, "rb") as raw, tarfile.open(fileobj=raw, mode="r|*") as archive:
            for info in archive:
                name = info.name
                if info.isdir() or not is_log_name(name.rsplit("/", 1)[-1]):
                    continue
                refusal = _refusal(name, info.issym() or info.islnk(), info.isfile())
                if refusal is not None:
                    yield refusal
                elif info.size > limit:  # the header's size is exact in a tar
                    exc = too_large(limit, compressed=True)
                    yield _refused(name, type(exc).__name__, str(exc))
                elif not wanted(name):
                    yield Member(name, None)
                else:
                    stream = archive.extractfile(info)
                    assert stream is not None  # a regular file has content
                    yield Member(name, read_bounded(stream, limit))
    except DAMAGED as exc:
        raise ArchiveDamaged(str(exc) or type(exc).__name__) from None


def members(path: str, kind: str, limit: int, wanted: Wanted) -> Iterator[Member]:
    return zip_members(path, limit, wanted) if kind == "zip" else tar_members(path, limit, wanted)
