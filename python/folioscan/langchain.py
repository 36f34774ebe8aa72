"""LangChain document loaders: ``FolioscanLoader`` reads PDF files by path and
``FolioscanParser`` reads blobs (for ``GenericLoader`` and the other blob loaders).

Each page becomes a ``Document`` whose content is the page's Markdown, the part of
``extract(format="markdown")`` that the page contributes, or its plain text (its lines
joined by line feeds), with the page's place, size and repairs in the metadata; in
"single" mode each file is one ``Document``. Needs langchain-core (``pip install
'folioscan[langchain]'``); ``import folioscan`` does not import this module.
"""

from __future__ import annotations

import logging
import os
from collections.abc import Iterable, Iterator
from contextlib import closing
from dataclasses import dataclass
from functools import partial
from typing import Any, Literal

from langchain_core.document_loaders import BaseBlobParser, BaseLoader
from langchain_core.documents import Document
from langchain_core.documents.base import Blob

from .batch import StrOrBytesPath, WorkItem, check_password, resolve_jobs, run_items
from .extraction import check_strict, extract, extract_pages

__all__ = ["FolioscanLoader", "FolioscanParser"]

logger = logging.getLogger(__name__)

Mode = Literal["page", "single"]
ContentFormat = Literal["markdown", "text"]
Errors = Literal["warn", "raise"]
MODES = ("page", "single")
FORMATS = ("markdown", "text")
ERRORS = ("warn", "raise")
# The pages of one file in "single" mode are joined by a blank line.
PAGE_JOINER = "\n\n"


def _choice(function: str, name: str, value: object, choices: tuple[str, ...]) -> str:
    if not isinstance(value, str):
        raise TypeError(f"{function}() argument '{name}' must be str, not {type(value).__name__}")
    if value not in choices:
        listed = ", ".join(repr(choice) for choice in choices)
        raise ValueError(f"{function}() argument '{name}' must be one of {listed}, not {value!r}")
    return value


@dataclass(frozen=True)
class _Reading:
    """How a PDF is read and made into Documents, for the loader and the parser alike."""

    password: str | None
    mode: str
    format: str
    strict: bool

    @classmethod
    def checked(cls, function: str, password: object, mode: object, format: object, strict: object) -> _Reading:
        check_password(password)  # type: ignore[arg-type]
        return cls(
            password,  # type: ignore[arg-type]
            _choice(function, "mode", mode, MODES),
            _choice(function, "format", format, FORMATS),
            check_strict(function, strict),
        )

    def read(self, data: bytes) -> tuple[dict[str, Any], list[str] | None]:
        """The document dict, and each page's Markdown when that is the content."""
        if self.format == "markdown":
            return extract_pages(data, self.password, strict=self.strict)
        return extract(data, self.password, strict=self.strict), None

    def work_item(self) -> partial[WorkItem]:
        """The work of one file for the pool: what `read` returns, made in a worker."""
        return partial(WorkItem, password=self.password, format="dict", strict=self.strict,
                       pages=self.format == "markdown")

    def result(self, value: Any) -> tuple[dict[str, Any], list[str] | None]:
        return value if self.format == "markdown" else (value, None)

    def documents(self, source: str | None, document: dict[str, Any], markdown: list[str] | None) -> Iterator[Document]:
        pages = document["pages"]
        if markdown is None:
            contents = ["\n".join(line["text"] for line in page["lines"]) for page in pages]
        else:
            contents = markdown
        warnings = document.get("warnings", [])
        if self.mode == "single":
            metadata: dict[str, Any] = {
                "source": source,
                "total_pages": len(pages),
                "needs_ocr": any(page["needs_ocr"] for page in pages),
            }
            if warnings:
                metadata["warnings"] = list(warnings)
            yield Document(page_content=PAGE_JOINER.join(contents), metadata=metadata)
            return
        # A page's Document lists the repairs made to it and those made to the whole
        # file (page None), which every page was read through.
        by_page: dict[int | None, list[dict[str, Any]]] = {}
        for warning in warnings:
            by_page.setdefault(warning["page"], []).append(warning)
        whole = by_page.get(None, [])
        for index, (page, content) in enumerate(zip(pages, contents)):
            metadata = {
                "source": source,
                "page": index,
                "total_pages": len(pages),
                "width": page["width"],
                "height": page["height"],
                "needs_ocr": page["needs_ocr"],
            }
            repaired = whole + by_page.get(index, [])
            if repaired:
                metadata["warnings"] = repaired
            yield Document(page_content=content, metadata=metadata)


class FolioscanLoader(BaseLoader):
    """Loads PDF files as LangChain Documents, one per page (``mode="page"``) or one per
    file (``mode="single"``, pages joined by a blank line).

    ``file_path`` is one path or an iterable of paths. Content is each page's Markdown
    (``format="markdown"``) or plain text (``format="text"``). Files are read as
    ``folioscan.extract`` reads them, repairing what it can (the repairs listed under
    "warnings" in the metadata); ``strict=True`` reads them as ``folioscan.parse`` does.

    Page metadata: "source" (the path), "page" (from 0), "total_pages", "width" and
    "height" (PDF units), "needs_ocr", and "warnings" (``{"page", "message"}`` dicts,
    "page" None for a repair of the whole file) when the page or its file was repaired.
    A file's metadata in "single" mode has "source", "total_pages", "needs_ocr" (true if
    any page needs OCR) and its "warnings".

    Several paths are parsed by ``jobs`` worker processes (default: one per CPU), as
    ``folioscan.parse_files`` parses them, and their Documents come in input order. A
    file that cannot be read or parsed gives no Document and one logged warning (logger
    "folioscan.langchain"), or with ``errors="raise"`` its ValueError or OSError ends
    the loading.
    """

    def __init__(
        self,
        file_path: StrOrBytesPath | Iterable[StrOrBytesPath],
        *,
        password: str | None = None,
        mode: Mode = "page",
        format: ContentFormat = "markdown",
        strict: bool = False,
        jobs: int | None = None,
        errors: Errors = "warn",
    ) -> None:
        self.reading = _Reading.checked("FolioscanLoader", password, mode, format, strict)
        if isinstance(file_path, (str, bytes, os.PathLike)):
            self.file_paths: list[StrOrBytesPath] = [file_path]
        else:
            self.file_paths = list(file_path)
        self.jobs = resolve_jobs(jobs)
        self.errors = _choice("FolioscanLoader", "errors", errors, ERRORS)

    def lazy_load(self) -> Iterator[Document]:
        results = run_items(self.file_paths, self.reading.work_item(), self.jobs)
        with closing(results):  # type: ignore[type-var]  # a generator: stopping early stops the pool
            for path, result in results:
                source = os.fsdecode(path)
                if isinstance(result, Exception):
                    if self.errors == "raise":
                        raise result
                    logger.warning("folioscan could not load %s: %s", source, result)
                    continue
                yield from self.reading.documents(source, *self.reading.result(result))


class FolioscanParser(BaseBlobParser):
    """Parses PDF blobs into Documents as ``FolioscanLoader`` does files (same modes,
    formats and metadata, "source" being the blob's source); a blob that cannot be
    parsed raises its ValueError."""

    def __init__(
        self,
        *,
        password: str | None = None,
        mode: Mode = "page",
        format: ContentFormat = "markdown",
        strict: bool = False,
    ) -> None:
        self.reading = _Reading.checked("FolioscanParser", password, mode, format, strict)

    def lazy_parse(self, blob: Blob) -> Iterator[Document]:
        document, markdown = self.reading.read(blob.as_bytes())
        yield from self.reading.documents(blob.source, document, markdown)
