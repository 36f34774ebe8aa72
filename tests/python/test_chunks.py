"""folioscan.chunks: packing blocks into chunks (headings, tables, list items, long
paragraphs cut at sentence ends), the line blocks used while an extraction gives no
blocks, and chunks of a reportlab document end to end."""

from __future__ import annotations

import io
import subprocess
import sys

import pytest
from reportlab.lib.pagesizes import A4
from reportlab.lib.styles import ParagraphStyle
from reportlab.platypus import PageBreak, Paragraph, SimpleDocTemplate, Table, TableStyle

import folioscan
from folioscan.chunking import HeadingPath, chunk_blocks, document_chunks, line_blocks, sentences

SENTENCE = "The quick brown fox jumps over the lazy dog again. "  # 51 characters


def block(kind: str, text: str, level: int | None = None, box=(0, 0, 10, 10)) -> dict:
    made = {"type": kind, "text": text, "bbox": None if box is None else list(box)}
    if level is not None:
        made["level"] = level
    return made


def words(texts) -> list[str]:
    return " ".join(texts).split()


@pytest.mark.parametrize(
    "text, pieces",
    [
        ("One. Two! Three? Four", ["One. ", "Two! ", "Three? ", "Four"]),
        ("See e.g. the notes. Pi is 3.14 here.", ["See e.g. the notes. ", "Pi is 3.14 here."]),
        ('He said "stop." Then (quietly.) "Next" came.', ['He said "stop." ', "Then (quietly.) ", '"Next" came.']),
        ("\u4e00\u3002\u4e8c\uff01\u4e09", ["\u4e00\u3002", "\u4e8c\uff01", "\u4e09"]),
    ],
)
def test_sentences_end_at_stops_not_followed_by_lower_case(text, pieces):
    assert sentences(text) == pieces and "".join(pieces) == text


def test_headings_make_the_path_and_open_the_chunks_below_them():
    blocks = [
        block("heading", "1 Intro", 1), block("paragraph", "Alpha."),
        block("heading", "2 Methods", 1), block("heading", "2.1 Data", 2), block("paragraph", "Beta."),
        block("heading", "2.2 Model", 2), block("list_item", "- one", 1), block("list_item", "- two", 1),
    ]
    path = HeadingPath()
    first = chunk_blocks(blocks, 200, page=3, headings=path)
    assert [(c["text"], c["headings"], c["page"]) for c in first] == [
        ("1 Intro\n\nAlpha.", ["1 Intro"], 3),
        ("2 Methods\n\n2.1 Data\n\nBeta.", ["2 Methods", "2.1 Data"], 3),
        ("2.2 Model\n\n- one\n\n- two", ["2 Methods", "2.2 Model"], 3),
    ]
    # The path carries over to the next page until a heading of its level closes it.
    [carried, closed] = [chunk_blocks([b], 200, 4, path) for b in (block("paragraph", "Gamma."),
                                                                    block("heading", "3 Results", 1))]
    assert carried[0]["headings"] == ["2 Methods", "2.2 Model"] and closed[0]["headings"] == ["3 Results"]


def test_tables_and_list_items_stay_whole_and_long_paragraphs_are_cut_at_sentence_ends():
    table = block("table", "| a | b |\n| --- | --- |\n" + "| x | y |\n" * 30, box=(50, 100, 300, 400))
    long = block("paragraph", SENTENCE * 9, box=(50, 500, 300, 700))
    item = block("list_item", "- " + "word " * 40)
    blocks = [block("heading", "Results and discussion", 1), long, table, item, block("paragraph", "Short.")]
    result = chunk_blocks(blocks, 120)
    texts = [c["text"] for c in result]
    assert table["text"].strip() in texts and item["text"].strip() in texts
    # The heading keeps the first sentences below it; the rest go two to a chunk.
    assert texts[:5] == ["Results and discussion\n\n" + SENTENCE.strip(), *[(SENTENCE * 2).strip()] * 4]
    assert all(len(t) <= 120 for t in texts if t not in (table["text"].strip(), item["text"].strip()))
    assert words(texts) == words(b["text"] for b in blocks)  # nothing lost or repeated
    assert result[1]["bbox"] == [50.0, 500.0, 300.0, 700.0]  # a piece has its paragraph's box
    assert texts[-1] == "Short." and result[-1]["headings"] == ["Results and discussion"]
    # Small blocks share a chunk, whose box covers theirs; blocks without text are left out.
    small = [block("paragraph", "a" * 40, box=(10, 700, 100, 712)), block("image", "  "),
             block("paragraph", "b" * 40, box=(12, 680, 90, 692)), block("paragraph", "c" * 40, box=None)]
    assert [(c["text"], c["bbox"]) for c in chunk_blocks(small, 85, separator="\n")] == [
        ("a" * 40 + "\n" + "b" * 40, [10.0, 680.0, 100.0, 712.0]), ("c" * 40, None)]


