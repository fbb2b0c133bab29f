"""The `tessmar` command: converts Tenhou logs, one game per file, into mjai files.

    tessmar convert INPUT... [-o OUTDIR] [--jobs N] [--gzip] [--force] [--fail-fast] [--report FILE]

Work is spread over worker processes that each take batches of files; every output is written
under a temporary name and renamed once complete, so an interrupted run can simply be restarted.
"""

from __future__ import annotations

import argparse
import gzip
import importlib
import itertools
import json
import math
import multiprocessing
import os
import signal
import sys
import time
from collections import Counter, deque
from collections.abc import Callable, Iterator, Sequence
from multiprocessing.connection import Connection, wait
from multiprocessing.process import BaseProcess
from types import FrameType
from typing import IO, Any, NamedTuple

import _tessmar

EXIT_OK = 0
EXIT_FAILED = 1
EXIT_USAGE = 2
EXIT_INTERRUPTED = 130

GZIP_MAGIC = b"\x1f\x8b"
# On mjai text level 3 takes about 40% of the time of zlib's usual 6 for files about a fifth
# larger; compressing would otherwise cost more than converting.
GZIP_LEVEL = 3
# Upper bound of files per batch sent to a worker: large enough that the main process's work
# per batch (a round trip, waking up, pickling) is a small share of the run, small enough that
# the last batches still spread over all workers (128 logs take a worker about 15 ms).
MAX_BATCH = 128
# Failures listed on standard error when there is no --report to look them up in.
LISTED_FAILURES = 10
# Name under which a log is reported when the worker converting it died.
WORKER_DIED = "WorkerDied"

# A worker's first message: it has started and imported the converter.
READY = "ready"

CONVERTED = "converted"
SKIPPED = "skipped"
FAILED = "failed"


class UsageError(Exception):
    """A command line that cannot be carried out (exit status 2)."""


class RunError(Exception):
    """A run that cannot go on: the workers do not start, or the report cannot be written."""


# One log to convert: (source, target, direct), where the log is read, where its mjai file goes,
# and whether the converter may read the log itself (a regular file not named .gz; see
# convert_job). A plain tuple: thousands cross to the workers, and a NamedTuple pickles about
# ten times slower.
Job = tuple[str, str, bool]


class Outcome(NamedTuple):
    """What became of one job: `CONVERTED`, `SKIPPED` or `FAILED` with the exception's name and text."""

    status: str
    exception: str = ""
    message: str = ""


# The same objects for every job that did not fail, so that a batch's answer pickles into a
# few bytes.
CONVERTED_OUTCOME = Outcome(CONVERTED)
SKIPPED_OUTCOME = Outcome(SKIPPED)


# ---------------------------------------------------------------------------------------------
# Converting one log (runs in the workers, and in the main process for standard output)


def decode_log(raw: bytes) -> str:
    """The text of a log file's bytes, decompressed first when they start like gzip data."""
    if raw[:2] == GZIP_MAGIC:
        raw = gzip.decompress(raw)
    return raw.decode("utf-8")


def mjai_bytes(events: list[str], compress: bool) -> bytes:
    """The mjai file for `events`: each event text followed by a line feed, gzipped on request."""
    data = ("\n".join(events) + "\n").encode("utf-8") if events else b""
    # mtime=0 so that converting the same log twice gives the same bytes.
    return gzip.compress(data, compresslevel=GZIP_LEVEL, mtime=0) if compress else data


def convert_bytes(raw: bytes, compress: bool) -> bytes:
    return mjai_bytes(_tessmar.tenhou_to_mjai(decode_log(raw)), compress)


def exception_name(exc: BaseException) -> str:
    """The exception's class name, qualified by its module unless it is a built-in or ours."""
    cls = type(exc)
    if cls.__module__ in ("builtins", "_tessmar"):
        return cls.__qualname__
    return f"{cls.__module__}.{cls.__qualname__}"


# The temporary file a worker is writing, removed by the SIGTERM handler when the run is stopped.
_pending_temp: str | None = None
# Output folders this worker has created (or found): makedirs only for the first log of each.
_made_dirs: set[str] = set()
# Temporary names are a random tag drawn once per process and a count: they never repeat within
# a process, and two processes share one only if they draw the same 64 random bits. That lets
# the converter create the file itself, which it cannot do with O_EXCL.
_temp_tag = os.urandom(8).hex()
_temp_count = itertools.count()


