"""Planning a run: the logs under the inputs (files, and the games inside databases and
archives), their outputs, and which of those are there, complete."""

from __future__ import annotations

import os
from collections.abc import Callable, Iterator, Sequence
from typing import NamedTuple

from tessmar.archives import ArchiveDamaged, archive_kind, archive_stem, count_members, members
from tessmar.complete import is_complete
from tessmar.database import Database, LayoutError, database_stem, is_database, is_database_name, row_name
from tessmar.inputs import COMPRESSED_EXTENSIONS, DEFAULT_MAX_SIZE, game_ref, is_log_name, is_mjlog_name, split_log_name
from tessmar.jobs import (
    FAILED,
    FILTERED_OUTCOME,
    NOT_DOWNLOADED_OUTCOME,
    SKIPPED_OUTCOME,
    THREE_PLAYER_OUTCOME,
    Job,
    Origin,
    Outcome,
    Settings,
    UsageError,
    failure,
    file_job,
)

DATABASE = "database"

# What the planner gives for one log: a job to convert it, or what became of it already.
Item = Job | tuple[Origin, Outcome]


def output_name(name: str, compress: bool) -> str:
    """The output file's name for a log's name, mjai lines and Tenhou JSON alike: `x.json`,
    `x.json.gz`, `x.mjlog`, `x.xml.bz2` all give `x.json`."""
    split = split_log_name(name)
    if split is not None:
        name = split[0] + ".json"
    else:  # a file named on the command line may be called anything
        for compressed in COMPRESSED_EXTENSIONS:
            if name.lower().endswith(compressed):
                name = name[: -len(compressed)]
                break
        name += ".json"
    return name + ".gz" if compress else name


class Container(NamedTuple):
    """A file that holds logs: a database ("database"), or an archive ("zip", "tar")."""

    path: str
    kind: str
    target_dir: str  # the output folder its logs go under, ending with a separator
    named: bool  # named on the command line, rather than found in a folder


def walk_logs(
    top: str, skip: os.stat_result | None, on_error: Callable[[str, OSError], None]
) -> Iterator[tuple[str, str, list[str], list[str]]]:
    """The folders under `top` (itself included) that hold log files or files that may hold
    logs (databases, archives, told by name), in name order, without following links to
    folders and without entering the folder `skip` (the output folder).

    Each comes as its path, its path relative to `top` ("" for `top`), the names of its log
    files and those of its possible containers; folder by folder, so that the paths around a
    name are worked out once per folder.
    """
    stack = [(top, "")]
    while stack:
        folder, relative = stack.pop()
        try:
            with os.scandir(folder) as it:
                entries = sorted(it, key=lambda e: e.name)
        except OSError as exc:
            on_error(folder, exc)
            continue
        subfolders = []
        names = []
        holders = []
        for entry in entries:
            try:
                if entry.is_dir(follow_symlinks=False):
                    if skip is None or not _same_file(entry, skip):
                        subfolders.append((entry.path, os.path.join(relative, entry.name)))
                elif is_log_name(entry.name):
                    if entry.is_file():
                        names.append(entry.name)
                elif (is_database_name(entry.name) or archive_stem(entry.name)) and entry.is_file():
                    holders.append(entry.name)
            except OSError as exc:
                on_error(entry.path, exc)
        if names or holders:
            yield folder, relative, names, holders
        stack.extend(reversed(subfolders))


def _same_file(entry: os.DirEntry[str], other: os.stat_result) -> bool:
    return entry.inode() == other.st_ino and entry.stat(follow_symlinks=False).st_dev == other.st_dev


def _names_in(folder: str) -> set[str] | None:
    """The names in `folder` (none when it does not exist), or None when it cannot be listed."""
    try:
        return set(os.listdir(folder))
    except (FileNotFoundError, NotADirectoryError):
        return set()
    except OSError:
        return None


def container_kind(path: str) -> str | None:
    """What a file holding logs is, told by its content: "database", "zip", "tar" or None."""
    return DATABASE if is_database(path) else archive_kind(path)


class Plan(NamedTuple):
    jobs: list[Job]  # the log files found
    skipped: list[str]  # log files whose output is already there, complete
    failures: list[tuple[Origin, Outcome]]  # found before converting: unreadable folders, clashes
    # Outputs found incomplete (cut short by a crash or a power loss): their jobs convert again.
    # Filled as containers are read.
    incomplete: set[str]
    containers: list[Container]  # read once the jobs of the files are under way
    total: int  # the logs known before the run: files, database rows and zip members


