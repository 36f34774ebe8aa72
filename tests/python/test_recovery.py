"""folioscan.extract and the recovering command line: argument checks, warnings in the
dict and JSON only, encryption the strict reading leaves out, threads, and the CLI's
warnings. Damaged files are covered by the core's recovery tests, and strict=True
against the four functions by the corpus test."""

from __future__ import annotations

import json
import subprocess
import sys
from concurrent.futures import ThreadPoolExecutor
from pathlib import Path

import pytest

import folioscan
from pdfgen import HELVETICA, stream_object, text_document, text_pdf

ROOT = Path(__file__).resolve().parents[2]
CRYPT = ROOT / "tests" / "fixtures" / "crypt"
SAMPLE = (ROOT / "examples" / "sample.pdf").read_bytes()

def pages(*texts: str) -> bytes:
    return text_document([f"BT /F1 12 Tf 72 700 Td ({text}) Tj ET" for text in texts])


def damaged() -> dict[str, bytes]:
    good = pages("Alpha", "Beta")
    cut = good.rindex(b"xref")
    return {
        "no cross-reference table": good[:cut],
        "garbage before the header": b"\x00junk" * 400 + good,
        "startxref pointing nowhere": good[: good.rindex(b"startxref")] + b"startxref\n5\n%%EOF\n",
    }


@pytest.mark.parametrize(
    "call, error, text",
    [
        (lambda: folioscan.extract(SAMPLE, format=1), TypeError, "extract() argument 'format' must be str, not int"),
        (lambda: folioscan.extract(SAMPLE, format="xml"), ValueError,
         "extract() argument 'format' must be one of 'dict', 'json', 'html', 'markdown', not 'xml'"),
        (lambda: folioscan.extract(SAMPLE, strict=1), TypeError, "extract() argument 'strict' must be bool, not int"),
        (lambda: folioscan.extract(bytearray(SAMPLE)), TypeError,
         "argument 'data': 'bytearray' object cannot be converted to 'PyBytes'"),
        (lambda: folioscan.extract(SAMPLE, 5), TypeError,
         "argument 'password': 'int' object cannot be converted to 'PyString'"),
        (lambda: folioscan.extract(SAMPLE, None, "json"), TypeError,
         "extract() takes from 1 to 2 positional arguments but 3 were given"),
        (lambda: folioscan.extract(b"not a pdf at all"), ValueError, "InvalidXref: no objects found"),
    ],
)
def test_argument_and_input_errors(call, error, text):
    with pytest.raises(error) as raised:
        call()
    assert type(raised.value) is error and str(raised.value) == text


def test_a_sound_file_reads_as_strict_with_an_empty_warning_list():
    recovered = folioscan.extract(SAMPLE)
    assert list(recovered) == ["version", "pages", "warnings"]
    assert recovered["warnings"] == []
    # Beside the strict reading's members, each page has its blocks after its lines; the
    # ruled table's rows leave the lines and the table has its box.
    assert all(list(page)[3] == "blocks" for page in recovered["pages"])
    strict = folioscan.parse(SAMPLE)
    for mine, theirs in zip(recovered["pages"], strict["pages"], strict=True):
        rows = {" ".join(row) for table in theirs["tables"] for row in table["cells"]}
        assert mine["lines"] == [line for line in theirs["lines"] if line["text"] not in rows]
        assert [{k: v for k, v in t.items() if k != "bbox"} for t in mine["tables"]] == theirs["tables"]
        assert {k: v for k, v in mine.items() if k not in ("lines", "tables", "blocks")} == {
            k: v for k, v in theirs.items() if k not in ("lines", "tables")}
    as_json = json.loads(folioscan.extract(SAMPLE, format="json"))
    assert list(as_json) == ["version", "pages", "warnings"] and as_json["warnings"] == []
    assert "warnings" not in folioscan.parse_to_json(SAMPLE)
    assert '"blocks"' not in folioscan.parse_to_json(SAMPLE)
    # Markdown and HTML leave the warnings out and write the blocks: headings marked,
    # the table where it is drawn.
    markdown = folioscan.extract(SAMPLE, format="markdown")
    assert markdown.startswith("# Quarterly sales report\n\n") and "\n# Appendix\n" in markdown
    assert "year.\n\n| Region | Quarter | Units | Revenue |" in markdown
    assert "| West | Q2 | 1,112 | 44,480 |\n\nAll figures" in markdown
    html = folioscan.extract(SAMPLE, format="html")
    assert "<h1>Quarterly sales report</h1>" in html and "<h1>" not in folioscan.parse_to_html(SAMPLE)
    assert "<td>Region</td>" in html


