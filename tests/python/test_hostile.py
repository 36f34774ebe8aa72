"""Hostile files: each must end with a result or a ValueError, in bounded memory.

Every case runs in a child process limited to 512 MiB of address space (RLIMIT_AS) in
which each of the four functions, and the recovering extract, must return or raise
ValueError; a crash, a
MemoryError or any other exception fails the case. The child's time limit is only a
hang detector (60 s per input), far above what any input takes, so a busy machine
cannot fail a correct run. How long each input takes is measured by bench/hostile.py,
which runs these cases with FOLIOSCAN_HOSTILE_TIMES set: every result, with its time,
is then appended to that file as a JSON line.
"""

from __future__ import annotations

import json
import os
import random
import resource
import subprocess
import sys
import tempfile
import zlib
from pathlib import Path

import pytest

from pdfgen import HELVETICA, Pdf, text_document, text_pdf

MEMORY_LIMIT = 512 << 20
# Only to stop a real hang: a correct input takes well under a second.
HANG_SECONDS_PER_INPUT = 60.0
FUNCTIONS = ("parse", "parse_to_json", "parse_to_html", "parse_to_markdown")

RUNNER = r"""
import json, sys, time
import folioscan
functions = sys.argv[1].split(",")

def call(fn, data):
    try:
        fn(data)
        return "ok"
    except ValueError as e:
        return "ValueError: " + str(e)
    except BaseException as e:  # MemoryError and anything else is a failure
        return "FAILED " + type(e).__name__ + ": " + str(e)

results = []
for path in sys.argv[2:]:
    data = open(path, "rb").read()
    outcome, slowest = None, 0.0
    for fn in functions:
        start = time.monotonic()
        text = call(getattr(folioscan, fn), data)
        slowest = max(slowest, time.monotonic() - start)
        outcome = text if outcome is None or outcome == text else outcome + " | " + text
    # Every input is read the recovering way too.
    start = time.monotonic()
    recovered = call(folioscan.extract, data)
    slowest = max(slowest, time.monotonic() - start)
    results.append({"outcome": outcome, "recovered": recovered, "seconds": slowest})
print(json.dumps(results))
"""


def memory_limit(limit: int):
    def apply() -> None:
        resource.setrlimit(resource.RLIMIT_AS, (limit, limit))
        resource.setrlimit(resource.RLIMIT_CORE, (0, 0))

    return apply


def run_hostile(
    inputs: list[bytes], functions: tuple[str, ...] = FUNCTIONS, memory: int = MEMORY_LIMIT
) -> list[dict]:
    """Runs every input through `functions` in one limited child; returns one result each."""
    with tempfile.TemporaryDirectory() as tmp:
        paths = []
        for i, data in enumerate(inputs):
            path = Path(tmp) / f"{i}.pdf"
            path.write_bytes(data)
            paths.append(str(path))
        proc = subprocess.run(
            [sys.executable, "-c", RUNNER, ",".join(functions), *paths],
            capture_output=True,
            text=True,
            preexec_fn=memory_limit(memory),
            timeout=HANG_SECONDS_PER_INPUT * len(inputs),
        )
    assert proc.returncode == 0, f"child died ({proc.returncode}): {proc.stderr[-3000:]}"
    results = json.loads(proc.stdout)
    for data, result in zip(inputs, results):
        assert not result["outcome"].startswith("FAILED") and "| FAILED" not in result["outcome"], result
        assert not result["recovered"].startswith("FAILED"), result
        # The four functions share one core: one outcome for all of them.
        assert " | " not in result["outcome"], result
    record_times(inputs, results)
    return results


def record_times(inputs: list[bytes], results: list[dict]) -> None:
    """For bench/hostile.py: appends each input's case, size, outcome and time."""
    path = os.environ.get("FOLIOSCAN_HOSTILE_TIMES")
    if not path:
        return
    case = os.environ.get("PYTEST_CURRENT_TEST", "?").split(" ")[0]
    with open(path, "a", encoding="utf-8") as out:
        for i, (data, result) in enumerate(zip(inputs, results)):
            name = case if len(inputs) == 1 else f"{case}[{i}]"
            out.write(json.dumps({"case": name, "bytes": len(data), **result}) + "\n")


def outcome_of(data: bytes, functions: tuple[str, ...] = FUNCTIONS, memory: int = MEMORY_LIMIT) -> str:
    return run_hostile([data], functions, memory)[0]["outcome"]


# --- documents with cross-reference streams ---------------------------------------------


def xref_stream_document(in_file: dict[int, bytes], compressed: dict[int, tuple[int, int]], root: int = 1) -> bytes:
    """Objects at file offsets plus entries pointing into object streams (number, index),
    indexed by one uncompressed cross-reference stream with /W [1 4 2]."""
    out = bytearray(b"%PDF-1.7\n%\xe2\xe3\xcf\xd3\n")
    offsets: dict[int, int] = {}
    for num in sorted(in_file):
        offsets[num] = len(out)
        out += f"{num} 0 obj\n".encode() + in_file[num] + b"\nendobj\n"
    xref_num = max([*in_file, *compressed, 0]) + 1
    offsets[xref_num] = len(out)
    size = xref_num + 1
    rows = bytearray()
    for n in range(size):
        if n in offsets:
            rows += bytes([1]) + offsets[n].to_bytes(4, "big") + bytes(2)
        elif n in compressed:
            stream, index = compressed[n]
            rows += bytes([2]) + stream.to_bytes(4, "big") + index.to_bytes(2, "big")
        else:
            rows += bytes([0]) + bytes(4) + b"\xff\xff"
    out += (
        f"{xref_num} 0 obj\n<</Type/XRef /Size {size} /W [1 4 2] /Root {root} 0 R /Length {len(rows)}>>\n"
        "stream\n"
    ).encode()
    out += rows + b"\nendstream\nendobj\n"
    out += f"startxref\n{offsets[xref_num]}\n%%EOF\n".encode()
    return bytes(out)


def catalog_and_page(content_ref: str = "") -> dict[int, bytes]:
    contents = f"/Contents {content_ref}" if content_ref else ""
    return {
        1: b"<</Type/Catalog /Pages 2 0 R>>",
        2: b"<</Type/Pages /Kids [3 0 R] /Count 1>>",
        3: f"<</Type/Page /Parent 2 0 R /MediaBox [0 0 612 792] {contents}>>".encode(),
    }


def stream_object(data: bytes, keys: str = "") -> bytes:
    return f"<<{keys} /Length {len(data)}>>\nstream\n".encode() + data + b"\nendstream"


def deflate_of_zeros(size: int) -> bytes:
    """A zlib stream of `size` zero bytes, compressed in pieces to keep this process small."""
    compressor = zlib.compressobj(9)
    chunk = bytes(1 << 20)
    parts = []
    left = size
    while left > 0:
        piece = chunk if left >= len(chunk) else chunk[:left]
        parts.append(compressor.compress(piece))
        left -= len(piece)
    parts.append(compressor.flush())
    return b"".join(parts)


