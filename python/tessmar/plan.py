"""Planning a run: the log files under the inputs, their outputs, and which of those are there, complete."""

from __future__ import annotations

import os
from collections.abc import Callable, Iterator, Sequence
from typing import NamedTuple

from tessmar.complete import is_complete
from tessmar.inputs import is_log_name, reads_directly, split_log_name
from tessmar.jobs import FAILED, Job, Outcome, UsageError
from tessmar.work import exception_name


def output_name(name: str, compress: bool) -> str:
    """The output file's name for a log's name, mjai lines and Tenhou JSON alike: `x.json`,
    `x.json.gz`, `x.mjlog` and `x.xml.gz` all give `x.json`."""
    split = split_log_name(name)
    if split is not None:
        name = split[0] + ".json"
    else:  # a file named on the command line may be called anything
        if name.lower().endswith(".gz"):
            name = name[:-3]
        name += ".json"
    return name + ".gz" if compress else name


def walk_logs(
    top: str, skip: os.stat_result | None, on_error: Callable[[str, OSError], None]
) -> Iterator[tuple[str, str, list[str]]]:
    """The folders under `top` (itself included) that hold log files, in name order, without
    following links to folders and without entering the folder `skip` (the output folder).

    Each comes as its path, its path relative to `top` ("" for `top`) and the names of its log
    files; folder by folder, so that the paths around a name are worked out once per folder.
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
        for entry in entries:
            try:
                if entry.is_dir(follow_symlinks=False):
                    if skip is None or not _same_file(entry, skip):
                        subfolders.append((entry.path, os.path.join(relative, entry.name)))
                elif is_log_name(entry.name) and entry.is_file():
                    names.append(entry.name)
            except OSError as exc:
                on_error(entry.path, exc)
        if names:
            yield folder, relative, names
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


class Plan(NamedTuple):
    jobs: list[Job]
    skipped: list[str]  # logs whose output is already there, complete
    failures: list[tuple[str, Outcome]]  # found before converting: unreadable folders, clashes
    # Outputs found incomplete (cut short by a crash or a power loss): their jobs convert again.
    incomplete: set[str]


def plan_jobs(
    inputs: Sequence[str], outdir: str, compress: bool, force: bool = False, tenhou: bool = False
) -> Plan:
    """One job per log found, its output mirroring the input tree under `outdir`; unless
    `force`, logs whose output exists and is complete are skipped, and those whose output is
    incomplete are converted again. `tenhou`: the outputs are Tenhou JSON, not mjai.

    The tree is taken relative to the folder that holds all inputs (a folder given as the
    only input is itself that folder), so distinct inputs never map to the same place.
    """
    failures: list[tuple[str, Outcome]] = []

    def walk_error(path: str, exc: OSError) -> None:
        failures.append((path, Outcome(FAILED, exception_name(exc), str(exc))))

    roots = []
    for path in inputs:
        if not os.path.exists(path):
            raise UsageError(f"no such file or folder: {path}")
        roots.append((path, os.path.isdir(path)))
    base = os.path.commonpath(
        [os.path.abspath(p) if is_dir else os.path.dirname(os.path.abspath(p)) for p, is_dir in roots]
    )
    real_out = os.path.realpath(outdir)
    if any(is_dir and os.path.realpath(p) == real_out for p, is_dir in roots):
        raise UsageError(f"the output folder {outdir} is one of the input folders")
    out_stat = os.stat(outdir) if os.path.isdir(outdir) else None
    writes_over_inputs = os.path.realpath(base) == real_out

    jobs: list[Job] = []
    skipped: list[str] = []
    incomplete: set[str] = set()
    seen: set[str] = set()  # only needed when inputs can overlap
    targets: dict[str, str] = {}
    for path, is_dir in roots:
        if is_dir:
            top = os.path.abspath(path)
            folders = walk_logs(path, out_stat, walk_error)
        else:
            top, name = os.path.split(os.path.abspath(path))
            folders = iter([("", "", [name])])  # the source is `path` itself
        # Where `top` goes in the output tree, relative to `base`.
        placed = os.path.relpath(top, base)
        placed = "" if placed == os.curdir else placed
        for folder, relative, names in folders:
            # The path of each log and of its output: the folder's part joined once, the names added.
            source_dir = os.path.join(folder, "") if is_dir else ""
            absolute_dir = os.path.join(top, relative, "")
            target_dir = os.path.join(outdir, placed, relative, "")
            # One listing per output folder rather than a lookup per log; the output folder of
            # a folder of logs rarely holds many more files than it.
            existing = _names_in(target_dir) if is_dir and not force else None
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
                if not force and (output in existing if existing is not None else os.path.lexists(target)):
                    # Only outputs that exist are read, and of a plain one only its end.
                    if is_complete(target, compress, tenhou):
                        skipped.append(source)
                        continue
                    incomplete.add(target)
                # Found by the walk means a regular file (or a link to one); an input named on
                # the command line may be anything that can be opened, even a pipe.
                direct = not tenhou and (is_dir or os.path.isfile(path)) and reads_directly(name)
                jobs.append((source, target, direct))
    return Plan(jobs, skipped, failures, incomplete)
