#!/usr/bin/env python3
"""Writes the fuzzers' seed corpus into a directory.

Seeds: every real log given on the command line, each of its kyokus as a log of its own
(small seeds mutate faster), one log in the array form, and small hand-made logs that
reach each way a kyoku can go (wins, draws, calls, kans, riichi, placeholders).

    make_corpus.py OUT_DIR [LOG.json ...]
"""

import hashlib
import json
import pathlib
import sys

NAMES = ["A", "B", "C", "D"]
RULE = {"disp": "般南喰赤", "aka": 1}
WIN = "和了"
DRAW = "流局"


def hand(*codes):
    return list(codes) + [11] * (13 - len(codes))


def kyoku(seats, dora=(15,), ura=(), result=None, header=(0, 0, 0), scores=(25000,) * 4):
    """One log entry; `seats` holds four (takes, discards) pairs."""
    entry = [list(header), list(scores), list(dora), list(ura)]
    for takes, discards in seats:
        entry += [hand(), list(takes), list(discards)]
    entry.append(result if result is not None else [DRAW, [0, 0, 0, 0]])
    return entry


def game(*entries, rule=RULE, names=NAMES):
    return {"log": list(entries), "name": list(names), "rule": dict(rule)}


def won(actor, target, *deltas):
    return [WIN, list(deltas), [actor, target, actor, "30符1飜1000点"]]


NOBODY = ([], [])


def hand_made():
    """Small logs, each reaching one path of the converter (or one of its refusals)."""
    yield "empty", game()
    yield "tsumo-on-first-draw", game(kyoku([([11], []), NOBODY, NOBODY, NOBODY],
                                            result=won(0, 0, 6000, -2000, -2000, -2000)))
    yield "one-turn-each-then-draw", game(kyoku([([11], [11]), ([12], [12]), ([13], [13]), ([14], [14])]))
    yield "pon-from-opposite", game(kyoku([([11], [21]), NOBODY, (["21p2121"], [31]), ([14], [14])]))
    yield "chi-from-left", game(kyoku([([11], [23]), (["c232224"], [41]), NOBODY, NOBODY]))
    yield "riichi-then-ron", game(kyoku([([11], ["r11"]), NOBODY, NOBODY, NOBODY],
                                        ura=(22,), result=won(1, 0, -1000, 2000, 0, 0)))
    yield "riichi-tsumogiri-accepted", game(kyoku([([11], ["r60"]), ([12], [12]), NOBODY, NOBODY]))
    yield "ankan-then-replacement", game(kyoku([([11, 12], ["111111a11", 12]), ([13], [13]), NOBODY, NOBODY],
                                               dora=(15, 16)))
    yield "kakan-after-pon", game(kyoku([([11, 12], [21, 12]), ([13], [13]),
                                         (["21p2121", 31, 32], [41, "k21212121", 32]), ([14], [14])], dora=(15, 16)))
    yield "daiminkan-with-placeholder", game(kyoku([([11], [11]), (["m11111111", 22], [0, 22]), NOBODY, NOBODY],
                                                   dora=(15, 16)))
    yield "double-ron", game(kyoku([([11], [11]), NOBODY, NOBODY, NOBODY],
                                   result=[WIN, [-2000, 2000, 0, 0], [1, 0, 1], [-2000, 0, 2000, 0], [2, 0, 2]]))
    yield "kyuushu-draw", game(kyoku([([11], []), NOBODY, NOBODY, NOBODY], result=["九種九牌"]))
    yield "east-only", game(kyoku([NOBODY, ([11], [11]), NOBODY, NOBODY], header=(13, 2, 1)),
                            rule={"disp": "鳳東喰赤", "aka51": 1})
    yield "names-to-escape", game(kyoku([([11], [11]), NOBODY, NOBODY, NOBODY]),
                                  names=['"q"', "back\\slash", "tab\tcontrol\u0001", "名前"])
    # the pon belongs to the second 21: the first attempt gives it to the first and fails
    yield "ambiguous-pon-retried", game(kyoku([([11, "3131p31"], [21, 21]), ([31], [31]), (["21p2121"], [41]),
                                               NOBODY]))
    # refusals: three players, bad win details, empty dora list, bare number take
    yield "three-player", game(rule={"disp": "三鳳南喰赤"})
    yield "bad-win-details", game(kyoku([([11], []), NOBODY, NOBODY, NOBODY], result=[WIN, [0, 0, 0, 0], ["x"]]))
    yield "no-dora", game(kyoku([([11], [11]), NOBODY, NOBODY, NOBODY], dora=()))
    yield "bare-number-take", game(kyoku([([60], [11]), NOBODY, NOBODY, NOBODY]))


def split(log):
    """Each kyoku of a real log as a log of its own."""
    for i, entry in enumerate(log.get("log", [])):
        part = {k: v for k, v in log.items() if k != "log"}
        part["log"] = [entry]
        yield i, part


def main():
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    out = pathlib.Path(sys.argv[1])
    out.mkdir(parents=True, exist_ok=True)

    def put(name, text):
        digest = hashlib.sha1(text.encode()).hexdigest()[:10]
        (out / f"{name}-{digest}.json").write_text(text, encoding="utf-8")

    for name, log in hand_made():
        put(f"hand-{name}", json.dumps(log, ensure_ascii=False, separators=(",", ":")))
    array_form_done = False
    for path in map(pathlib.Path, sys.argv[2:]):
        text = path.read_text(encoding="utf-8")
        put(f"real-{path.stem}", text)
        log = json.loads(text)
        for i, part in split(log):
            put(f"kyoku-{path.stem}-{i}", json.dumps(part, ensure_ascii=False, separators=(",", ":")))
        if not array_form_done and log.get("log"):
            keys = ["log", "name", "rule", "ratingc", "lobby", "dan", "rate", "sx"]
            put(f"array-form-{path.stem}", json.dumps([log.get(k) for k in keys], ensure_ascii=False))
            array_form_done = True


if __name__ == "__main__":
    main()
