"""Rerunning `tessmar convert` after a crash: only complete outputs are kept, and --fsync."""

import gzip
import os

import pytest

import tessmar.work
from tessmar.jobs import file_job
from test_cli import GOOD_LOG, SMALL_LOG, convert, mjai_of


def cuts(plain: bytes, compress: bool) -> list[bytes]:
    """Ways a crash can leave an output, none of them complete."""
    head, whole = b"".join(plain.splitlines(keepends=True)[:3]), gzip.compress(plain)
    if not compress:
        return [b"", plain[: len(plain) // 2], head, plain[:-1]]
    # [:-4]: all of the text, but not the stream's last bytes (its length): not a whole stream.
    return [b"", whole[: len(whole) // 2], gzip.compress(head), whole[:-4]]


@pytest.mark.parametrize("compress", [False, True], ids=["plain", "gzip"])
def test_a_rerun_reconverts_exactly_the_incomplete_outputs(tmp_path, compress):
    top, out = tmp_path / "in", tmp_path / "out"
    top.mkdir()
    logs = {f"{i}.json": (GOOD_LOG, SMALL_LOG)[i % 2].read_bytes() for i in range(6)}
    for name, data in logs.items():
        (top / name).write_bytes(data)
    option, suffix = (["--gzip"], ".gz") if compress else ([], "")
    assert convert(top, "-o", out, *option).returncode == 0
    planted = {name: out / (name + suffix) for name in ("0.json", "1.json", "2.json", "4.json")}
    for i, (name, path) in enumerate(planted.items()):
        path.write_bytes(cuts(mjai_of(logs[name]), compress)[i])
    untouched = {p: p.stat() for p in out.iterdir() if p not in planted.values()}

    result = convert(top, "-o", out, *option)

    assert result.returncode == 0, result.stderr
    summary = "0 converted, 2 skipped (output already there), 4 reconverted (incomplete output), 0 failed"
    assert summary in result.stderr.decode()
    for name, path in planted.items():
        written = path.read_bytes()
        assert (gzip.decompress(written) if compress else written) == mjai_of(logs[name]), name
    for path, before in untouched.items():  # complete outputs are not even rewritten
        after = path.stat()
        assert (after.st_ino, after.st_mtime_ns) == (before.st_ino, before.st_mtime_ns), path


def test_fsync_flushes_each_output_then_its_folder(tmp_path, monkeypatch):
    # Both ways a worker writes: the first log of a folder by the command, the next by the
    # converter; the new folders' names are flushed into their parents too.
    synced = []
    fsync = os.fsync

    def recording_fsync(fd):
        synced.append(os.readlink(f"/proc/self/fd/{fd}"))
        fsync(fd)

    monkeypatch.setattr(os, "fsync", recording_fsync)
    monkeypatch.setattr(tessmar.work, "_made_dirs", set())
    folder = tmp_path / "out" / "2019"
    for name in ("a.json", "b.json"):
        outcome = tessmar.work.convert_job(file_job(str(GOOD_LOG), str(folder / name)), False, durable=True)
        assert outcome.status == "converted", outcome
        assert (folder / name).read_bytes() == mjai_of(GOOD_LOG.read_bytes())

    temps = [os.path.basename(p) for p in synced if p.endswith(".tmp")]
    assert [t.split(".")[1] for t in temps] == ["a", "b"]
    assert [p for p in synced if not p.endswith(".tmp")] == [
        str(tmp_path), str(tmp_path / "out"), str(folder), str(folder)
    ]
    synced.clear()
    tessmar.work.convert_job(file_job(str(GOOD_LOG), str(folder / "c.json")), False)
    assert synced == []
