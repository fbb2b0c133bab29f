"""Shared inputs and helpers for the tests of the _tessmar module."""

import json
import os
import pathlib
import subprocess
import sys

import pytest

ROOT = pathlib.Path(__file__).resolve().parents[2]
EXAMPLES = ROOT / "examples"
SHARED = ROOT.parent / "shared"  # the shared real logs, when the checkout has them beside it
EXAMPLE_LOGS = sorted(EXAMPLES.glob("*.json"))

# The smallest log that converts: no kyoku at all.
MINIMAL_LOG = '{"log":[],"name":["A","B","C","D"],"rule":{}}'
MINIMAL_EVENTS = [
    '{"type":"start_game","names":["A","B","C","D"],"kyoku_first":0,"aka_flag":false}',
    '{"type":"end_game"}',
]

# Inputs that fail at one stage whatever the later stages do.
NOT_JSON = "this is not json"
# Well-formed, but the rule text marks a three-player game.
THREE_PLAYER_LOG = '{"log":[],"name":["A","B","C","D"],"rule":{"disp":"三般南喰赤"}}'


def _conversion_failure_log():
    # A real kyoku whose first take of seat 0 is notation that means nothing.
    log = json.loads((ROOT / "examples" / "rc-2179-0-1.json").read_text(encoding="utf-8"))
    log["log"][0][5][0] = "xyz"
    return json.dumps(log, ensure_ascii=False)


CONVERSION_FAILURE_LOG = _conversion_failure_log()


def mjai_lines(events) -> bytes:
    """The file form of mjai events: each text followed by a line feed."""
    return "".join(event + "\n" for event in events).encode("utf-8")


class PathLike:
    """An os.PathLike that gives `value` (anything, for the tests of bad paths)."""

    def __init__(self, value):
        self.value = value

    def __fspath__(self):
        return self.value


def run_python(code, *args, cwd=None, stdin=None):
    """Runs `code` in a fresh interpreter (the one running the tests); returns the
    completed process with stdout and stderr as bytes."""
    return subprocess.run(
        [sys.executable, "-c", code, *map(os.fsdecode, args)],
        cwd=cwd,
        input=stdin,
        capture_output=True,
        timeout=120,
        check=False,
    )


@pytest.fixture(params=EXAMPLE_LOGS, ids=[p.name for p in EXAMPLE_LOGS])
def example_log(request):
    """Path of a real Tenhou log shipped with the project."""
    return request.param


@pytest.fixture
def write_file(tmp_path):
    """Writes bytes or text (as UTF-8) into a new file under tmp_path; returns its path."""
    counter = iter(range(1_000_000))

    def write(content, name=None):
        path = tmp_path / (name or f"input{next(counter)}.json")
        path.write_bytes(content.encode("utf-8") if isinstance(content, str) else content)
        return path

    return write


def open_descriptors():
    return len(os.listdir("/proc/self/fd"))
