"""The command line: one file to standard output or -o, standard input, batches of
files and folders to --out-dir, failures that do not stop a batch, the --errors
report, whole-file output replacement, and the same outputs whatever --jobs."""

from __future__ import annotations

import io
import json
import multiprocessing
import os
import pty
import re
import signal
import stat
import subprocess
import sys
import threading
from pathlib import Path

import pytest

import folioscan
from folioscan import cli, cli_convert, cli_output, cli_progress, cli_runners
from pdfgen import text_document

NO_HEADER = "InvalidHeader: no %PDF- header"
NO_STARTXREF = "InvalidXref: no startxref"
SUMMARY = re.compile(r"folioscan: (\d+) files?, (\d+) pages?, (\d+) failed, \d+\.\d\d s\n")


def document(*texts: str) -> bytes:
    return text_document([f"BT /F1 12 Tf 72 700 Td ({text}) Tj ET" for text in texts])


def run_cli(*args: str | Path, stdin: bytes = b"", cwd: Path | None = None) -> subprocess.CompletedProcess:
    # These tests pin the strict reading, which matches the parse_to_* functions;
    # the recovering default is tested in test_recovery.py.
    return subprocess.run(
        [sys.executable, "-m", "folioscan", "--strict", *map(str, args)],
        input=stdin,
        capture_output=True,
        timeout=60,
        cwd=cwd,
    )


def tree_of(root: Path) -> dict[str, bytes]:
    """Every file below root (hidden ones included) by relative path, with its bytes."""
    return {
        str(path.relative_to(root)): path.read_bytes() for path in sorted(root.rglob("*")) if path.is_file()
    }


@pytest.fixture
def library(tmp_path: Path) -> Path:
    """A folder of PDFs: good ones at two depths, a junk file, a truncated file, an
    upper-case suffix, a text file and a folder whose name ends in .pdf."""
    root = tmp_path / "library"
    files = {
        "one.pdf": document("One"),
        "Two.PDF": document("Two a", "Two b"),
        "broken.pdf": b"junk",
        "readme.txt": b"not a pdf",
        "sub/three.pdf": document("Three"),
        "sub/truncated.pdf": document("Cut")[:-40],
        "sub/deeper/four.pdf": document("Four a", "Four b", "Four c"),
        "folder.pdf/inside.pdf": document("Inside"),
    }
    for name, data in files.items():
        (root / name).parent.mkdir(parents=True, exist_ok=True)
        (root / name).write_bytes(data)
    return root


# ---------------------------------------------------------------- one file


@pytest.mark.parametrize(
    "format, native", [("markdown", folioscan.parse_to_markdown), ("json", folioscan.parse_to_json),
                       ("html", folioscan.parse_to_html)]
)
def test_one_file_goes_to_standard_output_or_to_out(library, tmp_path, format, native):
    source = library / "Two.PDF"
    expected = native(source.read_bytes()).encode()
    result = run_cli(source, "--format", format)
    assert (result.returncode, result.stderr) == (0, b"")
    assert result.stdout == (expected if expected.endswith(b"\n") else expected + b"\n")

    out = tmp_path / "out.txt"
    result = run_cli(source, "-f", format, "-o", out)
    assert (result.returncode, result.stdout, result.stderr) == (0, b"", b"")
    assert out.read_bytes() == expected


def test_dash_reads_the_pdf_from_standard_input(tmp_path):
    result = run_cli("-", stdin=document("From a pipe"))
    assert (result.returncode, result.stdout, result.stderr) == (0, b"From a pipe\n", b"")

    out = tmp_path / "piped.json"
    result = run_cli("-", "--format", "json", "-o", out, stdin=document("Piped"))
    assert result.returncode == 0
    assert json.loads(out.read_text())["pages"][0]["lines"][0]["text"] == "Piped"

    result = run_cli("-", stdin=b"junk")
    assert result.returncode == 1
    assert result.stderr.decode() == f"folioscan: <stdin>: {NO_HEADER}\n"


