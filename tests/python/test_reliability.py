"""Reliability under long use: every success and failure path of both functions repeated
thousands of times without growth of memory or descriptors, arguments' reference counts
kept, results that hold nothing of their input and whose shared texts no later call changes,
results independent of the order of calls, concurrent calls equal to sequential ones, output
files written only after a successful conversion, and values of unknown keys checked as JSON."""

import ctypes
import gc
import json
import os
import pathlib
import random
import sys
import textwrap
import threading
import tracemalloc

import pytest

import _tessmar
from tessmar import _mjlog
from conftest import (
    EXAMPLES,
    SHARED,
    CONVERSION_FAILURE_LOG,
    MINIMAL_LOG,
    NOT_JSON,
    THREE_PLAYER_LOG,
    open_descriptors,
    run_python,
)

SMALL_LOG = (EXAMPLES / "rc-2179-0-1.json").read_text(encoding="utf-8")
BIG_LOG = (EXAMPLES / "tb-2019021004gm-00a9-0000-e2f6516d.json").read_text(encoding="utf-8")
SHARED_LOGS = sorted((SHARED / "logs").glob("*.json"))

# Sanitiser runtimes keep freed memory in quarantine, so process-level measures mean
# nothing under them; their own reports take over.
UNDER_SANITIZER = "libasan" in os.environ.get("LD_PRELOAD", "")


def one_kyoku_log(seats, result=None, dora=(15,)):
    """A log of one kyoku; `seats` holds four (takes, discards) pairs."""
    entry = [[0, 0, 0], [25000] * 4, list(dora), []]
    for takes, discards in seats:
        entry += [[11] * 13, list(takes), list(discards)]
    entry.append(result if result is not None else ["流局", [0, 0, 0, 0]])
    return json.dumps({"log": [entry], "name": ["A", "B", "C", "D"], "rule": {"disp": "般南喰赤"}},
                      ensure_ascii=False)


# A pon that may belong to either of two discards of 21: every choice is tried, each attempt
# fails, and the kyoku is refused after its retries.
RETRIED_THEN_REFUSED_LOG = one_kyoku_log([([11, "3131p31"], [21, 21]), ([31], [32]), (["21p2121"], [41]), ([], [])])
# A win whose detail item does not name the winner.
BAD_WIN_DETAILS_LOG = one_kyoku_log([([11], []), ([], []), ([], []), ([], [])],
                                    result=["和了", [0, 0, 0, 0], ["x", 0]])
DUPLICATE_KEY_LOG = '{"log":[],"log":[],"name":["A","B","C","D"],"rule":{}}'
# A win's detail item nested deeper than values that are read may be.
TOO_DEEP_LOG = one_kyoku_log([([11], []), ([], []), ([], []), ([], [])],
                             result=["和了", [0, 0, 0, 0], "@"]).replace('"@"', "[0,0," + "[" * 200 + "]" * 200 + "]")


# ---------------------------------------------------------------- measuring


class _MallInfo2(ctypes.Structure):
    _fields_ = [(name, ctypes.c_size_t) for name in
                ("arena", "ordblks", "smblks", "hblks", "hblkhd", "usmblks", "fsmblks", "uordblks", "fordblks",
                 "keepcost")]


def _heap_probe():
    """Bytes in use in the C heap (glibc's mallinfo2), or None where it cannot be read."""
    if UNDER_SANITIZER:
        return None
    try:
        mallinfo2 = ctypes.CDLL(None).mallinfo2
    except (OSError, AttributeError):
        return None
    mallinfo2.restype = _MallInfo2

    def heap():
        info = mallinfo2()
        return info.uordblks + info.hblkhd

    return heap


HEAP_IN_USE = _heap_probe()


def rss():
    with open("/proc/self/statm") as statm:
        return int(statm.read().split()[1]) * os.sysconf("SC_PAGE_SIZE")


class Usage:
    """What a leak would make grow: Python's blocks (or traced bytes where the interpreter
    allocates with plain malloc), the C heap, the resident set, open descriptors."""

    def __init__(self):
        gc.collect()
        self.blocks = sys.getallocatedblocks()
        self.traced = tracemalloc.get_traced_memory()[0] if tracemalloc.is_tracing() else 0
        self.heap = HEAP_IN_USE() if HEAP_IN_USE else 0
        self.rss = rss()
        self.fds = open_descriptors()