@pytest.mark.parametrize("name", ["r5_aes_256", "r4_aes_128_clear_metadata", "r4_rc4_128_clear_metadata"])
def test_encryption_the_strict_reading_leaves_out(name):
    data = (CRYPT / f"{name}.pdf").read_bytes()
    for password in ("userpw", "ownerpw"):
        assert folioscan.extract(data, password, format="markdown") == "Hello encrypted world"
    with pytest.raises(ValueError, match="^InvalidPassword: wrong password$"):
        folioscan.extract(data, "wrong")
    # The strict reading passes wrong data through instead.
    assert folioscan.parse_to_markdown(data, "userpw") != "Hello encrypted world"


def test_threads_give_the_results_of_one_thread():
    inputs = [SAMPLE, *damaged().values(), pages("a", "b", "c"), b"junk"] * 4

    def outcome(data: bytes):
        try:
            return folioscan.extract(data, format="json")
        except ValueError as error:
            return "ValueError: " + str(error)

    alone = [outcome(data) for data in inputs]
    with ThreadPoolExecutor(max_workers=4) as pool:
        assert list(pool.map(outcome, inputs)) == alone


def test_parse_file_and_parse_files_take_strict(tmp_path):
    path = tmp_path / "cut.pdf"
    path.write_bytes(damaged()["no cross-reference table"])
    with pytest.raises(ValueError):
        folioscan.parse_file(path)
    assert folioscan.parse_file(path, strict=False)["warnings"]
    [(_, result)] = folioscan.parse_files([path], jobs=1, strict=False)
    assert result["pages"][1]["lines"][0]["text"] == "Beta"
    with pytest.raises(TypeError, match="^strict must be bool, not str$"):
        folioscan.parse_files([path], strict="no")


def test_cli_repairs_by_default_and_reports_warnings(tmp_path):
    library = tmp_path / "in"
    library.mkdir()
    (library / "good.pdf").write_bytes(pages("Good"))
    (library / "cut.pdf").write_bytes(damaged()["no cross-reference table"])
    (library / "junk.pdf").write_bytes(b"junk")
    report = tmp_path / "report.jsonl"

    def run(*extra: str) -> subprocess.CompletedProcess:
        return subprocess.run([sys.executable, "-m", "folioscan", str(library), "--out-dir", str(tmp_path / "out"),
                               "--errors", str(report), "--jobs", "1", *extra],
                              capture_output=True, text=True, timeout=120)

    done = run()
    assert done.returncode == 1  # the junk file still fails
    assert ", 1 failed, 1 warning, " in done.stderr
    assert (tmp_path / "out" / "cut.md").read_text() == "Alpha\n\n---\n\nBeta"
    records = [json.loads(line) for line in report.read_text().splitlines()]
    assert [r["kind"] for r in records] == ["InvalidXref", "warning"]
    assert records[1]["path"].endswith("cut.pdf") and records[1]["page"] is None

    strict = run("--strict")
    assert ", 2 failed, " in strict.stderr and "warning" not in strict.stderr
    assert all(json.loads(line)["kind"] != "warning" for line in report.read_text().splitlines())


def test_text_in_forms_appearances_and_replacement_text_is_extracted_only_when_recovering() -> None:
    # A page wrapped in a form whose font comes from the form's own resources, a filled-in
    # field's appearance, a ligature with its replacement text, and a clip rectangle.
    data = text_document(
        ["0 0 612 792 re W n /Page Do BT /F1 12 Tf 72 600 Td /Span <</ActualText (fi)>> BDC <01> Tj EMC ET"],
        page_extra="/Annots [40 0 R]",
        resources_extra="/XObject <</Page 41 0 R>>",
        extra_objects={
            40: "<</Type/Annot /Subtype/Widget /Rect [72 500 272 520] /AP <</N 42 0 R>>>>",
            41: stream_object({"Subtype": "/Form", "BBox": "[0 0 612 792]", "Matrix": "[1 0 0 1 0 100]",
                               "Resources": "<</Font <</G 11 0 R>>>>"}, b"BT /G 12 Tf 72 600 Td (Wrapped) Tj ET"),
            11: HELVETICA,
            42: stream_object({"Subtype": "/Form", "BBox": "[0 0 200 20]", "Resources": "<</Font <</G 11 0 R>>>>"},
                              b"BT /G 10 Tf 2 5 Td (Filled in) Tj ET"),
        },
    )
    strict = folioscan.parse(data)["pages"][0]
    assert [line["text"] for line in strict["lines"]] == ["\x01"]
    assert len(strict["tables"]) == 1  # the clip rectangle, as the strict rules have it
    page = folioscan.extract(data)["pages"][0]
    assert [(line["text"], line["y"]) for line in page["lines"]] == [("Wrapped", 700.0), ("fi", 600.0),
                                                                      ("Filled in", 505.0)]
    assert page["tables"] == []


