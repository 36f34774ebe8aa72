"""Converting one input of the command line, a PDF file or standard input ("-"), to
Markdown, JSON or HTML: strictly, as the parse_to_* functions do, or with repairs."""

from __future__ import annotations

import sys
from collections.abc import Callable

from . import parse_to_html, parse_to_json, parse_to_markdown
from .cli_failures import Failure, Repair, failure_from
from .extraction import extract_with_warnings

STDIN = "-"
STDIN_LABEL = "<stdin>"

# Output format name -> converter, in the order shown by --help.
FORMATS: dict[str, Callable[..., str]] = {
    "markdown": parse_to_markdown,
    "json": parse_to_json,
    "html": parse_to_html,
}


def read_input(path: str) -> bytes:
    if path == STDIN:
        return sys.stdin.buffer.read()
    with open(path, "rb") as handle:
        return handle.read()


def convert_file(
    path: str, output_format: str, password: str | None, strict: bool = True, *, image_placeholders: bool = False
) -> tuple[str, list[Repair]] | Failure:
    """Reads and converts one file ("-": standard input); returns the text with the
    repairs made (none when strict), or the reason it failed. `image_placeholders`
    marks the images of recovered Markdown and HTML where they stand."""
    label = STDIN_LABEL if path == STDIN else path
    try:
        data = read_input(path)
    except OSError as error:
        return failure_from(label, error)
    try:
        if strict:
            return FORMATS[output_format](data, password), []
        text, warnings = extract_with_warnings(data, password, output_format, image_placeholders)
    except ValueError as error:
        return failure_from(label, error)
    return text, [Repair(label, w["page"], w["message"]) for w in warnings]
