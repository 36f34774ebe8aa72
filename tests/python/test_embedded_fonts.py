"""End to end on a real producer's subset font: recovery reads characters out of embedded
font programs where no ToUnicode map says (the readers and the precedence are tested in
the core's embedded_test);
the four strict functions keep giving what they gave."""

from __future__ import annotations

import io
import re
from pathlib import Path

import pytest

import folioscan

FONTS = Path(__file__).resolve().parents[1] / "fixtures" / "fonts"


def page_texts(doc: dict) -> list[str]:
    return ["\n".join(line["text"] for line in page["lines"]) for page in doc["pages"]]


def reportlab_document(text: str, font: str = "unicode.ttf") -> bytes:
    """One line in `font` (unicode.ttf), embedded by reportlab as a TrueType subset."""
    reportlab = pytest.importorskip("reportlab")
    from reportlab.pdfbase import pdfmetrics
    from reportlab.pdfbase.ttfonts import TTFont
    from reportlab.pdfgen import canvas

    assert reportlab
    name = f"FolioTest-{font}"  # reportlab keeps the first font registered under a name
    pdfmetrics.registerFont(TTFont(name, str(FONTS / font)))
    out = io.BytesIO()
    c = canvas.Canvas(out)
    c.setFont(name, 12)
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


@pytest.mark.parametrize(
    "visual, logical",
    [
        # Drawn as a reader shows them: right-to-left words reversed on the page.
        ("\u05dd\u05d5\u05dc\u05e9", "\u05e9\u05dc\u05d5\u05dd"),
        ("\u062a\u0628\u0627 12", "12 \u0627\u0628\u062a"),
        ("ab \u05dd\u05d5\u05dc\u05e9 ba", "ab \u05e9\u05dc\u05d5\u05dd ba"),
    ],
)
def test_right_to_left_text_reads_in_logical_order_in_recovery(visual: str, logical: str) -> None:
    data = reportlab_document(visual, "rtl.ttf")
    assert page_texts(folioscan.extract(data)) == [logical]
    assert page_texts(folioscan.parse(data)) == [visual]
