"""Page chunks for retrieval: ``chunks`` cuts a PDF into pieces of at most ``max_chars``
characters made of whole blocks in reading order, each with its page, its box and the
path of headings above it, which is what an index needs to cite where a passage stands.

A chunk never spans two pages and never splits a table or a list item; a paragraph is
split, at sentence ends only, when it alone is longer than ``max_chars``. The blocks are
a page's "blocks" when the extraction gives them; otherwise the page's lines stand in
for them (see ``line_blocks``), so there are no headings and boxes are estimates.
"""

from __future__ import annotations

import re
from collections.abc import Iterable, Iterator, Sequence
from typing import Any, Literal, NotRequired, TypedDict

from .extraction import check_strict, extract

__all__ = ["Block", "Chunk", "HeadingPath", "chunk_blocks", "chunks", "line_blocks", "page_blocks", "sentences"]


class Block(TypedDict):
    """One block of a page in reading order; "level" on headings (1 outermost) and list items."""

    type: Literal["heading", "paragraph", "list_item", "table", "image"]
    text: str
    bbox: list[float | None] | None
    level: NotRequired[int]


class Chunk(TypedDict):
    text: str
    page: int
    bbox: list[float] | None
    headings: list[str]


# Blocks of the extraction are separated by a blank line in a chunk, lines by a line feed.
BLOCK_SEPARATOR = "\n\n"
LINE_SEPARATOR = "\n"

# A sentence ends at ".", "!", "?" or "…" (with the quotes and brackets that close it)
# before white space; the CJK full stops end one without white space.
_SENTENCE_END = re.compile(
    r"[.!?\u2026]+[\"'\u201d\u2019\u00bb)\]]*\s+"  # Latin stops, then white space
    r"|[\u3002\uff01\uff1f]+[\u201d\u300d\u300f)\]]*\s*"  # CJK stops
)
_OPENERS = "\"'\u201c\u2018\u00ab(["


def sentences(text: str) -> list[str]:
    """`text` cut after each sentence end, white space kept with the sentence before it:
    the pieces joined give `text` back. An end followed by a lower-case letter ("e.g.
    the") is not one."""
    pieces: list[str] = []
    start = 0
    for match in _SENTENCE_END.finditer(text):
        end = match.end()
        if end >= len(text) or text[end:].lstrip(_OPENERS)[:1].islower():
            continue
        pieces.append(text[start:end])
        start = end
    if start < len(text):
        pieces.append(text[start:])
    return pieces


def split_paragraph(text: str, max_chars: int, first: int | None = None) -> list[str]:
    """`text` in pieces of whole sentences, each at most `max_chars` long (the first at
    most `first`), without the white space where it was cut; a sentence longer than that
    is a piece of its own."""
    limit = max_chars if first is None else first
    pieces: list[str] = []
    current = ""
    for sentence in sentences(text):
        if current and len((current + sentence).rstrip()) > limit:
            pieces.append(current.rstrip())
            current, limit = sentence, max_chars
        else:
            current += sentence
    if current.strip():
        pieces.append(current.rstrip())
    return pieces


class HeadingPath:
    """The headings above the current block, outermost first; carried from page to page."""

    def __init__(self) -> None:
        self.entries: list[tuple[int, str]] = []

    def enter(self, level: int, text: str) -> None:
        """A heading of `level` closes every open heading at that level or deeper."""
        while self.entries and self.entries[-1][0] >= level:
            self.entries.pop()
        self.entries.append((level, text))

    def texts(self) -> list[str]:
        return [text for _, text in self.entries]


def _box(block: Block) -> tuple[float, float, float, float] | None:
    box = block.get("bbox")
    if not isinstance(box, (list, tuple)):
        return None
    values = [float(v) for v in box if isinstance(v, (int, float)) and not isinstance(v, bool)]
    if len(values) != 4 or len(box) != 4:
        return None
    x0, y0, x1, y1 = values
    return min(x0, x1), min(y0, y1), max(x0, x1), max(y0, y1)


def _union(boxes: Sequence[tuple[float, float, float, float] | None]) -> list[float] | None:
    known = [box for box in boxes if box is not None]
    if not known:
        return None
    return [min(b[0] for b in known), min(b[1] for b in known), max(b[2] for b in known), max(b[3] for b in known)]


