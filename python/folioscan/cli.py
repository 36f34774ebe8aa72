"""Command line (`folioscan`, `python -m folioscan`): PDF files to Markdown, JSON or HTML.

    folioscan FILE_OR_DIR... [--format markdown|json|html] [--password PW]
              [-o OUT | --out-dir DIR] [--jobs N] [--dask ADDRESS] [--recursive]
              [--quiet] [--errors FILE] [--strict] [--image-placeholders]

One file (or "-" for standard input) goes to standard output, or to OUT with
``-o``. Several files or folders go to DIR, one output per PDF, converted by a
pool of worker processes, or with ``--dask`` by the workers of a Dask cluster (the
outputs are still written here). A file that cannot be read or parsed gives one line
"folioscan: PATH: reason" on standard error and makes the exit status 1 without
stopping the others; a usage mistake gives exit status 2, an interrupt 130.
Files are read with repairs (as ``folioscan.extract`` does), each counted as a
warning in the summary and listed in the ``--errors`` report; ``--strict`` reads
them exactly as the ``parse_to_*`` functions do. ``--image-placeholders`` marks each
image of the recovered Markdown and HTML where it stands.

The parts live beside this module: the arguments (cli_arguments), converting one
input (cli_convert), finding the PDFs of a folder (cli_discovery), planning and
writing the outputs (cli_output), the progress bar (cli_progress), failures and
repairs as reported (cli_failures), and the local and Dask runners (cli_runners).
"""

from __future__ import annotations

import argparse
import contextlib
import os
import sys
import time
from collections.abc import Generator, Sequence

# Failure, build_parser, convert_file and write_text are offered here beside main
# (folioscan.__main__ lists them).
from .cli_arguments import build_parser as build_parser, check_arguments
from .cli_convert import convert_file as convert_file
from .cli_failures import PROG, Failure as Failure, Repair, failure_from
from .cli_output import EXTENSIONS, UsageError, plan_jobs, write_report, write_text as write_text
from .cli_progress import Progress, summary
from .cli_runners import connect, convert_locally, convert_on

EXIT_OK = 0
EXIT_FAILED = 1
EXIT_USAGE = 2
EXIT_INTERRUPTED = 130


def report(failure: Failure, failures: list[Failure]) -> None:
    failures.append(failure)
    print(failure.line(), file=sys.stderr, flush=True)


def finish(args: argparse.Namespace, failures: list[Failure], repairs: Sequence[Repair] = ()) -> int:
    """Writes the --errors report and gives the exit status (warnings do not fail)."""
    if args.errors is not None:
        problem = write_report(args.errors, [*failures, *repairs])
        if problem is not None:
            print(problem.line(), file=sys.stderr)
            return EXIT_FAILED
    return EXIT_FAILED if failures else EXIT_OK


def run_single(args: argparse.Namespace) -> int:
    failures: list[Failure] = []
    result = convert_file(
        args.inputs[0], args.format, args.password, args.strict, image_placeholders=args.image_placeholders
    )
    if isinstance(result, Failure):
        report(result, failures)
        return finish(args, failures)
    text, repairs = result
    try:
        failure = write_text(text, args.output)
    except BrokenPipeError:
        # The reader went away (e.g. `| head`): stay quiet like other filters, and
        # point stdout at devnull so the interpreter's final flush cannot fail again.
        devnull = os.open(os.devnull, os.O_WRONLY)
        os.dup2(devnull, sys.stdout.fileno())
        os.close(devnull)
        return EXIT_FAILED
    if failure is not None:
        report(failure, failures)
    return finish(args, failures, repairs)


def run_batch(parser: argparse.ArgumentParser, args: argparse.Namespace) -> int:
    started = time.monotonic()
    failures: list[Failure] = []
    scan_failures: list[Failure] = []
    try:
        jobs = plan_jobs(args.inputs, args.out_dir, EXTENSIONS[args.format], args.recursive, scan_failures)
    except UsageError as error:
        parser.error(str(error))
    for unlisted in scan_failures:
        report(unlisted, failures)
    try:
        os.makedirs(args.out_dir, exist_ok=True)
    except OSError as error:
        report(failure_from(args.out_dir, error), failures)
        return finish(args, failures)

    cluster = contextlib.ExitStack()
    if args.dask is not None:
        try:
            cluster, executor, threads = connect(args.dask)
        except (OSError, ValueError) as error:
            print(f"{PROG}: cannot connect to the Dask scheduler at {args.dask}: {error}", file=sys.stderr)
            finish(args, failures)
            return EXIT_FAILED
        at_once = args.jobs or max(threads, 1)
        outcomes = convert_on(
            executor, jobs, args.format, args.password, at_once, args.strict,
            image_placeholders=args.image_placeholders,
        )
    else:
        outcomes = convert_locally(
            jobs, args.format, args.password, args.jobs or os.cpu_count() or 1, args.strict,
            image_placeholders=args.image_placeholders,
        )

    progress = Progress(len(jobs), sys.stderr, sys.stderr.isatty() and not args.quiet)
    done = pages = 0
    repairs: list[Repair] = []
    progress.update(done, pages, len(failures), force=True)
    try:
        for _, (failure, page_count, repaired) in outcomes:
            done += 1
            pages += page_count
            repairs += repaired
            if failure is not None:
                progress.clear()
                report(failure, failures)
            progress.update(done, pages, len(failures), force=done == len(jobs))
    except KeyboardInterrupt:
        progress.clear()
        print(f"{PROG}: interrupted after {done} of {len(jobs)} files", file=sys.stderr)
        finish(args, failures, repairs)  # the report covers the files done
        return EXIT_INTERRUPTED
    except Exception as error:
        # The executor gave up (a cluster that went away): the outputs written so far
        # are whole, the others were not started or not written.
        progress.clear()
        print(f"{PROG}: stopped after {done} of {len(jobs)} files: {type(error).__name__}: {error}",
              file=sys.stderr)
        finish(args, failures, repairs)
        return EXIT_FAILED
    finally:
        if isinstance(outcomes, Generator):
            outcomes.close()  # cancels the work not started, while the client is still there
        cluster.close()
    progress.clear()
    if not args.quiet:
        warned = None if args.strict else len(repairs)
        print(summary(len(jobs), pages, len(failures), time.monotonic() - started, warned), file=sys.stderr)
    return finish(args, failures, repairs)


def main(argv: Sequence[str] | None = None) -> int:
    parser = build_parser()
    args = parser.parse_args(argv)
    check_arguments(parser, args)
    if args.dask is not None:
        try:
            import distributed  # noqa: F401  (the optional extra, imported only for --dask)
        except ImportError:
            print(f"{PROG}: --dask needs dask[distributed]: pip install 'folioscan[dask]'", file=sys.stderr)
            return EXIT_USAGE
    try:
        if args.out_dir is None:
            return run_single(args)
        return run_batch(parser, args)
    except KeyboardInterrupt:
        # Outputs are only ever replaced whole, so there is nothing to clean up.
        print(f"{PROG}: interrupted", file=sys.stderr)
        return EXIT_INTERRUPTED
