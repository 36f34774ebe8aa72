"""Digests of everything folioscan returns for a set of inputs, to prove that a faster
build changes no output and no error.

Inputs: the benchmark corpus, the shared real-world corpus, the test fixtures, and
seeded mutations of each of them (truncations, flipped and overwritten bytes). For every
input, each of the four functions and `extract()` in each format, the digest holds a
hash of the result, or the text of the error it raised.

    PYTHONPATH=<before build> python bench/output_digest.py write before.json
    PYTHONPATH=<after build>  python bench/output_digest.py compare before.json
"""

from __future__ import annotations

import hashlib
import json
import os
import random
import sys
from pathlib import Path

ROOT = Path(__file__).resolve().parents[1]
# The shared corpus lies beside the checkout (or beside the folder of worktrees);
# FOLIOSCAN_CORPUS names it elsewhere.
SHARED = Path(os.environ.get("FOLIOSCAN_CORPUS") or next(
    (p for p in (ROOT.parent / "shared" / "corpus", ROOT.parents[1] / "shared" / "corpus") if p.exists()),
    ROOT.parent / "shared" / "corpus"))
FUNCTIONS = ("parse", "parse_to_json", "parse_to_html", "parse_to_markdown")
EXTRACT_FORMATS = ("dict", "json", "html", "markdown")
MUTANTS_PER_FILE = 12
MAX_MUTATED_SIZE = 2 << 20


def inputs() -> list[tuple[str, bytes, str | None]]:
    found: list[tuple[str, bytes, str | None]] = []
    passwords: dict[str, str | None] = {}
    index = SHARED / "index.tsv"
    if index.exists():
        for row in index.read_text().splitlines()[1:]:
            cols = row.split("\t")
            pw = cols[1] if len(cols) > 1 else ""
            passwords[cols[0]] = None if pw in ("", "<empty>") else pw
    files = sorted((ROOT / "bench" / "out").glob("*.pdf")) + sorted(ROOT.glob("tests/**/*.pdf"))
    files += sorted(SHARED.glob("**/*.pdf")) if SHARED.exists() else []
    for path in files:
        rel = str(path.relative_to(SHARED)) if path.is_relative_to(SHARED) else str(path.relative_to(ROOT))
        pw = passwords.get(rel)
        if path.name.endswith("_aes256.pdf") and "bench" in rel:
            pw = "bench"
        found.append((rel, path.read_bytes(), pw))
    mutated = []
    for name, data, pw in found:
        if len(data) > MAX_MUTATED_SIZE or not data:
            continue
        rng = random.Random(name)
        for k in range(MUTANTS_PER_FILE):
            buf = bytearray(data)
            kind = k % 4
            if kind == 0:
                buf = buf[: rng.randrange(len(buf))]
            elif kind == 1:
                for _ in range(rng.randint(1, 8)):
                    i = rng.randrange(len(buf))
                    buf[i] ^= 1 << rng.randrange(8)
            elif kind == 2:
                i = rng.randrange(len(buf))
                buf[i : i + 4] = rng.choice([b"0000", b"9999", b"<<<<", b"[[[[", b"((((", b"/ab ", b"-1.e"])
            else:
                i = rng.randrange(len(buf))
                j = min(len(buf), i + rng.randint(1, 64))
                del buf[i:j]
            mutated.append((f"{name}#m{k}", bytes(buf), pw))
    return found + mutated + content_mutants(found)


def content_mutants(found: list[tuple[str, bytes, str | None]]) -> list[tuple[str, bytes, str | None]]:
    """One-page documents whose content stream is a damaged copy of a real page's, with
    that page's resources: exercises the content tokenizer, interpreter and layout on
    input no producer writes."""
    try:
        import pikepdf
    except ImportError:
        return []
    import io

    out = []
    chosen = [f for f in found if f[2] is None and len(f[1]) < MAX_MUTATED_SIZE][:40]
    for name, data, _ in chosen:
        try:
            src = pikepdf.open(io.BytesIO(data))
            if len(src.pages) == 0:
                continue
            page = src.pages[min(3, len(src.pages) - 1)]
            content = page.Contents.read_bytes() if "/Contents" in page and isinstance(
                page.Contents, pikepdf.Stream) else None
        except Exception:  # noqa: BLE001 - a source qpdf cannot read is skipped
            continue
        if not content:
            continue
        rng = random.Random("content:" + name)
        for k in range(8):
            buf = bytearray(content)
            for _ in range(rng.randint(1, 6)):
                i = rng.randrange(len(buf))
                buf[i:i] = rng.choice([b"(", b")", b"[", b"]", b"<", b">", b"<<", b"/", b"%", b" 1e9 ",
                                       b" -.5 ", b" Tj ", b" TJ ", b" Tf ", b" q ", b" Q ", b" cm ",
                                       b"\\", b"\x00", b" BI ", b" re ", b" Td "])
            try:
                page.Contents = src.make_stream(bytes(buf))
                sink = io.BytesIO()
                src.save(sink)
                out.append((f"{name}#c{k}", sink.getvalue(), None))
            except Exception:  # noqa: BLE001
                continue
    return out


def canonical(value) -> str:
    return json.dumps(value, sort_keys=False, ensure_ascii=False, allow_nan=True)


def digest(data: bytes, password: str | None) -> dict[str, str]:
    import folioscan

    calls = [(fn, lambda fn=fn: getattr(folioscan, fn)(data, password)) for fn in FUNCTIONS]
    # The recovering reading in every format (with its warnings in the dict and JSON).
    calls += [(f"extract/{fmt}", lambda fmt=fmt: folioscan.extract(data, password, format=fmt))
              for fmt in EXTRACT_FORMATS]
    out = {}
    for name, call in calls:
        try:
            result = call()
            text = result if isinstance(result, str) else canonical(result)
            out[name] = hashlib.sha256(text.encode("utf-8", "surrogatepass")).hexdigest()[:24]
        except Exception as error:  # noqa: BLE001 - any exception is part of the behaviour
            out[name] = f"{type(error).__name__}: {error}"
    return out


def main() -> None:
    if len(sys.argv) != 3 or sys.argv[1] not in ("write", "compare"):
        raise SystemExit(__doc__)
    import folioscan

    print(f"folioscan from {folioscan._folioscan.__file__}", file=sys.stderr)
    results = {name: digest(data, pw) for name, data, pw in inputs()}
    target = Path(sys.argv[2])
    if sys.argv[1] == "write":
        target.write_text(json.dumps(results, indent=1, sort_keys=True))
        errors = sum(1 for r in results.values() for v in r.values() if ":" in v)
        print(f"{len(results)} inputs, {errors} error results written to {target}")
        return
    before = json.loads(target.read_text())
    diffs = [name for name in sorted(set(before) | set(results)) if before.get(name) != results.get(name)]
    for name in diffs[:40]:
        print(f"DIFF {name}\n  before {before.get(name)}\n  after  {results.get(name)}")
    print(f"{len(results)} inputs compared, {len(diffs)} differ")
    sys.exit(1 if diffs else 0)


if __name__ == "__main__":
    main()
