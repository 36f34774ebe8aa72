"""End to end: recovery's text for composite fonts whose maps leave codes without text (a
ToUnicode entry naming Identity-H, unembedded TrueType CIDFonts cited by standard glyph
number) and the warning for glyphs no source gives a character. The strict functions
keep what they gave; the readers themselves are tested in the core."""

from __future__ import annotations

import pytest

import folioscan
from pdfgen import Pdf


def one_page(content: str, font: str, extra: dict[int, str] | None = None) -> bytes:
    pdf = Pdf()
    pdf.add(1, "<</Type/Catalog /Pages 2 0 R>>")
    pdf.add(2, "<</Type/Pages /Kids [3 0 R] /Count 1>>")
    pdf.add(3, "<</Type/Page /Parent 2 0 R /MediaBox [0 0 300 200] /Resources <</Font <</F1 5 0 R>>>> "
               "/Contents 4 0 R>>")
    pdf.add_stream(4, content)
    pdf.add(5, font)
    for num, body in (extra or {}).items():
        pdf.add(num, body)
    return pdf.build()


def texts(doc: dict) -> list[str]:
    return [line["text"] for page in doc["pages"] for line in page["lines"]]


TYPE0 = "<</Type/Font /Subtype/Type0 /BaseFont/Arial /Encoding/Identity-H {keys} /DescendantFonts [6 0 R]>>"
ARIAL = {6: "<</Type/Font /Subtype/CIDFontType2 /BaseFont/Arial "
            "/CIDSystemInfo <</Registry(Adobe) /Ordering(Identity) /Supplement 0>>>>"}


@pytest.mark.parametrize(
    ("content", "font", "extra", "recovered", "warning"),
    [
        # Codes are UTF-16 units.
        ("BT /F1 12 Tf 10 100 Td <0055006F011B> Tj ET", TYPE0.format(keys="/ToUnicode /Identity-H"), ARIAL,
         ["Uoě"], None),
        # Standard glyph numbers of an unembedded font: 54 S, 3 space, 68 a; 600 has none
        # (two glyphs of an em, after the words: one space).
        ("BT /F1 12 Tf 10 100 Td <00360003004402580258> Tj ET", TYPE0.format(keys=""), ARIAL, ["S a "],
         "font F1: 2 glyphs have no character"),
    ],
)
def test_recovery_reads_text_the_font_maps_leave_out(content, font, extra, recovered, warning) -> None:
    data = one_page(content, font, extra)
    doc = folioscan.extract(data)
    assert texts(doc) == recovered
    messages = [w["message"] for w in doc["warnings"]]
    assert (warning is None and not any("no character" in m for m in messages)) or any(
        m.endswith(warning) for m in messages
    ), messages
    strict = folioscan.parse(data)
    assert texts(strict) != recovered
