"""What goes wrong with a file of the command line (a `Failure`) and what recovery
repaired in one (a `Repair`), with the line shown on standard error and the record
written to the --errors report for each."""

from __future__ import annotations

from dataclasses import dataclass
from typing import Any

PROG = "folioscan"


@dataclass(frozen=True)
class Failure:
    """One file that could not be converted, with the reason to report."""

    path: str
    reason: str
    kind: str = "OSError"

    def line(self) -> str:
        return f"{PROG}: {self.path}: {self.reason}"

    def record(self) -> dict[str, str]:
        """The object written for this failure to the --errors report."""
        return {"path": self.path, "error": self.reason, "kind": self.kind}


@dataclass(frozen=True)
class Repair:
    """A repair made while converting a file in recovery: a warning, not a failure."""

    path: str
    page: int | None
    message: str

    def record(self) -> dict[str, Any]:
        """The object written for this warning to the --errors report."""
        return {"path": self.path, "error": self.message, "kind": "warning", "page": self.page}


def failure_from(path: str, error: BaseException) -> Failure:
    """The report for an exception: OSErrors by their system text and class name,
    parse errors ("Kind: message") by their text and kind, anything else (a dead
    worker, a cluster's error) as "Class: text" and its class name."""
    if isinstance(error, OSError):
        return Failure(path, error.strerror or str(error), type(error).__name__)
    if not isinstance(error, ValueError):
        kind, reason = type(error).__name__, str(error)
        if not reason.startswith(f"{kind}: "):
            reason = f"{kind}: {reason}" if reason else kind
        return Failure(path, reason, kind)
    reason = str(error)
    kind, separator, _ = reason.partition(": ")
    return Failure(path, reason, kind if separator else type(error).__name__)
