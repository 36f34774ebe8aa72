"""Ruled tables and image listing end to end: documents drawn by reportlab (gridded
platypus tables, JPEG and Flate images) and hand-made pages for the edge rules of the
table grid and of the image description."""

from __future__ import annotations

import io
import json
import random
import zlib

import pytest
from PIL import Image
from reportlab import rl_config
from reportlab.lib.pagesizes import A4
from reportlab.lib.styles import ParagraphStyle
from reportlab.lib.utils import ImageReader
from reportlab.pdfgen import canvas
from reportlab.platypus import Paragraph, SimpleDocTemplate, Table, TableStyle

import folioscan
from pdfgen import HELVETICA, text_document

OCR_MARKER = "_[scanned page \u2014 text extraction requires OCR]_"
BODY = ParagraphStyle("body", fontName="Helvetica", fontSize=11, leading=14)

# reportlab tables


def reportlab_table(rows, style, col_widths=None) -> bytes:
    buffer = io.BytesIO()
    doc = SimpleDocTemplate(buffer, pagesize=A4, invariant=1)
    table = Table(rows, colWidths=col_widths)
    table.setStyle(TableStyle(style))
    doc.build([Paragraph("Price list", BODY), table])
    return buffer.getvalue()


PRICES = [["Name", "Qty", "Price"], ["Apple", "3", "1.20"], ["Pear | green", "10", "<0.55 & up>"], ["", "", ""]]
GRID = [("GRID", (0, 0), (-1, -1), 0.5, "black")]


@pytest.mark.parametrize(
    "style",
    [
        GRID,
        GRID + [("BACKGROUND", (0, 0), (-1, 0), "#dddddd")],
        [("INNERGRID", (0, 0), (-1, -1), 0.25, "black"), ("BOX", (0, 0), (-1, -1), 1.5, "black")],
    ],
    ids=["grid", "grid_with_header_background", "innergrid_and_box"],
)
def test_reportlab_grid_table_gives_rows_cols_and_cells(style) -> None:
    page = folioscan.parse(reportlab_table(PRICES, style, [120, 60, 90]))["pages"][0]
    assert page["tables"] == [{"rows": 4, "cols": 3, "cells": PRICES}]
    # The table's text stays in the page's lines too.
    texts = [line["text"] for line in page["lines"]]
    assert texts[:3] == ["Price list", "Name Qty Price", "Apple 3 1.20"]
    assert texts[3] == "Pear | green 10 <0.55 & up>"


def test_reportlab_table_in_markdown_and_html() -> None:
    data = reportlab_table(PRICES, GRID, [120, 60, 90])
    assert folioscan.parse_to_markdown(data) == (
        "Price list\nName Qty Price\nApple 3 1.20\nPear | green 10 <0.55 & up>\n\n"
        "| Name | Qty | Price |\n"
        "| --- | --- | --- |\n"
        "| Apple | 3 | 1.20 |\n"
        "| Pear \\| green | 10 | <0.55 & up> |\n"
        "|  |  |  |"
    )
    html = folioscan.parse_to_html(data)
    assert (
        "<table>\n"
        "<tr><td>Name</td><td>Qty</td><td>Price</td></tr>\n"
        "<tr><td>Apple</td><td>3</td><td>1.20</td></tr>\n"
        "<tr><td>Pear | green</td><td>10</td><td>&lt;0.55 &amp; up&gt;</td></tr>\n"
        "<tr><td></td><td></td><td></td></tr>\n"
        "</table>\n"
        "</section>\n"
    ) in html


def test_reportlab_table_without_lines_is_no_table() -> None:
    page = folioscan.parse(reportlab_table(PRICES, []))["pages"][0]
    assert page["tables"] == []
    assert len(page["lines"]) == 4


def test_reportlab_multiline_cell_joins_its_runs_with_spaces() -> None:
    rows = [["Item", Paragraph("first line of a long description that wraps", BODY)], ["b", "c"]]
    page = folioscan.parse(reportlab_table(rows, GRID, [60, 120]))["pages"][0]
    (table,) = page["tables"]
    assert (table["rows"], table["cols"]) == (2, 2)
    assert table["cells"][0] == ["Item", "first line of a long description that wraps"]


# recovered tables


def reportlab_story(*flowables) -> bytes:
    buffer = io.BytesIO()
    SimpleDocTemplate(buffer, pagesize=A4, invariant=1).build(list(flowables))
    return buffer.getvalue()


