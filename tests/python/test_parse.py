"""The strict reading of the log text: what is refused as JsonParsingError and what is not."""

import pathlib

import pytest

import _tessmar

PARSE_MESSAGE = "failed to parse tenhou.net/6 log"
LOGS = pathlib.Path(__file__).resolve().parents[3] / "shared" / "logs"

NAMES = '"name":["a","b","c","d"]'
MINIMAL = '{"log":[],' + NAMES + ',"rule":{}}'
HAND = "[11,12,13,14,15,16,17,18,19,21,22,23,24]"


def entry(**at):
    """One 17-element log entry; keyword e<N> replaces element N."""
    parts = ["[0,0,0]", "[25000,25000,25000,25000]", "[11]", "[]"]
    for _ in range(4):
        parts += [HAND, "[]", "[]"]
    parts.append("[]")
    for key, text in at.items():
        parts[int(key[1:])] = text
    return "[" + ",".join(parts) + "]"


def log_with(entry_text, extra=""):
    return "{" + extra + '"log":[' + entry_text + "]," + NAMES + ',"rule":{"disp":"r"}}'


def with_unknown_key(value):
    return '{"x":' + value + ',"log":[],' + NAMES + ',"rule":{}}'


def in_detail_item(value):
    return log_with(entry(e16="[[0," + value + "]]"))


def nested(levels):
    """A log whose read values nest `levels` deep: 5 levels down to the detail item."""
    inner = "[" * (levels - 5) + "]" * (levels - 5)
    return log_with(entry(e16="[[0," + inner + "]]"))


MALFORMED = [
    "[1,]", "[1 2]", '{"a":1,}', "{a:1}", "'a'", "tru", "NaN", "Infinity", "-Infinity", "01", "1.", ".5",
    "+1", "1e", '"\\x"', '"\\ud800"', '"\\udc00"', '"a\tb"', "/*c*/1", "[1]]", "[1,\f2]", '"\\u12"',
]

REFUSED = [
    pytest.param("", id="empty"),
    pytest.param("   \n", id="whitespace-only"),
    pytest.param("\ufeff" + MINIMAL, id="byte-order-mark"),
    pytest.param(MINIMAL + " x", id="trailing-content"),
    pytest.param(MINIMAL + MINIMAL, id="two-values"),
    pytest.param('"log"', id="top-level-string"),
    pytest.param("null", id="top-level-null"),
    pytest.param('[[],["a","b","c","d"],{},null,null,null,null]', id="array-form-7"),
    pytest.param('[[],["a","b","c","d"],{},null,null,null,null,null,null]', id="array-form-9"),
    pytest.param('{"name":["a","b","c","d"],"rule":{}}', id="missing-log"),
    pytest.param('{"log":[],"rule":{}}', id="missing-name"),
    pytest.param('{"log":[],' + NAMES + "}", id="missing-rule"),
    pytest.param('{"log":[],"log":[],' + NAMES + ',"rule":{}}', id="duplicate-log"),
    pytest.param('{"log":[],"\\u006cog":[],' + NAMES + ',"rule":{}}', id="duplicate-escaped-key"),
    pytest.param('{"log":[],' + NAMES + ',"rule":{"disp":"a","disp":"a"}}', id="duplicate-disp"),
    pytest.param('{"ratingc":5,"log":[],' + NAMES + ',"rule":{}}', id="ratingc-number"),
    pytest.param('{"log":[],' + NAMES + ',"rule":{"aka":1.0}}', id="aka-1.0"),
    pytest.param('{"log":[],' + NAMES + ',"rule":{"aka":256}}', id="aka-256"),
    pytest.param('{"log":[],' + NAMES + ',"rule":{"aka":null}}', id="aka-null"),
    pytest.param('{"log":[],' + NAMES + ',"rule":["",0,0,0,0,0]}', id="rule-array-6"),
    pytest.param('{"log":[],"name":["a","b","c"],"rule":{}}', id="name-3"),
    pytest.param('{"log":[],"name":["a","b","c","d","e"],"rule":{}}', id="name-5"),
    pytest.param('{"log":[{}],' + NAMES + ',"rule":{}}', id="log-entry-object"),
    pytest.param(log_with(entry()[: entry().rfind(",")] + "]"), id="log-entry-16"),
    pytest.param(log_with(entry()[:-1] + ",[]]"), id="log-entry-18"),
    pytest.param(log_with(entry(e0="[0,0]")), id="header-2"),
    pytest.param(log_with(entry(e0="[0,0,0,0]")), id="header-4"),
    pytest.param(log_with(entry(e1="[25000.5,1,2,3]")), id="score-fraction"),
    pytest.param(log_with(entry(e1="[2147483648,1,2,3]")), id="score-out-of-range"),
    pytest.param(log_with(entry(e4="[11,12,13,14,15,16,17,18,19,21,22,23]")), id="hand-12"),
    pytest.param(log_with(entry(e4="[11,12,13,14,15,16,17,18,19,21,22,23,24,25]")), id="hand-14"),
    pytest.param(log_with(entry(e4="[11,12,13,14,15,16,17,18,19,21,22,23,60]")), id="hand-60"),
    pytest.param(log_with(entry(e2="[10]")), id="dora-10"),
    pytest.param(log_with(entry(e5="[300]")), id="take-300"),
    pytest.param(log_with(entry(e5="[-1]")), id="take-minus-1"),
    pytest.param(log_with(entry(e5="[1.5]")), id="take-1.5"),
    pytest.param(log_with(entry(e5="[null]")), id="take-null"),
    pytest.param(log_with(entry(e16="[{}]")), id="result-object"),
    pytest.param(log_with(entry(e16="[5]")), id="result-number"),
    pytest.param(nested(128), id="nesting-128"),
    pytest.param(nested(100_000), id="nesting-100000-read"),
    *(pytest.param(in_detail_item(bad), id=f"read-malformed-{i}") for i, bad in enumerate(MALFORMED)),
    *(pytest.param(with_unknown_key(bad), id=f"skipped-malformed-{i}") for i, bad in enumerate(MALFORMED)),
]


