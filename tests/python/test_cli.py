"""The `tessmar` package and its `convert` command, run for real in subprocesses."""

import gzip
import json
import os
import pathlib
import shutil
import signal
import subprocess
import sys
import time

import pytest

import _tessmar
import tessmar
from conftest import EXAMPLES, ROOT, mjai_lines

TYPING = ROOT / "tests" / "typing"
GOOD_LOG = EXAMPLES / "tb-2019021004gm-00a9-0000-e2f6516d.json"
SMALL_LOG = EXAMPLES / "rc-2179-0-1.json"
CONSOLE_SCRIPT = pathlib.Path(sys.executable).parent / "tessmar"

MODULE_COMMAND = [sys.executable, "-m", "tessmar"]


def run(*args, command=MODULE_COMMAND, **kwargs):
    kwargs.setdefault("timeout", 120)
    return subprocess.run([*command, *map(str, args)], capture_output=True, **kwargs)


def convert(*args, **kwargs):
    return run("convert", *args, **kwargs)


def mjai_of(log_bytes: bytes) -> bytes:
    """The mjai file the command must write for a log: the module's events, one per line."""
    if log_bytes[:2] == b"\x1f\x8b":
        log_bytes = gzip.decompress(log_bytes)
    return mjai_lines(_tessmar.tenhou_to_mjai(log_bytes.decode("utf-8")))


def three_player_log() -> bytes:
    log = json.loads(SMALL_LOG.read_text(encoding="utf-8"))
    log["rule"]["disp"] = "三般南喰赤"
    return json.dumps(log, ensure_ascii=False).encode("utf-8")


def files_under(top: pathlib.Path) -> set[str]:
    return {p.relative_to(top).as_posix() for p in top.rglob("*") if p.is_file()}


def read_report(path: pathlib.Path) -> list[dict]:
    return [json.loads(line) for line in path.read_text(encoding="utf-8").splitlines()]


@pytest.fixture
def tree(tmp_path):
    """An archive with good, gzipped, malformed and three-player logs.

    Returns the input folder and what each log must give: the mjai bytes, or the exception.
    """
    top = tmp_path / "in"
    good, small = GOOD_LOG.read_bytes(), SMALL_LOG.read_bytes()
    logs = {
        "2019/01/plain.json": good,
        "2019/01/zipped.json.gz": gzip.compress(small),
        "2019/02/zipped-named-plain.json": gzip.compress(good),  # gzip told by content
        "2019/02/plain-named-zipped.json.gz": small,
        "bad/malformed.json": b'{"log": [',
        "bad/three-player.json": three_player_log(),
        "bad/not-utf8.json": small.replace("私".encode(), b"\xff\xfe"),
        "bad/truncated.json.gz": gzip.compress(good)[:200],
    }
    for name, data in logs.items():
        (top / name).parent.mkdir(parents=True, exist_ok=True)
        (top / name).write_bytes(data)
    (top / "2019" / "notes.txt").write_text("not a log")
    expected = {
        "2019/01/plain.json": mjai_of(good),
        "2019/01/zipped.json.gz": mjai_of(small),
        "2019/02/zipped-named-plain.json": mjai_of(good),
        "2019/02/plain-named-zipped.json.gz": mjai_of(small),
        "bad/malformed.json": "JsonParsingError",
        "bad/three-player.json": "TenhouLogParsingError",
        "bad/not-utf8.json": "UnicodeDecodeError",
        "bad/truncated.json.gz": "EOFError",
    }
    return top, expected


def output_for(name: str, compress: bool = False) -> str:
    name = name.removesuffix(".gz")
    return name + ".gz" if compress else name


