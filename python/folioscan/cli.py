"""Command line (`folioscan`, `python -m folioscan`): PDF files to Markdown, JSON or HTML.

    folioscan FILE_OR_DIR... [--format markdown|json|html] [--password PW]
              [-o OUT | --out-dir DIR] [--jobs N] [--dask ADDRESS] [--recursive]
              [--quiet] [--errors FILE] [--strict]

One file (or "-" for standard input) goes to standard output, or to OUT with
``-o``. Several files or folders go to DIR, one output per PDF, converted by a
pool of worker processes, or with ``--dask`` by the workers of a Dask cluster (the
outputs are still written here). A file that cannot be read or parsed gives one line
"folioscan: PATH: reason" on standard error and makes the exit status 1 without
stopping the others; a usage mistake gives exit status 2, an interrupt 130.
Files are read with repairs (as ``folioscan.extract`` does), each counted as a
warning in the summary and listed in the ``--errors`` report; ``--strict`` reads
them exactly as the ``parse_to_*`` functions do.
"""

from __future__ import annotations

import argparse
import contextlib
import functools
import json
import os
import signal
import stat
import sys
import tempfile
import time
from collections.abc import Callable, Generator, Iterator, Sequence
from concurrent.futures import Executor
from dataclasses import dataclass
from typing import Any, TextIO

from . import __version__, parse_to_html, parse_to_json, parse_to_markdown
from .batch import WorkItem, map_in_order, run_items
from .extraction import extract_with_warnings

PROG = "folioscan"
STDIN = "-"
STDIN_LABEL = "<stdin>"

# Output format name -> converter, in the order shown by --help.
FORMATS: dict[str, Callable[..., str]] = {
    "markdown": parse_to_markdown,
    "json": parse_to_json,
    "html": parse_to_html,
}
EXTENSIONS = {"markdown": ".md", "json": ".json", "html": ".html"}

EXIT_OK = 0
EXIT_FAILED = 1
EXIT_USAGE = 2
EXIT_INTERRUPTED = 130


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


@dataclass(frozen=True)
class Job:
    """One PDF of a batch: where it is read from and where its result goes."""

    source: str
    output: str


class UsageError(Exception):
    """A command line that cannot be carried out; reported with the usage text."""


# ---------------------------------------------------------------- arguments


def positive_int(text: str) -> int:
    try:
        value = int(text)
    except ValueError:
        raise argparse.ArgumentTypeError(f"invalid int value: {text!r}") from None
    if value < 1:
        raise argparse.ArgumentTypeError(f"must be at least 1, got {value}")
    return value


def build_parser() -> argparse.ArgumentParser:
    parser = argparse.ArgumentParser(
        prog=PROG,
        description="Extract the text, tables and images of PDF files as Markdown, JSON or HTML.",
    )
    parser.add_argument(
        "inputs",
        nargs="+",
        metavar="FILE_OR_DIR",
        help='PDF files, folders of PDF files, or "-" for one PDF on standard input',
    )
    parser.add_argument(
        "-f",
        "--format",
        choices=list(FORMATS),
        default="markdown",
        help="output format (default: markdown)",
    )
    parser.add_argument("--password", metavar="PW", help="password of encrypted PDFs")
    target = parser.add_mutually_exclusive_group()
    target.add_argument(
        "-o",
        "--output",
        metavar="OUT",
        help="write the result of one input to OUT instead of standard output",
    )
    target.add_argument(
        "--out-dir",
        metavar="DIR",
        help="write one output per PDF into DIR (.md, .json or .html), mirroring the folders given",
    )
    parser.add_argument(
        "-j",
        "--jobs",
        type=positive_int,
        metavar="N",
        help="worker processes for a batch (default: one per CPU; 1 converts in this process)",
    )
    parser.add_argument(
        "--dask",
        metavar="ADDRESS",
        help="convert a batch on the Dask cluster whose scheduler is at ADDRESS (e.g. tcp://10.0.0.5:8786); "
        "--jobs then sets how many files it converts at once (default: its worker threads)",
    )
    parser.add_argument(
        "-r", "--recursive", action="store_true", help="take PDFs from subfolders of the folders given too"
    )
    parser.add_argument(
        "-q", "--quiet", action="store_true", help="no progress bar and no summary (errors are still shown)"
    )
    parser.add_argument(
        "--strict",
        action="store_true",
        help="read files as parse_to_* do: no repairs, a damaged file fails (default: repair and warn)",
    )
    parser.add_argument(
        "--errors",
        metavar="FILE",
        help='write one JSON object per failed file, and per repair made ("kind": "warning"), to FILE (JSON lines)',
    )
    parser.add_argument("--version", action="version", version=f"%(prog)s {__version__}")
    return parser