# --- the cases ----------------------------------------------------------------------------


def test_one_hundred_thousand_nested_arrays() -> None:
    nested = "[" * 100_000 + "]" * 100_000
    # In the page dictionary, which must be parsed: too deep is an error.
    in_page = text_document(["BT ET"], page_extra="/Nested " + nested)
    assert outcome_of(in_page).startswith("ValueError")
    # In content, a broken operand ends the page's operations; the page itself stands.
    in_content = text_document([nested + " BT /F1 9 Tf (after) Tj ET"])
    assert outcome_of(in_content) == "ok"


def test_length_that_refers_to_itself_or_a_cycle() -> None:
    content = b"BT /F1 12 Tf 72 720 Td (loop) Tj ET"
    pdf = Pdf()
    pdf.add(1, "<</Type/Catalog /Pages 2 0 R>>")
    pdf.add(2, "<</Type/Pages /Kids [3 0 R] /Count 1>>")
    pdf.add(3, "<</Type/Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents 4 0 R>>")
    pdf.add(4, b"<</Length 4 0 R>>\nstream\n" + content + b"\nendstream")
    own = pdf.build()
    pdf.add(4, b"<</Length 5 0 R>>\nstream\n" + content + b"\nendstream")
    pdf.add(5, b"<</Length 4 0 R>>\nstream\n" + content + b"\nendstream")
    pair = pdf.build()
    for data in (own, pair):
        # The length cannot be read, and the data is found by its "endstream".
        assert outcome_of(data) == "ok"


def test_object_stream_that_contains_itself() -> None:
    objects = catalog_and_page("6 0 R")
    # Object 5 is declared to live in object stream 5; 6 lives in 5 as well.
    body = b"5 0 6 20 "
    objects[4] = stream_object(body + b"<</Type/ObjStm>> 6 0 obj", "/Type/ObjStm /N 2 /First 9")
    data = xref_stream_document(objects, {5: (5, 0), 6: (5, 1)})
    assert outcome_of(data).startswith("ValueError")
    objects[3] = b"<</Type/Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents 6 0 R>>"
    data = xref_stream_document({k: v for k, v in objects.items() if k != 4}, {5: (5, 0), 6: (5, 1), 4: (4, 0)})
    assert outcome_of(data).startswith("ValueError")


def test_page_tree_cycles() -> None:
    self_kid = Pdf()
    self_kid.add(1, "<</Type/Catalog /Pages 2 0 R>>")
    self_kid.add(2, "<</Type/Pages /Kids [2 0 R] /Count 1>>")
    loop = Pdf()
    loop.add(1, "<</Type/Catalog /Pages 2 0 R>>")
    loop.add(2, "<</Type/Pages /Kids [3 0 R] /Count 1>>")
    loop.add(3, "<</Type/Pages /Kids [2 0 R 4 0 R] /Count 1>>")
    loop.add(4, "<</Type/Page /MediaBox [0 0 10 10]>>")
    # Each node listing the next one twice: 2^38 paths if walked naively.
    shared = Pdf()
    shared.add(1, "<</Type/Catalog /Pages 2 0 R>>")
    for level in range(2, 40):
        shared.add(level, f"<</Type/Pages /Kids [{level + 1} 0 R {level + 1} 0 R] /Count 2>>")
    shared.add(40, "<</Type/Page /MediaBox [0 0 10 10]>>")
    # A node already entered is skipped: cycles end, shared subtrees are walked once.
    for data in (self_kid.build(), loop.build(), shared.build()):
        assert outcome_of(data) == "ok"


def test_tiny_xref_stream_of_sixteen_million_records() -> None:
    # 16 KiB of compressed zeros: 16 million one-byte (free) records.
    rows = zlib.compress(bytes(16 << 20), 9)
    body = bytearray(b"%PDF-1.7\n")
    objects = catalog_and_page()
    offsets = {}
    for num in sorted(objects):
        offsets[num] = len(body)
        body += f"{num} 0 obj\n".encode() + objects[num] + b"\nendobj\n"
    xref_at = len(body)
    body += (
        f"9 0 obj\n<</Type/XRef /Size {16 << 20} /W [1 0 0] /Root 1 0 R /Filter /FlateDecode "
        f"/Length {len(rows)}>>\nstream\n"
    ).encode() + rows + b"\nendstream\nendobj\n"
    body += f"startxref\n{xref_at}\n%%EOF\n".encode()
    assert outcome_of(bytes(body)) == "ValueError: InvalidXref: too many xref entries"


def test_huge_object_count_in_a_tiny_object_stream() -> None:
    objects = catalog_and_page("6 0 R")
    objects[5] = stream_object(b"6 0 BT ET", f"/Type/ObjStm /N {1 << 40} /First 4")
    data = xref_stream_document(objects, {6: (5, 0)})
    assert outcome_of(data).startswith("ValueError")


@pytest.fixture(scope="module")
def flate_bomb() -> bytes:
    # Just past the decoded-output bound of one stream (1 GiB): about 1 MiB compressed.
    return deflate_of_zeros((1 << 30) + (1 << 20))


def test_flate_bomb_past_the_output_bound(flate_bomb: bytes) -> None:
    pdf = Pdf()
    pdf.add(1, "<</Type/Catalog /Pages 2 0 R>>")
    pdf.add(2, "<</Type/Pages /Kids [3 0 R] /Count 1>>")
    pdf.add(3, "<</Type/Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents 4 0 R>>")
    pdf.add(4, stream_object(flate_bomb, "/Filter /FlateDecode"))
    data = pdf.build()
    assert outcome_of(data, ("parse",)) == "ValueError: BadStream: corrupt DEFLATE data"


def test_flate_bomb_through_every_stage(flate_bomb: bytes) -> None:
    # The same bomb as an object stream and as the second filter of a chain.
    objects = catalog_and_page("6 0 R")
    objects[5] = stream_object(flate_bomb, "/Type/ObjStm /N 1 /First 4 /Filter /FlateDecode")
    assert outcome_of(xref_stream_document(objects, {6: (5, 0)}), ("parse",)).startswith("ValueError")
    pdf = Pdf()
    pdf.add(1, "<</Type/Catalog /Pages 2 0 R>>")
    pdf.add(2, "<</Type/Pages /Kids [3 0 R] /Count 1>>")
    pdf.add(3, "<</Type/Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents 4 0 R>>")
    pdf.add(4, stream_object(zlib.compress(flate_bomb), "/Filter [/FlateDecode /FlateDecode]"))
    assert outcome_of(pdf.build(), ("parse",)) == "ValueError: BadStream: corrupt DEFLATE data"


