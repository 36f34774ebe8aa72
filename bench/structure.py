"""Structure and table yardstick: reading order, tables and headings of Markdown output,
scored against the structure-bench pages (one-page PDFs with ground-truth Markdown), for
folioscan and its peers side by side in one run.

Scores, each in [0, 1], higher is better:

- NID (reading order): 1 - Indel distance / (len(gt) + len(pred)) between the whole
  ground-truth Markdown and the whole prediction as character strings (rapidfuzz's
  Indel: insertions and deletions only). In both texts every run of white space counts
  as one space and "**" and "__" emphasis marks are dropped, so that where a line wraps
  and which words are bold do not count as reading order; everything else (heading
  marks, table syntax, the ground truth's HTML tables) is compared as it stands.
- TEDS (tables): tree-edit-distance similarity, 1 - APTED distance / max(node counts).
  A table's tree is table > tr > td: the header row of a pipe table is an ordinary first
  row, th counts as td, thead/tbody/tfoot are dropped, each cell carries its colspan,
  rowspan and text. All tables of a page, in the order they stand, hang under one root,
  so a missing, merged, split or extra table costs what its nodes cost. Renaming a node
  to another tag, or a cell to one with other spans, costs 1; a cell to a cell with the
  same spans costs the normalised Levenshtein distance of their texts (0 in TEDS-S,
  which compares structure only). A page whose prediction has no table scores 0.
- MHS (headings): the same similarity over a flat tree: under the root, each heading
  (ATX "#" to "######", all levels equal) is a node holding its text, with one child
  holding the text that follows it up to the next heading, tables left out. Text nodes
  compare by normalised Levenshtein distance, a heading with a body node costs 1. Text
  before the first heading is not part of the tree. A page whose prediction has no
  heading scores 0.
- Invented-table rate: the share of the table-free ground-truth pages on which the
  prediction has a table.

A page without a table (heading) in its ground truth has no TEDS (MHS); the means are
over the pages that have one. Pipe tables are read as GitHub Markdown reads them (a
header row, a delimiter row, then rows while lines hold a "|"), HTML tables with
html.parser. Cell and heading texts are compared as plain text: "<br>" and runs of
white space become one space, "**" and "__" emphasis marks and Markdown backslash
escapes are dropped, HTML entities decoded.

Engines: folioscan `extract(format="markdown")` (the folioscan first on the path, or each
build named with --folioscan, run in a subprocess of its own), PyMuPDF `get_text()`,
pypdfium2 plain text, pdf_oxide `to_markdown_all()`, pymupdf4llm with its layout model
off and on, docling where installed. A missing peer is reported and skipped. Each
engine converts the first page once before timing (imports, model loading); a page's
time covers reading the file and converting it, best of --runs, in the process's CPU
time (--clock wall for elapsed time; both are kept in the JSON).

    python bench/structure.py                         # table, bench/out/structure.json, .png
    python bench/structure.py --folioscan before=/work/base-pyroot --folioscan after=build/pyroot \\
        --engines folioscan                           # two builds side by side
    python bench/structure.py --worst 10 --engine folioscan
    python bench/structure.py --page 192 --engine folioscan
"""

from __future__ import annotations

import argparse
import html
import importlib
import importlib.util
import json
import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import textwrap
import time
from collections.abc import Callable
from dataclasses import dataclass, field
from html.parser import HTMLParser
from pathlib import Path

HERE = Path(__file__).resolve().parent
ROOT = HERE.parent
OUT = HERE / "out"
# The pages lie beside the checkout (or beside the folder of worktrees).
DEFAULT_BENCH = next(
    (p for p in (ROOT.parent / "shared" / "structure-bench", ROOT.parents[1] / "shared" / "structure-bench")
     if p.exists()), ROOT.parent / "shared" / "structure-bench")


# ---------------------------------------------------------------- Markdown reading

@dataclass
class Cell:
    text: str
    colspan: int = 1
    rowspan: int = 1


Table = list[list[Cell]]