def check_arguments(parser: argparse.ArgumentParser, args: argparse.Namespace) -> None:
    """Usage mistakes that argparse cannot see by itself; each exits with status 2."""
    if args.password is not None:
        try:
            args.password.encode("utf-8")
        except UnicodeEncodeError:
            parser.error("argument --password: not valid UTF-8")
    inputs: list[str] = args.inputs
    if STDIN in inputs and (len(inputs) > 1 or args.out_dir is not None):
        parser.error('"-" (standard input) must be the only input and cannot go to --out-dir')
    if args.out_dir is not None:
        return
    if args.dask is not None:
        parser.error("--dask converts a batch: use --out-dir")
    if len(inputs) > 1:
        if args.output is not None:
            parser.error("-o takes a single input; use --out-dir for several")
        parser.error("several inputs need --out-dir")
    if inputs[0] != STDIN and os.path.isdir(inputs[0]):
        parser.error(f"{inputs[0]} is a folder: use --out-dir")


# ---------------------------------------------------------------- reading and writing


def read_input(path: str) -> bytes:
    if path == STDIN:
        return sys.stdin.buffer.read()
    with open(path, "rb") as handle:
        return handle.read()


def convert_file(
    path: str, output_format: str, password: str | None, strict: bool = True
) -> tuple[str, list[Repair]] | Failure:
    """Reads and converts one file ("-": standard input); returns the text with the
    repairs made (none when strict), or the reason it failed."""
    label = STDIN_LABEL if path == STDIN else path
    try:
        data = read_input(path)
    except OSError as error:
        return failure_from(label, error)
    try:
        if strict:
            return FORMATS[output_format](data, password), []
        text, warnings = extract_with_warnings(data, password, output_format)
    except ValueError as error:
        return failure_from(label, error)
    return text, [Repair(label, w["page"], w["message"]) for w in warnings]


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


# ---------------------------------------------------------------- finding the PDFs


def is_pdf_name(name: str) -> bool:
    return name.lower().endswith(".pdf")


def output_name(name: str, extension: str) -> str:
    """report.pdf -> report.md; a name without the .pdf suffix keeps it whole: notes.txt -> notes.txt.md."""
    return (name[:-4] if is_pdf_name(name) else name) + extension


def find_pdfs(folder: str, recursive: bool, failures: list[Failure]) -> list[str]:
    """Paths, relative to `folder` and sorted, of the PDF files in it (and below it
    with `recursive`). Folders that cannot be listed are added to `failures`.
    Links to folders are not followed, so a link cycle cannot trap the walk."""
    found: list[str] = []

    def walk(relative: str) -> None:
        here = os.path.join(folder, relative) if relative else folder
        try:
            with os.scandir(here) as listing:
                entries = sorted(listing, key=lambda entry: entry.name)
        except OSError as error:
            failures.append(failure_from(here, error))
            return
        for entry in entries:
            path = os.path.join(relative, entry.name) if relative else entry.name
            try:
                if entry.is_dir(follow_symlinks=False):
                    if recursive:
                        walk(path)
                elif is_pdf_name(entry.name) and entry.is_file():
                    found.append(path)
            except OSError as error:
                failures.append(failure_from(os.path.join(folder, path), error))

    walk("")
    return found


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


# ---------------------------------------------------------------- progress


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


# ---------------------------------------------------------------- the two modes


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
    result = convert_file(args.inputs[0], args.format, args.password, args.strict)
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


# A converted job: the failure, or None; the page count; the repairs made.
Outcome = tuple[Failure | None, int, list[Repair]]


def convert_job(job: Job, output_format: str, password: str | None, strict: bool = True) -> Outcome:
    """Converts one PDF of a batch and writes its output; gives the failure, or the
    page count, and the repairs made. Runs in a worker process, so the text never
    travels back."""
    result = convert_file(job.source, output_format, password, strict)
    if isinstance(result, Failure):
        return result, 0, []
    text, repairs = result
    failure, pages = write_job(job, text, output_format)
    return failure, pages, repairs


def write_job(job: Job, text: str, output_format: str) -> tuple[Failure | None, int]:
    """Writes one converted PDF of a batch; gives the failure, or the page count."""
    try:
        os.makedirs(os.path.dirname(job.output), exist_ok=True)
        write_atomically(job.output, text.encode("utf-8"))
    except OSError as error:
        return failure_from(job.output, error), 0
    return None, count_pages(text, output_format)


def lost_job(job: Job, error: Exception) -> Outcome:
    """The outcome of a job whose worker died (or that failed outside the converter)."""
    return failure_from(job.source, error), 0, []


def convert_on(
    executor: Executor, jobs: Sequence[Job], output_format: str, password: str | None, at_once: int,
    strict: bool = True,
) -> Generator[tuple[Job, Outcome], None, None]:
    """Converts the jobs on a remote executor, in order. The PDFs are read here and
    sent as bytes; the texts (with the repairs made) come back and are written here."""
    item = functools.partial(WorkItem, password=password, format=output_format, strict=strict, warnings=True)
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
        outcomes = convert_on(executor, jobs, args.format, args.password, at_once, args.strict)
    else:
        convert = functools.partial(
            convert_job, output_format=args.format, password=args.password, strict=args.strict
        )
        outcomes = map_in_order(convert, jobs, args.jobs or os.cpu_count() or 1, on_error=lost_job)

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
