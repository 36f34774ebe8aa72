"""Recovery reads characters out of embedded font programs where no ToUnicode map says;
the four strict functions keep giving what they gave."""

from __future__ import annotations

import io
import re
from pathlib import Path

import pikepdf
import pytest

import folioscan

FONTS = Path(__file__).resolve().parents[1] / "fixtures" / "fonts"


def page_texts(doc: dict) -> list[str]:
    return ["\n".join(line["text"] for line in page["lines"]) for page in doc["pages"]]


def reportlab_document(text: str) -> bytes:
    """One line in unicode.ttf, embedded by reportlab as a TrueType subset."""
    reportlab = pytest.importorskip("reportlab")
    from reportlab.pdfbase import pdfmetrics
    from reportlab.pdfbase.ttfonts import TTFont
    from reportlab.pdfgen import canvas

    assert reportlab
    pdfmetrics.registerFont(TTFont("FolioTest", str(FONTS / "unicode.ttf")))
    out = io.BytesIO()
    c = canvas.Canvas(out)
    c.setFont("FolioTest", 12)
    c.drawString(72, 720, text)
    c.save()
    return out.getvalue()


def without_tounicode(data: bytes) -> bytes:
    """The same file with every /ToUnicode entry blanked out byte for byte (offsets stay
    exact). Done on the bytes rather than with pikepdf: iterating pikepdf dictionaries
    throws C++ exceptions, which abort under the sanitizer run's preloaded runtime."""
    assert b"/ToUnicode" in data  # reportlab writes its objects uncompressed
    return re.sub(rb"/ToUnicode\s+\d+\s+\d+\s+R", lambda m: b" " * len(m.group()), data)


def test_reportlab_subset_keeps_its_text_with_and_without_tounicode() -> None:
    data = reportlab_document("AB \u00e9C")
    assert page_texts(folioscan.extract(data)) == ["AB \u00e9C"]
    assert page_texts(folioscan.extract(data)) == page_texts(folioscan.parse(data))
    # reportlab's subsets carry only a Macintosh cmap and no glyph names, so the program
    # cannot name the code it gave U+00E9; the ASCII codes keep the strict text.
    stripped = page_texts(folioscan.extract(without_tounicode(data)))[0]
    assert stripped.startswith("AB ") and stripped.endswith("C")


def identity_document(program: bytes, subtype: str, descendant: str, file_key: str, shown: bytes) -> bytes:
    """A Type0 font with Identity-H and no ToUnicode over `program`, built with pikepdf."""
    pdf = pikepdf.new()
    stream_keys = {"/Subtype": pikepdf.Name(subtype)} if subtype else {}
    font_file = pikepdf.Stream(pdf, program, **stream_keys)
    descriptor = pdf.make_indirect(pikepdf.Dictionary(
        Type=pikepdf.Name.FontDescriptor, FontName=pikepdf.Name("/FolioTest"), Flags=4,
        FontBBox=[0, -200, 500, 800], ItalicAngle=0, Ascent=800, Descent=-200, CapHeight=700, StemV=80,
        **{file_key: font_file},
    ))
    cid_font = pdf.make_indirect(pikepdf.Dictionary(
        Type=pikepdf.Name.Font, Subtype=pikepdf.Name(descendant), BaseFont=pikepdf.Name("/FolioTest"),
        CIDSystemInfo=pikepdf.Dictionary(Registry="Adobe", Ordering="Identity", Supplement=0),
        FontDescriptor=descriptor, DW=500,
    ))
    font = pdf.make_indirect(pikepdf.Dictionary(
        Type=pikepdf.Name.Font, Subtype=pikepdf.Name.Type0, BaseFont=pikepdf.Name("/FolioTest"),
        Encoding=pikepdf.Name("/Identity-H"), DescendantFonts=[cid_font],
    ))
    content = b"BT /F1 12 Tf 72 720 Td <" + shown.hex().encode() + b"> Tj ET"
    page = pikepdf.Page(pikepdf.Dictionary(
        Type=pikepdf.Name.Page, MediaBox=[0, 0, 612, 792],
        Resources=pikepdf.Dictionary(Font=pikepdf.Dictionary(F1=font)),
        Contents=pdf.make_stream(content),
    ))
    pdf.pages.append(page)
    out = io.BytesIO()
    pdf.save(out)
    return out.getvalue()


@pytest.mark.parametrize(
    ("program", "subtype", "descendant", "file_key", "shown", "text"),
    [
        # Glyphs of unicode.ttf: 1 space, 2 A, 3 B, 4 U+00E9 (cmap), 5 U+20AC (name only).
        ("unicode.ttf", "", "/CIDFontType2", "FontFile2", b"\0\2\0\3\0\1\0\4\0\5", "AB \u00e9\u20ac"),
        # cid.otf: CIDs 5, 7, 300 are the glyphs its cmap gives A, B, C.
        ("cid.otf", "/OpenType", "/CIDFontType0", "FontFile3", b"\0\5\0\7\1\x2c", "ABC"),
    ],
)
def test_identity_font_without_tounicode_gets_text_only_in_recovery(
    program: str, subtype: str, descendant: str, file_key: str, shown: bytes, text: str
) -> None:
    data = identity_document((FONTS / program).read_bytes(), subtype, descendant, file_key, shown)
    recovered = folioscan.extract(data)
    assert page_texts(recovered) == [text]
    assert recovered["warnings"] == []
    # The strict reading, through every function, has no text for the codes.
    assert all(line["text"] == "" for line in folioscan.parse(data)["pages"][0]["lines"])
    assert folioscan.extract(data, strict=True) == folioscan.parse(data)
    assert text not in folioscan.parse_to_markdown(data)


def test_damaged_program_falls_back_to_the_strict_text() -> None:
    program = (FONTS / "unicode.ttf").read_bytes()[:40]
    data = identity_document(program, "", "/CIDFontType2", "FontFile2", b"\0\2")
    assert folioscan.extract(data)["pages"][0] == folioscan.parse(data)["pages"][0]
