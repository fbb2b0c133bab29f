"""The `tessmar` command: converts Tenhou logs (JSON or archive XML), one game per file, into
mjai files or Tenhou JSON logs.

    tessmar convert INPUT... [-o OUTDIR] [--to mjai|tenhou] [--jobs N] [--gzip] [--force]
                    [--fail-fast] [--report FILE] [--max-size BYTES] [--fsync]
                    [--length east|south|any]

Inputs are log files, folders of them, downloader databases (SQLite) and zip or tar archives.
Work is spread over worker processes that each take batches of files; every output is written
under a temporary name and renamed once complete, so an interrupted run can simply be restarted
(and an output left incomplete by a crash is converted again).
"""

from __future__ import annotations

import argparse
import os
import sys
import time
from collections.abc import Iterator, Sequence

import _tessmar
from tessmar.inputs import DEFAULT_MAX_SIZE, LENGTHS, LOG_NAMES, parse_size, read_log
from tessmar.jobs import CONVERTED, CONVERTED_OUTCOME, FAILED, RECONVERTED_OUTCOME, SKIPPED_OUTCOME
from tessmar.jobs import Job, Origin, Outcome, RunError, UsageError
from tessmar.plan import Item, Options, Plan, container_items, container_kind, plan_jobs
from tessmar.pool import Pool, batch_size_for
from tessmar.report import Progress, Report
from tessmar.work import exception_name, output_bytes

EXIT_OK = 0
EXIT_FAILED = 1
EXIT_USAGE = 2
EXIT_INTERRUPTED = 130


class _FailFast(Exception):
    pass


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


def size(text: str) -> int:
    try:
        return parse_size(text)
    except ValueError as exc:
        raise argparse.ArgumentTypeError(str(exc)) from None


def build_parser() -> argparse.ArgumentParser:
    parser = argparse.ArgumentParser(
        prog="tessmar",
        description="Converts four-player Tenhou game logs (JSON or archive XML) into mjai event streams."
    )
    parser.add_argument("--version", action="version", version=f"%(prog)s {_tessmar.__version__}")
    commands = parser.add_subparsers(dest="command", required=True, metavar="COMMAND")
    convert = commands.add_parser(
        "convert",
        help="convert logs into mjai files (or Tenhou JSON logs), one per game",
        description=(
            "Converts Tenhou logs, JSON (.json) or archive XML (.mjlog, .xml), plain, gzipped or "
            "bzip2-compressed (.gz, .bz2, or recognised by their content), into mjai files, one "
            "event per line, or with --to tenhou into Tenhou JSON logs. An XML game's id is taken "
            "from its file name. Folders are searched recursively and their tree is "
            "mirrored under OUTDIR. Downloader databases (SQLite, .db, .sqlite, .sqlite3) give "
            "OUTDIR/YYYY/MM/<id>.json per game; zip and tar archives (.zip, .tar, .tar.gz, .tgz, "
            ".tar.bz2, .tar.xz) are read as folders, without unpacking; one found in a folder "
            "stands for a folder named after it. With a single input file (or - for standard input) and no "
            "-o, the events go to standard output. An output already there is kept when complete "
            "and converted again when cut short. Exit status: 0 when every log converted, 1 "
            "when some failed, 2 for a bad command line, 130 when interrupted."
        ),
    )
    convert.add_argument("inputs", nargs="+", metavar="INPUT", help="log files, folders, or - for standard input")
    convert.add_argument("-o", "--output", metavar="OUTDIR", help="folder that receives the mjai files")
    convert.add_argument(
        "-j", "--jobs", type=positive_int, default=None, metavar="N",
        help="worker processes (default: the number of CPUs)",
    )
    convert.add_argument(
        "--to", choices=("mjai", "tenhou"), default="mjai",
        help="what to write: mjai events (default), or Tenhou JSON logs (a JSON log is copied"
        " once it converts)",
    )
    convert.add_argument("--gzip", action="store_true", help="write gzipped files (.json.gz)")
    convert.add_argument("--force", action="store_true", help="convert again logs whose output exists")
    convert.add_argument("--fail-fast", action="store_true", help="stop at the first log that fails")
    convert.add_argument("--report", metavar="FILE", help="write each failure to FILE as a JSON line")
    convert.add_argument(
        "--max-size", type=size, default=DEFAULT_MAX_SIZE, metavar="BYTES",
        help="fail logs longer than this once decompressed (a byte count, or with K, M or G;"
        " default: 64M)",
    )
    convert.add_argument(
        "--length", choices=LENGTHS, default="any",
        help="convert only east-only games (east) or only half-games (south); default: any",
    )
    convert.add_argument(
        "--fsync", action="store_true",
        help="flush each output to the disk before it takes its name, so that even a power loss"
        " leaves no partial output (slower)",
    )
    return parser


