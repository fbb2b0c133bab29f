"""Every failure: its exception type, its exact message, and nothing chained to it."""

import errno
import os
import shutil
import subprocess
import sys

import pytest

import _tessmar
from conftest import (
    CONVERSION_FAILURE_LOG,
    MINIMAL_LOG,
    NOT_JSON,
    THREE_PLAYER_LOG,
    PathLike,
    run_python,
)

STAGE_FAILURES = [
    pytest.param(NOT_JSON, _tessmar.JsonParsingError, "failed to parse tenhou.net/6 log", id="parse"),
    pytest.param("", _tessmar.JsonParsingError, "failed to parse tenhou.net/6 log", id="parse-empty"),
    pytest.param(THREE_PLAYER_LOG, _tessmar.TenhouLogParsingError, "invalid log", id="model"),
    pytest.param(
        CONVERSION_FAILURE_LOG,
        _tessmar.TenhouToMjaiError,
        "failed to convert tenhou.net/6 log to mjai",
        id="conversion",
    ),
]


def assert_bare(error, exc_type, message):
    """The exception is exactly `exc_type(message)` with nothing attached."""
    assert type(error) is exc_type
    assert error.args == (message,)
    assert str(error) == message
    assert error.__cause__ is None
    assert error.__context__ is None


# ---------------------------------------------------------------- pipeline stages


@pytest.mark.parametrize("text, exc_type, message", STAGE_FAILURES)
def test_stage_failure_from_text(text, exc_type, message):
    with pytest.raises(exc_type) as info:
        _tessmar.tenhou_to_mjai(text)
    assert_bare(info.value, exc_type, message)
    assert isinstance(info.value, ValueError)


@pytest.mark.parametrize("text, exc_type, message", STAGE_FAILURES)
def test_stage_failure_from_file(text, exc_type, message, write_file):
    with pytest.raises(exc_type) as info:
        _tessmar.tenhou_file_to_mjai(write_file(text))
    assert_bare(info.value, exc_type, message)


@pytest.mark.parametrize("text, exc_type, message", STAGE_FAILURES)
def test_stage_failure_inside_an_except_block_has_no_context(text, exc_type, message):
    try:
        raise KeyError("being handled")
    except KeyError:
        with pytest.raises(exc_type) as info:
            _tessmar.tenhou_to_mjai(text)
    assert_bare(info.value, exc_type, message)


def test_failure_after_failure_is_the_same():
    # The cached exception types and messages do not change from call to call.
    for _ in range(3):
        with pytest.raises(_tessmar.JsonParsingError) as info:
            _tessmar.tenhou_to_mjai(NOT_JSON)
        assert_bare(info.value, _tessmar.JsonParsingError, "failed to parse tenhou.net/6 log")


# ---------------------------------------------------------------- argument binding

f2m = _tessmar.tenhou_to_mjai
ff2m = _tessmar.tenhou_file_to_mjai

BINDING_ERRORS = [
    (lambda: f2m(), "tenhou_to_mjai() missing 1 required positional argument: 'data'"),
    (lambda: f2m("a", "b"), "tenhou_to_mjai() takes 1 positional arguments but 2 were given"),
    (lambda: f2m("a", "b", "c"), "tenhou_to_mjai() takes 1 positional arguments but 3 were given"),
    (lambda: f2m(text="a"), "tenhou_to_mjai() got an unexpected keyword argument 'text'"),
    (lambda: f2m("a", data="b"), "tenhou_to_mjai() got multiple values for argument 'data'"),
    (lambda: f2m("a", data="b", x=1), "tenhou_to_mjai() got multiple values for argument 'data'"),
    (lambda: f2m(x=1, data="b"), "tenhou_to_mjai() got an unexpected keyword argument 'x'"),
    (lambda: f2m("a", "b", x=1), "tenhou_to_mjai() takes 1 positional arguments but 2 were given"),
    (lambda: f2m(**{"dätä": 1}), "tenhou_to_mjai() got an unexpected keyword argument 'dätä'"),
    (lambda: ff2m(), "tenhou_file_to_mjai() missing 1 required positional argument: 'filename'"),
    (lambda: ff2m(mjai_out="o"), "tenhou_file_to_mjai() missing 1 required positional argument: 'filename'"),
    (lambda: ff2m("a", "b", "c"), "tenhou_file_to_mjai() takes from 1 to 2 positional arguments but 3 were given"),
    (lambda: ff2m("a", filename="b"), "tenhou_file_to_mjai() got multiple values for argument 'filename'"),
    (lambda: ff2m("a", "b", mjai_out="c"), "tenhou_file_to_mjai() got multiple values for argument 'mjai_out'"),
    (lambda: ff2m("a", out="c"), "tenhou_file_to_mjai() got an unexpected keyword argument 'out'"),
    (lambda: ff2m(path="a"), "tenhou_file_to_mjai() got an unexpected keyword argument 'path'"),
]


