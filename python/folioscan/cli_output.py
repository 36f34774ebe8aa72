"""Where a batch's outputs go and how every output is written: one job per PDF with
its output path, each file replaced whole through a temporary file, standard output,
the --errors report, and the page count read back from a written text."""

from __future__ import annotations

import contextlib
import functools
import json
import os
import signal
import stat
import sys
import tempfile
from collections.abc import Sequence
from dataclasses import dataclass

from .cli_discovery import find_pdfs, is_pdf_name
from .cli_failures import Failure, Repair, failure_from

EXTENSIONS = {"markdown": ".md", "json": ".json", "html": ".html"}


@dataclass(frozen=True)
class Job:
    """One PDF of a batch: where it is read from and where its result goes."""

    source: str
    output: str


class UsageError(Exception):
    """A command line that cannot be carried out; reported with the usage text."""


def output_name(name: str, extension: str) -> str:
    """report.pdf -> report.md; a name without the .pdf suffix keeps it whole: notes.txt -> notes.txt.md."""
    return (name[:-4] if is_pdf_name(name) else name) + extension


def plan_jobs(
    inputs: Sequence[str], out_dir: str, extension: str, recursive: bool, failures: list[Failure]
) -> list[Job]:
    """One job per PDF, in the order given (folders in sorted order). The same file
    reached twice is converted once; two files that would write the same output
    are a usage error, since one would silently overwrite the other."""
    jobs: list[Job] = []
    claimed: dict[str, str] = {}

    def add(source: str, output: str) -> None:
        key = os.path.normcase(os.path.abspath(output))
        previous = claimed.get(key)
        if previous is None:
            claimed[key] = source
            jobs.append(Job(source, output))
        elif os.path.abspath(previous) != os.path.abspath(source):
            raise UsageError(f"{previous} and {source} would both be written to {output}")

    for given in inputs:
        if os.path.isdir(given):
            for relative in find_pdfs(given, recursive, failures):
                add(os.path.join(given, relative), os.path.join(out_dir, output_name(relative, extension)))
        else:
            add(given, os.path.join(out_dir, output_name(os.path.basename(given), extension)))
    return jobs


@functools.cache
def _umask() -> int:
    # The only portable way to read the mask is to set it; done once, before any
    # file is created.
    mask = os.umask(0o022)
    os.umask(mask)
    return mask


def _hold_termination() -> set[signal.Signals] | None:
    """Blocks SIGTERM for this thread; gives the mask to restore (None where signal
    masks do not exist)."""
    if not hasattr(signal, "pthread_sigmask"):
        return None
    return signal.pthread_sigmask(signal.SIG_BLOCK, {signal.SIGTERM})


def _release_termination(held: set[signal.Signals] | None) -> None:
    if held is not None:
        signal.pthread_sigmask(signal.SIG_SETMASK, held)


def write_atomically(path: str, data: bytes) -> None:
    """Writes `data` to `path` so that readers see the old file or the whole new one.

    The bytes go to a temporary file in the same folder, which then replaces the
    target; an interrupted write leaves no temporary file and the old content intact.
    A symbolic link is written through. A target that is not a regular file (a
    device or a pipe, as in -o /dev/stdout) is written directly: replacing it would
    swap the device for a plain file. Raises OSError.
    """
    target = os.path.realpath(path)
    try:
        existing = os.stat(target)
    except FileNotFoundError:
        existing = None
    if existing is not None and not stat.S_ISREG(existing.st_mode):
        with open(target, "wb") as handle:
            handle.write(data)
        return
    mode = stat.S_IMODE(existing.st_mode) if existing is not None else 0o666 & ~_umask()
    folder, name = os.path.split(target)
    # A signal handler that raises (a batch worker being stopped) must not run
    # between the temporary file's creation and the block that removes it, so
    # termination is held off until that block is entered.
    held = _hold_termination()
    try:
        descriptor, temporary = tempfile.mkstemp(prefix=f".{name}.", suffix=".tmp", dir=folder)
    except BaseException:
        _release_termination(held)
        raise
    try:
        _release_termination(held)
        with os.fdopen(descriptor, "wb") as handle:
            handle.write(data)
            os.fchmod(handle.fileno(), mode)
        os.replace(temporary, target)
    except BaseException:
        with contextlib.suppress(OSError):
            os.unlink(temporary)
        raise


def write_text(text: str, output: str | None) -> Failure | None:
    """Writes the result as UTF-8 to OUT exactly, or to standard output ending in a line feed."""
    data = text.encode("utf-8")
    if output is not None:
        try:
            write_atomically(output, data)
        except OSError as error:
            return failure_from(output, error)
        return None
    if not data.endswith(b"\n"):
        data += b"\n"
    sys.stdout.buffer.write(data)
    sys.stdout.buffer.flush()
    return None


def write_report(path: str, failures: Sequence[Failure | Repair]) -> Failure | None:
    """Writes the --errors report: one JSON object per line (failures, and the warnings
    of files repaired in recovery), none when all went well."""
    lines = "".join(json.dumps(failure.record(), ensure_ascii=False) + "\n" for failure in failures)
    try:
        write_atomically(path, lines.encode("utf-8"))
    except OSError as error:
        return failure_from(path, error)
    return None


def count_pages(text: str, output_format: str) -> int:
    """Pages in a converted document, read back from the writer's fixed layout.

    JSON and HTML are exact: every page object opens a line of its own at the
    pages' indentation, and every page is one section (text is escaped in both, so
    it cannot imitate them). Markdown counts the page separators, which a page
    whose text holds a lone "---" line between empty lines would also match.
    """
    if output_format == "json":
        return text.count("\n    {\n")
    if output_format == "html":
        return text.count('<section class="page"')
    return text.count("\n\n---\n\n") + 1


def write_job(job: Job, text: str, output_format: str) -> tuple[Failure | None, int]:
    """Writes one converted PDF of a batch; gives the failure, or the page count."""
    try:
        os.makedirs(os.path.dirname(job.output), exist_ok=True)
        write_atomically(job.output, text.encode("utf-8"))
    except OSError as error:
        return failure_from(job.output, error), 0
    return None, count_pages(text, output_format)