def test_one_failed_file_is_written_to_the_errors_report(tmp_path):
    report = tmp_path / "errors.jsonl"
    missing = tmp_path / "missing.pdf"
    result = run_cli(missing, "--errors", report)
    assert result.returncode == 1
    assert result.stderr.decode() == f"folioscan: {missing}: No such file or directory\n"
    assert [json.loads(line) for line in report.read_text().splitlines()] == [
        {"path": str(missing), "error": "No such file or directory", "kind": "FileNotFoundError"}
    ]


# ---------------------------------------------------------------- usage mistakes


@pytest.mark.parametrize(
    "args, message",
    [
        (["a.pdf", "b.pdf", "-o", "out.md"], "-o takes a single input; use --out-dir for several"),
        (["a.pdf", "b.pdf"], "several inputs need --out-dir"),
        (["a.pdf", "-o", "x.md", "--out-dir", "out"],
         "argument --out-dir: not allowed with argument -o/--output"),
        (["-", "a.pdf", "--out-dir", "out"], '"-" (standard input) must be the only input'),
        (["-", "--out-dir", "out"], '"-" (standard input) must be the only input'),
        (["a.pdf", "--out-dir", "out", "--jobs", "0"], "argument -j/--jobs: must be at least 1, got 0"),
        (["a.pdf", "--out-dir", "out", "--jobs", "two"], "argument -j/--jobs: invalid int value: 'two'"),
        (["library"], "library is a folder: use --out-dir"),
        (["library/one.pdf", "library/sub/deeper/four.pdf", "elsewhere/one.pdf", "--out-dir", "out"],
         "library/one.pdf and elsewhere/one.pdf would both be written to out/one.md"),
        (["library/one.pdf", "--dask", "tcp://127.0.0.1:8786"], "--dask converts a batch: use --out-dir"),
        (["library/one.pdf", "--image-placeholders"],
         "--image-placeholders marks the images of the recovering reading: not with --strict"),
    ],
)
def test_usage_mistakes_exit_2_before_writing_anything(library, args, message):
    before = tree_of(library.parent)
    result = run_cli(*args, cwd=library.parent)
    assert result.returncode == 2
    assert result.stdout == b""
    stderr = result.stderr.decode()
    assert stderr.startswith("usage: folioscan") and f"folioscan: error: {message}" in stderr
    assert tree_of(library.parent) == before


# ---------------------------------------------------------------- batches


def test_folder_with_broken_files_converts_the_rest_and_exits_1(library, tmp_path):
    out, report = tmp_path / "out", tmp_path / "errors.jsonl"
    result = run_cli(library, "--out-dir", out, "--errors", report, "--jobs", "2")
    assert result.returncode == 1
    assert result.stdout == b""
    assert tree_of(out) == {"Two.md": b"Two a\n\n---\n\nTwo b", "one.md": b"One"}
    lines = result.stderr.decode().splitlines(keepends=True)
    assert lines[:1] == [f"folioscan: {library / 'broken.pdf'}: {NO_HEADER}\n"]
    assert SUMMARY.fullmatch(lines[1]).groups() == ("3", "3", "1")
    assert len(lines) == 2
    assert [json.loads(line) for line in report.read_text().splitlines()] == [
        {"path": str(library / "broken.pdf"), "error": NO_HEADER, "kind": "InvalidHeader"}
    ]


