"""What a run tells: the progress bar, the failure report file and the closing summary."""

from __future__ import annotations

import json
import sys
from collections import Counter
from typing import IO, Any

from tessmar.jobs import (
    CONVERTED,
    FAILED,
    FILTERED,
    NOT_DOWNLOADED,
    RECONVERTED,
    SKIPPED,
    THREE_PLAYER,
    Origin,
    Outcome,
    RunError,
    UsageError,
)


def origin_text(origin: Origin) -> str:
    """An origin as a person reads it: a path, or a path with the member or game inside it."""
    if isinstance(origin, str):
        return origin
    path, key, name = origin
    return f"{path} ({key} {name})"


def origin_fields(origin: Origin) -> dict[str, str]:
    """An origin as the report's fields: "path", and "member" or "game" for a log inside it."""
    if isinstance(origin, str):
        return {"path": origin}
    path, key, name = origin
    return {"path": path, key: name}

# Failures listed on standard error when there is no --report to look them up in.
LISTED_FAILURES = 10


class Report:
    """Counts outcomes; failures go to the --report file (JSON lines) as they come."""

    def __init__(self, path: str | None) -> None:
        self.path = path
        self._stream: IO[str] | None = None
        if path is not None:
            try:
                self._stream = open(path, "w", encoding="utf-8")
            except OSError as exc:
                raise UsageError(f"cannot write the report {path}: {exc.strerror or exc}") from None
        self.counts: Counter[str] = Counter()
        self.by_exception: Counter[str] = Counter()
        self.listed: list[tuple[Origin, Outcome]] = []

    def count(self, status: str, logs: int) -> None:
        """Counts `logs` logs of a status other than `FAILED`, which need no more than that."""
        self.counts[status] += logs

    def add(self, path: Origin, outcome: Outcome) -> None:
        self.counts[outcome.status] += 1
        if outcome.status != FAILED:
            return
        self.by_exception[outcome.exception] += 1
        if len(self.listed) < LISTED_FAILURES:
            self.listed.append((path, outcome))
        if self._stream is not None:
            record: dict[str, object] = {
                **origin_fields(path), "exception": outcome.exception, "message": outcome.message
            }
            if outcome.where is not None:
                offset, kyoku, seat, note = outcome.where
                record.update(offset=offset, kyoku=kyoku, seat=seat, note=note)
            line = json.dumps(record, ensure_ascii=False)
            try:
                line.encode("utf-8")
            except UnicodeEncodeError:  # a file name that is not UTF-8
                line = json.dumps(record)
            try:
                self._stream.write(line + "\n")
                self._stream.flush()
            except OSError as exc:
                self._close(quietly=True)
                raise RunError(f"cannot write the report {self.path}: {exc.strerror or exc}") from None

    def close(self) -> None:
        self._close(quietly=False)

    def _close(self, quietly: bool) -> None:
        stream, self._stream = self._stream, None
        if stream is None:
            return
        try:
            stream.close()
        except OSError as exc:
            if not quietly:
                raise RunError(f"cannot write the report {self.path}: {exc.strerror or exc}") from None

    def summary(self, seconds: float) -> str:
        converted, skipped, failed = (self.counts[s] for s in (CONVERTED, SKIPPED, FAILED))
        handled = sum(self.counts.values())
        rate = handled / seconds if seconds > 0 else 0.0
        # Outputs cut short only come after a crash, and the others only from some sources:
        # their counts are told only when there are any.
        others = "".join(
            f", {self.counts[status]} {text}"
            for status, text in (
                (RECONVERTED, "reconverted (incomplete output)"),
                (THREE_PLAYER, "skipped (three-player)"),
                (NOT_DOWNLOADED, "not downloaded"),
                (FILTERED, "skipped (length)"),
            )
            if self.counts[status]
        )
        lines = [
            f"{converted} converted, {skipped} skipped (output already there){others}, {failed} failed"
            f" in {seconds:.1f} s ({rate:.0f} files/s)"
        ]
        lines += [f"  {name}: {count}" for name, count in self.by_exception.most_common()]
        if failed and self._stream is not None:
            lines.append(f"failures are listed in {self.path}")
        elif failed:
            lines += [f"  {origin_text(path)}: {o.exception}: {o.message}" for path, o in self.listed]
            if failed > len(self.listed):
                lines.append(f"  ... and {failed - len(self.listed)} more (--report FILE lists them all)")
        return "\n".join(lines)


class Progress:
    """A tqdm bar on standard error when it is a terminal."""

    def __init__(self, total: int) -> None:
        self._bar: Any = None
        # tqdm would hide itself anyway, but importing it takes about as long as starting a
        # worker (70 to 100 ms): only a terminal pays for it.
        if not sys.stderr.isatty():
            return
        from tqdm import tqdm  # type: ignore[import-untyped]  # tqdm ships no type information

        self._bar = tqdm(total=total, unit="file", disable=None, dynamic_ncols=True, smoothing=0.1)

    def advance(self, files: int, failed: int) -> None:
        if self._bar is not None:
            if self._bar.n + files > self._bar.total:  # a tar tells its members only as it is read
                self._bar.total = self._bar.n + files
            if failed:
                self._bar.set_postfix_str(f"{failed} failed", refresh=False)
            self._bar.update(files)

    def close(self) -> None:
        if self._bar is not None:
            self._bar.close()
