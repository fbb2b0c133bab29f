"""Cost of reading Tenhou's archive XML: mjlog_to_mjai of a game next to tenhou_to_mjai of the
JSON that Tenhou's server made of the same game (target: at most 1.2 times), and
mjlog_to_tenhou alone, with MB/s of XML (target: at least 800).

Usage: python bench/bench_mjlog.py    (games: ../shared/mjlog/*.xml when present, else examples/mjlog/*.xml)
"""

import json
import pathlib
import statistics
import sys

import tessmar
from bench_python import interleaved_medians

ROOT = pathlib.Path(__file__).resolve().parents[1]


def games() -> list[tuple[pathlib.Path, pathlib.Path]]:
    """(XML, its JSON) pairs."""
    shared = ROOT.parent / "shared"
    if (shared / "mjlog").is_dir():
        return [(x, shared / "logs" / (x.stem + ".json")) for x in sorted((shared / "mjlog").glob("*.xml"))]
    examples = ROOT / "examples"
    return [(x, examples / (x.stem + ".json")) for x in sorted((examples / "mjlog").glob("*.xml"))]


def main() -> int:
    rows = []
    for xml_path, json_path in games():
        xml = xml_path.read_bytes()
        text = json_path.read_text(encoding="utf-8")
        ref = json.loads(text)["ref"]
        calls = {
            "mjlog_to_mjai": lambda _: tessmar.mjlog_to_mjai(xml, ref),
            "tenhou_to_mjai": lambda _: tessmar.tenhou_to_mjai(text),
            "mjlog_to_tenhou": lambda _: tessmar.mjlog_to_tenhou(xml, ref),
        }
        m = interleaved_medians(calls, "", budget=1.0)
        rows.append((xml_path.stem, len(xml), m))
    print(f"{'game':42} {'XML KB':>7} {'mjlog_to_mjai us':>16} {'tenhou_to_mjai us':>17} {'ratio':>6} "
          f"{'to_tenhou us':>12} {'XML MB/s':>8}")
    for name, size, m in rows:
        print(f"{name[:42]:42} {size / 1e3:7.1f} {m['mjlog_to_mjai'] * 1e6:16.1f} {m['tenhou_to_mjai'] * 1e6:17.1f} "
              f"{m['mjlog_to_mjai'] / m['tenhou_to_mjai']:6.2f} {m['mjlog_to_tenhou'] * 1e6:12.1f} "
              f"{size / m['mjlog_to_tenhou'] / 1e6:8.0f}")
    ratios = [m["mjlog_to_mjai"] / m["tenhou_to_mjai"] for _, _, m in rows]
    print(f"median mjlog_to_mjai / tenhou_to_mjai: {statistics.median(ratios):.2f} (target 1.2 at most)")
    rates = [size / m["mjlog_to_tenhou"] / 1e6 for _, size, m in rows]
    print(f"median mjlog_to_tenhou: {statistics.median(rates):.0f} MB/s of XML (target 800 at least)")
    return 0


if __name__ == "__main__":
    sys.exit(main())
