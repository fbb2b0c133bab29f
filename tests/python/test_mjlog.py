"""Tenhou's archive XML from Python: the two functions, their errors, and the command on archives
that mix XML and JSON games."""

import gzip
import subprocess
import sys

import pytest

import tessmar

from conftest import EXAMPLES, SHARED

# (XML, the JSON Tenhou's server wrote for it, the game id); a game missing here is skipped.
GAMES = [
    (EXAMPLES / "mjlog" / "tb-2019021004gm-00a9-0000-e2f6516d.xml", EXAMPLES / "tb-2019021004gm-00a9-0000-e2f6516d.json",
     "2019021004gm-00a9-0000-e2f6516d"),
    (SHARED / "mjlog" / "tb-2019103023gm-00a9-0000-f90e0fe9.xml",
     SHARED / "logs" / "tb-2019103023gm-00a9-0000-f90e0fe9.json", "2019103023gm-00a9-0000-f90e0fe9"),
]


@pytest.fixture(params=GAMES, ids=lambda game: game[2])
def game(request):
    xml, expected, ref = request.param
    if not xml.is_file():
        pytest.skip(f"{xml} is not present")
    return xml.read_bytes(), expected.read_text(encoding="utf-8"), ref


def test_real_games_give_tenhous_json_byte_for_byte_and_the_same_mjai(game):
    xml, expected, ref = game
    for given in (xml, xml.decode("utf-8"), gzip.compress(xml)):
        assert tessmar.mjlog_to_tenhou(given, ref) == expected
    assert tessmar.mjlog_to_mjai(gzip.compress(xml), ref=ref) == tessmar.tenhou_to_mjai(expected)


def test_refusals_are_mjlog_errors_that_say_where():
    xml = GAMES[0][0].read_bytes()
    assert issubclass(tessmar.MjlogError, ValueError)
    assert not issubclass(tessmar.MjlogError, tessmar.JsonParsingError)
    cut = xml[: len(xml) // 2]
    for bad in (cut, cut.decode("utf-8", "ignore"), gzip.compress(xml)[:-10], b"\xff" + xml):
        for function in (tessmar.mjlog_to_tenhou, tessmar.mjlog_to_mjai):
            with pytest.raises(tessmar.MjlogError) as info:
                function(bad)
            assert len(info.value.args) == 1 and info.value.args[0]
    with pytest.raises(tessmar.MjlogError, match=r"at byte \d+"):
        tessmar.mjlog_to_tenhou(cut)
    with pytest.raises(TypeError, match="xml"):
        tessmar.mjlog_to_tenhou(5)  # type: ignore[arg-type]
    with pytest.raises(TypeError, match="ref"):
        tessmar.mjlog_to_mjai(xml, ref=5)  # type: ignore[arg-type]


def run_command(*args, cwd):
    return subprocess.run([sys.executable, "-m", "tessmar", "convert", *map(str, args)],
                          cwd=cwd, capture_output=True, text=True, timeout=120, check=False)


def test_command_converts_an_archive_mixing_json_mjlog_and_gzipped_xml(tmp_path):
    xml = GAMES[0][0].read_bytes()
    expected = GAMES[0][1].read_text(encoding="utf-8")
    archive = tmp_path / "archive"
    (archive / "b").mkdir(parents=True)
    (archive / "rc.json").write_bytes((EXAMPLES / "rc-2179-0-1.json").read_bytes())
    (archive / "2019021004gm-00a9-0000-e2f6516d.mjlog").write_bytes(gzip.compress(xml))  # as served
    (archive / "b" / "tb-2019021004gm-00a9-0000-e2f6516d.xml.gz").write_bytes(gzip.compress(xml))
    (archive / "b" / "cut.xml").write_bytes(xml[:-100])

    result = run_command("archive", "-o", "mjai", "--report", "report.jsonl", cwd=tmp_path)
    assert result.returncode == 1, result.stderr
    assert "3 converted" in result.stderr and "MjlogError: 1" in result.stderr
    lines = (tmp_path / "mjai" / "b" / "tb-2019021004gm-00a9-0000-e2f6516d.json").read_text(encoding="utf-8")
    assert lines.splitlines() == tessmar.tenhou_to_mjai(expected)
    assert (tmp_path / "mjai" / "rc.json").is_file() and not (tmp_path / "mjai" / "b" / "cut.json").exists()

    # --to tenhou: the XML games as Tenhou's JSON, their game ids taken from the file names.
    result = run_command("archive", "-o", "logs", "--to", "tenhou", "--gzip", cwd=tmp_path)
    assert result.returncode == 1, result.stderr
    for name in ("2019021004gm-00a9-0000-e2f6516d.json.gz", "b/tb-2019021004gm-00a9-0000-e2f6516d.json.gz"):
        assert gzip.decompress((tmp_path / "logs" / name).read_bytes()).decode("utf-8") == expected
    assert gzip.decompress((tmp_path / "logs" / "rc.json.gz").read_bytes()) == (archive / "rc.json").read_bytes()

    # A rerun keeps the complete JSON outputs and converts again the one cut short.
    cut_output = tmp_path / "logs" / "rc.json.gz"
    cut_output.write_bytes(gzip.compress((archive / "rc.json").read_bytes()[:-1]))
    result = run_command("archive", "-o", "logs", "--to", "tenhou", "--gzip", cwd=tmp_path)
    assert "0 converted, 2 skipped (output already there), 1 reconverted" in result.stderr
    assert gzip.decompress(cut_output.read_bytes()) == (archive / "rc.json").read_bytes()
