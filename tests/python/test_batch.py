"""parse_file and parse_files: formats, argument checks, input order, errors returned
as values, in-process and pooled runs agreeing, and bounded read-ahead."""

from __future__ import annotations

import itertools
import multiprocessing
import os
import pickle
import signal
from concurrent.futures import Executor, Future
from pathlib import Path

import pytest

import folioscan
from folioscan import batch
from pdfgen import text_document

NO_HEADER = "InvalidHeader: no %PDF- header"
NO_STARTXREF = "InvalidXref: no startxref"


def page(text: str) -> str:
    return f"BT /F1 12 Tf 72 700 Td ({text}) Tj ET"


def document(*texts: str) -> bytes:
    return text_document([page(text) for text in texts])


@pytest.fixture
def files(tmp_path: Path) -> dict[str, Path]:
    """Good, broken and missing files, named for what they hold."""
    contents = {
        "one.pdf": document("One"),
        "junk.pdf": b"junk",
        "two.pdf": document("Two a", "Two b"),
        "truncated.pdf": document("Cut")[:-40],
        "three.pdf": document("Three"),
    }
    paths = {}
    for name, data in contents.items():
        paths[name] = tmp_path / name
        paths[name].write_bytes(data)
    paths["missing.pdf"] = tmp_path / "missing.pdf"
    return paths


def described(result: object) -> tuple[str, object]:
    """A value to compare across runs: exceptions by type, text and file name."""
    if isinstance(result, BaseException):
        return type(result).__name__, (str(result), getattr(result, "filename", None))
    return "result", result


# ---------------------------------------------------------------- parse_file


@pytest.mark.parametrize(
    "format, native",
    [
        ("dict", folioscan.parse),
        ("json", folioscan.parse_to_json),
        ("markdown", folioscan.parse_to_markdown),
        ("html", folioscan.parse_to_html),
    ],
)
def test_parse_file_gives_what_the_native_function_gives(files, format, native):
    expected = native(files["two.pdf"].read_bytes())
    assert folioscan.parse_file(files["two.pdf"], format=format) == expected
    assert folioscan.parse_file(str(files["two.pdf"]), None, format) == expected


def test_parse_file_defaults_to_the_dict_and_takes_str_bytes_and_path_objects(files):
    path = files["one.pdf"]
    expected = folioscan.parse(path.read_bytes())
    for form in (path, str(path), bytes(path)):
        assert folioscan.parse_file(form) == expected
    assert expected["pages"][0]["lines"][0]["text"] == "One"


def test_parse_file_hands_the_password_to_the_parser(files, monkeypatch):
    seen = []
    monkeypatch.setitem(batch.FORMATS, "markdown", lambda data, password: seen.append(password) or "ok")
    assert folioscan.parse_file(files["one.pdf"], "secret", "markdown") == "ok"
    assert seen == ["secret"]


def test_parse_file_raises_the_parse_error_and_the_read_error(files):
    with pytest.raises(ValueError) as info:
        folioscan.parse_file(files["junk.pdf"])
    assert type(info.value) is ValueError and str(info.value) == NO_HEADER
    with pytest.raises(ValueError, match=f"^{NO_STARTXREF}$"):
        folioscan.parse_file(files["truncated.pdf"], format="json")
    with pytest.raises(FileNotFoundError):
        folioscan.parse_file(files["missing.pdf"])
    with pytest.raises(IsADirectoryError):
        folioscan.parse_file(files["one.pdf"].parent)


@pytest.mark.parametrize("format", ["pdf", "Markdown", "", None, 1])
def test_parse_file_refuses_an_unknown_format_before_reading(files, format):
    # The missing file would give OSError: the format is checked first.
    with pytest.raises(ValueError) as info:
        folioscan.parse_file(files["missing.pdf"], format=format)
    assert str(info.value) == (
        f"unknown format {format!r}; expected one of 'dict', 'json', 'markdown', 'html'"
    )


# ---------------------------------------------------------------- parse_files


ORDER = ["one.pdf", "junk.pdf", "missing.pdf", "two.pdf", "truncated.pdf", "three.pdf"]


@pytest.mark.parametrize("jobs", [1, 2])
def test_parse_files_yields_results_and_errors_in_input_order(files, jobs):
    paths = [files[name] for name in ORDER]
    results = list(folioscan.parse_files(paths, format="markdown", jobs=jobs))
    assert [path for path, _ in results] == paths
    assert all(given is path for (given, _), path in zip(results, paths))
    values = [result for _, result in results]
    assert values[0] == "One"
    assert type(values[1]) is ValueError and str(values[1]) == NO_HEADER
    assert isinstance(values[2], FileNotFoundError)
    assert values[2].strerror == "No such file or directory"
    assert values[2].filename == str(files["missing.pdf"])
    assert values[3] == "Two a\n\n---\n\nTwo b"
    assert type(values[4]) is ValueError and str(values[4]) == NO_STARTXREF
    assert values[5] == "Three"


