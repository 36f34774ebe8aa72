"""Files in, results out: `parse_file` for one PDF file and `parse_files` for many.

Each native call holds the interpreter lock for the whole parse, so threads cannot
convert files side by side; `parse_files` spreads the work over worker processes
instead and hands the results back in input order, a bounded number at a time.
"""

from __future__ import annotations

import os
import signal
from collections import deque
from collections.abc import Callable, Iterable, Iterator
from concurrent.futures import Future, ProcessPoolExecutor
from itertools import islice
from typing import TYPE_CHECKING, Any, Literal, TypeVar, Union, overload

from ._folioscan import parse, parse_to_html, parse_to_json, parse_to_markdown

if TYPE_CHECKING:
    from ._folioscan import Document

__all__ = ["FORMATS", "Format", "StrOrBytesPath", "parse_file", "parse_files"]

Format = Literal["dict", "json", "markdown", "html"]

# Format name -> native function, in the order error messages list them.
FORMATS: dict[str, Callable[..., Any]] = {
    "dict": parse,
    "json": parse_to_json,
    "markdown": parse_to_markdown,
    "html": parse_to_html,
}

# Anything `open` accepts as a file name.
StrOrBytesPath = Union[str, bytes, "os.PathLike[str]", "os.PathLike[bytes]"]
PathT = TypeVar("PathT", bound=StrOrBytesPath)

# Futures kept in flight per worker: enough to keep every worker busy while the
# caller consumes results, few enough that memory stays bounded on long lists.
_WINDOW_PER_JOB = 2


def _converter(format: str) -> Callable[..., Any]:
    try:
        return FORMATS[format]
    except (KeyError, TypeError):
        names = ", ".join(repr(name) for name in FORMATS)
        raise ValueError(f"unknown format {format!r}; expected one of {names}") from None


def _check_password(password: str | None) -> None:
    # Checked once up front so a wrong password type fails the call, not every file.
    if password is not None:
        if not isinstance(password, str):
            raise TypeError(f"password must be str or None, not {type(password).__name__}")
        password.encode("utf-8")


def _resolve_jobs(jobs: int | None) -> int:
    if jobs is None:
        return os.cpu_count() or 1
    if isinstance(jobs, bool) or not isinstance(jobs, int):
        raise TypeError(f"jobs must be int or None, not {type(jobs).__name__}")
    if jobs < 1:
        raise ValueError(f"jobs must be at least 1, got {jobs}")
    return jobs


@overload
def parse_file(path: StrOrBytesPath, password: str | None = None, format: Literal["dict"] = "dict") -> Document: ...
@overload
def parse_file(path: StrOrBytesPath, password: str | None = None, *, format: Literal["json", "markdown", "html"]) -> str: ...
@overload
def parse_file(path: StrOrBytesPath, password: str | None, format: Literal["json", "markdown", "html"]) -> str: ...
@overload  # a format only known at run time
def parse_file(path: StrOrBytesPath, password: str | None = None, format: str = "dict") -> Document | str: ...


def parse_file(path: StrOrBytesPath, password: str | None = None, format: str = "dict") -> Document | str:
    """Read the PDF file at `path` and parse it into `format`.

    `format` is "dict" (what `parse` returns), "json", "markdown" or "html". Raises
    ValueError for an unknown format or a file that cannot be parsed, and OSError
    for a file that cannot be read.
    """
    converter = _converter(format)
    with open(path, "rb") as handle:
        data = handle.read()
    result: Document | str = converter(data, password)
    return result


def _parse_or_error(path: StrOrBytesPath, password: str | None, format: str) -> Any:
    """One file's result, or the ValueError or OSError that stopped it, as a value."""
    try:
        return parse_file(path, password, format)
    except (ValueError, OSError) as error:
        # The traceback refers to frames of this process only; drop it so the error
        # pickles small and reads the same whichever process made it.
        return error.with_traceback(None)


def _worker_init() -> None:
    # An interrupt at the terminal reaches the whole process group: the workers
    # end at once and quietly, and the caller sees KeyboardInterrupt.
    signal.signal(signal.SIGINT, signal.SIG_DFL)


@overload
def parse_files(
    paths: Iterable[PathT],
    password: str | None = None,
    format: Literal["dict"] = "dict",
    jobs: int | None = None,
) -> Iterator[tuple[PathT, Document | ValueError | OSError]]: ...
@overload
def parse_files(
    paths: Iterable[PathT],
    password: str | None = None,
    *,
    format: Literal["json", "markdown", "html"],
    jobs: int | None = None,
) -> Iterator[tuple[PathT, str | ValueError | OSError]]: ...
@overload
def parse_files(
    paths: Iterable[PathT],
    password: str | None,
    format: Literal["json", "markdown", "html"],
    jobs: int | None = None,
) -> Iterator[tuple[PathT, str | ValueError | OSError]]: ...
@overload  # a format only known at run time
def parse_files(
    paths: Iterable[PathT],
    password: str | None = None,
    format: str = "dict",
    jobs: int | None = None,
) -> Iterator[tuple[PathT, Document | str | ValueError | OSError]]: ...


def parse_files(
    paths: Iterable[PathT],
    password: str | None = None,
    format: str = "dict",
    jobs: int | None = None,
) -> Iterator[tuple[PathT, Any]]:
    """Parse many PDF files, yielding `(path, result)` pairs in input order.

    `result` is what `parse_file(path, password, format)` returns, or the exception
    it would raise: ValueError for a file that cannot be parsed, OSError for one that
    cannot be read. Those are returned, never raised, so one bad file does not stop
    the others. `jobs` worker processes share the work (default: one per CPU);
    `jobs=1` parses in this process. `paths` is read lazily and at most 2 * jobs
    results are held at any time.

    The arguments are checked at the call: an unknown format or a jobs value below
    1 raises ValueError, a single path instead of an iterable raises TypeError.
    """
    if isinstance(paths, (str, bytes, os.PathLike)):
        raise TypeError("paths must be an iterable of paths, not a single path")
    _converter(format)
    _check_password(password)
    workers = _resolve_jobs(jobs)
    return _stream(iter(paths), password, format, workers)


def _stream(paths: Iterator[PathT], password: str | None, format: str, jobs: int) -> Iterator[tuple[PathT, Any]]:
    window = deque(islice(paths, jobs * _WINDOW_PER_JOB))
    if jobs == 1 or len(window) < 2:
        # One worker, or one file: a pool would only add its start-up time.
        for path in window:
            yield path, _parse_or_error(path, password, format)
        for path in paths:
            yield path, _parse_or_error(path, password, format)
        return

    with ProcessPoolExecutor(max_workers=min(jobs, len(window)), initializer=_worker_init) as pool:
        pending: deque[tuple[PathT, Future[Any]]] = deque(
            (path, pool.submit(_parse_or_error, path, password, format)) for path in window
        )
        del window
        try:
            while pending:
                path, future = pending.popleft()
                result = future.result()
                # Refill before yielding, so the workers keep going while the caller
                # handles this result.
                for next_path in islice(paths, 1):
                    pending.append((next_path, pool.submit(_parse_or_error, next_path, password, format)))
                del future
                yield path, result
        finally:
            # Early exit (the caller stopped iterating, or an interrupt): drop the
            # queued work; the pool's exit waits for the files being parsed now.
            for _, future in pending:
                future.cancel()
