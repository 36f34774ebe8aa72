"""Writes the benchmark corpus into bench/out/ with real producers.

- report_500.pdf: a 500-page text report set by reportlab in an embedded TrueType font
  (so every font carries /Widths and a /ToUnicode map), Flate-compressed content.
- tables_50.pdf: 50 pages, each one ruled table (reportlab, grid lines as strokes).
- objstm_200.pdf: a 200-page mixed report (text pages, a ruled table every fifth page)
  rewritten by pikepdf with object streams and cross-reference streams.
- objstm_200_aes256.pdf: the same, encrypted with AES-256 (revision 6); user password
  "bench".

The text is pseudo-random words from a fixed seed, so every run writes the same pages.
Needs the bench extra: pip install .[bench]
"""

from __future__ import annotations

import argparse
import random
import subprocess
from pathlib import Path

OUT = Path(__file__).resolve().parent / "out"
USER_PASSWORD = "bench"

# Files the runner benchmarks: name, page count, password.
CORPUS = [
    ("report_500.pdf", 500, None),
    ("tables_50.pdf", 50, None),
    ("objstm_200.pdf", 200, None),
    ("objstm_200_aes256.pdf", 200, USER_PASSWORD),
]

FONT_NAME = "BenchSans"

WORDS = (
    "analysis revenue quarter margin growth forecast region segment customer product "
    "delivery schedule contract supplier inventory capacity baseline variance estimate "
    "budget operating capital interest exchange rate policy review audit compliance risk "
    "market share pricing volume channel retail wholesale logistics freight warehouse "
    "network service platform release version upgrade migration incident response team "
    "manager director committee board approval measure target outcome result summary "
    "détail élève Straße Ærø café naïve façade über coöperate déjà vu — – “quoted” ‘single’ "
    "0.25 1,024 3.1415 42 1999 2024 12% €350 $1.2m"
).split()


def find_font() -> Path:
    """A TrueType font that reportlab embeds with /Widths: DejaVu Sans from the system
    when fontconfig knows it, else the Bitstream Vera that ships inside reportlab."""
    try:
        listed = subprocess.run(
            ["fc-list", ":family=DejaVu Sans:style=Book", "file"],
            capture_output=True, text=True, check=False, timeout=30,
        ).stdout
        for line in listed.splitlines():
            path = Path(line.split(":")[0].strip())
            if path.name == "DejaVuSans.ttf" and path.exists():
                return path
    except (OSError, subprocess.SubprocessError):
        pass
    for candidate in (Path("/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf"),):
        if candidate.exists():
            return candidate
    import reportlab

    return Path(reportlab.__file__).parent / "fonts" / "Vera.ttf"


def register_font() -> Path:
    from reportlab.pdfbase import pdfmetrics
    from reportlab.pdfbase.ttfonts import TTFont

    path = find_font()
    pdfmetrics.registerFont(TTFont(FONT_NAME, str(path)))
    return path


def sentence(rng: random.Random, lo: int = 8, hi: int = 22) -> str:
    words = [rng.choice(WORDS) for _ in range(rng.randint(lo, hi))]
    words[0] = words[0].capitalize()
    return " ".join(words) + "."


def paragraph(rng: random.Random) -> str:
    return " ".join(sentence(rng) for _ in range(rng.randint(3, 5)))


def styles():
    from reportlab.lib.styles import ParagraphStyle
    from reportlab.lib.enums import TA_JUSTIFY

    body = ParagraphStyle("body", fontName=FONT_NAME, fontSize=10, leading=13,
                          alignment=TA_JUSTIFY, spaceAfter=6)
    heading = ParagraphStyle("heading", fontName=FONT_NAME, fontSize=15, leading=19,
                             spaceBefore=8, spaceAfter=8)
    cell = ParagraphStyle("cell", fontName=FONT_NAME, fontSize=8, leading=10)
    return body, heading, cell


