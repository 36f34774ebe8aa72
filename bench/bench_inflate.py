#!/usr/bin/env python3
"""Compares our DEFLATE decoder with zlib.decompress: on ~50 MB of PDF-like data, and on
the Flate image streams of the slowest image-only files of ../shared/corpus.

Makes the data (content-stream text with numbers, some binary runs), compresses it with
zlib, takes the largest Flate image of each corpus file (with pikepdf), times
zlib.decompress in this process, builds bench/inflate_bench (CMake option
FOLIOSCAN_BUILD_BENCH) in build/bench, runs it on the same streams and prints, per
stream, the decoded MB/s (best of several runs) of zlib, of our inflate (output kept)
and of our check of an image (output only counted, as images are checked).

    python3 bench/bench_inflate.py [--size-mb 50] [--runs 7] [--level 6] [--corpus DIR]
"""

import argparse
import os
import random
import subprocess
import sys
import time
import zlib
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent
OUT = ROOT / "bench" / "out"
BUILD = ROOT / "build" / "bench"


def make_data(size: int, seed: int = 1) -> bytes:
    rng = random.Random(seed)
    fonts = [b"/F1", b"/F2", b"/TT3", b"/C0_0"]
    words = [b"the", b"invoice", b"total", b"amount", b"page", b"report", b"of", b"and", b"Section",
             b"Table", b"value", b"2024", b"customer", b"account", b"balance", b"due"]
    parts = []
    total = 0
    while total < size:
        if rng.random() < 0.03:  # embedded binary (image or font fragment)
            chunk = rng.randbytes(rng.randint(200, 4000))
        else:
            lines = [b"BT\n%s %d Tf\n" % (rng.choice(fonts), rng.randint(6, 24))]
            for _ in range(rng.randint(5, 40)):
                text = b" ".join(rng.choice(words) for _ in range(rng.randint(1, 8)))
                lines.append(b"1 0 0 1 %.2f %.2f Tm\n[(%s) %d (%s)] TJ\n" % (
                    rng.uniform(30, 560), rng.uniform(30, 800), text, rng.randint(-300, 300),
                    rng.choice(words)))
            lines.append(b"ET\n%.3f %.3f %.3f rg\n%.1f %.1f %.1f %.1f re f\n" % (
                rng.random(), rng.random(), rng.random(), rng.uniform(0, 600), rng.uniform(0, 800),
                rng.uniform(1, 200), rng.uniform(0.5, 3)))
            chunk = b"".join(lines)
        parts.append(chunk)
        total += len(chunk)
    return b"".join(parts)[:size]


def build_bench() -> Path:
    subprocess.run(["cmake", "-S", str(ROOT), "-B", str(BUILD), "-G", "Ninja", "-DCMAKE_BUILD_TYPE=Release",
                    "-DFOLIOSCAN_BUILD_BENCH=ON", "-DFOLIOSCAN_BUILD_TESTS=OFF", "-DFOLIOSCAN_BUILD_PYTHON=OFF"],
                   check=True, stdout=subprocess.DEVNULL)
    subprocess.run(["cmake", "--build", str(BUILD), "--target", "inflate_bench", "-j2"], check=True,
                   stdout=subprocess.DEVNULL)
    return BUILD / "inflate_bench"


CORPUS_IMAGES = ["sample-files/023-cmyk-image/cmyk-image.pdf", "sample-files/018-base64-image/base64image.pdf"]


def corpus_images(corpus: Path) -> list[tuple[str, bytes]]:
    """The largest Flate image stream of each file, as stored (zlib data)."""
    import pikepdf

    out = []
    for rel in CORPUS_IMAGES:
        path = corpus / rel
        if not path.exists():
            continue
        with pikepdf.open(path) as pdf:
            streams = [o for o in pdf.objects if isinstance(o, pikepdf.Stream) and o.get("/Subtype") == "/Image"
                       and o.get("/Filter") == "/FlateDecode"]
            if streams:
                out.append((path.name, max((o.read_raw_bytes() for o in streams), key=len)))
    return out


def zlib_mbs(compressed: bytes, runs: int) -> tuple[float, int]:
    best = float("inf")
    for _ in range(runs):
        start = time.perf_counter()
        out = zlib.decompress(compressed)
        best = min(best, time.perf_counter() - start)
    return len(out) / 1e6 / best, len(out)


def ours_mbs(exe: Path, path: Path, runs: int) -> tuple[float, float]:
    result = subprocess.run([str(exe), str(path), str(runs)], check=True, capture_output=True, text=True)
    found = {}
    for line in result.stdout.splitlines():
        key, _, value = line.rpartition(" ")
        if key in ("MB/s", "counted MB/s"):
            found[key] = float(value)
    if len(found) != 2:
        sys.exit("inflate_bench printed no throughput:\n" + result.stdout)
    return found["MB/s"], found["counted MB/s"]


def main() -> None:
    parser = argparse.ArgumentParser()
    parser.add_argument("--size-mb", type=float, default=50)
    parser.add_argument("--runs", type=int, default=7)
    parser.add_argument("--level", type=int, default=6)
    parser.add_argument("--corpus", type=Path, default=ROOT.parent / "shared" / "corpus")
    args = parser.parse_args()

    data = make_data(int(args.size_mb * 1_000_000))
    streams = [(f"generated text, level {args.level}", zlib.compress(data, args.level))]
    streams += corpus_images(args.corpus)
    exe = build_bench()
    OUT.mkdir(parents=True, exist_ok=True)
    print("| stream | in | out | zlib.decompress MB/s | inflate MB/s | image check MB/s | check ÷ zlib |")
    print("|---|---:|---:|---:|---:|---:|---:|")
    for i, (name, compressed) in enumerate(streams):
        path = OUT / f"inflate_input_{i}.zz"
        path.write_bytes(compressed)
        z, size = zlib_mbs(compressed, args.runs)
        whole, counted = ours_mbs(exe, path, args.runs)
        print(f"| {name} | {len(compressed)} | {size} | {z:.0f} | {whole:.0f} | {counted:.0f} | {counted / z:.2f} |")


if __name__ == "__main__":
    main()
