"""What a batch run is made of: jobs, their outcomes, and the errors that stop a run."""

from __future__ import annotations

from typing import NamedTuple

from tessmar.inputs import DEFAULT_MAX_SIZE


CONVERTED = "converted"
RECONVERTED = "reconverted"  # converted again over an output found incomplete
SKIPPED = "skipped"
FAILED = "failed"
THREE_PLAYER = "three_player"  # a database row flagged as a three-player game
NOT_DOWNLOADED = "not_downloaded"  # a database row without content
FILTERED = "filtered"  # a game of the length that --length leaves out


class UsageError(ValueError):
    """A command line (or a call) that cannot be carried out (exit status 2)."""


class RunError(RuntimeError):
    """A run that cannot go on: the workers do not start, or the report cannot be written."""


class Settings(NamedTuple):
    """The options of a run, as the command's flags give them."""

    jobs: int | None = None
    gzip: bool = False
    to: str = "mjai"
    force: bool = False
    length: str = "any"
    max_size: int = DEFAULT_MAX_SIZE
    fsync: bool = False
    fail_fast: bool = False


def worker_args(settings: Settings) -> tuple[bool, int, bool, bool]:
    """What the workers of a run convert with: whether to compress, the size bound, whether to
    make each output durable, whether the outputs are Tenhou JSON."""
    return (settings.gzip, settings.max_size, settings.fsync, settings.to == "tenhou")


# Where a log comes from, as the report names it: a file's path, or a log inside a file as
# (the file's path, "member" or "game", the member's name or the database row's id).
Origin = str | tuple[str, str, str]

# One log to convert: (origin, target, data, ref, kind, length).
# - target: where its output goes;
# - data None: the log is the file `origin`, read by the worker;
# - data bytes: the log as stored (maybe compressed), read from an archive or a database by
#   the main process; `ref` its game id and `kind` "json", "mjlog" or "" (told by content);
# - length: the game length to keep, judged from the log ("any" keeps every game, and stands
#   for a length already judged from a database's flag).
# A plain tuple: thousands cross to the workers, and a NamedTuple pickles about ten times
# slower.
Job = tuple[Origin, str, bytes | None, str, str, str]


def file_job(source: str, target: str, length: str = "any") -> Job:
    return (source, target, None, "", "", length)


# Where a log is at fault, as the converter's exceptions say it: (offset, kyoku, seat, note).
Where = tuple[int | None, int | None, int | None, str]


class Outcome(NamedTuple):
    """What became of one log: one of the statuses, with the exception's name and text for
    `FAILED`, and where the log is at fault when the converter says so."""

    status: str
    exception: str = ""
    message: str = ""
    where: Where | None = None


def where_of(exc: BaseException) -> Where | None:
    """The place of the fault that a conversion error carries, if it carries one."""
    if not hasattr(exc, "offset"):
        return None
    notes = getattr(exc, "__notes__", None) or [""]
    return (getattr(exc, "offset", None), getattr(exc, "kyoku", None), getattr(exc, "seat", None), str(notes[0]))


def exception_name(exc: BaseException) -> str:
    """The exception's class name, qualified by its module unless it is a built-in or ours."""
    cls = type(exc)
    if cls.__module__ in ("builtins", "_tessmar") or cls.__module__.startswith("tessmar."):
        return cls.__qualname__
    return f"{cls.__module__}.{cls.__qualname__}"


def failure(exc: BaseException) -> Outcome:
    """The outcome of a log whose reading or conversion raised `exc`."""
    return Outcome(FAILED, exception_name(exc), str(exc), where_of(exc))


# The same objects for every job that did not fail, so that a batch's answer pickles into a
# few bytes.
CONVERTED_OUTCOME = Outcome(CONVERTED)
RECONVERTED_OUTCOME = Outcome(RECONVERTED)
SKIPPED_OUTCOME = Outcome(SKIPPED)
THREE_PLAYER_OUTCOME = Outcome(THREE_PLAYER)
NOT_DOWNLOADED_OUTCOME = Outcome(NOT_DOWNLOADED)
FILTERED_OUTCOME = Outcome(FILTERED)
