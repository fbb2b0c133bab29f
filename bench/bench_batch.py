"""Files per second of `tessmar convert` on a folder of logs, with one worker and with all CPUs.

    python bench/bench_batch.py [--files N] [--logs DIR] [--repeat R] [--gzip]

Builds a folder of N logs (copies of the .json files in DIR, spread over dated subfolders)
in a temporary directory, then times the real command into a fresh output folder for each
run. Also times, in this process, the bare conversion loop, the whole work of a worker (read,
convert, write under a temporary name, rename), and that work without the conversion (each
log read, and its output's bytes, made beforehand, written): the ceilings for one process, and
the file I/O floor. Each figure is the median of R rounds of all the measurements, and each
command's rate is also given as time per file beyond the conversion (against the bare loop),
the part the command itself adds. The same logs are also stored in a downloader's database
(gzip-compressed, one row each) and converted from there. Set TMPDIR to choose the file
system the logs and outputs live on (the targets are for tmpfs: TMPDIR=/dev/shm).
"""

import argparse
import gzip
import itertools
import os
import pathlib
import resource
import shutil
import sqlite3
import statistics
import subprocess
import sys
import tempfile
import time

import tessmar
from tessmar.batch import default_jobs
from tessmar.plan import plan_jobs
from tessmar.work import _made_dirs, _read_file, _write_file, convert_job, write_atomically

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


def make_database(files: list[pathlib.Path], path: pathlib.Path) -> pathlib.Path:
    db = sqlite3.connect(path)
    db.execute(
        "CREATE TABLE logs(log_id text primary key, date text, is_tonpusen int, is_sanma int,"
        " is_processed int, was_error int, log_content text)"
    )
    db.executemany(
        "INSERT INTO logs VALUES (?, '', 0, 0, 1, 0, ?)",
        ((f"2019{1 + i // 1000 % 12:02d}{i % 28 + 1:02d}00gm-{i:08x}", gzip.compress(f.read_bytes(), 3))
         for i, f in enumerate(files)),
    )
    db.commit()
    db.close()
    return path


def conversion_rate(files: list[pathlib.Path]) -> float:
    """The conversions alone, bytes in and bytes out as a worker makes them."""
    logs = [path.read_bytes() for path in files]
    started = time.perf_counter()
    for log in logs:
        tessmar.convert(log)
    return len(files) / (time.perf_counter() - started)


def job_rate(tree: pathlib.Path, out: pathlib.Path, compress: bool) -> float:
    shutil.rmtree(out, ignore_errors=True)
    _made_dirs.clear()  # as in a fresh worker
    jobs = plan_jobs([str(tree)], str(out), compress).jobs
    started = time.perf_counter()
    for job in jobs:
        convert_job(job, compress)
    return len(jobs) / (time.perf_counter() - started)


def io_rate(tree: pathlib.Path, out: pathlib.Path, logs: list[pathlib.Path]) -> float:
    """A worker's file I/O alone: each log read, and its output's bytes (converted beforehand)
    written under its output's name, with the worker's own system calls."""
    shutil.rmtree(out, ignore_errors=True)
    _made_dirs.clear()
    jobs = plan_jobs([str(tree)], str(out), False).jobs
    # The tree holds copies of `logs`, told apart here by their sizes.
    output_of_size = {len(data): tessmar.convert(data) for data in (log.read_bytes() for log in logs)}
    started = time.perf_counter()
    for source, target, *_ in jobs:
        assert isinstance(source, str)
        output = output_of_size[len(_read_file(source, 1 << 26))]
        write_atomically(target, lambda temp: _write_file(temp, output))
    return len(jobs) / (time.perf_counter() - started)


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
    # Enough files that a worker's start (about 40 ms) is a small share of a run.
    parser.add_argument("--files", type=int, default=20000)
    parser.add_argument("--logs", type=pathlib.Path, default=ROOT.parent / "shared" / "logs")
    parser.add_argument("--repeat", type=int, default=3)
    parser.add_argument("--gzip", action="store_true")
    args = parser.parse_args()

    logs = sorted(args.logs.glob("*.json")) or sorted((ROOT / "examples").glob("*.json"))
    if not logs:
        sys.exit(f"no .json logs in {args.logs}")
    cpus = default_jobs()
    with tempfile.TemporaryDirectory(prefix="tessmar-bench-") as temp:
        tree, out = pathlib.Path(temp, "logs"), pathlib.Path(temp, "mjai")
        files = make_tree(logs, args.files, tree)
        database = make_database(files, pathlib.Path(temp, "houou.db"))
        size = sum(os.path.getsize(f) for f in files)
        print(
            f"{len(files)} logs, {size / len(files) / 1024:.1f} KiB each on average, {cpus} CPUs,"
            f" load average {os.getloadavg()[0]:.2f} before the runs"
        )
        # Every measurement in each round, so that all of them see the same load on the machine.
        counts = sorted({1, cpus})
        conversions, job_rates, io_rates = [], [], []
        runs: dict[int, list[tuple[float, float]]] = {jobs: [] for jobs in counts}
        from_db: dict[int, list[tuple[float, float]]] = {jobs: [] for jobs in counts}
        for _ in range(args.repeat):
            conversions.append(conversion_rate(files))
            job_rates.append(job_rate(tree, out, args.gzip))
            io_rates.append(io_rate(tree, out, logs))
            for jobs in counts:
                runs[jobs].append(command_rate(tree, out, jobs, args.gzip, len(files)))
                from_db[jobs].append(command_rate(database, out, jobs, args.gzip, len(files)))
        conversion = statistics.median(conversions)
        print(f"in-process tessmar.convert loop: {conversion:8.0f} files/s")
        print(f"in-process read+convert+write:  {statistics.median(job_rates):8.0f} files/s")
        print(f"in-process read+write alone:    {statistics.median(io_rates):8.0f} files/s (file I/O floor: no conversion)")
        rates = {}
        for jobs in counts:
            rates[jobs] = statistics.median(rate for rate, _ in runs[jobs])
            cpu = statistics.median(cpu for _, cpu in runs[jobs])
            # Per file beyond the conversion, on the wall clock as seen by one worker: jobs / rate.
            beyond = jobs / rates[jobs] - 1 / conversion
            print(
                f"tessmar convert --jobs {jobs}:{' ' * (9 - len(str(jobs)))}{rates[jobs]:8.0f} files/s"
                f"  ({cpu * 1e6:.0f} us CPU per file, all processes;"
                f" {beyond * 1e6:.0f} us per file per worker beyond the conversion)"
            )
        for jobs in counts:
            rate = statistics.median(rate for rate, _ in from_db[jobs])
            print(f"from a database, --jobs {jobs}: {rate:8.0f} files/s")
        if cpus > 1:
            print(f"scaling with {cpus} jobs: x{rates[cpus] / rates[1]:.2f} (target >= 1.8)")
        print("targets on tmpfs: --jobs 1 >= 18000 files/s from a folder of .json, >= 15000 from a database")


if __name__ == "__main__":
    main()