def assert_no_growth(call, rounds, warmup=50):
    """Runs `call` `rounds` times; a leak of anything at all per call would show."""
    if UNDER_SANITIZER:
        rounds //= 5  # the sanitiser checks each call far more closely, and far more slowly
    # Without pymalloc (PYTHONMALLOC=malloc, as under the sanitisers) blocks are not counted.
    trace = sys.getallocatedblocks() == 0
    if trace:
        tracemalloc.start()
    try:
        for _ in range(warmup):
            call()
        before = Usage()
        for _ in range(rounds):
            call()
        after = Usage()
    finally:
        if trace:
            tracemalloc.stop()
    assert after.fds == before.fds, "a descriptor stays open"
    assert after.blocks - before.blocks < rounds // 20, "Python objects leak"
    assert after.traced - before.traced < 8 * rounds, "Python memory leaks"
    assert after.heap - before.heap < 16 * rounds, "C heap memory leaks"
    if not UNDER_SANITIZER:
        assert after.rss - before.rss < 4 << 20, "resident memory grows"


# ---------------------------------------------------------------- every path, repeated


@pytest.fixture(scope="module")
def files(tmp_path_factory):
    """Input files for every path of tenhou_file_to_mjai, and a place for outputs."""
    d = tmp_path_factory.mktemp("paths")
    contents = {
        "small": SMALL_LOG.encode(),
        "big": BIG_LOG.encode(),
        "not_json": NOT_JSON.encode(),
        "three_player": THREE_PLAYER_LOG.encode(),
        "bad_win": BAD_WIN_DETAILS_LOG.encode(),
        "conversion": CONVERSION_FAILURE_LOG.encode(),
        "retried": RETRIED_THEN_REFUSED_LOG.encode(),
        "latin1": "{\"log\":[],\"name\":[\"é\",\"B\",\"C\",\"D\"],\"rule\":{}}".encode("latin-1"),
    }
    paths = {}
    for name, content in contents.items():
        paths[name] = d / f"{name}.json"
        paths[name].write_bytes(content)
    paths["dir"] = d
    paths["missing"] = d / "missing.json"
    paths["out"] = d / "out.mjson"
    paths["out_in_missing_dir"] = d / "missing" / "out.mjson"
    return paths


class Fspath:
    def __init__(self, value):
        self.value = value

    def __fspath__(self):
        return self.value


class RaisingFspath:
    def __fspath__(self):
        raise TypeError("no path here") from KeyError("cause")


t2m = _tessmar.tenhou_to_mjai
f2m = _tessmar.tenhou_file_to_mjai