def styled(rows, style, widths=(120, 60, 90)) -> Table:
    table = Table(rows, colWidths=list(widths))
    table.setStyle(TableStyle(style))
    return table


def test_recovery_finds_each_table_in_place_and_takes_its_rows_out_of_the_lines() -> None:
    data = reportlab_story(Paragraph("Price list", BODY), styled(PRICES, GRID), Paragraph("Between", BODY),
                           styled([["a", "b"], ["c", "d"]], GRID, (60, 60)), Paragraph("After", BODY))
    page = folioscan.extract(data)["pages"][0]
    assert [line["text"] for line in page["lines"]] == ["Price list", "Between", "After"]
    first, second = page["tables"]
    assert list(first) == ["rows", "cols", "cells", "bbox"]
    assert first["cells"] == PRICES and second["cells"] == [["a", "b"], ["c", "d"]]
    assert first["bbox"][1] > second["bbox"][3]  # top to bottom, boxes apart
    # Each table is a block where it stands, with its rows as text.
    blocks = [(b["type"], b["text"].split("\n")[0]) for b in page["blocks"]]
    assert blocks == [("paragraph", "Price list"), ("table", "Name Qty Price"), ("paragraph", "Between"),
                      ("table", "a b"), ("paragraph", "After")]
    # A table block names its table, in the dict and in the JSON alike.
    assert [b.get("table") for b in page["blocks"]] == [None, 0, None, 1, None]
    assert json.loads(folioscan.extract(data, format="json"))["pages"][0]["blocks"] == page["blocks"]
    assert folioscan.extract(data, format="markdown") == (
        "Price list\n\n| Name | Qty | Price |\n| --- | --- | --- |\n| Apple | 3 | 1.20 |\n"
        "| Pear \\| green | 10 | <0.55 & up> |\n|  |  |  |\n\nBetween\n\n| a | b |\n| --- | --- |\n"
        "| c | d |\n\nAfter")
    # The strict reading keeps its one grid over both and the rows in the lines.
    strict = folioscan.parse(data)["pages"][0]
    assert len(strict["tables"]) == 1 and "bbox" not in strict["tables"][0]
    assert "Apple 3 1.20" in [line["text"] for line in strict["lines"]]


@pytest.mark.parametrize(
    "style, spans, html",
    [
        (GRID + [("SPAN", (0, 0), (1, 0))], [{"row": 0, "col": 0, "rows": 1, "cols": 2}],
         '<tr><td colspan="2">Name</td><td>Price</td></tr>'),
        (GRID + [("SPAN", (0, 1), (0, 2))], [{"row": 1, "col": 0, "rows": 2, "cols": 1}],
         '<tr><td rowspan="2">Apple</td><td>3</td><td>1.20</td></tr>\n<tr><td>10</td>'),
    ],
    ids=["header_across_two_columns", "cell_down_two_rows"],
)
def test_recovered_spanning_cells_are_listed_and_written_with_spans(style, spans, html) -> None:
    data = reportlab_story(styled(PRICES, style))
    (table,) = folioscan.extract(data)["pages"][0]["tables"]
    assert table["spans"] == spans
    assert html in folioscan.extract(data, format="html")


def test_a_framed_paragraph_and_a_rule_less_paragraph_are_no_recovered_tables() -> None:
    frame = [("BOX", (0, 0), (-1, -1), 1, "black")]
    data = reportlab_story(styled([[Paragraph("A framed note that runs over a line or two of text. " * 3, BODY)]],
                                  frame, (300,)), Paragraph("Plain words after it. " * 8, BODY))
    page = folioscan.extract(data)["pages"][0]
    assert page["tables"] == [] and len(page["lines"]) >= 4


def test_a_rule_less_price_list_is_a_recovered_table() -> None:
    rows = [["Item", "Qty", "Price"], *([f"Item {i}", str(i), f"{i}.50"] for i in range(1, 6))]
    data = reportlab_story(Paragraph("Prices this week", BODY), styled(rows, [], (150, 80, 80)))
    page = folioscan.extract(data)["pages"][0]
    (table,) = page["tables"]
    assert table["cells"] == rows
    assert [line["text"] for line in page["lines"]] == ["Prices this week"]


# reportlab images


