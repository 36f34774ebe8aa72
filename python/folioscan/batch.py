"""Files in, results out: `parse_file` for one PDF file and `parse_files` for many.

Each native call holds the interpreter lock for the whole parse, so threads cannot
convert files side by side; `parse_files` spreads the work over the worker processes
of `folioscan.pool` instead and hands the results back in input order, a bounded
number at a time. A worker that dies costs only the file it held, whose result is
then a `WorkerDied` error.

Both also run on any `concurrent.futures.Executor` the caller passes (a process pool
of its own, a Dask cluster's `Client.get_executor()`, ...). What travels to such an
executor is a `WorkItem` (the file's bytes or path and the options) and the
module-level function `parse_item`, so the workers need only folioscan installed.
"""

from __future__ import annotations

import os
from collections.abc import Callable, Iterable, Iterator
from concurrent.futures import Executor, Future
from contextlib import closing
from dataclasses import dataclass
from functools import partial
from typing import TYPE_CHECKING, Any, Literal, TypeVar, Union, overload

from ._folioscan import parse, parse_to_html, parse_to_json, parse_to_markdown
from .extraction import extract, extract_pages, extract_with_warnings
from .pool import WINDOW_PER_JOB, WorkerDied, finished, in_order, map_in_order

if TYPE_CHECKING:
    from ._folioscan import Document

__all__ = [
    "FORMATS",
    "Format",
    "StrOrBytesPath",
    "TextFormat",
    "WorkItem",
    "WorkerDied",
    "map_in_order",
    "parse_file",
    "parse_files",
    "parse_item",
]

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


def _converter(format: str, strict: bool = True) -> Callable[..., Any]:
    if not isinstance(strict, bool):
        raise TypeError(f"strict must be bool, not {type(strict).__name__}")
    try:
        function = FORMATS[format]
    except (KeyError, TypeError):
        names = ", ".join(repr(name) for name in FORMATS)
        raise ValueError(f"unknown format {format!r}; expected one of {names}") from None
    return function if strict else partial(extract, format=format)


def check_password(password: str | None) -> None:
    # Checked once up front so a wrong password type fails the call, not every file.
    if password is not None:
        if not isinstance(password, str):
            raise TypeError(f"password must be str or None, not {type(password).__name__}")
        password.encode("utf-8")


def resolve_jobs(jobs: int | None) -> int:
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


@dataclass(frozen=True, kw_only=True)
class WorkItem:
    """One file's work for `parse_item`: its bytes, or else a path that the worker
    reads, with the options of the call. Small and picklable, so any executor can
    carry it to its workers."""

    password: str | None
    format: str
    data: bytes | None = None
    path: StrOrBytesPath | None = None
    strict: bool = True
    # With strict False: the result is (text or dict, warnings), the warnings listed
    # whatever the format (the command line counts and reports them).
    warnings: bool = False
    # The result is (dict, Markdown of each page) from one parse, whatever the format
    # (the page loaders of folioscan.langchain need both).
    pages: bool = False
    # With strict False: images of Markdown and HTML are marked where they stand.
    image_placeholders: bool = False


def parse_item(item: WorkItem) -> Any:
    """The work of one file wherever it runs: its result, or the ValueError or OSError
    that stopped it, as a value."""
    try:
        if item.data is None:
            if item.path is None:
                raise TypeError("a WorkItem needs data or a path")
            if not item.warnings and not item.pages:
                return parse_file(item.path, item.password, item.format, strict=item.strict)
            with open(item.path, "rb") as handle:
                data = handle.read()
        else:
            data = item.data
        if item.pages:
            return extract_pages(data, item.password, strict=item.strict)
        if item.warnings and not item.strict:
            return extract_with_warnings(data, item.password, item.format, item.image_placeholders)
        result: Any = _converter(item.format, item.strict)(data, item.password)
        return result
    except (ValueError, OSError) as error:
        # The traceback refers to frames of this process only; drop it so the error
        # pickles small and reads the same whichever process made it.
        return error.with_traceback(None)