# id, rounds, the call (given the files), the exception it must raise (None: success)
PATHS = [
    ("text-ok", 3000, lambda f: t2m(SMALL_LOG), None),
    ("text-ok-big", 300, lambda f: t2m(BIG_LOG), None),
    ("text-ok-no-kyoku", 3000, lambda f: t2m(MINIMAL_LOG), None),
    ("text-ok-keyword", 2000, lambda f: t2m(data=SMALL_LOG), None),
    ("text-parse", 3000, lambda f: t2m(NOT_JSON), _tessmar.JsonParsingError),
    ("text-parse-duplicate-key", 3000, lambda f: t2m(DUPLICATE_KEY_LOG), _tessmar.JsonParsingError),
    ("text-parse-too-deep", 3000, lambda f: t2m(TOO_DEEP_LOG), _tessmar.JsonParsingError),
    ("text-model-three-player", 3000, lambda f: t2m(THREE_PLAYER_LOG), _tessmar.TenhouLogParsingError),
    ("text-model-win-details", 3000, lambda f: t2m(BAD_WIN_DETAILS_LOG), _tessmar.TenhouLogParsingError),
    ("text-convert", 3000, lambda f: t2m(CONVERSION_FAILURE_LOG), _tessmar.TenhouToMjaiError),
    ("text-convert-after-retries", 3000, lambda f: t2m(RETRIED_THEN_REFUSED_LOG), _tessmar.TenhouToMjaiError),
    ("text-not-str", 3000, lambda f: t2m(b"{}"), TypeError),
    ("text-no-utf8-form", 3000, lambda f: t2m("\ud800"), UnicodeEncodeError),
    ("text-no-argument", 3000, lambda f: t2m(), TypeError),
    ("text-two-arguments", 3000, lambda f: t2m("a", "b"), TypeError),
    ("text-unknown-keyword", 3000, lambda f: t2m(text="a"), TypeError),
    ("text-twice", 3000, lambda f: t2m("a", data="b"), TypeError),
    ("file-ok", 2000, lambda f: f2m(f["small"]), None),
    ("file-ok-big", 300, lambda f: f2m(f["big"]), None),
    ("file-ok-bytes-path", 2000, lambda f: f2m(os.fsencode(f["small"])), None),
    ("file-ok-fspath", 2000, lambda f: f2m(Fspath(str(f["small"])), None), None),
    ("file-ok-written", 1000, lambda f: f2m(f["small"], f["out"]), None),
    ("file-ok-to-stdout", 1000, lambda f: f2m(f["small"], "-"), None),
    ("file-open-missing", 3000, lambda f: f2m(f["missing"]), FileNotFoundError),
    ("file-open-nul", 3000, lambda f: f2m(str(f["small"]) + "\0"), FileNotFoundError),
    ("file-read-directory", 3000, lambda f: f2m(f["dir"]), OSError),
    ("file-read-not-utf8", 3000, lambda f: f2m(f["latin1"]), OSError),
    ("file-parse", 3000, lambda f: f2m(f["not_json"], f["out"]), _tessmar.JsonParsingError),
    ("file-model", 3000, lambda f: f2m(f["three_player"], f["out"]), _tessmar.TenhouLogParsingError),
    ("file-model-win-details", 3000, lambda f: f2m(f["bad_win"]), _tessmar.TenhouLogParsingError),
    ("file-convert", 3000, lambda f: f2m(f["conversion"], f["out"]), _tessmar.TenhouToMjaiError),
    ("file-convert-after-retries", 3000, lambda f: f2m(f["retried"]), _tessmar.TenhouToMjaiError),
    ("file-create", 2000, lambda f: f2m(f["small"], f["out_in_missing_dir"]), OSError),
    ("file-write-full-device", 2000, lambda f: f2m(f["small"], "/dev/full"), OSError),
    ("file-filename-not-path", 3000, lambda f: f2m(3), TypeError),
    ("file-out-not-path", 3000, lambda f: f2m(f["small"], 3), TypeError),
    ("file-fspath-raises", 3000, lambda f: f2m(RaisingFspath()), TypeError),
    ("file-path-not-encodable", 3000, lambda f: f2m("\ud800"), UnicodeEncodeError),
    ("file-no-argument", 3000, lambda f: f2m(), TypeError),
    ("file-three-arguments", 3000, lambda f: f2m("a", "b", "c"), TypeError),
]


@pytest.fixture
def stdout_to_devnull():
    """Sends descriptor 1 to /dev/null for the test, so that event lines go nowhere."""
    sys.stdout.flush()
    saved = os.dup(1)
    null = os.open(os.devnull, os.O_WRONLY)
    os.dup2(null, 1)
    os.close(null)
    try:
        yield
    finally:
        os.dup2(saved, 1)
        os.close(saved)


@pytest.mark.parametrize("name, rounds, call, exc_type", PATHS, ids=[p[0] for p in PATHS])
def test_path_repeated_leaks_nothing(name, rounds, call, exc_type, files, stdout_to_devnull):
    if "full-device" in name and not os.path.exists("/dev/full"):
        pytest.skip("no /dev/full")

    def once():
        try:
            result = call(files)
        except Exception as error:  # noqa: BLE001 - the type is checked below
            assert exc_type is not None and type(error) is exc_type, repr(error)
            return
        assert exc_type is None, f"expected {exc_type.__name__}"
        assert type(result) is list and result

    assert_no_growth(once, rounds)


