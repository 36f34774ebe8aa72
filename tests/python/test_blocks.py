"""A recovered page's structure end to end on reportlab documents: two columns under a
title, headings by size and weight, lists, words hyphenated at line ends, and the
blocks in the dict, JSON, Markdown and HTML (the strict reading has none)."""

from __future__ import annotations

import io
import json

import pytest
from reportlab.lib.pagesizes import letter
from reportlab.pdfgen import canvas

import folioscan

WORDS = "alpha beta gamma delta epsilon zeta eta theta iota kappa lambda mu".split()


def prose(seed: int, count: int) -> list[str]:
    """`count` lines of six words, different for each seed."""
    return [" ".join(f"{WORDS[(seed + i + j) % len(WORDS)]}{seed}" for j in range(6)) for i in range(count)]


def two_column_page() -> tuple[bytes, list[str], list[str]]:
    buffer = io.BytesIO()
    c = canvas.Canvas(buffer, pagesize=letter, invariant=1)
    c.setFont("Helvetica-Bold", 20)
    c.drawString(72, 730, "Survey Of Things")
    left, right = prose(1, 10), prose(2, 10)
    c.setFont("Helvetica", 9)
    for i, (a, b) in enumerate(zip(left, right)):
        c.drawString(72, 690 - 11 * i, a)
        c.drawString(320, 690 - 11 * i, b)
    c.showPage()
    c.save()
    return buffer.getvalue(), left, right


def test_two_columns_under_a_title_read_title_then_each_column_whole():
    data, left, right = two_column_page()
    page = folioscan.extract(data)["pages"][0]
    assert [line["text"] for line in page["lines"]] == ["Survey Of Things", *left, *right]
    assert [(b["type"], b.get("level")) for b in page["blocks"]] == [("heading", 1), ("paragraph", None),
                                                                     ("paragraph", None)]
    assert page["blocks"][1]["text"] == " ".join(left)
    x0, y0, x1, y1 = page["blocks"][2]["bbox"]
    assert 319 < x0 < 321 and x1 < 612 and y0 < 690 < y1
    markdown = folioscan.extract(data, format="markdown")
    assert markdown == "\n\n".join(["# Survey Of Things", " ".join(left), " ".join(right)])
    # The strict reading keeps its line list across the gutter.
    strict = folioscan.parse(data)["pages"][0]
    assert "blocks" not in strict and strict["lines"][1]["text"] == left[0] + " " + right[0]
    assert sorted(" ".join(line["text"] for line in strict["lines"]).split()) == sorted(markdown.replace("#", "").split())


def structured_page() -> bytes:
    buffer = io.BytesIO()
    c = canvas.Canvas(buffer, pagesize=letter, invariant=1)
    y = 720.0

    def line(text: str, font: str = "Helvetica", size: float = 10, x: float = 72, gap: float = 13) -> None:
        nonlocal y
        c.setFont(font, size)
        c.drawString(x, y, text)
        y -= gap

    line("Annual Report", size=22, gap=34)
    line("1 Overview", size=15, gap=22)
    line("The first paragraph of the overview is a long line of prose that fills the column", gap=13)
    line("and its adip-", gap=13)
    line("iscing second line ends the paragraph.", gap=24)
    line("Key results", font="Helvetica-Bold", gap=16)
    line("- revenue grew in every region", x=72)
    line("- costs fell, as the new plant opened", x=72)
    line("\u2013 in the north first", x=90)
    line("1. the board met four times", x=72, gap=24)
    line("2 Outlook", size=15, gap=22)
    line("A last paragraph closes the page with a sentence.", gap=13)
    c.showPage()
    c.save()
    return buffer.getvalue()


