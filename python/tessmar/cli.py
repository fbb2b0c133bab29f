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
from collections.abc import Sequence
from typing import TYPE_CHECKING, Any

import _tessmar
from tessmar.inputs import DEFAULT_MAX_SIZE, LENGTHS, LOG_NAMES, parse_size, read_log
from tessmar.jobs import CONVERTED_OUTCOME, FAILED, RunError, Settings, UsageError, failure
from tessmar.report import Report
from tessmar.work import output_bytes

if TYPE_CHECKING:
    import concurrent.futures

    from tessmar.plan import Plan
    from tessmar.pool import Pool

# The batch run (tessmar.batch, tessmar.plan) is imported when a run needs it: worker processes
# import this module again when they start, and need none of it.

EXIT_OK = 0
EXIT_FAILED = 1
EXIT_USAGE = 2
EXIT_INTERRUPTED = 130


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
        "--dask", metavar="ADDRESS",
        help="run the conversions on the Dask cluster whose scheduler is at ADDRESS (OUTDIR must"
        " be a folder every worker sees; needs pip install 'tessmar[dask]')",
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
        outcome = failure(exc)
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


DASK_MISSING = "--dask needs Dask's distributed: pip install 'tessmar[dask]'"


def distributed_module() -> Any:
    """Dask's distributed, an optional extra; a usage error without it."""
    try:
        import distributed  # type: ignore[import-not-found, unused-ignore]
    except ImportError:
        raise UsageError(DASK_MISSING) from None
    return distributed


def dask_executor(address: str) -> concurrent.futures.Executor:
    """The executor of a Dask cluster's client, for --dask."""
    distributed = distributed_module()
    try:
        client = distributed.Client(address, timeout="30s")  # type: ignore[no-untyped-call, unused-ignore]
    except (OSError, TimeoutError) as exc:
        raise UsageError(f"cannot reach the Dask scheduler at {address}: {exc}") from None
    executor: concurrent.futures.Executor = client.get_executor()  # type: ignore[no-untyped-call, unused-ignore]
    return executor


def convert_batch(
    args: argparse.Namespace, plan: Plan, settings: Settings, pool: Pool | None, report: Report, started: float
) -> int:
    from tessmar.batch import run_plan

    executor = None if args.dask is None else dask_executor(args.dask)
    result = run_plan(plan, settings, report, started, executor, pool)
    if not sum(report.counts.values()) and result.broken is None and not result.interrupted:
        print(f"tessmar: no logs ({LOG_NAMES}) found in {' '.join(args.inputs)}", file=sys.stderr)
    if result.broken is not None:
        print(f"tessmar: error: {result.broken}", file=sys.stderr)
    if result.interrupted:
        print("interrupted; run the same command again to convert the rest", file=sys.stderr)
    print(report.summary(result.summary.seconds), file=sys.stderr)
    if result.interrupted:
        return EXIT_INTERRUPTED
    return EXIT_FAILED if report.counts[FAILED] or result.broken is not None else EXIT_OK


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
        from tessmar.plan import container_kind

        if not stdin_input and os.path.isfile(args.inputs[0]) and container_kind(args.inputs[0]):
            raise UsageError("-o OUTDIR is needed to convert a database or an archive")
    elif stdin_input:
        raise UsageError("a log read from standard input goes to standard output; drop -o")
    started = time.monotonic()
    # Everything is checked before anything is created.
    tenhou = args.to == "tenhou"
    if args.output is None:
        report = Report(args.report)
        try:
            return convert_to_stdout(args.inputs[0], args.gzip, args.max_size, tenhou, report)
        finally:
            report.close()
    settings = Settings(
        args.jobs, args.gzip, args.to, args.force, args.length, args.max_size, args.fsync, args.fail_fast
    )
    pool = None
    if args.dask is not None:
        distributed_module()  # checked before anything is created
    else:
        # The local workers first: they start while the rest is imported and the run planned.
        from tessmar.pool import spawned_pool

        pool = spawned_pool(settings)
    from tessmar.batch import plan_tree

    try:
        plan = plan_tree(args.inputs, args.output, settings)
        report = Report(args.report)
        try:
            return convert_batch(args, plan, settings, pool, report, started)
        finally:
            report.close()
    finally:
        if pool is not None:
            pool.close()  # when the run did not take it


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
