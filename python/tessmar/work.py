"""Converting one log: the work of a worker process for each job, and the atomic write of its output."""

from __future__ import annotations

import itertools
import os
import signal
import stat
from collections.abc import Callable
from multiprocessing.connection import Connection
from types import FrameType

from tessmar import _mjlog
from tessmar.conversion import gzipped, is_xml
from tessmar.inputs import (
    DEFAULT_MAX_SIZE,
    game_ref,
    is_mjlog_name,
    keeps_length,
    read_log_bytes,
)
from tessmar.jobs import CONVERTED_OUTCOME, FILTERED_OUTCOME, Job, Outcome, failure

# A worker's first message: it has started and imported the converter.
READY = "ready"


def output_bytes(
    text: str | bytes, name: str | None, compress: bool, tenhou: bool = False, ref: str | None = None,
    mjlog: bool | None = None,
) -> bytes:
    """The output file for the text of one log: its mjai lines, or with `tenhou` its Tenhou
    JSON text. The log is mjlog XML or Tenhou JSON as `mjlog` says, else as its file's `name`
    says, or as its content says when it has no name (standard input); a mjlog's game id is
    `ref`, else it comes from the name."""
    if mjlog is None:
        mjlog = is_mjlog_name(name) if name is not None else is_xml(text)
    if ref is None:  # only a mjlog's JSON carries it
        ref = game_ref(name) if name is not None and mjlog else ""
    output = _mjlog.convert_text(text, ref, mjlog=mjlog, tenhou=tenhou)
    return gzipped(output) if compress else output


# The temporary file a worker is writing, removed by the SIGTERM handler when the run is stopped.
_pending_temp: str | None = None
# Output folders this worker has created (or found): makedirs only for the first log of each.
_made_dirs: set[str] = set()
# Temporary names are a random tag drawn once per process and a count: they never repeat within
# a process, and two processes share one only if they draw the same 64 random bits (and even
# then O_EXCL keeps one from writing into the other's file).
_temp_tag = os.urandom(8).hex()
_temp_count = itertools.count()


def _sync(path: str) -> None:
    """Flushes a file's or a folder's content to the disk (a folder's content: its names)."""
    fd = os.open(path, os.O_RDONLY)
    try:
        os.fsync(fd)
    finally:
        os.close(fd)


def _make_folder(directory: str, durable: bool) -> None:
    missing = []
    if durable:
        parent = directory
        while parent and not os.path.isdir(parent):
            missing.append(parent)
            parent = os.path.dirname(parent.rstrip(os.sep))
    os.makedirs(directory, exist_ok=True)
    for made in reversed(missing):  # a new folder lasts once its name in its parent does
        _sync(os.path.dirname(made.rstrip(os.sep)) or os.curdir)


def write_atomically(target: str, fill: Callable[[str], object], durable: bool = False) -> None:
    """Has `fill` create and write a hidden file beside `target` (given its name), then renames
    it to `target`: a file under the final name is always complete. `durable`: the file's
    content reaches the disk before the rename, and the rename before returning, so that not
    even a power loss can leave a partial file under the final name."""
    global _pending_temp
    head, sep, name = target.rpartition(os.sep)  # as in _folder
    directory = head or sep
    if directory not in _made_dirs:
        if directory:
            _make_folder(directory, durable)
        _made_dirs.add(directory)
    temp = f"{head}{sep}.{name}.{_temp_tag}{next(_temp_count)}.tmp"
    # Published before the file exists so that no stop can leave it behind unnoticed.
    _pending_temp = temp
    try:
        fill(temp)
        if durable:
            _sync(temp)
        os.replace(temp, target)
        if durable:
            _sync(directory or os.curdir)
    except BaseException:
        try:
            os.unlink(temp)
        except OSError:
            pass
        raise
    finally:
        _pending_temp = None


