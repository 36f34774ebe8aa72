"""The structure yardstick's scorers (bench/structure.py): Markdown tables and headings
read as the scores define them, tree-edit similarities worked out by hand, and the
script run end to end on two synthetic pages."""

from __future__ import annotations

import json
import os
import subprocess
import sys
from pathlib import Path

import pytest

pytest.importorskip("rapidfuzz")
pytest.importorskip("apted")

import folioscan  # noqa: E402
from pdfgen import text_document  # noqa: E402

BENCH = Path(__file__).resolve().parents[2] / "bench"
sys.path.insert(0, str(BENCH))
import structure  # noqa: E402

HTML_TABLE = """<table>
 <tr><td>Name</td><td>Price</td></tr>
 <tr><td>Tea &amp; milk</td><td>3|4</td></tr>
</table>"""

PAGE = f"""Running header

# Prices

Our prices this year.

{HTML_TABLE}

## Notes

None so far.
"""


def cells(table: structure.Table) -> list[list[str]]:
    return [[c.text for c in row] for row in table]


def test_identical_page_scores_one_everywhere() -> None:
    got = structure.score_page(PAGE, PAGE)
    assert got == {"nid": 1.0, "teds": 1.0, "teds_s": 1.0, "mhs": 1.0,
                   "gt_table": True, "pred_table": True}


@pytest.mark.parametrize("pipe", [
    "| Name | Price |\n|---|---:|\n| Tea &amp; milk | 3\\|4 |\n",
    "Name | Price\n:-- | --\n**Tea** &amp; milk | 3\\|4\n",
    "|Name|Price|\n|---|---|\n|Tea<br>&amp; milk|3\\|4|\n",
])
def test_pipe_table_equals_the_same_html_table(pipe: str) -> None:
    assert cells(structure.tables(pipe)[0]) == [["Name", "Price"], ["Tea & milk", "3|4"]]
    gt = structure.tables(HTML_TABLE)
    assert structure.teds(gt, structure.tables(pipe)) == 1.0
    assert structure.teds(gt, structure.tables(pipe), structure_only=True) == 1.0


@pytest.mark.parametrize("md, expected", [
    # The delimiter row must have as many cells as the header.
    ("| a | b |\n|---|\n| c | d |\n", []),
    # Rows are cut or padded to the header's width; the table ends at a blank line.
    ("| a | b |\n|---|---|\n| c | d | e |\n| f |\n\n| g | h |\n",
     [[["a", "b"], ["c", "d"], ["f", ""]]]),
    # Two tables, each with its own delimiter row, and an HTML table between them.
    ("| a | b |\n|---|---|\n\n<table><tr><th>x</th></tr></table>\n\nc | d\n--|--\n",
     [[["a", "b"]], [["x"]], [["c", "d"]]]),
    # A line of dashes under a pipe-less line is a heading underline, not a table.
    ("Title\n---\n", []),
])
def test_tables_are_read_as_github_markdown_reads_them(md: str, expected: list) -> None:
    assert [cells(t) for t in structure.tables(md)] == expected


def test_html_spans_and_nested_tables() -> None:
    table = structure.tables(
        '<table><tr><td colspan="2">head</td></tr><tr><td rowspan="x">a<br/>b</td>'
        "<td><table><tr><td>inner</td></tr></table></td></tr></table>")[0]
    assert [[(c.text, c.colspan, c.rowspan) for c in row] for row in table] == \
        [[("head", 2, 1)], [("a b", 1, 1), ("inner", 1, 1)]]


def test_teds_by_hand() -> None:
    gt = structure.tables("<table><tr><td>abcd</td><td>x</td></tr></table>")
    # root, table, tr, td, td: one cell a quarter wrong.
    pred = structure.tables("| abce | x |\n|---|---|\n")
    assert structure.teds(gt, pred) == pytest.approx(1 - 0.25 / 5)
    assert structure.teds(gt, pred, structure_only=True) == 1.0
    # A cell with other spans is renamed at full cost, text or not.
    spanned = structure.tables('<table><tr><td colspan="2">abcd</td><td>x</td></tr></table>')
    assert structure.teds(gt, spanned, structure_only=True) == pytest.approx(1 - 1 / 5)
    # An extra table under the page's root costs its nodes: 4 inserted, 9 in all.
    assert structure.teds(gt, gt + gt) == pytest.approx(1 - 4 / 9)
    assert structure.teds(gt, []) == 0.0


@pytest.mark.parametrize("md, expected", [
    (PAGE, [("Prices", "Our prices this year."), ("Notes", "None so far.")]),
    # Not headings: no space after the marks, seven marks; a closing run is dropped.
    ("#no space\n####### seven\n### **Bold** ###\n", [("Bold", "")]),
    # A "#" line inside a table cell is table text, and the text around the table stays.
    ("# A\nbefore\n<table><tr><td>\n# 1 cell\n</td></tr></table>\nafter\n",
     [("A", "before after")]),
    ("# A\n| x | y |\n|---|---|\n| # z | w |\nafter\n", [("A", "after")]),
])
def test_sections_flatten_levels_and_leave_tables_out(md: str, expected: list) -> None:
    assert structure.sections(md) == expected