def test_headings_lists_and_hyphenation_in_blocks_and_every_format():
    data = structured_page()
    document = folioscan.extract(data)
    blocks = [(b["type"], b["text"], b.get("level")) for b in document["pages"][0]["blocks"]]
    assert blocks == [
        ("heading", "Annual Report", 1),
        ("heading", "1 Overview", 2),
        ("paragraph", "The first paragraph of the overview is a long line of prose that fills the column and its "
                      "adipiscing second line ends the paragraph.", None),
        ("heading", "Key results", 3),
        ("list_item", "revenue grew in every region", 1),
        ("list_item", "costs fell, as the new plant opened", 1),
        ("list_item", "in the north first", 2),
        ("list_item", "1. the board met four times", 1),
        ("heading", "2 Outlook", 2),
        ("paragraph", "A last paragraph closes the page with a sentence.", None),
    ]
    as_json = json.loads(folioscan.extract(data, format="json"))
    assert list(as_json["pages"][0])[:4] == ["width", "height", "lines", "blocks"]
    assert as_json["pages"][0]["blocks"] == document["pages"][0]["blocks"]
    assert '"blocks"' not in folioscan.parse_to_json(data)
    markdown = folioscan.extract(data, format="markdown")
    assert markdown.startswith("# Annual Report\n\n## 1 Overview\n\n")
    assert ("### Key results\n\n- revenue grew in every region\n- costs fell, as the new plant opened\n"
            "  - in the north first\n1. the board met four times\n\n## 2 Outlook") in markdown
    html = folioscan.extract(data, format="html")
    assert "<h1>Annual Report</h1>\n<h2>1 Overview</h2>\n<p>" in html
    assert ("<ul>\n<li>revenue grew in every region</li>\n<li>costs fell, as the new plant opened</li>\n<ul>\n"
            "<li>in the north first</li>\n</ul>\n</ul>\n<ol>\n<li>the board met four times</li>\n</ol>\n") in html
    assert "<h1>" not in folioscan.parse_to_html(data)


@pytest.mark.parametrize("max_chars", [40, 2000])
def test_chunks_follow_the_blocks_and_their_heading_path(max_chars):
    data = structured_page()
    chunks = list(folioscan.chunks(data, max_chars=max_chars))
    assert chunks[-1]["headings"] == ["Annual Report", "2 Outlook"]
    assert any(c["headings"] == ["Annual Report", "1 Overview", "Key results"] for c in chunks)
    blocks = folioscan.extract(data)["pages"][0]["blocks"]
    assert " ".join(c["text"] for c in chunks).split() == " ".join(b["text"] for b in blocks).split()


def lead_in_page() -> bytes:
    """A bold title, a paragraph opening with a bold lead-in, a bold caption, contents
    entries with leader dots, and a chapter number set large."""
    buffer = io.BytesIO()
    c = canvas.Canvas(buffer, pagesize=letter, invariant=1)
    c.setFont("Helvetica-Bold", 40)
    c.drawString(72, 660, "4")
    c.setFont("Helvetica-Bold", 10)
    c.drawString(72, 620, "Method Details")
    body = prose(3, 3)
    text = c.beginText(72, 600)
    text.setFont("Helvetica-Bold", 10)
    text.textOut("Ablation on models. ")
    text.setFont("Helvetica", 10)
    text.textLine(body[0])
    for line in body[1:]:
        text.textLine(line)
    c.drawText(text)
    c.setFont("Helvetica-Bold", 10)
    c.drawString(72, 540, "Figure 2: Results by region")
    c.setFont("Helvetica", 10)
    c.drawString(72, 520, prose(4, 1)[0] + ".")
    c.setFont("Helvetica-Bold", 10)
    c.drawString(72, 480, "Cell Biology " + "." * 40 + " 32")
    c.setFont("Helvetica", 10)
    c.drawString(72, 460, prose(5, 1)[0] + ".")
    c.showPage()
    c.save()
    return buffer.getvalue()