def test_many_fonts_stored_in_one_bomb_object_stream(flate_bomb: bytes) -> None:
    # 5,000 fonts stored in an object stream that fails to decode: each font is skipped,
    # and the stream is decoded once, not once per font.
    objects = catalog_and_page()
    fonts = " ".join(f"/F{i} {100 + i} 0 R" for i in range(5000))
    objects[3] = f"<</Type/Page /Parent 2 0 R /MediaBox [0 0 612 792] /Resources <</Font <<{fonts}>>>>>>".encode()
    objects[5] = stream_object(flate_bomb, "/Type/ObjStm /N 5000 /First 10 /Filter /FlateDecode")
    data = xref_stream_document(objects, {100 + i: (5, i) for i in range(5000)})
    assert outcome_of(data) == "ok"


def test_contents_array_repeating_a_large_stream() -> None:
    # 256 references to one stream of 64 MiB of spaces: 16 GiB of page content. The
    # joined content is bounded like one stream (1 GiB); each distinct stream is decoded
    # once and the joined size checked before copying, so this fails after one decode
    # of 64 MiB, within the memory of the other cases.
    compressor = zlib.compressobj(9)
    big = compressor.compress(b" " * (64 << 20)) + compressor.flush()
    pdf = Pdf()
    pdf.add(1, "<</Type/Catalog /Pages 2 0 R>>")
    pdf.add(2, "<</Type/Pages /Kids [3 0 R] /Count 1>>")
    refs = " ".join(["4 0 R"] * 256)
    pdf.add(3, f"<</Type/Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents [{refs}]>>")
    pdf.add(4, stream_object(big, "/Filter /FlateDecode"))
    outcome = outcome_of(pdf.build(), ("parse",))
    assert outcome == "ValueError: BadStream: page content too large"


def shared_by_pages(pages: int, shared: bytes, page_keys: str, extra: dict[int, str] | None = None) -> bytes:
    """`pages` pages, each naming object 5 (`shared`) through `page_keys`."""
    pdf = Pdf()
    pdf.add(1, "<</Type/Catalog /Pages 2 0 R>>")
    kids = " ".join(f"{10 + i} 0 R" for i in range(pages))
    pdf.add(2, f"<</Type/Pages /Kids [{kids}] /Count {pages}>>")
    pdf.add(5, shared)
    for num, body in (extra or {}).items():
        pdf.add(num, body)
    for i in range(pages):
        pdf.add(10 + i, f"<</Type/Page /Parent 2 0 R {page_keys}>>")
    return pdf.build()


@pytest.fixture(scope="module")
def zeros_128_mib() -> bytes:
    return deflate_of_zeros(128 << 20)


def test_every_page_naming_one_large_content_stream(zeros_128_mib: bytes) -> None:
    # 200 pages of 128 MiB of content each: the interpreted content of the whole call
    # is bounded, so the call ends after a few pages instead of decoding 25 GiB.
    data = shared_by_pages(200, stream_object(zeros_128_mib, "/Filter /FlateDecode"), "/Contents 5 0 R")
    assert outcome_of(data, ("parse",)) == "ValueError: BadStream: document content too large"


def test_every_page_naming_one_large_image(zeros_128_mib: bytes) -> None:
    # Whether an image decodes is learnt once, not once per page.
    image = stream_object(zeros_128_mib, "/Type/XObject /Subtype/Image /Width 1 /Height 1 /Filter /FlateDecode")
    data = shared_by_pages(200, image, "/Resources <</XObject <</Im1 5 0 R /Im2 5 0 R>>>>")
    assert outcome_of(data, ("parse",)) == "ok"


def test_every_page_naming_one_large_tounicode_map(zeros_128_mib: bytes) -> None:
    # A ToUnicode map is read once per call, not once per page and font.
    fonts = {
        6: "<</Type/Font /Subtype/Type1 /BaseFont/Helvetica /ToUnicode 5 0 R>>",
        7: "<</Type/Font /Subtype/Type0 /ToUnicode 5 0 R /DescendantFonts [8 0 R]>>",
        8: "<</Type/Font /Subtype/CIDFontType2>>",
        9: stream_object(b"BT /F1 9 Tf (a) Tj /F2 9 Tf <0001> Tj ET"),
    }
    data = shared_by_pages(
        100, stream_object(zeros_128_mib, "/Filter /FlateDecode"),
        "/Resources <</Font <</F1 6 0 R /F2 7 0 R>>>> /Contents 9 0 R", fonts,
    )
    assert outcome_of(data, ("parse",)) == "ok"


def test_broken_object_named_by_many_fonts() -> None:
    # An unterminated array of a million numbers named as 20,000 fonts: a font that
    # cannot be read is skipped, and the broken object is parsed once, not 20,000 times.
    fonts = " ".join(f"/F{i} 5 0 R" for i in range(20_000))
    data = shared_by_pages(1, b"[" + b"0 " * 1_000_000, f"/Resources <</Font <<{fonts}>>>>")
    assert outcome_of(data) == "ok"


def test_predictor_with_columns_of_two_to_the_forty() -> None:
    content = zlib.compress(b"\x00BT ET" * 10)
    pdf = Pdf()
    pdf.add(1, "<</Type/Catalog /Pages 2 0 R>>")
    pdf.add(2, "<</Type/Pages /Kids [3 0 R] /Count 1>>")
    pdf.add(3, "<</Type/Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents 4 0 R>>")
    pdf.add(4, stream_object(content, f"/Filter /FlateDecode /DecodeParms <</Predictor 12 /Columns {1 << 40}>>"))
    assert outcome_of(pdf.build()) == "ValueError: BadStream: bad predictor row filter"


def test_width_range_of_four_billion_codes() -> None:
    fonts = {"F1": "<</Type/Font /Subtype/Type0 /Encoding /Identity-H /DescendantFonts [31 0 R]>>"}
    extra = {31: "<</Type/Font /Subtype/CIDFontType2 /DW 500 /W [0 4294967295 250 1 [1 2 3] 4294967290 4294967295 7]>>"}
    data = text_document(["BT /F1 10 Tf 0 0 Td <0000FFFF0001> Tj ET"], fonts=fonts, extra_objects=extra)
    assert outcome_of(data) == "ok"


def test_many_tounicode_ranges_and_many_codes() -> None:
    # 100,000 ranges and 400,000 codes: looking each code up range by range would take
    # 10^10 steps.
    ranges = "".join(f"<{2 * i:04X}> <{2 * i:04X}> <0041>\n" for i in range(100_000))
    cmap = f"100000 beginbfrange\n{ranges}endbfrange".encode()
    codes = "".join(f"{(2 * i) % 0xFFFF:04X}" for i in range(400_000))
    fonts = {"F2": "<</Type/Font /Subtype/Type0 /ToUnicode 30 0 R /DescendantFonts [31 0 R]>>"}
    extra = {
        30: stream_object(zlib.compress(cmap), "/Filter /FlateDecode"),
        31: "<</Type/Font /Subtype/CIDFontType2>>",
    }
    data = text_document([f"BT /F2 10 Tf <{codes}> Tj ET"], compress=True, fonts=fonts, extra_objects=extra)
    assert outcome_of(data) == "ok"


