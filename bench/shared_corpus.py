"""Files opened and pages per second on the shared corpus of real-world PDFs, for
folioscan's strict and recovering readings and the peers, side by side in one run.

Each library reads each file of ../shared/corpus (index.tsv gives the passwords) the
way a caller would, best of --runs on the process's CPU time. A file counts as opened
when the library returns text without raising. Pages are the pages folioscan's
recovering reading finds, the same count for every library, so pages per second
compare work done on the same documents.

With --slowest N, also lists the N files on which each folioscan reading is furthest
behind PyMuPDF (time ratio, same run), the files that set the worst case.

    python3 bench/shared_corpus.py [--corpus DIR] [--runs 3] [--libs NAME ...] [--slowest N]
"""

from __future__ import annotations

import argparse
import csv
import sys
import time
from pathlib import Path

HERE = Path(__file__).resolve().parent
sys.path.insert(0, str(HERE))
import run  # noqa: E402  (the extractors of the benchmark runner)

DEFAULT_CORPUS = HERE.parents[1] / "shared" / "corpus"
LIBS = ["folioscan", "folioscan.extract", "pymupdf", "pypdfium2", "pdf_oxide"]


def rows(corpus: Path) -> list[tuple[Path, str | None]]:
    with (corpus / "index.tsv").open(newline="") as f:
        out = []
        for row in csv.DictReader(f, delimiter="\t"):
            user = row["user_password"]
            out.append((corpus / row["path"], user if user and user != "<empty>" else None))
        return out


def best_time(fn, path: Path, password: str | None, runs: int) -> float | None:
    best = None
    for _ in range(runs):
        start = time.process_time()
        try:
            fn(path, password)
        except Exception:  # a peer's own exception types: the file did not open
            return None
        elapsed = time.process_time() - start
        best = elapsed if best is None else min(best, elapsed)
    return best


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--corpus", type=Path, default=DEFAULT_CORPUS)
    parser.add_argument("--runs", type=int, default=3)
    parser.add_argument("--libs", nargs="*", default=LIBS)
    parser.add_argument("--slowest", type=int, default=0, help="list the N files furthest behind PyMuPDF")
    args = parser.parse_args()

    import folioscan

    files = rows(args.corpus)
    pages = {}
    for path, password in files:
        try:
            pages[path] = len(folioscan.extract(path.read_bytes(), password)["pages"])
        except ValueError:
            pages[path] = 0
    names = run.available(args.libs)
    print(f"{len(files)} files, {sum(pages.values())} pages; versions {run.versions(names)}\n")
    print("| library | files opened | pages read | CPU s | pages/s | pages/s ÷ PyMuPDF |")
    print("|---|---:|---:|---:|---:|---:|")
    totals = {}
    per_file: dict[str, dict[Path, float]] = {}
    for name in names:
        _, fn, _ = run.BY_NAME[name]
        opened = read = 0
        seconds = 0.0
        for path, password in files:
            t = best_time(fn, path, password, args.runs)
            if t is None:
                continue
            per_file.setdefault(name, {})[path] = t
            opened += 1
            read += pages[path]
            seconds += t
        totals[name] = (opened, read, seconds)
    reference = totals.get("pymupdf")
    for name, (opened, read, seconds) in totals.items():
        rate = read / seconds if seconds else float("nan")
        ratio = ""
        if reference and reference[2]:
            ratio = f"{rate / (reference[1] / reference[2]):.2f}"
        print(f"| {name} | {opened} | {read} | {seconds:.2f} | {rate:,.0f} | {ratio} |")
    if args.slowest and "pymupdf" in per_file:
        print_slowest(per_file, args.slowest, args.corpus)
    return 0


def print_slowest(per_file: dict[str, dict[Path, float]], count: int, corpus: Path) -> None:
    """The files on which each folioscan reading takes longest relative to PyMuPDF."""
    peer = per_file["pymupdf"]
    for name in ("folioscan", "folioscan.extract"):
        mine = per_file.get(name)
        if not mine:
            continue
        both = [(t / max(peer[p], 1e-6), p, t, peer[p]) for p, t in mine.items() if p in peer]
        both.sort(key=lambda row: row[0], reverse=True)
        print(f"\n{name}: the {count} files furthest behind PyMuPDF\n")
        print("| file | ms | PyMuPDF ms | ratio |")
        print("|---|---:|---:|---:|")
        for ratio, path, t, ref in both[:count]:
            print(f"| {path.relative_to(corpus)} | {t * 1e3:.2f} | {ref * 1e3:.2f} | {ratio:.1f} |")


if __name__ == "__main__":
    sys.exit(main())