def _folder(path: str) -> str:
    """The folder part of `path`, as os.path.dirname gives it (but for doubled slashes): str
    methods take a fraction of the time, and this runs for every log."""
    head, sep, _ = path.rpartition(os.sep)
    return head or sep


def write_atomically(target: str, fill: Callable[[str], object]) -> None:
    """Has `fill` create and write a hidden file beside `target` (given its name), then renames
    it to `target`: a file under the final name is always complete."""
    global _pending_temp
    head, sep, name = target.rpartition(os.sep)  # as in _folder
    directory = head or sep
    if directory not in _made_dirs:
        if directory:
            os.makedirs(directory, exist_ok=True)
        _made_dirs.add(directory)
    temp = f"{head}{sep}.{name}.{_temp_tag}{next(_temp_count)}.tmp"
    # Published before the file exists so that no stop can leave it behind unnoticed.
    _pending_temp = temp
    try:
        fill(temp)
        os.replace(temp, target)
    except BaseException:
        try:
            os.unlink(temp)
        except OSError:
            pass
        raise
    finally:
        _pending_temp = None


def _write_file(path: str, data: bytes) -> None:
    # Created with 0o666, like the converter's files: the umask gives the usual permissions.
    with open(path, "wb") as out:
        out.write(data)


def convert_job(job: Job, compress: bool) -> Outcome:
    """Converts one log file into its mjai file; every failure is returned, not raised."""
    source, target, direct = job
    try:
        # The converter can read the log and write the lines itself, which saves joining and
        # encoding the events in Python: that costs about as much as converting them. It
        # touches the output only once the conversion succeeded, but the folder must exist
        # beforehand, so the first log of each folder takes the general path, which creates it
        # after converting: a folder of bad logs gets no output folder.
        if direct and not compress and _folder(target) in _made_dirs:
            try:
                write_atomically(target, lambda temp: _tessmar.tenhou_file_to_mjai(source, temp))
                return CONVERTED_OUTCOME
            except OSError:
                # Not UTF-8 (gzip data in a .json file), or a file error, which the converter
                # words tersely: the general path raises what Python's own calls raise.
                pass
        with open(source, "rb") as log:
            raw = log.read()
        data = convert_bytes(raw, compress)
        write_atomically(target, lambda temp: _write_file(temp, data))
    except (KeyboardInterrupt, SystemExit):
        raise
    except BaseException as exc:  # the extension's internal faults derive from BaseException
        return Outcome(FAILED, exception_name(exc), str(exc))
    return CONVERTED_OUTCOME


def _stop_worker(signum: int, frame: FrameType | None) -> None:
    temp = _pending_temp
    if temp is not None:
        try:
            os.unlink(temp)
        except OSError:
            pass
    os._exit(128 + signum)


def worker_main(conn: Connection, compress: bool) -> None:
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
            conn.send([convert_job(job, compress) for job in batch])
    except (EOFError, OSError):
        return  # the main process is gone


# ---------------------------------------------------------------------------------------------
# The pool


class _Worker:
    def __init__(self, process: BaseProcess, conn: Connection) -> None:
        self.process = process
        self.conn = conn
        self.sent: deque[list[Job]] = deque()  # batches not yet answered, in order
        self.ready = False


def _death_text(exitcode: int | None) -> str:
    if exitcode is not None and exitcode < 0:
        return f"killed by signal {-exitcode}"
    return f"exit status {exitcode}"


