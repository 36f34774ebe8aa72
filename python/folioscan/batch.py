"""Files in, results out: `parse_file` for one PDF file and `parse_files` for many.

The four native functions hold the interpreter lock for the whole parse, so threads
cannot convert files side by side with them; `parse_files` spreads the work over worker processes
instead and hands the results back in input order, a bounded number at a time.
`map_in_order` is that ordered pool on its own; the command line runs its
convert-and-write step through it.
"""

from __future__ import annotations

import os
import signal
from collections import deque
from collections.abc import Callable, Iterable, Iterator
from concurrent.futures import Future, ProcessPoolExecutor
from functools import partial
from itertools import chain, islice
from typing import TYPE_CHECKING, Any, Literal, TypeVar, Union, overload

from ._folioscan import parse, parse_to_html, parse_to_json, parse_to_markdown
from .extraction import extract

if TYPE_CHECKING:
    from ._folioscan import Document

__all__ = ["FORMATS", "Format", "StrOrBytesPath", "TextFormat", "map_in_order", "parse_file", "parse_files"]

Format = Literal["dict", "json", "markdown", "html"]
TextFormat = Literal["json", "markdown", "html"]

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
T = TypeVar("T")
R = TypeVar("R")

# Futures kept in flight per worker: enough to keep every worker busy while the
# caller consumes results, few enough that memory stays bounded on long lists.
_WINDOW_PER_JOB = 2


def _converter(format: str, strict: bool = True) -> Callable[..., Any]:
    if not isinstance(strict, bool):
        raise TypeError(f"strict must be bool, not {type(strict).__name__}")
    try:
        function = FORMATS[format]
    except (KeyError, TypeError):
        names = ", ".join(repr(name) for name in FORMATS)
        raise ValueError(f"unknown format {format!r}; expected one of {names}") from None
    return function if strict else partial(extract, format=format)


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
def parse_file(
    path: StrOrBytesPath, password: str | None = None, format: Literal["dict"] = "dict", *, strict: bool = True
) -> Document: ...
@overload
def parse_file(
    path: StrOrBytesPath, password: str | None = None, *, format: TextFormat, strict: bool = True
) -> str: ...
@overload
def parse_file(path: StrOrBytesPath, password: str | None, format: TextFormat, *, strict: bool = True) -> str: ...
@overload  # a format only known at run time
def parse_file(
    path: StrOrBytesPath, password: str | None = None, format: str = "dict", *, strict: bool = True
) -> Document | str: ...


def parse_file(
    path: StrOrBytesPath, password: str | None = None, format: str = "dict", *, strict: bool = True
) -> Document | str:
    """Read the PDF file at `path` and parse it into `format`.

    `format` is "dict" (what `parse` returns), "json", "markdown" or "html". Raises
    ValueError for an unknown format or a file that cannot be parsed, and OSError
    for a file that cannot be read. `strict=False` reads it as `extract` does,
    repairing what can be repaired and reporting it under "warnings".
    """
    converter = _converter(format, strict)
    with open(path, "rb") as handle:
        data = handle.read()
    result: Document | str = converter(data, password)
    return result


def _parse_or_error(path: StrOrBytesPath, password: str | None, format: str, strict: bool = True) -> Any:
    """One file's result, or the ValueError or OSError that stopped it, as a value."""
    try:
        return parse_file(path, password, format, strict=strict)
    except (ValueError, OSError) as error:
        # The traceback refers to frames of this process only; drop it so the error
        # pickles small and reads the same whichever process made it.
        return error.with_traceback(None)


def _worker_init() -> None:
    # An interrupt at the terminal reaches the whole process group. The workers let
    # it pass: the caller gets KeyboardInterrupt, drops the queued work and waits for
    # the items in progress, so no worker dies half-way through writing a file.
    signal.signal(signal.SIGINT, signal.SIG_IGN)


def map_in_order(function: Callable[[T], R], items: Iterable[T], jobs: int) -> Iterator[tuple[T, R]]:
    """Yields `(item, function(item))` for each item, in input order.

    With `jobs` above 1 the calls run in that many worker processes (fewer when
    there are fewer items), so `function`, the items and the results must pickle;
    with 1, or a single item, they run here. Items are read lazily and at most
    2 * jobs calls are in flight or waiting to be handed out. An exception raised by
    `function` ends the iteration; when the caller stops early or is interrupted,
    queued calls are dropped and the running ones are waited for.
    """
    if jobs < 1:
        raise ValueError(f"jobs must be at least 1, got {jobs}")
    return _map_in_order(function, iter(items), jobs)


def _map_in_order(function: Callable[[T], R], items: Iterator[T], jobs: int) -> Iterator[tuple[T, R]]:
    window = list(islice(items, jobs * _WINDOW_PER_JOB))
    if jobs == 1 or len(window) < 2:
        # One worker, or one item: a pool would only add its start-up time.
        for item in chain(window, items):
            yield item, function(item)
        return

    with ProcessPoolExecutor(max_workers=min(jobs, len(window)), initializer=_worker_init) as pool:
        pending: deque[tuple[T, Future[R]]] = deque((item, pool.submit(function, item)) for item in window)
        del window
        try:
            while pending:
                item, future = pending.popleft()
                result = future.result()
                del future
                # Refill before yielding, so the workers keep going while the caller
                # handles this result.
                for next_item in islice(items, 1):
                    pending.append((next_item, pool.submit(function, next_item)))
                yield item, result
        finally:
            for _, queued in pending:
                queued.cancel()


@overload
def parse_files(
    paths: Iterable[PathT],
    password: str | None = None,
    format: Literal["dict"] = "dict",
    jobs: int | None = None,
    *,
    strict: bool = True,
) -> Iterator[tuple[PathT, Document | ValueError | OSError]]: ...
@overload
def parse_files(
    paths: Iterable[PathT],
    password: str | None = None,
    *,
    format: TextFormat,
    jobs: int | None = None,
    strict: bool = True,
) -> Iterator[tuple[PathT, str | ValueError | OSError]]: ...
@overload
def parse_files(
    paths: Iterable[PathT],
    password: str | None,
    format: TextFormat,
    jobs: int | None = None,
    *,
    strict: bool = True,
) -> Iterator[tuple[PathT, str | ValueError | OSError]]: ...
@overload  # a format only known at run time
def parse_files(
    paths: Iterable[PathT],
    password: str | None = None,
    format: str = "dict",
    jobs: int | None = None,
    *,
    strict: bool = True,
) -> Iterator[tuple[PathT, Document | str | ValueError | OSError]]: ...


def parse_files(
    paths: Iterable[PathT],
    password: str | None = None,
    format: str = "dict",
    jobs: int | None = None,
    *,
    strict: bool = True,
) -> Iterator[tuple[PathT, Any]]:
    """Parse many PDF files, yielding `(path, result)` pairs in input order.

    `result` is what `parse_file(path, password, format, strict=strict)` returns, or the exception
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
    _converter(format, strict)
    _check_password(password)
    workers = _resolve_jobs(jobs)
    work = partial(_parse_or_error, password=password, format=format, strict=strict)
    return map_in_order(work, paths, workers)
