"""What a run tells: the progress bar, the failure report file and the closing summary."""

from __future__ import annotations

import json
import sys
from collections import Counter
from typing import IO, Any

from tessmar.jobs import CONVERTED, FAILED, RECONVERTED, SKIPPED, Outcome, RunError, UsageError

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
        self.listed: list[tuple[str, Outcome]] = []

    def add(self, path: str, outcome: Outcome) -> None:
        self.counts[outcome.status] += 1
        if outcome.status != FAILED:
            return
        self.by_exception[outcome.exception] += 1
        if len(self.listed) < LISTED_FAILURES:
            self.listed.append((path, outcome))
        if self._stream is not None:
            record = {"path": path, "exception": outcome.exception, "message": outcome.message}
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
        converted, reconverted, skipped, failed = (
            self.counts[s] for s in (CONVERTED, RECONVERTED, SKIPPED, FAILED)
        )
        handled = converted + reconverted + skipped + failed
        rate = handled / seconds if seconds > 0 else 0.0
        # Outputs cut short only come after a crash: their count is told only then.
        again = f", {reconverted} reconverted (incomplete output)" if reconverted else ""
        lines = [
            f"{converted} converted, {skipped} skipped (output already there){again}, {failed} failed"
            f" in {seconds:.1f} s ({rate:.0f} files/s)"
        ]
        lines += [f"  {name}: {count}" for name, count in self.by_exception.most_common()]
        if failed and self._stream is not None:
            lines.append(f"failures are listed in {self.path}")
        elif failed:
            lines += [f"  {path}: {o.exception}: {o.message}" for path, o in self.listed]
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
            if failed:
                self._bar.set_postfix_str(f"{failed} failed", refresh=False)
            self._bar.update(files)

    def close(self) -> None:
        if self._bar is not None:
            self._bar.close()