def test_failure_table_is_covered():
    # Every exception a log or file can bring about has a path above; serialisation
    # cannot fail for events the converter makes, so JsonSerializationError has none.
    raised = {p[3] for p in PATHS}
    assert {_tessmar.JsonParsingError, _tessmar.TenhouLogParsingError, _tessmar.TenhouToMjaiError,
            FileNotFoundError, OSError, TypeError, UnicodeEncodeError} <= raised


# ---------------------------------------------------------------- reference counts


class Text(str):
    pass


def refcounts(objects):
    return [sys.getrefcount(o) for o in objects]


def calls_keep_references(args, calls):
    """Runs `calls` (which use `args`) in a frame of its own, so that no local name
    of the loop is left holding an argument; True when every count is back."""
    before = refcounts(args)
    calls()
    gc.collect()
    return refcounts(args) == before


@pytest.mark.parametrize("ok", [True, False], ids=["success", "failure"])
def test_text_argument_references_are_kept(ok):
    # Built at run time, so that no constant table holds extra references.
    text = (SMALL_LOG if ok else NOT_JSON) + " "
    args = [text, Text(text)]

    def calls():
        for _ in range(200):
            for arg in args:
                for call in (lambda: t2m(arg), lambda: t2m(data=arg)):
                    try:
                        call()
                    except _tessmar.JsonParsingError:
                        assert not ok

    assert calls_keep_references(args, calls)


@pytest.mark.parametrize("ok", [True, False], ids=["success", "failure"])
def test_path_argument_references_are_kept(ok, files):
    source = files["small"] if ok else files["not_json"]
    inner, out_inner = str(source), str(files["out"])
    filenames = [str(source), os.fsencode(source), pathlib.Path(source), Fspath(inner)]
    outputs = [str(files["out"]), os.fsencode(files["out"]), pathlib.Path(files["out"]), Fspath(out_inner)]

    def calls():
        for _ in range(50):
            for filename in filenames:
                for mjai_out in [None, *outputs]:
                    for call in (lambda: f2m(filename, mjai_out), lambda: f2m(filename=filename, mjai_out=mjai_out)):
                        try:
                            call()
                        except _tessmar.JsonParsingError:
                            assert not ok

    # The strings that __fspath__ hands over are counted too.
    assert calls_keep_references([*filenames, *outputs, inner, out_inner], calls)


# The texts of the frequent small events are constant str objects that every result shares;
# what a caller can see of that is below.

MJLOG_XML = (EXAMPLES / "mjlog" / "tb-2019021004gm-00a9-0000-e2f6516d.xml").read_bytes()
m2m = _mjlog.mjlog_to_mjai


def fresh_copy(events):
    """Equal str objects that no call of the module has ever seen."""
    return [event.encode("utf-8").decode("utf-8") for event in events]


@pytest.mark.parametrize("convert, make_input", [
    (t2m, lambda: SMALL_LOG + " "),
    (t2m, lambda: Text(SMALL_LOG + " ")),
    (m2m, lambda: MJLOG_XML + b" "),
    (m2m, lambda: MJLOG_XML.decode("utf-8") + " "),
], ids=["str", "str-subclass", "mjlog-bytes", "mjlog-str"])
def test_a_result_holds_no_reference_to_its_input(convert, make_input):
    given = make_input()  # made at run time: this frame holds the only reference
    before = sys.getrefcount(given)
    events = convert(given)
    assert sys.getrefcount(given) == before
    assert type(events) is list and len(events) > 10
    assert all(type(event) is str and event is not given for event in events)
    assert not any(referent is given for referent in gc.get_referents(events))


def _order_inputs():
    """(function name, input) pairs that succeed and fail, JSON and XML, for the order tests."""
    texts = [SMALL_LOG, BIG_LOG, MINIMAL_LOG, NOT_JSON, THREE_PLAYER_LOG, CONVERSION_FAILURE_LOG,
             RETRIED_THEN_REFUSED_LOG, TOO_DEEP_LOG] + [p.read_text(encoding="utf-8") for p in SHARED_LOGS]
    return [("t2m", text) for text in texts] + [("m2m", MJLOG_XML.decode("utf-8")), ("m2m", "<mjloggm")]