def test_ten_million_save_operators() -> None:
    content = b"q " * 10_000_000 + b"BT /F1 9 Tf (deep) Tj ET " + b"Q " * 10_000_000
    pdf = Pdf()
    pdf.add(1, "<</Type/Catalog /Pages 2 0 R>>")
    pdf.add(2, "<</Type/Pages /Kids [3 0 R] /Count 1>>")
    pdf.add(3, "<</Type/Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents 4 0 R "
               "/Resources <</Font <</F1 5 0 R>>>>>>")
    pdf.add(4, stream_object(zlib.compress(content, 9), "/Filter /FlateDecode"))
    pdf.add(5, HELVETICA)
    assert outcome_of(pdf.build()) == "ok"


def test_nan_and_huge_coordinates() -> None:
    huge = "1" + "0" * 308  # 1e308 written out; the syntax has no exponents
    content = (
        f"{huge} 0 0 {huge} {huge} {huge} cm "
        f"BT /F1 {huge} Tf {huge} {huge} Td (a) Tj -{huge} -{huge} Td (b) Tj ET "
        f"BT /F1 9 Tf 1e308 1e308 Td (c) Tj {huge}0 0 Td (d) Tj ET "
        f"{huge} {huge} m -{huge} {huge} l S 0 0 {huge} {huge} re S "
        f"q {huge} 0 0 {huge} 0 0 cm 0 0 m 1 1 l S Q "
        "BT /F1 9 Tf 3 Tz 1 0 0 1 0 0 Tm [(x) -" + huge + " (y)] TJ ET"
    )
    data = text_document([content])
    assert outcome_of(data) == "ok"


def hostile_base() -> bytes:
    """A valid file touching most of the parser: fonts, a ToUnicode map, a table, an image."""
    cmap = (
        "1 begincodespacerange <0000> <FFFF> endcodespacerange\n"
        "1 beginbfchar <0001> <0066006C> endbfchar\n"
        "1 beginbfrange <0010> <0012> <0041> endbfrange"
    )
    content = (
        "0.5 w 72 700 m 272 700 l S 72 680 m 272 680 l S 72 660 m 272 660 l S "
        "72 660 m 72 700 l S 172 660 m 172 700 l S 272 660 m 272 700 l S "
        "BT /F1 10 Tf 80 685 Td (a) Tj 100 0 Td (b) Tj ET "
        "BT /F2 10 Tf 80 665 Td <00010010> Tj ET q 2 0 0 3 0 0 cm /Im1 Do Q"
    )
    return text_document(
        [content, "BT /F1 12 Tf 72 720 Td (Second page) Tj ET"],
        compress=True,
        fonts={"F1": HELVETICA, "F2": "<</Type/Font /Subtype/Type0 /ToUnicode 30 0 R /DescendantFonts [31 0 R]>>"},
        resources_extra="/XObject <</Im1 40 0 R>>",
        extra_objects={
            30: stream_object(zlib.compress(cmap.encode()), "/Filter /FlateDecode"),
            31: "<</Type/Font /Subtype/CIDFontType2 /DW 500 /W [1 [600] 16 18 550]>>",
            40: "<</Type/XObject /Subtype/Image /Width 2 /Height 3 /BitsPerComponent 8 "
                "/ColorSpace /DeviceGray /Length 6>>\nstream\n\x00\x01\x02\x03\x04\x05\nendstream",
        },
    )


