"""The logs of files, folders, databases and archives, as records a pipeline can feed anywhere."""

from __future__ import annotations

import os
import zlib
from collections.abc import Iterator
from dataclasses import dataclass

from tessmar.conversion import is_xml
from tessmar.inputs import DEFAULT_MAX_SIZE, LENGTHS, game_ref, is_mjlog_name, keeps_length, read_log_bytes
from tessmar.jobs import Job, Origin, Settings
from tessmar.plan import container_items, plan_jobs

__all__ = ["Log", "iter_logs"]


@dataclass(frozen=True, slots=True)
class Log:
    """One log as stored: `data` (bytes, maybe still compressed), the game id `ref` to convert
    it with, the output path `name` the command would give it (relative to its output
    folder, without extension) and its `origin` as the command's report names it: a path, or
    (path, "member", name) for an archive member and (path, "game", id) for a database row."""

    name: str
    ref: str
    origin: Origin
    data: bytes


def iter_logs(*sources: str | os.PathLike[str], length: str = "any", max_size: int = DEFAULT_MAX_SIZE) -> Iterator[Log]:
    """The logs that `tessmar convert` would read from `sources` (log files, folders,
    databases, zip and tar archives), in the same order and with the same filters: three-player
    and not-downloaded database rows are left out, and so are games of the length that `length`
    ("east", "south" or "any") leaves out.

    A log that the command would report as failed without converting it (an unsafe member
    name, an archive member beyond `max_size`, a damaged archive's rest) is left out too; so
    is a log whose output name it would refuse. Feed each one to
    `tessmar.convert(log.data, ref=log.ref)`.
    """
    if length not in LENGTHS:
        raise ValueError(f"length must be one of {', '.join(LENGTHS)}, not {length!r}")
    paths = [os.fspath(source) for source in sources]
    plan = plan_jobs(paths, None, False, length=length, max_size=max_size)
    for job in plan.jobs:
        log = _file_log(job, max_size)
        if log is not None:
            yield log
    settings = Settings(force=True, length=length, max_size=max_size)
    for container in plan.containers:
        for item in container_items(container, settings, set()):
            if len(item) == 6:
                origin, target, data, ref, kind, judge = item
                assert data is not None
                if judge == "any" or _kept(data, kind == "mjlog" if kind else None, judge, max_size):
                    yield Log(target.removesuffix(".json"), ref, origin, data)


def _file_log(job: Job, max_size: int) -> Log | None:
    source, target, _, _, _, length = job
    assert isinstance(source, str)
    name = os.path.basename(source)
    mjlog = is_mjlog_name(name)
    try:
        with open(source, "rb") as f:
            data = f.read(max_size + 1)
    except OSError:
        return None
    if len(data) > max_size or (length != "any" and not _kept(data, mjlog, length, max_size)):
        return None
    return Log(target.removesuffix(".json"), game_ref(name) if mjlog else "", source, data)


def _kept(data: bytes, mjlog: bool | None, length: str, max_size: int) -> bool:
    try:
        text = read_log_bytes(data, max_size)
    except (ValueError, OSError, EOFError, zlib.error):  # the conversion will say what is wrong
        return True
    return keeps_length(text, is_xml(text) if mjlog is None else mjlog, length)
