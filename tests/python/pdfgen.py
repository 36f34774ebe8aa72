"""A small PDF writer for tests: exact offsets, classic xref tables or xref streams,
object streams, hybrid files, incremental updates, optional Flate.

Documents are described as numbered object bodies; `build` lays them out, computes
every offset and writes the cross-reference section and trailer, so no test carries a
hand-counted number. Hooks let a test damage one piece (a key of the xref stream, its
data, an object stream header) while every offset stays exact.
"""

from __future__ import annotations

import re
import zlib
from collections.abc import Callable, Iterable

# An xref record: (type, field 2, field 3) as in a cross-reference stream.
Row = tuple[int, int, int]
# Stream dictionary entries as key -> value text, in writing order.
Keys = dict[str, str]
StreamHook = Callable[[Keys, bytes], tuple[Keys, bytes]]


def pdf_string(text: str) -> bytes:
    """A literal string with the characters that need it escaped."""
    raw = text.encode("latin-1")
    raw = raw.replace(b"\\", b"\\\\").replace(b"(", b"\\(").replace(b")", b"\\)")
    return b"(" + raw + b")"


class Pdf:
    def __init__(self, version: str = "1.4") -> None:
        self.header = b"%PDF-" + version.encode() + b"\n%\xe2\xe3\xcf\xd3\n"
        self.objects: dict[int, bytes] = {}
        self.trailer_extra = b""
        self.root = b"1 0 R"

    def add(self, num: int, body: bytes | str) -> int:
        self.objects[num] = body.encode("latin-1") if isinstance(body, str) else body
        return num

    def add_stream(self, num: int, data: bytes | str, keys: str = "", compress: bool = False) -> int:
        if isinstance(data, str):
            data = data.encode("latin-1")
        if compress:
            data = zlib.compress(data)
            keys = "/Filter /FlateDecode " + keys
        head = f"<<{keys} /Length {len(data)}>>\nstream\n".encode()
        return self.add(num, head + data + b"\nendstream")

    def trailer_keys(self, size: int) -> bytes:
        out = f"/Size {size}".encode()
        if self.root:
            out += b" /Root " + self.root
        if self.trailer_extra:
            out += b" " + self.trailer_extra
        return out

    def build(
        self,
        *,
        xref: str = "table",
        object_streams: Iterable[Iterable[int]] = (),
        compress: bool = True,
        xref_hook: StreamHook | None = None,
        objstm_hook: StreamHook | None = None,
        rows_hook: Callable[[dict[int, Row]], None] | None = None,
    ) -> bytes:
        """Lays the document out.

        xref: "table" (a classic table), "stream" (a cross-reference stream) or
        "hybrid" (a classic table for the objects in the file whose trailer's /XRefStm
        points at a stream listing the compressed ones). object_streams: groups of
        object numbers to store in object streams (numbered after the last object);
        they need an xref stream or a hybrid file. compress: Flate for the object and
        xref streams. The hooks see the stream keys and data (xref data already
        encoded, object stream data before compression) or the xref rows, and may
        change them.
        """
        if xref not in ("table", "stream", "hybrid"):
            raise ValueError(xref)
        groups = [list(g) for g in object_streams]
        if groups and xref == "table":
            raise ValueError("object streams need an xref stream")
        compressed = {n for g in groups for n in g}
        for n in compressed:
            if b"endstream" in self.objects[n]:
                raise ValueError(f"object {n} is a stream and cannot be compressed")
        out = bytearray(self.header)
        rows: dict[int, Row] = {}
        for num in sorted(self.objects):
            if num in compressed:
                continue
            rows[num] = (1, len(out), 0)
            out += f"{num} 0 obj\n".encode() + self.objects[num] + b"\nendobj\n"
        next_num = max(self.objects, default=0) + 1
        for group in groups:
            num = next_num
            next_num += 1
            header, body = [], bytearray()
            for index, member in enumerate(group):
                header.append(f"{member} {len(body)}")
                body += self.objects[member] + b"\n"
                rows[member] = (2, num, index)
            head = (" ".join(header) + "\n").encode()
            keys = {"Type": "/ObjStm", "N": str(len(group)), "First": str(len(head))}
            data = head + bytes(body)
            if objstm_hook:
                keys, data = objstm_hook(keys, data)
            if compress:
                keys["Filter"] = "/FlateDecode"
                data = zlib.compress(data)
            rows[num] = (1, len(out), 0)
            out += f"{num} 0 obj\n".encode() + stream_object(keys, data) + b"\nendobj\n"

        if xref == "table":
            xref_at = len(out)
            out += classic_table({n: r for n, r in rows.items()}, self.trailer_keys(next_num))
        else:
            stm_num = next_num
            size = stm_num + 1
            stm_at = len(out)
            rows[stm_num] = (1, stm_at, 0)
            if xref == "stream":
                listed = dict(rows)
                listed.setdefault(0, (0, 0, 65535))
            else:
                listed = {n: r for n, r in rows.items() if r[0] == 2}
            if rows_hook:
                rows_hook(listed)
            keys: Keys = {"Type": "/XRef", "Size": str(size)}
            if xref == "stream":
                keys.update(parse_keys(self.trailer_keys(size).decode("latin-1")))
            keys["Index"] = "[" + " ".join(f"{a} {c}" for a, c in runs(sorted(listed))) + "]"
            widths = [1, byte_width(max((r[1] for r in listed.values()), default=0)),
                      byte_width(max((r[2] for r in listed.values()), default=0))]
            keys["W"] = "[" + " ".join(map(str, widths)) + "]"
            data = b"".join(encode_row(listed[n], widths) for n in sorted(listed))
            if compress:
                keys["Filter"] = "/FlateDecode"
                data = zlib.compress(data)
            if xref_hook:
                keys, data = xref_hook(keys, data)
            out += f"{stm_num} 0 obj\n".encode() + stream_object(keys, data) + b"\nendobj\n"
            if xref == "stream":
                xref_at = stm_at
            else:
                xref_at = len(out)
                in_file = {n: r for n, r in rows.items() if r[0] == 1}
                out += classic_table(in_file, self.trailer_keys(size) + f" /XRefStm {stm_at}".encode())
        out += f"startxref\n{xref_at}\n%%EOF\n".encode()
        return bytes(out)

    def update(
        self,
        base: bytes,
        objects: dict[int, bytes | str],
        *,
        xref: str = "table",
        free: Iterable[int] = (),
    ) -> bytes:
        """Appends an incremental update to `base`: the given objects (new versions of
        old numbers or new ones), the numbers in `free` marked free, and a new xref
        section (a table or a stream) whose /Prev is the base's startxref."""
        prev = int(base[base.rindex(b"startxref") + 9 :].split()[0])
        size = int(re.findall(rb"/Size (\d+)", base)[-1])
        out = bytearray(base)
        if not out.endswith(b"\n"):
            out += b"\n"
        rows: dict[int, Row] = {n: (0, 0, 1) for n in free}
        for num in sorted(objects):
            body = objects[num]
            body = body.encode("latin-1") if isinstance(body, str) else body
            rows[num] = (1, len(out), 0)
            out += f"{num} 0 obj\n".encode() + body + b"\nendobj\n"
        size = max([size, *(n + 1 for n in rows)])
        if xref == "table":
            xref_at = len(out)
            out += classic_table(rows, self.trailer_keys(size) + f" /Prev {prev}".encode())
        else:
            stm_num = size
            size += 1
            xref_at = len(out)
            rows[stm_num] = (1, xref_at, 0)
            widths = [1, byte_width(max(r[1] for r in rows.values())), 2]
            keys = {"Type": "/XRef", **parse_keys(self.trailer_keys(size).decode("latin-1"))}
            keys["Prev"] = str(prev)
            keys["Index"] = "[" + " ".join(f"{a} {c}" for a, c in runs(sorted(rows))) + "]"
            keys["W"] = "[" + " ".join(map(str, widths)) + "]"
            data = zlib.compress(b"".join(encode_row(rows[n], widths) for n in sorted(rows)))
            keys["Filter"] = "/FlateDecode"
            out += f"{stm_num} 0 obj\n".encode() + stream_object(keys, data) + b"\nendobj\n"
        out += f"startxref\n{xref_at}\n%%EOF\n".encode()
        return bytes(out)


