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



# A UTF-8 CMap with a one-byte code E0 of its own, outside the codespace whose three-byte
# range E0 leads; Adobe-Japan1 CID 151 is the minus sign, CIDs 1 to 95 are ASCII.
ODD_CMAP = """/CIDInit /ProcSet findresource begin 12 dict begin begincmap
/CIDSystemInfo <</Registry (Adobe) /Ordering (Japan1) /Supplement 6>> def /CMapName /Odd-UTF8-H def
2 begincodespacerange <00> <7f> <e08080> <efbfbf> endcodespacerange
1 begincidchar <e0> 151 endcidchar 1 begincidrange <20> <7e> 1 endcidrange
endcmap CMapName currentdict /CMap defineresource pop end end"""


def test_recovery_reads_bytes_outside_the_codespace_that_the_cmap_names_as_codes() -> None:
    pdf = Pdf()
    pdf.add(1, "<</Type/Catalog /Pages 2 0 R>>")
    pdf.add(2, "<</Type/Pages /Kids [3 0 R] /Count 1>>")
    pdf.add(3, "<</Type/Page /Parent 2 0 R /MediaBox [0 0 300 200] /Resources <</Font <</F1 5 0 R>>>> "
               "/Contents 4 0 R>>")
    pdf.add_stream(4, "BT /F1 12 Tf 10 100 Td (\\340\\340cm) Tj ET")
    pdf.add(5, "<</Type/Font /Subtype/Type0 /BaseFont/Mincho /Encoding 7 0 R /DescendantFonts [6 0 R]>>")
    pdf.add(6, "<</Type/Font /Subtype/CIDFontType0 /BaseFont/Mincho "
               "/CIDSystemInfo <</Registry(Adobe) /Ordering(Japan1) /Supplement 6>>>>")
    pdf.add_stream(7, ODD_CMAP)
    assert texts(folioscan.extract(pdf.build())) == ["\u2212\u2212cm"]
