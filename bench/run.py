"""Times text extraction with folioscan and its peers on the benchmark corpus.

Every library extracts all text of every file in this one process, one library at a
time; the time of a file is the median over several runs (fewer for the slow pure-Python
peers). Peak memory is measured apart: each library and file runs once in a fresh
subprocess, which reports how far ru_maxrss rose above its value after the imports.

    python bench/make_corpus.py      # once: writes bench/out/*.pdf
    python bench/run.py              # table on stdout, bench/out/results.json, speed.png

The peers are the optional bench extra (pip install .[bench]); a missing one is skipped.
To time a build that is not installed, put a directory holding folioscan/ with the built
_folioscan*.so first on PYTHONPATH; the folioscan in use is printed.
"""

from __future__ import annotations

import argparse
import gc
import importlib
import json
import platform
import resource
import statistics
import subprocess
import sys
import time
from pathlib import Path

HERE = Path(__file__).resolve().parent
OUT = HERE / "out"
sys.path.insert(0, str(HERE))

from make_corpus import CORPUS  # noqa: E402

# The reference every ratio is taken against: folioscan's text output.
REFERENCE = "folioscan"


# ---------------------------------------------------------------- extractors
# Each takes (path, password), does all the work a caller would (reading the file
# included) and returns the number of characters of text it produced.

def run_folioscan_markdown(path: Path, password: str | None) -> int:
    import folioscan

    return len(folioscan.parse_to_markdown(path.read_bytes(), password))


def run_folioscan_parse(path: Path, password: str | None) -> int:
    import folioscan

    doc = folioscan.parse(path.read_bytes(), password)
    return sum(len(line["text"]) for page in doc["pages"] for line in page["lines"])


def run_folioscan_extract(path: Path, password: str | None) -> int:
    import folioscan

    return len(folioscan.extract(path.read_bytes(), password, format="markdown"))


def run_pdf_oxide(path: Path, password: str | None) -> int:
    import pdf_oxide

    pdf_oxide.disable_logging()
    doc = pdf_oxide.PdfDocument.from_bytes(path.read_bytes(), password=password or None)
    return sum(len(doc.extract_text(i)) for i in range(int(doc.page_count)))


def run_pymupdf(path: Path, password: str | None) -> int:
    import pymupdf

    with pymupdf.open(path) as doc:
        if password:
            doc.authenticate(password)
        return sum(len(page.get_text()) for page in doc)


def run_pypdfium2(path: Path, password: str | None) -> int:
    import pypdfium2 as pdfium

    pdf = pdfium.PdfDocument(path, password=password)
    total = 0
    try:
        for page in pdf:
            textpage = page.get_textpage()
            total += len(textpage.get_text_range())
            textpage.close()
            page.close()
    finally:
        pdf.close()
    return total


def run_pdfminer(path: Path, password: str | None) -> int:
    from pdfminer.high_level import extract_text

    return len(extract_text(path, password=password or ""))


def run_pypdf(path: Path, password: str | None) -> int:
    from pypdf import PdfReader

    reader = PdfReader(path, password=password)
    return sum(len(page.extract_text()) for page in reader.pages)


# name, module to import (None: always there), extractor, slow peer
LIBRARIES = [
    ("folioscan", "folioscan", run_folioscan_markdown, False),
    ("folioscan.parse", "folioscan", run_folioscan_parse, False),
    ("folioscan.extract", "folioscan", run_folioscan_extract, False),
    ("pymupdf", "pymupdf", run_pymupdf, False),
    ("pypdfium2", "pypdfium2", run_pypdfium2, False),
    ("pdf_oxide", "pdf_oxide", run_pdf_oxide, False),
    ("pdfminer.six", "pdfminer", run_pdfminer, True),
    ("pypdf", "pypdf", run_pypdf, True),
]
BY_NAME = {name: (module, fn, slow) for name, module, fn, slow in LIBRARIES}


def available(names: list[str]) -> list[str]:
    kept = []
    for name in names:
        try:
            importlib.import_module(BY_NAME[name][0])
            kept.append(name)
        except ImportError:
            print(f"skipped {name}: not installed", file=sys.stderr)
    return kept


