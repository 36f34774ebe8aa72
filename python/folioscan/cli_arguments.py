"""The command line's arguments: the parser and the usage mistakes it cannot see by
itself, each reported with the usage text and exit status 2."""

from __future__ import annotations

import argparse
import os

from . import __version__
from .cli_convert import FORMATS, STDIN
from .cli_failures import PROG


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
        "--image-placeholders",
        action="store_true",
        help="mark each image where it stands in Markdown (![name]()) and HTML (<img alt>); not with --strict",
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
    if args.image_placeholders and args.strict:
        parser.error("--image-placeholders marks the images of the recovering reading: not with --strict")
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