def test_parse_files_gives_the_same_results_in_process_and_in_a_pool(files):
    paths = [files[name] for name in ORDER] * 3
    for format in ("dict", "json", "html"):
        alone = [described(r) for _, r in folioscan.parse_files(paths, format=format, jobs=1)]
        pooled = [described(r) for _, r in folioscan.parse_files(paths, format=format, jobs=2)]
        assert alone == pooled
        assert alone[0] == ("result", folioscan.parse_file(paths[0], format=format))


@pytest.mark.skipif(
    multiprocessing.get_start_method() != "fork", reason="workers see this test's stand-in by forking"
)
def test_parse_files_parses_in_worker_processes_only_when_jobs_is_above_one(files, monkeypatch):
    monkeypatch.setitem(batch.FORMATS, "markdown", lambda data, password: os.getpid())
    paths = [files["one.pdf"]] * 8
    alone = {pid for _, pid in folioscan.parse_files(paths, format="markdown", jobs=1)}
    pooled = {pid for _, pid in folioscan.parse_files(paths, format="markdown", jobs=2)}
    assert alone == {os.getpid()}
    assert os.getpid() not in pooled and 1 <= len(pooled) <= 2
    # One file alone is not worth starting a pool for.
    single = {pid for _, pid in folioscan.parse_files(paths[:1], format="markdown", jobs=2)}
    assert single == {os.getpid()}


def test_parse_files_of_nothing_yields_nothing():
    assert list(folioscan.parse_files([], jobs=2)) == []
    assert list(folioscan.parse_files(iter([]))) == []


@pytest.mark.parametrize("jobs", [1, 2])
def test_parse_files_reads_its_input_lazily_and_a_bounded_window_ahead(files, jobs):
    pulled = 0

    def many():
        # Long enough that reading it all up front would show, finite so it cannot hang.
        nonlocal pulled
        for path in itertools.islice(itertools.cycle([files["one.pdf"], files["junk.pdf"]]), 200):
            pulled += 1
            yield path

    results = folioscan.parse_files(many(), format="markdown", jobs=jobs)
    assert pulled == 0
    for count, (_, result) in enumerate(itertools.islice(results, 9)):
        assert described(result)[0] == ("result" if count % 2 == 0 else "ValueError")
        # Results handed out plus at most two in flight per worker.
        assert pulled <= count + 1 + 2 * jobs
    results.close()


def test_parse_files_stops_cleanly_when_the_caller_stops_early(files):
    paths = [files["two.pdf"]] * 20
    results = folioscan.parse_files(paths, format="json", jobs=2)
    path, first = next(results)
    assert path == files["two.pdf"] and first.startswith("{")
    results.close()
    with pytest.raises(StopIteration):
        next(results)


@pytest.mark.parametrize(
    "kwargs, error, text",
    [
        ({"format": "text"}, ValueError, "unknown format 'text'"),
        ({"jobs": 0}, ValueError, "jobs must be at least 1, got 0"),
        ({"jobs": 1.5}, TypeError, "jobs must be int or None, not float"),
        ({"password": b"pw"}, TypeError, "password must be str or None, not bytes"),
        ({"password": "pass\udc80"}, UnicodeEncodeError, "surrogates not allowed"),
    ],
)
def test_parse_files_checks_its_arguments_at_the_call(files, kwargs, error, text):
    with pytest.raises(error, match=text):
        folioscan.parse_files([files["one.pdf"]], **kwargs)


@pytest.mark.parametrize("single", ["a.pdf", b"a.pdf", Path("a.pdf")])
def test_parse_files_refuses_a_single_path(single):
    with pytest.raises(TypeError, match="^paths must be an iterable of paths, not a single path$"):
        folioscan.parse_files(single)


def test_the_helpers_stay_out_of_the_star_import():
    assert folioscan.__all__ == ["parse", "parse_to_json", "parse_to_html", "parse_to_markdown"]
    assert folioscan.parse_file is batch.parse_file
    assert folioscan.parse_files is batch.parse_files
    namespace: dict[str, object] = {}
    exec("from folioscan import *", namespace)
    assert "parse_file" not in namespace and "parse_files" not in namespace


# ---------------------------------------------------------------- map_in_order


def interrupt_handler(_: object) -> object:
    return signal.getsignal(signal.SIGINT)


def square_below_five(number: int) -> int:
    if number >= 5:
        raise RuntimeError(f"{number} is too big")
    return number * number