def versions(names: list[str]) -> dict[str, str]:
    from importlib import metadata

    dists = {"folioscan": "folioscan", "folioscan.parse": "folioscan", "folioscan.extract": "folioscan",
             "pymupdf": "pymupdf", "pypdfium2": "pypdfium2", "pdf_oxide": "pdf-oxide",
             "pdfminer.six": "pdfminer.six", "pypdf": "pypdf"}
    out = {}
    for name in names:
        try:
            out[name] = metadata.version(dists[name])
        except metadata.PackageNotFoundError:
            out[name] = "source tree"
    return out


# ---------------------------------------------------------------- timing

# "cpu" is the process's CPU time (user + system), "wall" the elapsed time. Every library
# here extracts on the calling thread, so the two agree on an idle machine; CPU time is not
# disturbed by other work sharing the cores.
CLOCKS = {"cpu": time.process_time, "wall": time.perf_counter}


def time_one(fn, path: Path, password: str | None, runs: int, warmup: bool,
             clock=time.process_time) -> tuple[float, int]:
    if warmup:
        fn(path, password)
    times = []
    chars = 0
    for _ in range(runs):
        gc.collect()
        start = clock()
        chars = fn(path, password)
        times.append(clock() - start)
    return statistics.median(times), chars


# ---------------------------------------------------------------- memory

def proc_status_kib(field: str) -> int | None:
    try:
        for line in Path("/proc/self/status").read_text().splitlines():
            if line.startswith(field + ":"):
                return int(line.split()[1])
    except OSError:
        pass
    return None


def reset_peak_rss() -> bool:
    """Lowers the peak resident set to the current one (Linux), so that a peak reached
    during the imports cannot hide a smaller one reached during the extraction."""
    try:
        Path("/proc/self/clear_refs").write_text("5")
        return True
    except OSError:
        return False


def memory_child(name: str, path: str, password: str | None) -> None:
    """Runs in the subprocess: imports, then one extraction; prints how far the peak
    resident set (KiB) rose above the resident set after the imports.

    On Linux the peak is the process's own high-water mark (VmHWM), reset after the
    imports. ru_maxrss alone would mislead here: a child forked from a large parent
    starts with the parent's peak, which its own work may never pass."""
    module, fn, _ = BY_NAME[name]
    importlib.import_module(module)
    gc.collect()
    if reset_peak_rss() and proc_status_kib("VmHWM") is not None:
        before = proc_status_kib("VmRSS")
        fn(Path(path), password)
        after = proc_status_kib("VmHWM")
    else:
        before = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss
        fn(Path(path), password)
        after = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss
    print(json.dumps({"baseline_kib": before, "peak_kib": after, "delta_kib": after - before}))


def measure_memory(name: str, path: Path, password: str | None) -> int | None:
    cmd = [sys.executable, str(Path(__file__).resolve()), "--memory-child", name, str(path)]
    if password:
        cmd += ["--password", password]
    done = subprocess.run(cmd, capture_output=True, text=True, timeout=1800, check=False)
    if done.returncode != 0:
        print(f"memory run {name} {path.name} failed: {done.stderr.strip()[-400:]}", file=sys.stderr)
        return None
    return json.loads(done.stdout.strip().splitlines()[-1])["delta_kib"]


# ---------------------------------------------------------------- report

def fmt_ratio(value: float | None) -> str:
    return "—" if value is None else f"{value:.1f}×" if value >= 10 else f"{value:.2f}×"


def report(results: dict, names: list[str]) -> str:
    lines = []
    for file, entry in results["files"].items():
        pages = entry["pages"]
        size = entry["size"]
        ref = entry["libs"].get(REFERENCE, {}).get("seconds")
        lines.append(f"### {file} ({pages} pages, {size / 1024:.0f} KiB)")
        lines.append("")
        lines.append("| library | runs | median ms | pages/s | time ÷ folioscan | peak MiB | chars |")
        lines.append("|---|---:|---:|---:|---:|---:|---:|")
        for name in names:
            lib = entry["libs"].get(name)
            if lib is None:
                continue
            ratio = lib["seconds"] / ref if ref else None
            mem = lib.get("peak_kib")
            mem_text = "—" if mem is None else f"{mem / 1024:.1f}"
            lines.append(
                f"| {name} | {lib['runs']} | {lib['seconds'] * 1000:.1f} | "
                f"{pages / lib['seconds']:,.0f} | {fmt_ratio(ratio)} | {mem_text} | {lib['chars']:,} |"
            )
        lines.append("")
    return "\n".join(lines)


