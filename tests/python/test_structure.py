"""File structure end to end: the same documents written with classic xref tables, with
cross-reference streams and object streams (by pikepdf, by the qpdf tool and by our own
writer), as hybrid files and with incremental updates must extract identically; damaged
xref streams and object streams must fail with their fixed messages."""

from __future__ import annotations

import io
import shutil
import subprocess
import zlib
from pathlib import Path

import pikepdf
import pytest
from reportlab.lib.pagesizes import A4
from reportlab.lib.styles import ParagraphStyle
from reportlab.platypus import PageBreak, Paragraph, SimpleDocTemplate, Table, TableStyle

import folioscan
from pdfgen import text_pdf
from test_corpus import CORPUS, ROWS, password_for

SAMPLE = Path(__file__).resolve().parents[2] / "examples" / "sample.pdf"
HAS_QPDF = shutil.which("qpdf") is not None

WIDTHS_FONT = (
    "<</Type/Font /Subtype/Type1 /BaseFont/Helvetica /FirstChar 32 /LastChar 126 "
    "/Widths [" + " ".join(["500"] * 95) + "]>>"
)
CMAP = (
    "/CIDInit /ProcSet findresource begin 12 dict begin begincmap\n"
    "1 begincodespacerange <0000> <FFFF> endcodespacerange\n"
    "2 beginbfchar <0001> <0066006C> <0002> <00E9> endbfchar\n"
    "1 beginbfrange <0010> <0012> <0041> endbfrange\n"
    "endcmap CMapName currentdict /CMap defineresource pop end end"
)
GRAY_IMAGE = (
    b"<</Type/XObject /Subtype/Image /Width 4 /Height 2 /BitsPerComponent 8 "
    b"/ColorSpace /DeviceGray /Filter /FlateDecode /Length %d>>\nstream\n%s\nendstream"
)


def fonts_pdf():
    """Three pages: simple fonts with widths, Differences and MacRoman encodings, a
    composite font with a ToUnicode map, a ruled table, an image and an array of
    content streams. Dictionaries live at 1, 2, 10-13, 31, 100-102; streams at 30, 40,
    200-202 and 210."""
    fonts = {
        "F1": WIDTHS_FONT,
        "F2": "<</Type/Font /Subtype/Type0 /ToUnicode 30 0 R /DescendantFonts [31 0 R]>>",
        "F3": "<</Type/Font /Subtype/Type1 /Encoding <</Differences [128 /Euro /bullet]>>>>",
        "F4": "<</Type/Font /Subtype/Type1 /Encoding /MacRomanEncoding>>",
    }
    pages = [
        "BT /F1 12 Tf 72 700 Td (Hello) Tj 33 0 Td (World) Tj 0 -20 Td (Second line) Tj ET "
        "BT /F2 10 Tf 72 600 Td <000100020010001100120013> Tj ET "
        "BT /F3 10 Tf 72 580 Td <808193> Tj /F4 10 Tf 0 -20 Td <80DB> Tj ET",
        "100 700 m 300 700 l 100 680 m 300 680 l 100 660 m 300 660 l S "
        "100 660 200 40 re S 200 660 m 200 700 l S "
        "BT /F1 10 Tf 110 685 Td (a1) Tj 100 0 Td (b1) Tj -100 -20 Td (a2) Tj 100 0 Td (b2) Tj ET",
        "q 40 0 0 20 72 500 cm /Im1 Do Q",
    ]
    pixels = zlib.compress(bytes(range(8)))
    pdf = text_pdf(
        pages,
        fonts=fonts,
        compress=True,
        resources_extra="/XObject <</Im1 40 0 R>>",
        extra_objects={
            30: f"<</Length {len(CMAP)}>>\nstream\n{CMAP}\nendstream",
            31: "<</Type/Font /Subtype/CIDFontType2 /DW 500 /W [1 [600 700]]>>",
            40: GRAY_IMAGE % (len(pixels), pixels),
        },
    )
    # Page 3 shows its text through two content streams.
    pdf.add(102, pdf.objects[102].replace(b"/Contents 202 0 R", b"/Contents [202 0 R 210 0 R]"))
    pdf.add_stream(210, "BT /F1 9 Tf 72 400 Td (caption) Tj ET", compress=True)
    return pdf