def plan_jobs(
    inputs: Sequence[str], outdir: str | None, compress: bool, force: bool = False, tenhou: bool = False,
    length: str = "any", max_size: int = DEFAULT_MAX_SIZE,
) -> Plan:
    """One job per log file found, its output mirroring the input tree under `outdir`; unless
    `force`, logs whose output exists and is complete are skipped, and those whose output is
    incomplete are converted again. `tenhou`: the outputs are Tenhou JSON, not mjai.

    Databases and archives, named or found, become containers: a folder named after the file
    (without its extension; a file named on the command line stands for its own folder) whose
    logs are planned by `container_items` as the run reads them.

    The tree is taken relative to the folder that holds all inputs (a folder given as the
    only input is itself that folder), so distinct inputs never map to the same place.
    `outdir` None: the targets are only named, relative to the output folder, and none is
    looked for.
    """
    failures: list[tuple[Origin, Outcome]] = []

    def walk_error(path: str, exc: OSError) -> None:
        failures.append((path, failure(exc)))

    roots = []
    for path in inputs:
        if not os.path.exists(path):
            raise UsageError(f"no such file or folder: {path}")
        roots.append((path, os.path.isdir(path)))
    base = os.path.commonpath(
        [os.path.abspath(p) if is_dir else os.path.dirname(os.path.abspath(p)) for p, is_dir in roots]
    )
    out_stat, writes_over_inputs = None, False
    if outdir is not None:
        real_out = os.path.realpath(outdir)
        if any(is_dir and os.path.realpath(p) == real_out for p, is_dir in roots):
            raise UsageError(f"the output folder {outdir} is one of the input folders")
        out_stat = os.stat(outdir) if os.path.isdir(outdir) else None
        writes_over_inputs = os.path.realpath(base) == real_out
    else:
        outdir, force = "", True

    jobs: list[Job] = []
    skipped: list[str] = []
    incomplete: set[str] = set()
    containers: list[Container] = []
    outputs = _Outputs(force, compress, tenhou, incomplete)
    seen: set[str] = set()  # only needed when inputs can overlap
    targets: dict[str, str] = {}
    for path, is_dir in roots:
        if is_dir:
            top = os.path.abspath(path)
            folders = walk_logs(path, out_stat, walk_error)
        else:
            top, name = os.path.split(os.path.abspath(path))
            kind = container_kind(path) if os.path.isfile(path) else None
            if kind is not None:
                placed = os.path.relpath(top, base)
                target_dir = os.path.join(outdir, "" if placed == os.curdir else placed, "")
                containers.append(Container(path, kind, target_dir, True))
                continue
            folders = iter([("", "", [name], [])])  # the source is `path` itself
        # Where `top` goes in the output tree, relative to `base`.
        placed = os.path.relpath(top, base)
        placed = "" if placed == os.curdir else placed
        for folder, relative, names, holders in folders:
            # The path of each log and of its output: the folder's part joined once, the names added.
            source_dir = os.path.join(folder, "") if is_dir else ""
            absolute_dir = os.path.join(top, relative, "")
            target_dir = os.path.join(outdir, placed, relative, "")
            for holder in holders:
                kind = container_kind(source_dir + holder)
                if kind is None and not is_database_name(holder):
                    # Named like an archive, but neither a zip nor a tar (a .db may be anything).
                    failures.append((source_dir + holder, Outcome(FAILED, "ArchiveDamaged", "not a zip or tar archive")))
                elif kind is not None:
                    stem = database_stem(holder) if kind == DATABASE else archive_stem(holder)
                    containers.append(Container(source_dir + holder, kind, os.path.join(target_dir, stem or holder, ""), False))
            for name in names:
                source = source_dir + name if is_dir else path
                if len(roots) > 1:
                    if absolute_dir + name in seen:
                        continue  # reached through two of the inputs
                    seen.add(absolute_dir + name)
                output = output_name(name, compress)
                if writes_over_inputs and output == name:
                    raise UsageError(f"the output for {source} would replace the log itself")
                target = target_dir + output
                if target in targets:
                    clash = f"{targets[target]} converts to the same file {target}"
                    failures.append((source, Outcome(FAILED, "OutputClash", clash)))
                    continue
                targets[target] = source
                if outputs.done_in(target_dir, output, target, listed=is_dir):
                    skipped.append(source)
                    continue
                jobs.append(file_job(source, target, length))
    total = len(jobs)
    for container in containers:
        counted = _count(container, max_size)
        if isinstance(counted, Outcome):
            if container.named and container.kind == DATABASE:
                raise UsageError(f"{container.path}: {counted.message}")
            failures.append((container.path, counted))
        else:
            total += counted
    if failures:  # a container that cannot be read is not read again
        failed = {origin for origin, _ in failures}
        containers = [c for c in containers if c.path not in failed]
    return Plan(jobs, skipped, failures, incomplete, containers, total)