def test_a_bold_lead_in_a_caption_and_a_contents_entry_are_no_headings_a_chapter_number_is():
    blocks = folioscan.extract(lead_in_page())["pages"][0]["blocks"]
    headings = [b["text"] for b in blocks if b["type"] == "heading"]
    assert headings == ["4", "Method Details"]
    lead_in = next(b for b in blocks if b["text"].startswith("Ablation"))
    assert lead_in["type"] == "paragraph" and lead_in["text"].endswith(prose(3, 3)[2])


def figure_page() -> bytes:
    from PIL import Image
    from reportlab.lib.utils import ImageReader

    buffer = io.BytesIO()
    c = canvas.Canvas(buffer, pagesize=letter, invariant=1)
    c.setFont("Helvetica", 10)
    c.drawString(72, 720, "Text before the figure.")
    c.drawImage(ImageReader(Image.new("RGB", (40, 30), (200, 30, 30))), 72, 450, width=300, height=220)
    c.drawString(72, 420, "Figure 1. After the figure.")
    c.drawImage(ImageReader(Image.new("L", (2, 2), 0)), 72, 400, width=300, height=1)  # a rule
    c.showPage()
    c.save()
    return buffer.getvalue()


def test_a_painted_image_is_a_block_where_it_stands_and_markdown_leaves_it_out():
    data = figure_page()
    page = folioscan.extract(data)["pages"][0]
    kinds = [(b["type"], b["text"]) for b in page["blocks"]]
    assert kinds == [("paragraph", "Text before the figure."), ("image", ""),
                     ("paragraph", "Figure 1. After the figure.")]
    image = page["blocks"][1]
    assert page["images"][image["image"]]["width"] == 40
    assert image["bbox"] == pytest.approx([72, 450, 372, 670])
    assert json.loads(folioscan.extract(data, format="json"))["pages"][0]["blocks"][1]["image"] == image["image"]
    assert folioscan.extract(data, format="markdown") == "Text before the figure.\n\nFigure 1. After the figure."
    assert "blocks" not in folioscan.extract(data, strict=True)["pages"][0]


@pytest.mark.parametrize("fmt, placeholder", [("markdown", "![FormXob"), ("html", '<img alt="FormXob')])
def test_image_placeholders_are_written_only_when_asked(fmt, placeholder):
    data = figure_page()
    assert placeholder not in folioscan.extract(data, format=fmt)
    text = folioscan.extract(data, format=fmt, image_placeholders=True)
    assert text.count(placeholder) == 1
    assert text.index("before the figure") < text.index(placeholder) < text.index("After the figure")
    assert placeholder not in folioscan.extract(data, format=fmt, strict=True, image_placeholders=True)
    with pytest.raises(TypeError, match="image_placeholders"):
        folioscan.extract(data, format=fmt, image_placeholders=1)


@pytest.mark.parametrize("jobs", ["1", "2"])
def test_the_command_line_marks_images_when_asked_alone_and_in_a_batch(tmp_path, jobs):
    from folioscan import cli
    from folioscan.batch import WorkItem, parse_item

    source = tmp_path / "in" / "figure.pdf"
    source.parent.mkdir()
    source.write_bytes(figure_page())
    single = tmp_path / "single.md"
    assert cli.main([str(source), "-o", str(single), "--image-placeholders", "-q"]) == 0
    assert single.read_text().count("![FormXob") == 1
    assert cli.main([str(source.parent), "--out-dir", str(tmp_path / "out"), "--jobs", jobs, "-q",
                     "--image-placeholders", "-f", "html"]) == 0
    assert (tmp_path / "out" / "figure.html").read_text().count('<img alt="FormXob') == 1
    assert cli.main([str(source), "-o", str(single), "-q"]) == 0
    assert "![" not in single.read_text()
    # What a Dask worker runs for one file of a batch.
    item = WorkItem(password=None, format="markdown", data=source.read_bytes(), strict=False, warnings=True,
                    image_placeholders=True)
    assert parse_item(item)[0].count("![FormXob") == 1
