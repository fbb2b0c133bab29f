"""Files per second of `tessmar convert` on a folder of logs, with one worker and with all CPUs.

    python bench/bench_batch.py [--files N] [--logs DIR] [--repeat R] [--gzip]

Builds a folder of N logs (copies of the .json files in DIR, spread over dated subfolders)
in a temporary directory, then times the real command into a fresh output folder for each
run. Also times, in this process, the bare conversion loop and the whole work of a worker
(read, convert, write under a temporary name, rename): the ceilings for one process.
Set TMPDIR to choose the file system the logs and outputs live on.
"""

import argparse
import itertools
import os
import pathlib
import resource
import shutil
import subprocess
import sys
import tempfile
import time

import _tessmar
from tessmar.cli import Job, convert_job, default_jobs

ROOT = pathlib.Path(__file__).resolve().parents[1]


def make_tree(logs: list[pathlib.Path], count: int, top: pathlib.Path) -> list[pathlib.Path]:
    files = []
    for i, log in zip(range(count), itertools.cycle(logs)):
        folder = top / f"2019{1 + i // 1000 % 12:02d}" / f"{1 + i // 100 % 28:02d}"
        folder.mkdir(parents=True, exist_ok=True)
        target = folder / f"{log.stem}-{i:06d}.json"
        shutil.copyfile(log, target)
        files.append(target)
    return files


def conversion_rate(files: list[pathlib.Path]) -> float:
    texts = [path.read_text(encoding="utf-8") for path in files]
    started = time.perf_counter()
    for text in texts:
        _tessmar.tenhou_to_mjai(text)
    return len(files) / (time.perf_counter() - started)


def job_rate(files: list[pathlib.Path], tree: pathlib.Path, out: pathlib.Path, compress: bool) -> float:
    shutil.rmtree(out, ignore_errors=True)
    jobs = [Job(str(f), str(out / f.relative_to(tree))) for f in files]
    started = time.perf_counter()
    for job in jobs:
        convert_job(job, force=True, compress=compress)
    return len(files) / (time.perf_counter() - started)


def children_cpu() -> float:
    usage = resource.getrusage(resource.RUSAGE_CHILDREN)
    return usage.ru_utime + usage.ru_stime


def command_rate(
    tree: pathlib.Path, out: pathlib.Path, jobs: int, compress: bool, count: int
) -> tuple[float, float]:
    """Files per second of one run, and CPU seconds per file of all its processes."""
    shutil.rmtree(out, ignore_errors=True)
    command = [sys.executable, "-m", "tessmar", "convert", str(tree), "-o", str(out), "--jobs", str(jobs)]
    if compress:
        command.append("--gzip")
    cpu, started = children_cpu(), time.perf_counter()
    subprocess.run(command, check=True, stderr=subprocess.DEVNULL)
    return count / (time.perf_counter() - started), (children_cpu() - cpu) / count


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--files", type=int, default=3000)
    parser.add_argument("--logs", type=pathlib.Path, default=ROOT.parent / "shared" / "logs")
    parser.add_argument("--repeat", type=int, default=3)
    parser.add_argument("--gzip", action="store_true")
    args = parser.parse_args()

    logs = sorted(args.logs.glob("*.json"))
    if not logs:
        sys.exit(f"no .json logs in {args.logs}")
    cpus = default_jobs()
    with tempfile.TemporaryDirectory(prefix="tessmar-bench-") as temp:
        tree, out = pathlib.Path(temp, "logs"), pathlib.Path(temp, "mjai")
        files = make_tree(logs, args.files, tree)
        size = sum(os.path.getsize(f) for f in files)
        print(
            f"{len(files)} logs, {size / len(files) / 1024:.1f} KiB each on average, {cpus} CPUs,"
            f" load average {os.getloadavg()[0]:.2f} before the runs"
        )
        best = max(conversion_rate(files) for _ in range(args.repeat))
        print(f"in-process tenhou_to_mjai loop: {best:8.0f} files/s")
        best = max(job_rate(files, tree, out, args.gzip) for _ in range(args.repeat))
        print(f"in-process read+convert+write:  {best:8.0f} files/s")
        rates = {}
        for jobs in sorted({1, cpus}):
            runs = [command_rate(tree, out, jobs, args.gzip, len(files)) for _ in range(args.repeat)]
            rates[jobs], cpu = max(runs)
            print(
                f"tessmar convert --jobs {jobs}:{' ' * (9 - len(str(jobs)))}{rates[jobs]:8.0f} files/s"
                f"  ({cpu * 1e6:.0f} us CPU per file, all processes)"
            )
        if cpus > 1:
            print(f"scaling with {cpus} jobs: x{rates[cpus] / rates[1]:.2f}")


if __name__ == "__main__":
    main()
