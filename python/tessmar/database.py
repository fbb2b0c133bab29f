"""Downloader databases: SQLite files whose table `logs` holds one game per row, its mjlog XML
compressed in a BLOB. Read only, in batches, in id order."""

from __future__ import annotations

import os
import re
import sqlite3
import urllib.parse
from collections.abc import Iterator
from typing import NamedTuple

SQLITE_MAGIC = b"SQLite format 3\x00"
DATABASE_EXTENSIONS = (".db", ".sqlite", ".sqlite3")

# Rows read by one query: few enough to hold at once, enough that queries cost little.
ROWS_PER_QUERY = 512


class Layout(NamedTuple):
    """Which column of `logs` holds what in one downloader's layout."""

    id: str
    players: str  # the column that tells three-player games
    three_player: str  # an SQL test of a three-player row
    east: str  # the column flagging east-only games
    content: str


# The two layouts the common downloaders write.
LAYOUTS = (
    Layout("log_id", "is_sanma", "is_sanma = 1", "is_tonpusen", "log_content"),
    Layout("id", "num_players", "num_players = 3", "is_tonpu", "log"),
)
LAYOUT_TEXT = (
    "logs(log_id, date, is_tonpusen, is_sanma, is_processed, was_error, log_content) or "
    "logs(id, date, num_players, is_tonpu, is_processed, was_error, log)"
)


class LayoutError(Exception):
    """A database without a `logs` table of a known layout."""


class Row(NamedTuple):
    """One game of a database: its id, whether it is flagged three-player, whether it is
    flagged east-only (None when the row does not say) and its content as stored (None when
    not downloaded)."""

    id: str
    three_player: bool
    east: bool | None
    content: bytes | None


def is_database(path: str) -> bool:
    """Whether the file at `path` is an SQLite database, told by its first bytes."""
    try:
        with open(path, "rb") as f:
            return f.read(len(SQLITE_MAGIC)) == SQLITE_MAGIC
    except OSError:
        return False


def is_database_name(name: str) -> bool:
    return name.lower().endswith(DATABASE_EXTENSIONS)


def database_stem(name: str) -> str:
    """The folder a database found in a searched folder stands for: its name without its
    extension."""
    for extension in DATABASE_EXTENSIONS:
        if name.lower().endswith(extension):
            return name[: -len(extension)]
    return name


def connect(path: str) -> sqlite3.Connection:
    """A read-only connection that writes nothing, not even beside the database.

    A database in WAL mode (byte 18 of its header is 2) gets `-wal` and `-shm` files beside it
    from any connection, read-only ones included, unless they are there already. Without a
    `-wal` file no connection has it open, so it is opened as immutable; with one, a writer may
    be at work, and a plain read-only connection shares its files."""
    with open(path, "rb") as f:
        header = f.read(20)
    wal = len(header) == 20 and header[18] == 2
    mode = "immutable=1" if wal and not os.path.exists(path + "-wal") else "mode=ro"
    uri = f"file:{urllib.parse.quote(os.path.abspath(path))}?{mode}"
    return sqlite3.connect(uri, uri=True, check_same_thread=False)


def layout_of(connection: sqlite3.Connection) -> Layout:
    columns = {row[1] for row in connection.execute("PRAGMA table_info(logs)")}
    for layout in LAYOUTS:
        if {layout.id, layout.players, layout.east, layout.content} <= columns:
            return layout
    found = f"a table logs({', '.join(sorted(columns))})" if columns else "no table logs"
    raise LayoutError(f"not a downloader's database: it has {found}, not {LAYOUT_TEXT}")


class Database:
    """The games of one database, read in batches in id order: each query is a short read of
    its own, so a downloader adding rows at the same time is never kept waiting for long."""

    def __init__(self, path: str) -> None:
        self.path = path
        self._connection = connect(path)
        try:
            self.layout = layout_of(self._connection)
        except BaseException:
            self._connection.close()
            raise

    def __enter__(self) -> Database:
        return self

    def __exit__(self, *exc: object) -> None:
        self.close()

    def close(self) -> None:
        self._connection.close()

    def count(self) -> int:
        """The number of rows, for a progress bar: rows added meanwhile come on top."""
        return int(self._connection.execute("SELECT count(*) FROM logs").fetchone()[0])

    def rows(self) -> Iterator[Row]:
        layout = self.layout
        # The content of three-player rows is never read, and content stored as text comes as
        # its bytes. Rows without an id (or with an empty one) have no name and are passed over.
        query = (
            f"SELECT {layout.id}, {layout.three_player}, {layout.east},"
            f" CASE WHEN {layout.three_player} THEN NULL ELSE CAST({layout.content} AS BLOB) END"
            f" FROM logs WHERE {layout.id} > ? ORDER BY {layout.id} LIMIT {ROWS_PER_QUERY}"
        )
        last = ""
        while True:
            batch = self._connection.execute(query, (last,)).fetchall()
            if not batch:
                return
            for key, three, east, content in batch:
                yield Row(str(key), bool(three), None if east is None else bool(east), content or None)
            last = batch[-1][0]


# Tenhou's game ids begin with the game's date and hour: 2019021004gm-00a9-0000-e2f6516d.
_DATED = re.compile(r"\d{8}")


def row_name(ident: str) -> str | None:
    """The output path of a row, relative to its database's folder and without extension:
    YYYY/MM/<id> for an id that begins with a date, else <id>; None for an id that could name
    a path elsewhere."""
    if not ident or "/" in ident or "\\" in ident or ".." in ident or "\0" in ident:
        return None
    if _DATED.match(ident):
        return f"{ident[:4]}/{ident[4:6]}/{ident}"
    return ident
