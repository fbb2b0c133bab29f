"""Files per second of `tessmar convert` from a downloader database against the same games as a
folder of .mjlog.gz files, and the main process's peak memory on a database of many rows.

    python bench/bench_archives.py [--games N] [--rows R] [--repeat K]

The games are the real mjlog XML games of the repository (and ../shared/mjlog), each stored
gzip-compressed under N distinct ids. The memory run builds a database of R rows (default a
million) holding the smallest real log, compressed, and converts it with two workers; it
reports the main process's peak RSS, which must stay flat in R. Set TMPDIR to choose the file
system the inputs and outputs live on.
"""

import argparse
import gzip
import itertools
import os
import pathlib
import shutil
import sqlite3
import statistics
import subprocess
import sys
import tempfile
import time

ROOT = pathlib.Path(__file__).resolve().parents[1]
GAMES = [ROOT / "examples" / "mjlog", ROOT.parent / "shared" / "mjlog"]
SMALL_LOG = ROOT / "examples" / "rc-2179-0-1.json"

# Runs the command in this interpreter and prints the main process's peak RSS (KiB) last.
MEASURED_RUN = """
import resource, sys
from tessmar.cli import main
status = main(sys.argv[1:])
print(resource.getrusage(resource.RUSAGE_SELF).ru_maxrss, file=sys.stderr)
sys.exit(status)
"""


def game_ids(count: int) -> list[str]:
    return [f"2019{1 + i // 1000 % 12:02d}{1 + i // 40 % 28:02d}{i % 24:02d}gm-00a9-0000-{i:08x}" for i in range(count)]


def make_inputs(games: list[bytes], count: int, top: pathlib.Path) -> tuple[pathlib.Path, pathlib.Path]:
    """The same games as a database and as a folder of .mjlog.gz files (in the same layout)."""
    folder = top / "folder"
    database = top / "houou.db"
    db = sqlite3.connect(database)
    db.execute(
        "CREATE TABLE logs(log_id text primary key, date text, is_tonpusen int, is_sanma int,"
        " is_processed int, was_error int, log_content text)"
    )
    rows = []
    for ident, game in zip(game_ids(count), itertools.cycle(games)):
        rows.append((ident, game))
        path = folder / ident[:4] / ident[4:6] / f"{ident}.mjlog.gz"
        path.parent.mkdir(parents=True, exist_ok=True)
        path.write_bytes(game)
    db.executemany("INSERT INTO logs VALUES (?, '', 0, 0, 1, 0, ?)", rows)
    db.commit()
    db.close()
    return database, folder


def run(source: pathlib.Path, out: pathlib.Path, jobs: int) -> tuple[float, int]:
    """Seconds of one run into a fresh output folder, and the main process's peak RSS in KiB."""
    shutil.rmtree(out, ignore_errors=True)
    command = [sys.executable, "-c", MEASURED_RUN, "convert", str(source), "-o", str(out), "--jobs", str(jobs)]
    started = time.perf_counter()
    done = subprocess.run(command, check=True, stderr=subprocess.PIPE)
    return time.perf_counter() - started, int(done.stderr.split()[-1])


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--games", type=int, default=3000)
    parser.add_argument("--rows", type=int, default=1_000_000)
    parser.add_argument("--repeat", type=int, default=3)
    args = parser.parse_args()

    games = [gzip.compress(p.read_bytes(), mtime=0) for d in GAMES if d.is_dir() for p in sorted(d.glob("*.xml"))]
    with tempfile.TemporaryDirectory(prefix="tessmar-bench-") as temp:
        top = pathlib.Path(temp)
        database, folder = make_inputs(games, args.games, top)
        print(f"{args.games} games ({len(games)} distinct), {os.cpu_count()} CPUs")
        for jobs in (1, 2):
            rates: dict[str, list[float]] = {"folder": [], "database": []}
            for _ in range(args.repeat):  # interleaved, so that both see the same load
                for name, source in (("folder", folder), ("database", database)):
                    seconds, _ = run(source, top / "out", jobs)
                    rates[name].append(args.games / seconds)
            folder_rate, db_rate = (statistics.median(rates[k]) for k in ("folder", "database"))
            print(
                f"--jobs {jobs}: folder of .mjlog.gz {folder_rate:7.0f} files/s, database"
                f" {db_rate:7.0f} files/s: x{db_rate / folder_rate:.2f} (target >= 0.80)"
            )
        shutil.rmtree(folder)
        shutil.rmtree(top / "out", ignore_errors=True)

        small = gzip.compress(SMALL_LOG.read_bytes(), mtime=0)
        big = top / "million.db"
        db = sqlite3.connect(big)
        db.execute("CREATE TABLE logs(id TEXT PRIMARY KEY, date TEXT NOT NULL, num_players INTEGER NOT NULL,"
                   " is_tonpu INTEGER NOT NULL, is_processed INTEGER NOT NULL, was_error INTEGER NOT NULL, log BLOB)")
        db.executemany("INSERT INTO logs VALUES (?, '', 4, 0, 1, 0, ?)", ((i, small) for i in game_ids(args.rows)))
        db.commit()
        db.close()
        seconds, rss = run(big, top / "out", 2)
        print(
            f"{args.rows} rows, --jobs 2: {args.rows / seconds:.0f} files/s, main process peak RSS"
            f" {rss / 1024:.0f} MB (target < 200 MB)"
        )


if __name__ == "__main__":
    main()
