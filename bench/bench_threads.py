"""Threads over _mjlog.convert_text and tessmar.convert: the same conversions done by one thread and by two, next to the
same for hashlib.sha256 over large buffers, which releases the GIL for all its work. The
conversion releases the GIL while the core reads, converts and writes, so two threads should
come close to what GIL-free work reaches on the same machine at the same time (target: two
threads at least 1.7 times one thread on two idle cores; on a shared machine, at least 90% of
hashlib's speedup).

Usage: python bench/bench_threads.py [--rounds N]
    (logs: ../shared/logs/*.json, ../shared/mjlog/*.xml, examples/*.json, examples/mjlog/*.xml)
"""

from __future__ import annotations

import argparse
import hashlib
import os
import pathlib
import statistics
import sys
import time
from collections.abc import Callable
from concurrent.futures import ThreadPoolExecutor

import tessmar
from tessmar import _mjlog

ROOT = pathlib.Path(__file__).resolve().parents[1]
SHARED = ROOT.parent / "shared"

# Conversions per task: a task is a chunk of the work, so that the executor's own cost (a
# future per task, taken under the GIL) stays small next to the work measured.
CHUNK = 64


def logs() -> list[tuple[bytes, bool]]:
    """(text, is mjlog) of every real log found."""
    found = []
    for folder, pattern, mjlog in (
        (SHARED / "logs", "*.json", False),
        (SHARED / "mjlog", "*.xml", True),
        (ROOT / "examples", "*.json", False),
        (ROOT / "examples" / "mjlog", "*.xml", True),
    ):
        found += [(path.read_bytes(), mjlog) for path in sorted(folder.glob(pattern))]
    return found


def timed(threads: int, tasks: int, task: Callable[[], object]) -> float:
    """Seconds for `tasks` runs of `task` spread over `threads` threads."""
    with ThreadPoolExecutor(max_workers=threads) as pool:
        list(pool.map(lambda _: task(), range(threads)))  # the threads exist before timing
        start = time.perf_counter()
        list(pool.map(lambda _: task(), range(tasks)))
        return time.perf_counter() - start


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--rounds", type=int, default=7)
    args = parser.parse_args()
    texts = logs()
    if not texts:
        print("no logs found", file=sys.stderr)
        return 1
    work = [texts[i % len(texts)] for i in range(CHUNK)]

    def convert_chunk() -> None:
        for text, mjlog in work:
            _mjlog.convert_text(text, "", mjlog=mjlog, tenhou=False)

    def package_chunk() -> None:  # the public function, with its checks in Python
        for text, _ in work:
            tessmar.convert(text)

    buffers = [os.urandom(1 << 20) for _ in range(4)]

    def hash_chunk() -> None:
        for data in buffers:
            hashlib.sha256(data).digest()

    # Tasks sized so that one round of each takes about a quarter of a second on one thread.
    def tasks_for(task: Callable[[], object]) -> int:
        start = time.perf_counter()
        task()
        return max(8, int(0.25 / (time.perf_counter() - start)))

    convert_tasks, hash_tasks = tasks_for(convert_chunk), tasks_for(hash_chunk)
    package_tasks = tasks_for(package_chunk)
    # Interleaved rounds, so that both kinds of work see the same load from the rest of the
    # machine; the median of each speedup is reported.
    speedups: dict[str, list[float]] = {"convert": [], "package": [], "sha256": []}
    per_call = []
    for _ in range(args.rounds):
        for name, task, tasks in (
            ("convert", convert_chunk, convert_tasks),
            ("package", package_chunk, package_tasks),
            ("sha256", hash_chunk, hash_tasks),
        ):
            one = timed(1, tasks, task)
            two = timed(2, tasks, task)
            speedups[name].append(one / two)
            if name == "convert":
                per_call.append(one / (tasks * CHUNK))
    convert, sha = statistics.median(speedups["convert"]), statistics.median(speedups["sha256"])
    print(f"logs: {len(texts)} ({sum(len(t) for t, _ in texts) / 1e3:.0f} KB), "
          f"one convert call: {statistics.median(per_call) * 1e6:.1f} us on one thread; "
          f"cores: {os.cpu_count()}")
    print(f"two threads / one thread, median of {args.rounds} rounds:")
    print(f"  convert_text     {convert:5.2f}x  (rounds: {', '.join(f'{s:.2f}' for s in speedups['convert'])})")
    package = statistics.median(speedups["package"])
    print(f"  tessmar.convert  {package:5.2f}x  (rounds: {', '.join(f'{s:.2f}' for s in speedups['package'])})")
    print(f"  hashlib.sha256   {sha:5.2f}x  (rounds: {', '.join(f'{s:.2f}' for s in speedups['sha256'])})")
    print(f"  convert / sha256 {convert / sha:5.2f}   (targets: convert 1.7x on two idle cores, "
          f"or 0.90 of sha256's speedup)")
    return 0


if __name__ == "__main__":
    sys.exit(main())