@pytest.mark.parametrize("command", ["module", "console script"])
def test_a_tree_is_mirrored_and_failures_are_reported(tree, tmp_path, command):
    top, expected = tree
    if command == "console script" and not CONSOLE_SCRIPT.exists():
        pytest.skip("the console script is not installed next to this Python")
    argv = MODULE_COMMAND if command == "module" else [str(CONSOLE_SCRIPT)]
    out, report = tmp_path / "out", tmp_path / "report.jsonl"
    result = convert(top, "-o", out, "--jobs", 2, "--report", report, command=argv)

    assert result.returncode == 1, result.stderr
    converted = {name: data for name, data in expected.items() if isinstance(data, bytes)}
    assert files_under(out) == {output_for(name) for name in converted}
    for name, data in converted.items():
        assert (out / output_for(name)).read_bytes() == data, name
    failed = {name: exc for name, exc in expected.items() if isinstance(exc, str)}
    lines = read_report(report)
    assert {(line["path"], line["exception"]) for line in lines} == {
        (str(top / name), exc) for name, exc in failed.items()
    }
    assert all(line["message"] for line in lines)
    messages = {line["exception"]: line["message"] for line in lines}
    assert messages["JsonParsingError"] == "failed to parse tenhou.net/6 log"
    assert messages["TenhouLogParsingError"] == "invalid log"
    stderr = result.stderr.decode()
    assert "4 converted, 0 skipped (output already there), 4 failed" in stderr
    for exc in failed.values():
        assert f"  {exc}: 1\n" in stderr
    assert "Traceback" not in stderr


def test_without_a_report_the_failures_are_listed_on_stderr(tree, tmp_path):
    top, _ = tree
    result = convert(top / "bad", "-o", tmp_path / "out", "--jobs", 1)
    assert result.returncode == 1
    stderr = result.stderr.decode()
    assert f"{top / 'bad' / 'malformed.json'}: JsonParsingError: failed to parse tenhou.net/6 log" in stderr
    assert f"{top / 'bad' / 'three-player.json'}: TenhouLogParsingError: invalid log" in stderr


def test_a_file_name_that_is_not_utf8_is_converted_and_reported(tmp_path):
    top = tmp_path / "in"
    top.mkdir()
    good, bad = top / os.fsdecode(b"good-\xff.json"), top / os.fsdecode(b"bad-\xfe.json")
    shutil.copyfile(GOOD_LOG, good)
    bad.write_text("{")
    out, report = tmp_path / "out", tmp_path / "report.jsonl"
    result = convert(top, "-o", out, "--report", report)
    assert result.returncode == 1, result.stderr
    assert (out / good.name).read_bytes() == mjai_of(GOOD_LOG.read_bytes())
    [line] = read_report(report)
    assert os.fsencode(line["path"]) == os.fsencode(bad)


def test_logs_after_the_first_of_a_folder_convert_and_fail_alike(tmp_path):
    # One worker, one folder: the first log (which makes the output folder) and the next ones
    # convert, or fail as Python reports them, alike.
    top = tmp_path / "in"
    top.mkdir()
    good, small = GOOD_LOG.read_bytes(), SMALL_LOG.read_bytes()
    not_utf8 = small.replace("私".encode(), b"\xff\xfe")
    logs = {
        "0-good.json": good,
        "1-zipped.json": gzip.compress(small),
        "2-not-utf8.json": not_utf8,
        "3-three-player.json": three_player_log(),
        os.fsdecode(b"4-good-\xff.json"): small,
    }
    for name, data in logs.items():
        (top / name).write_bytes(data)
    out, report = tmp_path / "out", tmp_path / "report.jsonl"
    result = convert(top, "-o", out, "--jobs", 1, "--report", report)

    assert result.returncode == 1, result.stderr
    for name in ("0-good.json", "1-zipped.json", os.fsdecode(b"4-good-\xff.json")):
        assert (out / name).read_bytes() == mjai_of(logs[name]), name
    with pytest.raises(UnicodeDecodeError) as decoding:
        not_utf8.decode("utf-8")
    assert [(line["path"], line["exception"], line["message"]) for line in read_report(report)] == [
        (str(top / "2-not-utf8.json"), "UnicodeDecodeError", str(decoding.value)),
        (str(top / "3-three-player.json"), "TenhouLogParsingError", "invalid log"),
    ]


