"""Command line: convert a PDF file to Markdown, JSON or HTML.

    python -m folioscan FILE [--format markdown|json|html] [--password PW] [-o OUT]

The result goes to standard output, or to OUT with ``-o``. A file that cannot be
read or parsed gives one line "folioscan: PATH: reason" on standard error and
exit status 1; a usage mistake gives exit status 2.
"""

from __future__ import annotations

import argparse
import os
import sys
from collections.abc import Callable, Sequence
from dataclasses import dataclass

from . import __version__, parse_to_html, parse_to_json, parse_to_markdown

PROG = "folioscan"

# Output format name -> converter, in the order shown by --help.
FORMATS: dict[str, Callable[..., str]] = {
    "markdown": parse_to_markdown,
    "json": parse_to_json,
    "html": parse_to_html,
}

EXIT_OK = 0
EXIT_FAILED = 1


@dataclass(frozen=True)
class Failure:
    """One file that could not be converted, with the reason to report."""

    path: str
    reason: str

    def line(self) -> str:
        return f"{PROG}: {self.path}: {self.reason}"


def build_parser() -> argparse.ArgumentParser:
    parser = argparse.ArgumentParser(
        prog=PROG,
        description="Extract the text, tables and images of a PDF file as Markdown, JSON or HTML.",
    )
    parser.add_argument("file", metavar="FILE", help="the PDF file to convert")
    parser.add_argument(
        "-f",
        "--format",
        choices=list(FORMATS),
        default="markdown",
        help="output format (default: markdown)",
    )
    parser.add_argument("--password", metavar="PW", help="password of an encrypted PDF")
    parser.add_argument(
        "-o", "--output", metavar="OUT", help="write the result to OUT instead of standard output"
    )
    parser.add_argument("--version", action="version", version=f"%(prog)s {__version__}")
    return parser


def convert_file(path: str, output_format: str, password: str | None) -> str | Failure:
    """Reads and converts one file; returns the text or the reason it failed."""
    try:
        with open(path, "rb") as handle:
            data = handle.read()
    except OSError as error:
        return Failure(path, error.strerror or str(error))
    try:
        return FORMATS[output_format](data, password)
    except ValueError as error:
        return Failure(path, str(error))


def write_text(text: str, output: str | None) -> Failure | None:
    """Writes the result as UTF-8 to OUT exactly, or to standard output ending in a line feed."""
    data = text.encode("utf-8")
    if output is not None:
        try:
            with open(output, "wb") as handle:
                handle.write(data)
        except OSError as error:
            return Failure(output, error.strerror or str(error))
        return None
    if not data.endswith(b"\n"):
        data += b"\n"
    sys.stdout.buffer.write(data)
    sys.stdout.buffer.flush()
    return None


def main(argv: Sequence[str] | None = None) -> int:
    parser = build_parser()
    args = parser.parse_args(argv)
    if args.password is not None:
        try:
            args.password.encode("utf-8")
        except UnicodeEncodeError:
            parser.error("argument --password: not valid UTF-8")

    result = convert_file(args.file, args.format, args.password)
    if isinstance(result, Failure):
        print(result.line(), file=sys.stderr)
        return EXIT_FAILED
    try:
        failure = write_text(result, args.output)
    except BrokenPipeError:
        # The reader went away (e.g. `| head`): stay quiet like other filters, and
        # point stdout at devnull so the interpreter's final flush cannot fail again.
        devnull = os.open(os.devnull, os.O_WRONLY)
        os.dup2(devnull, sys.stdout.fileno())
        os.close(devnull)
        return EXIT_FAILED
    if failure is not None:
        print(failure.line(), file=sys.stderr)
        return EXIT_FAILED
    return EXIT_OK


if __name__ == "__main__":
    sys.exit(main())