def convert_to_stdout(source: str, compress: bool, max_size: int, tenhou: bool, report: Report) -> int:
    """Converts one log (a file, or standard input for -) and writes its output to standard output."""
    name = "<stdin>" if source == "-" else source
    try:
        if source == "-":
            text = read_log(sys.stdin.buffer, max_size)
        else:
            with open(source, "rb") as log:
                text = read_log(log, max_size)
        data = output_bytes(text, None if source == "-" else os.path.basename(source), compress, tenhou)
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
    report.add(name, CONVERTED_OUTCOME)
    return EXIT_OK


class _Run:
    """The main process's side of a batch run: the plan's items in batches for the workers,
    what became of each log told to the report and the progress bar as it is known."""

    def __init__(self, args: argparse.Namespace, plan: Plan, report: Report) -> None:
        self._args = args
        self._plan = plan
        self._report = report
        self.progress: Progress | None = None
        self._unshown = 0  # logs settled before the progress bar was there
        # A tar tells its logs only as it is read: planned as if it held a thousand.
        expected = plan.total + 1000 * sum(c.kind == "tar" for c in plan.containers)
        self.workers = min(args.jobs or default_jobs(), max(1, expected))
        self.batch_size = batch_size_for(expected, self.workers)

    def tell(self, origin: Origin, outcome: Outcome) -> None:
        self._report.add(origin, outcome)
        if self._args.fail_fast and outcome.status == FAILED:
            raise _FailFast

    def advance(self, files: int) -> None:
        if self.progress is None:
            self._unshown += files
        else:
            self.progress.advance(files + self._unshown, self._report.counts[FAILED])
            self._unshown = 0

    def on_answer(self, jobs: list[Job], outcomes: list[Outcome]) -> None:
        incomplete = self._plan.incomplete
        for job, outcome in zip(jobs, outcomes):
            if outcome.status == CONVERTED and incomplete and job[1] in incomplete:
                outcome = RECONVERTED_OUTCOME
            self.tell(job[0], outcome)
        self.advance(len(jobs))

    def _items(self) -> Iterator[Item]:
        yield from self._plan.jobs
        args = self._args
        options = Options(args.gzip, args.force, args.to == "tenhou", args.length, args.max_size)
        for container in self._plan.containers:
            yield from container_items(container, options, self._plan.incomplete)

    def batches(self) -> Iterator[list[Job]]:
        """The jobs in batches; the logs settled without a job (skipped, filtered, failed) are
        told on the way."""
        batch: list[Job] = []
        for item in self._items():
            if len(item) == 2:  # (origin, outcome): settled without a job
                self.tell(item[0], item[1])
                self.advance(1)
                continue
            batch.append(item)
            if len(batch) == self.batch_size:
                yield batch
                batch = []
        if batch:
            yield batch


def convert_batch(args: argparse.Namespace, plan: Plan, report: Report, started: float) -> int:
    for path, outcome in plan.failures:
        report.add(path, outcome)
    for path in plan.skipped:
        report.add(path, SKIPPED_OUTCOME)
    if args.fail_fast and plan.failures:
        print(report.summary(time.monotonic() - started), file=sys.stderr)
        return EXIT_FAILED

    run = _Run(args, plan, report)
    pool = Pool(run.workers, run.batch_size, args.gzip, args.max_size, args.fsync, args.to == "tenhou")
    interrupted, broken = False, None
    try:
        pool.start(run.batches())
        run.progress = Progress(plan.total)  # while the workers start
        run.advance(0)
        pool.run(run.on_answer)
    except _FailFast:
        pass
    except RunError as exc:
        broken = str(exc)
    except KeyboardInterrupt:
        interrupted = True
    finally:
        pool.close()  # stops the workers still busy, which remove their unfinished outputs
        if run.progress is not None:
            run.progress.close()
    if not sum(report.counts.values()) and broken is None and not interrupted:
        print(f"tessmar: no logs ({LOG_NAMES}) found in {' '.join(args.inputs)}", file=sys.stderr)
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
        if not stdin_input and os.path.isfile(args.inputs[0]) and container_kind(args.inputs[0]):
            raise UsageError("-o OUTDIR is needed to convert a database or an archive")
    elif stdin_input:
        raise UsageError("a log read from standard input goes to standard output; drop -o")
    started = time.monotonic()
    # Everything is checked before anything is created.
    tenhou = args.to == "tenhou"
    plan = None
    if args.output is not None:
        plan = plan_jobs(
            args.inputs, args.output, args.gzip, args.force, tenhou, args.length, args.max_size
        )
    report = Report(args.report)
    try:
        if plan is None:
            return convert_to_stdout(args.inputs[0], args.gzip, args.max_size, tenhou, report)
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