def _order_outcome(name, given):
    try:
        return {"t2m": t2m, "m2m": m2m}[name](given)
    except ValueError as error:
        return [type(error).__name__, list(error.args)]


def test_equal_inputs_give_equal_results_in_any_order_of_calls(tmp_path):
    inputs = _order_inputs()
    # Each input once, last first, in an interpreter that has made no other call.
    source = tmp_path / "inputs.json"
    source.write_text(json.dumps(inputs), encoding="utf-8")
    code = textwrap.dedent(
        """
        import json, sys, _tessmar
        from tessmar import _mjlog
        functions = {"t2m": _tessmar.tenhou_to_mjai, "m2m": _mjlog.mjlog_to_mjai}
        def outcome(name, given):
            try:
                return functions[name](given)
            except ValueError as error:
                return [type(error).__name__, list(error.args)]
        inputs = json.load(open(sys.argv[1], encoding="utf-8"))
        out = [None] * len(inputs)
        for i in reversed(range(len(inputs))):
            out[i] = outcome(*inputs[i])
        sys.stdout.write(json.dumps(out))
        """
    )
    result = run_python(code, source)
    assert result.returncode == 0, result.stderr.decode()
    expected = json.loads(result.stdout)
    assert {e[0].startswith("{") for e in expected} == {True, False}  # some succeed, some fail
    rng = random.Random(20240611)
    for _ in range(4):
        order = [i for i in range(len(inputs)) for _ in range(3)]
        rng.shuffle(order)
        for i in order:
            assert _order_outcome(*inputs[i]) == expected[i], inputs[i][0]