@pytest.mark.skipif(not os.path.exists("/dev/full"), reason="needs /dev/full")
def test_a_report_that_cannot_be_written_stops_the_run_with_an_error(tree, tmp_path):
    top, _ = tree
    result = convert(top, "-o", tmp_path / "out", "--report", "/dev/full")
    assert result.returncode == 1
    stderr = result.stderr.decode()
    assert "tessmar: error: cannot write the report" in stderr
    assert "Traceback" not in stderr


def test_a_second_run_resumes_and_force_converts_again(tree, tmp_path):
    top, expected = tree
    good = top / "2019"
    out = tmp_path / "out"
    assert convert(good, "-o", out).returncode == 0
    kept, removed = out / "01" / "plain.json", out / "02" / "zipped-named-plain.json"
    complete_looking = b'left alone\n{"type":"end_game"}\n'  # complete as far as a rerun can tell
    kept.write_bytes(complete_looking)
    removed.unlink()

    result = convert(good, "-o", out)
    assert result.returncode == 0, result.stderr
    assert "1 converted, 3 skipped" in result.stderr.decode()
    assert kept.read_bytes() == complete_looking
    assert removed.read_bytes() == expected["2019/02/zipped-named-plain.json"]

    result = convert(good, "-o", out, "--force")
    assert result.returncode == 0
    assert "4 converted, 0 skipped" in result.stderr.decode()
    assert kept.read_bytes() == expected["2019/01/plain.json"]


def test_gzip_output_round_trips(tree, tmp_path):
    top, expected = tree
    out = tmp_path / "out"
    assert convert(top / "2019", "-o", out, "--gzip").returncode == 0
    names = [name for name, data in expected.items() if isinstance(data, bytes)]
    assert files_under(out) == {output_for(name, compress=True).removeprefix("2019/") for name in names}
    for name in names:
        written = (out / output_for(name, compress=True).removeprefix("2019/")).read_bytes()
        assert written[:2] == b"\x1f\x8b"
        assert gzip.decompress(written) == expected[name]
    # The same log gives the same bytes, so reconverting an archive does not churn its files.
    again = tmp_path / "again"
    assert convert(top / "2019", "-o", again, "--gzip").returncode == 0
    assert all((out / n).read_bytes() == (again / n).read_bytes() for n in files_under(out))


@pytest.mark.parametrize("zipped", [False, True], ids=["plain", "gzip"])
def test_one_log_from_stdin_or_a_file_goes_to_stdout(tmp_path, zipped):
    data = GOOD_LOG.read_bytes()
    if zipped:
        data = gzip.compress(data)
    log = tmp_path / "game.json"
    log.write_bytes(data)

    from_stdin = run("convert", "-", input=data)
    from_file = run("convert", log)
    for result in (from_stdin, from_file):
        assert result.returncode == 0, result.stderr
        assert result.stdout == mjai_of(data)
    zipped_out = run("convert", "-", "--gzip", input=data)
    assert gzip.decompress(zipped_out.stdout) == mjai_of(data)


def test_a_bad_log_on_stdin_fails_with_nothing_on_stdout(tmp_path):
    report = tmp_path / "report.jsonl"
    result = run("convert", "-", "--report", report, input=three_player_log())
    assert result.returncode == 1
    assert result.stdout == b""
    assert "<stdin>: TenhouLogParsingError: invalid log" in result.stderr.decode()
    # The report line says where the log is at fault, as the exception does.
    assert read_report(report) == [
        {"path": "<stdin>", "exception": "TenhouLogParsingError", "message": "invalid log",
         "offset": None, "kyoku": None, "seat": None, "note": "the rule names a three-player game"}
    ]


