"""Files in, results out: `parse_file` for one PDF file and `parse_files` for many.

Each native call holds the interpreter lock for the whole parse, so threads cannot
convert files side by side; `parse_files` spreads the work over worker processes
instead and hands the results back in input order, a bounded number at a time.
`map_in_order` is that ordered pool on its own; the command line runs its
convert-and-write step through it.

Both also run on any `concurrent.futures.Executor` the caller passes (a process pool
of its own, a Dask cluster's `Client.get_executor()`, ...). What travels to such an
executor is a `WorkItem` (the file's bytes or path and the options) and the
module-level function `parse_item`, so the workers need only folioscan installed.

A worker of the local pool that dies (a signal, the out-of-memory killer, a crash in
native code) breaks the whole `ProcessPoolExecutor`. The pool is then replaced and
the calls it lost are run again, each alone in a process of its own until one kills
that process too: that call's result is a `WorkerDied` error, the rest go on in the
new pool.
"""

from __future__ import annotations

import multiprocessing
import os
import signal
from collections import deque
from collections.abc import Callable, Iterable, Iterator
from concurrent.futures import Executor, Future, ProcessPoolExecutor
from concurrent.futures.process import BrokenProcessPool
from contextlib import closing
from dataclasses import dataclass
from functools import partial
from itertools import chain, islice
from typing import TYPE_CHECKING, Any, Literal, TypeVar, Union, overload

from ._folioscan import parse, parse_to_html, parse_to_json, parse_to_markdown
from .extraction import extract, extract_with_warnings

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


class WorkerDied(Exception):
    """The worker process running a call ended before it gave a result: killed by a
    signal (kill -9, the kernel's out-of-memory killer) or crashed. The text names how,
    in the "Kind: message" form of parse errors: "WorkerDied: signal 9" or
    "WorkerDied: exit status 1"."""

    @classmethod
    def from_exit_code(cls, code: int | None) -> WorkerDied:
        how = f"signal {-code}" if code is not None and code < 0 else f"exit status {code}"
        return cls(f"WorkerDied: {how}")


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


def parse_item(item: WorkItem) -> Any:
    """The work of one file wherever it runs: its result, or the ValueError or OSError
    that stopped it, as a value."""
    try:
        if item.data is None:
            if item.path is None:
                raise TypeError("a WorkItem needs data or a path")
            if not item.warnings:
                return parse_file(item.path, item.password, item.format, strict=item.strict)
            with open(item.path, "rb") as handle:
                data = handle.read()
        else:
            data = item.data
        if item.warnings and not item.strict:
            return extract_with_warnings(data, item.password, item.format)
        result: Any = _converter(item.format, item.strict)(data, item.password)
        return result
    except (ValueError, OSError) as error:
        # The traceback refers to frames of this process only; drop it so the error
        # pickles small and reads the same whichever process made it.
        return error.with_traceback(None)


def _worker_init() -> None:
    # An interrupt at the terminal reaches the whole process group. The workers let
    # it pass: the caller gets KeyboardInterrupt, drops the queued work and waits for
    # the items in progress, so no worker dies half-way through writing a file.
    signal.signal(signal.SIGINT, signal.SIG_IGN)


class _Terminated(BaseException):
    """Raised in a pool worker by SIGTERM while it runs a call."""


_in_call = False


def _on_terminate(signum: int, _: object) -> None:
    # A pool whose worker died stops the other workers with SIGTERM. One in the middle
    # of a call unwinds first, so that the call can clean up (a half-written temporary
    # file is removed), and then exits with the status a shell gives that signal.
    if _in_call:
        raise _Terminated
    os._exit(128 + signum)


def _pool_worker_init() -> None:
    _worker_init()
    signal.signal(signal.SIGTERM, _on_terminate)


def _call_in_worker(function: Callable[[T], R], item: T) -> R:
    global _in_call
    try:
        _in_call = True
        try:
            return function(item)
        finally:
            _in_call = False
    except _Terminated:
        # Also when the signal came as the call returned: the pool is gone either way.
        os._exit(128 + signal.SIGTERM)


def _done(result: Any = None, error: BaseException | None = None) -> Future[Any]:
    """A future that already holds its outcome."""
    future: Future[Any] = Future()
    if error is not None:
        future.set_exception(error)
    else:
        future.set_result(result)
    return future


def _call_and_send(function: Callable[[T], R], item: T, sender: Any) -> None:
    _worker_init()
    try:
        outcome: tuple[bool, Any] = (True, function(item))
    except Exception as error:
        outcome = (False, error.with_traceback(None))
    sender.send(outcome)


def _run_alone(function: Callable[[T], R], item: T) -> Future[R]:
    """`function(item)` in a new process of its own, as a finished future: its result,
    its exception, or WorkerDied when the process ended without answering."""
    context = multiprocessing.get_context()
    receiver, sender = context.Pipe(duplex=False)
    process = context.Process(target=_call_and_send, args=(function, item, sender), daemon=True)
    process.start()
    sender.close()
    try:
        try:
            succeeded, value = receiver.recv()
        except EOFError:
            process.join()
            return _done(error=WorkerDied.from_exit_code(process.exitcode))
        return _done(value) if succeeded else _done(error=value)
    finally:
        receiver.close()
        # Also on an interrupt: like the pool's workers, this one finishes its call.
        process.join()