@pytest.mark.parametrize("text", REFUSED)
def test_refused_as_json_parsing_error(text):
    with pytest.raises(_tessmar.JsonParsingError) as info:
        _tessmar.tenhou_to_mjai(text)
    exc = info.value
    assert type(exc) is _tessmar.JsonParsingError
    assert isinstance(exc, ValueError)
    assert exc.args == (PARSE_MESSAGE,)
    assert str(exc) == PARSE_MESSAGE
    assert exc.__cause__ is None


def deep_object(levels):
    return '{"a":' * levels + "1" + "}" * levels


ACCEPTED = [
    pytest.param(MINIMAL, id="minimal"),
    pytest.param('[[],["a","b","c","d"],{},null,null,null,null,null]', id="array-form"),
    pytest.param('[[],["a","b","c","d"],["",0,0,0,0],"x",1,["d"],[1.5],["M"]]', id="array-form-filled"),
    pytest.param('{"ratingc":null,"lobby":null,"dan":null,"rate":null,"sx":null,"log":[],' + NAMES + ',"rule":{}}',
                 id="optional-nulls"),
    pytest.param('{"log":[],' + NAMES + ',"rule":{"aka":255,"x":1,"x":2}}', id="aka-255-unknown-rule-keys"),
    pytest.param('{"rate":[1e400,-0,1e99999999999],"log":[],' + NAMES + ',"rule":{}}', id="huge-rate"),
    pytest.param(" \t\r\n" + MINIMAL + " \t\r\n", id="surrounding-whitespace"),
    pytest.param(with_unknown_key("[" * 100_000 + "]" * 100_000), id="skipped-100000-arrays"),
    pytest.param(with_unknown_key(deep_object(100_000)), id="skipped-100000-objects"),
    pytest.param(with_unknown_key('"\\"\\\\\\/\\b\\f\\n\\r\\t\\u0000\\u00e9\\ud83d\\ude00"'), id="skipped-escapes"),
    pytest.param(with_unknown_key("[1e400,-0,1e99999999999," + "9" * 500 + ",true,false,null,{}]"),
                 id="skipped-odd-numbers"),
    pytest.param(with_unknown_key('"和了 🀄"'), id="skipped-non-ascii"),
    pytest.param(nested(127), id="nesting-127"),
    pytest.param(log_with(entry(e5="[60,0,-0,255,\"c282627\"]")), id="take-bare-numbers"),
    pytest.param(log_with(entry(e16='["和了",[1,2,3,4],[1,2,3],[],[1,"a",{"k":[null]}]]')), id="result-items"),
]


@pytest.mark.parametrize("text", ACCEPTED)
def test_schema_valid_text_is_not_a_parsing_error(text):
    try:
        events = _tessmar.tenhou_to_mjai(text)
    except _tessmar.JsonParsingError:
        pytest.fail("a schema-valid log was refused by the parser")
    except (_tessmar.TenhouLogParsingError, _tessmar.TenhouToMjaiError):
        return  # a later stage's verdict on a made-up kyoku
    assert isinstance(events, list)
    assert all(type(e) is str for e in events)


@pytest.mark.parametrize("text", [MINIMAL, '[[],["a","b","c","d"],{},null,null,null,null,null]'])
def test_log_without_kyoku_converts_to_start_and_end(text):
    events = _tessmar.tenhou_to_mjai(text)
    assert len(events) == 2


@pytest.mark.skipif(not LOGS.is_dir(), reason="no shared logs folder")
@pytest.mark.parametrize("name", sorted(p.name for p in LOGS.glob("*.json")) if LOGS.is_dir() else [])
def test_real_log_is_not_a_parsing_error(name):
    text = (LOGS / name).read_text(encoding="utf-8")
    try:
        _tessmar.tenhou_to_mjai(text)
    except _tessmar.JsonParsingError:
        pytest.fail(f"{name} was refused by the parser")
    except (_tessmar.TenhouLogParsingError, _tessmar.TenhouToMjaiError):
        pass  # later stages, judged by their own tests
