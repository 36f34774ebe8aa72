"""Times the hostile-file suite: which inputs are slowest, and by how much.

Runs tests/python/test_hostile.py (every case in its limited child process, as in the
test suite) with FOLIOSCAN_HOSTILE_TIMES set, so that each input's outcome and the
slowest of its calls are recorded, then prints the slowest inputs with their times.
The suite itself asserts no time: a busy machine must not fail it. This is where a
slow hostile input shows.

    python3 bench/hostile.py [--top 15] [-k EXPRESSION]
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


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--top", type=int, default=15, help="how many of the slowest inputs to print")
    parser.add_argument("-k", dest="select", default=None, help="pytest -k expression choosing the cases")
    args = parser.parse_args()

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