def jpeg(mode: str, size: tuple[int, int]) -> io.BytesIO:
    color = {"RGB": (200, 30, 30), "L": 90, "CMYK": (0, 60, 120, 10)}[mode]
    out = io.BytesIO()
    Image.new(mode, size, color).save(out, "JPEG")
    out.seek(0)
    return out


def png(mode: str, size: tuple[int, int]) -> io.BytesIO:
    image = Image.new(mode, size)
    image.putdata([(i * 37) % 251 if mode == "L" else ((i * 37) % 251, i % 256, 7) for i in range(size[0] * size[1])])
    out = io.BytesIO()
    image.save(out, "PNG")
    out.seek(0)
    return out


# (source, width, height) -> expected (format, bits, colour space); sizes are distinct so
# that reportlab's deduplication keeps every image and the sizes identify them.
IMAGES = [
    (lambda: jpeg("RGB", (16, 8)), 16, 8, "Jpeg", "DeviceRGB"),
    (lambda: jpeg("L", (17, 9)), 17, 9, "Jpeg", "DeviceGray"),
    (lambda: jpeg("CMYK", (18, 10)), 18, 10, "Jpeg", "DeviceCMYK"),
    (lambda: png("RGB", (19, 11)), 19, 11, "Raw", "DeviceRGB"),
    (lambda: png("L", (20, 12)), 20, 12, "Raw", "DeviceGray"),
]


def reportlab_images(with_text: bool) -> bytes:
    buffer = io.BytesIO()
    c = canvas.Canvas(buffer, pagesize=A4, invariant=1)
    for i, (make, *_rest) in enumerate(IMAGES):
        c.drawImage(ImageReader(make()), 40 + 100 * (i % 5), 500, 80, 50)
    if with_text:
        c.setFont("Helvetica", 12)
        c.drawString(72, 760, "Figures")
    c.showPage()
    c.save()
    return buffer.getvalue()


@pytest.mark.parametrize("a85", [True, False], ids=["ascii85_wrapped", "plain_filters"])
def test_reportlab_jpeg_and_flate_images(monkeypatch, a85: bool) -> None:
    monkeypatch.setattr(rl_config, "useA85", int(a85))
    data = reportlab_images(with_text=True)
    assert (b"/ASCII85Decode" in data) == a85
    page = folioscan.parse(data)["pages"][0]
    assert page["needs_ocr"] is False
    assert all(image["name"].startswith("FormXob.") for image in page["images"])
    got = sorted(
        (i["width"], i["height"], i["format"], i["bits_per_component"], i["color_space"]) for i in page["images"]
    )
    assert got == [(w, h, fmt, 8, cs) for _make, w, h, fmt, cs in IMAGES]


def test_reportlab_page_of_images_only_needs_ocr() -> None:
    data = reportlab_images(with_text=False)
    page = folioscan.parse(data)["pages"][0]
    assert page["lines"] == [] and len(page["images"]) == len(IMAGES)
    assert page["needs_ocr"] is True
    assert folioscan.parse_to_markdown(data) == OCR_MARKER
    assert '<section class="page" style="width:595px;height:842px" data-needs-ocr="true">\n</section>\n' in (
        folioscan.parse_to_html(data)
    )


def test_reportlab_soft_mask_is_not_listed_on_its_own() -> None:
    """The /SMask of an RGBA image hangs off the image, not off the page resources."""
    buffer = io.BytesIO()
    c = canvas.Canvas(buffer, invariant=1)
    rgba = Image.new("RGBA", (7, 5), (10, 20, 30, 128))
    c.drawImage(ImageReader(rgba), 10, 10, 70, 50, mask="auto")
    c.showPage()
    c.save()
    assert b"/SMask" in buffer.getvalue()
    images = folioscan.parse(buffer.getvalue())["pages"][0]["images"]
    assert [(i["width"], i["height"], i["color_space"]) for i in images] == [(7, 5, "DeviceRGB")]


# Hand-made table pages


def page_of(content: str, **options) -> dict:
    return folioscan.parse(text_document([content], **options))["pages"][0]


def cells_of(content: str) -> list | None:
    tables = page_of(content)["tables"]
    return tables[0]["cells"] if tables else None


TEXT_2X2 = "BT /F1 10 Tf 110 685 Td (a1) Tj 100 0 Td (b1) Tj -100 -20 Td (a2) Tj 100 0 Td (b2) Tj ET"


