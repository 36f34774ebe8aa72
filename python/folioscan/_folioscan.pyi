"""The native extension module (`folioscan._folioscan`)."""

from typing import Any, Literal, NotRequired, TypedDict

__all__ = ["parse", "parse_to_json", "parse_to_html", "parse_to_markdown"]

class TextLine(TypedDict):
    text: str
    x: float | None
    y: float | None

class CellSpan(TypedDict):
    row: int
    col: int
    rows: int
    cols: int

class _TableBase(TypedDict):
    rows: int
    cols: int
    cells: list[list[str]]

class Table(_TableBase, total=False):
    # Recovery (extract) only: the table's box [x0, y0, x1, y1] in page space, and its
    # cells that span several rows or columns (only when some do).
    bbox: list[float | None]
    spans: list[CellSpan]

class ParsedImage(TypedDict):
    name: str
    format: Literal["Jpeg", "Jpeg2000", "Ccitt", "Jbig2", "Raw"]
    width: int
    height: int
    bits_per_component: int
    color_space: str

class Page(TypedDict):
    width: float | None
    height: float | None
    lines: list[TextLine]
    needs_ocr: bool
    tables: list[Table]
    images: list[ParsedImage]

class Block(TypedDict):
    """One block of a recovered page in reading order; "level" on headings (1 outermost)
    and list items (1 for the outermost list); "table" on table blocks, the index of
    their table in the page's "tables"; "image" on image blocks, the index of their
    image in the page's "images" (their "text" is empty)."""

    type: Literal["heading", "paragraph", "list_item", "table", "image"]
    text: str
    bbox: list[float | None]
    level: NotRequired[int]
    table: NotRequired[int]
    image: NotRequired[int]

class RecoveredPage(TypedDict):
    width: float | None
    height: float | None
    lines: list[TextLine]
    blocks: list[Block]
    needs_ocr: bool
    tables: list[Table]
    images: list[ParsedImage]

class Document(TypedDict):
    version: str
    pages: list[Page]

class Warning(TypedDict):
    page: int | None
    message: str

class RecoveredDocument(TypedDict):
    version: str
    pages: list[RecoveredPage]
    warnings: list[Warning]

def parse(data: bytes, password: str | None = None) -> Document:
    """Parse a PDF and return the extracted document as a native Python dict."""

def parse_to_json(data: bytes, password: str | None = None) -> str:
    """Parse a PDF and return its extracted form as pretty JSON."""

def parse_to_html(data: bytes, password: str | None = None) -> str:
    """Parse a PDF and render it to a standalone HTML document."""

def parse_to_markdown(data: bytes, password: str | None = None) -> str:
    """Parse a PDF and render it to Markdown."""

def _extract(
    data: bytes, password: str | None, output: int, with_warnings: bool = False, image_placeholders: bool = False, /
) -> Any:
    """Recovering extraction behind folioscan.extract; output is 0 dict, 1 JSON, 2 HTML, 3 Markdown."""

def _extract_pages(data: bytes, password: str | None, strict: bool, /) -> tuple[Any, list[str]]:
    """The document dict and each page's Markdown from one parse; recovering unless strict."""