class Pool:
    """Worker processes that convert batches of jobs, each batch answered by one message.

    A worker that dies takes no log down with it unless that log kills workers by itself:
    the batch it was working on is retried one log at a time, and only a worker that dies on
    a batch of one log has its log reported as failed.
    """

    # Batches handed to a worker at once: it starts the next while the main process is still
    # reading the answer to the last.
    AHEAD = 2
    # Workers in a row that may die before they are ready before the run is given up: one can
    # be killed from outside, but a worker that cannot start would fail every log.
    FAILED_STARTS = 3

    def __init__(self, workers: int, batch_size: int, compress: bool) -> None:
        self._size = workers
        self._batch_size = batch_size
        self._args = (compress,)
        # spawn: workers start from a clean interpreter whatever threads the caller runs.
        self._context = multiprocessing.get_context("spawn")
        self._workers: list[_Worker] = []
        self._failed_starts = 0
        self._queue: deque[list[Job]] = deque()
        self._on_answer: Callable[[list[Job], list[Outcome]], None] = lambda jobs, outcomes: None

    def start(self, jobs: Sequence[Job]) -> None:
        """Starts the workers on `jobs`; they take a while to be ready, so the caller can get on
        with something else before `run`."""
        size = self._batch_size
        self._queue = deque(list(jobs[i : i + size]) for i in range(0, len(jobs), size))
        for _ in range(min(self._size, len(self._queue))):
            self._add_worker()

    def run(self, on_answer: Callable[[list[Job], list[Outcome]], None]) -> None:
        """Converts every job, calling `on_answer` in the main process with each batch that
        finishes and its outcomes, in order."""
        self._on_answer = on_answer
        while True:
            busy = [w for w in self._workers if w.sent]
            if not busy:
                return
            ready = set(wait([w.conn for w in busy] + [w.process.sentinel for w in busy]))
            for worker in busy:
                if worker.conn in ready or worker.process.sentinel in ready:
                    self._collect(worker)

    def close(self) -> None:
        """Lets idle workers exit and stops busy ones; a stopped worker removes the output it
        was writing."""
        for worker in self._workers:
            if worker.sent or not worker.process.is_alive():
                worker.process.terminate()
                continue
            try:
                worker.conn.send(None)
            except OSError:
                worker.process.terminate()
        for worker in self._workers:
            worker.process.join(5)
            if worker.process.is_alive():
                worker.process.kill()
                worker.process.join()
            worker.conn.close()
        self._workers = []

    def _add_worker(self) -> None:
        parent, child = self._context.Pipe()
        process = self._context.Process(
            target=worker_main, args=(child, *self._args), name="tessmar-worker", daemon=True
        )
        # The worker inherits an ignored SIGINT, so a Ctrl-C while it is still starting up
        # cannot make it print a KeyboardInterrupt traceback.
        previous = signal.signal(signal.SIGINT, signal.SIG_IGN)
        try:
            process.start()
        finally:
            signal.signal(signal.SIGINT, previous)
        child.close()
        worker = _Worker(process, parent)
        self._workers.append(worker)
        self._feed(worker)

    def _feed(self, worker: _Worker) -> None:
        while self._queue and len(worker.sent) < self.AHEAD:
            batch = self._queue.popleft()
            try:
                worker.conn.send(batch)
            except OSError:
                self._queue.appendleft(batch)
                self._replace(worker)
                return
            worker.sent.append(batch)

    def _collect(self, worker: _Worker) -> None:
        try:
            while worker.sent and worker.conn.poll():
                message: list[Outcome] | str = worker.conn.recv()
                if isinstance(message, str):
                    worker.ready = True
                    self._failed_starts = 0
                    continue
                self._on_answer(worker.sent.popleft(), message)
        except (EOFError, OSError):
            pass
        if worker.process.is_alive():
            self._feed(worker)
        else:
            self._replace(worker)

    def _replace(self, worker: _Worker) -> None:
        """Takes a dead worker out, queues its unanswered batches again and starts another."""
        worker.process.join()
        worker.conn.close()
        self._workers.remove(worker)
        if not worker.ready:
            self._failed_starts += 1
            if self._failed_starts >= self.FAILED_STARTS:
                raise RunError(f"worker processes do not start ({_death_text(worker.process.exitcode)})")
            self._queue.extendleft(reversed(worker.sent))
            worker.sent.clear()
        if worker.sent:
            current = worker.sent.popleft()
            self._queue.extendleft(reversed(worker.sent))  # not started yet
            if len(current) > 1:
                self._queue.extendleft([job] for job in reversed(current))
            else:
                message = "the worker process died while converting this log"
                death = _death_text(worker.process.exitcode)
                self._on_answer(current, [Outcome(FAILED, WORKER_DIED, f"{message} ({death})")])
        if self._queue:
            self._add_worker()


