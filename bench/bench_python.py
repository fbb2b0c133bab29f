"""Cost of one tenhou_to_mjai call (a list of str) and of one tessmar.convert call (the output
file's bytes) next to json.loads and orjson.loads of the same text.

Usage: python bench/bench_python.py [--stages BENCH_STAGES_BINARY] [--out FILE]

Logs: ../shared/logs/*.json when present, else examples/*.json, plus one large log made by
concatenating their kyokus. Prints a table and writes the numbers as JSON.
"""

import argparse
import json
import pathlib
import statistics
import subprocess
import sys
import tempfile
import time

import orjson

import _tessmar
import tessmar

ROOT = pathlib.Path(__file__).resolve().parents[1]


def log_files() -> list[pathlib.Path]:
    shared = ROOT.parent / "shared" / "logs"
    files = sorted(shared.glob("*.json")) if shared.is_dir() else []
    return files or sorted((ROOT / "examples").glob("*.json"))


def large_log(files: list[pathlib.Path], target_bytes: int = 2_000_000) -> str:
    logs = [json.loads(f.read_text(encoding="utf-8")) for f in files]
    entries = [entry for log in logs for entry in log["log"]]
    out = {"name": logs[0]["name"], "rule": {"disp": "般南喰赤", "aka": 1}, "log": []}
    size = 0
    while size < target_bytes:
        for entry in entries:
            out["log"].append(entry)
            size += len(json.dumps(entry, separators=(",", ":")))
    return json.dumps(out, ensure_ascii=False, separators=(",", ":"))


def interleaved_medians(fns: dict, text: str, budget: float = 0.6) -> dict:
    """Median seconds per call of each function, timed in turns so that all see the same load.

    Each sample is a batch of calls lasting about a millisecond."""
    inner = {}
    for name, fn in fns.items():
        start = time.perf_counter()
        fn(text)
        inner[name] = max(1, int(1e-3 / max(time.perf_counter() - start, 1e-7)))
    samples: dict = {name: [] for name in fns}
    deadline = time.perf_counter() + budget
    while len(samples[next(iter(fns))]) < 9 or (time.perf_counter() < deadline and len(samples[next(iter(fns))]) < 300):
        for name, fn in fns.items():
            n = inner[name]
            t0 = time.perf_counter()
            for _ in range(n):
                fn(text)
            samples[name].append((time.perf_counter() - t0) / n)
    return {name: statistics.median(v) for name, v in samples.items()}


def core_stages(binary: pathlib.Path, paths: list[pathlib.Path]) -> tuple[dict, dict]:
    """Per-log stage medians (seconds) and peak heap ratios from the C++ harness."""
    proc = subprocess.run(
        [str(binary), "--benchmark_format=json", "--benchmark_repetitions=5",
         "--benchmark_report_aggregates_only=true", "--benchmark_min_time=0.05", *map(str, paths)],
        check=True, capture_output=True, text=True)
    lines = proc.stdout.splitlines()
    peaks = {}
    for line in lines:
        if line.startswith("peak_heap "):
            fields = dict(kv.split("=") for kv in line.split()[2:])
            peaks[line.split()[1]] = float(fields["ratio"])
    start = next(i for i, line in enumerate(lines) if line.startswith("{"))
    report = json.loads("\n".join(lines[start:]))
    stages: dict[str, dict[str, float]] = {}
    for b in report["benchmarks"]:
        if b.get("aggregate_name") != "median":
            continue
        name, stage = b["run_name"].rsplit("/", 1)
        scale = {"ns": 1e-9, "us": 1e-6, "ms": 1e-3, "s": 1.0}[b["time_unit"]]
        stages.setdefault(name, {})[stage] = b["real_time"] * scale
    return stages, peaks