def plain(text: str) -> str:
    """A cell's or heading's text as plain words (see the module docstring)."""
    text = re.sub(r"<br\s*/?>", " ", text, flags=re.IGNORECASE)
    text = text.replace("**", "").replace("__", "")
    text = re.sub(r"\\([\\`*_{}\[\]()#+\-.!|<>~])", r"\1", text)
    return " ".join(html.unescape(text).split())


class _TableParser(HTMLParser):
    """Rows and cells of one HTML table; a nested table's text stays in its outer cell."""

    def __init__(self) -> None:
        super().__init__(convert_charrefs=True)
        self.rows: Table = []
        self.depth = 0
        self.cell: list[str] | None = None

    def handle_starttag(self, tag: str, attrs: list[tuple[str, str | None]]) -> None:
        if tag == "table":
            self.depth += 1
        elif self.depth != 1:
            if tag == "br" and self.cell is not None:
                self.cell.append(" ")
        elif tag == "tr":
            self._close_cell()
            self.rows.append([])
        elif tag in ("td", "th"):
            self._close_cell()
            if not self.rows:
                self.rows.append([])
            spans = {k: _span(v) for k, v in attrs if k in ("colspan", "rowspan")}
            self.rows[-1].append(Cell("", spans.get("colspan", 1), spans.get("rowspan", 1)))
            self.cell = []
        elif tag == "br" and self.cell is not None:
            self.cell.append(" ")

    def handle_endtag(self, tag: str) -> None:
        if tag == "table":
            self.depth -= 1
        elif self.depth == 1 and tag in ("td", "th", "tr"):
            self._close_cell()

    def handle_data(self, data: str) -> None:
        if self.cell is not None:
            self.cell.append(data)

    def _close_cell(self) -> None:
        if self.cell is not None:
            self.rows[-1][-1].text = plain("".join(self.cell))
            self.cell = None

    def close(self) -> None:
        super().close()
        self._close_cell()


def _span(value: str | None) -> int:
    try:
        return max(1, int(value or 1))
    except ValueError:
        return 1


def parse_html_table(source: str) -> Table:
    parser = _TableParser()
    parser.feed(source)
    parser.close()
    return parser.rows


def html_table_spans(md: str) -> list[tuple[int, int]]:
    """(start, end) of each outermost <table> element; an unclosed one runs to the end."""
    spans = []
    depth = 0
    start = 0
    for m in re.finditer(r"<(/?)table\b[^>]*>", md, flags=re.IGNORECASE):
        if not m.group(1):
            if depth == 0:
                start = m.start()
            depth += 1
        elif depth > 0:
            depth -= 1
            if depth == 0:
                spans.append((start, m.end()))
    if depth > 0:
        spans.append((start, len(md)))
    return spans


_DELIMITER_CELL = re.compile(r"^\s*:?-+:?\s*$")


def _row_cells(line: str) -> list[str]:
    row = line.strip()
    if row.startswith("|"):
        row = row[1:]
    if row.endswith("|") and not row.endswith("\\|"):
        row = row[:-1]
    return re.split(r"(?<!\\)\|", row)


def _is_delimiter_row(line: str) -> bool:
    return "|" in line and all(_DELIMITER_CELL.match(c) for c in _row_cells(line))


def pipe_tables(md: str) -> list[tuple[int, int, Table]]:
    """(start, end, rows) of each pipe table: a header row, a delimiter row with as many
    cells, then every following line that holds a "|". Rows are cut or padded to the
    header's width."""
    lines = md.splitlines(keepends=True)
    offsets = [0]
    for line in lines:
        offsets.append(offsets[-1] + len(line))
    found = []
    i = 0
    while i + 1 < len(lines):
        header, delimiter = lines[i], lines[i + 1]
        if ("|" not in header or not _is_delimiter_row(delimiter)
                or len(_row_cells(header)) != len(_row_cells(delimiter))):
            i += 1
            continue
        width = len(_row_cells(header))
        end = i + 2
        while end < len(lines) and lines[end].strip() and "|" in lines[end]:
            end += 1
        rows = []
        for line in [header] + lines[i + 2:end]:
            cells = [Cell(plain(c)) for c in _row_cells(line)][:width]
            rows.append(cells + [Cell("") for _ in range(width - len(cells))])
        found.append((offsets[i], offsets[end], rows))
        i = end
    return found


