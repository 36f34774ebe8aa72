"""Times the hostile-file suite: which inputs are slowest, and by how much.

Runs tests/python/test_hostile.py (every case in its limited child process, as in the
test suite) with FOLIOSCAN_HOSTILE_TIMES set, so that each input's outcome and the
slowest of its calls are recorded, then prints the slowest inputs with their times.
The suite itself asserts no time: a busy machine must not fail it. This is where a
slow hostile input shows.

With --growth, it instead builds each family of inputs at size N and 4N (the builders
of the suite) and runs each in its own child (512 MiB address space, 120 s cap),
printing peak memory, time and the 4N/N time ratio: linear work shows about 4.

    python3 bench/hostile.py [--top 15] [-k EXPRESSION]
    python3 bench/hostile.py --growth [-k SUBSTRING]
"""

from __future__ import annotations

import argparse
import json
import os
import subprocess
import sys
import tempfile
from pathlib import Path

ROOT = Path(__file__).resolve().parents[1]
SUITE = ROOT / "tests" / "python" / "test_hostile.py"

# One input in a limited child: the slowest of the four functions and extract, and the
# child's peak resident memory.
CHILD = r"""
import json, resource, sys, time
import folioscan
data = open(sys.argv[1], "rb").read()
slowest, outcomes = 0.0, []
for fn in (folioscan.parse, folioscan.parse_to_json, folioscan.parse_to_markdown, folioscan.parse_to_html,
           folioscan.extract):
    start = time.monotonic()
    try:
        fn(data)
        outcomes.append("ok")
    except ValueError as e:
        outcomes.append("ValueError: " + str(e))
    except BaseException as e:
        outcomes.append("FAILED " + type(e).__name__)
    slowest = max(slowest, time.monotonic() - start)
peak = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss / 1024
print(json.dumps({"seconds": slowest, "peak_mib": peak, "outcomes": sorted(set(outcomes))}))
"""


def growth_families() -> dict[str, object]:
    """Family name -> builder of size n, from the suite's generators."""
    sys.path.insert(0, str(SUITE.parent))
    import test_hostile as h  # noqa: PLC0415

    return {
        "lzw image": lambda n: h.image_page({10: h.image_object(h.lzw_bomb(25_000 * n), "/Filter /LZWDecode")}),
        "flate image": lambda n: h.image_page(
            {10: h.image_object(h.deflate_of_zeros(n << 26), "/Filter /FlateDecode /DecodeParms <</Predictor 15 /Columns 999>>")}
        ),
        "font name runs": lambda n: h.long_font_name_runs(1 << 14, 2000 * n),
        "font name saves": lambda n: h.long_font_name_saves(1 << 14, 1000 * n),
        "font program bombs": lambda n: h.embedded_truetype_document([h.deflate_of_zeros(200 << 20)] * n),
        "padded cmaps": lambda n: h.embedded_truetype_document([h.padded_cmap_program(30_000, 8 << 20)] * n),
        "forms on every page": lambda n: h.forms_on_every_page(10 * n),
        "fonts sharing widths": lambda n: h.fonts_sharing_widths(250 * n),
        "actual text spans": lambda n: h.actual_text_spans(1 << 16, 1000 * n),
        "widgets of one value": lambda n: h.widgets_showing_one_value(20_000, 5 * n),
    }


def run_child(data: bytes, tmp: Path) -> dict:
    path = tmp / "input.pdf"
    path.write_bytes(data)

    def limit() -> None:
        import resource  # noqa: PLC0415

        resource.setrlimit(resource.RLIMIT_AS, (512 << 20, 512 << 20))

    try:
        done = subprocess.run([sys.executable, "-c", CHILD, str(path)], capture_output=True, text=True,
                              preexec_fn=limit, timeout=120)
    except subprocess.TimeoutExpired:
        return {"seconds": float("inf"), "peak_mib": float("nan"), "outcomes": ["timeout"]}
    if done.returncode != 0:
        return {"seconds": float("nan"), "peak_mib": float("nan"), "outcomes": [f"died {done.returncode}"]}
    return json.loads(done.stdout)


def growth(select: str | None) -> int:
    print("| family | N bytes | N s | N MiB | 4N bytes | 4N s | 4N MiB | ratio | outcomes |")
    print("|---|---:|---:|---:|---:|---:|---:|---:|---|")
    with tempfile.TemporaryDirectory() as tmp:
        for name, build in growth_families().items():
            if select and select not in name:
                continue
            small, large = build(1), build(4)
            a, b = run_child(small, Path(tmp)), run_child(large, Path(tmp))
            ratio = b["seconds"] / a["seconds"] if a["seconds"] else float("nan")
            outcomes = ", ".join(sorted(set(a["outcomes"]) | set(b["outcomes"])))
            print(f"| {name} | {len(small):,} | {a['seconds']:.3f} | {a['peak_mib']:.0f} | {len(large):,} | "
                  f"{b['seconds']:.3f} | {b['peak_mib']:.0f} | {ratio:.1f} | {outcomes} |", flush=True)
    return 0


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--top", type=int, default=15, help="how many of the slowest inputs to print")
    parser.add_argument("-k", dest="select", default=None, help="pytest -k expression choosing the cases")
    parser.add_argument("--growth", action="store_true", help="time the N-versus-4N families instead")
    args = parser.parse_args()
    if args.growth:
        return growth(args.select)

    with tempfile.TemporaryDirectory() as tmp:
        times = Path(tmp) / "times.jsonl"
        command = [sys.executable, "-m", "pytest", "-q", "-p", "no:cacheprovider", str(SUITE)]
        if args.select:
            command += ["-k", args.select]
        env = dict(os.environ, FOLIOSCAN_HOSTILE_TIMES=str(times))
        done = subprocess.run(command, cwd=ROOT, env=env, capture_output=True, text=True)
        print(done.stdout.strip().splitlines()[-1] if done.stdout.strip() else done.stderr[-2000:])
        rows = [json.loads(line) for line in times.read_text().splitlines()] if times.exists() else []

    rows.sort(key=lambda r: r["seconds"], reverse=True)
    print(f"\n{len(rows)} inputs; slowest {min(args.top, len(rows))} (seconds: slowest of the functions run):\n")
    print("| seconds | input bytes | case | outcome |")
    print("|---:|---:|---|---|")
    for row in rows[: args.top]:
        case = row["case"].split("::")[-1]
        outcome = row["outcome"] if len(row["outcome"]) <= 70 else row["outcome"][:67] + "..."
        print(f"| {row['seconds']:.3f} | {row['bytes']:,} | {case} | {outcome} |")
    if rows:
        print(f"\ntotal {sum(r['seconds'] for r in rows):.2f} s over {len(rows)} inputs")
    return done.returncode


if __name__ == "__main__":
    sys.exit(main())