def summary(results: dict, names: list[str]) -> str:
    """Three compact tables over all files: folioscan's time with every other library's
    time as a multiple of it, pages per second, and peak memory against the limit."""
    names = [n for n in names if any(n in e["libs"] for e in results["files"].values())]
    out = ["| file | pages | " + " | ".join(names) + " |", "|---|---:|" + "---:|" * len(names)]
    for file, entry in results["files"].items():
        ref = entry["libs"][REFERENCE]["seconds"]
        cells = []
        for n in names:
            lib = entry["libs"].get(n)
            if lib is None:
                cells.append("—")
            elif n == REFERENCE:
                cells.append(f"{ref * 1000:.1f} ms")
            else:
                cells.append(fmt_ratio(lib["seconds"] / ref))
        out.append(f"| {file.removesuffix('.pdf')} | {entry['pages']} | " + " | ".join(cells) + " |")
    out += ["", "| pages/s | " + " | ".join(names) + " |", "|---|" + "---:|" * len(names)]
    for file, entry in results["files"].items():
        cells = [f"{entry['pages'] / entry['libs'][n]['seconds']:,.0f}" if n in entry["libs"] else "—"
                 for n in names]
        out.append(f"| {file.removesuffix('.pdf')} | " + " | ".join(cells) + " |")
    out += ["", "| peak MiB | limit | " + " | ".join(names) + " |", "|---|---:|" + "---:|" * len(names)]
    for file, entry in results["files"].items():
        limit = 3 * entry["size"] / 1048576 + 64
        cells = []
        for n in names:
            kib = entry["libs"].get(n, {}).get("peak_kib")
            cells.append("—" if kib is None else f"{kib / 1024:.1f}")
        out.append(f"| {file.removesuffix('.pdf')} | {limit:.1f} | " + " | ".join(cells) + " |")
    return "\n".join(out)


def check_targets(results: dict) -> list[str]:
    """The speed and memory goals, each checked on this run's numbers."""
    notes = []
    for file, entry in results["files"].items():
        libs = entry["libs"]
        fs = [libs[n]["seconds"] for n in (REFERENCE, "folioscan.parse") if n in libs]
        if not fs:
            continue
        slowest = max(fs)
        if "pymupdf" in libs:
            r = libs["pymupdf"]["seconds"] / slowest
            need = 1.5 if file.startswith("report") else 1.0
            notes.append(f"{'ok ' if r >= need else 'MISS'} {file}: pymupdf/folioscan = {r:.2f} (goal ≥ {need})")
        if file.startswith("report") and "pdfminer.six" in libs:
            r = libs["pdfminer.six"]["seconds"] / slowest
            notes.append(f"{'ok ' if r >= 20 else 'MISS'} {file}: pdfminer/folioscan = {r:.1f} (goal ≥ 20)")
        limit = 3 * entry["size"] / 1024 + 64 * 1024
        for n in (REFERENCE, "folioscan.parse"):
            mem = libs.get(n, {}).get("peak_kib")
            if mem is not None:
                notes.append(f"{'ok ' if mem < limit else 'MISS'} {file}: {n} peak {mem / 1024:.1f} MiB "
                             f"(goal < {limit / 1024:.1f} MiB)")
    return notes


def plot(results: dict, names: list[str], path: Path) -> None:
    import matplotlib

    matplotlib.use("Agg")
    import matplotlib.pyplot as plt

    files = list(results["files"])
    width = 0.8 / max(len(names), 1)
    fig, ax = plt.subplots(figsize=(10, 5.5))
    for i, name in enumerate(names):
        xs, ys = [], []
        for j, file in enumerate(files):
            lib = results["files"][file]["libs"].get(name)
            if lib:
                xs.append(j + (i - (len(names) - 1) / 2) * width)
                ys.append(results["files"][file]["pages"] / lib["seconds"])
        bars = ax.bar(xs, ys, width, label=name)
        ax.bar_label(bars, fmt="%.0f", fontsize=6, rotation=90, padding=2)
    ax.set_yscale("log")
    ax.set_xticks(range(len(files)), [f.removesuffix(".pdf") for f in files])
    ax.set_ylabel("pages per second (log scale)")
    ax.set_title("Text extraction speed (median of runs, higher is better)")
    ax.legend(fontsize=8, ncols=3, loc="upper center", bbox_to_anchor=(0.5, -0.08))
    ax.grid(axis="y", which="both", alpha=0.3)
    fig.tight_layout()
    fig.savefig(path, dpi=80)
    plt.close(fig)


