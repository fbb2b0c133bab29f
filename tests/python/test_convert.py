"""End-to-end conversion of whole logs: real games, a hand-checked kyoku, refusals."""

import json
import pathlib
import sys

import pytest

import _tessmar

from conftest import EXAMPLES, SHARED

DATA = pathlib.Path(__file__).resolve().parent / "data"
SHARED_LOGS = SHARED / "logs"
MJAI_CHECK = SHARED / "tools" / "mjai-check"


def shared_logs():
    if not SHARED_LOGS.is_dir():
        return []
    return sorted(SHARED_LOGS.glob("*.json"))


def convert(log: dict) -> list[str]:
    return _tessmar.tenhou_to_mjai(json.dumps(log, ensure_ascii=False))


def hand(*codes):
    return list(codes) + [11] * (13 - len(codes))


def one_kyoku_log(seats, dora=(15,), ura=(), result=None, disp="般南喰赤", header=(0, 0, 0)):
    """A log of one kyoku; `seats` holds four (takes, discards) pairs."""
    entry = [list(header), [25000] * 4, list(dora), list(ura)]
    for takes, discards in seats:
        entry += [hand(), list(takes), list(discards)]
    entry.append(result if result is not None else ["流局", [0, 0, 0, 0]])
    return {"log": [entry], "name": ["A", "B", "C", "D"], "rule": {"disp": disp, "aka": 1}}


@pytest.mark.parametrize("path", sorted(EXAMPLES.glob("*.json")), ids=lambda p: p.name)
def test_examples_convert_from_start_game_to_end_game(path):
    events = [json.loads(line) for line in _tessmar.tenhou_file_to_mjai(str(path))]
    log = json.loads(path.read_text(encoding="utf-8"))
    assert events[0] == {"type": "start_game", "names": log["name"], "kyoku_first": 0, "aka_flag": True}
    assert events[-1] == {"type": "end_game"}
    starts = [e for e in events if e["type"] == "start_kyoku"]
    assert len(starts) == len(log["log"])
    assert sum(e["type"] == "end_kyoku" for e in events) == len(log["log"])
    for start, entry in zip(starts, log["log"]):
        assert (start["honba"], start["kyotaku"], start["scores"]) == (entry[0][1], entry[0][2], entry[1])


def test_hand_checked_kyoku_with_calls_kakan_riichi_and_ron():
    # South 3, second honba: chi, five pons, a kakan with its late dora, riichi, ron.
    path = EXAMPLES / "tb-2019021004gm-00a9-0000-e2f6516d.json"
    expected = (DATA / "tb-2019021004-south3-honba2.mjson").read_text(encoding="utf-8").splitlines()
    events = _tessmar.tenhou_to_mjai(path.read_text(encoding="utf-8"))
    start = events.index(expected[0])
    assert events[start:start + len(expected)] == expected


@pytest.mark.skipif(not SHARED_LOGS.is_dir(), reason="../shared/logs is not present")
@pytest.mark.parametrize("path", shared_logs(), ids=lambda p: p.name)
def test_real_logs_convert_and_replay_as_legal_games(path):
    events = _tessmar.tenhou_file_to_mjai(str(path))
    assert events[0].startswith('{"type":"start_game"') and events[-1] == '{"type":"end_game"}'
    if not (MJAI_CHECK / "mjai_check.py").is_file():
        pytest.skip("../shared/tools/mjai-check is not present")
    sys.path.insert(0, str(MJAI_CHECK))
    try:
        import mjai_check
    finally:
        sys.path.remove(str(MJAI_CHECK))
    errors = [str(p) for p in mjai_check.check(events) if p.severity == "error"]
    assert errors == []


@pytest.mark.parametrize("disp", ["三般南喰赤", "3-Player South"])
def test_three_player_logs_are_refused(disp):
    log = json.loads((EXAMPLES / "rc-2179-0-1.json").read_text(encoding="utf-8"))
    log["rule"]["disp"] = disp
    with pytest.raises(_tessmar.TenhouLogParsingError) as info:
        convert(log)
    assert info.value.args == ("invalid log",)


@pytest.mark.parametrize(
    "disp, kyoku_first",
    [("般東喰赤", 4), ("East", 4), ("Eastern", 4), ("east", 0), ("", 0), ("般南喰赤", 0)],
)
def test_east_only_games_are_marked_in_start_game(disp, kyoku_first):
    events = convert({"log": [], "name": ["A", "B", "C", "D"], "rule": {"disp": disp}})
    assert events == [
        '{"type":"start_game","names":["A","B","C","D"],"kyoku_first":%d,"aka_flag":false}' % kyoku_first,
        '{"type":"end_game"}',
    ]


def test_a_kyoku_whose_columns_cannot_be_ordered_is_refused_whole():
    log = json.loads((EXAMPLES / "rc-2179-0-1.json").read_text(encoding="utf-8"))
    log["log"][0][5].pop()  # seat 0's last take goes missing
    with pytest.raises(_tessmar.TenhouToMjaiError) as info:
        convert(log)
    assert info.value.args == ("failed to convert tenhou.net/6 log to mjai",)
    assert info.value.__cause__ is None


def test_a_kyoku_whose_retries_would_repeat_for_ever_fails():
    # Seat 0 throws 1m four times and seat 3 holds a pon of it; every way of giving the pon
    # to one of the discards breaks later, and the retries come back to a state seen before.
    log = one_kyoku_log([
        ([31, "21p2121", "22p2222", "23p2323"], [11, 11, 11, 11]),
        ([41, 42, 43], [60, 60, 60]),
        ([44, 45, 46], [21, 22, 23]),
        (["1111p11"], [47]),
    ])
    with pytest.raises(_tessmar.TenhouToMjaiError):
        convert(log)


def test_an_ambiguous_pon_is_moved_to_the_later_discard_when_the_first_choice_fails():
    # Seat 0 throws 1m twice and seat 3 pons one of them: given to the first discard the pon
    # leaves seat 0 with a pon of a tile nobody threw, so the kyoku is replayed with it declined.
    log = one_kyoku_log([
        ([31, "21p2121"], [11, 11]),
        ([41], [60]),
        ([44], [21]),
        (["1111p11"], [47]),
    ], result=["和了", [0, 8000, 0, -8000], [1, 3, 0]])
    events = [json.loads(e) for e in convert(log)]
    assert [(e["type"], e.get("actor")) for e in events[2:-2]] == [
        ("tsumo", 0), ("dahai", 0), ("tsumo", 1), ("dahai", 1), ("tsumo", 2), ("dahai", 2),
        ("pon", 0), ("dahai", 0), ("pon", 3), ("dahai", 3), ("hora", 1),
    ]
    assert sum(e["type"] == "start_kyoku" for e in events) == 1
