#!/usr/bin/env python3
"""Writes the seed corpora of the fuzz targets from the project's own test documents.

    python3 fuzz/make_seeds.py OUT_DIR

creates OUT_DIR/parse_document, OUT_DIR/recover_document, OUT_DIR/decode_stream,
OUT_DIR/tounicode, OUT_DIR/rebuild (the same documents as parse_document), OUT_DIR/cmap
and, from the font programs in tests/fixtures/fonts/, OUT_DIR/truetype, OUT_DIR/cff and
OUT_DIR/type1. Documents
come from tests/python/pdfgen.py, examples/sample.pdf and tests/fixtures/crypt/*.pdf,
plus copies rewritten by pikepdf with object streams and cross-reference streams. The
stream seeds carry the decode_stream target's two leading bytes (dictionary choice,
predictor tuning) before data encoded for that dictionary. Seeds are generated, never
committed; the regression inputs in fuzz/regressions/ are added to each corpus too.
"""

from __future__ import annotations

import base64
import io
import sys
import zlib
from pathlib import Path

ROOT = Path(__file__).resolve().parents[1]
sys.path.insert(0, str(ROOT / "tests" / "python"))

from pdfgen import HELVETICA, Pdf, stream_object, text_document  # noqa: E402

CMAP = (
    "/CIDInit /ProcSet findresource begin 12 dict begin begincmap\n"
    "1 begincodespacerange <0000> <FFFF> endcodespacerange\n"
    "2 beginbfchar <0001> <0066006C> <0002> <00E9> endbfchar\n"
    "2 beginbfrange <0010> <0012> <0041> <0020> <0022> [<0061> <D83DDE00> <>] endbfrange\n"
    "endcmap CMapName currentdict /CMap defineresource pop end end"
)

IMAGE = (
    "<</Type/XObject /Subtype/Image /Width 2 /Height 3 /BitsPerComponent 8 "
    "/ColorSpace /DeviceGray /Length 6>>\nstream\n\x00\x01\x02\x03\x04\x05\nendstream"
)

TABLE = (
    "0.5 w 72 700 m 272 700 l S 72 680 m 272 680 l S 72 660 m 272 660 l S "
    "72 660 m 72 700 l S 172 660 m 172 700 l S 272 660 m 272 700 l S "
    "BT /F1 10 Tf 80 685 Td (a) Tj 100 0 Td (b) Tj -100 -20 Td (c) Tj 100 0 Td (d) Tj ET"
)


