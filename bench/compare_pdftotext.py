#!/usr/bin/env python3
"""Word agreement between folioscan and pdftotext on a corpus of real PDF files.

For every file listed in the corpus index (with its user password, if any) that
folioscan opens, both tools extract the text of each page; each page becomes a
multiset of whitespace-separated words, and the two multisets are compared without
regard to order. The script prints per-file precision, recall and F1 (folioscan's
words against pdftotext's), the worst pages with the words that differ most, and a
summary: how many files open and the overall word agreement (matched words over all
pages, as an F1 of the summed counts).

It then scores several libraries side by side on every file that pdftotext reads:
folioscan's parse() (the four functions share its text), folioscan's extract() when
the package has it, and PyMuPDF, pypdfium2 and pdf_oxide where they are installed
(`pip install ".[bench]"`). Each file's score is the F1 of the NFKC-normalised word
multisets of the whole document against pdftotext's; a library that fails on a file
scores 0 there. One row per file, one column per library, and a mean row.

    python3 bench/compare_pdftotext.py [--corpus DIR] [--only TEXT] [--worst N] [--nfkc]
                                       [--libraries NAME,...] [--json OUT]

--nfkc compares words after Unicode NFKC normalisation (ligatures such as U+FB01
become "fi"), to separate ligature differences from real ones. The summary also gives
the agreement of characters with white space removed: words that differ while their
characters agree point at spacing and line grouping rather than at decoding.
"""

from __future__ import annotations

import argparse
import csv
import importlib.util
import json
import shutil
import subprocess
import sys
import unicodedata
from collections import Counter
from collections.abc import Callable
from dataclasses import dataclass, field
from pathlib import Path

import folioscan

DEFAULT_CORPUS = Path("/work/shared/corpus")


@dataclass
class PageScore:
    path: str
    page: int  # 1-based
    ours: Counter
    theirs: Counter
    ours_chars: Counter
    theirs_chars: Counter

    @property
    def matched(self) -> int:
        return sum((self.ours & self.theirs).values())

    @property
    def n_ours(self) -> int:
        return sum(self.ours.values())

    @property
    def n_theirs(self) -> int:
        return sum(self.theirs.values())

    @property
    def errors(self) -> int:
        """Words on one side without a partner on the other."""
        return self.n_ours + self.n_theirs - 2 * self.matched


@dataclass
class FileScore:
    path: str
    status: str  # "ok", or why the file was left out
    pages: list[PageScore] = field(default_factory=list)
    note: str = ""

    def totals(self) -> tuple[int, int, int]:
        return (
            sum(p.matched for p in self.pages),
            sum(p.n_ours for p in self.pages),
            sum(p.n_theirs for p in self.pages),
        )


def prf(matched: int, ours: int, theirs: int) -> tuple[float, float, float]:
    precision = matched / ours if ours else (1.0 if not theirs else 0.0)
    recall = matched / theirs if theirs else (1.0 if not ours else 0.0)
    f1 = 2 * matched / (ours + theirs) if ours + theirs else 1.0
    return precision, recall, f1


def words(text: str, nfkc: bool) -> Counter:
    if nfkc:
        text = unicodedata.normalize("NFKC", text)
    return Counter(text.split())


def chars(text: str, nfkc: bool) -> Counter:
    if nfkc:
        text = unicodedata.normalize("NFKC", text)
    return Counter(c for c in text if not c.isspace())


def password_of(row: dict[str, str]) -> str:
    user = row.get("user_password", "")
    return "" if user in ("", "<empty>") else user


def pdftotext_text(path: Path, password: str) -> str | None:
    """The whole document's text, one form feed ending every page; None on failure."""
    cmd = ["pdftotext", "-q", "-enc", "UTF-8"]
    if password:
        cmd += ["-upw", password]
    cmd += [str(path), "-"]
    try:
        proc = subprocess.run(cmd, capture_output=True, timeout=120)
    except subprocess.TimeoutExpired:
        return None
    if proc.returncode != 0:
        return None
    return proc.stdout.decode("utf-8", "replace")


def split_pages(text: str, page_count: int) -> list[str]:
    pages = text.split("\f")
    if pages and pages[-1].strip() == "":
        pages.pop()
    pages += [""] * (page_count - len(pages))
    return pages[:page_count]


def score_file(rel: str, check: str, data: bytes, password: str, theirs: str | None, nfkc: bool) -> FileScore:
    try:
        doc = folioscan.parse(data, password or None)
    except ValueError as e:
        return FileScore(rel, "folioscan error", note=f"{e} (qpdf --check: {check})")
    pages = doc["pages"]
    if theirs is None:
        return FileScore(rel, "pdftotext error")
    their_pages = split_pages(theirs, len(pages))
    score = FileScore(rel, "ok")
    for i, page in enumerate(pages):
        ours = page_text(page)
        score.pages.append(
            PageScore(rel, i + 1, words(ours, nfkc), words(their_pages[i], nfkc), chars(ours, nfkc),
                      chars(their_pages[i], nfkc))
        )
    return score


