"""End-to-end extraction of hand-made documents through all four functions."""

from __future__ import annotations

import json

import pytest

import folioscan
from pdfgen import HELVETICA, Pdf, text_document

WIDTHS_FONT = (
    "<</Type/Font /Subtype/Type1 /BaseFont/Helvetica /FirstChar 32 /LastChar 126 "
    "/Widths [" + " ".join(["500"] * 95) + "]>>"
)


def hello_world() -> bytes:
    return text_document(
        ["BT /F1 12 Tf 72 700 Td (Hello) Tj 33 0 Td (World) Tj 0 -20 Td (Second line) Tj ET"],
        fonts={"F1": WIDTHS_FONT},
    )


def test_lines_positions_and_page_size() -> None:
    doc = folioscan.parse(hello_world())
    assert doc["version"] == "1.4"
    (page,) = doc["pages"]
    assert list(page) == ["width", "height", "lines", "needs_ocr", "tables", "images"]
    assert page["width"] == 612.0 and isinstance(page["width"], float)
    assert page["lines"] == [
        {"text": "Hello World", "x": 72.0, "y": 700.0},
        {"text": "Second line", "x": 105.0, "y": 680.0},
    ]
    assert page["needs_ocr"] is False
    assert page["tables"] == [] and page["images"] == []


def test_all_four_forms_agree() -> None:
    data = hello_world()
    assert folioscan.parse_to_markdown(data) == "Hello World\nSecond line"
    assert json.loads(folioscan.parse_to_json(data)) == folioscan.parse(data)
    html = folioscan.parse_to_html(data)
    assert '<section class="page" style="width:612px;height:792px">\n' in html
    assert "<p>Hello World</p>\n<p>Second line</p>\n" in html


def test_json_text_is_exactly_laid_out() -> None:
    data = text_document(["BT /F1 10 Tf 0.1 -0 Td (a\"\t) Tj ET"])
    assert folioscan.parse_to_json(data) == (
        '{\n  "version": "1.4",\n  "pages": [\n    {\n      "width": 612.0,\n'
        '      "height": 792.0,\n      "lines": [\n        {\n'
        '          "text": "a\\"\\t",\n          "x": 0.1,\n          "y": 0.0\n        }\n'
        '      ],\n      "needs_ocr": false,\n      "tables": [],\n      "images": []\n'
        "    }\n  ]\n}"
    )


def test_non_finite_positions_become_none_and_null() -> None:
    content = "10 0 0 1 0 0 cm 1 0 0 1 -1e308 0 cm BT /F1 10 Tf 1e308 0 Td (x) Tj ET"
    data = text_document([content])
    line = folioscan.parse(data)["pages"][0]["lines"][0]
    assert line["x"] is None
    assert '"x": null' in folioscan.parse_to_json(data)


def test_no_pages() -> None:
    pdf = Pdf("1.7")
    pdf.add(1, "<</Type/Catalog /Pages 2 0 R>>")
    pdf.add(2, "<</Type/Pages /Kids [] /Count 0>>")
    data = pdf.build()
    assert folioscan.parse(data) == {"version": "1.7", "pages": []}
    assert folioscan.parse_to_markdown(data) == ""


@pytest.mark.parametrize(
    ("box", "extra", "size"),
    [
        ("[0 0 612 792]", "/Rotate 90", (612.0, 792.0)),
        ("[612 792 0 0]", "", (612.0, 792.0)),
        ("[0 0 595.276 841.89]", "", (595.276, 841.89)),
    ],
)
def test_page_size_ignores_rotation_and_box_order(box: str, extra: str, size: tuple) -> None:
    data = text_document(["BT ET"], media_box=box, page_extra=extra)
    page = folioscan.parse(data)["pages"][0]
    assert (page["width"], page["height"]) == size


def test_a_failing_page_fails_the_whole_call() -> None:
    pdf = Pdf()
    pdf.add(1, "<</Type/Catalog /Pages 2 0 R>>")
    kids = " ".join(f"{100 + i} 0 R" for i in range(5))
    pdf.add(2, f"<</Type/Pages /Kids [{kids}]>>")
    for i in range(5):
        pdf.add(100 + i, f"<</Type/Page /Contents {200 + i} 0 R>>")
        keys = "/Filter /Foo" if i == 2 else ""
        pdf.add_stream(200 + i, "BT (p) Tj ET", keys=keys)
    with pytest.raises(ValueError, match=r"^Unsupported: unsupported filter: Foo$"):
        folioscan.parse(pdf.build())


def test_contents_array_streams_are_joined_with_a_line_feed() -> None:
    pdf = Pdf()
    pdf.add(1, "<</Type/Catalog /Pages 2 0 R>>")
    pdf.add(2, "<</Type/Pages /Kids [3 0 R]>>")
    pdf.add(3, "<</Type/Page /Contents [4 0 R 7 5 0 R]>>")
    pdf.add_stream(4, "BT 10 Tf 0 0 Td (one) Tj ET", compress=True)
    pdf.add_stream(5, "BT 10 Tf 0 -20 Td (two) Tj ET")
    lines = folioscan.parse(pdf.build())["pages"][0]["lines"]
    assert [line["text"] for line in lines] == ["one", "two"]