def tables(md: str) -> list[Table]:
    """Every table of a page, HTML or pipe, in the order they stand."""
    spans = html_table_spans(md)
    found = [(s, parse_html_table(md[s:e])) for s, e in spans]
    found += [(s, rows) for s, e, rows in pipe_tables(md)
              if not any(hs <= s < he for hs, he in spans)]
    return [rows for _, rows in sorted(found, key=lambda t: t[0])]


def without_tables(md: str) -> str:
    cuts = html_table_spans(md)
    cuts += [(s, e) for s, e, _ in pipe_tables(md) if not any(hs <= s < he for hs, he in cuts)]
    out, at = [], 0
    for s, e in sorted(cuts):
        if s >= at:
            out.append(md[at:s])
            out.append("\n")
            at = e
    out.append(md[at:])
    return "".join(out)


_HEADING = re.compile(r"^ {0,3}#{1,6}(?:[ \t]+(.*?))?(?:[ \t]+#+)?[ \t]*$")


def sections(md: str) -> list[tuple[str, str]]:
    """(heading, the text that follows it up to the next heading), tables left out."""
    found: list[tuple[str, list[str]]] = []
    for line in without_tables(md).splitlines():
        m = _HEADING.match(line)
        if m:
            found.append((plain(m.group(1) or ""), []))
        elif found:
            found[-1][1].append(line)
    return [(title, plain("\n".join(body))) for title, body in found]


# ---------------------------------------------------------------- scores

@dataclass
class Node:
    tag: str
    text: str = ""
    colspan: int = 1
    rowspan: int = 1
    children: list[Node] = field(default_factory=list)


def _size(node: Node) -> int:
    return 1 + sum(_size(c) for c in node.children)


def tree_similarity(a: Node, b: Node, rename: Callable[[Node, Node], float]) -> float:
    from apted import APTED, Config

    class Costs(Config):
        valuecls = float

        def rename(self, n1: Node, n2: Node) -> float:
            return rename(n1, n2)

        def children(self, node: Node) -> list[Node]:
            return node.children

    distance = APTED(a, b, Costs()).compute_edit_distance()
    return max(0.0, 1.0 - distance / max(_size(a), _size(b)))


def _text_distance(a: str, b: str) -> float:
    from rapidfuzz.distance import Levenshtein

    return Levenshtein.normalized_distance(a, b)


def nid(gt: str, pred: str) -> float:
    from rapidfuzz.distance import Indel

    def norm(text: str) -> str:
        return " ".join(text.replace("**", "").replace("__", "").split())

    return Indel.normalized_similarity(norm(gt), norm(pred))


def table_tree(page_tables: list[Table]) -> Node:
    return Node("tables", children=[
        Node("table", children=[
            Node("tr", children=[Node("td", c.text, c.colspan, c.rowspan) for c in row])
            for row in table])
        for table in page_tables])


def teds(gt_tables: list[Table], pred_tables: list[Table], structure_only: bool = False) -> float:
    if not pred_tables:
        return 0.0

    def rename(n1: Node, n2: Node) -> float:
        if n1.tag != n2.tag or (n1.colspan, n1.rowspan) != (n2.colspan, n2.rowspan):
            return 1.0
        if n1.tag == "td" and not structure_only:
            return _text_distance(n1.text, n2.text)
        return 0.0

    return tree_similarity(table_tree(gt_tables), table_tree(pred_tables), rename)


def heading_tree(page_sections: list[tuple[str, str]]) -> Node:
    return Node("page", children=[Node("heading", title, children=[Node("body", body)])
                                  for title, body in page_sections])


def mhs(gt_sections: list[tuple[str, str]], pred_sections: list[tuple[str, str]]) -> float:
    if not pred_sections:
        return 0.0

    def rename(n1: Node, n2: Node) -> float:
        if n1.tag != n2.tag:
            return 1.0
        return 0.0 if n1.tag == "page" else _text_distance(n1.text, n2.text)

    return tree_similarity(heading_tree(gt_sections), heading_tree(pred_sections), rename)


