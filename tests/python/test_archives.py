"""The command on the archives people hold: downloader databases, zip and tar files, bzip2
logs, and the --length filter."""

import bz2
import gzip
import io
import json
import os
import pathlib
import signal
import sqlite3
import tarfile
import zipfile

import pytest

import tessmar
from conftest import EXAMPLES, SHARED
from test_cli import SMALL_LOG, convert, files_under, mjai_of, read_report, start, wait_for

XML_GAMES = {  # game id: mjlog XML; a game missing here is left out
    ref: path.read_bytes()
    for ref, path in [
        ("2019021004gm-00a9-0000-e2f6516d", EXAMPLES / "mjlog" / "tb-2019021004gm-00a9-0000-e2f6516d.xml"),
        ("2019103023gm-00a9-0000-f90e0fe9", SHARED / "mjlog" / "tb-2019103023gm-00a9-0000-f90e0fe9.xml"),
    ]
    if path.is_file()
}
FIRST_ID, FIRST_XML = next(iter(XML_GAMES.items()))

# The two layouts that downloaders write: the table, and the columns (id, three-player flag,
# the value of that flag for a three-player row, east-only flag, content).
LAYOUTS = {
    "log_content": (
        "CREATE TABLE logs(log_id text primary key, date text, is_tonpusen int, is_sanma int,"
        " is_processed int, was_error int, log_content text)",
        "INSERT INTO logs(log_id, date, is_sanma, is_tonpusen, is_processed, was_error, log_content)"
        " VALUES (?, '', ?, ?, 1, 0, ?)",
        1,
    ),
    "log": (
        "CREATE TABLE logs(id TEXT PRIMARY KEY, date TEXT NOT NULL, num_players INTEGER NOT NULL,"
        " is_tonpu INTEGER NOT NULL, is_processed INTEGER NOT NULL, was_error INTEGER NOT NULL, log BLOB)",
        "INSERT INTO logs(id, date, num_players, is_tonpu, is_processed, was_error, log)"
        " VALUES (?, '', ?, ?, 1, 0, ?)",
        3,
    ),
}


def mjai_of_xml(xml: bytes, ref: str) -> bytes:
    return ("\n".join(tessmar.mjlog_to_mjai(xml, ref)) + "\n").encode()


def make_database(path, layout, rows, wal=False):
    """A database of `layout` with rows (id, three_player, east, content)."""
    create, insert, three = LAYOUTS[layout]
    db = sqlite3.connect(path)
    if wal:
        db.execute("PRAGMA journal_mode=WAL")
    db.execute(create)
    db.executemany(insert, [(i, three if p3 else 4 if layout == "log" else 0, east, c) for i, p3, east, c in rows])
    db.commit()
    db.close()
    return path


def game_rows():
    """The real games compressed every way a downloader stores them, with rows that must not
    convert; returns the rows and the mjai each converted game must give."""
    rows, expected = [], {}
    for n, (ref, xml) in enumerate(XML_GAMES.items()):
        for form, content in (("gz", gzip.compress(xml)), ("bz2", bz2.compress(xml)), ("text", xml.decode())):
            ident = ref if form == "gz" else f"{ref[:-8]}{n}{form:0>7}"
            rows.append((ident, False, False, content))
            expected[f"{ident[:4]}/{ident[4:6]}/{ident}.json"] = mjai_of_xml(xml, ident)
    rows += [
        ("2019010100gm-0000-0000-0000empty", False, False, b""),
        ("2019010100gm-0000-0000-00000null", False, False, None),
        ("2019010100gm-0000-0000-00three-p", True, False, gzip.compress(b"never read")),
        ("2019010100gm-0000-0000-00damaged", False, False, gzip.compress(FIRST_XML)[:400]),
        ("2019010100gm-0000-0000-00000html", False, False, gzip.compress(b"<html><body>503</body></html>")),
        ("../2019010100gm-escapes", False, False, gzip.compress(FIRST_XML)),
    ]
    return rows, expected