def chunk_blocks(
    blocks: Iterable[Block],
    max_chars: int,
    page: int = 0,
    headings: HeadingPath | None = None,
    separator: str = BLOCK_SEPARATOR,
) -> list[Chunk]:
    """The chunks of one page's blocks, given in reading order.

    Blocks are packed whole, joined by `separator`, while the chunk stays within
    `max_chars`. A heading starts a new chunk unless the chunk holds only headings above
    it; its text opens the chunk and enters `headings`, the path every chunk carries (pass
    the same path for each page of a document). A paragraph longer than `max_chars` is
    cut at sentence ends; other blocks are never cut, and a block that does not fit
    starts a new chunk, except that headings keep the first block below them even when
    the two exceed `max_chars` together. A chunk's box is the union of its blocks' boxes
    (a piece of a cut paragraph has the whole paragraph's); blocks without text are left
    out.
    """
    path = headings if headings is not None else HeadingPath()
    chunks: list[Chunk] = []
    texts: list[str] = []
    boxes: list[tuple[float, float, float, float] | None] = []
    has_body = False  # whether the open chunk holds more than headings
    deepest = 0  # level of the last heading in the open chunk

    def size_with(text: str) -> int:
        return sum(map(len, texts)) + len(separator) * len(texts) + len(text)

    def close() -> None:
        nonlocal has_body, deepest
        if texts:
            chunks.append({"text": separator.join(texts), "page": page, "bbox": _union(boxes),
                           "headings": path.texts()})
        texts.clear()
        boxes.clear()
        has_body, deepest = False, 0

    for block in blocks:
        text = (block.get("text") or "").strip()
        if not text:
            continue
        box = _box(block)
        kind = block.get("type")
        if kind == "heading":
            level = block.get("level") or 1
            if has_body or (texts and level <= deepest):
                close()
            path.enter(level, text)
            texts.append(text)
            boxes.append(box)
            deepest = level
            continue
        if kind == "paragraph" and len(text) > max_chars:
            if has_body:
                close()
            room = max_chars - size_with("") if texts else None
            pieces = split_paragraph(text, max_chars, room)
        else:
            pieces = [text]
        for piece in pieces:
            if has_body and size_with(piece) > max_chars:
                close()
            texts.append(piece)
            boxes.append(box)
            has_body = True
    close()
    return chunks


def _line_size(lines: Sequence[dict[str, Any]]) -> float:
    """The font size the page's lines suggest: the median gap between successive
    baselines over a leading of 1.2, or 12 when no gap can be measured."""
    gaps = [
        abs(b["y"] - a["y"])
        for a, b in zip(lines, lines[1:])
        if isinstance(a["y"], float) and isinstance(b["y"], float) and a["y"] != b["y"]
    ]
    if not gaps:
        return 12.0
    gaps.sort()
    middle = len(gaps) // 2
    median = gaps[middle] if len(gaps) % 2 else (gaps[middle - 1] + gaps[middle]) / 2
    return median / 1.2


def _words(text: str) -> str:
    return " ".join(text.split())


def _table_runs(lines: Sequence[dict[str, Any]], tables: Sequence[dict[str, Any]]) -> dict[int, int]:
    """Start index -> end index of the runs of lines that spell a table's rows (the
    non-empty cells of each row joined by spaces, as the line list holds them)."""
    texts = [_words(line["text"]) for line in lines]
    runs: dict[int, int] = {}
    for table in tables:
        rows = [row for row in (_words(" ".join(cells)) for cells in table["cells"]) if row]
        if not rows:
            continue
        for start in range(len(texts) - len(rows) + 1):
            if texts[start : start + len(rows)] == rows and not any(s < start + len(rows) and start < e
                                                                    for s, e in runs.items()):
                runs[start] = start + len(rows)
                break
    return runs


