"""A small PDF writer for tests: exact offsets, classic xref tables, optional Flate.

Documents are described as numbered object bodies; `build` lays them out, computes
every offset and writes the cross-reference table and trailer, so no test carries a
hand-counted number.
"""

from __future__ import annotations

import zlib


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

    def build(self) -> bytes:
        out = bytearray(self.header)
        offsets: dict[int, int] = {}
        for num in sorted(self.objects):
            offsets[num] = len(out)
            out += f"{num} 0 obj\n".encode() + self.objects[num] + b"\nendobj\n"
        size = max(self.objects, default=0) + 1
        xref_at = len(out)
        out += f"xref\n0 {size}\n".encode()
        out += b"0000000000 65535 f \n"
        for n in range(1, size):
            if n in offsets:
                out += f"{offsets[n]:010d} 00000 n \n".encode()
            else:
                out += b"0000000000 00000 f \n"
        out += f"trailer\n<</Size {size}".encode()
        if self.root:
            out += b" /Root " + self.root
        out += b" " + self.trailer_extra + b">>\n"
        out += f"startxref\n{xref_at}\n%%EOF\n".encode()
        return bytes(out)


HELVETICA = "<</Type/Font /Subtype/Type1 /BaseFont/Helvetica>>"


def text_document(
    pages: list[str],
    *,
    media_box: str = "[0 0 612 792]",
    fonts: dict[str, str] | None = None,
    compress: bool = False,
    page_extra: str = "",
    resources_extra: str = "",
    extra_objects: dict[int, bytes | str] | None = None,
) -> bytes:
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
    return pdf.build()