def documents() -> dict[str, bytes]:
    docs: dict[str, bytes] = {}
    docs["hello"] = text_document(["BT /F1 12 Tf 72 720 Td (Hello world) Tj ET"])
    docs["two_pages_flate"] = text_document(
        ["BT /F1 12 Tf 72 720 Td (One) Tj T* (two) ' ET", "BT /F1 9 Tf 1 0 0 1 50 50 Tm [(A) -250 (B)] TJ ET"],
        compress=True,
    )
    docs["table"] = text_document([TABLE])
    docs["fonts"] = text_document(
        ["BT /F1 10 Tf 0 700 Td <808193> Tj ET BT /F2 10 Tf 0 600 Td <000100020010001100120013> Tj ET "
         "BT /F3 10 Tf 0 500 Td <80DB> Tj ET"],
        fonts={
            "F1": "<</Type/Font /Subtype/Type1 /Encoding <</Differences [128 /Euro /bullet]>>>>",
            "F2": "<</Type/Font /Subtype/Type0 /ToUnicode 30 0 R /DescendantFonts [31 0 R]>>",
            "F3": "<</Type/Font /Subtype/Type1 /Encoding /MacRomanEncoding /Widths [500 600] "
                  "/FirstChar 128 /LastChar 129>>",
        },
        extra_objects={
            30: f"<</Length {len(CMAP)}>>\nstream\n{CMAP}\nendstream",
            31: "<</Type/Font /Subtype/CIDFontType2 /DW 500 /W [1 [600 700] 16 18 550]>>",
        },
    )
    docs["image"] = text_document(
        ["q 2 0 0 3 0 0 cm /Im1 Do Q"], resources_extra="/XObject <</Im1 40 0 R>>", extra_objects={40: IMAGE}
    )
    # Nested and self-painting forms, a form image, replacement text and appearances.
    docs["forms"] = text_document(
        ["q 1 0 0 1 10 10 cm /Fa Do Q BT /F1 9 Tf 72 700 Td /Span <</ActualText (fi)>> BDC (f) Tj (i) Tj EMC "
         "/Span /P0 BDC (x) Tj EMC ET 0 0 612 792 re W n"],
        resources_extra="/XObject <</Fa 41 0 R>> /Properties <</P0 <</ActualText <FEFF0079>>>>>",
        page_extra="/Annots [<</Subtype/Widget /Rect [100 100 200 120] /AS /On /AP <</N <</On 43 0 R>>>>>> "
                   "<</Subtype/Popup /Rect [0 0 9 9] /AP <</N 43 0 R>>>>]",
        extra_objects={
            40: IMAGE,
            41: stream_object({"Subtype": "/Form", "BBox": "[0 0 300 300]", "Matrix": "[2 0 0 2 5 5]",
                               "Resources": "<</XObject <</Fb 42 0 R /Im1 40 0 R>>>>"},
                              b"BT /F1 9 Tf (outer) Tj ET /Fb Do /Im1 Do"),
            42: stream_object({"Subtype": "/Form", "BBox": "[0 0 50 50]",
                               "Resources": "<</XObject <</Fa 41 0 R>>>>"}, b"BT 0 20 Td (inner) Tj ET /Fa Do"),
            43: stream_object({"Subtype": "/Form", "BBox": "[0 0 50 10]", "Matrix": "[1 0 0 1 0 0]"},
                              b"BT /F1 8 Tf 2 2 Td (field) Tj ET"),
        },
    )
    docs["rotated"] = text_document(["q 0 1 -1 0 300 0 cm BT /F1 8 Tf (r) Tj ET Q"], page_extra="/Rotate 90")

    # A contents array and an inherited media box.
    pdf = Pdf()
    pdf.add(1, "<</Type/Catalog /Pages 2 0 R>>")
    pdf.add(2, "<</Type/Pages /Kids [3 0 R] /Count 1 /MediaBox [0 0 200 200]>>")
    pdf.add(3, f"<</Type/Page /Parent 2 0 R /Contents [4 0 R 5 0 R] /Resources <</Font <</F1 6 0 R>>>>>>")
    pdf.add_stream(4, "BT /F1 10 Tf 10 10 Td (x", compress=True)
    pdf.add_stream(5, ") Tj ET")
    pdf.add(6, HELVETICA)
    docs["contents_array"] = pdf.build()

    sample = ROOT / "examples" / "sample.pdf"
    if sample.exists():
        docs["sample"] = sample.read_bytes()
    for path in sorted((ROOT / "tests" / "fixtures" / "crypt").glob("*.pdf")):
        docs["crypt_" + path.stem] = path.read_bytes()
    return docs


def rewritten(docs: dict[str, bytes]) -> dict[str, bytes]:
    """Copies with object streams and cross-reference streams, when pikepdf is there."""
    try:
        import pikepdf
    except ImportError:
        return {}
    out: dict[str, bytes] = {}
    for name in ("hello", "fonts", "table", "two_pages_flate", "sample"):
        if name not in docs:
            continue
        with pikepdf.open(io.BytesIO(docs[name])) as pdf:
            buffer = io.BytesIO()
            pdf.save(buffer, object_stream_mode=pikepdf.ObjectStreamMode.generate)
            out[name + "_objstm"] = buffer.getvalue()
            buffer = io.BytesIO()
            pdf.save(buffer, object_stream_mode=pikepdf.ObjectStreamMode.generate, compress_streams=False,
                     stream_decode_level=pikepdf.StreamDecodeLevel.none)
            out[name + "_objstm_plain"] = buffer.getvalue()
    return out


def lzw_encode(data: bytes, early_change: bool = True) -> bytes:
    """The encoder matching the target's decoder: 9- to 12-bit codes, MSB first."""
    table = {bytes([i]): i for i in range(256)}
    next_code, width = 258, 9
    bits, nbits, out = 0, 0, bytearray()

    def put(code: int) -> None:
        nonlocal bits, nbits
        bits = (bits << width) | code
        nbits += width
        while nbits >= 8:
            nbits -= 8
            out.append((bits >> nbits) & 0xFF)

    put(256)
    current = b""
    for b in data:
        candidate = current + bytes([b])
        if candidate in table:
            current = candidate
            continue
        put(table[current])
        if next_code < 4096:
            table[candidate] = next_code
            next_code += 1
        if next_code + (1 if early_change else 0) > (1 << width) and width < 12:
            width += 1
        current = bytes([b])
    if current:
        put(table[current])
    put(257)
    if nbits:
        out.append((bits << (8 - nbits)) & 0xFF)
    return bytes(out)


