"""Writes examples/sample.pdf: a two-page document in Helvetica with text
paragraphs, a ruled table and a small RGB image, for trying folioscan out.

    python examples/make_sample.py [OUT]

The output is reproducible: the same reportlab version writes the same bytes.
"""

from __future__ import annotations

import io
import sys
from pathlib import Path

from PIL import Image as PILImage
from reportlab.lib import colors
from reportlab.lib.pagesizes import letter
from reportlab.lib.styles import ParagraphStyle
from reportlab.lib.units import inch
from reportlab.platypus import (
    Image,
    PageBreak,
    Paragraph,
    SimpleDocTemplate,
    Spacer,
    Table,
    TableStyle,
)

DEFAULT_OUT = Path(__file__).with_name("sample.pdf")

BODY = ParagraphStyle("body", fontName="Helvetica", fontSize=11, leading=15)
HEADING = ParagraphStyle("heading", fontName="Helvetica-Bold", fontSize=16, leading=20)

TABLE_ROWS = [
    ["Region", "Quarter", "Units", "Revenue"],
    ["North", "Q1", "1,204", "48,160"],
    ["South", "Q1", "987", "39,480"],
    ["East", "Q2", "1,530", "61,200"],
    ["West", "Q2", "1,112", "44,480"],
]


def gradient_image(width: int = 48, height: int = 32) -> PILImage.Image:
    """A small RGB gradient, generated so the sample needs no image file."""
    image = PILImage.new("RGB", (width, height))
    image.putdata(
        [
            (x * 255 // (width - 1), y * 255 // (height - 1), 160)
            for y in range(height)
            for x in range(width)
        ]
    )
    return image


def story() -> list:
    table = Table(TABLE_ROWS, colWidths=[1.4 * inch, 1.0 * inch, 1.0 * inch, 1.2 * inch])
    table.setStyle(
        TableStyle(
            [
                ("FONTNAME", (0, 0), (-1, -1), "Helvetica"),
                ("FONTNAME", (0, 0), (-1, 0), "Helvetica-Bold"),
                ("FONTSIZE", (0, 0), (-1, -1), 10),
                ("GRID", (0, 0), (-1, -1), 0.75, colors.black),
                ("VALIGN", (0, 0), (-1, -1), "MIDDLE"),
            ]
        )
    )
    png = io.BytesIO()
    gradient_image().save(png, format="PNG")
    png.seek(0)
    picture = Image(png, width=1.5 * inch, height=1.0 * inch)
    return [
        Paragraph("Quarterly sales report", HEADING),
        Spacer(1, 8),
        Paragraph(
            "This sample document shows what folioscan extracts from a PDF: the text "
            "lines of each page, a table drawn with ruling lines, and the images a "
            "page uses.",
            BODY,
        ),
        Spacer(1, 8),
        Paragraph("Units sold and revenue by region for the first half of the year.", BODY),
        Spacer(1, 12),
        table,
        Spacer(1, 12),
        Paragraph("All figures are in US dollars.", BODY),
        PageBreak(),
        Paragraph("Appendix", HEADING),
        Spacer(1, 8),
        Paragraph("The chart below is a generated colour gradient.", BODY),
        Spacer(1, 12),
        picture,
        Spacer(1, 12),
        Paragraph("End of the sample document.", BODY),
    ]


def main(argv: list[str]) -> int:
    out = Path(argv[1]) if len(argv) > 1 else DEFAULT_OUT
    document = SimpleDocTemplate(
        str(out),
        pagesize=letter,
        title="folioscan sample",
        author="folioscan",
        invariant=1,  # fixed dates and document ID
    )
    document.build(story())
    print(f"wrote {out} ({out.stat().st_size} bytes)")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