@pytest.mark.parametrize("call, message", BINDING_ERRORS, ids=[m for _, m in BINDING_ERRORS])
def test_binding_errors(call, message):
    with pytest.raises(TypeError) as info:
        call()
    assert_bare(info.value, TypeError, message)


class Text(str):
    pass


class Nested:
    class Inner:
        pass


CONVERSION_ERRORS = [
    (lambda: f2m(b"{}"), "argument 'data': 'bytes' object cannot be converted to 'PyString'"),
    (lambda: f2m(bytearray(b"{}")), "argument 'data': 'bytearray' object cannot be converted to 'PyString'"),
    (lambda: f2m(None), "argument 'data': 'NoneType' object cannot be converted to 'PyString'"),
    (lambda: f2m(data=3), "argument 'data': 'int' object cannot be converted to 'PyString'"),
    (lambda: f2m(Nested.Inner()), "argument 'data': 'Nested.Inner' object cannot be converted to 'PyString'"),
    (lambda: ff2m(3), "argument 'filename': expected str, bytes or os.PathLike object, not int"),
    (lambda: ff2m(None), "argument 'filename': expected str, bytes or os.PathLike object, not NoneType"),
    (lambda: ff2m(bytearray(b"x")), "argument 'filename': expected str, bytes or os.PathLike object, not bytearray"),
    (lambda: ff2m(PathLike(3)), "argument 'filename': expected PathLike.__fspath__() to return str or bytes, not int"),
    (lambda: ff2m("/nonexistent", 2.5), "argument 'mjai_out': expected str, bytes or os.PathLike object, not float"),
    (lambda: ff2m("/nonexistent", mjai_out=[]), "argument 'mjai_out': expected str, bytes or os.PathLike object, not list"),
]


@pytest.mark.parametrize("call, message", CONVERSION_ERRORS, ids=[m for _, m in CONVERSION_ERRORS])
def test_argument_type_errors_name_the_parameter(call, message):
    # For mjai_out the argument error comes before any attempt to open the log.
    with pytest.raises(TypeError) as info:
        call()
    assert_bare(info.value, TypeError, message)


def test_argument_type_error_inside_an_except_block_has_no_context():
    try:
        raise KeyError("being handled")
    except KeyError:
        with pytest.raises(TypeError) as info:
            ff2m(3)
    assert info.value.__context__ is None


class RaisingPath:
    def __init__(self, error):
        self.error = error

    def __fspath__(self):
        raise self.error


def test_inner_type_error_cause_becomes_the_cause():
    cause = KeyError("root")

    def fspath():
        raise TypeError("inner text") from cause

    class P:
        __fspath__ = staticmethod(fspath)

    with pytest.raises(TypeError) as info:
        ff2m(P())
    assert type(info.value) is TypeError
    assert info.value.args == ("argument 'filename': inner text",)
    assert info.value.__cause__ is cause


class OwnTypeError(TypeError):
    pass


@pytest.mark.parametrize(
    "error",
    [OwnTypeError("subclass of TypeError"), ValueError("not a type error"), KeyboardInterrupt()],
    ids=type,
)
@pytest.mark.parametrize("argument", ["filename", "mjai_out"])
def test_other_conversion_exceptions_pass_unchanged(error, argument):
    args = (RaisingPath(error),) if argument == "filename" else ("/nonexistent", RaisingPath(error))
    with pytest.raises(BaseException) as info:
        ff2m(*args)
    assert info.value is error
    assert str(info.value) == str(error)


def test_text_without_utf8_form_raises_unicode_encode_error_unchanged():
    with pytest.raises(UnicodeEncodeError) as info:
        f2m('{"log": "\ud800"}')
    assert info.value.reason == "surrogates not allowed"
    assert info.value.object == '{"log": "\ud800"}'