@pytest.mark.parametrize(
    "rules",
    [
        # Lines with m/l.
        "100 700 m 300 700 l 100 680 m 300 680 l 100 660 m 300 660 l "
        "100 660 m 100 700 l 200 660 m 200 700 l 300 660 m 300 700 l S",
        # Filled thin bars: horizontal bars add only their y; the vertical bars add
        # their x and, through their short edges, the outer y positions again.
        "100 700 200 0.5 re 100 680 200 0.5 re 100 660 200 0.5 re "
        "100 660 0.5 40 re 200 660 0.5 40 re 300 660 0.5 40 re f",
        # Rectangles per cell.
        "100 680 100 20 re 200 680 100 20 re 100 660 100 20 re 200 660 100 20 re S",
        # Lines drawn in a translated, scaled coordinate system inside q/Q.
        "q 2 0 0 2 100 660 cm 0 20 m 100 20 l 0 10 m 100 10 l 0 0 m 100 0 l "
        "0 0 m 0 20 l 50 0 m 50 20 l 100 0 m 100 20 l S Q",
    ],
    ids=["lines", "thin_bars", "cell_rectangles", "transformed_lines"],
)
def test_ruled_grid_drawn_several_ways(rules: str) -> None:
    assert cells_of(rules + " " + TEXT_2X2) == [["a1", "b1"], ["a2", "b2"]]


def test_thin_vertical_bars_longer_than_the_table_add_rows() -> None:
    """A vertical bar's short edges count as horizontal rules: bars reaching from 640
    to 720 put rows above and below the three horizontal rules."""
    rules = (
        "100 700 200 0.5 re 100 680 200 0.5 re 100 660 200 0.5 re "
        "100 640 0.5 80 re 200 640 0.5 80 re 300 640 0.5 80 re f"
    )
    page = page_of(rules + " " + TEXT_2X2)
    (table,) = page["tables"]
    assert (table["rows"], table["cols"]) == (4, 2)
    assert table["cells"] == [["", ""], ["a1", "b1"], ["a2", "b2"], ["", ""]]


def test_frame_around_text_is_a_one_by_one_table() -> None:
    content = (
        "72 600 300 100 re S "
        "BT /F1 10 Tf 80 680 Td (first) Tj 0 -20 Td (second) Tj ET "
        "BT /F1 10 Tf 80 500 Td (outside) Tj ET"
    )
    page = page_of(content)
    assert page["tables"] == [{"rows": 1, "cols": 1, "cells": [["first second"]]}]
    assert [line["text"] for line in page["lines"]] == ["first", "second", "outside"]
    md = folioscan.parse_to_markdown(text_document([content]))
    assert md == "first\nsecond\noutside\n\n| first second |\n| --- |"


def test_two_tables_on_a_page_merge_into_one_grid() -> None:
    top = "100 700 m 300 700 l 100 680 m 300 680 l 100 660 m 300 660 l 100 660 m 100 700 l 200 660 m 200 700 l 300 660 m 300 700 l S "
    bottom = "400 500 m 500 500 l 400 480 m 500 480 l 400 480 m 400 500 l 500 480 m 500 500 l S "
    # "edge" starts exactly on the rule at x = 400 and so belongs to the column before it.
    text = "BT /F1 10 Tf 110 685 Td (t1) Tj 100 0 Td (t2) Tj 200 -200 Td (b1) Tj -10 0 Td (edge) Tj ET"
    (table,) = page_of(top + bottom + text)["tables"]
    assert (table["rows"], table["cols"]) == (4, 4)
    assert table["cells"] == [
        ["t1", "t2", "", ""],
        ["", "", "", ""],
        ["", "", "", ""],  # between the two tables
        ["", "", "edge", "b1"],
    ]


def test_slanted_lines_and_curves_make_no_table() -> None:
    assert cells_of("100 100 m 300 300 l 100 300 m 300 100 l 0 0 m 50 80 100 80 150 0 c S") is None


def test_markdown_separator_row_has_cols_cells() -> None:
    rules = "100 700 m 400 700 l 100 680 m 400 680 l 100 680 m 100 700 l 200 680 m 200 700 l 300 680 m 300 700 l 400 680 m 400 700 l S"
    data = text_document([rules + " BT /F1 10 Tf 110 685 Td (x) Tj ET"])
    assert folioscan.parse_to_markdown(data).endswith("\n\n| x |  |  |\n| --- | --- | --- |")