def batch_size_for(jobs: int, workers: int) -> int:
    """Batches small enough that each worker gets several, so the run ends evenly."""
    return max(1, min(MAX_BATCH, math.ceil(jobs / (workers * 4))))


# ---------------------------------------------------------------------------------------------
# Finding the inputs


def is_log_name(name: str) -> bool:
    lower = name.lower()
    return lower.endswith(".json") or lower.endswith(".json.gz")


def output_name(name: str, compress: bool) -> str:
    """The mjai file's name for a log's name: `x.json` and `x.json.gz` both give `x.json`."""
    if name.lower().endswith(".gz"):
        name = name[:-3]
    if not name.lower().endswith(".json"):
        name += ".json"
    return name + ".gz" if compress else name


def walk_logs(
    top: str, skip: os.stat_result | None, on_error: Callable[[str, OSError], None]
) -> Iterator[tuple[str, str, list[str]]]:
    """The folders under `top` (itself included) that hold log files, in name order, without
    following links to folders and without entering the folder `skip` (the output folder).

    Each comes as its path, its path relative to `top` ("" for `top`) and the names of its log
    files; folder by folder, so that the paths around a name are worked out once per folder.
    """
    stack = [(top, "")]
    while stack:
        folder, relative = stack.pop()
        try:
            with os.scandir(folder) as it:
                entries = sorted(it, key=lambda e: e.name)
        except OSError as exc:
            on_error(folder, exc)
            continue
        subfolders = []
        names = []
        for entry in entries:
            try:
                if entry.is_dir(follow_symlinks=False):
                    if skip is None or not _same_file(entry, skip):
                        subfolders.append((entry.path, os.path.join(relative, entry.name)))
                elif is_log_name(entry.name) and entry.is_file():
                    names.append(entry.name)
            except OSError as exc:
                on_error(entry.path, exc)
        if names:
            yield folder, relative, names
        stack.extend(reversed(subfolders))


def _same_file(entry: os.DirEntry[str], other: os.stat_result) -> bool:
    return entry.inode() == other.st_ino and entry.stat(follow_symlinks=False).st_dev == other.st_dev


def _names_in(folder: str) -> set[str] | None:
    """The names in `folder` (none when it does not exist), or None when it cannot be listed."""
    try:
        return set(os.listdir(folder))
    except (FileNotFoundError, NotADirectoryError):
        return set()
    except OSError:
        return None


class Plan(NamedTuple):
    jobs: list[Job]
    skipped: list[str]  # logs whose output is already there
    failures: list[tuple[str, Outcome]]  # found before converting: unreadable folders, clashes