def test_blocks_of_the_extraction_are_used_when_present():
    document = {"pages": [
        {"lines": [{"text": "ignored", "x": 0.0, "y": 0.0}], "tables": [],
         "blocks": [block("heading", "Title", 1), block("paragraph", "Body text.")]},
        {"lines": [{"text": "Line one", "x": 72.0, "y": 700.0}, {"text": "Line two", "x": 72.0, "y": 688.0}],
         "tables": [], "width": 612.0},
    ]}
    result = list(document_chunks(document, 100))
    assert [(c["text"], c["page"], c["headings"]) for c in result] == [
        ("Title\n\nBody text.", 0, ["Title"]), ("Line one\nLine two", 1, ["Title"])]
    # Line boxes: the size is the 12-point line gap over 1.2.
    assert result[1]["bbox"] == [72.0, 685.5, 112.0, 707.5]


def line_block_page(lines, tables=()):
    return {"width": 612.0, "lines": [{"text": t, "x": 72.0, "y": 700.0 - 14 * i} for i, t in enumerate(lines)],
            "tables": [{"rows": len(c), "cols": len(c[0]), "cells": c} for c in tables]}


def test_the_lines_of_a_ruled_table_make_one_table_block():
    page = line_block_page(["Prices", "Name Qty", "Apple 3", "After"], [[["Name", "Qty"], ["Apple", "3"], ["", ""]]])
    assert [(b["type"], b["text"]) for b in line_blocks(page)] == [
        ("paragraph", "Prices"), ("table", "Name Qty\nApple 3"), ("paragraph", "After")]
    unmatched = line_block_page(["Prices", "Name Qty"], [[["Other", "cells"]]])
    assert [b["type"] for b in line_blocks(unmatched)] == ["paragraph", "paragraph"]


@pytest.mark.parametrize(
    "options, error, text",
    [
        ({"max_chars": 0}, ValueError, "chunks() argument 'max_chars' must be at least 1, not 0"),
        ({"max_chars": True}, TypeError, "chunks() argument 'max_chars' must be int, not bool"),
    ],
)
def test_chunks_checks_its_arguments_at_the_call(options, error, text):
    with pytest.raises(error) as raised:
        folioscan.chunks(b"%PDF-1.4", **options)
    assert str(raised.value) == text


def report() -> bytes:
    buffer = io.BytesIO()
    heading = ParagraphStyle("h", fontName="Helvetica-Bold", fontSize=16, leading=20)
    body = ParagraphStyle("b", fontName="Helvetica", fontSize=10, leading=13)
    rows = [["Name", "Qty"], *([f"item number {i}", str(i)] for i in range(12))]
    table = Table(rows, colWidths=[120, 60])
    table.setStyle(TableStyle([("GRID", (0, 0), (-1, -1), 0.5, "black")]))
    story = [Paragraph("1 Methods", heading), Paragraph(SENTENCE * 12, body), table, PageBreak(),
             Paragraph("2 Results", heading), Paragraph(SENTENCE * 3, body)]
    SimpleDocTemplate(buffer, pagesize=A4, invariant=1).build(story)
    return buffer.getvalue()


def test_chunks_of_a_reportlab_document_keep_every_word_once_the_table_whole_and_the_headings():
    data = report()
    # The strict lines hold the table's rows too; recovery's table left its lines.
    pages = folioscan.extract(data, strict=True)["pages"]
    result = list(folioscan.chunks(data, max_chars=200))
    for index, page in enumerate(pages):
        on_page = [c for c in result if c["page"] == index]
        assert " ".join(c["text"] for c in on_page).split() == " ".join(line["text"] for line in page["lines"]).split()
    table = next(c for c in result if c["text"].startswith("Name Qty"))
    assert table["text"].endswith("item number 11 11") and len(table["text"]) > 200
    assert all(len(c["text"]) <= 200 for c in result if c is not table)
    assert [c["headings"] for c in result if c["page"] == 1] == [["2 Results"]]
    assert all(c["headings"] == ["1 Methods"] for c in result if c["page"] == 0)
    heading = folioscan.extract(data)["pages"][0]["blocks"][0]
    x0, y0, x1, y1 = result[0]["bbox"]
    assert heading["type"] == "heading" and x0 == heading["bbox"][0] and y1 == heading["bbox"][3] and y0 < y1
    strict = list(folioscan.chunks(data, max_chars=200, strict=True))
    assert " ".join(c["text"] for c in strict).split() == " ".join(c["text"] for c in result).split()


def test_import_folioscan_leaves_langchain_unimported():
    code = "import sys, folioscan; folioscan.chunks; assert 'langchain_core' not in sys.modules, 'imported'"
    done = subprocess.run([sys.executable, "-c", code], capture_output=True, text=True, timeout=60)
    assert done.returncode == 0, done.stderr