# Hand-made image pages

PIXELS = bytes(range(6))


def image(keys: str, data: bytes = PIXELS) -> bytes:
    return b"<</Type/XObject /Subtype/Image " + keys.encode() + b" /Length %d>>\nstream\n" % len(data) + data + b"\nendstream"


FORM = (
    b"<</Type/XObject /Subtype/Form /BBox [0 0 100 100] "
    b"/Resources <</Font <</F1 10 0 R>> /XObject <</Inner 42 0 R>>>> /Length 40>>\n"
    b"stream\nBT /F1 10 Tf 0 0 Td (in form) Tj ET /Inner Do\nendstream"
)
GRAY = "/Width 2 /Height 3 /BitsPerComponent 8 /ColorSpace /DeviceGray"


def images_of(xobjects: dict[str, bytes], content: str = "", **options) -> list[dict]:
    extra = {}
    entries = []
    for i, (name, body) in enumerate(xobjects.items()):
        extra[40 + i] = body
        entries.append(f"/{name} {40 + i} 0 R")
    extra.update(options.pop("extra_objects", {}))
    page = page_of(content, resources_extra=f"/XObject <<{' '.join(entries)}>>", extra_objects=extra, **options)
    return page["images"]


def described(images: list[dict]) -> list[tuple]:
    return [(i["name"], i["format"], i["width"], i["height"], i["bits_per_component"], i["color_space"]) for i in images]


def test_scanned_page_of_one_image() -> None:
    data = text_document(
        ["q 612 0 0 792 0 0 cm /Scan Do Q"],
        resources_extra="/XObject <</Scan 40 0 R>>",
        extra_objects={40: image("/Width 2550 /Height 3300 /BitsPerComponent 1 /ColorSpace /DeviceGray /Filter /CCITTFaxDecode", b"\x00" * 16)},
    )
    (page,) = folioscan.parse(data)["pages"]
    assert page["lines"] == [] and page["needs_ocr"] is True
    assert described(page["images"]) == [("Scan", "Ccitt", 2550, 3300, 1, "DeviceGray")]
    assert folioscan.parse_to_markdown(data) == OCR_MARKER
    assert 'data-needs-ocr="true"' in folioscan.parse_to_html(data)


def test_scanned_page_with_a_table_still_shows_only_the_marker() -> None:
    data = text_document(
        ["72 600 300 100 re S q 10 0 0 10 0 0 cm /Im Do Q"],
        resources_extra="/XObject <</Im 40 0 R>>",
        extra_objects={40: image(GRAY)},
    )
    page = folioscan.parse(data)["pages"][0]
    assert page["needs_ocr"] is True and page["tables"] != []
    assert folioscan.parse_to_markdown(data) == OCR_MARKER


def test_form_xobjects_are_skipped_and_their_text_is_not_extracted() -> None:
    objects = {"Fm0": FORM, "Im1": image(GRAY), "Im2": image(GRAY.replace("Width 2", "Width 5"), bytes(15))}
    page = page_of(
        "q /Fm0 Do Q",
        resources_extra="/XObject <</Fm0 40 0 R /Im1 41 0 R /Im2 43 0 R>>",
        extra_objects={40: objects["Fm0"], 41: objects["Im1"], 42: image(GRAY), 43: objects["Im2"]},
    )
    assert page["lines"] == []
    assert [i["name"] for i in page["images"]] == ["Im1", "Im2"]  # dictionary order, the inner image left out
    assert page["needs_ocr"] is True


def test_page_with_only_a_form_needs_no_ocr() -> None:
    page = page_of("/Fm0 Do", resources_extra="/XObject <</Fm0 40 0 R>>", extra_objects={40: FORM, 42: image(GRAY)})
    assert page["images"] == [] and page["needs_ocr"] is False


def test_image_listed_but_never_drawn_is_listed() -> None:
    images = images_of({"Unused": image(GRAY)}, "BT /F1 10 Tf (text) Tj ET")
    assert described(images) == [("Unused", "Raw", 2, 3, 8, "DeviceGray")]


JPEG_BYTES = b"\xff\xd8\xff\xe0not really a jpeg"


