"""Every real-world file of the shared corpus through all four functions.

Each file runs in its own subprocess with a time limit, so a crash or a hang shows up
as a failing case instead of taking the test run down. Files that qpdf calls clean must
open; damaged ones may end in a ValueError, never in anything else.
"""

from __future__ import annotations

import csv
import json
import os
import subprocess
import sys
from pathlib import Path

import pytest

# The shared corpus lies beside the checkout; FOLIOSCAN_CORPUS names it elsewhere.
CORPUS = Path(os.environ.get("FOLIOSCAN_CORPUS") or Path(__file__).resolve().parents[3] / "shared" / "corpus")

RUNNER = r"""
import json, sys
import folioscan
path, password = sys.argv[1], sys.argv[2] or None
data = open(path, "rb").read()
result = {}
for fn in ("parse", "parse_to_json", "parse_to_html", "parse_to_markdown"):
    try:
        out = getattr(folioscan, fn)(data, password)
        result[fn] = "ok"
        if fn == "parse":
            result["pages"] = len(out["pages"])
    except ValueError as e:
        out = e
        result[fn] = "ValueError: " + str(e)
    # extract(strict=True) is exactly the four functions, result or error text.
    fmt = {"parse": "dict", "parse_to_json": "json", "parse_to_html": "html", "parse_to_markdown": "markdown"}[fn]
    try:
        same = folioscan.extract(data, password, format=fmt, strict=True)
        result[fn + "/strict"] = same == out
    except ValueError as e:
        result[fn + "/strict"] = isinstance(out, ValueError) and str(e) == str(out)
try:
    recovered = folioscan.extract(data, password)
    result["extract"] = "ok"
    result["extract_pages"] = len(recovered["pages"])
except ValueError as e:
    result["extract"] = "ValueError: " + str(e)
print(json.dumps(result))
"""


def corpus_rows() -> list[dict[str, str]]:
    index = CORPUS / "index.tsv"
    if not index.exists():
        return []
    with index.open(newline="") as f:
        return list(csv.DictReader(f, delimiter="\t"))


ROWS = corpus_rows()

# Clean files that end in a ParseError by this parser's rules, with the reason.
KNOWN_FAILURES = {
    # Its first content stream is an empty /FlateDecode stream: empty DEFLATE data
    # has no final block and is corrupt; the page fails and with it the call.
    "pdfminer.six/samples/contrib/issue-1057-tiff-predictor.pdf": "BadStream: corrupt DEFLATE data",
    # /EncryptMetadata false changes the key derivation; the key is derived without it.
    "pdfminer.six/samples/encryption/aes-128-m.pdf": "BadStream: corrupt DEFLATE data",
    # Revision 5 (the plain SHA-256 password check) is not supported: no handler is
    # built and the encrypted streams cannot be inflated.
    "pdfminer.six/samples/encryption/aes-256-m.pdf": "BadStream: corrupt DEFLATE data",
    "pdfminer.six/samples/encryption/aes-256.pdf": "BadStream: corrupt DEFLATE data",
}


def password_for(row: dict[str, str]) -> str:
    user = row["user_password"]
    if user and user != "<empty>":
        return user
    return ""


@pytest.mark.skipif(not ROWS, reason="shared corpus not present")
@pytest.mark.parametrize("row", ROWS, ids=[r["path"] for r in ROWS])
def test_corpus_file(row: dict[str, str]) -> None:
    path = CORPUS / row["path"]
    proc = subprocess.run(
        [sys.executable, "-c", RUNNER, str(path), password_for(row)],
        capture_output=True,
        text=True,
        timeout=120,
    )
    assert proc.returncode == 0, f"crashed ({proc.returncode}): {proc.stderr[-2000:]}"
    result = json.loads(proc.stdout)
    outcomes = {result[fn] for fn in ("parse", "parse_to_json", "parse_to_html", "parse_to_markdown")}
    # The four functions share one core: they succeed or fail together, with one text.
    assert len(outcomes) == 1, result
    assert all(result[fn + "/strict"] for fn in ("parse", "parse_to_json", "parse_to_html", "parse_to_markdown"))
    known = KNOWN_FAILURES.get(row["path"])
    if known is not None:
        assert result["parse"] == "ValueError: " + known
    elif row["qpdf_check"] == "clean":
        assert result["parse"] == "ok", result["parse"]
    # Recovery reads every file the strict reading reads, with as many pages, and the
    # clean files the strict reading refuses.
    if result["parse"] == "ok":
        assert result["extract"] == "ok" and result["extract_pages"] >= result["pages"], result
    if row["qpdf_check"] == "clean":
        assert result["extract"] == "ok", result["extract"]