def main() -> int:
    parser = argparse.ArgumentParser()
    parser.add_argument("--stages", type=pathlib.Path, help="bench_stages binary for the C++ breakdown")
    parser.add_argument("--out", type=pathlib.Path, help="JSON file for the numbers")
    args = parser.parse_args()

    files = log_files()
    texts = {f.stem: f.read_text(encoding="utf-8") for f in files}
    with tempfile.TemporaryDirectory() as tmp:
        large = pathlib.Path(tmp) / "large.json"
        large.write_text(large_log(files), encoding="utf-8")
        texts["large"] = large.read_text(encoding="utf-8")
        stages, peaks = core_stages(args.stages, files + [large]) if args.stages else ({}, {})

    rows = []
    for name, text in texts.items():
        size = len(text.encode("utf-8"))
        m = interleaved_medians({"tessmar": _tessmar.tenhou_to_mjai, "convert": tessmar.convert, "json": json.loads,
                                 "orjson": orjson.loads}, text)
        t, c, j, o = m["tessmar"], m["convert"], m["json"], m["orjson"]
        row = {"log": name, "bytes": size, "tessmar_s": t, "convert_s": c, "json_s": j, "orjson_s": o,
               "tessmar_over_orjson": t / o, "tessmar_over_json": t / j, "convert_over_orjson": c / o,
               "mb_per_s": size / t / 1e6}
        if name in stages:
            s = stages[name]
            row["stages_s"] = {k: s[k] for k in ("read", "drive", "total") if k in s}
            row["stages_s"]["python_list"] = max(0.0, t - s.get("total", t))
            row["core_mb_per_s"] = size / s["total"] / 1e6
        if name in peaks:
            row["peak_heap_over_input_and_output"] = peaks[name]
        rows.append(row)

    print("tessmar: tenhou_to_mjai; convert: tessmar.convert (bytes out); /orjson, /json: tenhou_to_mjai's")
    print(f"{'log':42} {'KB':>7} {'tessmar us':>10} {'convert us':>10} {'orjson us':>10} {'json us':>9} "
          f"{'/orjson':>8} {'/json':>6} {'cv/orjs':>7} {'MB/s':>6} {'core MB/s':>9} {'peak/io':>7}")
    for r in rows:
        print(f"{r['log'][:42]:42} {r['bytes'] / 1e3:7.1f} {r['tessmar_s'] * 1e6:10.1f} {r['convert_s'] * 1e6:10.1f} "
              f"{r['orjson_s'] * 1e6:10.1f} {r['json_s'] * 1e6:9.1f} {r['tessmar_over_orjson']:8.2f} "
              f"{r['tessmar_over_json']:6.2f} {r['convert_over_orjson']:7.2f} {r['mb_per_s']:6.0f} "
              f"{r.get('core_mb_per_s', float('nan')):9.0f} {r.get('peak_heap_over_input_and_output', float('nan')):7.2f}")
    real = [r for r in rows if r["log"] != "large"]
    ratios = sorted(r["tessmar_over_orjson"] for r in real)
    json_ratios = sorted(r["tessmar_over_json"] for r in real)
    convert_ratios = sorted(r["convert_over_orjson"] for r in real)
    summary = {
        "median_tessmar_over_orjson": statistics.median(ratios),
        "tessmar_over_orjson_min_max": [ratios[0], ratios[-1]],
        "median_tessmar_over_json": statistics.median(json_ratios),
        "tessmar_over_json_min_max": [json_ratios[0], json_ratios[-1]],
        "median_convert_over_orjson": statistics.median(convert_ratios),
        "convert_over_orjson_min_max": [convert_ratios[0], convert_ratios[-1]],
    }
    if all("core_mb_per_s" in r for r in real):
        core = sorted(r["core_mb_per_s"] for r in real)
        summary["median_core_mb_per_s"] = statistics.median(core)
        summary["core_mb_per_s_min_max"] = [core[0], core[-1]]
    if all("peak_heap_over_input_and_output" in r for r in real):
        summary["max_peak_heap_over_input_and_output"] = max(r["peak_heap_over_input_and_output"] for r in real)
    print("summary:", json.dumps(summary))
    print(f"medians over the real logs: tenhou_to_mjai {summary['median_tessmar_over_orjson']:.2f}x orjson.loads"
          f" (target 0.7 at most), {summary['median_tessmar_over_json']:.2f}x json.loads (target 0.18 at most);"
          f" tessmar.convert {summary['median_convert_over_orjson']:.2f}x orjson.loads (target 0.55 at most)")
    if "median_core_mb_per_s" in summary:
        print(f"core (read + drive, C++): median {summary['median_core_mb_per_s']:.0f} MB/s (target 650 at least)")
    if stages:
        print("\nstages of one call, microseconds (read: text to columns; drive: columns to event texts;"
              " python_list: the Python call minus the core's total):")
        print(f"{'log':42} {'read':>8} {'drive':>8} {'core':>8} {'py list':>8} {'total':>8}")
        for r in rows:
            s = r.get("stages_s")
            if s:
                print(f"{r['log'][:42]:42} " + " ".join(
                    f"{s.get(k, 0) * 1e6:{w}.1f}" for k, w in
                    (("read", 8), ("drive", 8), ("total", 8), ("python_list", 8))) +
                    f" {r['tessmar_s'] * 1e6:8.1f}")
    if args.out:
        args.out.parent.mkdir(parents=True, exist_ok=True)
        args.out.write_text(json.dumps({"python": sys.version.split()[0], "rows": rows, "summary": summary},
                                       indent=1))
        print("numbers written to", args.out)
    return 0


if __name__ == "__main__":
    sys.exit(main())