def test_recursive_mirrors_each_folder_and_puts_given_files_at_the_top(library, tmp_path):
    out, report = tmp_path / "out", tmp_path / "errors.jsonl"
    extra = tmp_path / "extra.pdf"
    extra.write_bytes(document("Extra"))
    result = run_cli(extra, library / "sub", "--recursive", "--format", "html", "--out-dir", out,
                     "--errors", report, "--jobs", "2")
    assert result.returncode == 1
    assert sorted(tree_of(out)) == ["deeper/four.html", "extra.html", "three.html"]
    assert tree_of(out)["deeper/four.html"] == folioscan.parse_to_html(
        (library / "sub/deeper/four.pdf").read_bytes()).encode()
    stderr = result.stderr.decode()
    assert stderr.startswith(f"folioscan: {library / 'sub' / 'truncated.pdf'}: {NO_STARTXREF}\n")
    assert SUMMARY.search(stderr).groups() == ("4", "5", "1")
    assert json.loads(report.read_text()) == {
        "path": str(library / "sub" / "truncated.pdf"), "error": NO_STARTXREF, "kind": "InvalidXref"}


def test_recursive_walk_of_the_whole_library(library, tmp_path):
    out = tmp_path / "out"
    result = run_cli(library, "-r", "-f", "json", "--out-dir", out, "--quiet", "--jobs", "2")
    assert result.returncode == 1
    assert sorted(tree_of(out)) == [
        "Two.json", "folder.pdf/inside.json", "one.json", "sub/deeper/four.json", "sub/three.json"]
    # Quiet keeps the failures and drops the summary.
    assert result.stderr.decode() == (
        f"folioscan: {library / 'broken.pdf'}: {NO_HEADER}\n"
        f"folioscan: {library / 'sub' / 'truncated.pdf'}: {NO_STARTXREF}\n"
    )


def test_all_good_exits_0_with_an_empty_errors_report(library, tmp_path):
    out, report = tmp_path / "out", tmp_path / "errors.jsonl"
    report.write_text("stale\n")
    result = run_cli(library / "one.pdf", library / "sub" / "three.pdf", library / "one.pdf",
                     "--out-dir", out, "--errors", report)
    assert result.returncode == 0
    # The file named twice is converted once.
    assert tree_of(out) == {"one.md": b"One", "three.md": b"Three"}
    assert SUMMARY.fullmatch(result.stderr.decode()).groups() == ("2", "2", "0")
    assert report.read_bytes() == b""


def test_jobs_1_and_jobs_2_write_identical_outputs_and_reports(library, tmp_path):
    runs = []
    for jobs in ("1", "2"):
        out, report = tmp_path / f"out{jobs}", tmp_path / f"errors{jobs}.jsonl"
        result = run_cli(library, "-r", "--out-dir", out, "--errors", report, "--jobs", jobs)
        stderr = SUMMARY.sub("summary\n", result.stderr.decode())
        runs.append((result.returncode, stderr, tree_of(out), report.read_bytes()))
    assert runs[0] == runs[1]
    assert len(runs[0][2]) == 5 and runs[0][3].count(b"\n") == 2


def test_a_batch_replaces_existing_outputs_whole_and_leaves_no_temporary_files(library, tmp_path):
    out = tmp_path / "out"
    out.mkdir()
    (out / "one.md").write_bytes(b"an older and much longer conversion\n" * 100)
    (out / "one.md").chmod(0o640)
    (out / "unrelated.txt").write_bytes(b"kept")
    result = run_cli(library, "--out-dir", out, "--jobs", "2")
    assert result.returncode == 1
    assert tree_of(out) == {"one.md": b"One", "Two.md": b"Two a\n\n---\n\nTwo b", "unrelated.txt": b"kept"}
    assert stat.S_IMODE((out / "one.md").stat().st_mode) == 0o640


def test_an_output_folder_that_cannot_be_made_fails_with_one_line(library, tmp_path):
    blocker = tmp_path / "taken"
    blocker.write_bytes(b"")
    result = run_cli(library / "one.pdf", "--out-dir", blocker)
    assert result.returncode == 1
    assert result.stderr.decode() == f"folioscan: {blocker}: File exists\n"