def test_workers_leave_interrupts_to_the_caller():
    # The caller's KeyboardInterrupt drops the queued work and waits for the running
    # calls, so a worker never stops half-way through one.
    handlers = {handler for _, handler in batch.map_in_order(interrupt_handler, range(6), 2)}
    assert handlers == {signal.SIG_IGN}


@pytest.mark.parametrize("jobs", [1, 2])
def test_map_in_order_keeps_order_and_lets_errors_of_the_function_through(jobs):
    results = batch.map_in_order(square_below_five, range(10), jobs)
    assert [next(results) for _ in range(5)] == [(n, n * n) for n in range(5)]
    with pytest.raises(RuntimeError, match="^5 is too big$"):
        next(results)


# ---------------------------------------------------------------- dead workers


def die_on_five(number: int) -> int:
    if number == 5:
        os.kill(os.getpid(), signal.SIGKILL)
    if number == 8:
        os._exit(3)
    return number * number


def test_a_dead_worker_costs_only_the_call_it_held():
    # Two deaths in one batch: the pool is replaced each time and the order kept.
    results = list(batch.map_in_order(die_on_five, range(12), 2, on_error=lambda _, error: str(error)))
    expected = {5: "WorkerDied: signal 9", 8: "WorkerDied: exit status 3"}
    assert results == [(n, expected.get(n, n * n)) for n in range(12)]
    with pytest.raises(batch.WorkerDied, match="^WorkerDied: signal 9$"):
        list(batch.map_in_order(die_on_five, range(12), 2))


# ---------------------------------------------------------------- other executors


class ReversingExecutor(Executor):
    """Runs the calls only when a result is asked for, the last submitted first, so
    they finish out of input order; the calls travel pickled, as to a remote worker,
    and a call on `lose` bytes fails as a lost task."""

    def __init__(self, lose: bytes | None = None) -> None:
        self.waiting: list[tuple[Future, bytes]] = []
        self.futures: list[Future] = []
        self.items: list[batch.WorkItem] = []
        self.lose = lose

    def submit(self, fn, /, *args, **kwargs):
        future = Future()
        future.result = lambda timeout=None: self.run_waiting() or Future.result(future, timeout)
        self.waiting.append((future, pickle.dumps((fn, args[0]))))
        self.futures.append(future)
        self.items.append(args[0])
        return future

    def run_waiting(self) -> None:
        while self.waiting:
            future, call = self.waiting.pop()
            fn, item = pickle.loads(call)
            if not future.set_running_or_notify_cancel():
                continue
            if item.data is not None and item.data == self.lose:
                future.set_exception(RuntimeError("task lost"))
            else:
                future.set_result(fn(item))


@pytest.mark.parametrize("read_on_worker", [False, True])
def test_parse_files_on_an_executor_keeps_input_order_and_gives_the_same_results(files, read_on_worker):
    paths = [files[name] for name in ORDER] * 2
    executor = ReversingExecutor()
    remote = list(folioscan.parse_files(paths, format="json", jobs=2, executor=executor,
                                        read_on_worker=read_on_worker))
    assert [path for path, _ in remote] == paths
    alone = [described(r) for _, r in folioscan.parse_files(paths, format="json", jobs=1)]
    assert [described(r) for _, r in remote] == alone
    # Bytes travel, or only paths; a file that cannot be read here is never sent.
    sent = [(item.path, item.data) for item in executor.items]
    assert sent == ([(p, None) for p in paths] if read_on_worker else
                    [(None, p.read_bytes()) for p in paths if p.exists()])


def test_parse_files_on_an_executor_gives_a_lost_call_as_its_result_and_cancels_on_stop(files):
    executor = ReversingExecutor(lose=b"junk")
    paths = [files["one.pdf"], files["junk.pdf"], files["two.pdf"]]
    results = [r for _, r in folioscan.parse_files(paths, format="markdown", executor=executor)]
    assert results[0] == "One" and results[2] == "Two a\n\n---\n\nTwo b"
    assert type(results[1]) is RuntimeError and str(results[1]) == "task lost"

    executor = ReversingExecutor()
    stopped = folioscan.parse_files([files["one.pdf"]] * 20, format="markdown", jobs=2, executor=executor)
    assert next(stopped)[1] == "One"
    stopped.close()
    assert len(executor.futures) <= 1 + 2 * 2
    assert all(future.done() for future in executor.futures)
    assert any(future.cancelled() for future in executor.futures)

    with pytest.raises(TypeError, match="^executor must be a concurrent.futures.Executor, not str$"):
        folioscan.parse_files(paths, executor="tcp://127.0.0.1:8786")
