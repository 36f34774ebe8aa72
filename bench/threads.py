"""Threads extracting files at once: folioscan.extract releases the interpreter lock,
so a thread pool spreads the work over the machine's cores.

Extracts every file of the benchmark corpus (bench/out, written by make_corpus.py when
missing) --rounds times, on 1, 2, ... up to --max-threads threads, and prints the
elapsed time and the speed-up over one thread. parse_to_markdown, which holds the lock,
is timed the same way for comparison. Elapsed (wall) time is what threads change, so
run this on an otherwise idle machine.

    python3 bench/threads.py [--rounds 5] [--max-threads N]
"""

from __future__ import annotations

import argparse
import os
import subprocess
import sys
import time
from concurrent.futures import ThreadPoolExecutor
from pathlib import Path

HERE = Path(__file__).resolve().parent
sys.path.insert(0, str(HERE))
from make_corpus import CORPUS  # noqa: E402

OUT = HERE / "out"


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--rounds", type=int, default=5)
    parser.add_argument("--max-threads", type=int, default=os.cpu_count() or 1)
    args = parser.parse_args()
    if any(not (OUT / name).exists() for name, _, _ in CORPUS):
        subprocess.run([sys.executable, str(HERE / "make_corpus.py"), "--out", str(OUT)], check=True)

    import folioscan

    work = [((OUT / name).read_bytes(), password) for name, _, password in CORPUS] * args.rounds
    pages = sum(count for _, count, _ in CORPUS) * args.rounds
    calls = {
        "extract (lock released)": lambda item: folioscan.extract(item[0], item[1], format="markdown"),
        "parse_to_markdown (lock held)": lambda item: folioscan.parse_to_markdown(item[0], item[1]),
    }
    print(f"{len(work)} files, {pages} pages, {os.cpu_count()} CPUs\n")
    print("| function | threads | seconds | pages/s | speed-up |")
    print("|---|---:|---:|---:|---:|")
    for label, call in calls.items():
        single = None
        for threads in range(1, args.max_threads + 1):
            with ThreadPoolExecutor(max_workers=threads) as pool:
                start = time.perf_counter()
                list(pool.map(call, work))
                elapsed = time.perf_counter() - start
            single = single or elapsed
            print(f"| {label} | {threads} | {elapsed:.2f} | {pages / elapsed:,.0f} | {single / elapsed:.2f} |")
    return 0


if __name__ == "__main__":
    sys.exit(main())