@pytest.mark.parametrize(
    "args, complaint",
    [
        ([], "required"),
        (["convert"], "required"),
        (["convert", "{in}"], "-o OUTDIR is needed"),
        (["convert", "{log}", "{log}"], "-o OUTDIR is needed"),
        (["convert", "{in}/missing.json"], "no such file or folder"),
        (["convert", "{in}/missing", "-o", "{out}"], "no such file or folder"),
        (["convert", "-", "{log}"], "must be the only input"),
        (["convert", "-", "-o", "{out}"], "drop -o"),
        (["convert", "{in}", "-o", "{out}", "--jobs", "0"], "must be at least 1"),
        (["convert", "{in}", "-o", "{in}"], "is one of the input folders"),
        (["convert", "{log}", "-o", "{in}"], "would replace the log itself"),
        (["convert", "{in}", "-o", "{out}", "--report", "{in}/no/such/dir/r.jsonl"], "cannot write the report"),
    ],
)
def test_bad_usage_exits_with_2_and_touches_nothing(tmp_path, args, complaint):
    top = tmp_path / "in"
    top.mkdir()
    log = top / "game.json"
    shutil.copyfile(GOOD_LOG, log)
    before = files_under(tmp_path)
    names = {"in": top, "out": tmp_path / "out", "log": log}
    result = run(*[a.format(**names) for a in args])
    assert result.returncode == 2
    assert complaint in result.stderr.decode()
    assert result.stdout == b""
    assert files_under(tmp_path) == before


def test_fail_fast_stops_at_the_first_failure(tmp_path):
    top = tmp_path / "in"
    top.mkdir()
    for i in range(40):
        (top / f"{i:02d}-bad.json").write_text("[]")
    report = tmp_path / "report.jsonl"
    result = convert(top, "-o", tmp_path / "out", "--fail-fast", "--report", report)
    assert result.returncode == 1
    lines = read_report(report)
    assert len(lines) == 1 and lines[0]["exception"] == "JsonParsingError"


def test_two_logs_that_give_the_same_output_are_refused_not_overwritten(tmp_path):
    top = tmp_path / "in"
    top.mkdir()
    shutil.copyfile(GOOD_LOG, top / "game.json")
    (top / "game.json.gz").write_bytes(gzip.compress(SMALL_LOG.read_bytes()))
    report = tmp_path / "report.jsonl"
    result = convert(top, "-o", tmp_path / "out", "--report", report)
    assert result.returncode == 1
    [line] = read_report(report)
    assert (line["path"], line["exception"]) == (str(top / "game.json.gz"), "OutputClash")
    assert str(top / "game.json") in line["message"]
    assert (tmp_path / "out" / "game.json").read_bytes() == mjai_of(GOOD_LOG.read_bytes())


def test_an_output_folder_inside_the_input_tree_is_not_read_as_input(tree):
    top, expected = tree
    good = top / "2019"
    out = good / "mjai"
    first = convert(good, "-o", out)
    assert first.returncode == 0, first.stderr
    second = convert(good, "-o", out)
    assert second.returncode == 0, second.stderr
    assert "0 converted, 4 skipped" in second.stderr.decode()


def test_several_inputs_are_mirrored_below_the_folder_that_holds_them(tree, tmp_path):
    top, expected = tree
    out = tmp_path / "out"
    result = convert(top / "2019" / "01", top / "2019" / "02" / "zipped-named-plain.json", "-o", out)
    assert result.returncode == 0, result.stderr
    assert files_under(out) == {"01/plain.json", "01/zipped.json", "02/zipped-named-plain.json"}


# ---- stopping a run ---------------------------------------------------------------------------

BIG_TREE_SIZE = 3000