class _Pool:
    """The local worker processes for one call of `function`, replaced when one dies."""

    def __init__(self, function: Callable[[T], R], workers: int) -> None:
        self.function = function
        self.workers = workers
        self.executor = self._start()

    def _start(self) -> ProcessPoolExecutor:
        return ProcessPoolExecutor(max_workers=self.workers, initializer=_pool_worker_init)

    def submit(self, item: Any) -> Future[Any]:
        try:
            return self.executor.submit(_call_in_worker, self.function, item)
        except BrokenProcessPool as error:
            # Broken since the last result was read: handled when this item's turn comes.
            return _done(error=error)

    def lost(self, future: Future[Any]) -> bool:
        return isinstance(future.exception(), BrokenProcessPool)

    def recover(self, pending: deque[tuple[Any, Future[Any]]]) -> None:
        """A worker died, so every call not yet finished was lost. Starts a new pool and
        runs the lost calls one at a time in a process of their own until one kills it
        (that call gives WorkerDied); the calls after it go to the new pool."""
        self.executor.shutdown(wait=True)
        self.executor = self._start()
        found = False
        for index, (item, future) in enumerate(pending):
            if not self.lost(future):
                continue
            if found:
                pending[index] = (item, self.submit(item))
            else:
                outcome = _run_alone(self.function, item)
                found = isinstance(outcome.exception(), WorkerDied)
                pending[index] = (item, outcome)

    def close(self) -> None:
        self.executor.shutdown(wait=True)


def map_in_order(
    function: Callable[[T], R],
    items: Iterable[T],
    jobs: int,
    *,
    executor: Executor | None = None,
    on_error: Callable[[T, Exception], R] | None = None,
) -> Iterator[tuple[T, R]]:
    """Yields `(item, function(item))` for each item, in input order.

    With `jobs` above 1 the calls run in that many worker processes (fewer when
    there are fewer items), so `function`, the items and the results must pickle;
    with 1, or a single item, they run here. With an `executor`, every call runs on
    it and `jobs` is the number of calls it is expected to run at once. Items are
    read lazily and at most 2 * jobs calls are in flight or waiting to be handed out.

    A call that raises (in `function`, or because the local worker running it died,
    WorkerDied, or because the executor failed it) gives `on_error(item, error)` as
    its result; without `on_error` the exception ends the iteration. An executor that
    refuses new work (`submit` raises) ends it too. When the caller stops early or is
    interrupted, queued calls are cancelled; the running calls of the local pool are
    waited for, an executor's are left to it.
    """
    if jobs < 1:
        raise ValueError(f"jobs must be at least 1, got {jobs}")
    return _map_in_order(function, iter(items), jobs, executor, on_error)


def _map_in_order(
    function: Callable[[T], R],
    items: Iterator[T],
    jobs: int,
    executor: Executor | None,
    on_error: Callable[[T, Exception], R] | None,
) -> Iterator[tuple[T, R]]:
    if executor is not None:
        yield from _in_order(items, partial(executor.submit, function), jobs * _WINDOW_PER_JOB, on_error)
        return
    window = list(islice(items, jobs * _WINDOW_PER_JOB))
    if jobs == 1 or len(window) < 2:
        # One worker, or one item: a pool would only add its start-up time.
        for item in chain(window, items):
            try:
                result = function(item)
            except Exception as error:
                if on_error is None:
                    raise
                result = on_error(item, error)
            yield item, result
        return

    pool = _Pool(function, min(jobs, len(window)))
    with closing(pool):
        yield from _in_order(chain(window, items), pool.submit, jobs * _WINDOW_PER_JOB, on_error, pool)


def _in_order(
    items: Iterator[T],
    submit: Callable[[T], Future[R]],
    window: int,
    on_error: Callable[[T, Exception], R] | None,
    pool: _Pool | None = None,
) -> Iterator[tuple[T, R]]:
    """The ordered window: at most `window` futures from `submit`, read in input order."""
    pending: deque[tuple[T, Future[R]]] = deque()
    try:
        for item in islice(items, window):
            pending.append((item, submit(item)))
        while pending:
            if pool is not None and pool.lost(pending[0][1]):
                pool.recover(pending)
            item, future = pending.popleft()
            try:
                result = future.result()
            except Exception as error:
                if on_error is None:
                    raise
                result = on_error(item, error)
            del future
            # Refill before yielding, so the workers keep going while the caller
            # handles this result.
            for next_item in islice(items, 1):
                pending.append((next_item, submit(next_item)))
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
    _check_password(password)
    workers = _resolve_jobs(jobs)
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
            return _done(error.with_traceback(None))
        return executor.submit(parse_item, item(data=data))

    return _in_order(iter(paths), submit, workers * _WINDOW_PER_JOB, _error_as_result)


def _error_as_result(_: object, error: Exception) -> Exception:
    return error.with_traceback(None)


def _paths_of(results: Iterator[tuple[WorkItem, Any]]) -> Iterator[tuple[Any, Any]]:
    with closing(results):  # stopping early stops the pool at once
        for item, result in results:
            yield item.path, result