def test_path_with_unencodable_surrogate_raises_unicode_encode_error():
    # U+D800 has no surrogateescape byte, so the file-system encoding refuses it.
    with pytest.raises(UnicodeEncodeError):
        ff2m("/nonexistent/\ud800")


def test_str_subclass_is_accepted():
    with pytest.raises(_tessmar.JsonParsingError):
        f2m(Text(NOT_JSON))
    assert f2m(Text(MINIMAL_LOG)) == f2m(MINIMAL_LOG)


# ---------------------------------------------------------------- open failure: quoted path

QUOTED = [
    (b"plain.json", "plain.json"),
    (b'a"b', 'a\\"b'),
    (b"a'b", "a\\'b"),
    (b"a\\b", "a\\\\b"),
    (b"a\tb\rc\nd", "a\\tb\\rc\\nd"),
    (b"a\0b", "a\\0b"),
    (b"\x01\x1b\x1f\x7f", "\\u{1}\\u{1b}\\u{1f}\\u{7f}"),
    (b"sp ace~!", "sp ace~!"),
    ("é日本😀ﾊ".encode(), "é日本😀ﾊ"),
    # Non-printable: controls, format characters, separators, other spaces,
    # private use, unassigned.
    ("\u0085\u00ad\u200b\u2028".encode(), "\\u{85}\\u{ad}\\u{200b}\\u{2028}"),
    ("\u00a0\u3000".encode(), "\\u{a0}\\u{3000}"),
    ("\ue000\U000e0000\U0010ffff".encode(), "\\u{e000}\\u{e0000}\\u{10ffff}"),
    # Combining marks (Grapheme_Extend): Mn, Me and Other_Grapheme_Extend, wherever they stand.
    ("e\u0301x".encode(), "e\\u{301}x"),
    ("\u0301".encode(), "\\u{301}"),
    ("o\u20dd".encode(), "o\\u{20dd}"),
    ("\u09be\uff9e\U0001d165".encode(), "\\u{9be}\\u{ff9e}\\u{1d165}"),
    ("\u200c".encode(), "\\u{200c}"),
    # Bytes that are not UTF-8, each on its own.
    (b"\xff", "\\xFF"),
    (b"\x80x", "\\x80x"),
    (b"\xe2\x82A", "\\xE2\\x82A"),
    (b"\xc0\x80", "\\xC0\\x80"),
    (b"\xed\xa0\x80", "\\xED\\xA0\\x80"),
    (b"\xf4\x90\x80\x80", "\\xF4\\x90\\x80\\x80"),
    (b"\xf0\x9f\x98", "\\xF0\\x9F\\x98"),
    (b"ok\xc3\xa9\xc3", "oké\\xC3"),
]


@pytest.mark.parametrize("name, quoted", QUOTED, ids=[repr(n) for n, _ in QUOTED])
def test_open_failure_quotes_the_path(name, quoted, tmp_path, monkeypatch):
    monkeypatch.chdir(tmp_path)
    with pytest.raises(FileNotFoundError) as info:
        ff2m(b"missing/" + name)
    assert_bare(info.value, FileNotFoundError, f'failed to open tenhou.net/6 log file "missing/{quoted}"')
    assert info.value.errno is None
    assert info.value.filename is None


@pytest.mark.parametrize(
    "path, quoted",
    [
        ("missing/\udcff", "missing/\\xFF"),  # surrogateescape gives the byte back
        ("missing/ä", "missing/ä"),
    ],
)
def test_open_failure_quotes_str_paths_by_their_bytes(path, quoted, tmp_path, monkeypatch):
    monkeypatch.chdir(tmp_path)
    with pytest.raises(FileNotFoundError) as info:
        ff2m(path)
    assert_bare(info.value, FileNotFoundError, f'failed to open tenhou.net/6 log file "{quoted}"')


@pytest.mark.parametrize(
    "make_path",
    [
        lambda d: d / "missing.json",
        lambda d: d / "missing" / "x.json",
        lambda d: d / "file.json" / "x.json",  # a file used as a directory
        lambda d: "",
        lambda d: str(d / "nul\0name"),
    ],
    ids=["missing", "missing-dir", "not-a-dir", "empty", "nul"],
)
def test_any_open_failure_is_file_not_found(make_path, tmp_path):
    (tmp_path / "file.json").write_text(MINIMAL_LOG)
    path = make_path(tmp_path)
    with pytest.raises(FileNotFoundError) as info:
        ff2m(path)
    message = info.value.args[0]
    assert message.startswith('failed to open tenhou.net/6 log file "')
    assert message.endswith('"')
    assert info.value.__cause__ is None and info.value.__context__ is None