@pytest.mark.parametrize(
    ("keys", "data", "expected"),
    [
        ("/Filter /DCTDecode", JPEG_BYTES, "Jpeg"),
        ("/Filter /JPXDecode", JPEG_BYTES, "Jpeg2000"),
        ("/Filter /CCITTFaxDecode", JPEG_BYTES, "Ccitt"),
        ("/Filter /JBIG2Decode", JPEG_BYTES, "Jbig2"),
        ("/Filter /FlateDecode", zlib.compress(PIXELS), "Raw"),
        ("/Filter [/FlateDecode /DCTDecode]", zlib.compress(JPEG_BYTES), "Jpeg"),
        ("/Filter [/DCTDecode /FlateDecode]", zlib.compress(JPEG_BYTES), "Raw"),
        ("/Filter [/ASCIIHexDecode /DCTDecode]", JPEG_BYTES.hex().encode() + b">", "Jpeg"),
        ("/F /DCTDecode", JPEG_BYTES, "Jpeg"),
        ("/Filter []", PIXELS, "Raw"),
        ("", PIXELS, "Raw"),
    ],
)
def test_format_comes_from_the_last_filter(keys: str, data: bytes, expected: str) -> None:
    (img,) = images_of({"Im": image(GRAY + " " + keys, data)})
    assert img["format"] == expected


@pytest.mark.parametrize(
    ("keys", "data"),
    [
        ("/Filter /FlateDecode", b"\x78\x9c\xff\xff\xff damaged"),
        ("/Filter /FlateDecode", zlib.compress(PIXELS)[:-6]),  # cut short
        ("/Filter /DCT", JPEG_BYTES),  # the inline-image abbreviation is not a stream filter
        ("/Filter /Crypt", PIXELS),
        ("/Filter [/ASCII85Decode /DCTDecode]", b"\x01\x02 not ascii85"),
    ],
    ids=["damaged_flate", "truncated_flate", "dct_abbreviation", "crypt", "bad_ascii85_before_dct"],
)
def test_images_whose_data_cannot_be_decoded_are_skipped(keys: str, data: bytes) -> None:
    images = images_of({"Bad": image(GRAY + " " + keys, data), "Good": image(GRAY)})
    assert [i["name"] for i in images] == ["Good"]