# ---------------------------------------------------------------- main

def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--runs", type=int, default=7, help="timed runs per file for fast libraries")
    parser.add_argument("--slow-runs", type=int, default=3, help="timed runs for pdfminer.six and pypdf")
    parser.add_argument("--libs", nargs="*", default=[n for n, *_ in LIBRARIES])
    parser.add_argument("--files", nargs="*", default=[c[0] for c in CORPUS])
    parser.add_argument("--no-memory", action="store_true", help="skip the memory subprocesses")
    parser.add_argument("--clock", choices=sorted(CLOCKS), default="cpu",
                        help="cpu: process CPU time (default), wall: elapsed time")
    parser.add_argument("--name", default="results", help="results file name (without .json)")
    parser.add_argument("--no-plot", action="store_true")
    parser.add_argument("--out", type=Path, default=OUT)
    parser.add_argument("--memory-child", nargs=2, metavar=("LIB", "PATH"), help=argparse.SUPPRESS)
    parser.add_argument("--password", help=argparse.SUPPRESS)
    parser.add_argument("--summarize", type=Path, metavar="RESULTS_JSON",
                        help="print the summary tables of an earlier run and stop")
    args = parser.parse_args()

    if args.summarize:
        earlier = json.loads(args.summarize.read_text())
        print(summary(earlier, [n for n, *_ in LIBRARIES]))
        return
    if args.memory_child:
        memory_child(args.memory_child[0], args.memory_child[1], args.password)
        return

    corpus = {name: (pages, password) for name, pages, password in CORPUS}
    missing = [f for f in args.files if not (args.out / f).exists()]
    if missing:
        print(f"missing {missing}: writing the corpus", file=sys.stderr)
        subprocess.run([sys.executable, str(HERE / "make_corpus.py"), "--out", str(args.out)], check=True)

    names = available(args.libs)
    import folioscan

    print(f"folioscan from {Path(folioscan._folioscan.__file__).resolve()}")
    print(f"python {platform.python_version()} on {platform.machine()}, {platform.processor() or '?'}")
    results = {"versions": versions(names), "folioscan_module": str(folioscan._folioscan.__file__),
               "clock": args.clock, "files": {}}
    print(f"clock: {args.clock}")
    for file in args.files:
        pages, password = corpus[file]
        path = args.out / file
        entry = {"pages": pages, "size": path.stat().st_size, "libs": {}}
        for name in names:
            _, fn, slow = BY_NAME[name]
            runs = args.slow_runs if slow else args.runs
            seconds, chars = time_one(fn, path, password, runs, warmup=not slow,
                                      clock=CLOCKS[args.clock])
            entry["libs"][name] = {"seconds": seconds, "runs": runs, "chars": chars}
            print(f"  {file:24} {name:16} {seconds * 1000:10.1f} ms  {pages / seconds:9.0f} pages/s",
                  file=sys.stderr)
        results["files"][file] = entry

    if not args.no_memory:
        for file in args.files:
            _, password = corpus[file]
            for name in names:
                kib = measure_memory(name, args.out / file, password)
                results["files"][file]["libs"][name]["peak_kib"] = kib

    print()
    print(report(results, names))
    print(summary(results, names))
    print()
    for note in check_targets(results):
        print(note)
    args.out.mkdir(parents=True, exist_ok=True)
    (args.out / f"{args.name}.json").write_text(json.dumps(results, indent=2))
    if args.no_plot:
        return
    try:
        plot(results, names, args.out / "speed.png")
        print(f"\nplot: {args.out / 'speed.png'}")
    except ImportError:
        print("matplotlib missing: no plot", file=sys.stderr)


if __name__ == "__main__":
    main()