# Side by side: each extractor takes the file's bytes and user password and returns the
# document's text, or raises.

def page_text(page: dict) -> str:
    """A page's lines, then the text of its table blocks: extract() moves the lines of a
    recovered table out of "lines" into the table's block."""
    texts = [line["text"] for line in page["lines"]]
    texts += [block["text"] for block in page.get("blocks", ()) if block.get("type") == "table"]
    return "\n".join(texts)


def folioscan_text(doc: dict) -> str:
    return "\n".join(page_text(page) for page in doc["pages"])


def text_folioscan_parse(data: bytes, password: str) -> str:
    return folioscan_text(folioscan.parse(data, password or None))


def text_folioscan_extract(data: bytes, password: str) -> str:
    return folioscan_text(folioscan.extract(data, password or None))


def text_pymupdf(data: bytes, password: str) -> str:
    import pymupdf

    pymupdf.TOOLS.mupdf_display_errors(False)
    with pymupdf.open(stream=data, filetype="pdf") as doc:
        if doc.needs_pass and not doc.authenticate(password):
            raise ValueError("password not accepted")
        return "\n".join(page.get_text() for page in doc)


def text_pypdfium2(data: bytes, password: str) -> str:
    import pypdfium2 as pdfium

    pdf = pdfium.PdfDocument(data, password=password or None)
    texts = []
    try:
        for page in pdf:
            textpage = page.get_textpage()
            texts.append(textpage.get_text_range())
            textpage.close()
            page.close()
    finally:
        pdf.close()
    return "\n".join(texts)


def text_pdf_oxide(data: bytes, password: str) -> str:
    import pdf_oxide

    pdf_oxide.disable_logging()
    doc = pdf_oxide.PdfDocument.from_bytes(data, password=password or None)
    return "\n".join(doc.extract_text(i) for i in range(int(doc.page_count)))


# column name, module that must be importable, extractor
LIBRARIES: list[tuple[str, str, Callable[[bytes, str], str]]] = [
    ("parse", "folioscan", text_folioscan_parse),
    ("extract", "folioscan", text_folioscan_extract),
    ("pymupdf", "pymupdf", text_pymupdf),
    ("pypdfium2", "pypdfium2", text_pypdfium2),
    ("pdf_oxide", "pdf_oxide", text_pdf_oxide),
]


def available_libraries(wanted: list[str] | None) -> list[tuple[str, Callable[[bytes, str], str]]]:
    chosen = []
    for name, module, extract in LIBRARIES:
        if wanted is not None and name not in wanted:
            continue
        if name == "extract" and not hasattr(folioscan, "extract"):
            print("side by side: folioscan has no extract() yet; column left out", file=sys.stderr)
            continue
        if importlib.util.find_spec(module) is None:
            print(f"side by side: {module} is not installed; column left out", file=sys.stderr)
            continue
        chosen.append((name, extract))
    return chosen


def document_agreement(extract: Callable[[bytes, str], str], data: bytes, password: str, theirs: Counter) -> float:
    """F1 of the document's NFKC word multiset against pdftotext's; 0 when the library fails."""
    try:
        ours = words(extract(data, password), nfkc=True)
    except Exception:  # any failure of any library counts the same
        return 0.0
    return prf(sum((ours & theirs).values()), sum(ours.values()), sum(theirs.values()))[2]


def print_side_by_side(names: list[str], rows: list[tuple[str, list[float]]]) -> None:
    width = max([len("mean")] + [len(path) for path, _ in rows])
    print(f"\nSide by side: word agreement with pdftotext per document (NFKC; a failure scores 0), "
          f"{len(rows)} files that pdftotext reads")
    print(f"{'file':<{width}} " + " ".join(f"{n:>9}" for n in names))
    for path, scores in rows:
        print(f"{path:<{width}} " + " ".join(f"{v:>9.3f}" for v in scores))
    if rows:
        means = [sum(scores[i] for _, scores in rows) / len(rows) for i in range(len(names))]
        print(f"{'mean':<{width}} " + " ".join(f"{v:>9.3f}" for v in means))


def show_diff(page: PageScore, limit: int = 12) -> str:
    missing = (page.theirs - page.ours).most_common(limit)
    extra = (page.ours - page.theirs).most_common(limit)
    fmt = lambda items: " ".join(f"{w!r}x{n}" if n > 1 else repr(w) for w, n in items)
    return f"      only pdftotext: {fmt(missing)}\n      only folioscan: {fmt(extra)}"


