"""`tessmar convert` against logs it must not take in whole: too large, or damaged gzip data."""

import gzip
import subprocess
import sys
import zlib

import pytest

from conftest import MINIMAL_LOG
from test_cli import GOOD_LOG, SMALL_LOG, convert, files_under, mjai_of, read_report, run
from tessmar.inputs import parse_size

BOMB_TEXT = 100 << 20  # bytes the bomb expands to


@pytest.fixture(scope="module")
def bomb(tmp_path_factory):
    """A gzipped log of about 450 KB that expands to 100 MiB: blanks, then a valid game, so that
    only the size bound can refuse it."""
    path = tmp_path_factory.mktemp("bomb") / "bomb.json.gz"
    deflate = zlib.compressobj(1, zlib.DEFLATED, zlib.MAX_WBITS | 16)
    blanks = b" " * (1 << 20)
    with open(path, "wb") as out:
        for _ in range(BOMB_TEXT >> 20):
            out.write(deflate.compress(blanks))
        out.write(deflate.compress(MINIMAL_LOG.encode()) + deflate.flush())
    return path


def peak_rss_of(command):
    """Runs `command`; returns it and the largest peak resident size, in KiB, of it and the
    processes it waited for (its workers)."""
    code = (
        "import resource, subprocess, sys\n"
        "result = subprocess.run(sys.argv[1:], capture_output=True)\n"
        "sys.stderr.buffer.write(result.stderr)\n"
        "print(resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss)\n"
        "sys.exit(result.returncode)\n"
    )
    result = subprocess.run(
        [sys.executable, "-c", code, *map(str, command)], capture_output=True, timeout=120
    )
    return result, int(result.stdout)


def test_a_gzip_bomb_and_damaged_gzip_fail_alone_within_bounded_memory(tmp_path, bomb):
    top = tmp_path / "in"
    top.mkdir()
    (top / "bomb.json.gz").write_bytes(bomb.read_bytes())
    damaged = bytearray(gzip.compress(GOOD_LOG.read_bytes()))
    damaged[-8] ^= 0xFF  # the CRC of the text: every byte decompresses, the check fails
    (top / "damaged.json.gz").write_bytes(damaged)
    (top / "good.json").write_bytes(GOOD_LOG.read_bytes())
    (top / "small.json.gz").write_bytes(gzip.compress(SMALL_LOG.read_bytes()))
    out, report = tmp_path / "out", tmp_path / "report.jsonl"

    def command(inputs, output):
        return [sys.executable, "-m", "tessmar", "convert", inputs, "-o", output, "--jobs", 1,
                "--max-size", "1M", "--report", report]

    # What the same run takes without the bomb (interpreters, extension, any sanitizer).
    plain = tmp_path / "plain"
    plain.mkdir()
    (plain / "good.json").write_bytes(GOOD_LOG.read_bytes())
    _, baseline_kib = peak_rss_of(command(plain, tmp_path / "plain-out"))
    result, peak_kib = peak_rss_of(command(top, out))

    assert result.returncode == 1, result.stderr
    assert files_under(out) == {"good.json", "small.json"}
    assert (out / "small.json").read_bytes() == mjai_of(SMALL_LOG.read_bytes())
    lines = {line["path"]: line for line in read_report(report)}
    assert lines.keys() == {str(top / "bomb.json.gz"), str(top / "damaged.json.gz")}
    assert lines[str(top / "bomb.json.gz")]["exception"] == "LogTooLarge"
    assert "1048576 bytes" in lines[str(top / "bomb.json.gz")]["message"]
    assert lines[str(top / "damaged.json.gz")]["exception"] == "zlib.error"
    stderr = result.stderr.decode()
    assert "2 converted, 0 skipped (output already there), 2 failed" in stderr
    assert "  LogTooLarge: 1\n" in stderr
    # Holding the bomb's text would take 100 MiB more in one process; a worker with the bound
    # holds little more than it does for an ordinary log.
    assert peak_kib < baseline_kib + 40 * 1024, f"peak {peak_kib} KiB, {baseline_kib} KiB without the bomb"


def test_plain_logs_over_the_bound_fail_by_their_size(tmp_path):
    top = tmp_path / "in"
    top.mkdir()
    padded = (" " * 2048 + MINIMAL_LOG).encode()
    # With one worker, in name order: the logs of a folder up to the first that converts are
    # read by the command, the later ones by the converter, which reads whole files.
    (top / "a-big.json").write_bytes(padded)
    (top / "b-good.json").write_bytes(MINIMAL_LOG.encode())
    (top / "c-big.json").write_bytes(padded)
    (top / "d-at-the-bound.json").write_bytes(padded[-1024:])  # blanks and a game: still valid
    report = tmp_path / "report.jsonl"
    result = convert(top, "-o", tmp_path / "out", "--jobs", 1, "--max-size", "1K", "--report", report)
    assert result.returncode == 1, result.stderr
    assert [(line["path"], line["exception"]) for line in read_report(report)] == [
        (str(top / "a-big.json"), "LogTooLarge"), (str(top / "c-big.json"), "LogTooLarge")
    ]
    assert files_under(tmp_path / "out") == {"b-good.json", "d-at-the-bound.json"}

    from_stdin = run("convert", "-", "--max-size", "1K", input=padded)
    assert from_stdin.returncode == 1
    assert from_stdin.stdout == b""
    assert "<stdin>: LogTooLarge: the log is larger than 1024 bytes" in from_stdin.stderr.decode()


def test_sizes_are_read_with_binary_suffixes():
    sizes = [parse_size(t) for t in ("65536", "64K", "64m", "64MiB", "1G")]
    assert sizes == [65536, 1 << 16, 1 << 26, 1 << 26, 1 << 30]
    for bad in ("0", "1T", "1.5M", ""):
        with pytest.raises(ValueError):
            parse_size(bad)
