"""The package's functions for pipelines: convert, iter_logs and convert_tree, on threads and
on a Dask cluster."""

import bz2
import concurrent.futures
import gzip
import json
import multiprocessing
import sqlite3
import textwrap
import zipfile

import pytest

import _tessmar
import tessmar
from conftest import EXAMPLES, mjai_lines, run_python
from test_cli import GOOD_LOG, SMALL_LOG, files_under, mjai_of, read_report

XML = EXAMPLES / "mjlog" / "tb-2019021004gm-00a9-0000-e2f6516d.xml"
XML_REF = "2019021004gm-00a9-0000-e2f6516d"


def test_convert_takes_every_form_and_gives_the_files_bytes():
    xml = XML.read_bytes()
    json_text = GOOD_LOG.read_text(encoding="utf-8")
    mjai_json, mjai_xml = mjai_lines(_tessmar.tenhou_to_mjai(json_text)), mjai_lines(tessmar.mjlog_to_mjai(xml, XML_REF))
    for form in (json_text, json_text.encode(), gzip.compress(json_text.encode()), bz2.compress(json_text.encode())):
        assert tessmar.convert(form) == mjai_json
        assert tessmar.convert(form, to="tenhou") == json_text.encode()
    for form in (xml, xml.decode(), gzip.compress(xml), bz2.compress(xml)):
        assert tessmar.convert(form, ref=XML_REF) == mjai_xml
        assert tessmar.convert(form, ref=XML_REF, to="tenhou") == tessmar.mjlog_to_tenhou(xml, XML_REF).encode()
    packed = tessmar.convert(xml, ref=XML_REF, gzip=True)
    assert gzip.decompress(packed) == mjai_xml
    assert zlib_members(packed) == 1
    with pytest.raises(ValueError):
        tessmar.convert(json_text, to="mjlog")


def zlib_members(data):
    import zlib

    count = 0
    while data:
        inflate = zlib.decompressobj(zlib.MAX_WBITS | 16)
        inflate.decompress(data)
        data = inflate.unused_data
        count += 1
    return count


def test_convert_fails_as_the_specific_functions_do():
    cut = GOOD_LOG.read_text(encoding="utf-8")[:500]
    with pytest.raises(_tessmar.JsonParsingError) as caught:
        tessmar.convert(cut)
    with pytest.raises(_tessmar.JsonParsingError) as specific:
        _tessmar.tenhou_to_mjai(cut)
    assert caught.value.args == specific.value.args
    with pytest.raises(tessmar.MjlogError, match="^not a whole gzip stream"):
        tessmar.mjlog_to_tenhou(gzip.compress(XML.read_bytes())[:300])


def test_decompression_stops_at_the_size_bound():
    bomb = gzip.compress(b" " * (4 << 20))
    for function in (tessmar.convert, tessmar.mjlog_to_tenhou, tessmar.mjlog_to_mjai):
        with pytest.raises(tessmar.LogTooLarge):
            function(bomb, max_size=1 << 20)
    assert issubclass(tessmar.LogTooLarge, ValueError)
    xml = XML.read_bytes()
    assert tessmar.mjlog_to_mjai(bz2.compress(xml), XML_REF, max_size=len(xml)) == tessmar.mjlog_to_mjai(xml, XML_REF)
    with pytest.raises(tessmar.LogTooLarge):
        tessmar.mjlog_to_mjai(bz2.compress(xml), XML_REF, max_size=len(xml) - 1)


@pytest.fixture
def mixed_tree(tmp_path):
    """Logs as files, as zip members and as database rows, with a three-player row."""
    top = tmp_path / "in"
    (top / "b").mkdir(parents=True)
    (top / "a.json").write_bytes(GOOD_LOG.read_bytes())
    (top / "b" / f"{XML_REF}.mjlog.gz").write_bytes(gzip.compress(XML.read_bytes()))
    with zipfile.ZipFile(top / "c.zip", "w") as z:
        z.writestr("small.json", SMALL_LOG.read_bytes())
    db = sqlite3.connect(top / "d.db")
    db.execute("CREATE TABLE logs(id TEXT PRIMARY KEY, date TEXT NOT NULL, num_players INTEGER NOT NULL,"
               " is_tonpu INTEGER NOT NULL, is_processed INTEGER NOT NULL, was_error INTEGER NOT NULL, log BLOB)")
    db.executemany("INSERT INTO logs VALUES (?, '', ?, 0, 1, 0, ?)", [
        ("2019021004gm-0000-0000-00000001", 4, gzip.compress(XML.read_bytes())),
        ("2019021004gm-0000-0000-00000002", 3, gzip.compress(XML.read_bytes())),
    ])
    db.commit()
    db.close()
    return top