def test_mhs_by_hand() -> None:
    gt = [("A", "x"), ("B", "y")]
    # root + 2 × (heading, body) against root + 1: two nodes deleted of five.
    assert structure.mhs(gt, [("A", "x")]) == pytest.approx(1 - 2 / 5)
    # Heading text half wrong: "AB" -> "AC".
    assert structure.mhs([("AB", "x")], [("AC", "x")]) == pytest.approx(1 - 0.5 / 3)
    assert structure.mhs(gt, []) == 0.0


@pytest.mark.parametrize("gt, pred, expected", [
    ("abcd", "abce", 1 - 2 / 8),
    ("one two\n\nthree", "  one   two three\n", 1.0),
    ("a **bold** word", "a bold word", 1.0),
    ("", "", 1.0),
    ("abc", "", 0.0),
])
def test_nid(gt: str, pred: str, expected: float) -> None:
    assert structure.nid(gt, pred) == pytest.approx(expected)


def test_pages_without_a_table_or_heading_have_no_score_and_count_invented_tables() -> None:
    plain = structure.score_page("Just words.", "Just words.\n\n| a | b |\n|---|---|\n")
    assert (plain["teds"], plain["teds_s"], plain["mhs"]) == (None, None, None)
    pages = {"p1": {**plain, "seconds": 1.0},
             "p2": {**structure.score_page(PAGE, "Prices"), "seconds": 3.0},
             "p3": {**structure.score_page("Words.", "Words."), "seconds": 2.0}}
    summary = structure.summarize(pages)
    assert summary["invented"] == [1, 2]
    assert summary["teds"] == summary["mhs"] == 0.0  # over p2 alone
    assert summary["seconds_per_page"] == pytest.approx(2.0)


@pytest.fixture(scope="module")
def bench(tmp_path_factory: pytest.TempPathFactory) -> Path:
    root = tmp_path_factory.mktemp("structure-bench")
    (root / "pdfs").mkdir()
    (root / "ground-truth").mkdir()
    pages = {"0001": ("Hello world", "Hello world\n"),
             "0002": ("Second page", "# Second page\n\n<table><tr><td>a</td></tr></table>\n")}
    for page_id, (text, truth) in pages.items():
        content = f"BT /F1 12 Tf 72 700 Td ({text}) Tj ET"
        (root / "pdfs" / f"{page_id}.pdf").write_bytes(text_document([content]))
        (root / "ground-truth" / f"{page_id}.md").write_text(truth)
    return root


def run_script(*args: str) -> str:
    done = subprocess.run([sys.executable, str(BENCH / "structure.py"), *args],
                          capture_output=True, text=True, timeout=300)
    assert done.returncode == 0, done.stderr
    return done.stdout


def test_script_scores_builds_and_shows_pages(bench: Path, tmp_path: Path) -> None:
    # A pyroot whose folioscan/ is the package this test imports.
    pyroot = tmp_path / "pyroot"
    pyroot.mkdir()
    os.symlink(Path(folioscan.__file__).parent, pyroot / "folioscan")
    results = tmp_path / "structure.json"
    out = run_script("--bench", str(bench), "--engines", "folioscan", "--no-chart",
                     "--folioscan", f"mine={pyroot}", "--results", str(results))
    assert "| mine |" in out
    got = json.loads(results.read_text())
    engine = got["engines"]["mine"]
    assert Path(engine["module"]) == pyroot / "folioscan"
    assert got["pages"] == ["0001", "0002"]
    assert engine["pages"]["0001"]["nid"] == 1.0
    assert engine["pages"]["0002"]["teds"] == 0.0
    assert engine["summary"]["invented"] == [0, 1]
    assert engine["pages"]["0002"]["seconds"] > 0

    worst = run_script("--results", str(results), "--worst", "1")
    assert worst.splitlines()[1].startswith("0002  NID")
    page = run_script("--results", str(results), "--bench", str(bench), "--page", "2")
    assert "ground truth" in page and "# Second page" in page


def test_a_named_build_that_does_not_load_is_reported_not_measured(bench: Path, tmp_path: Path) -> None:
    # An empty pyroot: the child would import the installed folioscan instead.
    (tmp_path / "empty").mkdir()
    done = subprocess.run([sys.executable, str(BENCH / "structure.py"), "--bench", str(bench),
                           "--engines", "folioscan", "--no-chart", "--folioscan",
                           f"x={tmp_path / 'empty'}", "--results", str(tmp_path / "r.json")],
                          capture_output=True, text=True, timeout=300)
    assert done.returncode != 0
    assert "unavailable: x: cannot start" in done.stdout and "not a build under" in done.stdout
    assert not (tmp_path / "r.json").exists()
