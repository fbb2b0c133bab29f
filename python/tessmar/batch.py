"""The batch run: logs found under the sources converted into an output tree, on local worker
processes or on any `concurrent.futures.Executor` (threads, a Dask cluster)."""

from __future__ import annotations

import concurrent.futures
import dataclasses
import os
import time
from collections import deque
from collections.abc import Callable, Iterator, Sequence
from typing import Literal, NamedTuple, Protocol

from tessmar.inputs import DEFAULT_MAX_SIZE, LENGTHS
from tessmar.jobs import (
    CONVERTED,
    FAILED,
    FILTERED,
    NOT_DOWNLOADED,
    RECONVERTED,
    RECONVERTED_OUTCOME,
    SKIPPED,
    SKIPPED_OUTCOME,
    THREE_PLAYER,
    Job,
    Origin,
    Outcome,
    RunError,
    Settings,
    UsageError,
    exception_name,
    worker_args,
)
from tessmar.plan import Item, Plan, container_items, plan_jobs
from tessmar.pool import Pool, batch_size_for, default_jobs, spawned_pool
from tessmar.report import Progress, Report
from tessmar.work import convert_batch

__all__ = ["Summary", "convert_tree"]


@dataclasses.dataclass(frozen=True, slots=True)
class Summary:
    """What a batch run did: how many logs went which way (as the command's summary line
    counts them), and how long it took."""

    converted: int
    skipped: int  # output already there, complete
    reconverted: int  # converted again over an output found incomplete
    failed: int
    three_player: int  # database rows flagged three-player
    not_downloaded: int  # database rows without content
    filtered: int  # games of the length left out
    seconds: float


class _FailFast(Exception):
    pass


class Result(NamedTuple):
    summary: Summary
    broken: str | None  # why the run could not go on, if it could not
    interrupted: bool


class Engine(Protocol):
    """What converts the batches: the local pool, or an executor."""

    def start(self, batches: Iterator[list[Job]]) -> None: ...
    def run(self, on_answer: Callable[[list[Job], list[Outcome]], None]) -> None: ...
    def close(self) -> None: ...


class ExecutorEngine:
    """Batches of jobs submitted to an executor, a few per worker in flight. A batch whose
    task fails as a whole (its worker died more often than the executor retries) is tried
    again one log at a time, and only a log whose own task fails is reported as failed."""

    def __init__(
        self, executor: concurrent.futures.Executor, in_flight: int, args: tuple[bool, int, bool, bool]
    ) -> None:
        self._executor = executor
        self._in_flight = in_flight
        self._args = args  # convert_batch's, after the jobs
        self._batches: Iterator[list[Job]] = iter(())
        self._retries: deque[list[Job]] = deque()
        self._pending: dict[concurrent.futures.Future[list[Outcome]], list[Job]] = {}

    def start(self, batches: Iterator[list[Job]]) -> None:
        self._batches = batches
        self._fill()

    def _fill(self) -> None:
        while len(self._pending) < self._in_flight:
            batch = self._retries.popleft() if self._retries else next(self._batches, None)
            if batch is None:
                return
            future = self._executor.submit(convert_batch, _absolute(batch), *self._args)
            self._pending[future] = batch

    def run(self, on_answer: Callable[[list[Job], list[Outcome]], None]) -> None:
        while self._pending:
            done, _ = concurrent.futures.wait(self._pending, return_when=concurrent.futures.FIRST_COMPLETED)
            for future in done:
                batch = self._pending.pop(future)
                try:
                    outcomes = future.result()
                except Exception as exc:
                    if len(batch) > 1:
                        self._retries.extend([job] for job in batch)
                        continue
                    outcomes = [Outcome(FAILED, exception_name(exc), f"the task converting this log failed: {exc}")]
                on_answer(batch, outcomes)
            self._fill()

    def close(self) -> None:
        for future in self._pending:
            future.cancel()  # those already running finish their outputs, which are atomic
        self._pending = {}


def _absolute(batch: list[Job]) -> list[Job]:
    """The jobs with absolute paths, for workers whose working folder is not ours."""
    return [
        (os.path.abspath(origin) if isinstance(origin, str) else origin, os.path.abspath(target),
         data, ref, kind, length)
        for origin, target, data, ref, kind, length in batch
    ]


class _Run:
    """The main process's side of a batch run: the plan's items in batches for the engine,
    what became of each log told to the report and the progress bar as it is known."""

    def __init__(self, plan: Plan, settings: Settings, report: Report, workers: int) -> None:
        self._plan = plan
        self._settings = settings
        self._report = report
        self.progress: Progress | None = None
        self._unshown = 0  # logs settled before the progress bar was there
        # A tar tells its logs only as it is read: planned as if it held a thousand.
        expected = plan.total + 1000 * sum(c.kind == "tar" for c in plan.containers)
        self.workers = min(workers, max(1, expected))
        self.batch_size = batch_size_for(expected, self.workers)

    def tell(self, origin: Origin, outcome: Outcome) -> None:
        self._report.add(origin, outcome)
        if self._settings.fail_fast and outcome.status == FAILED:
            raise _FailFast

    def advance(self, files: int) -> None:
        if self.progress is None:
            self._unshown += files
        else:
            self.progress.advance(files + self._unshown, self._report.counts[FAILED])
            self._unshown = 0

    def on_answer(self, jobs: list[Job], outcomes: list[Outcome]) -> None:
        incomplete = self._plan.incomplete
        # Nearly every log of a batch is converted, which only counts: they are counted once
        # per batch, and only the others are told one by one.
        converted = 0
        for job, outcome in zip(jobs, outcomes):
            if outcome.status == CONVERTED:
                if not (incomplete and job[1] in incomplete):
                    converted += 1
                    continue
                outcome = RECONVERTED_OUTCOME
            self.tell(job[0], outcome)
        self._report.count(CONVERTED, converted)
        self.advance(len(jobs))

    def _items(self) -> Iterator[Item]:
        yield from self._plan.jobs
        for container in self._plan.containers:
            yield from container_items(container, self._settings, self._plan.incomplete)

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


