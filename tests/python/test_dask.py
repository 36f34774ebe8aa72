"""Batches on a Dask cluster started here (127.0.0.1, two worker processes): the CLI's
outputs byte for byte as with --jobs 1, results in input order, an early stop, and a
worker killed mid-batch without losing a file."""

from __future__ import annotations

import faulthandler
import os
import re
import signal
import subprocess
import sys
from pathlib import Path

import pytest

import folioscan
from pdfgen import text_document

distributed = pytest.importorskip("distributed")
pikepdf = pytest.importorskip("pikepdf")

SUMMARY = re.compile(r"folioscan: \d+ files?, \d+ pages?, \d+ failed(, \d+ warnings?)?, \d+\.\d\d s\n")


def document(pages: int, label: str) -> bytes:
    return text_document([f"BT /F1 12 Tf 72 700 Td ({label} page {n}) Tj ET" for n in range(pages)])


@pytest.fixture(scope="module")
def client():
    # A generous bound on the whole module: a stuck cluster dumps the stacks and ends
    # the run instead of hanging it.
    faulthandler.dump_traceback_later(300, exit=True)
    try:
        with distributed.LocalCluster(n_workers=2, threads_per_worker=1, processes=True, host="127.0.0.1",
                                      dashboard_address=None) as cluster:
            with distributed.Client(cluster, set_as_default=False, timeout=60) as client:
                client.wait_for_workers(2, timeout=60)
                yield client
    finally:
        faulthandler.cancel_dump_traceback_later()


@pytest.fixture(scope="module")
def library(tmp_path_factory: pytest.TempPathFactory) -> Path:
    """A big document, small ones, a broken, a truncated and an encrypted one ("pw")."""
    root = tmp_path_factory.mktemp("library")
    (root / "a_big.pdf").write_bytes(document(300, "Big"))
    for n in range(8):
        (root / f"small{n}.pdf").write_bytes(document(1 + n % 3, f"Small {n}"))
    (root / "broken.pdf").write_bytes(b"junk")
    (root / "truncated.pdf").write_bytes(document(2, "Cut")[:-40])
    (root / "plain.pdf").write_bytes(document(2, "Locked"))
    with pikepdf.open(root / "plain.pdf") as pdf:
        pdf.save(root / "locked.pdf", encryption=pikepdf.Encryption(user="pw", owner="owner", R=6))
    (root / "plain.pdf").unlink()
    return root


def test_cli_on_the_cluster_writes_what_jobs_1_writes(client, library, tmp_path):
    runs = []
    for name, option in [("local", ["--jobs", "1"]), ("dask", ["--dask", client.scheduler.address])]:
        out, report = tmp_path / name, tmp_path / f"{name}.jsonl"
        result = subprocess.run(
            [sys.executable, "-m", "folioscan", str(library), "--out-dir", str(out), "--errors", str(report),
             "--password", "pw", "-f", "json", *option],
            capture_output=True, timeout=120)
        files = {str(path.relative_to(out)): path.read_bytes() for path in sorted(out.rglob("*"))}
        runs.append((result.returncode, SUMMARY.sub("", result.stderr.decode()), files, report.read_bytes()))
    assert runs[0] == runs[1]
    status, _, files, report = runs[0]
    # The truncated file is repaired (a warning in the report), the junk file fails.
    assert status == 1 and len(files) == 11 and report.count(b"\n") == 2
    assert b'"kind": "warning"' in report
    assert b"Locked page 1" in files["locked.json"]


def outcomes(results):
    return [(path, (type(r), str(r)) if isinstance(r, Exception) else r) for path, r in results]


@pytest.mark.parametrize("read_on_worker", [False, True])
def test_parse_files_on_the_cluster_keeps_input_order_and_stops_early(client, library, read_on_worker):
    # The big document comes first and finishes last.
    paths = sorted(library.iterdir())
    expected = outcomes(folioscan.parse_files(paths, "pw", "markdown", jobs=1))
    run = folioscan.parse_files(paths, "pw", "markdown", jobs=2, executor=client.get_executor(),
                                read_on_worker=read_on_worker)
    assert outcomes(run) == expected
    stopped = folioscan.parse_files(paths * 4, "pw", "markdown", jobs=2, executor=client.get_executor())
    assert next(stopped)[0] == paths[0]
    stopped.close()


def test_a_worker_killed_mid_batch_loses_no_file(client, library):
    paths = [path for path in sorted(library.iterdir()) if path.name.startswith(("a_big", "small"))] * 4
    expected = {path: folioscan.parse_file(path, format="markdown") for path in set(paths)}
    results = folioscan.parse_files(paths, format="markdown", jobs=2, executor=client.get_executor())
    seen = [next(results)]
    # The batch is read lazily: most files are not even submitted when the worker dies.
    os.kill(next(iter(client.run(os.getpid).values())), signal.SIGKILL)
    seen.extend(results)
    assert [path for path, _ in seen] == paths
    # The cluster runs a lost task again elsewhere; one it gives up on is an error value.
    assert all(result == expected[path] or isinstance(result, Exception) for path, result in seen)
    client.wait_for_workers(2, timeout=60)  # the nanny restarts the killed worker
