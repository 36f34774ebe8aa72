"""folioscan.langchain against the real langchain-core: page and single modes, their
metadata, repairs and passwords, several files through the pool in order, the blob
parser, and each page's Markdown as its slice of the document's."""

from __future__ import annotations

import logging
import zlib
from pathlib import Path

import pytest

import folioscan
from folioscan.extraction import extract_pages
from pdfgen import stream_object, text_pdf

langchain_core = pytest.importorskip("langchain_core")
from langchain_core.document_loaders import BaseBlobParser, BaseLoader  # noqa: E402
from langchain_core.documents import Document  # noqa: E402
from langchain_core.documents.base import Blob  # noqa: E402

from folioscan.langchain import FolioscanLoader, FolioscanParser  # noqa: E402

ROOT = Path(__file__).resolve().parents[2]
ENCRYPTED = ROOT / "tests" / "fixtures" / "crypt" / "r4_aes_128.pdf"  # user password "userpw"
SEPARATOR = "\n\n---\n\n"


def shown(*lines: str) -> str:
    return "BT /F1 12 Tf 72 700 Td 14 TL " + " ".join(f"({line}) '" for line in lines) + " ET"


def document(*pages: tuple[str, ...], cut_second: bool = False) -> bytes:
    """One page per tuple of lines; with `cut_second` the second page's Flate stream is
    cut short, which recovery reads up to the fault and reports."""
    pdf = text_pdf([shown(*lines) for lines in pages])
    if cut_second:
        packed = zlib.compress(shown(*pages[1]).encode() + b" 0 0 m 1 1 l S")[:-6]
        pdf.add(201, f"<</Filter /FlateDecode /Length {len(packed)}>>\nstream\n".encode() + packed + b"\nendstream")
    return pdf.build()


@pytest.fixture
def files(tmp_path: Path) -> dict[str, Path]:
    made = {"two.pdf": document(("Alpha", "beta"), ("Gamma",)), "one.pdf": document(("Solo",)),
            "cut.pdf": document(("Intact",), ("Cut short",), cut_second=True), "junk.pdf": b"junk"}
    for name, data in made.items():
        (tmp_path / name).write_bytes(data)
    (tmp_path / "locked.pdf").write_bytes(ENCRYPTED.read_bytes())
    return {name: tmp_path / name for name in [*made, "locked.pdf"]}


def test_page_and_single_modes_give_markdown_or_text_with_their_metadata(files):
    path = files["two.pdf"]
    docs = FolioscanLoader(path).load()
    assert all(type(doc) is Document for doc in docs) and isinstance(FolioscanLoader(path), BaseLoader)
    whole = folioscan.extract(path.read_bytes(), format="markdown")
    assert [doc.page_content for doc in docs] == whole.split(SEPARATOR)
    assert [doc.metadata for doc in docs] == [
        {"source": str(path), "page": index, "total_pages": 2, "width": 612.0, "height": 792.0, "needs_ocr": False}
        for index in range(2)
    ]
    assert [doc.page_content for doc in FolioscanLoader(str(path), format="text").load()] == ["Alpha\nbeta", "Gamma"]
    [single] = FolioscanLoader(path, mode="single", format="text").load()
    assert single.page_content == "Alpha\nbeta\n\nGamma"
    assert single.metadata == {"source": str(path), "total_pages": 2, "needs_ocr": False}


def test_a_repaired_page_carries_its_warning_and_strict_refuses_the_file(files, caplog):
    docs = FolioscanLoader(files["cut.pdf"]).load()
    assert [doc.page_content for doc in docs] == ["Intact", "Cut short"]
    assert "warnings" not in docs[0].metadata
    assert docs[1].metadata["warnings"] == [{"page": 1, "message": "BadStream: corrupt DEFLATE data"}]
    [single] = FolioscanLoader(files["cut.pdf"], mode="single").load()
    assert single.metadata["warnings"] == docs[1].metadata["warnings"]
    # A repair of the whole file (its cross-reference table rebuilt) is on every page.
    whole = files["two.pdf"].read_bytes()
    rebuilt = FolioscanParser().parse(Blob.from_data(whole[: whole.rindex(b"xref")]))
    assert [doc.metadata["warnings"][0]["page"] for doc in rebuilt] == [None, None]

    with caplog.at_level(logging.WARNING, logger="folioscan.langchain"):
        assert FolioscanLoader(files["cut.pdf"], strict=True).load() == []
    assert [r.getMessage() for r in caplog.records] == [
        f"folioscan could not load {files['cut.pdf']}: BadStream: corrupt DEFLATE data"]
    with pytest.raises(ValueError, match="^BadStream: corrupt DEFLATE data$"):
        FolioscanLoader(files["cut.pdf"], strict=True, errors="raise").load()