def test_file_truncated_at_every_fiftieth() -> None:
    base = hostile_base()
    assert outcome_of(base) == "ok"
    cuts = [base[: len(base) * i // 50] for i in range(50)]
    run_hostile(cuts)


def test_random_byte_flips_of_a_valid_file() -> None:
    base = hostile_base()
    rng = random.Random(20240611)
    variants = []
    for _ in range(300):
        data = bytearray(base)
        for _ in range(rng.randint(1, 8)):
            data[rng.randrange(len(data))] = rng.randrange(256)
        variants.append(bytes(data))
    run_hostile(variants)


# --- forms and annotation appearances ------------------------------------------------------


def form_page(forms: dict[int, tuple[str, str]], page_content: str, page_extra: str = "") -> bytes:
    """A page painting /F0 (object 10); `forms` maps object numbers to (keys, content)."""
    pdf = Pdf()
    pdf.add(1, "<</Type/Catalog /Pages 2 0 R>>")
    pdf.add(2, "<</Type/Pages /Kids [3 0 R] /Count 1>>")
    pdf.add(3, "<</Type/Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents 4 0 R "
               f"/Resources <</XObject <</F0 10 0 R>>>> {page_extra}>>")
    pdf.add_stream(4, page_content)
    for num, (keys, content) in forms.items():
        pdf.add_stream(num, content, "/Subtype/Form /BBox [0 0 612 792] " + keys)
    return pdf.build()


def test_forms_and_appearances_that_paint_themselves_nest_deep_or_fail_to_decode() -> None:
    own = "/Resources <</XObject <</F0 10 0 R>>>>"
    chain = {
        n: (f"/Resources <</XObject <</F0 {n + 1} 0 R>>>>", "BT /F1 9 Tf (x) Tj ET /F0 Do")
        for n in range(10, 10_010)
    }
    # Each form paints the next 64 times: 64^12 paintings unless the page's budget stops it.
    fan = {n: (f"/Resources <</XObject <</F0 {n + 1} 0 R>>>>", "/F0 Do " * 64) for n in range(10, 40)}
    inputs = [
        form_page({10: (own, "BT (self) Tj ET /F0 Do")}, "/F0 Do"),
        form_page(chain, "/F0 Do"),
        form_page(fan, "/F0 Do"),
        form_page({10: ("/Filter /FlateDecode", "not deflate at all")}, "/F0 Do BT (page) Tj ET"),
        form_page({10: ("/Filter /Nope", "BT (x) Tj ET")}, "/F0 Do"),
        # An appearance painting itself, and one painting the page's self-painting form.
        form_page(
            {10: (own, "/F0 Do"), 11: ("/Resources <</XObject <</A 11 0 R /F0 10 0 R>>>>", "/A Do /F0 Do")},
            "",
            "/Annots [<</Subtype/Stamp /Rect [0 0 100 100] /AP <</N 11 0 R>>>>]",
        ),
    ]
    results = run_hostile(inputs)
    assert all(r["outcome"] == "ok" and r["recovered"] == "ok" for r in results), results


def test_many_inline_images_whose_data_never_ends() -> None:
    # Each image names an encoding whose end mark never comes and holds "EI" glued to
    # other bytes: recovery's search for the real end must not rescan the stream per image.
    many = b"BI /F /A85 ID xEIx " * 300_000 + b"BI /F /AHx ID xEIx " * 300_000
    inputs = [form_page({}, many.decode("latin-1") + " BT (after) Tj ET")]
    results = run_hostile(inputs)
    assert all(r["outcome"] == "ok" and r["recovered"] == "ok" for r in results), results


# --- the object layer: page records, cross-reference tables, stream ends, encryption -----
# Each case is sized so that a reader which copies, re-reads or searches per object fails
# it by memory (or runs for minutes); the builders are shared with bench/hostile.py.


def pages_sharing_resources(pages: int, numbers: int = 1_000_000) -> bytes:
    """`pages` pages inheriting one resources dictionary of about 2 bytes per number."""
    pdf = Pdf()
    pdf.add(1, "<</Type/Catalog /Pages 2 0 R>>")
    kids = " ".join(f"{10 + i} 0 R" for i in range(pages))
    pdf.add(2, f"<</Type/Pages /Kids [{kids}] /Count {pages} /Resources 5 0 R>>")
    pdf.add(5, b"<</Font <</F1 6 0 R>> /Pad [" + b"0 " * numbers + b"]>>")
    pdf.add(6, HELVETICA)
    pdf.add_stream(7, "BT /F1 9 Tf 72 720 Td (shared) Tj ET")
    for i in range(pages):
        pdf.add(10 + i, "<</Type/Page /Parent 2 0 R /Contents 7 0 R>>")
    return pdf.build()


def test_pages_sharing_one_large_resources_dictionary() -> None:
    # 100 pages, one 2 MB dictionary: held once by the resolver, not once per page.
    [result] = run_hostile([pages_sharing_resources(100)], FUNCTIONS)
    assert result["outcome"] == "ok" and result["recovered"] == "ok", result


def huge_xref_stream_document(records: int, sections: int = 0, gap: int = 0) -> bytes:
    """A catalog and page indexed by one Flate xref stream of `records` records (all but
    the first four free). With `sections`, classic sections chained by /Prev come after
    it, each with an /XRefStm offset into the `gap` spaces before the stream: one
    stream named `sections` times through distinct offsets."""
    body = bytearray(b"%PDF-1.7\n")
    offsets = {}
    for num, obj in sorted(catalog_and_page().items()):
        offsets[num] = len(body)
        body += f"{num} 0 obj\n".encode() + obj + b"\nendobj\n"
    rows = bytes(5) + b"".join(b"\x01" + offsets[n].to_bytes(4, "big") for n in (1, 2, 3))
    compressor = zlib.compressobj(9)
    data = compressor.compress(rows)
    chunk = bytes(5 << 20)
    left = (records - 4) * 5
    while left > 0:
        data += compressor.compress(chunk[: min(left, len(chunk))])
        left -= len(chunk)
    data += compressor.flush()
    body += b" " * gap
    xref_at = len(body)
    body += (
        f"9 0 obj\n<</Type/XRef /Size {records} /W [1 4 0] /Root 1 0 R /Filter /FlateDecode "
        f"/Length {len(data)}>>\nstream\n"
    ).encode() + data + b"\nendstream\nendobj\n"
    start = xref_at
    for k in range(sections):
        at = len(body)
        prev = f"/Prev {start} " if k else ""
        body += f"xref\n0 0\ntrailer\n<</Size {records} /Root 1 0 R {prev}/XRefStm {xref_at - 1 - k % gap}>>\n".encode()
        start = at
    body += f"startxref\n{start}\n%%EOF\n".encode()
    return bytes(body)


def test_xref_stream_of_eight_million_records_and_one_stream_named_many_times() -> None:
    # Eight million entries held as flat arrays, not a node per entry; a stream that a
    # hundred /XRefStm offsets in its leading white space name is read once.
    inputs = [huge_xref_stream_document(8_000_000), huge_xref_stream_document(2_000_000, 100, 100)]
    results = run_hostile(inputs)
    assert all(r["outcome"] == "ok" and r["recovered"] == "ok" for r in results), results


def streams_without_endstream(count: int) -> bytes:
    """A page listing `count` images whose data never end: no "endstream" follows any."""
    pdf = Pdf()
    pdf.add(1, "<</Type/Catalog /Pages 2 0 R>>")
    pdf.add(2, "<</Type/Pages /Kids [3 0 R] /Count 1>>")
    images = " ".join(f"/I{i} {10 + i} 0 R" for i in range(count))
    pdf.add(3, f"<</Type/Page /Parent 2 0 R /MediaBox [0 0 612 792] /Resources <</XObject <<{images}>>>>>>")
    for i in range(count):
        pdf.add(10 + i, "<</Subtype/Image /Width 1 /Height 1 /BitsPerComponent 8 /ColorSpace /DeviceGray>>\nstream\nx")
    return pdf.build()


def test_many_streams_without_endstream() -> None:
    # Each one's search would run to the end of the file, and its copy too: the file is
    # searched once over all of them, and the copies are bounded before they are made.
    [result] = run_hostile([streams_without_endstream(40_000)])
    assert result["outcome"] == "ok" and result["recovered"] == "ok", result


# The empty user password of an AES-256 (revision 6) dictionary: /U and /O of the crypt
# fixture r6_aes_256_empty_user, whose /ID[0] the dictionary does not need.
R6_EMPTY_USER_U = "4c24a2f0aa4aa17307529796f5b4cff9bf4eb1b82274ffab6b087eb2fd91e85c0d36fc174af06f6c15a342ff0d3e395e"
R6_EMPTY_USER_O = "615c22b369289ef4ae93060e465cf82cf8c6a6ba18b18c1d1e785c46875784fff6d2c93e608678c121fb52c102f03b36"


def aes256_with_long_wrapped_key(fonts: int, ue_bytes: int = 1 << 20) -> bytes:
    """A clear page naming `fonts` fonts, under an AES-256 dictionary that the empty
    password opens but whose /UE is `ue_bytes` long: no 32-byte file key."""
    names = " ".join(f"/F{i} {1000 + i} 0 R" for i in range(fonts))
    pdf = text_pdf(["BT /F0 12 Tf 72 700 Td (clear text) Tj ET"], fonts={})
    pdf.add(100, f"<</Type/Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents 200 0 R /Resources <</Font <<{names}>>>>>>")
    for i in range(fonts):
        pdf.add(1000 + i, HELVETICA)
    pdf.add(9, f"<</Filter/Standard /V 5 /R 6 /P -4 /O <{R6_EMPTY_USER_O}> /U <{R6_EMPTY_USER_U}> "
               f"/UE <{'41' * ue_bytes}>>>")
    pdf.trailer_extra = b"/Encrypt 9 0 R"
    return pdf.build()


def test_aes256_wrapped_key_of_a_megabyte() -> None:
    # The file key is 32 bytes or there is no handler; a megabyte copied for each of
    # 20,000 objects was 20 GB of copying.
    [result] = run_hostile([aes256_with_long_wrapped_key(20_000)])
    assert result["outcome"] == "ok" and result["recovered"] == "ok", result


# --- image checks, shared font names, embedded programs, forms and widths -----------------
# Builders shared with bench/hostile.py's growth families; each case is sized so that a
# reader holding what it only checks (an image's data, a copy of a name per run or per
# saved state, a font program past its bound) fails it by memory, or one paying work per
# byte of zero padding, per page or per font runs for minutes.


def lzw_codes(codes: list[int]) -> bytes:
    """Packs LZW codes most significant bit first, widening as a decoder with early change
    does (the encoder only emits codes whose table entries it knows are there)."""
    out = bytearray()
    acc = bits = 0
    width, size = 9, 258
    prev_known = False
    for code in codes:
        acc = (acc << width) | code
        bits += width
        while bits >= 8:
            bits -= 8
            out.append((acc >> bits) & 0xFF)
        acc &= (1 << bits) - 1
        if code == 256:
            width, size, prev_known = 9, 258, False
            continue
        if prev_known and size < 4096:
            size += 1
        prev_known = True
        if width < 12 and size + 1 >= (1 << width):
            width += 1
    if bits:
        out.append((acc << (8 - bits)) & 0xFF)
    return bytes(out)


def lzw_bomb(repeats: int, tail: list[int] | None = None) -> bytes:
    """Zeros in strings of growing length until the table is full, then the longest
    string (3,839 bytes) `repeats` times: about 2,500 bytes out per byte in."""
    codes = [256, 0, *range(258, 4096), *([4095] * repeats), *(tail or []), 257]
    return lzw_codes(codes)


def image_page(images: dict[int, bytes], pages: int = 1) -> bytes:
    """`pages` pages listing the image streams `images` (object number -> object body)."""
    pdf = Pdf()
    pdf.add(1, "<</Type/Catalog /Pages 2 0 R>>")
    kids = " ".join(f"{100 + i} 0 R" for i in range(pages))
    pdf.add(2, f"<</Type/Pages /Kids [{kids}] /Count {pages}>>")
    names = " ".join(f"/Im{num} {num} 0 R" for num in images)
    for num, body in images.items():
        pdf.add(num, body)
    pdf.add_stream(4, "BT /F1 9 Tf 72 720 Td (images) Tj ET")
    pdf.add(5, HELVETICA)
    for i in range(pages):
        pdf.add(100 + i, f"<</Type/Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents 4 0 R "
                         f"/Resources <</Font <</F1 5 0 R>> /XObject <<{names}>>>>>>")
    return pdf.build()


def image_object(data: bytes, keys: str) -> bytes:
    return stream_object(data, f"/Type/XObject /Subtype/Image /Width 1000 /Height 1000 /BitsPerComponent 8 "
                               f"/ColorSpace /DeviceGray {keys}")


@pytest.fixture(scope="module")
def zeros_below_the_bound() -> bytes:
    # 1 MiB short of one stream's decoded-output bound: data that decodes, at about 1 GiB.
    return deflate_of_zeros((1 << 30) - (1 << 20))


def images_checked(zeros: bytes) -> list[bytes]:
    return [
        # 768 MB of LZW output from 300 KB: a sound image, and one whose last code is bad
        # (after a clear, a code not in the table).
        image_page({10: image_object(lzw_bomb(200_000), "/Filter /LZWDecode")}),
        image_page({10: image_object(lzw_bomb(200_000, [256, 300]), "/Filter /LZWDecode")}),
        # Flate output just below the bound, plain and through a PNG predictor.
        image_page({10: image_object(zeros, "/Filter /FlateDecode")}),
        image_page({10: image_object(zeros, "/Filter /FlateDecode /DecodeParms <</Predictor 15 /Columns 999>>")}),
    ]


def test_images_are_checked_without_holding_their_data(zeros_below_the_bound: bytes) -> None:
    results = run_hostile(images_checked(zeros_below_the_bound))
    assert all(r["outcome"] == "ok" and r["recovered"] == "ok" for r in results), results


def long_font_name_runs(name_bytes: int, runs: int) -> bytes:
    """A page showing `runs` strings in a font whose resource name is `name_bytes` long."""
    name = "N" * name_bytes
    content = f"BT /{name} 9 Tf 72 700 Td " + "(x) Tj " * runs + "ET"
    return text_document([content], compress=True)


def long_font_name_saves(name_bytes: int, saves: int) -> bytes:
    """A long font name set, then `saves` nested "q": each saved state holds the name."""
    name = "N" * name_bytes
    content = f"BT /{name} 9 Tf ET " + "q " * saves + "BT /F1 9 Tf 72 700 Td (deep) Tj ET " + "Q " * saves
    return text_document([content], compress=True)


def test_runs_and_saved_states_share_their_font_name() -> None:
    inputs = [long_font_name_runs(1 << 20, 600), long_font_name_saves(1 << 18, 4000)]
    results = run_hostile(inputs)
    assert all(r["outcome"] == "ok" and r["recovered"] == "ok" for r in results), results


def embedded_truetype_document(programs: list[bytes], text: str = "(abc) Tj") -> bytes:
    """A page showing `text` in one TrueType font per program (each a FontFile2 stream,
    already Flate-compressed)."""
    pdf = Pdf()
    pdf.add(1, "<</Type/Catalog /Pages 2 0 R>>")
    pdf.add(2, "<</Type/Pages /Kids [3 0 R] /Count 1>>")
    fonts = " ".join(f"/T{i} {10 + 3 * i} 0 R" for i in range(len(programs)))
    shown = " ".join(f"/T{i} 9 Tf {text}" for i in range(len(programs)))
    pdf.add(3, f"<</Type/Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents 4 0 R /Resources <</Font <<{fonts}>>>>>>")
    pdf.add_stream(4, f"BT 72 700 Td {shown} ET")
    for i, program in enumerate(programs):
        num = 10 + 3 * i
        pdf.add(num, f"<</Type/Font /Subtype/TrueType /BaseFont/Bomb{i} /FirstChar 32 /LastChar 126 "
                     f"/FontDescriptor {num + 1} 0 R>>")
        pdf.add(num + 1, f"<</Type/FontDescriptor /FontName/Bomb{i} /Flags 4 /FontFile2 {num + 2} 0 R>>")
        pdf.add(num + 2, stream_object(program, "/Filter /FlateDecode"))
    return pdf.build()


def test_font_program_past_its_bound_is_not_decoded_to_the_end(zeros_below_the_bound: bytes) -> None:
    # About 1 GiB of program: reading stops at the program bound (64 MiB).
    [result] = run_hostile([embedded_truetype_document([zeros_below_the_bound])])
    assert result["outcome"] == "ok" and result["recovered"] == "ok", result


def sfnt(tables: dict[bytes, bytes], last_padding: int = 0) -> bytes:
    """A TrueType program holding `tables` (tag -> bytes), directory first; the last
    table's length counts `last_padding` bytes more, which the caller appends."""
    head = len(tables).to_bytes(2, "big") + bytes(6)
    out = bytearray(b"\x00\x01\x00\x00" + head)
    at = 12 + 16 * len(tables)
    body = bytearray()
    for k, (tag, data) in enumerate(tables.items()):
        length = len(data) + (last_padding if k == len(tables) - 1 else 0)
        out += tag + bytes(4) + (at + len(body)).to_bytes(4, "big") + length.to_bytes(4, "big")
        body += data
    return bytes(out + body)


def cmap_of_overlapping_segments(segments: int) -> bytes:
    """Four Unicode records, each naming its own format 4 subtable whose `segments`
    segments each claim every code."""
    seg_x2 = (2 * segments).to_bytes(2, "big")
    sub = b"\x00\x04" + bytes(4) + seg_x2 + bytes(6)
    sub += b"\xff\xff" * segments + bytes(2) + bytes(2 * segments) + b"\x00\x01" * segments + bytes(2 * segments)
    records = [(3, 10), (0, 4), (3, 1), (0, 3)]
    head = bytearray(b"\x00\x00" + len(records).to_bytes(2, "big"))
    first = 4 + 8 * len(records)
    for k, (platform, encoding) in enumerate(records):
        head += platform.to_bytes(2, "big") + encoding.to_bytes(2, "big") + (first + k * len(sub)).to_bytes(4, "big")
    return bytes(head + sub * len(records))


def padded_cmap_program(segments: int = 30_000, padding: int = 48 << 20) -> bytes:
    """A TrueType program of 100 glyphs whose cmap is padded with zeros, compressed."""
    maxp = b"\x00\x01\x00\x00" + (100).to_bytes(2, "big")
    program = sfnt({b"maxp": maxp, b"cmap": cmap_of_overlapping_segments(segments)}, padding)
    compressor = zlib.compressobj(9)
    data = compressor.compress(program)
    chunk = bytes(1 << 20)
    left = padding
    while left > 0:
        data += compressor.compress(chunk[: min(left, len(chunk))])
        left -= len(chunk)
    return data + compressor.flush()


def test_truetype_cmap_work_is_bounded_by_codes_not_by_table_bytes() -> None:
    # Eight programs of 30,000 segments each claiming all 65,536 codes, with 48 MiB of
    # zeros after them: paid per table byte, that was billions of steps per program.
    program = padded_cmap_program()
    [result] = run_hostile([embedded_truetype_document([program] * 8)])
    assert result["outcome"] == "ok" and result["recovered"] == "ok", result


def forms_on_every_page(pages: int, fan: int = 64, levels: int = 30) -> bytes:
    """`pages` pages each painting a form that paints the next `fan` times, `levels` deep."""
    pdf = Pdf()
    pdf.add(1, "<</Type/Catalog /Pages 2 0 R>>")
    kids = " ".join(f"{1000 + i} 0 R" for i in range(pages))
    pdf.add(2, f"<</Type/Pages /Kids [{kids}] /Count {pages}>>")
    pdf.add_stream(4, "/F0 Do")
    for n in range(10, 10 + levels):
        pdf.add_stream(n, "/F0 Do " * fan, f"/Subtype/Form /BBox [0 0 612 792] /Resources <</XObject <</F0 {n + 1} 0 R>>>>")
    for i in range(pages):
        pdf.add(1000 + i, "<</Type/Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents 4 0 R "
                          "/Resources <</XObject <</F0 10 0 R>>>>>>")
    return pdf.build()


def fonts_sharing_widths(fonts: int, ranges: int = 256) -> bytes:
    """`fonts` composite fonts sharing one /W array of `ranges` ranges of 256 codes."""
    widths = " ".join(f"{256 * k} {256 * k + 255} {500 + k % 7}" for k in range(ranges))
    names = " ".join(f"/C{i} {100 + i} 0 R" for i in range(fonts))
    shown = " ".join(f"/C{i} 9 Tf <0041> Tj" for i in range(fonts))
    pdf = Pdf()
    pdf.add(1, "<</Type/Catalog /Pages 2 0 R>>")
    pdf.add(2, "<</Type/Pages /Kids [3 0 R] /Count 1>>")
    pdf.add(3, f"<</Type/Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents 4 0 R /Resources <</Font <<{names}>>>>>>")
    pdf.add_stream(4, f"BT 72 700 Td {shown} ET", compress=True)
    pdf.add(5, f"[{widths}]")
    pdf.add(6, "<</Type/Font /Subtype/CIDFontType2 /BaseFont/Shared /DW 1000 /W 5 0 R "
               "/CIDSystemInfo <</Registry (Adobe) /Ordering (Identity) /Supplement 0>>>>")
    for i in range(fonts):
        pdf.add(100 + i, "<</Type/Font /Subtype/Type0 /BaseFont/Shared /Encoding /Identity-H /DescendantFonts [6 0 R]>>")
    return pdf.build()


def test_form_budget_is_one_per_call_and_shared_widths_are_read_once() -> None:
    results = run_hostile([forms_on_every_page(200), fonts_sharing_widths(2000)])
    assert all(r["outcome"] == "ok" and r["recovered"] == "ok" for r in results), results


def actual_text_spans(text_bytes: int, spans: int) -> bytes:
    """`spans` marked-content spans naming one /ActualText of `text_bytes` bytes, stored
    (with its properties) in a compressed object stream."""
    objects = catalog_and_page("4 0 R")
    content = zlib.compress(b"BT /F1 9 Tf 72 700 Td " + b"/Span /P1 BDC (x) Tj EMC " * spans + b"ET", 9)
    objects[3] = (b"<</Type/Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents 4 0 R "
                  b"/Resources <</Font <</F1 5 0 R>> /Properties <</P1 7 0 R>>>>>>")
    objects[4] = stream_object(content, "/Filter /FlateDecode")
    objects[5] = HELVETICA.encode()
    properties = b"7 0 <</ActualText (" + b"A" * text_bytes + b")>>"
    objects[6] = stream_object(zlib.compress(properties, 9), "/Type/ObjStm /N 1 /First 4 /Filter /FlateDecode")
    return xref_stream_document(objects, {7: (6, 0)})


def widgets_showing_one_value(lines: int, widgets: int) -> bytes:
    """A text field whose value of `lines` lines (in a compressed object stream) is shown
    by `widgets` widgets of a form that needs appearances."""
    kids = " ".join(f"{100 + i} 0 R" for i in range(widgets))
    objects = {
        1: b"<</Type/Catalog /Pages 2 0 R /AcroForm <</Fields [8 0 R] /NeedAppearances true>>>>",
        2: b"<</Type/Pages /Kids [3 0 R] /Count 1>>",
        3: f"<</Type/Page /Parent 2 0 R /MediaBox [0 0 612 792] /Annots [{kids}]>>".encode(),
    }
    for i in range(widgets):
        objects[100 + i] = f"<</Type/Annot /Subtype/Widget /Parent 8 0 R /Rect [0 {i} 200 {i + 20}]>>".encode()
    field = b"8 0 <</FT /Tx /T (f) /DA (/Helv 9 Tf) /V (" + b"ab\\n" * lines + f") /Kids [{kids}]>>".encode()
    objects[7] = stream_object(zlib.compress(field, 9), "/Type/ObjStm /N 1 /First 4 /Filter /FlateDecode")
    return xref_stream_document(objects, {8: (7, 0)})


def test_replacement_text_and_field_values_are_read_once_within_an_allowance() -> None:
    # A megabyte of /ActualText named by 600 spans, and a value of 100,000 lines shown by
    # 40 widgets: each was decoded again for every use and copied into every run.
    results = run_hostile([actual_text_spans(1 << 20, 600), widgets_showing_one_value(100_000, 40)])
    assert all(r["outcome"] == "ok" and r["recovered"] == "ok" for r in results), results


# --- recovery's look-ups, rebuilds and object streams read on demand -----------------------
# Growth families are the `growth_*` functions: each builds an input of size `n` (its
# default is the family's base size), and bench/hostile.py times every family at n and
# 4n (linear work means a ratio near 4). The cases below run each family at 4n.


def growth_do_names(n: int = 10_000) -> bytes:
    """One page whose content paints `n` forms by `n` distinct names of its /XObject."""
    names = " ".join(f"/X{i} 9 0 R" for i in range(n))
    content = "\n".join(f"/X{i} Do" for i in range(n))
    pdf = text_pdf([content], resources_extra=f"/XObject <<{names}>>")
    pdf.add_stream(9, "", "/Type/XObject /Subtype/Form /BBox [0 0 1 1]")
    return pdf.build()


def growth_bdc_names(n: int = 10_000) -> bytes:
    """One page whose `n` marked spans each name their own entry of /Properties."""
    names = " ".join(f"/P{i} 9 0 R" for i in range(n))
    content = "BT /F1 9 Tf 72 700 Td " + " ".join(f"/Span /P{i} BDC (x) Tj EMC" for i in range(n)) + " ET"
    pdf = text_pdf([content], resources_extra=f"/Properties <<{names}>>")
    pdf.add(9, "<</ActualText (y)>>")
    return pdf.build()


def growth_appearance_states(n: int = 10_000) -> bytes:
    """`n` annotations sharing one appearance dictionary of `n` states, each choosing its
    own by /AS."""
    states = " ".join(f"/S{i} 9 0 R" for i in range(n))
    annots = " ".join(f"{1000 + i} 0 R" for i in range(n))
    pdf = text_pdf(["BT /F1 9 Tf 72 700 Td (page) Tj ET"], page_extra=f"/Annots [{annots}]")
    pdf.add_stream(9, "", "/Type/XObject /Subtype/Form /BBox [0 0 1 1]")
    pdf.add(8, f"<<{states}>>")
    for i in range(n):
        pdf.add(1000 + i, f"<</Type/Annot /Subtype/Square /Rect [0 0 1 1] /AP <</N 8 0 R>> /AS /S{i}>>")
    return pdf.build()


def growth_field_parents(n: int = 10_000) -> bytes:
    """`n` widgets under one chain of parents 30 deep whose top has `n` other keys: every
    inherited entry a widget asks for walks the chain to that top."""
    top_keys = " ".join(f"/K{i} {i}" for i in range(n))
    widgets = [f"{1000 + i} 0 R" for i in range(n)]
    pdf = text_pdf(["BT /F1 9 Tf 72 700 Td (page) Tj ET"], page_extra=f"/Annots [{' '.join(widgets)}]")
    pdf.add(1, "<</Type/Catalog /Pages 2 0 R /AcroForm <</Fields [500 0 R] /NeedAppearances true>>>>")
    pdf.add(500, f"<<{top_keys} /T (top)>>")
    for depth in range(1, 30):
        pdf.add(500 + depth, f"<</Parent {499 + depth} 0 R /T (l{depth})>>")
    for i in range(n):
        pdf.add(1000 + i, f"<</Type/Annot /Subtype/Widget /Parent 529 0 R /T (w{i}) /Rect [0 0 50 10]>>")
    return pdf.build()


def growth_one_long_paragraph(n: int = 16_000) -> bytes:
    """One tall page of `n` lines that all continue one paragraph, each a few words set
    apart: every line was compared with all the lines before it."""
    lines = [f"1 0 0 1 62 {12 * (n - i) + 20} Tm ({'Row' if i % 2 else 'R'}) Tj 1 0 0 1 90 {12 * (n - i) + 20} Tm (v) Tj"
             for i in range(n)]
    content = "BT /F1 10 Tf " + " ".join(lines) + " ET"
    return text_pdf([content], media_box=f"[0 0 612 {12 * n + 60}]").build()


def unused_object_stream_bombs(count: int, zeros: bytes) -> bytes:
    """A one-page document without a cross-reference table, and `count` object streams
    that nothing names, each inflating to a gigabyte."""
    body = text_document(["BT /F1 12 Tf 72 700 Td (kept) Tj ET"])
    body = body[: body.rindex(b"\nxref") + 1]
    for i in range(count):
        keys = f"/Type/ObjStm /N 1 /First 8 /Filter /FlateDecode /Length {len(zeros)}"
        body += f"{700 + i} 0 obj\n<<{keys}>>\nstream\n".encode() + zeros + b"\nendstream\nendobj\n"
    return body


@pytest.mark.parametrize("build", [growth_do_names, growth_bdc_names, growth_appearance_states, growth_field_parents,
                                   growth_one_long_paragraph])
def test_lookups_by_name_in_large_dictionaries(build) -> None:
    # A name looked up once per operation or annotation in a dictionary as large as the
    # page: indexed once, not scanned entry by entry every time.
    [result] = run_hostile([build(4 * build.__defaults__[0])])
    assert result["outcome"] == "ok" and result["recovered"] == "ok", result


def test_unused_object_stream_bombs_in_a_file_rebuilt(flate_bomb: bytes) -> None:
    # The rebuilt table lists the object streams; none is decoded until one of its
    # objects is asked for, and nothing asks.
    [result] = run_hostile([unused_object_stream_bombs(3, flate_bomb)])
    assert result["recovered"] == "ok", result