def summary_of(report: Report, seconds: float) -> Summary:
    counts = report.counts
    return Summary(
        counts[CONVERTED], counts[SKIPPED], counts[RECONVERTED], counts[FAILED],
        counts[THREE_PLAYER], counts[NOT_DOWNLOADED], counts[FILTERED], seconds,
    )


def plan_tree(sources: Sequence[str], out: str, settings: Settings) -> Plan:
    """The run's plan, every source checked before anything is created; then the output
    folder."""
    if settings.to not in ("mjai", "tenhou"):
        raise UsageError(f"to must be 'mjai' or 'tenhou', not {settings.to!r}")
    if settings.length not in LENGTHS:
        raise UsageError(f"length must be one of {', '.join(LENGTHS)}, not {settings.length!r}")
    plan = plan_jobs(
        sources, out, settings.gzip, settings.force, settings.to == "tenhou", settings.length, settings.max_size
    )
    try:
        os.makedirs(out, exist_ok=True)
    except OSError as exc:
        raise UsageError(f"cannot create the output folder {out}: {exc.strerror or exc}") from None
    return plan


def run_plan(
    plan: Plan, settings: Settings, report: Report, started: float,
    executor: concurrent.futures.Executor | None = None, pool: Pool | None = None,
) -> Result:
    """Converts what `plan` found, telling `report` each outcome, on `executor`, or else on
    `pool` (the caller's `spawned_pool`, which this closes), or else on local workers started
    here; a Ctrl-C ends the run (interrupted), as does a run that cannot go on (broken);
    neither leaves a partial output under a final name."""
    for path, outcome in plan.failures:
        report.add(path, outcome)
    for path in plan.skipped:
        report.add(path, SKIPPED_OUTCOME)
    if settings.fail_fast and plan.failures:
        if pool is not None:
            pool.close()
        return Result(summary_of(report, time.monotonic() - started), None, False)

    jobs = settings.jobs or default_jobs()
    run = _Run(plan, settings, report, jobs)
    engine: Engine
    if executor is not None:
        # Two batches per worker in flight, as for the local pool: each worker has the next one
        # while the main process takes the last one's answer.
        engine = ExecutorEngine(executor, 2 * jobs, worker_args(settings))
    else:
        engine = pool if pool is not None else Pool(run.workers, *worker_args(settings))
    interrupted, broken = False, None
    try:
        engine.start(run.batches())
        run.progress = Progress(plan.total)  # while the workers start
        run.advance(0)
        engine.run(run.on_answer)
    except _FailFast:
        pass
    except RunError as exc:
        broken = str(exc)
    except KeyboardInterrupt:
        interrupted = True
    finally:
        engine.close()  # stops the workers still busy, which remove their unfinished outputs
        if run.progress is not None:
            run.progress.close()
    return Result(summary_of(report, time.monotonic() - started), broken, interrupted)


def convert_tree(
    sources: str | os.PathLike[str] | Sequence[str | os.PathLike[str]],
    out: str | os.PathLike[str],
    *,
    executor: concurrent.futures.Executor | None = None,
    jobs: int | None = None,
    gzip: bool = False,
    to: Literal["mjai", "tenhou"] = "mjai",
    force: bool = False,
    length: Literal["east", "south", "any"] = "any",
    max_size: int = DEFAULT_MAX_SIZE,
    fsync: bool = False,
    report: str | os.PathLike[str] | None = None,
    fail_fast: bool = False,
) -> Summary:
    """`tessmar convert SOURCES -o OUT` as a function: every log under `sources` (log files,
    folders, databases, archives) converted into one file under `out`, mirroring their tree,
    with the command's options. Outputs already there, complete, are skipped unless `force`;
    failures go to the `report` file (JSON lines) and are counted in the returned `Summary`.

    `executor`: any `concurrent.futures.Executor` (a `ThreadPoolExecutor`, or the executor of a
    Dask client) that takes the batches of logs; `jobs` is then the number of its workers (two
    batches each are kept in flight). Its workers write the outputs themselves, so `out` must be a folder they all see.
    By default `jobs` local worker processes (the number of CPUs).

    Raises `ValueError` (a usage error) for sources or options that cannot be run,
    `KeyboardInterrupt` once the workers are stopped when interrupted, and `RuntimeError` when
    the run cannot go on (the workers do not start, the report cannot be written).
    """
    names = [os.fspath(sources)] if isinstance(sources, (str, os.PathLike)) else [os.fspath(s) for s in sources]
    if jobs is not None and jobs < 1:
        raise UsageError(f"jobs must be at least 1, not {jobs}")
    started = time.monotonic()
    settings = Settings(jobs, gzip, to, force, length, max_size, fsync, fail_fast)
    pool = spawned_pool(settings) if executor is None else None  # they start while the run is planned
    try:
        plan = plan_tree(names, os.fspath(out), settings)
        writer = Report(None if report is None else os.fspath(report))
        try:
            result = run_plan(plan, settings, writer, started, executor, pool)
        finally:
            writer.close()
    finally:
        if pool is not None:
            pool.close()  # when the run did not take it
    if result.interrupted:
        raise KeyboardInterrupt
    if result.broken is not None:
        raise RunError(result.broken)
    return result.summary