@overload
def parse_files(
    paths: Iterable[PathT],
    password: str | None = None,
    format: Literal["dict"] = "dict",
    jobs: int | None = None,
    *,
    executor: Executor | None = None,
    read_on_worker: bool = False,
    strict: bool = True,
) -> Iterator[tuple[PathT, Document | Exception]]: ...
@overload
def parse_files(
    paths: Iterable[PathT],
    password: str | None = None,
    *,
    format: TextFormat,
    jobs: int | None = None,
    executor: Executor | None = None,
    read_on_worker: bool = False,
    strict: bool = True,
) -> Iterator[tuple[PathT, str | Exception]]: ...
@overload
def parse_files(
    paths: Iterable[PathT],
    password: str | None,
    format: TextFormat,
    jobs: int | None = None,
    *,
    executor: Executor | None = None,
    read_on_worker: bool = False,
    strict: bool = True,
) -> Iterator[tuple[PathT, str | Exception]]: ...
@overload  # a format only known at run time
def parse_files(
    paths: Iterable[PathT],
    password: str | None = None,
    format: str = "dict",
    jobs: int | None = None,
    *,
    executor: Executor | None = None,
    read_on_worker: bool = False,
    strict: bool = True,
) -> Iterator[tuple[PathT, Document | str | Exception]]: ...


def parse_files(
    paths: Iterable[PathT],
    password: str | None = None,
    format: str = "dict",
    jobs: int | None = None,
    *,
    executor: Executor | None = None,
    read_on_worker: bool = False,
    strict: bool = True,
) -> Iterator[tuple[PathT, Any]]:
    """Parse many PDF files, yielding `(path, result)` pairs in input order.

    `result` is what `parse_file(path, password, format, strict=strict)` returns, or the exception
    it would raise: ValueError for a file that cannot be parsed, OSError for one that
    cannot be read. Those are returned, never raised, so one bad file does not stop
    the others. `jobs` worker processes share the work (default: one per CPU);
    `jobs=1` parses in this process. `paths` is read lazily and at most 2 * jobs
    results are held at any time. A worker process that dies costs only the file it
    held, whose result is then a `WorkerDied` error.

    With an `executor` (any `concurrent.futures.Executor`), the files are parsed on
    it by `parse_item`, `jobs` of them at a time (default: one per local CPU). Each
    file is read here and its bytes are sent, or with `read_on_worker` only its
    path, for workers that see the same files. An exception the executor gives for
    a file (a cluster's lost task, for example) is that file's result too.

    The arguments are checked at the call: an unknown format or a jobs value below
    1 raises ValueError, a single path instead of an iterable raises TypeError.
    """
    if isinstance(paths, (str, bytes, os.PathLike)):
        raise TypeError("paths must be an iterable of paths, not a single path")
    _converter(format, strict)
    check_password(password)
    workers = resolve_jobs(jobs)
    if executor is not None and not isinstance(executor, Executor):
        raise TypeError(f"executor must be a concurrent.futures.Executor, not {type(executor).__name__}")
    item = partial(WorkItem, password=password, format=format, strict=strict)
    return run_items(paths, item, workers, executor, read_on_worker)


def run_items(
    paths: Iterable[PathT],
    item: Callable[..., WorkItem],
    workers: int,
    executor: Executor | None = None,
    read_on_worker: bool = False,
) -> Iterator[tuple[PathT, Any]]:
    """The engine of `parse_files` on checked arguments: `item(path=...)` or
    `item(data=...)` makes each file's WorkItem (the command line asks for warnings
    this way), run by the local pool or on `executor`, results in input order."""
    if executor is None:
        items = (item(path=path) for path in paths)
        return _paths_of(map_in_order(parse_item, items, workers, on_error=_error_as_result))

    def submit(path: PathT) -> Future[Any]:
        if read_on_worker:
            return executor.submit(parse_item, item(path=path))
        try:
            with open(path, "rb") as handle:
                data = handle.read()
        except OSError as error:
            return finished(error.with_traceback(None))
        return executor.submit(parse_item, item(data=data))

    return in_order(iter(paths), submit, workers * WINDOW_PER_JOB, _error_as_result)


def _error_as_result(_: object, error: Exception) -> Exception:
    return error.with_traceback(None)


def _paths_of(results: Iterator[tuple[WorkItem, Any]]) -> Iterator[tuple[Any, Any]]:
    with closing(results):  # stopping early stops the pool at once
        for item, result in results:
            yield item.path, result