NO_PERMISSION_CODE = """
import sys, _tessmar
path = sys.argv[1]
try:
    open(path, "rb").close()
except PermissionError:
    pass
else:
    print("permissions not enforced")
    sys.exit(0)
try:
    _tessmar.tenhou_file_to_mjai(path)
except Exception as e:
    print(type(e).__name__, e.args, e.__cause__)
"""


def test_open_failure_without_read_permission(write_file):
    path = write_file(MINIMAL_LOG)
    path.chmod(0)
    command = [sys.executable, "-c", NO_PERMISSION_CODE, str(path)]
    if os.geteuid() == 0:
        # Root reads everything; without the capabilities that bypass file
        # permissions it is held to them like anyone else.
        setpriv = shutil.which("setpriv")
        if setpriv is None:
            pytest.skip("running as root and setpriv is not available to drop the override")
        command = [setpriv, "--bounding-set=-dac_override,-dac_read_search", "--inh-caps=-all", *command]
    result = subprocess.run(command, capture_output=True, text=True, timeout=60)
    if result.returncode != 0 and os.geteuid() == 0:
        pytest.skip(f"running as root and setpriv failed: {result.stderr.strip()}")
    if result.stdout == "permissions not enforced\n":
        pytest.skip("file permissions are not enforced for this process")
    assert result.returncode == 0, result.stderr
    message = f'failed to open tenhou.net/6 log file "{path}"'
    assert result.stdout == f"FileNotFoundError {(message,)!r} None\n"


# ---------------------------------------------------------------- read failure


def test_reading_a_directory(tmp_path):
    with pytest.raises(OSError) as info:
        ff2m(tmp_path)
    expected = f"{os.strerror(errno.EISDIR)} (os error 21)"
    assert_bare(info.value, OSError, expected)
    assert info.value.errno is None


INVALID_UTF8 = [
    b"\xff",
    b'{"log":[]}\x80',
    b"\xc0\x80",  # overlong
    b"\xe0\x80\x80",  # overlong
    b"\xed\xa0\x80",  # surrogate
    b"\xf4\x90\x80\x80",  # above U+10FFFF
    b"\xf8\x88\x80\x80\x80",  # five-byte form
    b"abc\xe2\x82",  # truncated at the end
    b"\xe2\x82abc",  # truncated in the middle
    b"a" * 20000 + b"\xff",  # far from the start
]


@pytest.mark.parametrize("content", INVALID_UTF8, ids=lambda c: repr(c[-8:]))
def test_log_file_that_is_not_utf8(content, write_file):
    with pytest.raises(OSError) as info:
        ff2m(write_file(content))
    assert_bare(info.value, OSError, "stream did not contain valid UTF-8")


@pytest.mark.parametrize(
    "content",
    [
        "é".encode(),
        "日本😀".encode(),
        b"\xef\xbb\xbf{}",  # a byte-order mark is UTF-8, so the parser decides
        b"\xc2\x80\xdf\xbf\xe0\xa0\x80\xed\x9f\xbf\xee\x80\x80\xf0\x90\x80\x80\xf4\x8f\xbf\xbf",
        b" " * 8191 + "é".encode(),  # a character across the first buffer's end
    ],
    ids=["latin", "cjk-emoji", "bom", "boundaries", "split"],
)
def test_valid_utf8_reaches_the_parser(content, write_file):
    with pytest.raises(_tessmar.JsonParsingError):
        ff2m(write_file(content))


def test_whole_pipe_is_read_before_utf8_check():
    # A pipe has no size to go by; the invalid byte is only at its end.
    code = (
        "import _tessmar\n"
        "try:\n"
        "    _tessmar.tenhou_file_to_mjai('/dev/stdin')\n"
        "except OSError as e:\n"
        "    print(type(e).__name__, e)\n"
    )
    result = run_python(code, stdin=b" " * 300_000 + b"\xff")
    assert result.returncode == 0, result.stderr.decode()
    assert result.stdout == b"OSError stream did not contain valid UTF-8\n"
