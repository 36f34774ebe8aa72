"""The benchmark scripts keep working: the corpus is written with the promised page
counts and features, and the runner times and measures folioscan on it."""

from __future__ import annotations

import json
import subprocess
import sys
from pathlib import Path

import pytest

BENCH = Path(__file__).resolve().parents[2] / "bench"

pytest.importorskip("reportlab")
pikepdf = pytest.importorskip("pikepdf")


@pytest.fixture(scope="module")
def corpus(tmp_path_factory: pytest.TempPathFactory) -> Path:
    out = tmp_path_factory.mktemp("bench")
    subprocess.run([sys.executable, str(BENCH / "make_corpus.py"), "--out", str(out)],
                   check=True, capture_output=True, timeout=600)
    return out


def test_corpus_has_widths_object_streams_and_aes256(corpus: Path) -> None:
    with pikepdf.open(corpus / "report_500.pdf") as pdf:
        assert len(pdf.pages) == 500
        fonts = pdf.pages[0].Resources.Font
        assert any("/Widths" in font and "/ToUnicode" in font for font in fonts.values())
    with pikepdf.open(corpus / "objstm_200.pdf") as pdf:
        assert len(pdf.pages) == 200
        assert pdf.trailer.get("/Type") == "/XRef"  # a cross-reference stream
    raw = (corpus / "objstm_200.pdf").read_bytes()
    assert b"/ObjStm" in raw
    with pikepdf.open(corpus / "objstm_200_aes256.pdf", password="bench") as pdf:
        assert pdf.encryption.R == 6
        assert len(pdf.pages) == 200


def test_runner_times_and_measures_folioscan(corpus: Path) -> None:
    done = subprocess.run(
        [sys.executable, str(BENCH / "run.py"), "--out", str(corpus), "--libs", "folioscan",
         "folioscan.parse", "--runs", "1", "--no-plot", "--name", "smoke"],
        check=True, capture_output=True, text=True, timeout=600,
    )
    assert "| folioscan | 1 |" in done.stdout
    results = json.loads((corpus / "smoke.json").read_text())
    assert set(results["files"]) == {"report_500.pdf", "tables_50.pdf", "objstm_200.pdf",
                                     "objstm_200_aes256.pdf"}
    for entry in results["files"].values():
        for lib in ("folioscan", "folioscan.parse"):
            assert entry["libs"][lib]["seconds"] > 0
            assert entry["libs"][lib]["chars"] > 0
            assert entry["libs"][lib]["peak_kib"] is not None
    # The encrypted copy reads exactly like the plain one.
    files = results["files"]
    assert files["objstm_200.pdf"]["libs"]["folioscan"]["chars"] == \
        files["objstm_200_aes256.pdf"]["libs"]["folioscan"]["chars"]
