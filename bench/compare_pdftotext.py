#!/usr/bin/env python3
"""Word agreement between folioscan and pdftotext on a corpus of real PDF files.

For every file listed in the corpus index (with its user password, if any) that
folioscan opens, both tools extract the text of each page; each page becomes a
multiset of whitespace-separated words, and the two multisets are compared without
regard to order. The script prints per-file precision, recall and F1 (folioscan's
words against pdftotext's), the worst pages with the words that differ most, and a
summary: how many files open and the overall word agreement (matched words over all
pages, as an F1 of the summed counts).

    python3 bench/compare_pdftotext.py [--corpus DIR] [--only TEXT] [--worst N] [--nfkc] [--recover] [--json OUT]

--recover extracts with folioscan.extract (the recovering reading) instead of
folioscan.parse.

--nfkc compares words after Unicode NFKC normalisation (ligatures such as U+FB01
become "fi"), to separate ligature differences from real ones. The summary also gives
the agreement of characters with white space removed: words that differ while their
characters agree point at spacing and line grouping rather than at decoding.
"""

from __future__ import annotations

import argparse
import csv
import json
import shutil
import subprocess
import sys
import unicodedata
from collections import Counter
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


def pdftotext_pages(path: Path, password: str, page_count: int) -> list[str] | None:
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
    # One form feed ends every page.
    pages = proc.stdout.decode("utf-8", "replace").split("\f")
    if pages and pages[-1].strip() == "":
        pages.pop()
    pages += [""] * (page_count - len(pages))
    return pages[:page_count]


def score_file(corpus: Path, row: dict[str, str], nfkc: bool, recover: bool = False) -> FileScore:
    rel = row["path"]
    check = row.get("qpdf_check", "?")
    path = corpus / rel
    data = path.read_bytes()
    password = password_of(row)
    try:
        doc = (folioscan.extract if recover else folioscan.parse)(data, password or None)
    except ValueError as e:
        return FileScore(rel, "folioscan error", note=f"{e} (qpdf --check: {check})")
    pages = doc["pages"]
    theirs = pdftotext_pages(path, password, len(pages))
    if theirs is None:
        return FileScore(rel, "pdftotext error")
    score = FileScore(rel, "ok")
    for i, page in enumerate(pages):
        ours = "\n".join(line["text"] for line in page["lines"])
        score.pages.append(
            PageScore(rel, i + 1, words(ours, nfkc), words(theirs[i], nfkc), chars(ours, nfkc), chars(theirs[i], nfkc))
        )
    return score


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
    ap.add_argument("--recover", action="store_true", help="extract with folioscan.extract (recovery)")
    ap.add_argument("--json", type=Path, help="write per-file numbers to this file")
    args = ap.parse_args()

    if shutil.which("pdftotext") is None:
        print("pdftotext not found (Debian package poppler-utils)", file=sys.stderr)
        return 2
    index = args.corpus / "index.tsv"
    with index.open(newline="") as f:
        rows = [r for r in csv.DictReader(f, delimiter="\t") if args.only in r["path"]]

    files = [score_file(args.corpus, row, args.nfkc, args.recover) for row in rows]
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
    if args.json:
        out = []
        for f in files:
            m_, o_, t_ = f.totals()
            out.append({"path": f.path, "status": f.status, "note": f.note, "pages": len(f.pages),
                        "matched": m_, "folioscan_words": o_, "pdftotext_words": t_})
        args.json.write_text(json.dumps(out, indent=2))
    return 0


if __name__ == "__main__":
    sys.exit(main())