def test_iter_logs_gives_what_the_command_converts(mixed_tree, tmp_path):
    logs = list(tessmar.iter_logs(mixed_tree))
    assert [(log.name, log.ref) for log in logs] == [
        ("a", ""),
        (f"b/{XML_REF}", XML_REF),
        ("c/small", "small"),
        ("d/2019/02/2019021004gm-0000-0000-00000001", "2019021004gm-0000-0000-00000001"),
    ]
    assert logs[0].origin == str(mixed_tree / "a.json")
    assert logs[2].origin == (str(mixed_tree / "c.zip"), "member", "small.json")
    assert logs[3].origin == (str(mixed_tree / "d.db"), "game", logs[3].ref)
    assert logs[1].data[:2] == b"\x1f\x8b"  # as stored
    with pytest.raises(AttributeError):
        logs[0].name = "x"  # frozen

    summary = tessmar.convert_tree(mixed_tree, tmp_path / "out", jobs=1)
    assert (summary.converted, summary.three_player, summary.failed) == (4, 1, 0)
    for log in logs:
        assert (tmp_path / "out" / f"{log.name}.json").read_bytes() == tessmar.convert(log.data, ref=log.ref)
    assert [log.name for log in tessmar.iter_logs(mixed_tree, length="east")] == []


def outputs(top):
    return {name: (top / name).read_bytes() for name in files_under(top)}


def without_time(summary):
    return {k: v for k, v in vars_of(summary).items() if k != "seconds"}


def vars_of(summary):
    return {name: getattr(summary, name) for name in summary.__dataclass_fields__}


def test_convert_tree_on_threads_matches_the_processes(mixed_tree, tmp_path):
    (mixed_tree / "bad.json").write_text('{"log": [}', encoding="utf-8")
    report = tmp_path / "report.jsonl"
    default = tessmar.convert_tree([mixed_tree], tmp_path / "processes", gzip=True, jobs=2)
    with concurrent.futures.ThreadPoolExecutor(2) as pool:
        threads = tessmar.convert_tree(mixed_tree, tmp_path / "threads", gzip=True, executor=pool, report=report)
    assert without_time(threads) == without_time(default)
    assert (default.converted, default.failed, default.three_player) == (4, 1, 1)
    assert outputs(tmp_path / "threads") == outputs(tmp_path / "processes")
    [failure] = read_report(report)
    assert failure["exception"] == "JsonParsingError" and failure["offset"] == 9
    again = tessmar.convert_tree(mixed_tree, tmp_path / "threads", gzip=True)
    assert (again.converted, again.skipped) == (0, 4)
    with pytest.raises(ValueError, match="length"):
        tessmar.convert_tree(mixed_tree, tmp_path / "x", length="long")
    with pytest.raises(ValueError, match="no such file"):
        tessmar.convert_tree(tmp_path / "missing", tmp_path / "x", jobs=2)
    # The workers, started while the run was being planned, are gone with the refused run.
    assert multiprocessing.active_children() == []


DASK_RUN = textwrap.dedent("""
    import json, os, signal, sys, threading, time
    from distributed import Client, LocalCluster
    import tessmar

    source, out, kill = sys.argv[1], sys.argv[2], sys.argv[3] == "kill"
    if __name__ == "__main__":
        with LocalCluster(n_workers=2, threads_per_worker=1, processes=True, host="127.0.0.1",
                          dashboard_address=None) as cluster, Client(cluster) as client:
            killed = threading.Event()
            if kill:
                pids = list(client.run(os.getpid).values())
                def killer():
                    first = os.path.join(out, "00")
                    while not (os.path.isdir(first) and len(os.listdir(first)) >= 40):
                        time.sleep(0.002)
                    os.kill(pids[0], signal.SIGKILL)
                    killed.set()
                threading.Thread(target=killer, daemon=True).start()
            summary = tessmar.convert_tree(source, out, executor=client.get_executor(), jobs=4)
            counts = {k: getattr(summary, k) for k in summary.__dataclass_fields__ if k != "seconds"}
            print(json.dumps({"killed": killed.is_set(), **counts}))
""")


@pytest.mark.parametrize("kill", [False, True], ids=["whole", "worker-killed"])
def test_convert_tree_on_a_dask_cluster(tmp_path, kill):
    pytest.importorskip("distributed", reason="Dask's distributed is not installed (pip install 'tessmar[dask]')")
    top = tmp_path / "in"
    logs = [GOOD_LOG.read_bytes(), SMALL_LOG.read_bytes()]
    for i in range(600):
        folder = top / f"{i // 300:02d}"
        folder.mkdir(parents=True, exist_ok=True)
        (folder / f"{i:04d}.json").write_bytes(logs[i % 2])
    expected = [mjai_of(log) for log in logs]
    result = run_python(DASK_RUN, top, tmp_path / "out", "kill" if kill else "keep")
    assert result.returncode == 0, result.stderr.decode()[-3000:]
    summary = json.loads(result.stdout.decode().splitlines()[-1])
    assert summary == {"killed": kill, "converted": 600, "skipped": 0, "reconverted": 0, "failed": 0, "three_player": 0,
                       "not_downloaded": 0, "filtered": 0}
    finished = {name for name in files_under(tmp_path / "out") if not name.rsplit("/", 1)[-1].startswith(".")}
    assert len(finished) == 600
    for name in finished:
        assert (tmp_path / "out" / name).read_bytes() == expected[int(name[3:7]) % 2]


def test_dask_flag_without_dask_says_how_to_install_it(tmp_path):
    code = "import sys; sys.modules['distributed'] = None; from tessmar.cli import main; sys.exit(main(sys.argv[1:]))"
    result = run_python(code, "convert", GOOD_LOG, "-o", tmp_path / "out", "--dask", "tcp://127.0.0.1:1")
    assert result.returncode == 2
    assert b"pip install 'tessmar[dask]'" in result.stderr
    assert not (tmp_path / "out").exists()
