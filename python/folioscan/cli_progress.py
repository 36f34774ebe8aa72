"""The progress bar of a batch on a terminal and the summary line that closes it."""

from __future__ import annotations

import time
from typing import TextIO

from .cli_failures import PROG


class Progress:
    """A one-line progress bar redrawn in place on a terminal: files done, pages per
    second and errors. Redraws at most ten times a second."""

    WIDTH = 24
    INTERVAL = 0.1

    def __init__(self, total: int, stream: TextIO, enabled: bool) -> None:
        self.total = total
        self.stream = stream
        self.enabled = enabled
        self.start = time.monotonic()
        self.shown_at = 0.0
        self.visible = False

    def render(self, done: int, pages: int, errors: int, elapsed: float) -> str:
        filled = self.WIDTH * done // self.total if self.total else self.WIDTH
        bar = "#" * filled + "-" * (self.WIDTH - filled)
        rate = pages / elapsed if elapsed > 0 else 0.0
        return f"[{bar}] {done}/{self.total} files  {rate:.1f} pages/s  {errors} {plural(errors, 'error')}"

    def update(self, done: int, pages: int, errors: int, force: bool = False) -> None:
        if not self.enabled:
            return
        now = time.monotonic()
        if not force and self.visible and now - self.shown_at < self.INTERVAL:
            return
        self.shown_at = now
        self.stream.write("\r\x1b[K" + self.render(done, pages, errors, now - self.start))
        self.stream.flush()
        self.visible = True

    def clear(self) -> None:
        """Removes the bar, so that a message can take its line."""
        if self.visible:
            self.stream.write("\r\x1b[K")
            self.stream.flush()
            self.visible = False


def plural(count: int, word: str) -> str:
    return word if count == 1 else word + "s"


def summary(files: int, pages: int, failed: int, seconds: float, warnings: int | None = None) -> str:
    """The closing line; `warnings` is counted in recovery only (None: strict)."""
    repaired = "" if warnings is None else f", {warnings} {plural(warnings, 'warning')}"
    return (
        f"{PROG}: {files} {plural(files, 'file')}, {pages} {plural(pages, 'page')}, "
        f"{failed} failed{repaired}, {seconds:.2f} s"
    )