def ruled_table(rng: random.Random, rows: int, cols: int):
    from reportlab.lib import colors
    from reportlab.platypus import Table, TableStyle

    head = [f"Column {c + 1}" for c in range(cols)]
    data = [head]
    for r in range(rows):
        row = [f"{rng.choice(WORDS)} {r + 1}"]
        row += [f"{rng.uniform(-5000, 90000):,.2f}" for _ in range(cols - 1)]
        data.append(row)
    table = Table(data, repeatRows=0)
    table.setStyle(TableStyle([
        ("FONTNAME", (0, 0), (-1, -1), FONT_NAME),
        ("FONTSIZE", (0, 0), (-1, -1), 8),
        ("GRID", (0, 0), (-1, -1), 0.5, colors.black),
        ("BACKGROUND", (0, 0), (-1, 0), colors.lightgrey),
    ]))
    return table


def build(path: Path, story: list, title: str) -> None:
    from reportlab.lib.pagesizes import A4
    from reportlab.platypus import SimpleDocTemplate

    doc = SimpleDocTemplate(str(path), pagesize=A4, title=title, author="folioscan bench",
                            pageCompression=1, invariant=1)

    def footer(canvas, document):
        canvas.saveState()
        canvas.setFont(FONT_NAME, 8)
        canvas.drawRightString(A4[0] - 72, 40, f"{title} — page {document.page}")
        canvas.restoreState()

    doc.build(story, onFirstPage=footer, onLaterPages=footer)


def text_story(rng: random.Random, pages: int, table_every: int = 0) -> list:
    """Flowables for `pages` pages: a heading and paragraphs, with a page break after
    each page's text so the page count is exact."""
    from reportlab.platypus import PageBreak, Paragraph

    body, heading, _ = styles()
    story: list = []
    for page in range(1, pages + 1):
        if table_every and page % table_every == 0:
            story.append(Paragraph(f"Table {page // table_every}", heading))
            story.append(ruled_table(rng, rows=30, cols=6))
        else:
            story.append(Paragraph(f"Section {page}: {sentence(rng, 3, 6)}", heading))
            for _ in range(4):
                story.append(Paragraph(paragraph(rng), body))
        story.append(PageBreak())
    return story[:-1]


def make_report(path: Path, pages: int) -> None:
    build(path, text_story(random.Random(1), pages), "Annual report")


def make_tables(path: Path, pages: int) -> None:
    from reportlab.platypus import PageBreak, Paragraph

    rng = random.Random(2)
    _, heading, _ = styles()
    story: list = []
    for page in range(1, pages + 1):
        story.append(Paragraph(f"Schedule {page}", heading))
        story.append(ruled_table(rng, rows=34, cols=7))
        story.append(PageBreak())
    build(path, story[:-1], "Schedules")


def make_objstm(path: Path, pages: int) -> None:
    import pikepdf

    plain = path.with_name(path.stem + "_plain.pdf")
    build(plain, text_story(random.Random(3), pages, table_every=5), "Mixed report")
    with pikepdf.open(plain) as pdf:
        pdf.save(path, object_stream_mode=pikepdf.ObjectStreamMode.generate,
                 compress_streams=True, deterministic_id=True)
    plain.unlink()


def make_encrypted(source: Path, path: Path) -> None:
    import pikepdf

    with pikepdf.open(source) as pdf:
        pdf.save(path, object_stream_mode=pikepdf.ObjectStreamMode.generate,
                 compress_streams=True,
                 encryption=pikepdf.Encryption(user=USER_PASSWORD, owner="bench-owner", R=6))


def page_count(path: Path, password: str | None) -> int:
    import pikepdf

    with pikepdf.open(path, password=password or "") as pdf:
        return len(pdf.pages)


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--out", type=Path, default=OUT)
    args = parser.parse_args()
    args.out.mkdir(parents=True, exist_ok=True)
    font = register_font()
    print(f"font: {font}")
    make_report(args.out / "report_500.pdf", 500)
    make_tables(args.out / "tables_50.pdf", 50)
    make_objstm(args.out / "objstm_200.pdf", 200)
    make_encrypted(args.out / "objstm_200.pdf", args.out / "objstm_200_aes256.pdf")
    for name, pages, password in CORPUS:
        path = args.out / name
        got = page_count(path, password)
        if got != pages:
            raise SystemExit(f"{name}: {got} pages, expected {pages}")
        print(f"{name}: {pages} pages, {path.stat().st_size / 1024:.0f} KiB")


if __name__ == "__main__":
    main()