def score_page(gt: str, pred: str) -> dict:
    """NID always; TEDS, TEDS-S and MHS only where the ground truth has a table or a
    heading (None otherwise); whether the prediction has a table."""
    gt_tables, pred_tables = tables(gt), tables(pred)
    gt_sections = sections(gt)
    return {
        "nid": nid(gt, pred),
        "teds": teds(gt_tables, pred_tables) if gt_tables else None,
        "teds_s": teds(gt_tables, pred_tables, structure_only=True) if gt_tables else None,
        "mhs": mhs(gt_sections, sections(pred)) if gt_sections else None,
        "gt_table": bool(gt_tables),
        "pred_table": bool(pred_tables),
    }


def summarize(pages: dict[str, dict]) -> dict:
    def mean(key: str) -> float | None:
        vals = [p[key] for p in pages.values() if p.get(key) is not None]
        return sum(vals) / len(vals) if vals else None

    table_free = [p for p in pages.values() if not p["gt_table"]]
    invented = sum(1 for p in table_free if p["pred_table"])
    seconds = sum(p["seconds"] for p in pages.values())
    out = {k: mean(k) for k in ("nid", "teds", "teds_s", "mhs")}
    scored = [out[k] for k in ("nid", "teds", "mhs") if out[k] is not None]
    out["mean"] = sum(scored) / len(scored) if scored else None
    out["invented"] = [invented, len(table_free)]
    out["seconds"] = seconds
    out["seconds_per_page"] = seconds / len(pages) if pages else None
    return out


# ---------------------------------------------------------------- engines
# Each takes a PDF path, does all a caller would (reading the file included) and
# returns the page's Markdown or text.

def run_folioscan(path: Path) -> str:
    import folioscan

    return folioscan.extract(path.read_bytes(), format="markdown")


def run_pymupdf(path: Path) -> str:
    import pymupdf

    with pymupdf.open(path) as doc:
        return "".join(page.get_text() for page in doc)


def run_pypdfium2(path: Path) -> str:
    import pypdfium2 as pdfium

    pdf = pdfium.PdfDocument(path)
    try:
        parts = []
        for page in pdf:
            textpage = page.get_textpage()
            parts.append(textpage.get_text_range())
            textpage.close()
            page.close()
        return "\n".join(parts)
    finally:
        pdf.close()


def run_pdf_oxide(path: Path) -> str:
    import pdf_oxide

    return pdf_oxide.PdfDocument.from_bytes(path.read_bytes()).to_markdown_all()


def run_pymupdf4llm(path: Path) -> str:
    import pymupdf
    import pymupdf4llm

    with pymupdf.open(path) as doc:
        return pymupdf4llm.to_markdown(doc, show_progress=False)


def run_pymupdf4llm_layout(path: Path) -> str:
    import pymupdf
    import pymupdf4llm

    # The text layer only: no OCR engine is part of this comparison.
    with pymupdf.open(path) as doc:
        return pymupdf4llm.to_markdown(doc, show_progress=False, use_ocr=False)


_DOCLING: list = []


def run_docling(path: Path) -> str:
    if not _DOCLING:
        from docling.document_converter import DocumentConverter

        _DOCLING.append(DocumentConverter())
    return _DOCLING[0].convert(path).document.export_to_markdown()


def _setup_pdf_oxide() -> None:
    import pdf_oxide

    pdf_oxide.disable_logging()


def _pymupdf4llm_mode(layout: bool) -> Callable[[], None]:
    def setup() -> None:
        if layout and importlib.util.find_spec("pymupdf.layout") is None:
            raise ImportError("pymupdf-layout is not installed (pip install pymupdf-layout)")
        import pymupdf4llm

        pymupdf4llm.use_layout(layout)
    return setup


@dataclass
class Engine:
    name: str
    module: str  # imported to tell whether the engine is installed
    dist: str  # distribution whose version is reported
    convert: Callable[[Path], str]
    setup: Callable[[], None] | None = None