@pytest.mark.parametrize(
    ("mutate", "message"),
    [
        (lambda d: d.replace(b"startxref", b"startxrex"), "InvalidXref: no startxref"),
        (lambda d: d.replace(b" /Root 1 0 R", b""), "MissingTrailer: trailer has no /Root"),
        (lambda d: d.replace(b"/Pages 2 0 R", b"/Pagez 2 0 R"), "InvalidObject: catalog has no /Pages"),
        (lambda d: b"junk", "InvalidHeader: no %PDF- header"),
    ],
)
def test_open_errors_reach_python_with_their_text(mutate, message: str) -> None:
    with pytest.raises(ValueError) as info:
        folioscan.parse(mutate(hello_world()))
    assert type(info.value) is ValueError
    assert str(info.value) == message


def test_deep_page_tree_is_refused() -> None:
    pdf = Pdf()
    pdf.add(1, "<</Type/Catalog /Pages 2 0 R>>")
    for n in range(2, 70):
        pdf.add(n, f"<</Kids [{n + 1} 0 R]>>")
    pdf.add(70, "<</Type/Page>>")
    with pytest.raises(ValueError, match=r"^InvalidObject: page tree too deep$"):
        folioscan.parse(pdf.build())


def test_fonts_encodings_and_tounicode() -> None:
    cmap = (
        "/CIDInit /ProcSet findresource begin 12 dict begin begincmap\n"
        "1 begincodespacerange <0000> <FFFF> endcodespacerange\n"
        "2 beginbfchar <0001> <0066006C> <0002> <00E9> endbfchar\n"
        "1 beginbfrange <0010> <0012> <0041> endbfrange\n"
        "endcmap CMapName currentdict /CMap defineresource pop end end"
    )
    fonts = {
        "F1": "<</Type/Font /Subtype/Type1 /Encoding <</Differences [128 /Euro /bullet]>>>>",
        "F2": "<</Type/Font /Subtype/Type0 /ToUnicode 30 0 R /DescendantFonts [31 0 R]>>",
        "F3": "<</Type/Font /Subtype/Type1 /Encoding /MacRomanEncoding>>",
    }
    content = (
        "BT /F1 10 Tf 0 700 Td <808193> Tj ET "
        "BT /F2 10 Tf 0 600 Td <000100020010001100120013> Tj ET "
        "BT /F3 10 Tf 0 500 Td <80DB> Tj ET"
    )
    pdf_objects = {
        30: f"<</Length {len(cmap)}>>\nstream\n{cmap}\nendstream",
        31: "<</Type/Font /Subtype/CIDFontType2 /DW 500 /W [1 [600 700]]>>",
    }
    data = text_document([content], fonts=fonts, extra_objects=pdf_objects)
    texts = [line["text"] for line in folioscan.parse(data)["pages"][0]["lines"]]
    assert texts == ["\u20ac\u2022\u201c", "fl\u00e9ABC", "\u00c4\u20ac"]


def test_scanned_page_flag_needs_images_and_no_lines() -> None:
    image = "<</Type/XObject /Subtype/Image /Width 2 /Height 3 /BitsPerComponent 8 /ColorSpace /DeviceGray /Length 6>>\nstream\n\x00\x01\x02\x03\x04\x05\nendstream"
    common = dict(resources_extra="/XObject <</Im1 40 0 R>>", extra_objects={40: image})
    scanned = folioscan.parse(text_document(["q 2 0 0 3 0 0 cm /Im1 Do Q"], **common))["pages"][0]
    assert scanned["needs_ocr"] is True
    assert scanned["images"] == [
        {"name": "Im1", "format": "Raw", "width": 2, "height": 3, "bits_per_component": 8, "color_space": "DeviceGray"}
    ]
    with_text = folioscan.parse(text_document(["BT /F1 9 Tf (t) Tj ET"], **common))["pages"][0]
    assert with_text["needs_ocr"] is False
    empty = folioscan.parse(text_document([""]))["pages"][0]
    assert empty["needs_ocr"] is False
    md = folioscan.parse_to_markdown(text_document(["q 2 0 0 3 0 0 cm /Im1 Do Q"], **common))
    assert md == "_[scanned page \u2014 text extraction requires OCR]_"


def test_helvetica_without_widths_uses_half_em() -> None:
    data = text_document(["BT /F1 10 Tf 0 0 Td (ab) Tj (cd) Tj ET"], fonts={"F1": HELVETICA})
    assert folioscan.parse(data)["pages"][0]["lines"][0]["text"] == "abcd"


def test_indirect_filter_names_and_parameters_are_followed() -> None:
    import zlib

    content = zlib.compress(b"BT /F1 10 Tf 0 700 Td (indirect) Tj ET")
    pdf = Pdf()
    pdf.add(1, "<</Type/Catalog /Pages 2 0 R>>")
    pdf.add(2, "<</Type/Pages /Kids [3 0 R]>>")
    pdf.add(3, "<</Type/Page /Contents [4 0 R 5 0 R] /Resources <</Font <</F1 10 0 R>>>>>>")
    pdf.add(4, f"<</Filter 6 0 R /Length {len(content)}>>\nstream\n".encode() + content + b"\nendstream")
    pdf.add(5, f"<</Filter [7 0 R] /DecodeParms [8 0 R] /Length {len(content)}>>\nstream\n".encode() + content + b"\nendstream")
    pdf.add(6, "/FlateDecode")
    pdf.add(7, "/FlateDecode")
    pdf.add(8, "<</Predictor 1>>")
    pdf.add(10, HELVETICA)
    lines = folioscan.parse(pdf.build())["pages"][0]["lines"]
    # Both streams show the same run at the same place: one line, no gap.
    assert [line["text"] for line in lines] == ["indirectindirect"]