def _write_file(path: str, data: bytes) -> None:
    # Created with 0o666: the umask gives the usual permissions. Plain descriptor calls: a file
    # object would also ask whether the file is a terminal.
    fd = os.open(path, os.O_WRONLY | os.O_CREAT | os.O_EXCL | os.O_CLOEXEC, 0o666)
    try:
        view = memoryview(data)
        while view:
            view = view[os.write(fd, view) :]
    finally:
        os.close(fd)


def _read_file(path: str, limit: int) -> bytes:
    """A log file's content, decompressed when compressed, within the size bound: for a regular
    file within the bound, one open, one status and one read (a short read of a regular file is
    its end); anything else is read as a stream."""
    fd = os.open(path, os.O_RDONLY | os.O_CLOEXEC)
    try:
        status = os.fstat(fd)
        size = status.st_size
        if size <= limit and stat.S_ISREG(status.st_mode):
            data = os.read(fd, size + 1)  # +1: a file that grew meanwhile is seen to have
            if len(data) <= size:
                return read_log_bytes(data, limit)
            os.lseek(fd, 0, os.SEEK_SET)
        with open(fd, "rb", closefd=False) as stream:
            return read_log_bytes(stream, limit)
    finally:
        os.close(fd)


def convert_job(
    job: Job, compress: bool, max_size: int = DEFAULT_MAX_SIZE, durable: bool = False,
    tenhou: bool = False,
) -> Outcome:
    """Converts one log file into its output file (mjai, or with `tenhou` Tenhou JSON); every
    failure is returned, not raised. A log longer than `max_size` bytes (decompressed) fails;
    `durable` as in write_atomically."""
    source, target, data, ref, kind, length = job
    try:
        if data is not None:
            text = read_log_bytes(data, max_size)
            return _convert_text(target, text, ref, kind, length, compress, durable, tenhou)
        assert isinstance(source, str)
        name = source.rpartition(os.sep)[2]
        mjlog = is_mjlog_name(name)
        return _convert_text(
            target, _read_file(source, max_size), game_ref(name) if mjlog else "",
            "mjlog" if mjlog else "json", length, compress, durable, tenhou,
        )
    except (KeyboardInterrupt, SystemExit):
        raise
    except BaseException as exc:  # the extension's internal faults derive from BaseException
        return failure(exc)


def _convert_text(
    target: str, text: bytes, ref: str, kind: str, length: str, compress: bool, durable: bool,
    tenhou: bool,
) -> Outcome:
    """convert_job for a log in memory, decompressed: read from its file, or by the main
    process from an archive or a database."""
    mjlog = kind == "mjlog" if kind else is_xml(text)
    if not keeps_length(text, mjlog, length):
        return FILTERED_OUTCOME
    output = output_bytes(text, None, compress, tenhou, ref, mjlog)
    write_atomically(target, lambda temp: _write_file(temp, output), durable)
    return CONVERTED_OUTCOME


def _stop_worker(signum: int, frame: FrameType | None) -> None:
    temp = _pending_temp
    if temp is not None:
        try:
            os.unlink(temp)
        except OSError:
            pass
    os._exit(128 + signum)


def worker_main(
    conn: Connection, compress: bool, max_size: int, durable: bool, tenhou: bool
) -> None:
    """A worker process: converts the batches of jobs it receives, answering each batch with
    the list of its outcomes."""
    # Ctrl-C reaches the whole process group; the main process alone decides and stops the
    # workers with SIGTERM, on which the file being written is removed.
    signal.signal(signal.SIGINT, signal.SIG_IGN)
    signal.signal(signal.SIGTERM, _stop_worker)
    try:
        conn.send(READY)
        while True:
            batch: list[Job] | None = conn.recv()
            if batch is None:
                return
            conn.send(convert_batch(batch, compress, max_size, durable, tenhou))
    except (EOFError, OSError):
        return  # the main process is gone


def convert_batch(
    batch: list[Job], compress: bool, max_size: int, durable: bool, tenhou: bool
) -> list[Outcome]:
    """The outcomes of a batch of jobs, converted one after another: the task that a worker
    process, a thread or a cluster's worker runs."""
    return [convert_job(job, compress, max_size, durable, tenhou) for job in batch]
