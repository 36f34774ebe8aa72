"""The LangChain loader against `extract()` alone: seconds to read the same files into
page Documents (FolioscanLoader, page mode, Markdown and text), into extract()'s dict
and into its Markdown text, in this process, best of --runs on CPU time.

The files are those of the shared corpus (index.tsv gives the passwords) and of
bench/out (made by bench/make_corpus.py; the _aes256 files use the password "bench").
Files that cannot be read count in both runs (each reports the failure its own way).
The loader runs with jobs=1, one file at a time, so that both sides do the same work in
one process; with jobs above 1 it spreads files over worker processes.

    python3 bench/loader_speed.py [--corpus DIR] [--runs 5]
"""

from __future__ import annotations

import argparse
import logging
import sys
import time
from pathlib import Path

HERE = Path(__file__).resolve().parent
sys.path.insert(0, str(HERE))
from shared_corpus import rows  # noqa: E402

# The shared corpus lies beside the checkout, or beside the folder of worktrees.
DEFAULT_CORPUS = next((p for p in (HERE.parents[1] / "shared" / "corpus", HERE.parents[2] / "shared" / "corpus")
                       if p.exists()), HERE.parents[1] / "shared" / "corpus")


def files(corpus: Path) -> list[tuple[Path, str | None]]:
    found = rows(corpus) if (corpus / "index.tsv").exists() else []
    for path in sorted((HERE / "out").glob("*.pdf")):
        found.append((path, "bench" if path.name.endswith("_aes256.pdf") else None))
    return found


def best(run, runs: int) -> float:
    times = []
    for _ in range(runs):
        start = time.process_time()
        run()
        times.append(time.process_time() - start)
    return min(times)


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--corpus", type=Path, default=DEFAULT_CORPUS)
    parser.add_argument("--runs", type=int, default=5)
    args = parser.parse_args()

    import folioscan
    from folioscan.langchain import FolioscanLoader

    logging.getLogger("folioscan.langchain").setLevel(logging.ERROR)  # failed files, counted below
    inputs = files(args.corpus)

    def extract_all(format: str) -> None:
        for path, password in inputs:
            try:
                folioscan.extract(path.read_bytes(), password, format=format)
            except ValueError:
                pass

    def load_all(format: str) -> int:
        return sum(len(FolioscanLoader(path, password=password, format=format, jobs=1).load())
                   for path, password in inputs)

    runs = {
        "extract()": lambda: extract_all("dict"),
        'extract(format="markdown")': lambda: extract_all("markdown"),
        "loader, Markdown pages": lambda: load_all("markdown"),
        "loader, text pages": lambda: load_all("text"),
    }
    # Interleaved rounds, so that a busy machine slows every run alike.
    seconds = {name: float("inf") for name in runs}
    for _ in range(args.runs):
        for name, run in runs.items():
            seconds[name] = min(seconds[name], best(run, 1))
    base = seconds["extract()"]
    print(f"{len(inputs)} files, {load_all('markdown')} page Documents, best of {args.runs} (CPU s): "
          + "; ".join(f"{name} {value:.3f} s ({value / base:.2f}x)" for name, value in seconds.items()))
    return 0


if __name__ == "__main__":
    sys.exit(main())