# --- encryption dictionaries recovery cannot use, or reads leniently ------------------------


def clear_text_under(encrypt: str) -> bytes:
    pdf = text_pdf(["BT /F1 12 Tf 72 700 Td (clear text) Tj ET"])
    pdf.add(9, encrypt)
    pdf.trailer_extra = b"/Encrypt 9 0 R"
    return pdf.build()


R6_EMPTY_USER = (
    "/Filter/Standard /V 5 /R 6 /P -4 "
    "/O <615c22b369289ef4ae93060e465cf82cf8c6a6ba18b18c1d1e785c46875784fff6d2c93e608678c121fb52c102f03b36> "
    "/U <4c24a2f0aa4aa17307529796f5b4cff9bf4eb1b82274ffab6b087eb2fd91e85c0d36fc174af06f6c15a342ff0d3e395e>"
)


@pytest.mark.parametrize(
    "encrypt, why",
    [
        ("<</Filter/Standard /V 2 /R 3 /Length 100000000000000000 /P -4 /O <00> /U <00>>>",
         "/Length gives no key of 1 to 16 bytes"),
        (f"<<{R6_EMPTY_USER} /UE <{'41' * 48}>>>", "/UE gives no 32-byte file key"),
        ("<</Filter/FooSecurity>>", "/Filter is not /Standard"),
    ],
)
def test_an_unusable_encryption_dictionary_is_a_warning(encrypt, why):
    data = clear_text_under(encrypt)
    recovered = folioscan.extract(data)
    assert recovered["pages"][0]["lines"][0]["text"] == "clear text"
    assert [w["message"] for w in recovered["warnings"]] == ["Unsupported: unusable encryption dictionary: " + why]
    # The strict reading has no handler and says nothing.
    assert folioscan.parse_to_markdown(data) == "clear text"


@pytest.mark.parametrize("flag", [b"(false)", b"/false"])
def test_encrypt_metadata_that_is_not_a_boolean_is_taken_as_absent(flag):
    data = (CRYPT / "r4_rc4_128_clear_metadata.pdf").read_bytes()
    assert b"/EncryptMetadata false " in data
    data = data.replace(b"/EncryptMetadata false ", b"/EncryptMetadata" + flag.ljust(6), 1)
    recovered = folioscan.extract(data, "userpw")
    assert folioscan.extract(data, "userpw", format="markdown") == "Hello encrypted world"
    assert "Unsupported: /EncryptMetadata is not a boolean: taken as absent" in [w["message"] for w in recovered["warnings"]]


# --- rebuilt tables keep the document's own objects -----------------------------------------


def without_table(data: bytes) -> bytes:
    """The file up to its cross-reference table: no table, no trailer, no startxref."""
    return data[: data.rindex(b"\nxref") + 1]


def the_document() -> bytes:
    return without_table(text_document(["BT /F1 12 Tf 72 700 Td (the document) Tj ET"]))


def after_stream(file: bytes, length: str, data: bytes, length_object: bytes = b"") -> bytes:
    """`file` followed by stream 50 holding `data` under /Length `length`, then the
    objects in `length_object`: a scan of the file passes over the data."""
    return (file + f"50 0 obj\n<</Type/EmbeddedFile /Length {length}>>\nstream\n".encode() + data
            + b"\nendstream\nendobj\n" + length_object)


ATTACHMENT = text_document(["BT /F1 12 Tf 72 700 Td (the attachment) Tj ET"])
CATALOG_IN_DATA = b"7 0 obj\n<</Type/Catalog /Pages 8 0 R>>\nendobj\n8 0 obj\n<</Type/Pages /Kids [] /Count 0>>\nendobj"


@pytest.mark.parametrize(
    "file",
    [
        # An attached PDF with the same object numbers, its /Length an object written
        # after the stream.
        after_stream(the_document(), "51 0 R", ATTACHMENT, f"51 0 obj\n{len(ATTACHMENT)}\nendobj\n".encode()),
        # A catalog inside stream data whose /Length names no object: the data run to
        # "endstream".
        after_stream(the_document(), "99 0 R", CATALOG_IN_DATA),
        # The same behind a direct /Length that is wrong.
        after_stream(the_document(), "5", CATALOG_IN_DATA),
    ],
    ids=["attached pdf, indirect length", "catalog in data, length unreadable", "catalog in data, wrong length"],
)
def test_objects_inside_stream_data_never_replace_the_documents(file):
    recovered = folioscan.extract(file)
    assert [p["lines"][0]["text"] for p in recovered["pages"]] == ["the document"]


