#!/usr/bin/env python3
"""Compares our DEFLATE decoder with zlib.decompress on ~50 MB of PDF-like data.

Makes the data (content-stream text with numbers, some binary runs), compresses it with
zlib, times zlib.decompress in this process, builds bench/inflate_bench (CMake option
FOLIOSCAN_BUILD_BENCH) in build/bench, runs it on the same file and prints both
throughputs (decoded MB/s, best of several runs) and their ratio.

    python3 bench/bench_inflate.py [--size-mb 50] [--runs 7] [--level 6]
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


def main() -> None:
    parser = argparse.ArgumentParser()
    parser.add_argument("--size-mb", type=float, default=50)
    parser.add_argument("--runs", type=int, default=7)
    parser.add_argument("--level", type=int, default=6)
    args = parser.parse_args()

    data = make_data(int(args.size_mb * 1_000_000))
    compressed = zlib.compress(data, args.level)
    OUT.mkdir(parents=True, exist_ok=True)
    path = OUT / "inflate_input.zz"
    path.write_bytes(compressed)
    print(f"data: {len(data)} bytes, zlib level {args.level}: {len(compressed)} bytes "
          f"(ratio {len(data) / len(compressed):.2f})")

    best = float("inf")
    for _ in range(args.runs):
        start = time.perf_counter()
        out = zlib.decompress(compressed)
        best = min(best, time.perf_counter() - start)
    assert out == data
    zlib_mbs = len(data) / 1e6 / best
    print(f"zlib.decompress: {zlib_mbs:.1f} MB/s")

    exe = build_bench()
    result = subprocess.run([str(exe), str(path), str(args.runs)], check=True, capture_output=True, text=True)
    ours_mbs = None
    for line in result.stdout.splitlines():
        if line.startswith("MB/s "):
            ours_mbs = float(line.split()[1])
    if ours_mbs is None:
        sys.exit("inflate_bench printed no throughput:\n" + result.stdout)
    print(f"folioscan inflate: {ours_mbs:.1f} MB/s")
    print(f"ratio (ours / zlib): {ours_mbs / zlib_mbs:.2f}")


if __name__ == "__main__":
    main()