def line_blocks(page: dict[str, Any]) -> list[Block]:
    """A page's lines as blocks, for extractions that give no "blocks": each line a
    paragraph, and the lines that spell the rows of one of the page's tables one table
    block (a table with a box, whose text is not in the lines, a block at its place). A line's box is estimated from its start (x, y on the baseline) and a font
    size read from the line spacing (see `_line_size`): from a quarter of the size below
    the baseline to three quarters above it, and half the size wide per character, cut
    at the page's right edge. A line without a position has no box."""
    lines: list[dict[str, Any]] = page["lines"]
    size = _line_size(lines)
    right = page.get("width")

    def box(line: dict[str, Any]) -> tuple[float, float, float, float] | None:
        x, y = line["x"], line["y"]
        if not isinstance(x, float) or not isinstance(y, float):
            return None
        x1 = x + 0.5 * size * len(line["text"])
        if isinstance(right, float) and right > x:
            x1 = min(x1, right)
        return x, y - 0.25 * size, x1, y + 0.75 * size

    tables = page.get("tables", [])
    # Tables with a box (recovery's) left the lines: each is a block of its own before
    # the first line below its top edge. The others are found in the lines.
    placed = sorted((t for t in tables if t.get("bbox")), key=lambda t: -t["bbox"][3])
    runs = _table_runs(lines, [t for t in tables if not t.get("bbox")])
    blocks: list[Block] = []
    index = 0
    while index < len(lines) or placed:
        y = lines[index]["y"] if index < len(lines) else None
        if placed and (y is None or (isinstance(y, float) and placed[0]["bbox"][3] > y)):
            table = placed.pop(0)
            rows = [_words(" ".join(table["cells"][r])) for r in range(len(table["cells"]))]
            blocks.append({"type": "table", "text": LINE_SEPARATOR.join(r for r in rows if r),
                           "bbox": list(table["bbox"])})
            continue
        end = runs.get(index, index + 1)
        group = lines[index:end]
        text = LINE_SEPARATOR.join(line["text"] for line in group)
        bbox: list[float | None] | None = _union([box(line) for line in group])  # type: ignore[assignment]
        blocks.append({"type": "table" if index in runs else "paragraph", "text": text, "bbox": bbox})
        index = end
    return blocks


def page_blocks(page: dict[str, Any]) -> list[Block]:
    """A page's "blocks", where the consecutive blocks that spell the rows of one of the
    page's tables without a place among the blocks (whose text stays in the flow) make
    one table block, with the union of their boxes."""
    blocks: list[Block] = page["blocks"]
    runs = _table_runs(blocks, page.get("tables", []))  # type: ignore[arg-type]
    if not runs:
        return blocks
    out: list[Block] = []
    index = 0
    while index < len(blocks):
        end = runs.get(index, index + 1)
        if index not in runs:
            out.append(blocks[index])
        else:
            group = blocks[index:end]
            bbox: list[float | None] | None = _union([_box(b) for b in group])  # type: ignore[assignment]
            out.append({"type": "table", "text": LINE_SEPARATOR.join(b["text"] for b in group), "bbox": bbox})
        index = end
    return out


def _check_max_chars(max_chars: object) -> int:
    if isinstance(max_chars, bool) or not isinstance(max_chars, int):
        raise TypeError(f"chunks() argument 'max_chars' must be int, not {type(max_chars).__name__}")
    if max_chars < 1:
        raise ValueError(f"chunks() argument 'max_chars' must be at least 1, not {max_chars}")
    return max_chars


def document_chunks(document: dict[str, Any], max_chars: int) -> Iterator[Chunk]:
    """The chunks of an extracted document (the dict of `extract` or `parse`), page by
    page, with one heading path across its pages."""
    path = HeadingPath()
    for index, page in enumerate(document["pages"]):
        if "blocks" in page:
            yield from chunk_blocks(page_blocks(page), max_chars, index, path, BLOCK_SEPARATOR)
        else:
            yield from chunk_blocks(line_blocks(page), max_chars, index, path, LINE_SEPARATOR)


def chunks(
    data: bytes, password: str | None = None, *, max_chars: int = 2000, strict: bool = False
) -> Iterator[Chunk]:
    """Extract a PDF and yield its chunks in reading order: ``{"text", "page", "bbox",
    "headings"}``, ``page`` counted from 0, ``bbox`` ``[x0, y0, x1, y1]`` in the page's
    units (y upwards) or None, ``headings`` the texts of the headings above, outermost
    first (["2 Methods", "2.1 Data"]).

    Each chunk is at most ``max_chars`` characters of whole blocks; only a paragraph
    longer than that is cut, at sentence ends, and a table or list item longer than that
    is a chunk of its own. The file is read as ``extract`` reads it (``strict``: as
    ``parse`` does) when this is called, so a file that cannot be read raises here.
    """
    limit = _check_max_chars(max_chars)
    document = extract(data, password, strict=check_strict("chunks", strict))
    return document_chunks(document, limit)