DICTIONARIES = [1, 2, 10, 11, 12, 13, 31, 100, 101, 102]


def reportlab_document() -> bytes:
    """A three-page platypus document with paragraphs and a gridded table."""
    buffer = io.BytesIO()
    doc = SimpleDocTemplate(buffer, pagesize=A4, invariant=1)
    style = ParagraphStyle("body", fontName="Helvetica", fontSize=11, leading=14)
    story = []
    for page in range(3):
        story.append(Paragraph(f"Chapter {page + 1}: object streams and friends", style))
        for i in range(6):
            story.append(Paragraph(f"Paragraph {i} of page {page + 1} says something plain.", style))
        table = Table([["Key", "Value"], [f"p{page}", "x & y"], ["last", "row"]])
        table.setStyle(TableStyle([("GRID", (0, 0), (-1, -1), 0.5, "black")]))
        story.append(table)
        story.append(PageBreak())
    doc.build(story)
    return buffer.getvalue()


def extraction(data: bytes):
    """Pages as a dict and as Markdown. The header version is left out: writers raise
    it to 1.5 when they add object streams."""
    return folioscan.parse(data)["pages"], folioscan.parse_to_markdown(data)


def pikepdf_rewrite(data: bytes, **options) -> bytes:
    out = io.BytesIO()
    with pikepdf.open(io.BytesIO(data)) as pdf:
        pdf.save(out, **options)
    return out.getvalue()


def qpdf_rewrite(data: bytes, tmp_path: Path, *options: str) -> bytes:
    src, dst = tmp_path / "in.pdf", tmp_path / "out.pdf"
    src.write_bytes(data)
    proc = subprocess.run(["qpdf", *options, str(src), str(dst)], capture_output=True)
    assert proc.returncode in (0, 3), proc.stderr  # 3: warnings only
    return dst.read_bytes()


GENERATE = pikepdf.ObjectStreamMode.generate

REWRITES = {
    "pikepdf_objstm": lambda d, _: pikepdf_rewrite(d, object_stream_mode=GENERATE),
    "pikepdf_objstm_uncompressed": lambda d, _: pikepdf_rewrite(
        d, object_stream_mode=GENERATE, compress_streams=False,
        stream_decode_level=pikepdf.StreamDecodeLevel.generalized),
    "pikepdf_classic": lambda d, _: pikepdf_rewrite(d, object_stream_mode=pikepdf.ObjectStreamMode.disable),
    "pikepdf_qdf": lambda d, _: pikepdf_rewrite(d, qdf=True),
    "pikepdf_linearized_objstm": lambda d, _: pikepdf_rewrite(d, linearize=True, object_stream_mode=GENERATE),
    "qpdf_objstm": lambda d, t: qpdf_rewrite(d, t, "--object-streams=generate"),
    "qpdf_objstm_uncompressed": lambda d, t: qpdf_rewrite(
        d, t, "--object-streams=generate", "--compress-streams=n", "--decode-level=generalized"),
    "qpdf_qdf": lambda d, t: qpdf_rewrite(d, t, "--qdf"),
    "qpdf_linearized_objstm": lambda d, t: qpdf_rewrite(d, t, "--linearize", "--object-streams=generate"),
}

SOURCES = {
    "pdfgen_fonts": lambda: fonts_pdf().build(),
    "sample": lambda: SAMPLE.read_bytes(),
    "reportlab": reportlab_document,
}


@pytest.fixture(scope="module")
def originals():
    return {name: make() for name, make in SOURCES.items()}


@pytest.mark.parametrize("source", SOURCES)
@pytest.mark.parametrize("rewrite", REWRITES)
def test_rewritten_documents_extract_like_the_classic_original(originals, source, rewrite, tmp_path) -> None:
    if rewrite.startswith("qpdf") and not HAS_QPDF:
        pytest.skip("needs the qpdf tool")
    original = originals[source]
    assert b"/ObjStm" not in original and b"/XRefStm" not in original
    rewritten = REWRITES[rewrite](original, tmp_path)
    if "objstm" in rewrite:
        # Make sure the rewrite really exercises xref streams and object streams.
        assert b"/ObjStm" in rewritten and b"/XRef" in rewritten
    expected = extraction(original)
    assert expected[0], "the original must have pages"
    assert extraction(rewritten) == expected