def run_length_encode(data: bytes) -> bytes:
    out = bytearray()
    for i in range(0, len(data), 100):
        chunk = data[i:i + 100]
        out.append(len(chunk) - 1)
        out += chunk
    out += b"\x00x\xfd" + b"y" + b"\x80"
    return bytes(out)


def png_rows(data: bytes, columns: int) -> bytes:
    """PNG Up-filtered rows (tag 2) of `columns` bytes."""
    out, prev = bytearray(), bytes(columns)
    for i in range(0, len(data), columns):
        row = data[i:i + columns].ljust(columns, b"\0")
        out.append(2)
        out += bytes((r - p) & 0xFF for r, p in zip(row, prev))
        prev = row
    return bytes(out)


def stream_seeds() -> dict[str, bytes]:
    text = b"BT /F1 12 Tf 72 720 Td (Hello world) Tj ET\n" * 20 + bytes(range(256))
    seeds: dict[str, bytes] = {}
    # The two leading bytes: dictionary choice (see decode_stream_fuzzer.cpp), tuning.
    seeds["flate"] = b"\x00\x00" + zlib.compress(text)
    seeds["flate_raw"] = b"\x00\x01" + zlib.compress(text)[2:]
    # Tuning bits: predictor (0-2), columns (2-4), colors (3-4), bits per component (5-7).
    for tune in (0x01, 0x03, 0x0B, 0x1D):
        seeds[f"flate_png_{tune:02x}"] = b"\x01" + bytes([tune]) + zlib.compress(png_rows(text, 4))
    seeds["flate_tiff"] = b"\x01\x00" + zlib.compress(text)
    seeds["lzw_late"] = b"\x02\x00" + lzw_encode(text, early_change=False)
    seeds["lzw_early"] = b"\x03\x00" + lzw_encode(text)
    seeds["lzw_png"] = b"\x04\x03" + lzw_encode(png_rows(text, 4))
    seeds["a85"] = b"\x05\x00" + base64.a85encode(text + b"\0\0\0\0") + b"~>"
    seeds["ahx"] = b"\x06\x00" + text.hex().encode() + b">"
    seeds["rl"] = b"\x07\x00" + run_length_encode(text)
    seeds["a85_flate"] = b"\x08\x00" + base64.a85encode(zlib.compress(text)) + b"~>"
    seeds["ahx_lzw"] = b"\x09\x00" + lzw_encode(text).hex().encode() + b">"
    seeds["flate_flate"] = b"\x0a\x00" + zlib.compress(zlib.compress(text))
    seeds["a85_rl_flate"] = b"\x0b\x01" + base64.a85encode(run_length_encode(zlib.compress(png_rows(text, 4)))) + b"~>"
    seeds["dct_flate"] = b"\x0c\x00" + zlib.compress(text)
    for path in sorted((ROOT / "tests" / "fixtures" / "deflate").glob("*.zz")):
        data = path.read_bytes()
        if len(data) <= 64 << 10:
            seeds["fixture_" + path.stem] = b"\x00\x00" + data
    return seeds


def cmap_seeds() -> dict[str, bytes]:
    return {
        "cmap": CMAP.encode(),
        "bfrange_array": b"1 beginbfrange <00> <05> [<0041> <0042> (x) <D800>] endbfrange",
        "wide_codes": b"begincodespacerange <00000000> <FFFFFFFF> endcodespacerange\n"
                      b"2 beginbfchar <FFFFFFFF> <DBFFDFFF> <0000> <> endbfchar\n"
                      b"1 beginbfrange <FFFFFF00> <FFFFFFFF> <10FFF0> endbfrange",
        "broken": b"beginbfchar <01 <02> (unterminated endbfchar beginbfrange [ <01> endbfrange",
    }