def page_behind_a_cycle_of_object_streams() -> bytes:
    """A cross-reference stream whose /Root entry points at object 2 (so the table is
    rebuilt) and whose entry for the page points into object stream 20, stored
    in 21, stored in 20; the page itself is written in the file."""
    objects = {
        1: b"<</Type/Catalog /Pages 2 0 R>>",
        2: b"<</Type/Pages /Kids [3 0 R] /Count 1>>",
        3: b"<</Type/Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents 4 0 R /Resources <</Font <</F1 5 0 R>>>>>>",
        4: stream_object({}, b"BT /F1 12 Tf 72 700 Td (the page) Tj ET"),
        5: HELVETICA.encode(),
    }
    out = bytearray(b"%PDF-1.7\n")
    rows = {}
    for num, body in objects.items():
        rows[num] = (1, len(out), 0)
        out += f"{num} 0 obj\n".encode() + body + b"\nendobj\n"
    rows[1] = rows[2]
    rows[3] = (2, 20, 0)
    rows[20] = (2, 21, 0)
    rows[21] = (2, 20, 0)
    xref_at = len(out)
    rows[22] = (1, xref_at, 0)
    data = b"".join(bytes([t]) + a.to_bytes(4, "big") + b.to_bytes(2, "big") for t, a, b in
                    (rows.get(n, (0, 0, 0xFFFF)) for n in range(23)))
    out += (f"22 0 obj\n<</Type/XRef /Size 23 /W [1 4 2] /Root 1 0 R /Length {len(data)}>>\nstream\n".encode()
            + data + b"\nendstream\nendobj\n" + f"startxref\n{xref_at}\n%%EOF\n".encode())
    return bytes(out)


def test_a_compressed_entry_that_fails_falls_back_to_the_object_the_scan_found():
    recovered = folioscan.extract(page_behind_a_cycle_of_object_streams())
    assert [p["lines"][0]["text"] for p in recovered["pages"]] == ["the page"]
    assert "InvalidObject: circular object reference" in [w["message"] for w in recovered["warnings"]]


def test_an_encryption_dictionary_in_an_object_stream_of_a_rebuilt_file_is_named():
    pdf = text_pdf(["BT /F1 12 Tf 72 700 Td (text) Tj ET"])
    pdf.add(9, "<</Filter/Standard /V 2 /R 3 /Length 128 /P -4 /O <00> /U <00>>>")
    pdf.trailer_extra = b"/Encrypt 9 0 R"
    data = pdf.build(xref="stream", object_streams=[[9]])
    damaged = data[: data.rindex(b"startxref")] + b"startxref\n5\n%%EOF\n"
    with pytest.raises(ValueError) as raised:
        folioscan.extract(damaged)
    assert str(raised.value) == "ObjectNotFound: no such object: 9 0 R, the /Encrypt dictionary"
    # The strict reading reads the table and keeps its own message for a missing object.
    with pytest.raises(ValueError, match="^ObjectNotFound: no such object$"):
        folioscan.parse(data.replace(b"/Encrypt 9 0 R", b"/Encrypt 99 0 R"))


@pytest.mark.parametrize(
    "content, text",
    [
        # Times' period is 250 units wide: kerned by 60, the dots are 1.9 points apart.
        ("BT /F1 10 Tf 72 700 Td [(.) 60 (.) 60 (.)] TJ ET", "..."),
        # The same word drawn twice, a third of a point apart: a bold face faked.
        ("BT /F1 10 Tf 72 700 Td (Bold) Tj ET BT /F1 10 Tf 72.3 700 Td (Bold) Tj ET", "Bold"),
    ],
)
def test_glyphs_kerned_close_are_kept_and_overprinting_reads_once(content, text):
    data = text_document([content], fonts={"F1": "<</Type/Font /Subtype/Type1 /BaseFont/Times-Roman>>"})
    assert folioscan.extract(data, format="markdown") == text


def test_a_table_rebuilt_while_opening_is_not_rebuilt_again():
    # The entry of /Root leads to another object, so loading the catalog rebuilds the
    # table; the object 1 the scan finds is no catalog either, and that is said once.
    pdf = text_pdf(["BT /F1 12 Tf 72 700 Td (x) Tj ET"])
    pdf.add(1, "(not a catalog)")
    data = pdf.build()
    table = data.index(b"\nxref\n") + 1
    one, two = (data.index(f"\n{n} 0 obj".encode()) + 1 for n in (1, 2))
    data = data[:table] + data[table:].replace(b"%010d 00000 n" % one, b"%010d 00000 n" % two, 1)
    recovered = folioscan.extract(data)
    assert recovered["pages"] == []
    assert [w["message"] for w in recovered["warnings"]] == [
        "InvalidObject: object number mismatch", "InvalidObject: expected dictionary"]
