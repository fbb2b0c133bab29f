"""The worker processes: batches of jobs out, their outcomes back, a dead worker replaced."""

from __future__ import annotations

import math
import multiprocessing
import os
import signal
from collections import deque
from collections.abc import Callable, Iterator
from multiprocessing.connection import Connection, wait
from multiprocessing.process import BaseProcess

from tessmar.jobs import FAILED, Job, Outcome, RunError, Settings, worker_args
from tessmar.work import worker_main

# Upper bound of files per batch sent to a worker: large enough that the main process's work
# per batch (a round trip, waking up, pickling) is a small share of the run, small enough that
# the last batches still spread over all workers (128 logs take a worker about 15 ms).
MAX_BATCH = 128

# Name under which a log is reported when the worker converting it died.
WORKER_DIED = "WorkerDied"


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

    def __init__(
        self, workers: int, compress: bool, max_size: int, durable: bool = False, tenhou: bool = False
    ) -> None:
        self._size = workers
        self._args = (compress, max_size, durable, tenhou)  # worker_main's, after the connection
        # spawn: workers start from a clean interpreter whatever threads the caller runs.
        self._context = multiprocessing.get_context("spawn")
        self._workers: list[_Worker] = []
        self._failed_starts = 0
        self._queue: deque[list[Job]] = deque()  # batches to send before the next new one
        self._batches: Iterator[list[Job]] = iter(())
        self._on_answer: Callable[[list[Job], list[Outcome]], None] = lambda jobs, outcomes: None

    def spawn(self) -> None:
        """Starts every worker before there is anything to send them: a worker takes about as
        long to be ready as planning a run of thousands of files, which can go on meanwhile."""
        while len(self._workers) < self._size:
            self._add_worker()

    def start(self, batches: Iterator[list[Job]]) -> None:
        """Sets the workers (those spawned, and as many more as there are batches for) on the
        batches of jobs that `batches` gives as they are wanted; the workers take a while to be
        ready, so the caller can get on with something else before `run`."""
        self._batches = batches
        for worker in list(self._workers):
            self._feed(worker)
        while len(self._workers) < self._size and self._pending():
            self._add_worker()

    def _pending(self) -> bool:
        """Whether a batch is waiting to be sent, taking the next one in if need be."""
        if not self._queue:
            batch = next(self._batches, None)
            if batch is None:
                return False
            self._queue.append(batch)
        return True

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
        was writing. One never heard from (still starting, or spawned for a run that turned out
        to need fewer workers) has nothing to finish, and is stopped rather than waited for."""
        for worker in self._workers:
            if worker.sent or not worker.ready or not worker.process.is_alive():
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
        while len(worker.sent) < self.AHEAD and self._pending():
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
        if self._pending():
            self._add_worker()


def spawned_pool(settings: Settings) -> Pool:
    """The local workers of a run, spawned at once, so that they start while the caller plans
    the run."""
    pool = Pool(settings.jobs or default_jobs(), *worker_args(settings))
    pool.spawn()
    return pool


def default_jobs() -> int:
    """Local workers by default: one per CPU that this process may run on."""
    count: int | None = getattr(os, "process_cpu_count", os.cpu_count)()
    try:
        count = len(os.sched_getaffinity(0))
    except (AttributeError, OSError):
        pass
    return max(1, count or 1)


def batch_size_for(jobs: int, workers: int) -> int:
    """Batches small enough that each worker gets several, so the run ends evenly."""
    return max(1, min(MAX_BATCH, math.ceil(jobs / (workers * 4))))
