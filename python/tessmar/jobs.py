"""What a batch run is made of: jobs, their outcomes, and the errors that stop a run."""

from __future__ import annotations

from typing import NamedTuple


CONVERTED = "converted"
RECONVERTED = "reconverted"  # converted again over an output found incomplete
SKIPPED = "skipped"
FAILED = "failed"


class UsageError(Exception):
    """A command line that cannot be carried out (exit status 2)."""


class RunError(Exception):
    """A run that cannot go on: the workers do not start, or the report cannot be written."""


# One log to convert: (source, target, direct), where the log is read, where its mjai file goes,
# and whether the converter may read the log itself (a regular file not named .gz; see
# convert_job). A plain tuple: thousands cross to the workers, and a NamedTuple pickles about
# ten times slower.
Job = tuple[str, str, bool]


class Outcome(NamedTuple):
    """What became of one job: `CONVERTED`, `RECONVERTED`, `SKIPPED` or `FAILED` with the
    exception's name and text."""

    status: str
    exception: str = ""
    message: str = ""


# The same objects for every job that did not fail, so that a batch's answer pickles into a
# few bytes.
CONVERTED_OUTCOME = Outcome(CONVERTED)
RECONVERTED_OUTCOME = Outcome(RECONVERTED)
SKIPPED_OUTCOME = Outcome(SKIPPED)