ENGINES = [
    Engine("folioscan", "folioscan", "folioscan", run_folioscan),
    Engine("pymupdf", "pymupdf", "pymupdf", run_pymupdf),
    Engine("pypdfium2", "pypdfium2", "pypdfium2", run_pypdfium2),
    Engine("pdf_oxide", "pdf_oxide", "pdf-oxide", run_pdf_oxide, _setup_pdf_oxide),
    Engine("pymupdf4llm", "pymupdf4llm", "pymupdf4llm", run_pymupdf4llm, _pymupdf4llm_mode(False)),
    Engine("pymupdf4llm-layout", "pymupdf4llm", "pymupdf4llm", run_pymupdf4llm_layout,
           _pymupdf4llm_mode(True)),
    Engine("docling", "docling", "docling", run_docling),
]
BY_NAME = {e.name: e for e in ENGINES}
LABELS = {
    "folioscan": 'folioscan extract(format="markdown")',
    "pymupdf": "PyMuPDF get_text() (plain text)",
    "pypdfium2": "pypdfium2 (plain text)",
    "pdf_oxide": "pdf_oxide to_markdown_all()",
    "pymupdf4llm": "pymupdf4llm, layout off",
    "pymupdf4llm-layout": "pymupdf4llm, layout on (learned layout model)",
    "docling": "docling",
}

# "cpu" is the process's CPU time, all threads included (a peer that computes on several
# threads pays for each), "wall" the elapsed time. CPU time is not disturbed by other work
# sharing the cores; both are kept for every page.
CLOCKS = {"cpu": time.process_time, "wall": time.perf_counter}


def version_of(dist: str) -> str:
    from importlib import metadata

    try:
        return metadata.version(dist)
    except metadata.PackageNotFoundError:
        return "source tree"


def convert_pages(engine: Engine, pdfs: list[Path], runs: int, clock: str) -> dict[str, dict]:
    """Markdown and best time of each page. Raises where the engine cannot start (the
    setup or the untimed first conversion fails); a page that fails later is empty."""
    if engine.setup:
        engine.setup()
    engine.convert(pdfs[0])
    out = {}
    for pdf in pdfs:
        best: dict[str, float] = {}
        text, error = "", None
        for _ in range(runs):
            start = {name: tick() for name, tick in CLOCKS.items()}
            try:
                text = engine.convert(pdf)
            except Exception as exc:  # a peer's own exception types
                text, error = "", f"{type(exc).__name__}: {exc}"
            for name, tick in CLOCKS.items():
                elapsed = tick() - start[name]
                best[name] = min(best.get(name, elapsed), elapsed)
        out[pdf.stem] = {"markdown": text, "seconds": best[clock],
                         "cpu_seconds": best["cpu"], "wall_seconds": best["wall"]}
        if error:
            out[pdf.stem]["error"] = error
    return out


def folioscan_module() -> str:
    import folioscan

    return os.path.dirname(os.path.abspath(folioscan.__file__))


def run_child(args: argparse.Namespace) -> None:
    """In a subprocess whose PYTHONPATH names one folioscan build: converts the pages
    with it and writes the Markdown, times and module path to --child-out."""
    pdfs = [args.bench / "pdfs" / f"{p}.pdf" for p in args.child_pages.split(",")]
    pages = convert_pages(BY_NAME["folioscan"], pdfs, args.runs, args.clock)
    Path(args.child_out).write_text(json.dumps(
        {"module": folioscan_module(), "version": version_of("folioscan"), "pages": pages}))


def run_build(label: str, pyroot: Path, args: argparse.Namespace, ids: list[str]) -> dict:
    # A folder without the package would make the child import whatever folioscan is
    # installed, or none: either way it is not the build asked for.
    if not (pyroot / "folioscan" / "__init__.py").exists():
        raise RuntimeError(f"no folioscan package there, not a build under {pyroot}")
    with tempfile.TemporaryDirectory() as tmp:
        out = Path(tmp) / "pages.json"
        env = dict(os.environ, PYTHONPATH=str(pyroot))
        cmd = [sys.executable, str(Path(__file__).resolve()), "--child-out", str(out),
               "--child-pages", ",".join(ids), "--bench", str(args.bench), "--runs", str(args.runs),
               "--clock", args.clock]
        done = subprocess.run(cmd, env=env, capture_output=True, text=True)
        if done.returncode != 0:
            raise RuntimeError(done.stderr.strip().splitlines()[-1] if done.stderr.strip()
                               else f"exit status {done.returncode}")
        result = json.loads(out.read_text())
    if not Path(result["module"]).is_relative_to(os.path.abspath(pyroot)):
        raise RuntimeError(f"loaded {result['module']}, not a build under {pyroot}")
    return result


