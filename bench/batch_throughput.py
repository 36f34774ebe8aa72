"""Batch throughput on this machine: the command line with --jobs 1, --jobs N and
--dask on a local Dask cluster of N worker processes (one thread each), and
`parse_files` with jobs=N against the same cluster's executor.

    python3 bench/batch_throughput.py [--files 120] [--workers 2] [--runs 3]

The batch is --files distinct reportlab documents of 8 to 28 pages (text with a ruled
table every fifth page), written once to bench/out/batch/ (git-ignored). Each timing
is the median of --runs runs of the whole batch to Markdown; the command line runs
include starting the interpreter (and, with --dask, connecting to the scheduler),
the cluster itself is started once beforehand and its start-up is not counted.
Prints a Markdown table. Needs the bench extra and the dask extra:
pip install .[bench,dask]
"""

from __future__ import annotations

import argparse
import os
import random
import shutil
import statistics
import subprocess
import sys
import tempfile
import time
from pathlib import Path

HERE = Path(__file__).resolve().parent
sys.path.insert(0, str(HERE))

import make_corpus  # noqa: E402  (the corpus helpers beside this script)

BATCH = make_corpus.OUT / "batch"


def make_batch(count: int) -> list[Path]:
    """`count` documents, each from its own seed so no two are the same bytes (a Dask
    cluster would compute identical inputs once)."""
    BATCH.mkdir(parents=True, exist_ok=True)
    make_corpus.register_font()
    paths = []
    for number in range(count):
        path = BATCH / f"doc_{number:04d}.pdf"
        if not path.exists():
            rng = random.Random(1000 + number)
            pages = 8 + number % 21
            partial = path.with_suffix(".tmp")
            make_corpus.build(partial, make_corpus.text_story(rng, pages, table_every=5), f"Document {number}")
            partial.rename(path)
        paths.append(path)
    return paths


def median_seconds(run, runs: int) -> float:
    times = []
    for _ in range(runs):
        started = time.perf_counter()
        run()
        times.append(time.perf_counter() - started)
    return statistics.median(times)


def cli_run(options: list[str]):
    def run() -> None:
        out = tempfile.mkdtemp(prefix="folioscan-batch-")
        try:
            subprocess.run([sys.executable, "-m", "folioscan", str(BATCH), "--out-dir", out, "--quiet",
                            *options], check=True, timeout=1800)
        finally:
            shutil.rmtree(out)

    return run


def api_run(paths: list[Path], **options):
    import folioscan

    def run() -> None:
        for path, result in folioscan.parse_files(paths, format="markdown", **options):
            if isinstance(result, Exception):
                raise RuntimeError(f"{path}: {result}")

    return run


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--files", type=int, default=120)
    parser.add_argument("--workers", type=int, default=os.cpu_count() or 2)
    parser.add_argument("--runs", type=int, default=3)
    args = parser.parse_args()

    import distributed

    import folioscan

    paths = make_batch(args.files)
    stale = sorted(set(BATCH.glob("*.pdf")) - set(paths))
    for path in stale:  # left by a run with more files
        path.unlink()
    pages = sum(len(folioscan.parse(path.read_bytes())["pages"]) for path in paths)
    megabytes = sum(path.stat().st_size for path in paths) / 1e6
    n = args.workers
    print(f"{len(paths)} files, {pages} pages, {megabytes:.1f} MB; {os.cpu_count()} CPUs; "
          f"{n} workers; median of {args.runs} runs", flush=True)

    rows = [
        ("command line, --jobs 1", cli_run(["--jobs", "1"])),
        (f"command line, --jobs {n}", cli_run(["--jobs", str(n)])),
    ]
    with distributed.LocalCluster(n_workers=n, threads_per_worker=1, processes=True, host="127.0.0.1",
                                  dashboard_address=None) as cluster, \
            distributed.Client(cluster, set_as_default=False) as client:
        client.wait_for_workers(n, timeout=120)
        executor = client.get_executor()
        rows += [
            (f"command line, --dask (local cluster, {n} workers)", cli_run(["--dask", cluster.scheduler_address])),
            (f"parse_files, jobs={n}", api_run(paths, jobs=n)),
            (f"parse_files, jobs={n}, executor=local cluster", api_run(paths, jobs=n, executor=executor)),
            (f"parse_files, jobs={n}, executor=local cluster, read_on_worker",
             api_run(paths, jobs=n, executor=executor, read_on_worker=True)),
        ]
        print()
        print("| run | seconds | files/s | pages/s | vs --jobs 1 |")
        print("|---|---:|---:|---:|---:|")
        baseline = None
        for name, run in rows:
            seconds = median_seconds(run, args.runs)
            baseline = baseline or seconds
            print(f"| {name} | {seconds:.2f} | {len(paths) / seconds:.1f} | {pages / seconds:.0f} | "
                  f"{baseline / seconds:.2f}x |", flush=True)


if __name__ == "__main__":
    main()