@pytest.fixture(scope="module")
def big_tree(tmp_path_factory):
    top = tmp_path_factory.mktemp("big") / "in"
    sources = [GOOD_LOG.read_bytes(), SMALL_LOG.read_bytes()]
    expected = {}
    for i in range(BIG_TREE_SIZE):
        folder = top / f"{i // 500:02d}"
        folder.mkdir(parents=True, exist_ok=True)
        (folder / f"{i:05d}.json").write_bytes(sources[i % 2])
        expected[f"{i // 500:02d}/{i:05d}.json"] = i % 2
    results = [mjai_of(s) for s in sources]
    return top, {name: results[k] for name, k in expected.items()}


def start(*args):
    return subprocess.Popen(
        [*MODULE_COMMAND, "convert", *map(str, args)],
        stdout=subprocess.PIPE, stderr=subprocess.PIPE, start_new_session=True,
    )


def wait_for(process, condition):
    deadline = time.monotonic() + 60
    while time.monotonic() < deadline:
        if condition():
            return
        if process.poll() is not None:
            pytest.fail(f"the run ended before it could be stopped: {process.stderr.read().decode()}")
        time.sleep(0.01)
    pytest.fail("the run did not get there in a minute")


def wait_for_outputs(out: pathlib.Path, process, count):
    """Waits until the first of the big tree's folders has `count` finished outputs."""
    first = out / "00"

    def enough():
        try:
            return sum(1 for e in os.scandir(first) if not e.name.startswith(".")) >= count
        except FileNotFoundError:
            return False

    wait_for(process, enough)


def check_finished_files(out: pathlib.Path, expected: dict) -> int:
    """Every file that looks finished is complete; returns how many there are."""
    finished = [p for p in out.rglob("*") if p.is_file() and not p.name.startswith(".")]
    for path in finished:
        assert path.read_bytes() == expected[path.relative_to(out).as_posix()], path
    leftovers = [p for p in out.rglob("*") if p.is_file() and p.name.startswith(".")]
    assert all(p.name.endswith(".tmp") for p in leftovers)
    return len(finished)


def test_ctrl_c_stops_cleanly_and_a_rerun_finishes(big_tree, tmp_path):
    top, expected = big_tree
    out = tmp_path / "out"
    process = start(top, "-o", out, "--jobs", 1)
    wait_for_outputs(out, process, 50)
    os.killpg(process.pid, signal.SIGINT)  # what a terminal does on Ctrl-C
    _, stderr = process.communicate(timeout=60)

    assert process.returncode == 130
    assert "Traceback" not in stderr.decode()
    assert "interrupted" in stderr.decode()
    done = check_finished_files(out, expected)
    assert 0 < done < len(expected)
    assert not [p for p in out.rglob(".*")], "a stopped worker left its temporary file"

    rerun = convert(top, "-o", out, "--jobs", 2)
    assert rerun.returncode == 0, rerun.stderr
    assert f"{len(expected) - done} converted, {done} skipped" in rerun.stderr.decode()
    assert check_finished_files(out, expected) == len(expected)


def test_a_killed_run_leaves_no_finished_looking_partial_file(big_tree, tmp_path):
    top, expected = big_tree
    out = tmp_path / "out"
    process = start(top, "-o", out, "--jobs", 2)
    wait_for_outputs(out, process, 200)
    os.killpg(process.pid, signal.SIGKILL)
    process.communicate(timeout=60)
    done = check_finished_files(out, expected)
    assert 0 < done < len(expected)

    rerun = convert(top, "-o", out, "--jobs", 2)
    assert rerun.returncode == 0, rerun.stderr
    assert check_finished_files(out, expected) == len(expected)


def converting_workers(pid: int) -> list[int]:
    """The children of `pid` that have loaded the extension (not multiprocessing's resource tracker)."""
    children = pathlib.Path(f"/proc/{pid}/task/{pid}/children").read_text().split()
    loaded = []
    for child in children:
        try:
            if "_tessmar" in pathlib.Path(f"/proc/{child}/maps").read_text():
                loaded.append(int(child))
        except OSError:
            pass
    return loaded