def test_the_sources_extract_what_was_drawn(originals) -> None:
    """Guards the comparison above against comparing two empty results."""
    md = folioscan.parse_to_markdown(originals["pdfgen_fonts"])
    assert md.split("\n\n---\n\n") == [
        "Hello World\nSecond line\nfl\u00e9ABC\n\u20ac\u2022\u201c\n\u00c4\u20ac",
        "a1 b1\na2 b2\n\n| a1 | b1 |\n| --- | --- |\n| a2 | b2 |",
        "caption",
    ]
    doc = folioscan.parse(originals["pdfgen_fonts"])
    assert [i["name"] for i in doc["pages"][2]["images"]] == ["Im1"]
    report = folioscan.parse(originals["reportlab"])
    assert len(report["pages"]) == 3
    assert report["pages"][1]["lines"][0]["text"] == "Chapter 2: object streams and friends"
    assert report["pages"][2]["tables"][0]["cells"] == [["Key", "Value"], ["p2", "x & y"], ["last", "row"]]


def test_qpdf_xref_streams_use_the_png_up_predictor(originals, tmp_path) -> None:
    if not HAS_QPDF:
        pytest.skip("needs the qpdf tool")
    rewritten = qpdf_rewrite(originals["reportlab"], tmp_path, "--object-streams=generate")
    assert b"/Predictor 12" in rewritten
    assert extraction(rewritten) == extraction(originals["reportlab"])


# Our own writer: xref streams, object streams and hybrid files, exactly as laid out.

LAYOUTS = {
    "xref_stream": dict(xref="stream"),
    "xref_stream_uncompressed": dict(xref="stream", compress=False),
    "one_object_stream": dict(xref="stream", object_streams=[DICTIONARIES]),
    "several_object_streams": dict(xref="stream", object_streams=[[1, 2], [10, 11, 12, 13, 31], [102, 100, 101]]),
    "object_streams_uncompressed": dict(xref="stream", compress=False, object_streams=[[13, 1, 2, 100], [101, 102]]),
    "hybrid": dict(xref="hybrid", object_streams=[[10, 11, 12, 13, 31], [100, 101, 102]]),
    "hybrid_everything_in_file": dict(xref="hybrid"),
}


@pytest.mark.parametrize("layout", LAYOUTS)
def test_our_layouts_extract_like_the_classic_table(layout) -> None:
    pdf = fonts_pdf()
    assert extraction(pdf.build(**LAYOUTS[layout])) == extraction(pdf.build())


def test_hybrid_file_with_a_damaged_xref_stream_keeps_the_classic_entries() -> None:
    pdf = fonts_pdf()
    broken = pdf.build(xref="hybrid", xref_hook=lambda keys, data: (keys, b"\x00garbage"))
    assert extraction(broken) == extraction(pdf.build())


def test_hybrid_file_with_a_damaged_xref_stream_loses_its_compressed_objects() -> None:
    pdf = fonts_pdf()
    broken = pdf.build(xref="hybrid", object_streams=[[1, 2]], xref_hook=lambda keys, data: (keys, b"bad"))
    with pytest.raises(ValueError, match=r"^ObjectNotFound: no such object$"):
        folioscan.parse(broken)


ODDITIES = {
    "w_with_a_name_element": dict(xref_hook=lambda k, d: ({**k, "W": k["W"].replace("[1 ", "[1 /X ")}, d)),
    "data_longer_than_the_records": dict(compress=False, xref_hook=lambda k, d: (k, d + bytes(7))),
    "wrong_length_found_by_endstream": dict(xref_hook=lambda k, d: ({"Length": "5", **k}, d)),
    "record_of_unknown_type": dict(rows_hook=lambda rows: rows.__setitem__(0, (3, 0, 0))),
}


@pytest.mark.parametrize("oddity", ODDITIES)
def test_tolerated_xref_stream_oddities(oddity) -> None:
    pdf = fonts_pdf()
    data = pdf.build(xref="stream", object_streams=[[100, 101, 102]], **ODDITIES[oddity])
    assert extraction(data) == extraction(pdf.build())


# name: (key length, options inside --encrypt, options before it)
WEAK = ["--allow-weak-crypto"]
ENCRYPTIONS = {
    "rc4_40": ("40", [], WEAK),
    "rc4_128": ("128", ["--use-aes=n"], WEAK),
    "aes_128": ("128", ["--use-aes=y"], []),
    "aes_256": ("256", [], []),
}