def test_constants_are_unchanged_after_any_sequence_of_calls(files, stdout_to_devnull):
    first = {"small": t2m(SMALL_LOG), "big": t2m(BIG_LOG), "xml": m2m(MJLOG_XML)}
    copies = {name: fresh_copy(events) for name, events in first.items()}
    hashes = {name: [hash(e) for e in events] for name, events in first.items()}
    for _ in range(20):
        for _name, _rounds, call, _exc_type in PATHS:
            try:
                call(files)
            except Exception:  # noqa: BLE001 - failing calls are part of the sequence
                pass
        for given in (MJLOG_XML, MJLOG_XML[:len(MJLOG_XML) // 2], b"<mjloggm"):
            try:
                m2m(given)
            except ValueError:
                pass
    for p in SHARED_LOGS:
        t2m(p.read_text(encoding="utf-8"))
    for name, events in first.items():
        assert events == copies[name], name
        assert [hash(e) for e in events] == hashes[name], name
    assert t2m(SMALL_LOG) == copies["small"] and t2m(BIG_LOG) == copies["big"] and m2m(MJLOG_XML) == copies["xml"]


def test_a_loop_of_calls_leaks_nothing(files):
    # A reference kept on a shared text allocates nothing, so the memory measures above cannot
    # see it: the reference counts of a result's texts must come back after other calls.
    kept = [*t2m(BIG_LOG), *m2m(MJLOG_XML), *t2m(SMALL_LOG)]
    texts = list({id(text): text for text in kept}.values())

    def calls():
        for _ in range(100):
            t2m(BIG_LOG)
            m2m(MJLOG_XML)
            f2m(files["small"], files["out"])
            for call in (lambda: t2m(CONVERSION_FAILURE_LOG), lambda: t2m(RETRIED_THEN_REFUSED_LOG),
                         lambda: m2m(MJLOG_XML[:len(MJLOG_XML) // 2]), lambda: f2m(files["conversion"])):
                try:
                    call()
                except ValueError:
                    pass

    assert calls_keep_references(texts, calls)
    assert_no_growth(lambda: (t2m(SMALL_LOG), m2m(MJLOG_XML)), 2000)


def test_exception_types_gain_no_references():
    types = [_tessmar.JsonParsingError, _tessmar.TenhouLogParsingError, _tessmar.TenhouToMjaiError, OSError,
             FileNotFoundError]

    def calls():
        for _ in range(500):
            for call in (lambda: t2m(NOT_JSON), lambda: t2m(THREE_PLAYER_LOG), lambda: t2m(CONVERSION_FAILURE_LOG),
                         lambda: f2m("/nonexistent/log.json"), lambda: f2m("/")):
                try:
                    call()
                except (ValueError, OSError):
                    pass

    assert calls_keep_references(types, calls)


# ---------------------------------------------------------------- threads


def _inputs():
    """(text, expected events or exception type and message) for the thread tests."""
    cases = [SMALL_LOG, BIG_LOG, MINIMAL_LOG, NOT_JSON, THREE_PLAYER_LOG, CONVERSION_FAILURE_LOG,
             RETRIED_THEN_REFUSED_LOG]
    cases += [p.read_text(encoding="utf-8") for p in SHARED_LOGS]
    expected = []
    for text in cases:
        try:
            expected.append(t2m(text))
        except ValueError as error:
            expected.append((type(error), error.args))
    return cases, expected


def outcome(call):
    try:
        return call()
    except ValueError as error:
        return (type(error), error.args)


def test_threads_get_the_sequential_results(tmp_path):
    cases, expected = _inputs()
    paths = []
    for i, text in enumerate(cases):
        paths.append(tmp_path / f"log{i}.json")
        paths[-1].write_text(text, encoding="utf-8")

    threads_count, rounds = 8, 12
    barrier = threading.Barrier(threads_count)
    wrong = []

    def worker(k):
        out = tmp_path / f"out{k}.mjson"
        barrier.wait()
        for r in range(rounds):
            # Each thread walks the inputs from its own starting point.
            i = (k + r) % len(cases)
            for got in (outcome(lambda: t2m(cases[i])), outcome(lambda: f2m(paths[i], out))):
                if got != expected[i]:
                    wrong.append((k, r, i))
            if isinstance(expected[i], list):
                lines = "".join(e + "\n" for e in expected[i])
                if out.read_text(encoding="utf-8") != lines:
                    wrong.append((k, r, i, "file"))

    old_interval = sys.getswitchinterval()
    sys.setswitchinterval(1e-6)  # switch threads as often as the interpreter allows
    try:
        threads = [threading.Thread(target=worker, args=(k,)) for k in range(threads_count)]
        for t in threads:
            t.start()
        for t in threads:
            t.join(timeout=120)
    finally:
        sys.setswitchinterval(old_interval)
    assert not any(t.is_alive() for t in threads)
    assert wrong == []


def test_threads_writing_to_stdout_never_mix_lines(tmp_path):
    # Each call's lines leave as one block, whatever the other threads do.
    logs = [EXAMPLES / "rc-2179-0-1.json", EXAMPLES / "tb-2019021004gm-00a9-0000-e2f6516d.json"]
    code = textwrap.dedent(
        """
        import sys, threading, _tessmar
        logs = sys.argv[1:]
        barrier = threading.Barrier(6)
        def work(k):
            barrier.wait()
            for r in range(5):
                _tessmar.tenhou_file_to_mjai(logs[(k + r) % len(logs)], "-")
        sys.setswitchinterval(1e-6)
        threads = [threading.Thread(target=work, args=(k,)) for k in range(6)]
        for t in threads: t.start()
        for t in threads: t.join()
        """
    )
    result = run_python(code, *logs)
    assert result.returncode == 0, result.stderr.decode()
    blocks = {tuple(f2m(log)) for log in logs}
    lines = result.stdout.decode("utf-8").split("\n")
    assert lines.pop() == ""
    calls = 0
    while lines:
        block = next((b for b in blocks if tuple(lines[:len(b)]) == b), None)
        assert block is not None, "lines of two calls are mixed"
        del lines[:len(block)]
        calls += 1
    assert calls == 30


# ---------------------------------------------------------------- files


PREVIOUS = b"previous content\n"

# Every failure that comes before the output is opened, by what causes it.
BEFORE_WRITING = [
    pytest.param(lambda f: f["missing"], FileNotFoundError, id="open"),
    pytest.param(lambda f: str(f["small"]) + "\0", FileNotFoundError, id="open-nul"),
    pytest.param(lambda f: f["dir"], OSError, id="read"),
    pytest.param(lambda f: f["latin1"], OSError, id="not-utf8"),
    pytest.param(lambda f: f["not_json"], _tessmar.JsonParsingError, id="parse"),
    pytest.param(lambda f: f["three_player"], _tessmar.TenhouLogParsingError, id="model"),
    pytest.param(lambda f: f["bad_win"], _tessmar.TenhouLogParsingError, id="model-win-details"),
    pytest.param(lambda f: f["conversion"], _tessmar.TenhouToMjaiError, id="convert"),
    pytest.param(lambda f: f["retried"], _tessmar.TenhouToMjaiError, id="convert-after-retries"),
    pytest.param(lambda f: 3, TypeError, id="filename-type"),
]


@pytest.mark.parametrize("make_filename, exc_type", BEFORE_WRITING)
def test_failure_before_writing_leaves_existing_output_untouched(make_filename, exc_type, files, tmp_path):
    out = tmp_path / "existing.mjson"
    out.write_bytes(PREVIOUS)
    os.utime(out, ns=(1_000_000_000, 1_000_000_000))
    descriptors = open_descriptors()
    with pytest.raises(exc_type) as info:
        f2m(make_filename(files), out)
    assert type(info.value) is exc_type
    assert out.read_bytes() == PREVIOUS
    assert out.stat().st_mtime_ns == 1_000_000_000
    assert open_descriptors() == descriptors


def test_write_failure_on_full_device_raises_and_writes_nothing(files):
    if not os.path.exists("/dev/full"):
        pytest.skip("no /dev/full")
    descriptors = open_descriptors()
    for _ in range(3):
        with pytest.raises(OSError) as info:
            f2m(files["small"], "/dev/full")
        assert type(info.value) is OSError
        assert info.value.args == ("failed to write to mjai out file",)
    assert open_descriptors() == descriptors


def test_output_is_rewritten_whole_after_a_shorter_one(files, tmp_path):
    # A long output then a short one: the file holds the short one only.
    out = tmp_path / "out.mjson"
    f2m(files["big"], out)
    events = f2m(files["small"], out)
    assert out.read_text(encoding="utf-8") == "".join(e + "\n" for e in events)


# ---------------------------------------------------------------- unknown keys


WELL_FORMED = {
    "zero": "0",
    "negative-zero": "-0",
    "integer": "-1234567890",
    "beyond-64-bits": "123456789012345678901234567890",
    "fraction-exponent": "-1.5e-300",
    "upper-exponent": "1E+2",
    "huge-exponent": "1e999",
    "many-digits": "0." + "1" * 1000,
    "true": "true",
    "false": "false",
    "null": "null",
    "empty-string": '""',
    "every-escape": r'"\" \\ \/ \b \f \n \r \t \u0000 \u001f \u007f \u00e9 \uffff"',
    "surrogate-pair": r'"\ud83c\udc04 \uD83D\uDE00"',
    "raw-utf8": '"東南西北 🀄 é"',
    "raw-delete": '"\x7f"',
    "long-string": '"' + "x" * 100_000 + '"',
    "empty-array": "[]",
    "empty-object": "{}",
    "nested-mixed": '{"a":[1,{"b":[null,true,{"c":"d"}]}],"a":2}',
    "repeated-known-key-inside": '{"log":1,"log":2,"name":3}',
    "whitespace": ' \t\r\n[ 1 , { "a" : [ ] } ]\n\t ',
    "deep-arrays": "[" * 100_000 + "]" * 100_000,
    "deep-objects": '{"k":' * 50_000 + "0" + "}" * 50_000,
    "deep-mixed": '[{"k":' * 20_000 + "[]" + "}]" * 20_000,
}

MALFORMED = {
    "empty": "",
    "trailing-comma-array": "[1,]",
    "trailing-comma-object": '{"a":1,}',
    "leading-zero": "01",
    "bare-fraction-point": "1.",
    "leading-point": ".5",
    "plus-sign": "+1",
    "bare-exponent": "1e",
    "bare-minus": "-",
    "nan": "NaN",
    "infinity": "Infinity",
    "single-quotes": "'x'",
    "bad-escape": r'"\x41"',
    "short-unicode-escape": r'"\u12"',
    "bad-hex": r'"\u12G4"',
    "lone-high-surrogate": r'"\ud800"',  # a string without a UTF-8 form
    "lone-low-surrogate": r'"\udc00"',
    "swapped-surrogates": r'"\udc04\ud83c"',
    "raw-control": '"a\tb"',
    "raw-newline": '"a\nb"',
    "unterminated-string": '"abc',
    "unclosed-array": "[1",
    "unclosed-object": '{"a":1',
    "missing-colon": '{"a" 1}',
    "missing-value": '{"a":}',
    "number-key": "{1:2}",
    "mismatched": "[}",
    "truncated-literal": "tru",
    "capital-literal": "True",
    "comment": "/* c */ 1",
    "two-values": "1 2",
    "deep-unclosed": "[" * 100_000,
    "deep-one-too-many-closers": "[" * 10_000 + "]" * 10_001,
}


def with_unknown_key(value, where):
    """A valid log that also holds `value` as the value of an unknown key."""
    if where == "first":
        return '{"unknown":' + value + "," + SMALL_LOG.strip()[1:]
    if where == "last":
        return SMALL_LOG.strip()[:-1] + ',"unknown":' + value + "}"
    assert where == "rule"
    log = json.loads(SMALL_LOG)
    text = json.dumps(log, ensure_ascii=False)
    rule = json.dumps(log["rule"], ensure_ascii=False)
    assert text.count(rule) == 1
    return text.replace(rule, '{"unknown":' + value + "," + rule[1:], 1)


SMALL_EVENTS = t2m(SMALL_LOG)


@pytest.mark.parametrize("where", ["first", "last", "rule"])
@pytest.mark.parametrize("value", WELL_FORMED.values(), ids=WELL_FORMED.keys())
def test_well_formed_unknown_value_is_skipped(value, where):
    assert t2m(with_unknown_key(value, where)) == SMALL_EVENTS


@pytest.mark.parametrize("where", ["first", "last", "rule"])
@pytest.mark.parametrize("value", MALFORMED.values(), ids=MALFORMED.keys())
def test_malformed_unknown_value_is_refused(value, where):
    with pytest.raises(_tessmar.JsonParsingError):
        t2m(with_unknown_key(value, where))


# Bytes that are no UTF-8 can only come from a file; they are refused before parsing.
INVALID_UTF8 = {
    "lone-continuation": b"\x80",
    "truncated-two-byte": b"\xc3",
    "overlong-slash": b"\xc0\xaf",
    "overlong-three-byte": b"\xe0\x80\xaf",
    "utf16-surrogate": b"\xed\xa0\x80",
    "above-max": b"\xf4\x90\x80\x80",
    "invalid-byte": b"\xff",
    "truncated-four-byte": b"\xf0\x9f\x80",
}


@pytest.mark.parametrize("where", ["first", "last", "rule"])
@pytest.mark.parametrize("raw", INVALID_UTF8.values(), ids=INVALID_UTF8.keys())
def test_invalid_utf8_in_unknown_value_of_a_file_is_refused(raw, where, tmp_path):
    text = with_unknown_key('"@"', where)
    path = tmp_path / "log.json"
    path.write_bytes(text.encode("utf-8").replace(b"@", raw))
    with pytest.raises(OSError) as info:
        f2m(path)
    assert type(info.value) is OSError
    assert info.value.args == ("stream did not contain valid UTF-8",)


@pytest.mark.parametrize("value", ["[" + WELL_FORMED["every-escape"] + "," + WELL_FORMED["raw-utf8"] + "]",
                                   WELL_FORMED["deep-mixed"]], ids=["strings", "deep"])
def test_well_formed_unknown_value_in_a_file_is_skipped(value, tmp_path):
    path = tmp_path / "log.json"
    path.write_text(with_unknown_key(value, "last"), encoding="utf-8")
    assert f2m(path) == SMALL_EVENTS