def test_a_worker_that_dies_takes_no_log_with_it(big_tree, tmp_path):
    top, expected = big_tree
    out, report = tmp_path / "out", tmp_path / "report.jsonl"
    process = start(top, "-o", out, "--jobs", 2, "--report", report)
    # Both workers started, and the run some way in.
    wait_for(process, lambda: len(converting_workers(process.pid)) == 2)
    wait_for_outputs(out, process, 50)
    os.kill(converting_workers(process.pid)[0], signal.SIGKILL)
    _, stderr = process.communicate(timeout=120)

    # Its logs are converted again (those of a batch it had begun, one by one), and none of
    # them is to blame.
    assert process.returncode == 0, stderr
    assert read_report(report) == []
    assert check_finished_files(out, expected) == len(expected)


# ---- the package --------------------------------------------------------------------------------


def test_the_package_is_the_extension_with_documentation(tmp_path):
    for name in ("JsonParsingError", "JsonSerializationError", "TenhouLogParsingError", "TenhouToMjaiError"):
        assert getattr(tessmar, name) is getattr(_tessmar, name)
    assert tessmar.__version__ == _tessmar.__version__ == "0.3.0"
    own = ["MjlogError", "mjlog_to_mjai", "mjlog_to_tenhou", "LogTooLarge", "convert", "iter_logs", "Log",
           "convert_tree", "Summary"]
    assert sorted(tessmar.__all__) == sorted([n for n in _tessmar.__all__ if n != "VERSION"] + own)
    public = {name for name in vars(tessmar) if not name.startswith("_")}
    assert public - set(tessmar.__all__) <= {"batch", "conversion", "inputs", "mjlog", "sources", "jobs",
                                             "plan", "pool", "report", "work", "complete", "archives", "database"}
    for name in ("tenhou_to_mjai", "tenhou_file_to_mjai", "mjlog_to_tenhou", "mjlog_to_mjai", "convert",
                 "iter_logs", "convert_tree"):
        assert getattr(tessmar, name).__doc__
    assert tessmar.__doc__

    text = GOOD_LOG.read_text(encoding="utf-8")
    assert tessmar.tenhou_to_mjai(data=text) == _tessmar.tenhou_to_mjai(text)
    out = tmp_path / "game.mjson"
    assert tessmar.tenhou_file_to_mjai(GOOD_LOG, mjai_out=out) == _tessmar.tenhou_to_mjai(text)
    assert out.read_bytes() == mjai_of(GOOD_LOG.read_bytes())
    with pytest.raises(_tessmar.JsonParsingError):
        tessmar.tenhou_to_mjai("{")


def mypy(*args, cwd):
    pytest.importorskip("mypy", reason="mypy is not installed")
    return subprocess.run(
        [sys.executable, "-m", "mypy", "--strict", "--no-incremental", *map(str, args)],
        capture_output=True, text=True, cwd=cwd, timeout=300,
    )


def test_a_typed_caller_passes_mypy_strict(tmp_path):
    result = mypy(TYPING / "usage.py", cwd=tmp_path)
    assert result.returncode == 0, result.stdout + result.stderr


def test_mypy_sees_the_exact_signatures(tmp_path):
    wrong = tmp_path / "wrong.py"
    wrong.write_text(
        "import _tessmar\n"
        "import tessmar\n"
        "a: int = tessmar.tenhou_to_mjai('{}')\n"
        "b = _tessmar.tenhou_to_mjai(b'{}')\n"
        "c = _tessmar.tenhou_file_to_mjai(1)\n"
        "d: OSError = _tessmar.JsonParsingError()\n"
    )
    result = mypy(wrong, cwd=tmp_path)
    errors = [line for line in result.stdout.splitlines() if ": error:" in line]
    assert [line.split(":")[1] for line in errors] == ["3", "4", "5", "6"], result.stdout