def main() -> int:
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    ap.add_argument("--corpus", type=Path, default=DEFAULT_CORPUS)
    ap.add_argument("--only", default="", help="only files whose path contains this text")
    ap.add_argument("--worst", type=int, default=15, help="how many worst pages to print")
    ap.add_argument("--nfkc", action="store_true", help="NFKC-normalise words before comparing")
    ap.add_argument("--libraries", help="comma-separated columns of the side-by-side table "
                    "(default: all installed of " + ", ".join(n for n, _, _ in LIBRARIES) + "; empty: none)")
    ap.add_argument("--json", type=Path, help="write per-file numbers to this file")
    args = ap.parse_args()
    wanted = None if args.libraries is None else [n for n in args.libraries.split(",") if n]
    libraries = available_libraries(wanted)

    if shutil.which("pdftotext") is None:
        print("pdftotext not found (Debian package poppler-utils)", file=sys.stderr)
        return 2
    index = args.corpus / "index.tsv"
    with index.open(newline="") as f:
        rows = [r for r in csv.DictReader(f, delimiter="\t") if args.only in r["path"]]

    files = []
    side_by_side: list[tuple[str, list[float]]] = []
    for row in rows:
        path = args.corpus / row["path"]
        data = path.read_bytes()
        password = password_of(row)
        theirs = pdftotext_text(path, password)
        files.append(score_file(row["path"], row.get("qpdf_check", "?"), data, password, theirs, args.nfkc))
        if theirs is not None and libraries:
            their_words = words(theirs, nfkc=True)
            side_by_side.append(
                (row["path"], [document_agreement(extract, data, password, their_words) for _, extract in libraries])
            )
    opened = [f for f in files if f.status == "ok"]

    print(f"{'file':<78} {'pages':>5} {'words':>7} {'P':>6} {'R':>6} {'F1':>6}")
    for f in files:
        if f.status != "ok":
            print(f"{f.path:<78} {f.status}: {f.note}")
            continue
        m, o, t = f.totals()
        p, r, f1 = prf(m, o, t)
        print(f"{f.path:<78} {len(f.pages):>5} {t:>7} {p:>6.3f} {r:>6.3f} {f1:>6.3f}")

    pages = [p for f in opened for p in f.pages]
    worst = sorted((p for p in pages if p.errors), key=lambda p: (-p.errors, p.path, p.page))
    print(f"\nWorst pages (by unmatched words, out of {len(pages)} pages):")
    for p in worst[: args.worst]:
        pr, rc, f1 = prf(p.matched, p.n_ours, p.n_theirs)
        print(
            f"  {p.path} page {p.page}: {p.n_ours} ours / {p.n_theirs} pdftotext, "
            f"{p.errors} unmatched, P {pr:.3f} R {rc:.3f} F1 {f1:.3f}"
        )
        print(show_diff(p))

    m = sum(p.matched for p in pages)
    o = sum(p.n_ours for p in pages)
    t = sum(p.n_theirs for p in pages)
    precision, recall, f1 = prf(m, o, t)
    file_f1 = [prf(*f.totals())[2] for f in opened]
    cm = sum(sum((p.ours_chars & p.theirs_chars).values()) for p in pages)
    co = sum(sum(p.ours_chars.values()) for p in pages)
    ct = sum(sum(p.theirs_chars.values()) for p in pages)
    print("\nSummary")
    print(f"  files in index:      {len(files)}")
    print(f"  files opened:        {len(opened)}")
    for status in sorted({f.status for f in files} - {"ok"}):
        print(f"  {status + ':':<20} {sum(f.status == status for f in files)}")
    print(f"  pages compared:      {len(pages)}")
    print(f"  words (folioscan):   {o}")
    print(f"  words (pdftotext):   {t}")
    print(f"  matched words:       {m}")
    print(f"  precision / recall:  {precision:.4f} / {recall:.4f}")
    print(f"  overall agreement:   {f1:.4f} (F1 of summed counts)")
    if file_f1:
        print(f"  mean per-file F1:    {sum(file_f1) / len(file_f1):.4f}")
    print(f"  character agreement: {prf(cm, co, ct)[2]:.4f} (white space removed)")
    if libraries:
        print_side_by_side([name for name, _ in libraries], side_by_side)
    if args.json:
        document_scores = {path: dict(zip((n for n, _ in libraries), scores)) for path, scores in side_by_side}
        out = []
        for f in files:
            m_, o_, t_ = f.totals()
            out.append({"path": f.path, "status": f.status, "note": f.note, "pages": len(f.pages),
                        "matched": m_, "folioscan_words": o_, "pdftotext_words": t_,
                        "document_agreement": document_scores.get(f.path, {})})
        args.json.write_text(json.dumps(out, indent=2))
    return 0


if __name__ == "__main__":
    sys.exit(main())