def plan_jobs(inputs: Sequence[str], outdir: str, compress: bool, force: bool = False) -> Plan:
    """One job per log found, its output mirroring the input tree under `outdir`; unless
    `force`, logs whose output exists are skipped.

    The tree is taken relative to the folder that holds all inputs (a folder given as the
    only input is itself that folder), so distinct inputs never map to the same place.
    """
    failures: list[tuple[str, Outcome]] = []

    def walk_error(path: str, exc: OSError) -> None:
        failures.append((path, Outcome(FAILED, exception_name(exc), str(exc))))

    roots = []
    for path in inputs:
        if not os.path.exists(path):
            raise UsageError(f"no such file or folder: {path}")
        roots.append((path, os.path.isdir(path)))
    base = os.path.commonpath(
        [os.path.abspath(p) if is_dir else os.path.dirname(os.path.abspath(p)) for p, is_dir in roots]
    )
    real_out = os.path.realpath(outdir)
    if any(is_dir and os.path.realpath(p) == real_out for p, is_dir in roots):
        raise UsageError(f"the output folder {outdir} is one of the input folders")
    out_stat = os.stat(outdir) if os.path.isdir(outdir) else None
    writes_over_inputs = os.path.realpath(base) == real_out

    jobs: list[Job] = []
    skipped: list[str] = []
    seen: set[str] = set()  # only needed when inputs can overlap
    targets: dict[str, str] = {}
    for path, is_dir in roots:
        if is_dir:
            top = os.path.abspath(path)
            folders = walk_logs(path, out_stat, walk_error)
        else:
            top, name = os.path.split(os.path.abspath(path))
            folders = iter([("", "", [name])])  # the source is `path` itself
        # Where `top` goes in the output tree, relative to `base`.
        placed = os.path.relpath(top, base)
        placed = "" if placed == os.curdir else placed
        for folder, relative, names in folders:
            # The path of each log and of its output: the folder's part joined once, the names added.
            source_dir = os.path.join(folder, "") if is_dir else ""
            absolute_dir = os.path.join(top, relative, "")
            target_dir = os.path.join(outdir, placed, relative, "")
            # One listing per output folder rather than a lookup per log; the output folder of
            # a folder of logs rarely holds many more files than it.
            existing = _names_in(target_dir) if is_dir and not force else None
            for name in names:
                source = source_dir + name if is_dir else path
                if len(roots) > 1:
                    if absolute_dir + name in seen:
                        continue  # reached through two of the inputs
                    seen.add(absolute_dir + name)
                output = output_name(name, compress)
                if writes_over_inputs and output == name:
                    raise UsageError(f"the output for {source} would replace the log itself")
                target = target_dir + output
                if target in targets:
                    clash = f"{targets[target]} converts to the same file {target}"
                    failures.append((source, Outcome(FAILED, "OutputClash", clash)))
                    continue
                targets[target] = source
                if not force and (output in existing if existing is not None else os.path.lexists(target)):
                    skipped.append(source)
                    continue
                # Found by the walk means a regular file (or a link to one); an input named on
                # the command line may be anything that can be opened, even a pipe.
                direct = (is_dir or os.path.isfile(path)) and not name.lower().endswith(".gz")
                jobs.append((source, target, direct))
    return Plan(jobs, skipped, failures)


# ---------------------------------------------------------------------------------------------
# Reporting


class Report:
    """Counts outcomes; failures go to the --report file (JSON lines) as they come."""

    def __init__(self, path: str | None) -> None:
        self.path = path
        self._stream: IO[str] | None = None
        if path is not None:
            try:
                self._stream = open(path, "w", encoding="utf-8")
            except OSError as exc:
                raise UsageError(f"cannot write the report {path}: {exc.strerror or exc}") from None
        self.counts: Counter[str] = Counter()
        self.by_exception: Counter[str] = Counter()
        self.listed: list[tuple[str, Outcome]] = []

    def add(self, path: str, outcome: Outcome) -> None:
        self.counts[outcome.status] += 1
        if outcome.status != FAILED:
            return
        self.by_exception[outcome.exception] += 1
        if len(self.listed) < LISTED_FAILURES:
            self.listed.append((path, outcome))
        if self._stream is not None:
            record = {"path": path, "exception": outcome.exception, "message": outcome.message}
            line = json.dumps(record, ensure_ascii=False)
            try:
                line.encode("utf-8")
            except UnicodeEncodeError:  # a file name that is not UTF-8
                line = json.dumps(record)
            try:
                self._stream.write(line + "\n")
                self._stream.flush()
            except OSError as exc:
                self._close(quietly=True)
                raise RunError(f"cannot write the report {self.path}: {exc.strerror or exc}") from None

    def close(self) -> None:
        self._close(quietly=False)

    def _close(self, quietly: bool) -> None:
        stream, self._stream = self._stream, None
        if stream is None:
            return
        try:
            stream.close()
        except OSError as exc:
            if not quietly:
                raise RunError(f"cannot write the report {self.path}: {exc.strerror or exc}") from None

    def summary(self, seconds: float) -> str:
        converted, skipped, failed = (self.counts[s] for s in (CONVERTED, SKIPPED, FAILED))
        handled = converted + skipped + failed
        rate = handled / seconds if seconds > 0 else 0.0
        lines = [
            f"{converted} converted, {skipped} skipped (output already there), {failed} failed"
            f" in {seconds:.1f} s ({rate:.0f} files/s)"
        ]
        lines += [f"  {name}: {count}" for name, count in self.by_exception.most_common()]
        if failed and self._stream is not None:
            lines.append(f"failures are listed in {self.path}")
        elif failed:
            lines += [f"  {path}: {o.exception}: {o.message}" for path, o in self.listed]
            if failed > len(self.listed):
                lines.append(f"  ... and {failed - len(self.listed)} more (--report FILE lists them all)")
        return "\n".join(lines)


