"""tessmar._mjlog.convert_text, and where the package's functions say a log was refused: the same
exception as _tessmar's (type, message, args) with `offset`, `kyoku`, `seat` and one note."""

import json
import re
from concurrent.futures import ThreadPoolExecutor

import pytest

import _tessmar
from conftest import EXAMPLES, SHARED
from tessmar import _mjlog

JSON_LOGS = sorted(EXAMPLES.glob("*.json")) + sorted((SHARED / "logs").glob("*.json"))
XML_LOGS = sorted((EXAMPLES / "mjlog").glob("*.xml")) + sorted((SHARED / "mjlog").glob("*.xml"))
EXAMPLE = EXAMPLES / "tb-2019021004gm-00a9-0000-e2f6516d.json"
EXAMPLE_XML = EXAMPLES / "mjlog" / "tb-2019021004gm-00a9-0000-e2f6516d.xml"
WIN_MARKER = "和了"


def raised(call, *args, **kwargs):
    with pytest.raises(BaseException) as info:
        call(*args, **kwargs)
    return info.value


def mjai_json(text):
    return _mjlog.convert_text(text, mjlog=False, tenhou=False)


def kyoku_label(log, k):
    """As the note names kyoku k: its position, round and honba."""
    round_, honba = log["log"][k][0][:2]
    return f"kyoku {k} ({'ESWN'[min(round_ // 4, 3)]}{round_ % 4 + 1}, {honba} honba)"


def located_like_tessmar(text):
    """What convert raises for a JSON log that _tessmar refuses: the same exception, located.
    _tessmar's own exception stays bare."""
    bare = raised(_tessmar.tenhou_to_mjai, text)
    exc = raised(mjai_json, text)
    assert type(exc) is type(bare) and exc.args == bare.args
    assert not hasattr(bare, "offset") and not hasattr(bare, "__notes__")
    assert len(exc.__notes__) == 1 and "\n" not in exc.__notes__[0]
    return exc


def spliced(log, path, value):
    """The JSON text of `log` with the item at `path` written as `value`, and that item's byte
    offset in the text."""
    log = json.loads(json.dumps(log))
    item = log
    for key in path[:-1]:
        item = item[key]
    item[path[-1]] = 987654321  # unique in the text: marks the place
    text = json.dumps(log, ensure_ascii=False)
    assert text.count("987654321") == 1
    head, tail = text.split("987654321")
    return head + value + tail, len(head.encode())


@pytest.fixture(scope="module")
def log():
    return json.loads(EXAMPLE.read_text(encoding="utf-8"))