def test_an_encrypted_file_loads_with_its_password_only(files):
    [doc] = FolioscanLoader(files["locked.pdf"], password="userpw").load()
    assert doc.page_content == "Hello encrypted world"
    with pytest.raises(ValueError, match="^InvalidPassword: wrong password$"):
        FolioscanLoader(files["locked.pdf"], errors="raise").load()
    assert FolioscanLoader(files["locked.pdf"]).load() == []


@pytest.mark.parametrize("jobs", [1, 2])
def test_several_files_come_in_input_order_and_a_broken_one_is_logged_once(files, jobs, caplog):
    paths = [files["two.pdf"], files["junk.pdf"], files["one.pdf"], files["two.pdf"]]
    with caplog.at_level(logging.WARNING, logger="folioscan.langchain"):
        docs = list(FolioscanLoader(paths, jobs=jobs).lazy_load())
    assert [(Path(d.metadata["source"]).name, d.metadata["page"]) for d in docs] == [
        ("two.pdf", 0), ("two.pdf", 1), ("one.pdf", 0), ("two.pdf", 0), ("two.pdf", 1)]
    assert [r.getMessage() for r in caplog.records] == [
        f"folioscan could not load {files['junk.pdf']}: InvalidXref: no objects found"]
    with pytest.raises(ValueError, match="^InvalidXref: no objects found$"):
        FolioscanLoader(paths, jobs=jobs, errors="raise").load()


def test_the_blob_parser_reads_bytes_and_paths_like_the_loader(files):
    parser = FolioscanParser(mode="single")
    assert isinstance(parser, BaseBlobParser)
    [from_path] = parser.parse(Blob.from_path(files["two.pdf"]))
    assert from_path == FolioscanLoader(files["two.pdf"], mode="single").load()[0]
    [from_data] = parser.parse(Blob.from_data(files["one.pdf"].read_bytes(), metadata={"source": "s3://b/one.pdf"}))
    assert (from_data.page_content, from_data.metadata["source"]) == ("Solo", "s3://b/one.pdf")
    with pytest.raises(ValueError, match="^InvalidPassword: wrong password$"):
        list(FolioscanParser().lazy_parse(Blob.from_path(files["locked.pdf"])))


def test_the_loader_checks_its_arguments_when_made():
    with pytest.raises(ValueError, match=r"argument 'mode' must be one of 'page', 'single', not 'pages'$"):
        FolioscanLoader("a.pdf", mode="pages")
    with pytest.raises(TypeError, match=r"^FolioscanLoader\(\) argument 'format' must be str, not int$"):
        FolioscanLoader("a.pdf", format=1)


def markdown_cases() -> list[tuple[bytes, str | None]]:
    """Shipped fixtures and made pages: text, a ruled table, a scanned page, an empty
    page, pages whose lines include empty ones, and a repaired stream."""
    image = stream_object({"Type": "/XObject", "Subtype": "/Image", "Width": "1", "Height": "1",
                           "ColorSpace": "/DeviceGray", "BitsPerComponent": "8"}, b"\x00")
    scanned = text_pdf(["q 9 0 0 9 0 0 cm /Im0 Do Q", shown("After the scan"), ""],
                       resources_extra="/XObject <</Im0 30 0 R>>", extra_objects={30: image}).build()
    ruled = text_pdf([shown("Prices", "a b") + " 72 600 m 300 600 l 72 640 m 300 640 l 72 680 m 300 680 l "
                      "72 600 m 72 680 l 186 600 m 186 680 l 300 600 m 300 680 l S"]).build()
    made = [scanned, ruled, document(("one", "", "---", "", "two"), ("three",)),
            document(("Intact",), ("Cut short",), cut_second=True)]
    shipped = [(path.read_bytes(), "userpw") for path in sorted((ROOT / "tests" / "fixtures").glob("**/*.pdf"))]
    return [(data, None) for data in made] + shipped + [((ROOT / "examples" / "sample.pdf").read_bytes(), None)]


@pytest.mark.parametrize("strict", [False, True])
def test_each_pages_markdown_is_its_slice_of_the_document_markdown(strict):
    compared = 0
    for data, password in markdown_cases():
        try:
            whole = folioscan.extract(data, password, format="markdown", strict=strict)
        except ValueError:
            continue
        document, pages = extract_pages(data, password, strict=strict)
        assert SEPARATOR.join(pages) == whole and len(pages) == len(document["pages"])
        assert document == folioscan.extract(data, password, strict=strict)
        compared += 1
    assert compared >= 15