class _Progress:
    """A tqdm bar on standard error when it is a terminal and tqdm is installed."""

    def __init__(self, total: int) -> None:
        self._bar: Any = None
        # tqdm would hide itself anyway, but importing it takes about as long as starting a worker.
        if not sys.stderr.isatty():
            return
        try:
            tqdm: Any = importlib.import_module("tqdm").tqdm
        except ImportError:
            return
        self._bar = tqdm(total=total, unit="file", disable=None, dynamic_ncols=True, smoothing=0.1)

    def advance(self, files: int, failed: int) -> None:
        if self._bar is not None:
            if failed:
                self._bar.set_postfix_str(f"{failed} failed", refresh=False)
            self._bar.update(files)

    def close(self) -> None:
        if self._bar is not None:
            self._bar.close()


class _FailFast(Exception):
    pass


# ---------------------------------------------------------------------------------------------
# The command


def default_jobs() -> int:
    count: int | None = getattr(os, "process_cpu_count", os.cpu_count)()
    try:
        count = len(os.sched_getaffinity(0))
    except (AttributeError, OSError):
        pass
    return max(1, count or 1)


def positive_int(text: str) -> int:
    try:
        value = int(text)
    except ValueError:
        raise argparse.ArgumentTypeError(f"not a whole number: {text!r}") from None
    if value < 1:
        raise argparse.ArgumentTypeError(f"must be at least 1: {text}")
    return value


def build_parser() -> argparse.ArgumentParser:
    parser = argparse.ArgumentParser(
        prog="tessmar", description="Converts four-player Tenhou JSON game logs into mjai event streams."
    )
    parser.add_argument("--version", action="version", version=f"%(prog)s {_tessmar.__version__}")
    commands = parser.add_subparsers(dest="command", required=True, metavar="COMMAND")
    convert = commands.add_parser(
        "convert",
        help="convert logs into mjai files, one per game",
        description=(
            "Converts Tenhou logs (.json or .json.gz, gzip recognised by its content) into mjai "
            "files, one event per line. Folders are searched recursively and their tree is "
            "mirrored under OUTDIR. With a single input file (or - for standard input) and no "
            "-o, the events go to standard output. Exit status: 0 when every log converted, 1 "
            "when some failed, 2 for a bad command line, 130 when interrupted."
        ),
    )
    convert.add_argument("inputs", nargs="+", metavar="INPUT", help="log files, folders, or - for standard input")
    convert.add_argument("-o", "--output", metavar="OUTDIR", help="folder that receives the mjai files")
    convert.add_argument(
        "-j", "--jobs", type=positive_int, default=None, metavar="N",
        help="worker processes (default: the number of CPUs)",
    )
    convert.add_argument("--gzip", action="store_true", help="write gzipped mjai files (.json.gz)")
    convert.add_argument("--force", action="store_true", help="convert again logs whose output exists")
    convert.add_argument("--fail-fast", action="store_true", help="stop at the first log that fails")
    convert.add_argument("--report", metavar="FILE", help="write each failure to FILE as a JSON line")
    return parser


def convert_to_stdout(source: str, compress: bool, report: Report) -> int:
    """Converts one log (a file, or standard input for -) and writes its events to standard output."""
    name = "<stdin>" if source == "-" else source
    try:
        if source == "-":
            raw = sys.stdin.buffer.read()
        else:
            with open(source, "rb") as log:
                raw = log.read()
        data = convert_bytes(raw, compress)
    except (KeyboardInterrupt, SystemExit):
        raise
    except BaseException as exc:
        outcome = Outcome(FAILED, exception_name(exc), str(exc))
        report.add(name, outcome)
        print(f"tessmar: {name}: {outcome.exception}: {outcome.message}", file=sys.stderr)
        return EXIT_FAILED
    try:
        sys.stdout.buffer.write(data)
        sys.stdout.buffer.flush()
    except BrokenPipeError:
        # The reader went away (`| head`); say nothing more on a closed stream.
        os.dup2(os.open(os.devnull, os.O_WRONLY), sys.stdout.fileno())
        return EXIT_FAILED
    report.add(name, Outcome(CONVERTED))
    return EXIT_OK