def test_json_refusals_say_where(log):
    text = json.dumps(log, ensure_ascii=False)

    # Cut short: reading stops at the text's length, no kyoku's fault.
    cut = text[: len(text) // 2]
    exc = located_like_tessmar(cut)
    assert type(exc) is _tessmar.JsonParsingError
    end = len(cut.encode())
    assert (exc.offset, exc.kyoku, exc.seat) == (end, None, None)
    assert exc.__notes__ == [f"byte {end}: incomplete JSON"]

    # A character that breaks the grammar, inside kyoku 1: the byte alone.
    bad, at = spliced(log, ["log", 1, 5, 0], "11;")
    exc = located_like_tessmar(bad)
    assert type(exc) is _tessmar.JsonParsingError
    assert (exc.offset, exc.kyoku, exc.seat) == (at + 2, None, None)
    assert exc.__notes__[0].startswith(f"byte {at + 2}: ") and "expected" in exc.__notes__[0]

    # A code that is no tile in kyoku 2's starting hand of seat 1: its first byte, the kyoku, the seat.
    bad, at = spliced(log, ["log", 2, 4 + 3 * 1, 5], "99")
    exc = located_like_tessmar(bad)
    assert type(exc) is _tessmar.JsonParsingError
    assert (exc.offset, exc.kyoku, exc.seat) == (at, 2, 1)
    assert exc.__notes__[0].startswith(f"byte {at}, {kyoku_label(log, 2)}, seat 1: ")
    assert "99" in exc.__notes__[0]

    # A win's detail without the two seats: the text reads, the kyoku's result is at fault.
    won = next(k for k, kyoku in enumerate(log["log"]) if kyoku[16][0] == WIN_MARKER)
    broken = json.loads(text)
    broken["log"][won][16][2] = ["x"]
    exc = located_like_tessmar(json.dumps(broken, ensure_ascii=False))
    assert type(exc) is _tessmar.TenhouLogParsingError
    assert (exc.offset, exc.kyoku, exc.seat) == (None, won, None)
    assert exc.__notes__[0].startswith(f"{kyoku_label(log, won)}: ")

    # A call that contradicts the last discard: the kyoku and the caller's seat.
    broken = json.loads(text)
    broken["log"][3][5 + 3 * 1][0] = "p474747"
    exc = located_like_tessmar(json.dumps(broken, ensure_ascii=False))
    assert type(exc) is _tessmar.TenhouToMjaiError
    assert (exc.offset, exc.kyoku, exc.seat) == (None, 3, 1)
    assert re.fullmatch(rf"{re.escape(kyoku_label(log, 3))}, seat 1: pon of C, but the last discard is \S+",
                        exc.__notes__[0])


def test_json_bytes_that_are_not_utf8_raise_what_decoding_raises():
    data = EXAMPLE.read_bytes()
    for bad in (data[:100] + b"\xff" + data[101:], data[:100] + "和".encode()[:2]):
        expected = raised(bad.decode, "utf-8")
        exc = raised(mjai_json, bad)
        assert type(exc) is UnicodeDecodeError
        assert (exc.args, exc.start, exc.end, exc.reason) == (expected.args, expected.start, expected.end, expected.reason)
        assert (exc.offset, exc.kyoku, exc.seat) == (100, None, None)
        assert exc.__notes__ == [f"byte 100: not UTF-8 ({expected.reason})"]


def test_mjlog_refusals_say_where():
    xml = EXAMPLE_XML.read_bytes()
    # Seat 1's first discard (E) in the second kyoku, as a tile id that does not exist.
    second = xml.index(b"<INIT", xml.index(b"<INIT") + 1)
    at = xml.index(b"<E", second)
    end = xml.index(b"/>", at)
    bad = xml[:at] + b"<E136" + xml[end:]
    expected = raised(_mjlog.mjlog_to_mjai, bad, "r")
    assert type(expected) is _mjlog.MjlogError
    assert expected.args == (f"tile id out of range: 136 in <E136> at byte {at}",)
    assert (expected.offset, expected.kyoku, expected.seat) == (at, 1, 1)
    assert re.fullmatch(rf"kyoku 1 \([ESWN][1-4], \d+ honba\), seat 1: {re.escape(expected.args[0])}",
                        expected.__notes__[0])
    for call in (
        lambda: _mjlog.mjlog_to_tenhou(bad, "r"),
        lambda: _mjlog.convert_text(bad, "r", mjlog=True, tenhou=False),
        lambda: _mjlog.convert_text(bad.decode(), "r", mjlog=True, tenhou=True),
    ):
        exc = raised(call)
        assert type(exc) is _mjlog.MjlogError and exc.args == expected.args
        assert (exc.offset, exc.kyoku, exc.seat, exc.__notes__) == (at, 1, 1, expected.__notes__)

    # XML cut short: the message's byte, no kyoku.
    exc = raised(_mjlog.convert_text, xml[:5000], mjlog=True, tenhou=False)
    assert type(exc) is _mjlog.MjlogError
    assert str(exc).endswith(f" at byte {exc.offset}") and exc.kyoku is None and len(exc.__notes__) == 1


@pytest.mark.parametrize("path", JSON_LOGS + XML_LOGS, ids=lambda p: f"{p.parent.name}/{p.name}")
def test_convert_gives_the_bytes_of_the_list_functions(path):
    data = path.read_bytes()
    if path.suffix == ".xml":
        events = _mjlog.mjlog_to_mjai(data, "ref")
        assert _mjlog.convert_text(data, "ref", mjlog=True, tenhou=False) == ("\n".join(events) + "\n").encode()
        assert _mjlog.convert_text(data.decode(), "ref", mjlog=True, tenhou=True) == _mjlog.mjlog_to_tenhou(data, "ref").encode()
        return
    text = data.decode()
    lines = ("\n".join(_tessmar.tenhou_to_mjai(text)) + "\n").encode()
    assert mjai_json(text) == lines and mjai_json(data) == lines
    assert _mjlog.convert_text(text, mjlog=False, tenhou=True) == data
    assert _mjlog.convert_text(data, "ignored", mjlog=False, tenhou=True) == data


def test_convert_takes_text_and_two_keyword_only_flags():
    text = EXAMPLE.read_text(encoding="utf-8")
    assert _mjlog.convert_text(text=text, ref="", mjlog=0, tenhou=[]) == mjai_json(text)
    for call, message in (
        (lambda: _mjlog.convert_text(text, mjlog=False), "convert_text() missing 1 required keyword-only argument: 'tenhou'"),
        (lambda: _mjlog.convert_text(text), "convert_text() missing 2 required keyword-only arguments: 'mjlog' and 'tenhou'"),
        (lambda: _mjlog.convert_text(text, "", False, False), "convert_text() takes from 1 to 2 positional arguments but 4 were given"),
        (lambda: _mjlog.convert_text(bytearray(b"{}"), mjlog=False, tenhou=False),
         "argument 'text' must be str or bytes, not bytearray"),
    ):
        exc = raised(call)
        assert type(exc) is TypeError and str(exc) == message


def test_threads_converting_at_once_get_what_one_thread_gets():
    jobs = [(p.read_bytes(), p.suffix == ".xml") for p in JSON_LOGS + XML_LOGS]
    jobs.append((EXAMPLE.read_bytes()[:3000], False))  # a refusal among them

    def run(job):
        text, mjlog = job
        try:
            return _mjlog.convert_text(text, "r", mjlog=mjlog, tenhou=False)
        except ValueError as exc:
            return (type(exc), exc.args, exc.offset, exc.kyoku, exc.seat, exc.__notes__)

    alone = [run(job) for job in jobs]
    assert isinstance(alone[-1], tuple) and alone[-1][2] == 3000
    with ThreadPoolExecutor(max_workers=2) as pool:
        assert list(pool.map(run, jobs * 40)) == alone * 40
