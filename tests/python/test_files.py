"""Successful conversions, the log file as input and the event lines as output."""

import gc
import json
import os
import pathlib
import sys
import textwrap

import pytest

import _tessmar
from conftest import (
    CONVERSION_FAILURE_LOG,
    MINIMAL_EVENTS,
    MINIMAL_LOG,
    NOT_JSON,
    THREE_PLAYER_LOG,
    PathLike,
    mjai_lines,
    open_descriptors,
    run_python,
)


# ---------------------------------------------------------------- results


def test_minimal_log():
    assert _tessmar.tenhou_to_mjai(MINIMAL_LOG) == MINIMAL_EVENTS
    assert _tessmar.tenhou_to_mjai(data=MINIMAL_LOG) == MINIMAL_EVENTS


def test_example_from_text_and_from_file(example_log):
    text = example_log.read_text(encoding="utf-8")
    events = _tessmar.tenhou_to_mjai(text)
    assert type(events) is list
    assert all(type(event) is str for event in events)
    assert events[0].startswith('{"type":"start_game",')
    assert events[-1] == '{"type":"end_game"}'
    assert all("\n" not in event for event in events)
    assert _tessmar.tenhou_file_to_mjai(example_log) == events
    assert _tessmar.tenhou_file_to_mjai(example_log, None) == events
    assert _tessmar.tenhou_file_to_mjai(filename=example_log, mjai_out=None) == events


def test_each_call_returns_a_new_list(example_log):
    text = example_log.read_text(encoding="utf-8")
    first = _tessmar.tenhou_to_mjai(text)
    second = _tessmar.tenhou_to_mjai(text)
    assert first == second
    assert first is not second
    first.append("changed")
    assert _tessmar.tenhou_to_mjai(text) == second


def test_non_ascii_names_come_back_as_text():
    log = MINIMAL_LOG.replace('"A","B"', '"Aさん","私"')
    events = _tessmar.tenhou_to_mjai(log)
    assert events[0] == (
        '{"type":"start_game","names":["Aさん","私","C","D"],"kyoku_first":0,"aka_flag":false}'
    )


# ---------------------------------------------------------------- output files


@pytest.mark.parametrize(
    "as_path",
    [str, os.fsencode, pathlib.Path, lambda p: PathLike(str(p)), lambda p: PathLike(os.fsencode(p))],
    ids=["str", "bytes", "Path", "fspath-str", "fspath-bytes"],
)
def test_path_kinds_for_both_arguments(as_path, example_log, tmp_path):
    out = tmp_path / "out.mjai"
    events = _tessmar.tenhou_file_to_mjai(as_path(example_log), as_path(out))
    assert events == _tessmar.tenhou_to_mjai(example_log.read_text(encoding="utf-8"))
    assert out.read_bytes() == mjai_lines(events)


def test_output_file_holds_one_line_per_event(example_log, tmp_path):
    out = tmp_path / "out.mjai"
    events = _tessmar.tenhou_file_to_mjai(example_log, out)
    content = out.read_bytes()
    assert content == mjai_lines(events)
    assert len(content) == sum(len(e.encode("utf-8")) for e in events) + len(events)
    assert b"\r" not in content and not content.endswith(b"\n\n")


def test_existing_output_is_truncated(tmp_path):
    out = tmp_path / "out.mjai"
    out.write_bytes(b"x" * 10_000)
    assert _tessmar.tenhou_file_to_mjai(_log_file(tmp_path), out) == MINIMAL_EVENTS
    assert out.read_bytes() == mjai_lines(MINIMAL_EVENTS)


def test_new_output_file_mode_follows_umask(tmp_path):
    out = tmp_path / "out.mjai"
    old = os.umask(0o027)
    try:
        _tessmar.tenhou_file_to_mjai(_log_file(tmp_path), out)
    finally:
        os.umask(old)
    assert out.stat().st_mode & 0o777 == 0o640


def test_log_replaced_by_its_events(tmp_path):
    path = _log_file(tmp_path)
    events = _tessmar.tenhou_file_to_mjai(path, path)
    assert events == MINIMAL_EVENTS
    assert path.read_bytes() == mjai_lines(MINIMAL_EVENTS)


def test_dot_slash_dash_is_an_ordinary_file(tmp_path, monkeypatch, capfd):
    monkeypatch.chdir(tmp_path)
    events = _tessmar.tenhou_file_to_mjai(_log_file(tmp_path), "./-")
    assert (tmp_path / "-").read_bytes() == mjai_lines(events)
    assert capfd.readouterr().out == ""


def _log_file(directory, text=MINIMAL_LOG, name="log.json"):
    path = pathlib.Path(directory) / name
    path.write_text(text, encoding="utf-8")
    return path


# ---------------------------------------------------------------- standard output