def stderr_on_a_terminal(*args: str | Path) -> tuple[int, str]:
    """Runs the command with standard error on a pseudo-terminal; gives the exit
    status and what the terminal showed."""
    controller, terminal = pty.openpty()
    try:
        process = subprocess.Popen([sys.executable, "-m", "folioscan", "--strict", *map(str, args)],
                                   stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=terminal)
        os.close(terminal)
        shown = b""
        while True:
            try:
                chunk = os.read(controller, 4096)
            except OSError:  # the terminal is gone once the process has ended
                break
            if not chunk:
                break
            shown += chunk
        return process.wait(timeout=60), shown.decode()
    finally:
        os.close(controller)


def test_progress_goes_to_a_terminal_only(library, tmp_path):
    result = run_cli(library, "--out-dir", tmp_path / "out")
    assert b"\r" not in result.stderr and b"pages/s" not in result.stderr

    status, shown = stderr_on_a_terminal(library, "--out-dir", tmp_path / "tty", "--jobs", "2")
    assert status == 1
    assert "[########################] 3/3 files  " in shown and " pages/s  1 error" in shown
    # The failure and the summary each end up on a clean line of their own.
    assert f"\r\x1b[Kfolioscan: {library / 'broken.pdf'}: {NO_HEADER}\r\n" in shown
    assert SUMMARY.search(shown.split("\r\x1b[K")[-1].replace("\r\n", "\n"))

    status, shown = stderr_on_a_terminal(library, "--out-dir", tmp_path / "quiet", "--quiet")
    assert (status, shown) == (1, f"folioscan: {library / 'broken.pdf'}: {NO_HEADER}\r\n")

    stream = io.StringIO()
    progress = cli_progress.Progress(4, stream, enabled=True)
    progress.update(1, 30, 1, force=True)
    shown = stream.getvalue()
    assert shown.startswith("\r\x1b[K[######------------------] 1/4 files  ")
    assert re.search(r" \d+\.\d pages/s  1 error$", shown)
    progress.clear()
    assert stream.getvalue() == shown + "\r\x1b[K"

    silent = io.StringIO()
    cli_progress.Progress(4, silent, enabled=False).update(4, 30, 0, force=True)
    assert silent.getvalue() == ""


def test_an_interrupted_batch_reports_what_was_done_and_exits_130(library, tmp_path, monkeypatch, capsys):
    def interrupted(function, items, jobs, **options):
        items = list(items)
        yield items[0], function(items[0])
        raise KeyboardInterrupt

    monkeypatch.setattr(cli_runners, "map_in_order", interrupted)
    report = tmp_path / "errors.jsonl"
    inputs = [str(library / "broken.pdf"), str(library / "one.pdf")]
    status = cli.main(["--strict", *inputs, "--out-dir", str(tmp_path / "out"), "--errors", str(report)])
    assert status == 130
    assert capsys.readouterr().err == (
        f"folioscan: {library / 'broken.pdf'}: {NO_HEADER}\nfolioscan: interrupted after 1 of 2 files\n"
    )
    assert json.loads(report.read_text())["kind"] == "InvalidHeader"
    assert tree_of(tmp_path / "out") == {}


def convert_or_die_on_one(job: cli_output.Job, output_format: str, password: str | None, strict: bool = True,
                          convert=cli_runners.convert_job, **options):
    if job.source.endswith("one.pdf"):
        os.kill(os.getpid(), signal.SIGKILL)
    return convert(job, output_format, password, strict, **options)


@pytest.mark.skipif(
    multiprocessing.get_start_method() != "fork", reason="workers see this test's stand-in by forking"
)
def test_a_worker_that_dies_costs_its_file_only_and_the_report_is_written(library, tmp_path, monkeypatch,
                                                                        capsys):
    monkeypatch.setattr(cli_runners, "convert_job", convert_or_die_on_one)
    out, report = tmp_path / "out", tmp_path / "errors.jsonl"
    status = cli.main(["--strict", str(library), "-r", "--out-dir", str(out), "--errors", str(report), "--jobs", "2"])
    assert status == 1
    assert sorted(tree_of(out)) == ["Two.md", "folder.pdf/inside.md", "sub/deeper/four.md", "sub/three.md"]
    records = [json.loads(line) for line in report.read_text().splitlines()]
    assert records[1] == {"path": str(library / "one.pdf"), "error": "WorkerDied: signal 9", "kind": "WorkerDied"}
    assert [record["kind"] for record in records] == ["InvalidHeader", "WorkerDied", "InvalidXref"]
    assert SUMMARY.search(capsys.readouterr().err).groups() == ("7", "7", "3")