# ---------------------------------------------------------------- report

def fmt(value: float | None, digits: int = 3) -> str:
    return "—" if value is None else f"{value:.{digits}f}"


def results_table(results: dict) -> str:
    rows = ["| engine | NID | TEDS | TEDS-S | MHS | invented tables | s/page | pages/s |",
            "|---|---:|---:|---:|---:|---:|---:|---:|"]
    for name, eng in results["engines"].items():
        m = eng["summary"]
        k, n = m["invented"]
        rate = f"{k}/{n} ({100 * k / n:.0f} %)" if n else "—"
        spp = m["seconds_per_page"]
        pps = "—" if not spp else f"{1 / spp:,.0f}" if spp < 0.1 else f"{1 / spp:.2g}"
        rows.append(f"| {eng['label']} | {fmt(m['nid'])} | {fmt(m['teds'])} | {fmt(m['teds_s'])} | "
                    f"{fmt(m['mhs'])} | {rate} | {spp:.4f} | {pps} |")
    return "\n".join(rows)


def draw(results: dict, path: Path) -> None:
    import matplotlib

    matplotlib.use("Agg")
    import matplotlib.pyplot as plt

    fig, (left, right) = plt.subplots(1, 2, figsize=(12, 5), sharex=True)
    colors = plt.rcParams["axes.prop_cycle"].by_key()["color"]
    for i, (name, eng) in enumerate(results["engines"].items()):
        m = eng["summary"]
        pps = 1 / m["seconds_per_page"]
        color = colors[i % len(colors)]
        left.scatter([pps], [m["mean"]], s=70, color=color, zorder=3)
        # Alternate labels above and below, so neighbours of equal speed stay legible.
        left.annotate(name, (pps, m["mean"]), textcoords="offset points",
                      xytext=(6, 5 if i % 2 == 0 else -13), fontsize=9)
        for key, marker in (("nid", "o"), ("teds", "s"), ("mhs", "^")):
            right.scatter([pps], [m[key] or 0], marker=marker, color=color, s=45, zorder=3,
                          label=name if key == "nid" else None)
    left.set_title("mean of NID, TEDS and MHS")
    right.set_title("NID (circle), TEDS (square), MHS (triangle)")
    right.legend(fontsize=8, loc="center left")
    for ax in (left, right):
        ax.set_xscale("log")
        ax.set_xlabel("pages per second (log scale)")
        ax.set_ylim(-0.03, 1.03)
        ax.margins(x=0.2)
        ax.grid(True, which="both", alpha=0.3)
    left.set_ylabel("score")
    fig.suptitle(f"structure-bench, {results['page_count']} pages")
    fig.tight_layout()
    path.parent.mkdir(parents=True, exist_ok=True)
    fig.savefig(path, dpi=80)
    plt.close(fig)


def load_results(path: Path) -> dict:
    if not path.exists():
        sys.exit(f"{path}: no results yet; run python bench/structure.py first")
    return json.loads(path.read_text())


def pick_engine(results: dict, name: str | None) -> tuple[str, dict]:
    engines = results["engines"]
    if name is None:
        name = next(iter(engines))
    if name not in engines:
        sys.exit(f"no engine {name!r} in the results; there are: {', '.join(engines)}")
    return name, engines[name]


def pick_page(results: dict, wanted: str) -> str:
    wanted = Path(wanted).stem
    ids = results["pages"]
    found = [i for i in ids if i == wanted] or [i for i in ids if i.endswith(wanted)]
    if len(found) != 1:
        sys.exit(f"page {wanted!r}: {'no page' if not found else 'several pages'} "
                 f"({', '.join(found[:5])})")
    return found[0]