def _count(container: Container, max_size: int) -> int | Outcome:
    """The logs a container holds as far as can be told without reading them (a tar, read as
    a stream, tells nothing), or the failure of a container that cannot be read."""
    try:
        if container.kind == DATABASE:
            with Database(container.path) as db:
                return db.count()
        return count_members(container.path) if container.kind == "zip" else 0
    except LayoutError as exc:
        return Outcome(FAILED, "DatabaseLayout", str(exc))
    except ArchiveDamaged as exc:
        return _damaged(exc)
    except Exception as exc:  # sqlite3.DatabaseError and the like: a damaged file fails alone
        return failure(exc)


class _Outputs:
    """Tells the outputs already there, complete, from one listing per output folder rather
    than a lookup per log (only the last folder's listing is kept: logs come folder by folder,
    and an output folder rarely holds many more files than its logs)."""

    def __init__(self, force: bool, compress: bool, tenhou: bool, incomplete: set[str]) -> None:
        self._force = force
        self._compress = compress
        self._tenhou = tenhou
        self._incomplete = incomplete
        self._folder: str | None = None
        self._names: set[str] | None = None

    def done(self, target: str) -> bool:
        """Whether `target` is there, complete; one there incomplete is noted as such."""
        folder, _, name = target.rpartition(os.sep)
        return self.done_in(folder, name, target)

    def done_in(self, folder: str, name: str, target: str, listed: bool = True) -> bool:
        """`done` for the output `name` in `folder`, which make `target`. Not `listed`: looked
        up alone (a file named on the command line)."""
        if self._force:
            return False
        if listed and folder != self._folder:
            self._folder, self._names = folder, _names_in(folder)
        names = self._names if listed else None
        if not (name in names if names is not None else os.path.lexists(target)):
            return False
        # Only outputs that exist are read, and of a plain one only its end.
        if is_complete(target, self._compress, self._tenhou):
            return True
        self._incomplete.add(target)
        return False


def container_items(container: Container, settings: Settings, incomplete: set[str]) -> Iterator[Item]:
    """The logs of a database or an archive, in its order, as jobs or what became of them;
    one that can no longer be read ends with a failure of the container."""
    outputs = _Outputs(settings.force, settings.gzip, settings.to == "tenhou", incomplete)
    if container.kind == DATABASE:
        yield from _database_items(container, settings, outputs)
    else:
        yield from _archive_items(container, settings, outputs)


def _database_items(container: Container, settings: Settings, outputs: _Outputs) -> Iterator[Item]:
    extension = ".json.gz" if settings.gzip else ".json"
    keep_east = settings.length == "east"
    try:
        with Database(container.path) as db:
            for row in db.rows():
                origin = (container.path, "game", row.id)
                if row.three_player:
                    yield origin, THREE_PLAYER_OUTCOME
                    continue
                if row.content is None:
                    yield origin, NOT_DOWNLOADED_OUTCOME
                    continue
                length = settings.length
                if length != "any" and row.east is not None:
                    if row.east != keep_east:
                        yield origin, FILTERED_OUTCOME
                        continue
                    length = "any"  # told by the row's flag, not the log
                name = row_name(row.id)
                if name is None:
                    yield origin, Outcome(FAILED, "UnsafePath", "refused: the game id would name a path outside the output folder")
                    continue
                target = container.target_dir + name + extension
                if outputs.done(target):
                    yield origin, SKIPPED_OUTCOME
                    continue
                yield (origin, target, row.content, row.id, "", length)
    except Exception as exc:  # a database damaged, or replaced, while it is read
        yield container.path, failure(exc)


def _archive_items(container: Container, settings: Settings, outputs: _Outputs) -> Iterator[Item]:
    targets: set[str] = set()

    def target_of(member: str) -> str:
        return container.target_dir + output_name(member, settings.gzip)

    def wanted(member: str) -> bool:  # read only the members whose output is to be made
        target = target_of(member)
        return target not in targets and not outputs.done(target)

    try:
        for member in members(container.path, container.kind, settings.max_size, wanted):
            origin = (container.path, "member", member.name)
            if member.exception:
                yield origin, Outcome(FAILED, member.exception, member.message)
                continue
            target = target_of(member.name)
            if target in targets:
                clash = f"another member converts to the same file {target}"
                yield origin, Outcome(FAILED, "OutputClash", clash)
                continue
            targets.add(target)
            if member.data is None:
                yield origin, SKIPPED_OUTCOME
                continue
            kind = "mjlog" if is_mjlog_name(member.name) else "json"
            ref = game_ref(member.name.rpartition("/")[2])
            yield (origin, target, member.data, ref, kind, settings.length)
    except ArchiveDamaged as exc:
        yield container.path, _damaged(exc)


def _damaged(exc: ArchiveDamaged) -> Outcome:
    return Outcome(FAILED, "ArchiveDamaged", f"the archive is damaged: {exc}")