STDOUT_CODE = textwrap.dedent(
    """
    import json, os, pathlib, sys
    import _tessmar
    out = eval(sys.argv[2])
    events = _tessmar.tenhou_file_to_mjai(sys.argv[1], out)
    sys.stderr.write(json.dumps(events))
    """
)


@pytest.mark.parametrize("out", ['"-"', '"-/"', '"-//"', 'b"-"', 'pathlib.Path("-")'])
def test_dash_writes_to_standard_output(out, example_log, tmp_path):
    result = run_python(STDOUT_CODE, example_log, out, cwd=tmp_path)
    assert result.returncode == 0, result.stderr.decode()
    events = json.loads(result.stderr)
    assert events == _tessmar.tenhou_to_mjai(example_log.read_text(encoding="utf-8"))
    assert result.stdout == mjai_lines(events)
    assert os.listdir(tmp_path) == []  # no file named "-" appeared


def test_standard_output_bypasses_sys_stdout(tmp_path):
    # The lines go to descriptor 1 directly, whatever sys.stdout has become.
    code = textwrap.dedent(
        """
        import io, sys, _tessmar
        sys.stdout = io.StringIO()
        _tessmar.tenhou_file_to_mjai(sys.argv[1], "-")
        """
    )
    result = run_python(code, _log_file(tmp_path))
    assert result.returncode == 0, result.stderr.decode()
    assert result.stdout == mjai_lines(MINIMAL_EVENTS)


def test_closed_standard_output_is_a_write_failure(tmp_path):
    code = textwrap.dedent(
        """
        import os, sys, _tessmar
        os.close(1)
        try:
            _tessmar.tenhou_file_to_mjai(sys.argv[1], "-")
        except OSError as e:
            sys.stderr.write(f"{type(e).__name__}|{e.args}|{e.errno}|{e.__cause__}")
        """
    )
    result = run_python(code, _log_file(tmp_path))
    assert result.returncode == 0, result.stderr.decode()
    assert result.stderr.decode() == "OSError|('failed to write to mjai out file',)|None|None"


# ---------------------------------------------------------------- output failures


@pytest.mark.parametrize(
    "name, shown",
    [
        (b"out.mjai", "out.mjai"),
        ('é "q" \t'.encode(), 'é "q" \t'),  # no quotes, no escapes
        (b"a\xffb", "a\ufffdb"),
        (b"\xe2\x82A", "\ufffdA"),  # one replacement for the whole broken sequence
        (b"\xf0\x9f\x98", "\ufffd"),
        (b"\xed\xa0\x80", "\ufffd\ufffd\ufffd"),
        (b"\xc0\x80", "\ufffd\ufffd"),
        (b"nul\0byte", "nul\0byte"),
    ],
    ids=repr,
)
def test_create_failure_shows_the_plain_path(name, shown, tmp_path, monkeypatch):
    monkeypatch.chdir(tmp_path)
    log = _log_file(tmp_path)
    with pytest.raises(OSError) as info:
        _tessmar.tenhou_file_to_mjai(log, b"missing/" + name)
    error = info.value
    assert type(error) is OSError
    assert error.args == ("failed to create mjai out file missing/" + shown,)
    assert error.errno is None and error.strerror is None and error.filename is None
    assert error.__cause__ is None and error.__context__ is None


def test_output_path_that_is_a_directory(tmp_path):
    with pytest.raises(OSError) as info:
        _tessmar.tenhou_file_to_mjai(_log_file(tmp_path), tmp_path)
    assert type(info.value) is OSError
    assert info.value.args == (f"failed to create mjai out file {tmp_path}",)


def test_write_failure_on_a_full_device(tmp_path):
    if not os.path.exists("/dev/full"):
        pytest.skip("no /dev/full")
    with pytest.raises(OSError) as info:
        _tessmar.tenhou_file_to_mjai(_log_file(tmp_path), "/dev/full")
    assert type(info.value) is OSError
    assert info.value.args == ("failed to write to mjai out file",)
    assert info.value.errno is None
    assert info.value.__cause__ is None and info.value.__context__ is None


def test_lines_written_before_a_write_failure_stay(example_log, tmp_path):
    # The file size limit cuts the output short after `limit` bytes: the writes
    # up to there must land (short writes continued), the next one fails.
    limit = 300
    code = textwrap.dedent(
        """
        import resource, signal, sys, _tessmar
        signal.signal(signal.SIGXFSZ, signal.SIG_IGN)
        resource.setrlimit(resource.RLIMIT_FSIZE, (int(sys.argv[3]), resource.RLIM_INFINITY))
        try:
            _tessmar.tenhou_file_to_mjai(sys.argv[1], sys.argv[2])
        except OSError as e:
            sys.stderr.write(f"{type(e).__name__}|{e}")
        """
    )
    out = tmp_path / "out.mjai"
    result = run_python(code, example_log, out, str(limit))
    assert result.returncode == 0, result.stderr.decode()
    assert result.stderr.decode() == "OSError|failed to write to mjai out file"
    events = _tessmar.tenhou_file_to_mjai(example_log)
    assert len(mjai_lines(events)) > limit
    assert out.read_bytes() == mjai_lines(events)[:limit]