def stream_object(keys: Keys, data: bytes) -> bytes:
    entries = "".join(f"/{k} {v} " for k, v in keys.items())
    return f"<<{entries}/Length {len(data)}>>\nstream\n".encode("latin-1") + data + b"\nendstream"


def parse_keys(text: str) -> Keys:
    """'/Size 9 /Root 1 0 R /ID [<a><b>]' as keys; enough for trailer entries."""
    keys: Keys = {}
    for m in re.finditer(r"/(\w+)\s+((?:\[[^\]]*\])|(?:<<.*?>>)|(?:\d+ \d+ R)|(?:[^/\s]+))", text):
        keys[m.group(1)] = m.group(2)
    return keys


def runs(numbers: list[int]) -> list[tuple[int, int]]:
    """Sorted object numbers as (first, count) subsections."""
    out: list[tuple[int, int]] = []
    for n in numbers:
        if out and out[-1][0] + out[-1][1] == n:
            out[-1] = (out[-1][0], out[-1][1] + 1)
        else:
            out.append((n, 1))
    return out


def byte_width(value: int) -> int:
    return max(1, (value.bit_length() + 7) // 8)


def encode_row(row: Row, widths: list[int]) -> bytes:
    return b"".join(v.to_bytes(w, "big") for v, w in zip(row, widths) if w)


def classic_table(rows: dict[int, Row], trailer: bytes) -> bytes:
    """An "xref" table with one subsection per run of numbers; object 0 is always
    listed free. Type 0 rows are free entries, type 1 rows in use."""
    rows = dict(rows)
    rows.setdefault(0, (0, 0, 65535))
    out = bytearray(b"xref\n")
    for first, count in runs(sorted(rows)):
        out += f"{first} {count}\n".encode()
        for n in range(first, first + count):
            kind, offset, gen = rows[n]
            letter = "n" if kind == 1 else "f"
            out += f"{offset:010d} {gen:05d} {letter} \n".encode()
    out += b"trailer\n<<" + trailer + b">>\n"
    return bytes(out)


HELVETICA = "<</Type/Font /Subtype/Type1 /BaseFont/Helvetica>>"


def text_pdf(
    pages: list[str],
    *,
    media_box: str = "[0 0 612 792]",
    fonts: dict[str, str] | None = None,
    compress: bool = False,
    page_extra: str = "",
    resources_extra: str = "",
    extra_objects: dict[int, bytes | str] | None = None,
) -> Pdf:
    """One page per content string; fonts map resource names to font dictionaries.

    Objects: 1 catalog, 2 page tree, 10.. fonts, 100+i page i, 200+i content i, extra
    objects at the numbers given.
    """
    fonts = {"F1": HELVETICA} if fonts is None else fonts
    pdf = Pdf()
    font_refs = []
    for i, (name, body) in enumerate(fonts.items()):
        pdf.add(10 + i, body)
        font_refs.append(f"/{name} {10 + i} 0 R")
    kids = " ".join(f"{100 + i} 0 R" for i in range(len(pages)))
    pdf.add(1, "<</Type/Catalog /Pages 2 0 R>>")
    pdf.add(2, f"<</Type/Pages /Kids [{kids}] /Count {len(pages)}>>")
    for i, content in enumerate(pages):
        pdf.add(
            100 + i,
            f"<</Type/Page /Parent 2 0 R /MediaBox {media_box} /Contents {200 + i} 0 R "
            f"/Resources <</Font <<{' '.join(font_refs)}>> {resources_extra}>> {page_extra}>>",
        )
        pdf.add_stream(200 + i, content, compress=compress)
    for num, body in (extra_objects or {}).items():
        pdf.add(num, body)
    return pdf


def text_document(pages: list[str], **options) -> bytes:
    """`text_pdf` laid out with a classic xref table."""
    return text_pdf(pages, **options).build()