def code_map_seeds() -> dict[str, bytes]:
    """Embedded CMaps for the cmap target. An input whose first byte is a multiple of 4
    is also read through the predefined CMap that byte picks."""
    header = (
        b"/CIDInit /ProcSet findresource begin 12 dict begin begincmap\n"
        b"/CIDSystemInfo 3 dict dup begin /Registry (Adobe) def /Ordering (Japan1) def /Supplement 2 def end def\n"
        b"/CMapName /Seed-H def /CMapType 1 def /WMode 0 def\n"
    )
    return {
        "sjis": header + b"4 begincodespacerange <00> <80> <8140> <9FFC> <A0> <DF> <E040> <FCFC> endcodespacerange\n"
                         b"1 beginnotdefrange <00> <1f> 231 endnotdefrange\n"
                         b"2 begincidrange <20> <7d> 231 <829f> <82f1> 842 endcidrange\n"
                         b"1 begincidchar <8141> 634 endcidchar endcmap\n",
        "usecmap_predefined": b"/90ms-RKSJ-V usecmap /WMode 1 def 1 begincidrange <8141> <8142> 7887 endcidrange",
        "usecmap_self": b"/Seed usecmap /CMapName /Seed def 1 begincidchar <0041> 34 endcidchar",
        "utf16": b"3 begincodespacerange <0000> <D7FF> <D800DC00> <DBFFDFFF> <E000> <FFFF> endcodespacerange\n"
                 b"2 begincidchar <D840DC87> 22048 <4E2D> 4559 endcidchar",
        "five_bytes": b"1 begincodespacerange <0000000000> <FFFFFFFFFF> endcodespacerange\n"
                      b"1 begincidrange <0000000000> <00000000FF> 1 endcidrange",
        "predefined_text": bytes([8]) + "あいうえお漢字".encode("cp932") + b"A\xb1",
        "broken": b"begincidrange <01> <02 3 endcidrange begincodespacerange ( [ << /WMode def usecmap",
    }


def font_seeds(*names: str) -> dict[str, bytes]:
    """The font programs tests/fixtures/fonts/make_fonts.py writes."""
    fonts = ROOT / "tests" / "fixtures" / "fonts"
    return {name.replace(".", "_"): (fonts / name).read_bytes() for name in names if (fonts / name).exists()}


def write(directory: Path, seeds: dict[str, bytes]) -> None:
    directory.mkdir(parents=True, exist_ok=True)
    for name, data in seeds.items():
        (directory / name).write_bytes(data)


def damaged(docs: dict[str, bytes]) -> dict[str, bytes]:
    """The damage recovery repairs, made to a few documents: a missing or wrong
    startxref, no cross-reference data, shifted offsets, garbage before the header."""
    out = {}
    for name, data in list(docs.items())[:6]:
        xref = data.rfind(b"startxref")
        if xref > 0:
            out[name + "_no_startxref"] = data[:xref]
            out[name + "_bad_startxref"] = data[:xref] + b"startxref\n3\n%%EOF\n"
        out[name + "_shifted"] = data[:9] + b" " * 13 + data[9:]
        out[name + "_garbage"] = b"\x00junk" * 300 + data
        out[name + "_cut"] = data[: len(data) * 2 // 3]
    return out


def main() -> int:
    if len(sys.argv) != 2:
        print("usage: make_seeds.py OUT_DIR", file=sys.stderr)
        return 2
    out = Path(sys.argv[1])
    docs = documents()
    docs.update(rewritten(docs))
    write(out / "parse_document", docs)
    write(out / "recover_document", {**docs, **damaged(docs)})
    write(out / "decode_stream", stream_seeds())
    write(out / "tounicode", cmap_seeds())
    write(out / "rebuild", docs)
    write(out / "truetype", font_seeds("unicode.ttf", "symbol.ttf", "cid.otf"))
    write(out / "cff", font_seeds("simple.cff", "standard.cff", "cid.cff"))
    write(out / "type1", font_seeds("custom.pfa", "standard.pfa"))
    write(out / "cmap", code_map_seeds())
    targets = ("parse_document", "recover_document", "decode_stream", "tounicode", "rebuild", "truetype", "cff",
               "type1", "cmap")
    for fuzzer in targets:
        regressions = ROOT / "fuzz" / "regressions" / fuzzer
        if regressions.is_dir():
            write(out / fuzzer, {"regression_" + p.name: p.read_bytes() for p in regressions.iterdir() if p.is_file()})
    counts = {d.name: len(list(d.iterdir())) for d in sorted(out.iterdir()) if d.is_dir()}
    print("seeds:", ", ".join(f"{k} {v}" for k, v in counts.items()))
    return 0


if __name__ == "__main__":
    raise SystemExit(main())
