"""Times the hostile-file suite: which inputs are slowest, and by how much.

Runs tests/python/test_hostile.py (every case in its limited child process, as in the
test suite) with FOLIOSCAN_HOSTILE_TIMES set, so that each input's outcome and the
slowest of its calls are recorded, then prints the slowest inputs with their times.
The suite itself asserts no time: a busy machine must not fail it. This is where a
slow hostile input shows.

    python3 bench/hostile.py [--top 15] [-k EXPRESSION]

With --growth it times the input families instead: every `growth_<family>(n)` function
of the suite builds an input of size n (its default is the base size); each family is
read at n and 4n, as are the families built here from the suite's generators, each
reading in its own child process (1 GiB address space, 120 s cap), and the table shows
the time and peak memory of both and the time ratio (linear work gives about 4).

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

# One reading of one file in a child: seconds and peak resident memory (MiB) of the call.
GROWTH_CHILD = r"""
import json, sys, time
import folioscan
data = open(sys.argv[2], "rb").read()
fn = folioscan.extract if sys.argv[1] == "extract" else getattr(folioscan, sys.argv[1])
start = time.monotonic()
try:
    fn(data)
    outcome = "ok"
except ValueError as e:
    outcome = "ValueError: " + str(e)
except MemoryError:
    outcome = "MemoryError"
seconds = time.monotonic() - start
# The peak of this process's own memory (ru_maxrss would include the parent's at fork).
peak = next(int(line.split()[1]) for line in open("/proc/self/status") if line.startswith("VmHWM")) / 1024
print(json.dumps({"seconds": seconds, "mib": peak, "outcome": outcome}))
"""


def read_once(function: str, data: bytes, tmp: Path) -> dict:
    path = tmp / "input.pdf"
    path.write_bytes(data)
    limit = 1 << 30

    def limits() -> None:
        import resource

        resource.setrlimit(resource.RLIMIT_AS, (limit, limit))

    try:
        done = subprocess.run(
            [sys.executable, "-c", GROWTH_CHILD, function, str(path)],
            capture_output=True, text=True, timeout=120, preexec_fn=limits,
        )
    except subprocess.TimeoutExpired:
        return {"seconds": 120.0, "mib": 0.0, "outcome": "timeout"}
    if done.returncode != 0:
        return {"seconds": 0.0, "mib": 0.0, "outcome": f"died {done.returncode}"}
    return json.loads(done.stdout)


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


def growth(select: str | None) -> int:
    sys.path.insert(0, str(SUITE.parent))
    import test_hostile

    # The suite's growth_<family>(n) functions at their default n, then the families
    # built here from its generators at n = 1.
    builders = [(name[7:], getattr(test_hostile, name), getattr(test_hostile, name).__defaults__[0])
                for name in sorted(dir(test_hostile)) if name.startswith("growth_")]
    builders += [(name, build, 1) for name, build in growth_families().items()]
    if select:
        builders = [b for b in builders if select in b[0]]
    print("| family | reading | n | s at n | MiB at n | s at 4n | MiB at 4n | ratio |")
    print("|---|---|---:|---:|---:|---:|---:|---:|")
    with tempfile.TemporaryDirectory() as tmp:
        for family, build, n in builders:
            small, large = build(n), build(4 * n)
            for function in ("parse", "extract"):
                a = read_once(function, small, Path(tmp))
                b = read_once(function, large, Path(tmp))
                ratio = b["seconds"] / a["seconds"] if a["seconds"] > 0 else float("nan")
                note = "" if a["outcome"] == b["outcome"] == "ok" else f" ({a['outcome'][:40]} / {b['outcome'][:40]})"
                print(f"| {family} | {function} | {n:,} | {a['seconds']:.3f} | {a['mib']:.0f} | "
                      f"{b['seconds']:.3f} | {b['mib']:.0f} | {ratio:.1f}{note} |", flush=True)
    return 0


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--top", type=int, default=15, help="how many of the slowest inputs to print")
    parser.add_argument("-k", dest="select", default=None, help="pytest -k expression choosing the cases")
    parser.add_argument("--growth", action="store_true", help="time the growth families at n and 4n")
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
