"""``extract``: the one entry that reads damaged files too.

By default it recovers: where the strict reading of the four functions stops, it
repairs what can be repaired (a cross-reference table rebuilt from the file, streams
decoded up to a fault, unreadable pages left empty) and reports each repair as a
warning. ``strict=True`` gives exactly what the four functions give, errors included.
"""

from __future__ import annotations

from typing import TYPE_CHECKING, Any, Literal, overload

from ._folioscan import _extract, _extract_pages, parse, parse_to_html, parse_to_json, parse_to_markdown

if TYPE_CHECKING:
    from ._folioscan import Document, RecoveredDocument

# Output codes of the native entry, by format name.
_OUTPUTS = {"dict": 0, "json": 1, "html": 2, "markdown": 3}
_STRICT = {"dict": parse, "json": parse_to_json, "html": parse_to_html, "markdown": parse_to_markdown}
FORMATS = tuple(_OUTPUTS)


def check_format(function: str, format: object) -> str:
    """The format name, or the TypeError / ValueError that `function` raises for it."""
    if not isinstance(format, str):
        raise TypeError(f"{function}() argument 'format' must be str, not {type(format).__name__}")
    if format not in _OUTPUTS:
        choices = ", ".join(repr(name) for name in _OUTPUTS)
        raise ValueError(f"{function}() argument 'format' must be one of {choices}, not {format!r}")
    return format


def check_strict(function: str, strict: object) -> bool:
    if not isinstance(strict, bool):
        raise TypeError(f"{function}() argument 'strict' must be bool, not {type(strict).__name__}")
    return strict


@overload
def extract(
    data: bytes,
    password: str | None = None,
    *,
    format: Literal["dict"] = "dict",
    strict: Literal[False] = False,
    image_placeholders: bool = False,
) -> RecoveredDocument: ...
@overload
def extract(
    data: bytes,
    password: str | None = None,
    *,
    format: Literal["dict"] = "dict",
    strict: Literal[True],
    image_placeholders: bool = False,
) -> Document: ...
@overload
def extract(
    data: bytes,
    password: str | None = None,
    *,
    format: Literal["json", "markdown", "html"],
    strict: bool = False,
    image_placeholders: bool = False,
) -> str: ...
@overload  # a format or mode only known at run time
def extract(
    data: bytes,
    password: str | None = None,
    *,
    format: str = "dict",
    strict: bool = False,
    image_placeholders: bool = False,
) -> Any: ...


def extract(
    data: bytes,
    password: str | None = None,
    *,
    format: str = "dict",
    strict: bool = False,
    image_placeholders: bool = False,
) -> Any:
    """Extract a PDF, repairing what the strict reading would refuse.

    Returns what the function of ``format`` returns ("dict": ``parse``, "json":
    ``parse_to_json``, "markdown": ``parse_to_markdown``, "html": ``parse_to_html``).
    Unless ``strict``, the dict and the JSON carry a list "warnings" after "pages":
    one ``{"page": index or None, "message": "Kind: text"}`` per repair, empty when
    none was needed. A wrong password is ``ValueError("InvalidPassword: wrong
    password")``. The interpreter lock is released while the file is read, so
    threads extract files side by side. With ``image_placeholders``, recovered Markdown
    writes each image block as ``![Im1]()`` and HTML as ``<img alt="Im1">`` (the
    image's name), where they otherwise write nothing; the dict and the JSON always
    carry the image blocks.
    """
    format = check_format("extract", format)
    if not isinstance(image_placeholders, bool):
        kind = type(image_placeholders).__name__
        raise TypeError(f"extract() argument 'image_placeholders' must be bool, not {kind}")
    if check_strict("extract", strict):
        return _STRICT[format](data, password)
    return _extract(data, password, _OUTPUTS[format], False, image_placeholders)


def extract_with_warnings(
    data: bytes, password: str | None, format: str, image_placeholders: bool = False
) -> tuple[Any, list[dict[str, Any]]]:
    """The recovering extraction in `format`, with its warnings beside it whatever the
    format (Markdown and HTML leave them out of the text): for the command line."""
    return _extract(data, password, _OUTPUTS[check_format("extract", format)], True, image_placeholders)


def extract_pages(data: bytes, password: str | None = None, *, strict: bool = False) -> tuple[Any, list[str]]:
    """The dict that ``extract`` gives (``parse`` with ``strict``) and the Markdown of
    each page beside it, from one parse. Page i's Markdown is the part of the
    document's Markdown that page i contributes: joined with "\n\n---\n\n" they
    are ``extract(format="markdown")`` (``parse_to_markdown`` with ``strict``)."""
    return _extract_pages(data, password, check_strict("extract_pages", strict))
