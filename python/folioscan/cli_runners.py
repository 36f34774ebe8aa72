"""The two runners of a batch: the local pool of worker processes, which convert each
PDF and write its output themselves, and a Dask cluster, which converts the bytes
sent to it while the outputs are written here. Both give outcomes in input order."""

from __future__ import annotations

import contextlib
import functools
from collections.abc import Generator, Iterator, Sequence
from concurrent.futures import Executor

from .batch import WorkItem, run_items
from .cli_convert import convert_file
from .cli_failures import Failure, Repair, failure_from
from .cli_output import Job, write_job
from .pool import map_in_order

# A converted job: the failure, or None; the page count; the repairs made.
Outcome = tuple[Failure | None, int, list[Repair]]


def convert_job(
    job: Job, output_format: str, password: str | None, strict: bool = True, *, image_placeholders: bool = False
) -> Outcome:
    """Converts one PDF of a batch and writes its output; gives the failure, or the
    page count, and the repairs made. Runs in a worker process, so the text never
    travels back."""
    result = convert_file(job.source, output_format, password, strict, image_placeholders=image_placeholders)
    if isinstance(result, Failure):
        return result, 0, []
    text, repairs = result
    failure, pages = write_job(job, text, output_format)
    return failure, pages, repairs


def lost_job(job: Job, error: Exception) -> Outcome:
    """The outcome of a job whose worker died (or that failed outside the converter)."""
    return failure_from(job.source, error), 0, []


def convert_locally(
    jobs: Sequence[Job], output_format: str, password: str | None, workers: int, strict: bool = True,
    *, image_placeholders: bool = False,
) -> Iterator[tuple[Job, Outcome]]:
    """Converts the jobs in `workers` local processes (in this one with 1), in order;
    each job's output is written where it is converted."""
    convert = functools.partial(
        convert_job, output_format=output_format, password=password, strict=strict,
        image_placeholders=image_placeholders,
    )
    return map_in_order(convert, jobs, workers, on_error=lost_job)


def convert_on(
    executor: Executor, jobs: Sequence[Job], output_format: str, password: str | None, at_once: int,
    strict: bool = True, *, image_placeholders: bool = False,
) -> Generator[tuple[Job, Outcome], None, None]:
    """Converts the jobs on a remote executor, in order. The PDFs are read here and
    sent as bytes; the texts (with the repairs made) come back and are written here."""
    item = functools.partial(
        WorkItem, password=password, format=output_format, strict=strict, warnings=True,
        image_placeholders=image_placeholders,
    )
    results = run_items([job.source for job in jobs], item, at_once, executor)
    with contextlib.closing(results):
        for job, (_, result) in zip(jobs, results):
            if isinstance(result, Exception):
                yield job, (failure_from(job.source, result), 0, [])
                continue
            text, warnings = (result, []) if strict else result
            failure, pages = write_job(job, text, output_format)
            yield job, (failure, pages, [Repair(job.source, w["page"], w["message"]) for w in warnings])


def connect(address: str) -> tuple[contextlib.ExitStack, Executor, int]:
    """A client of the Dask scheduler at `address`, its executor and its worker
    threads. Raises OSError when it cannot connect, ValueError for a malformed address."""
    import distributed

    with contextlib.ExitStack() as stack:
        client = stack.enter_context(distributed.Client(address, set_as_default=False))
        executor = client.get_executor()
        stack.callback(executor.shutdown, wait=False)
        return stack.pop_all(), executor, sum(client.nthreads().values())
    raise AssertionError("unreachable")  # for type checkers: the block above returns