@pytest.mark.skipif(not HAS_QPDF, reason="needs the qpdf tool")
@pytest.mark.parametrize("encryption", ENCRYPTIONS)
def test_encrypted_file_with_object_streams(encryption, tmp_path) -> None:
    """Object streams are decrypted as a whole and their objects are not decrypted again;
    the xref stream itself is never encrypted."""
    bits, inner, outer = ENCRYPTIONS[encryption]
    plain = fonts_pdf().build()
    args = [*outer, "--object-streams=generate", "--encrypt", "user", "owner", bits, *inner, "--"]
    encrypted = qpdf_rewrite(plain, tmp_path, *args)
    assert b"/ObjStm" in encrypted and b"/Encrypt" in encrypted
    for password in ("user", "owner"):
        assert folioscan.parse(encrypted, password)["pages"] == folioscan.parse(plain)["pages"]


# Incremental updates: a newer section overrides or frees objects of the older ones.

NEW_CONTENT = b"<</Length 43>>\nstream\nBT /F1 12 Tf 72 700 Td (Replaced text) Tj ET\nendstream"


@pytest.mark.parametrize("base_layout", [{}, dict(xref="stream", object_streams=[DICTIONARIES])])
@pytest.mark.parametrize("update_xref", ["table", "stream"])
def test_incremental_update_replaces_a_page_content(base_layout, update_xref) -> None:
    pdf = fonts_pdf()
    base = pdf.build(**base_layout)
    updated = pdf.update(base, {200: NEW_CONTENT}, xref=update_xref)
    assert updated.startswith(base) and updated.count(b"startxref") == 2
    pages = folioscan.parse_to_markdown(updated).split("\n\n---\n\n")
    assert pages[0] == "Replaced text"
    assert pages[1:] == folioscan.parse_to_markdown(base).split("\n\n---\n\n")[1:]


@pytest.mark.parametrize("update_xref", ["table", "stream"])
def test_incremental_update_overrides_an_object_from_an_object_stream(update_xref) -> None:
    pdf = fonts_pdf()
    base = pdf.build(xref="stream", object_streams=[DICTIONARIES])
    page = pdf.objects[101].replace(b"/MediaBox [0 0 612 792]", b"/MediaBox [0 0 300 400]")
    appended = pdf.objects[2].replace(b"/Kids [100 0 R 101 0 R 102 0 R]", b"/Kids [100 0 R 101 0 R 102 0 R 103 0 R]")
    new_page = b"<</Type/Page /Parent 2 0 R /Contents 203 0 R /Resources <</Font <</F1 10 0 R>>>>>>"
    new_content = b"<</Length 37>>\nstream\nBT /F1 12 Tf 72 700 Td (Appended) Tj ET\nendstream"
    updated = pdf.update(base, {2: appended, 101: page, 103: new_page, 203: new_content}, xref=update_xref)
    doc = folioscan.parse(updated)
    assert [(p["width"], p["height"]) for p in doc["pages"]] == [(612.0, 792.0), (300.0, 400.0), (612.0, 792.0), (612.0, 792.0)]
    assert doc["pages"][3]["lines"][0]["text"] == "Appended"


@pytest.mark.parametrize("update_xref", ["table", "stream"])
def test_incremental_update_that_frees_a_content_stream_fails_the_page(update_xref) -> None:
    pdf = fonts_pdf()
    updated = pdf.update(pdf.build(), {}, xref=update_xref, free=[201])
    with pytest.raises(ValueError, match=r"^ObjectNotFound: no such object$"):
        folioscan.parse(updated)


def test_two_updates_chain_back_to_the_original() -> None:
    pdf = fonts_pdf()
    once = pdf.update(pdf.build(xref="stream"), {200: NEW_CONTENT}, xref="stream")
    twice = pdf.update(once, {202: b"<</Length 0>>\nstream\n\nendstream"}, xref="table")
    pages = folioscan.parse_to_markdown(twice).split("\n\n---\n\n")
    assert pages[0] == "Replaced text" and pages[2] == "caption"


# Damaged xref streams and object streams reach Python with their fixed messages. The
# catalog and page tree stay in the file; page 100 sits in an object stream.


