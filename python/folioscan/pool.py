"""The crash-tolerant ordered process pool: `map_in_order` runs a function over items
in worker processes (or on any `concurrent.futures.Executor`) and hands the results
back in input order, a bounded number at a time.

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
from functools import partial
from itertools import chain, islice
from typing import Any, TypeVar

__all__ = ["WINDOW_PER_JOB", "WorkerDied", "finished", "in_order", "map_in_order"]

T = TypeVar("T")
R = TypeVar("R")

# Futures kept in flight per worker: enough to keep every worker busy while the
# caller consumes results, few enough that memory stays bounded on long lists.
WINDOW_PER_JOB = 2


class WorkerDied(Exception):
    """The worker process running a call ended before it gave a result: killed by a
    signal (kill -9, the kernel's out-of-memory killer) or crashed. The text names how,
    in the "Kind: message" form of parse errors: "WorkerDied: signal 9" or
    "WorkerDied: exit status 1"."""

    @classmethod
    def from_exit_code(cls, code: int | None) -> WorkerDied:
        how = f"signal {-code}" if code is not None and code < 0 else f"exit status {code}"
        return cls(f"WorkerDied: {how}")


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


def finished(result: Any = None, error: BaseException | None = None) -> Future[Any]:
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
            return finished(error=WorkerDied.from_exit_code(process.exitcode))
        return finished(value) if succeeded else finished(error=value)
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
            return finished(error=error)

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
        yield from in_order(items, partial(executor.submit, function), jobs * WINDOW_PER_JOB, on_error)
        return
    window = list(islice(items, jobs * WINDOW_PER_JOB))
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
        yield from in_order(chain(window, items), pool.submit, jobs * WINDOW_PER_JOB, on_error, pool)


def in_order(
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