FAILING_INPUTS = [
    pytest.param(NOT_JSON.encode(), _tessmar.JsonParsingError, id="parse"),
    pytest.param(THREE_PLAYER_LOG.encode(), _tessmar.TenhouLogParsingError, id="model"),
    pytest.param(CONVERSION_FAILURE_LOG.encode(), _tessmar.TenhouToMjaiError, id="conversion"),
    pytest.param(b"\xff", OSError, id="not-utf8"),
]


@pytest.mark.parametrize("content, exc_type", FAILING_INPUTS)
def test_failed_conversion_leaves_existing_output_untouched(content, exc_type, tmp_path):
    log = tmp_path / "log.json"
    log.write_bytes(content)
    out = tmp_path / "out.mjai"
    out.write_bytes(b"previous content\n")
    before = out.stat()
    with pytest.raises(exc_type):
        _tessmar.tenhou_file_to_mjai(log, out)
    assert out.read_bytes() == b"previous content\n"
    assert out.stat().st_mtime_ns == before.st_mtime_ns


@pytest.mark.parametrize("content, exc_type", FAILING_INPUTS)
def test_failed_conversion_creates_no_output(content, exc_type, tmp_path):
    log = tmp_path / "log.json"
    log.write_bytes(content)
    with pytest.raises(exc_type):
        _tessmar.tenhou_file_to_mjai(log, tmp_path / "out.mjai")
    assert not (tmp_path / "out.mjai").exists()


def test_missing_log_creates_no_output(tmp_path):
    with pytest.raises(FileNotFoundError):
        _tessmar.tenhou_file_to_mjai(tmp_path / "missing.json", tmp_path / "out.mjai")
    assert not (tmp_path / "out.mjai").exists()


# ---------------------------------------------------------------- resources


def test_resources_are_released_on_every_path(tmp_path):
    good = _log_file(tmp_path)
    bad = _log_file(tmp_path, NOT_JSON, "bad.json")
    not_utf8 = tmp_path / "latin1.json"
    not_utf8.write_bytes(b"\xe9")

    class Caused:
        def __fspath__(self):
            raise TypeError("inner") from KeyError("cause")

    calls = [
        lambda: _tessmar.tenhou_file_to_mjai(tmp_path / "missing\u0301.json"),
        lambda: _tessmar.tenhou_file_to_mjai(tmp_path),
        lambda: _tessmar.tenhou_file_to_mjai(not_utf8),
        lambda: _tessmar.tenhou_file_to_mjai(bad, tmp_path / "o1"),
        lambda: _tessmar.tenhou_file_to_mjai(good, tmp_path / "missing" / "o2"),
        lambda: _tessmar.tenhou_file_to_mjai(good, "/dev/full"),
        lambda: _tessmar.tenhou_file_to_mjai(good, tmp_path / "o3"),
        lambda: _tessmar.tenhou_file_to_mjai(good),
        lambda: _tessmar.tenhou_file_to_mjai(Caused()),
        lambda: _tessmar.tenhou_file_to_mjai(good, mjai_out=3),
        lambda: _tessmar.tenhou_to_mjai(MINIMAL_LOG),
        lambda: _tessmar.tenhou_to_mjai(THREE_PLAYER_LOG),
        lambda: _tessmar.tenhou_to_mjai(b"bytes"),
        lambda: _tessmar.tenhou_to_mjai("\ud800"),
        lambda: _tessmar.tenhou_to_mjai("a", data="b"),
    ]

    def run(rounds):
        for _ in range(rounds):
            for call in calls:
                try:
                    call()
                except (OSError, ValueError, TypeError):
                    pass

    run(20)  # warm caches (exception types, unicodedata, interned names)
    gc.collect()
    descriptors, blocks = open_descriptors(), sys.getallocatedblocks()
    run(300)
    gc.collect()
    assert open_descriptors() == descriptors
    # A reference leaked on any path would leave at least 300 blocks behind.
    assert sys.getallocatedblocks() - blocks < 100


def test_log_read_from_a_pipe(example_log):
    # No size to go by: the buffer has to grow until the end of the stream.
    padded = example_log.read_bytes() + b" " * 100_000
    code = "import json, _tessmar; print(json.dumps(_tessmar.tenhou_file_to_mjai('/dev/stdin')))"
    result = run_python(code, stdin=padded)
    assert result.returncode == 0, result.stderr.decode()
    assert json.loads(result.stdout) == _tessmar.tenhou_to_mjai(example_log.read_text(encoding="utf-8"))