def without(key):
    return lambda keys, data: ({k: v for k, v in keys.items() if k != key}, data)


def set_key(key, value):
    return lambda keys, data: ({**keys, key: value}, data)


def set_row(num, row):
    return lambda rows: rows.__setitem__(num, row)


def set_index(num, index):
    """Keeps the object stream of `num` and points at another index in it."""
    return lambda rows: rows.__setitem__(num, (2, rows[num][1], index))


ERRORS = {
    "w_missing": (dict(xref_hook=without("W")), "InvalidXref: xref /W missing"),
    "w_two_widths": (dict(xref_hook=set_key("W", "[1 2]")), "InvalidXref: xref /W must have three widths"),
    "truncated": (
        dict(compress=False, xref_hook=lambda keys, data: (keys, data[:-1])),
        "InvalidXref: xref stream truncated",
    ),
    "undecodable": (dict(xref_hook=lambda keys, data: (keys, data[:-8])), "InvalidXref: xref decode"),
    "unknown_filter": (dict(xref_hook=set_key("Filter", "/Foo")), "InvalidXref: xref decode"),
    "size_missing": (dict(xref_hook=lambda k, d: ({**without("Index")(k, d)[0], "Size": "2.0"}, d)),
                     "InvalidXref: xref /Size missing"),
    "index_out_of_range": (dict(rows_hook=set_index(100, 3)), "InvalidObject: objstm index out of range"),
    "objstm_not_a_stream": (dict(rows_hook=set_row(100, (2, 1, 0))), "InvalidObject: ObjStm is not a stream"),
    "objstm_truncated_header": (dict(objstm_hook=set_key("N", "4")), "InvalidObject: objstm truncated header"),
    "objstm_bad_integer": (
        dict(objstm_hook=lambda keys, data: (keys, data.replace(b"101 ", b"101 -", 1))),
        "InvalidObject: objstm bad integer",
    ),
    "objstm_missing_n": (dict(objstm_hook=without("N")), "InvalidObject: objstm missing key"),
    "objstm_negative_first": (dict(objstm_hook=set_key("First", "-1")), "InvalidObject: objstm negative key"),
    "objstm_undecodable": (
        dict(objstm_hook=set_key("Filter", "/Foo"), compress=False),
        "Unsupported: unsupported filter: Foo",
    ),
}


@pytest.mark.parametrize("case", ERRORS)
def test_damaged_xref_and_object_streams_fail_with_their_message(case) -> None:
    options, message = ERRORS[case]
    data = fonts_pdf().build(xref="stream", object_streams=[[100, 101, 102]], **options)
    for fn in (folioscan.parse, folioscan.parse_to_markdown, folioscan.parse_to_json, folioscan.parse_to_html):
        with pytest.raises(ValueError) as info:
            fn(data)
        assert type(info.value) is ValueError
        assert str(info.value) == message


def test_objstm_helpers_build_a_valid_file_without_hooks() -> None:
    """The error cases above differ from this file only by their one defect."""
    pdf = fonts_pdf()
    good = pdf.build(xref="stream", object_streams=[[100, 101, 102]])
    assert extraction(good) == extraction(pdf.build())


# Real producers' files, rewritten by qpdf with object streams (and decrypted), must
# extract as before.

CORPUS_REWRITE_DIFFERS: set[str] = set()


@pytest.mark.skipif(not ROWS or not HAS_QPDF, reason="needs the shared corpus and the qpdf tool")
@pytest.mark.parametrize("row", ROWS, ids=[r["path"] for r in ROWS])
def test_corpus_file_rewritten_with_object_streams(row, tmp_path) -> None:
    password = password_for(row)
    try:
        before = folioscan.parse((CORPUS / row["path"]).read_bytes(), password or None)["pages"]
    except ValueError:
        pytest.skip("does not open as it is")
    out = tmp_path / "objstm.pdf"
    options = ["--decrypt", "--object-streams=generate"] + ([f"--password={password}"] if password else [])
    proc = subprocess.run(["qpdf", *options, str(CORPUS / row["path"]), str(out)], capture_output=True)
    assert proc.returncode in (0, 3), proc.stderr
    after = folioscan.parse(out.read_bytes())["pages"]
    if row["path"] in CORPUS_REWRITE_DIFFERS:
        assert after != before
    else:
        assert after == before