def test_dask_without_the_extra_is_one_line_and_exit_2(library, tmp_path, monkeypatch, capsys):
    monkeypatch.setitem(sys.modules, "distributed", None)  # makes the import fail
    status = cli.main([str(library), "--out-dir", str(tmp_path / "out"), "--dask", "tcp://127.0.0.1:8786"])
    assert status == 2
    assert capsys.readouterr().err == "folioscan: --dask needs dask[distributed]: pip install 'folioscan[dask]'\n"
    assert not (tmp_path / "out").exists()


# ---------------------------------------------------------------- writing whole files


def test_write_replaces_the_target_or_leaves_it_untouched(tmp_path, monkeypatch):
    target = tmp_path / "out.md"
    target.write_bytes(b"old content that is longer than the new one")
    cli_output.write_atomically(str(target), b"new")
    assert tree_of(tmp_path) == {"out.md": b"new"}

    def interrupted(source, destination):
        raise KeyboardInterrupt

    monkeypatch.setattr(os, "replace", interrupted)
    with pytest.raises(KeyboardInterrupt):
        cli_output.write_atomically(str(target), b"never seen")
    assert tree_of(tmp_path) == {"out.md": b"new"}


class Stopped(BaseException):
    pass


def test_a_stop_signal_just_after_the_temporary_file_is_made_leaves_no_file(tmp_path, monkeypatch):
    # A batch worker is stopped with SIGTERM, whose handler raises; arriving right
    # after the temporary file exists, it must still find the block that removes it.
    def stop(signum, frame):
        raise Stopped

    previous = signal.signal(signal.SIGTERM, stop)
    real_mkstemp = cli_output.tempfile.mkstemp

    def mkstemp_then_stopped(*args, **kwargs):
        made = real_mkstemp(*args, **kwargs)
        os.kill(os.getpid(), signal.SIGTERM)
        return made

    monkeypatch.setattr(cli_output.tempfile, "mkstemp", mkstemp_then_stopped)
    try:
        with pytest.raises(Stopped):
            cli_output.write_atomically(str(tmp_path / "out.md"), b"never seen")
    finally:
        signal.signal(signal.SIGTERM, previous)
    assert tree_of(tmp_path) == {}


def test_write_goes_through_a_link_and_into_a_pipe_without_replacing_them(tmp_path):
    real = tmp_path / "real.md"
    real.write_bytes(b"old")
    link = tmp_path / "link.md"
    link.symlink_to(real)
    cli_output.write_atomically(str(link), b"through the link")
    assert link.is_symlink() and real.read_bytes() == b"through the link"

    fifo = tmp_path / "pipe"
    os.mkfifo(fifo)
    received = []
    reader = threading.Thread(target=lambda: received.append(fifo.read_bytes()))
    reader.start()
    cli_output.write_atomically(str(fifo), b"streamed")
    reader.join(timeout=60)
    assert received == [b"streamed"]
    assert stat.S_ISFIFO(fifo.lstat().st_mode)


# ---------------------------------------------------------------- pages in the summary


@pytest.mark.parametrize("format", ["markdown", "json", "html"])
@pytest.mark.parametrize("texts", [("A",), ("A", "B", "C"), ("A", "", "C")])
def test_page_count_is_read_back_from_each_format(format, texts):
    text = cli_convert.FORMATS[format](document(*texts))
    assert cli_output.count_pages(text, format) == len(texts)
