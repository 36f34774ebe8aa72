"""The surface of the native module and the command line: names, docstrings and
signatures, argument binding and its exact errors, the error mapping of the
parser, the one-time initialisation, and the CLI's exit statuses."""

from __future__ import annotations

import inspect
import subprocess
import sys
import textwrap
from pathlib import Path

import pytest

import folioscan
from folioscan import _folioscan

FUNCTIONS = ["parse", "parse_to_json", "parse_to_html", "parse_to_markdown"]
DOCS = {
    "parse": "Parse a PDF and return the extracted document as a native Python dict.",
    "parse_to_json": "Parse a PDF and return its extracted form as pretty JSON.",
    "parse_to_html": "Parse a PDF and render it to a standalone HTML document.",
    "parse_to_markdown": "Parse a PDF and render it to Markdown.",
}
NO_HEADER = "InvalidHeader: no %PDF- header"
# Passes the header check; whatever the parser makes of the rest, it is not a TypeError.
HEADER_ONLY = b"%PDF-1.7\n%%EOF\n"


def outcome(function, *args, **kwargs):
    """The result of a call, or the type and text of what it raised."""
    try:
        return ("returned", function(*args, **kwargs))
    except Exception as error:  # noqa: BLE001 - the outcome is what is compared
        return ("raised", type(error), str(error))


@pytest.fixture(params=FUNCTIONS)
def function(request):
    return getattr(_folioscan, request.param)


# ---------------------------------------------------------------- names and docs


def test_module_lists_the_four_functions_in_order():
    assert _folioscan.__all__ == FUNCTIONS
    assert folioscan.__all__ == FUNCTIONS
    for name in FUNCTIONS:
        assert getattr(folioscan, name) is getattr(_folioscan, name)


def test_module_has_its_docstring_and_package_name():
    assert _folioscan.__doc__ == "The native extension module (`folioscan._folioscan`)."
    assert _folioscan.__name__ == "folioscan._folioscan"


def test_package_has_a_version():
    assert isinstance(folioscan.__version__, str) and folioscan.__version__


def test_functions_carry_docstring_and_text_signature(function):
    name = function.__name__
    assert function.__doc__ == DOCS[name]
    assert function.__text_signature__ == "(data, password=None)"
    assert str(inspect.signature(function)) == "(data, password=None)"
    assert function.__module__ == "folioscan._folioscan"
    assert function.__self__ is _folioscan


def test_second_import_returns_the_cached_module():
    import importlib

    assert importlib.import_module("folioscan._folioscan") is _folioscan


# ---------------------------------------------------------------- argument binding


def test_missing_data_is_reported_with_the_function_name(function):
    with pytest.raises(TypeError) as info:
        function()
    assert str(info.value) == f"{function.__name__}() missing 1 required positional argument: 'data'"
    with pytest.raises(TypeError) as info:
        function(password="x")
    assert str(info.value) == f"{function.__name__}() missing 1 required positional argument: 'data'"


@pytest.mark.parametrize("count", [3, 5])
def test_too_many_positional_arguments(function, count):
    with pytest.raises(TypeError) as info:
        function(*([b""] * count))
    assert str(info.value) == (
        f"{function.__name__}() takes from 1 to 2 positional arguments but {count} were given"
    )


def test_unknown_keyword_is_named(function):
    with pytest.raises(TypeError) as info:
        function(b"", pwd="x")
    assert str(info.value) == f"{function.__name__}() got an unexpected keyword argument 'pwd'"


@pytest.mark.parametrize(
    "args, kwargs, parameter",
    [((b"",), {"data": b""}, "data"), ((b"", None), {"password": None}, "password")],
)
def test_argument_given_twice_is_named(function, args, kwargs, parameter):
    with pytest.raises(TypeError) as info:
        function(*args, **kwargs)
    assert str(info.value) == f"{function.__name__}() got multiple values for argument '{parameter}'"


class Named:
    class Inner:
        pass


@pytest.mark.parametrize(
    "data, qualname",
    [
        (bytearray(b"%PDF-1.7"), "bytearray"),
        (memoryview(b"%PDF-1.7"), "memoryview"),
        ("%PDF-1.7", "str"),
        (None, "NoneType"),
        (7, "int"),
        (Named.Inner(), "Named.Inner"),
    ],
)
def test_data_that_is_not_bytes_is_refused(function, data, qualname):
    with pytest.raises(TypeError) as info:
        function(data)
    assert str(info.value) == f"argument 'data': '{qualname}' object cannot be converted to 'PyBytes'"


@pytest.mark.parametrize("password, qualname", [(b"pw", "bytes"), (1, "int"), (["pw"], "list")])
def test_password_that_is_not_str_is_refused(function, password, qualname):
    with pytest.raises(TypeError) as info:
        function(b"", password)
    assert str(info.value) == (
        f"argument 'password': '{qualname}' object cannot be converted to 'PyString'"
    )


def test_wrong_data_is_reported_before_wrong_password(function):
    with pytest.raises(TypeError, match="^argument 'data': 'bytearray'"):
        function(bytearray(), b"pw")


def test_bytes_and_str_subclasses_are_accepted(function):
    class Data(bytes):
        pass

    class Password(str):
        pass

    for data in (Data(b""), Data(HEADER_ONLY)):
        result = outcome(function, data, Password("secret"))
        assert result[:2] != ("raised", TypeError), result
    assert outcome(function, Data(b""), Password("")) == ("raised", ValueError, NO_HEADER)