def convert_batch(args: argparse.Namespace, plan: Plan, report: Report, started: float) -> int:
    for path, outcome in plan.failures:
        report.add(path, outcome)
    for path in plan.skipped:
        report.add(path, SKIPPED_OUTCOME)
    if args.fail_fast and plan.failures:
        print(report.summary(time.monotonic() - started), file=sys.stderr)
        return EXIT_FAILED

    if not plan.jobs and not plan.skipped and not plan.failures:
        print(f"tessmar: no logs (.json, .json.gz) found in {' '.join(args.inputs)}", file=sys.stderr)
    jobs = args.jobs or default_jobs()
    workers = min(jobs, max(1, len(plan.jobs)))
    pool = Pool(workers, batch_size_for(len(plan.jobs), workers), args.gzip)
    progress: _Progress | None = None

    def on_answer(jobs: list[Job], outcomes: list[Outcome]) -> None:
        for job, outcome in zip(jobs, outcomes):
            report.add(job[0], outcome)
            if args.fail_fast and outcome.status == FAILED:
                raise _FailFast
        if progress is not None:
            progress.advance(len(jobs), report.counts[FAILED])

    interrupted, broken = False, None
    try:
        pool.start(plan.jobs)
        progress = _Progress(len(plan.jobs))  # while the workers start
        pool.run(on_answer)
    except _FailFast:
        pass
    except RunError as exc:
        broken = str(exc)
    except KeyboardInterrupt:
        interrupted = True
    finally:
        pool.close()  # stops the workers still busy, which remove their unfinished outputs
        if progress is not None:
            progress.close()
    elapsed = time.monotonic() - started
    if broken is not None:
        print(f"tessmar: error: {broken}", file=sys.stderr)
    if interrupted:
        print("interrupted; run the same command again to convert the rest", file=sys.stderr)
    print(report.summary(elapsed), file=sys.stderr)
    if interrupted:
        return EXIT_INTERRUPTED
    return EXIT_FAILED if report.counts[FAILED] or broken is not None else EXIT_OK


def run_convert(args: argparse.Namespace) -> int:
    stdin_input = "-" in args.inputs
    if stdin_input and len(args.inputs) > 1:
        raise UsageError("- (standard input) must be the only input")
    if args.output is None:
        if len(args.inputs) > 1:
            raise UsageError("-o OUTDIR is needed to convert several files")
        if not stdin_input and not os.path.exists(args.inputs[0]):
            raise UsageError(f"no such file or folder: {args.inputs[0]}")
        if not stdin_input and os.path.isdir(args.inputs[0]):
            raise UsageError("-o OUTDIR is needed to convert a folder")
    elif stdin_input:
        raise UsageError("a log read from standard input goes to standard output; drop -o")
    started = time.monotonic()
    # Everything is checked before anything is created.
    plan = None if args.output is None else plan_jobs(args.inputs, args.output, args.gzip, args.force)
    report = Report(args.report)
    try:
        if plan is None:
            return convert_to_stdout(args.inputs[0], args.gzip, report)
        try:
            os.makedirs(args.output, exist_ok=True)
        except OSError as exc:
            raise UsageError(f"cannot create the output folder {args.output}: {exc.strerror or exc}") from None
        return convert_batch(args, plan, report, started)
    finally:
        report.close()


def main(argv: Sequence[str] | None = None) -> int:
    """Runs the `tessmar` command with `argv` (default: the process's arguments); returns the
    exit status."""
    parser = build_parser()
    args = parser.parse_args(argv)
    try:
        return run_convert(args)
    except UsageError as exc:
        parser.exit(EXIT_USAGE, f"tessmar: error: {exc}\n")
    except RunError as exc:
        print(f"tessmar: error: {exc}", file=sys.stderr)
        return EXIT_FAILED
    except KeyboardInterrupt:
        print("interrupted", file=sys.stderr)
        return EXIT_INTERRUPTED

