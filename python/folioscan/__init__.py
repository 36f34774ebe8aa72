"""Text, table and image extraction from PDF files, with a native C++ core.

Four functions share one parser and differ only in the form of the result:
``parse`` returns a dict, ``parse_to_json`` pretty JSON, ``parse_to_html`` a
standalone HTML document and ``parse_to_markdown`` Markdown. Each takes
``(data, password=None)`` with ``data`` the bytes of a PDF file.

``extract(data, password=None, *, format="dict", strict=False)`` reads damaged
files too: it repairs what the strict reading of the four functions refuses and
reports each repair under "warnings"; ``strict=True`` gives the four functions'
results exactly.

Beside them, ``parse_file(path, password=None, format="dict")`` reads and parses
one file, and ``parse_files(paths, password=None, format="dict", jobs=None)``
parses many in worker processes, or on any ``concurrent.futures.Executor`` given
as ``executor=`` (a Dask cluster's, for one), yielding ``(path, result or
exception)`` in input order (see ``folioscan.batch``).

``chunks(data, password=None, *, max_chars=2000, strict=False)`` yields the pieces of a
file for a retrieval index, each with its page, box and heading path (see
``folioscan.chunking``); ``folioscan.langchain`` holds LangChain document loaders.
"""

from importlib import metadata as _metadata

from ._folioscan import parse, parse_to_html, parse_to_json, parse_to_markdown
from .extraction import extract as extract
from .batch import parse_file as parse_file, parse_files as parse_files
from .chunking import chunks as chunks

# Only the four native functions: the file and chunk helpers are reachable by name
# but stay out of star imports.
__all__ = ["parse", "parse_to_json", "parse_to_html", "parse_to_markdown"]

try:
    __version__: str = _metadata.version("folioscan")
except _metadata.PackageNotFoundError:  # running from a source tree
    __version__ = "0.1.0"