def gunzip_tree(out):
    return {name[:-3]: gzip.decompress((out / name).read_bytes()) for name in files_under(out)}


# ---- databases ----------------------------------------------------------------------------------


@pytest.mark.parametrize("layout", LAYOUTS)
def test_a_database_of_either_layout_converts_to_a_training_set(tmp_path, layout):
    rows, expected = game_rows()
    db = make_database(tmp_path / "archive.sqlite", layout, rows)
    before = db.read_bytes()
    out, report = tmp_path / "dataset", tmp_path / "failures.jsonl"

    result = convert(db, "-o", out, "--gzip", "--report", report, "--jobs", 2)
    stderr = result.stderr.decode()
    assert result.returncode == 1, stderr
    assert gunzip_tree(out) == expected
    games = len(expected)
    assert f"{games} converted, 0 skipped (output already there), 1 skipped (three-player), 2 not downloaded, 3 failed" in stderr
    failures = {(r["path"], r["game"]): r["exception"] for r in read_report(report)}
    assert failures == {
        (str(db), "2019010100gm-0000-0000-00damaged"): "EOFError",
        (str(db), "2019010100gm-0000-0000-00000html"): "tessmar.MjlogError",
        (str(db), "../2019010100gm-escapes"): "UnsafePath",
    }
    assert not (tmp_path / "2019010100gm-escapes.json.gz").exists()

    rerun = convert(db, "-o", out, "--gzip")
    assert f"0 converted, {games} skipped (output already there)" in rerun.stderr.decode()
    # Read only: not a byte changed, nothing left beside it.
    assert db.read_bytes() == before
    assert sorted(p.name for p in tmp_path.iterdir()) == ["archive.sqlite", "dataset", "failures.jsonl"]


def test_a_database_in_wal_mode_is_read_without_leaving_files(tmp_path):
    rows = [(f"{FIRST_ID[:-1]}{n}", False, False, gzip.compress(FIRST_XML)) for n in range(4)]
    db = make_database(tmp_path / "houou.db", "log", rows[:2], wal=True)
    before = db.read_bytes()
    result = convert(db, "-o", tmp_path / "out")
    assert result.returncode == 0, result.stderr
    assert db.read_bytes() == before
    assert sorted(p.name for p in tmp_path.iterdir()) == ["houou.db", "out"]

    # A downloader holding it open, with rows not yet checkpointed: they are read through its
    # WAL, which stays as it was.
    writer = sqlite3.connect(db)
    writer.execute("PRAGMA wal_autocheckpoint=0")
    writer.executemany(LAYOUTS["log"][1], [(i, 4, 0, c) for i, _, _, c in rows[2:4]])
    writer.commit()
    try:
        result = convert(db, "-o", tmp_path / "out")
        assert result.returncode == 0, result.stderr
        assert "2 converted, 2 skipped" in result.stderr.decode()
    finally:
        writer.close()


def test_a_database_of_another_layout(tmp_path):
    other = tmp_path / "in" / "other.db"
    other.parent.mkdir()
    sqlite3.connect(other).execute("CREATE TABLE logs(name text, body blob)").connection.close()
    # Named on the command line: a usage error that says what is expected.
    result = convert(other, "-o", tmp_path / "out")
    assert result.returncode == 2
    assert b"log_content" in result.stderr and b"num_players" in result.stderr
    assert not (tmp_path / "out").exists()
    # Found in a folder: fails alone, and the rest converts.
    make_database(tmp_path / "in" / "good.db", "log", [(FIRST_ID, False, False, gzip.compress(FIRST_XML))])
    (tmp_path / "in" / "Thumbs.db").write_bytes(b"not a database at all")
    report = tmp_path / "report.jsonl"
    result = convert(tmp_path / "in", "-o", tmp_path / "out", "--report", report)
    assert result.returncode == 1
    assert files_under(tmp_path / "out") == {f"good/{FIRST_ID[:4]}/{FIRST_ID[4:6]}/{FIRST_ID}.json"}
    assert [(r["path"], r["exception"]) for r in read_report(report)] == [(str(other), "DatabaseLayout")]