def page_scores(p: dict) -> str:
    return (f"NID {fmt(p['nid'])}  TEDS {fmt(p['teds'])}  TEDS-S {fmt(p['teds_s'])}  "
            f"MHS {fmt(p['mhs'])}  table {'yes' if p['pred_table'] else 'no'}"
            f"{'' if p['gt_table'] else ' (none in ground truth)'}  {p['seconds'] * 1000:.1f} ms")


def print_worst(results: dict, engine: str | None, n: int, score: str = "nid") -> None:
    name, eng = pick_engine(results, engine)
    print(f"{n} lowest-{score.upper()} pages of {name}:")
    scored = [kv for kv in eng["pages"].items() if kv[1].get(score) is not None]
    pages = sorted(scored, key=lambda kv: kv[1][score])
    for page_id, p in pages[:n]:
        print(f"{page_id}  {page_scores(p)}  {len(p['markdown'])} chars")


def side_by_side(left: str, right: str, width: int) -> str:
    col = max(20, (width - 3) // 2)

    def wrap(text: str) -> list[str]:
        out = []
        for line in text.splitlines():
            out += textwrap.wrap(line.expandtabs(), col, drop_whitespace=False,
                                 replace_whitespace=False) or [""]
        return out

    a, b = wrap(left), wrap(right)
    a += [""] * (len(b) - len(a))
    b += [""] * (len(a) - len(b))
    return "\n".join(f"{x:<{col}} | {y}".rstrip() for x, y in zip(a, b))


def print_page(results: dict, engine: str | None, wanted: str, bench: Path, width: int) -> None:
    page_id = pick_page(results, wanted)
    name, eng = pick_engine(results, engine)
    for other, e in results["engines"].items():
        print(f"{other:<20} {page_scores(e['pages'][page_id])}")
    gt = (bench / "ground-truth" / f"{page_id}.md").read_text()
    col = max(20, (width - 3) // 2)
    print()
    print(f"{name + ' ' + page_id:<{col}} | ground truth")
    print(f"{'-' * col}-+-{'-' * col}")
    print(side_by_side(eng["pages"][page_id]["markdown"], gt, width))


# ---------------------------------------------------------------- main

def main() -> None:
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    ap.add_argument("--bench", type=Path, default=DEFAULT_BENCH, help="structure-bench folder")
    ap.add_argument("--engines", nargs="+", choices=list(BY_NAME), default=list(BY_NAME))
    ap.add_argument("--folioscan", action="append", default=[], metavar="[LABEL=]PYROOT",
                    help="a folioscan build (a folder holding folioscan/), run in a subprocess; "
                         "repeat to compare builds. Without it, the folioscan first on the path")
    ap.add_argument("--pages", nargs="+", help="page ids (or their ends) to run instead of all")
    ap.add_argument("--runs", type=int, default=1, help="time each page this often, keep the best")
    ap.add_argument("--clock", choices=list(CLOCKS), default="cpu",
                    help="the time reported: the process's CPU time (all its threads) or elapsed")
    ap.add_argument("--results", type=Path, default=OUT / "structure.json")
    ap.add_argument("--chart", type=Path, default=OUT / "structure.png")
    ap.add_argument("--no-chart", action="store_true")
    ap.add_argument("--worst", type=int, metavar="N", help="print the N lowest-scoring pages of --engine")
    ap.add_argument("--by", choices=["nid", "teds", "mhs"], default="nid",
                    help="the score --worst ranks by (pages without one left out)")
    ap.add_argument("--page", metavar="ID", help="print one page's prediction beside the ground truth")
    ap.add_argument("--engine", help="the engine --worst and --page show (default: the first)")
    ap.add_argument("--width", type=int, default=shutil.get_terminal_size((160, 40)).columns)
    ap.add_argument("--child-out", help=argparse.SUPPRESS)
    ap.add_argument("--child-pages", help=argparse.SUPPRESS)
    args = ap.parse_args()

    if args.child_out:
        run_child(args)
        return
    if args.worst is not None or args.page:
        signal.signal(signal.SIGPIPE, signal.SIG_DFL)  # quiet when piped into head or less
        results = load_results(args.results)
        if args.worst is not None:
            print_worst(results, args.engine, args.worst, args.by)
        if args.page:
            print_page(results, args.engine, args.page, args.bench, args.width)
        return

    all_ids = sorted(p.stem for p in (args.bench / "pdfs").glob("*.pdf"))
    if not all_ids:
        sys.exit(f"{args.bench}: no pdfs/*.pdf")
    ids = all_ids
    if args.pages:
        ids = [pick_page({"pages": all_ids}, p) for p in args.pages]
    pdfs = [args.bench / "pdfs" / f"{i}.pdf" for i in ids]
    truths = {i: (args.bench / "ground-truth" / f"{i}.md").read_text() for i in ids}

    runs: list[tuple[str, str, Callable[[], dict]]] = []  # key, label, converter
    for name in args.engines:
        engine = BY_NAME[name]
        if name == "folioscan" and args.folioscan:
            for build in args.folioscan:
                label, _, root = build.rpartition("=")
                pyroot = Path(root)
                label = label or f"folioscan@{pyroot.resolve().name}"
                runs.append((label, label, lambda pyroot=pyroot, label=label:
                             run_build(label, pyroot, args, ids)))
            continue

        def in_process(engine: Engine = engine) -> dict:
            importlib.import_module(engine.module)
            module = folioscan_module() if engine.name == "folioscan" else None
            return {"module": module, "version": version_of(engine.dist),
                    "pages": convert_pages(engine, pdfs, args.runs, args.clock)}
        runs.append((name, LABELS[name], in_process))

    results: dict = {"bench": str(args.bench), "page_count": len(ids), "pages": ids,
                     "clock": args.clock, "runs": args.runs, "engines": {}, "unavailable": {}}
    for key, label, convert in runs:
        print(f"{key} ...", end=" ", file=sys.stderr, flush=True)
        try:
            got = convert()
        except ImportError as exc:
            results["unavailable"][key] = f"not installed ({exc})"
            print("not installed", file=sys.stderr)
            continue
        except Exception as exc:  # an engine that cannot start is reported, not fatal
            results["unavailable"][key] = f"cannot start: {type(exc).__name__}: {exc}"
            print("cannot start", file=sys.stderr)
            continue
        pages = {}
        for i in ids:
            p = got["pages"][i]
            pages[i] = {**score_page(truths[i], p["markdown"]), **p}
        if got["module"]:
            print(f"loaded {got['module']} ({got['version']})", end=" ", file=sys.stderr)
        summary = summarize(pages)
        print(f"{summary['seconds']:.2f} s", file=sys.stderr)
        version = got["version"]
        results["engines"][key] = {
            "label": f"{label} {version}" if key in LABELS and version != "source tree" else label,
            "module": got["module"], "version": version, "summary": summary, "pages": pages}

    for key, why in results["unavailable"].items():
        print(f"unavailable: {key}: {why}")
    if not results["engines"]:
        sys.exit("no engine ran")
    gt_tables = sum(1 for i in ids if tables(truths[i]))
    gt_headings = sum(1 for i in ids if sections(truths[i]))
    print(f"\n{len(ids)} pages ({gt_tables} with tables, {gt_headings} with headings), "
          f"{args.clock} clock, best of {args.runs}\n")
    print(results_table(results))
    for key, eng in results["engines"].items():
        errors = [i for i, p in eng["pages"].items() if "error" in p]
        if errors:
            print(f"\n{key} failed on {len(errors)} pages: {', '.join(errors[:10])}")

    args.results.parent.mkdir(parents=True, exist_ok=True)
    args.results.write_text(json.dumps(results, indent=1, ensure_ascii=False))
    print(f"\nper-page scores: {args.results}")
    if not args.no_chart:
        try:
            draw(results, args.chart)
            print(f"chart: {args.chart}")
        except ImportError:
            print("matplotlib missing: no chart", file=sys.stderr)


if __name__ == "__main__":
    main()