def test_absent_none_and_empty_password_behave_alike(function):
    for data in (b"", HEADER_ONLY):
        omitted = outcome(function, data)
        assert outcome(function, data, None) == omitted
        assert outcome(function, data, "") == omitted
        assert outcome(function, data, password=None) == omitted
        assert outcome(function, data=data, password="") == omitted


def test_lone_surrogate_password_raises_the_encoding_error(function):
    with pytest.raises(UnicodeEncodeError):
        function(b"", "pass\udc80word")


def test_data_buffer_is_left_unchanged(function):
    data = b"%PDF-1.4 not really"
    copy = bytes(bytearray(data))
    outcome(function, data, "pw")
    assert data == copy


# ---------------------------------------------------------------- parse errors


def test_parse_error_is_exactly_value_error_with_display_text(function):
    with pytest.raises(ValueError) as info:
        function(b"")
    assert type(info.value) is ValueError
    assert info.value.args == (NO_HEADER,)


def test_text_without_header_is_invalid_header(function):
    with pytest.raises(ValueError, match="^InvalidHeader: no %PDF- header$"):
        function(b"Hello, world\n" * 10)


# ---------------------------------------------------------------- initialisation


def test_second_initialisation_in_the_process_raises_import_error():
    # Loading the same file under another module name bypasses the import cache
    # and calls the initialisation entry a second time.
    script = textwrap.dedent(
        """
        import importlib.machinery, importlib.util, sys
        import folioscan._folioscan as first
        loader = importlib.machinery.ExtensionFileLoader("_folioscan", first.__file__)
        spec = importlib.util.spec_from_file_location("_folioscan", first.__file__, loader=loader)
        try:
            importlib.util.module_from_spec(spec)
        except ImportError as error:
            print("ImportError:", error)
        else:
            print("loaded twice")
        del sys.modules["folioscan._folioscan"]
        try:
            import folioscan._folioscan
        except ImportError as error:
            print("ImportError:", error)
        else:
            print("reimported")
        """
    )
    result = subprocess.run(
        [sys.executable, "-c", script], capture_output=True, text=True, check=True, timeout=60
    )
    lines = result.stdout.splitlines()
    assert len(lines) == 2, result.stdout
    for line in lines:
        assert line.startswith("ImportError: ") and "only be initialised once" in line


# ---------------------------------------------------------------- command line


def run_cli(*args: str, cwd: Path | None = None) -> subprocess.CompletedProcess:
    return subprocess.run(
        [sys.executable, "-m", "folioscan", *args],
        capture_output=True,
        text=True,
        timeout=60,
        cwd=cwd,
    )


@pytest.mark.parametrize(
    "args", [[], ["a.pdf", "--format", "pdf"], ["a.pdf", "b.pdf"], ["a.pdf", "--bogus"]]
)
def test_cli_usage_error_exits_2(args):
    result = run_cli(*args)
    assert result.returncode == 2
    assert result.stdout == ""
    assert "usage: folioscan" in result.stderr


@pytest.mark.parametrize("output_format", ["markdown", "json", "html"])
def test_cli_parse_error_is_one_line_and_exit_1(tmp_path, output_format):
    path = tmp_path / "notes.txt"
    path.write_bytes(b"not a pdf")
    out = tmp_path / "out.txt"
    result = run_cli(str(path), "--strict", "--format", output_format, "-o", str(out))
    assert result.returncode == 1
    assert result.stdout == ""
    assert result.stderr == f"folioscan: {path}: {NO_HEADER}\n"
    assert not out.exists()


def test_cli_unreadable_file_is_one_line_and_exit_1(tmp_path):
    missing = tmp_path / "missing.pdf"
    result = run_cli(str(missing))
    assert result.returncode == 1
    assert result.stderr == f"folioscan: {missing}: No such file or directory\n"

    # A folder is a batch input now: without --out-dir it is a usage mistake.
    result = run_cli(str(tmp_path))
    assert result.returncode == 2
    assert result.stderr.endswith(f"folioscan: error: {tmp_path} is a folder: use --out-dir\n")


def test_cli_main_returns_the_exit_status(tmp_path, capsys):
    from folioscan.__main__ import main

    path = tmp_path / "empty.pdf"
    path.write_bytes(b"")
    assert main([str(path), "--strict", "--password", "pw"]) == 1
    captured = capsys.readouterr()
    assert captured.out == ""
    assert captured.err == f"folioscan: {path}: {NO_HEADER}\n"


def test_cli_writes_out_file_exactly_and_stdout_with_final_line_feed(tmp_path, capsysbinary):
    from folioscan.__main__ import write_text

    out = tmp_path / "out.md"
    assert write_text("caf\u00e9 \u2014 a", str(out)) is None
    assert out.read_bytes() == "caf\u00e9 \u2014 a".encode()
    assert write_text("x", None) is None
    assert write_text("y\n", None) is None
    assert capsysbinary.readouterr().out == b"x\ny\n"

    failure = write_text("z", str(tmp_path / "no-such-dir" / "out.md"))
    assert failure is not None and failure.line().endswith(": No such file or directory")