def image_bytes(rng: random.Random, size: int) -> bytes:
    """Pixel-like bytes: noisy gradients, flat runs and repeated rows."""
    out = bytearray()
    while len(out) < size:
        kind = rng.random()
        if kind < 0.5:
            start = rng.randrange(256)
            out += bytes((start + i // 3 + rng.randint(-4, 4)) & 0xFF for i in range(rng.randint(50, 3000)))
        elif kind < 0.75:
            out += bytes([rng.randrange(256)]) * rng.randint(3, 2000)
        elif len(out) > 1000:
            back = rng.randint(1, min(len(out), 32768))
            out += out[-back:][: rng.randint(3, 1000)]
    return bytes(out[:size])


def flate_cases(seed: int) -> list[tuple[bytes, bool]]:
    """zlib streams (levels, strategies) and cuts of them, with whether the DEFLATE data
    is complete as zlib itself reads it (the Adler-32 trailer is not checked)."""
    rng = random.Random(seed)
    cases = []
    for strategy in (zlib.Z_DEFAULT_STRATEGY, zlib.Z_FILTERED, zlib.Z_HUFFMAN_ONLY, zlib.Z_RLE, zlib.Z_FIXED):
        level = rng.choice([1, 6, 9])
        c = zlib.compressobj(level, zlib.DEFLATED, 15, 9, strategy)
        data = c.compress(image_bytes(rng, rng.randint(40_000, 150_000))) + c.flush()
        for cut in (len(data), len(data) - 4, len(data) - 5, rng.randrange(2, len(data) - 5)):
            raw = zlib.decompressobj(-15)
            raw.decompress(data[2:cut])
            cases.append((data[:cut], raw.eof))
    return cases


@pytest.mark.parametrize("seed", [1, 2, 3])
def test_flate_images_are_listed_exactly_when_zlib_reads_their_data_to_the_end(seed: int) -> None:
    cases = flate_cases(seed)
    xobjects = {f"Im{i}": image(GRAY + " /Filter /FlateDecode", data) for i, (data, _) in enumerate(cases)}
    expected = [f"Im{i}" for i, (_, complete) in enumerate(cases) if complete]
    assert [i["name"] for i in images_of(xobjects)] == expected
    assert len(expected) >= 10 and len(expected) < len(cases)  # whole streams and cut ones


@pytest.mark.parametrize(
    ("keys", "size", "bits"),
    [
        ("/Width 100.0 /Height 50 /BitsPerComponent 8", (0, 50), 8),
        ("/Width 99 0 R /Height 50 /BitsPerComponent 8", (0, 50), 8),  # references are not followed
        ("/Width -3 /Height 4294967296 /BitsPerComponent 8", (0, 0), 8),
        ("/Width 4294967295 /Height 1 /BitsPerComponent 16", (4294967295, 1), 16),
        ("/ImageMask true /Width 8 /Height 8", (8, 8), 8),  # a stencil mask has no bits per component
        ("/Width 8 /Height 8 /BitsPerComponent 2.0", (8, 8), 8),
        ("", (0, 0), 8),
    ],
)
def test_sizes_and_bits_fall_back_when_not_direct_integers(keys: str, size: tuple, bits: int) -> None:
    (img,) = images_of({"Im": image(keys)}, extra_objects={99: "640"})
    assert ((img["width"], img["height"]), img["bits_per_component"]) == (size, bits)


ICC = b"<</N 3 /Length 4>>\nstream\nfake\nendstream"


@pytest.mark.parametrize(
    ("colour_space", "expected"),
    [
        ("/DeviceCMYK", "DeviceCMYK"),
        ("/CS0", "CS0"),  # a resource name is reported, not looked up
        ("[/ICCBased 98 0 R]", "ICCBased"),
        ("[/Indexed /DeviceRGB 1 <FF000000FF00>]", "Indexed"),
        ("[/Separation /Spot /DeviceCMYK 97 0 R]", "Separation"),
        ("[/CalRGB <</WhitePoint [0.95 1 1.09]>>]", "CalRGB"),
        ("[98 0 R]", "Unknown"),  # an array beginning with a reference
        ("[]", "Unknown"),
        ("96 0 R", "ICCBased"),  # a reference to the array is resolved
        ("95 0 R", "DeviceGray"),  # a reference to a name is resolved
        ("94 0 R", "DeviceRGB"),  # a reference to a missing object
        ("7", "DeviceRGB"),
        (None, "DeviceRGB"),
    ],
)
def test_colour_space_forms(colour_space: str | None, expected: str) -> None:
    keys = "/Width 2 /Height 1 /BitsPerComponent 8" + (f" /ColorSpace {colour_space}" if colour_space else "")
    objects = {98: ICC, 97: "<</FunctionType 2 /Domain [0 1] /C0 [0 0 0 0] /C1 [0 0 0 1] /N 1>>",
               96: "[/ICCBased 98 0 R]", 95: "/DeviceGray"}
    (img,) = images_of({"Im": image(keys)}, extra_objects=objects)
    assert img["color_space"] == expected


def test_non_image_xobjects_and_broken_entries_are_skipped() -> None:
    page = page_of(
        "",
        resources_extra="/XObject <</Missing 90 0 R /Dict 41 0 R /Ps 42 0 R /Num 5 /Im 40 0 R>>",
        extra_objects={
            40: image(GRAY),
            41: "<</Type/XObject /Subtype/Image /Width 1 /Height 1>>",  # a dictionary, not a stream
            42: b"<</Type/XObject /Subtype/PS /Length 0>>\nstream\n\nendstream",
        },
    )
    assert [i["name"] for i in page["images"]] == ["Im"]


def test_images_of_inherited_resources_are_listed_per_page() -> None:
    from pdfgen import Pdf

    pdf = Pdf()
    pdf.add(1, "<</Type/Catalog /Pages 2 0 R>>")
    pdf.add(2, "<</Type/Pages /Kids [3 0 R 4 0 R] /Resources <</XObject <</Shared 5 0 R>> /Font <</F1 6 0 R>>>>>>")
    pdf.add(3, "<</Type/Page /Parent 2 0 R>>")
    pdf.add(4, "<</Type/Page /Parent 2 0 R /Contents 7 0 R>>")
    pdf.add(5, image(GRAY))
    pdf.add(6, HELVETICA)
    pdf.add_stream(7, "BT /F1 10 Tf 10 10 Td (words) Tj ET")
    pages = folioscan.parse(pdf.build())["pages"]
    assert [[i["name"] for i in p["images"]] for p in pages] == [["Shared"], ["Shared"]]
    assert [p["needs_ocr"] for p in pages] == [True, False]