def test_an_interrupted_database_run_resumes_converting_each_game_once(tmp_path):
    count = 3000
    content = gzip.compress(FIRST_XML)
    ids = [f"20190210{i:05d}gm-00a9-0000-e2f6516d" for i in range(count)]
    db = make_database(tmp_path / "big.db", "log_content", [(i, False, False, content) for i in ids])
    out = tmp_path / "out"
    folder = out / "2019" / "02"
    process = start(db, "-o", out, "--jobs", 1)
    wait_for(process, lambda: folder.is_dir() and len(os.listdir(folder)) >= 100)
    os.killpg(process.pid, signal.SIGINT)
    _, stderr = process.communicate(timeout=60)
    assert process.returncode == 130, stderr
    done = sum(1 for name in os.listdir(folder) if not name.startswith("."))
    assert done == len(os.listdir(folder)) and 0 < done < count

    rerun = convert(db, "-o", out)
    assert rerun.returncode == 0, rerun.stderr
    assert f"{count - done} converted, {done} skipped" in rerun.stderr.decode()
    expected = mjai_of_xml(FIRST_XML, ids[0])
    for i in ids[:: count // 10]:
        assert (folder / f"{i}.json").read_bytes() == expected.replace(ids[0].encode(), i.encode())


# ---- archives -------------------------------------------------------------------------------------


def tar_add(archive, name, data=b"", kind=tarfile.REGTYPE, link=""):
    info = tarfile.TarInfo(name)
    info.size, info.type, info.linkname = len(data), kind, link
    archive.addfile(info, io.BytesIO(data))


def mark_encrypted(path, name):
    """Sets the encryption flag of one member, as an encrypting tool would (zipfile cannot)."""
    data = bytearray(path.read_bytes())
    for signature, flags, name_at in ((b"PK\x03\x04", 6, 30), (b"PK\x01\x02", 8, 46)):
        at = data.find(signature)
        while data[at + name_at : at + name_at + len(name)] != name:
            at = data.find(signature, at + 1)
        data[at + flags] |= 0x1
    path.write_bytes(data)


def test_zip_and_tar_archives_convert_in_place_of_their_folders(tmp_path):
    small = SMALL_LOG.read_bytes()
    folder = tmp_path / "in"
    folder.mkdir()
    with zipfile.ZipFile(folder / "logs.zip", "w", zipfile.ZIP_DEFLATED) as z:
        z.writestr(f"2019/{FIRST_ID}.mjlog", FIRST_XML)
        z.writestr("2019/small.json.gz", gzip.compress(small))
        z.writestr("readme.txt", b"not a log")
        z.writestr("../escape.json", small)
        z.writestr("bomb.json", b" " * (2 << 20))
        link = zipfile.ZipInfo("link.json")
        link.external_attr = 0o120777 << 16
        z.writestr(link, "2019/small.json.gz")
        z.writestr("secret.json", small)
    mark_encrypted(folder / "logs.zip", b"secret.json")
    with tarfile.open(folder / "more.tar.bz2", "w:bz2") as t:
        tar_add(t, "a/small.json", small)
        tar_add(t, f"a/{FIRST_ID}.xml.bz2", bz2.compress(FIRST_XML))
        tar_add(t, "/abs.json", small)
        tar_add(t, "hard.json", kind=tarfile.LNKTYPE, link="a/small.json")
    out, report = tmp_path / "out", tmp_path / "report.jsonl"

    result = convert(folder, "-o", out, "--report", report, "--max-size", "1M")
    assert result.returncode == 1, result.stderr
    mjai_small, mjai_xml = mjai_of(small), mjai_of_xml(FIRST_XML, FIRST_ID)
    assert {name: (out / name).read_bytes() for name in files_under(out)} == {
        f"logs/2019/{FIRST_ID}.json": mjai_xml,
        "logs/2019/small.json": mjai_small,
        "more/a/small.json": mjai_small,
        f"more/a/{FIRST_ID}.json": mjai_xml,
    }
    refused = {(pathlib.Path(r["path"]).name, r["member"]): r["exception"] for r in read_report(report)}
    assert refused == {
        ("logs.zip", "../escape.json"): "UnsafePath",
        ("logs.zip", "bomb.json"): "LogTooLarge",
        ("logs.zip", "link.json"): "UnsafePath",
        ("logs.zip", "secret.json"): "EncryptedMember",
        ("more.tar.bz2", "/abs.json"): "UnsafePath",
        ("more.tar.bz2", "hard.json"): "UnsafePath",
    }
    assert not (tmp_path / "escape.json").exists()
    # Named on the command line, an archive is the output folder's own tree.
    result = convert(folder / "more.tar.bz2", "-o", tmp_path / "named")
    assert files_under(tmp_path / "named") == {"a/small.json", f"a/{FIRST_ID}.json"}


def test_a_damaged_archive_fails_as_one_and_keeps_what_was_read(tmp_path):
    small = SMALL_LOG.read_bytes()
    buffer = io.BytesIO()
    with tarfile.open(fileobj=buffer, mode="w:gz") as t:
        tar_add(t, "first.json", small)
        tar_add(t, "second.json", os.urandom(200_000))  # incompressible: the cut falls inside it
        tar_add(t, "third.json", small)
    (tmp_path / "in").mkdir()
    (tmp_path / "in" / "cut.tgz").write_bytes(buffer.getvalue()[: len(buffer.getvalue()) // 2])
    with zipfile.ZipFile(tmp_path / "whole.zip", "w") as z:
        z.writestr("a.json", small)
    (tmp_path / "in" / "lost-index.zip").write_bytes((tmp_path / "whole.zip").read_bytes()[:-30])
    out, report = tmp_path / "out", tmp_path / "report.jsonl"
    result = convert(tmp_path / "in", "-o", out, "--report", report)
    assert result.returncode == 1
    assert files_under(out) == {"cut/first.json"}
    assert sorted((pathlib.Path(r["path"]).name, r["exception"]) for r in read_report(report)) == [
        ("cut.tgz", "ArchiveDamaged"), ("lost-index.zip", "ArchiveDamaged"),
    ]


# ---- bzip2 logs and the length filter -------------------------------------------------------------


def test_length_keeps_east_or_south_games_told_by_flag_or_by_the_log(tmp_path):
    small = json.loads(SMALL_LOG.read_text(encoding="utf-8"))
    folder = tmp_path / "in"
    folder.mkdir()
    for name, disp in (("east.json.bz2", "般東喰赤"), ("east-en.json", "East"), ("south.json", "般南喰赤")):
        text = json.dumps({**small, "rule": {**small["rule"], "disp": disp}}, ensure_ascii=False).encode()
        (folder / name).write_bytes(bz2.compress(text) if name.endswith(".bz2") else text)
    # The example game is a half-game (GO type 169 has 0x08): east only by its database flag.
    (folder / f"{FIRST_ID}.mjlog").write_bytes(FIRST_XML)
    make_database(folder / "flags.db", "log", [("2019021004gm-flagged-east", False, True, gzip.compress(FIRST_XML))])

    def kept(length):
        out = tmp_path / length
        result = convert(folder, "-o", out, "--length", length)
        assert result.returncode == 0, result.stderr
        return files_under(out), result.stderr.decode()

    east, stderr = kept("east")
    assert east == {"east.json", "east-en.json", "flags/2019/02/2019021004gm-flagged-east.json"}
    assert "2 skipped (length)" in stderr
    south, _ = kept("south")
    assert south == {"south.json", f"{FIRST_ID}.json"}
    assert len(kept("any")[0]) == 5
