#!/usr/bin/env python3
"""Writes core/cmap/predefined_cmaps.inc and core/cmap/cid_unicode.inc: the predefined
CMaps of the Adobe CJK character collections (code -> CID) and each collection's CID ->
Unicode table, for composite fonts that name a predefined CMap as /Encoding or carry no
ToUnicode map.

The data is Adobe's public CMap resources (BSD-style license, kept in the headers of the
generated files), read here from Debian's poppler-data package. It is read only here: the
build uses the committed .inc files. To regenerate (Debian or Ubuntu):

    apt-get install -y poppler-data
    python3 scripts/make_cmaps.py [CMAP_DIR]

CMAP_DIR defaults to /usr/share/poppler/cMap. Only its Adobe-* folders are read (the
Identity CMaps are built in code); the package's cidToUnicode folder is not used: its
license is not Adobe's, and Adobe's own Adobe-<Ordering>-UCS2 CMaps give the CID ->
Unicode mapping with sequences of several code points.

What the .inc files hold:
- predefined_cmaps.inc: kPredefined, one row per CMap sorted by name (ordering,
  supplement, vertical writing, how its codes read as text, parent, Unicode table,
  codespace ranges, and its own entries); kCodespaces; kUnicodeTables; kCMapData, the
  entries as byte streams (format below).
  A CMap that uses another ("usecmap") names its parent by row index: the name is
  resolved here and the runtime takes the parent's codespace ranges and entries first,
  then the row's own, which win. The Unicode CMaps in UTF-8, UTF-16 and UTF-32 (UniJIS-UTF16-H, ...) hold the
  same mapping keyed by code point; it is stored once per distinct mapping as a Unicode
  table (code point -> CID) that the runtime turns into the CMap's code form, and the row's
  own entries hold only where the CMap differs from the table.
- cid_unicode.inc: kCidBmp, one 16-bit code point per CID of each ordering (0: no text;
  0xFFFF: see kCidExtras), concatenated in the order of Ordering; kCidExtras, sorted by
  (ordering, CID), for CIDs whose text is outside the Basic Multilingual Plane or several
  code points long, pointing into kCidExtraPoints; kOrderingTables, the offsets.

Byte streams (all numbers are unsigned LEB128 varints, "z" a zigzag-coded signed one):
  stream := group*
  group  := tag:byte runs:varint run*     tag = kind << 4 | code bytes (1-4; 0 for a
                                          Unicode table); kind 0 = CIDs, 1 = notdef CIDs
  run    := gap:varint count-1:varint delta:z
            first code = previous run's end + gap (0 at the group's start);
            first CID = previous run's end CID + delta (0 at the group's start);
            codes first..first+count-1 map to CIDs first CID..first CID+count-1.
            Notdef runs give all their codes the one CID, and a run's end CID is its CID.
Codes of several bytes are their big-endian value. Runs are sorted and disjoint.

Variation selectors (U+FE00-U+FE0F, U+E0100-U+E01EF) in Adobe's CID -> Unicode data are
dropped: they name a glyph variant, and extracted text compared or searched as text must
match the base character. A CID whose only text is U+FFFD or U+0000 has no text.
"""

from __future__ import annotations

import re
import sys
from dataclasses import dataclass, field
from pathlib import Path

ROOT = Path(__file__).resolve().parents[1]
OUT_CMAPS = ROOT / "core" / "cmap" / "predefined_cmaps.inc"
OUT_CID = ROOT / "core" / "cmap" / "cid_unicode.inc"

# In the order of folioscan::cmap::Ordering (Identity, the first value, has no table).
ORDERINGS = ["Japan1", "GB1", "CNS1", "Korea1", "KR", "Japan2"]
# Japan2 has no Adobe CID -> Unicode CMap; its table is the inverse of this CMap.
INVERTED_ORDERINGS = {"Japan2": "UniHojo-UTF32-H"}

# In the order of folioscan::cmap::CodeText.
CODE_TEXTS = ["None", "Ucs2", "Utf16", "Utf32", "Utf8"]

TOKEN = re.compile(
    rb"%[^\r\n]*|<<|>>|<[0-9A-Fa-f\s]*>|\((?:[^()\\]|\\.)*\)|/[^\s/\[\]<>(){}%]*|[\[\]{}]"
    rb"|[^\s/\[\]<>(){}%]+"
)


@dataclass
class CMapFile:
    name: str
    cmap_type: int | None = None
    wmode: int = 0
    use: str | None = None
    registry: str | None = None
    ordering: str | None = None
    supplement: int = 0
    has_bf: bool = False
    codespace: list[tuple[bytes, bytes]] = field(default_factory=list)
    cids: list[tuple[bytes, bytes, int]] = field(default_factory=list)  # reading order
    notdefs: list[tuple[bytes, bytes, int]] = field(default_factory=list)
    bfs: list[tuple[bytes, bytes, bytes]] = field(default_factory=list)  # lo, hi, UTF-16BE
    copyright: list[str] = field(default_factory=list)


def hex_bytes(token: bytes) -> bytes:
    return bytes.fromhex(token[1:-1].decode())


def read_cmap(path: Path) -> CMapFile:
    data = path.read_bytes()
    cmap = CMapFile(path.name)
    cmap.copyright = [
        line[len("%%Copyright:"):].rstrip()
        for line in data.decode("latin-1").splitlines()
        if line.startswith("%%Copyright:")
    ]
    tokens = [t for t in TOKEN.findall(data) if not t.startswith(b"%")]
    i = 0

    def block(end: bytes, width: int) -> list[list[bytes]]:
        nonlocal i
        entries = []
        i += 1
        while tokens[i] != end:
            entries.append(tokens[i:i + width])
            i += width
        return entries

    while i < len(tokens):
        t = tokens[i]
        if t == b"/CMapName":
            declared = tokens[i + 1][1:].decode()
            # One bf-only file of poppler-data declares another name; the file name is the
            # one documents use.
            if declared != cmap.name:
                print(f"note: {path} declares /CMapName /{declared}", file=sys.stderr)
        elif t == b"/CMapType":
            cmap.cmap_type = int(tokens[i + 1])
        elif t == b"/WMode":
            cmap.wmode = int(tokens[i + 1])
        elif t == b"/Registry" and cmap.registry is None:
            cmap.registry = tokens[i + 1][1:-1].decode()
        elif t == b"/Ordering" and cmap.ordering is None:
            cmap.ordering = tokens[i + 1][1:-1].decode()
        elif t == b"/Supplement" and not cmap.supplement:
            cmap.supplement = int(tokens[i + 1])
        elif t == b"usecmap":
            cmap.use = tokens[i - 1][1:].decode()
        elif t == b"begincodespacerange":
            cmap.codespace += [(hex_bytes(a), hex_bytes(b)) for a, b in block(b"endcodespacerange", 2)]
        elif t in (b"begincidrange", b"beginnotdefrange"):
            target = cmap.cids if t == b"begincidrange" else cmap.notdefs
            target += [(hex_bytes(a), hex_bytes(b), int(c)) for a, b, c in block(b"end" + t[5:], 3)]
        elif t in (b"begincidchar", b"beginnotdefchar"):
            target = cmap.cids if t == b"begincidchar" else cmap.notdefs
            target += [(hex_bytes(a), hex_bytes(a), int(c)) for a, c in block(b"end" + t[5:], 2)]
        elif t == b"beginbfchar":
            cmap.has_bf = True
            cmap.bfs += [(hex_bytes(a), hex_bytes(a), hex_bytes(c)) for a, c in block(b"endbfchar", 2)]
        elif t == b"beginbfrange":
            cmap.has_bf = True
            for a, b, c in block(b"endbfrange", 3):
                assert c.startswith(b"<"), (path, "array form of bfrange")
                cmap.bfs.append((hex_bytes(a), hex_bytes(b), hex_bytes(c)))
        i += 1
    return cmap


def code_value(code: bytes) -> int:
    return int.from_bytes(code, "big")


# --- Code maps ----------------------------------------------------------------------


def flatten(entries: list[tuple[bytes, bytes, int]], into: dict[tuple[int, int], int] | None = None,
            constant: bool = False):
    """(bytes, code) -> CID; later entries win, as in a CMap. `constant`: notdef ranges,
    which give all their codes one CID."""
    out = {} if into is None else into
    for lo, hi, cid in entries:
        assert len(lo) == len(hi) and 1 <= len(lo) <= 4, (lo, hi)
        # Every range of the data varies in its last byte only, so reading it as a range
        # of integers (what the runtime does) reads it as the CMap means it.
        assert lo[:-1] == hi[:-1], (lo, hi)
        a, b = code_value(lo), code_value(hi)
        for code in range(a, b + 1):
            out[(len(lo), code)] = cid if constant else cid + code - a
    return out


def runs_of(mapping: dict[tuple[int, int], int], constant: bool = False) -> list[list[int]]:
    """Sorted [bytes, first code, count, first CID] runs of consecutive codes and CIDs
    (`constant`: of consecutive codes with one CID)."""
    runs: list[list[int]] = []
    for key in sorted(mapping):
        length, code = key
        cid = mapping[key]
        last = runs[-1] if runs else None
        step = 0 if constant else last[2] if last else 0
        if last and last[0] == length and last[1] + last[2] == code and last[3] + step == cid:
            last[2] += 1
        else:
            runs.append([length, code, 1, cid])
    return runs


def varint(value: int) -> bytes:
    assert value >= 0
    out = bytearray()
    while True:
        byte = value & 0x7F
        value >>= 7
        if value:
            out.append(byte | 0x80)
        else:
            out.append(byte)
            return bytes(out)


def zigzag(value: int) -> bytes:
    return varint(value * 2 if value >= 0 else -value * 2 - 1)


def encode_groups(kind: int, runs: list[list[int]]) -> bytes:
    out = bytearray()
    by_length: dict[int, list[list[int]]] = {}
    for run in runs:
        by_length.setdefault(run[0], []).append(run)
    for length in sorted(by_length):
        group = by_length[length]
        out.append(kind << 4 | length)
        out += varint(len(group))
        end = end_cid = 0
        for _, code, count, cid in group:
            out += varint(code - end) + varint(count - 1) + zigzag(cid - end_cid)
            end, end_cid = code + count, cid if kind == 1 else cid + count
    return bytes(out)


def utf16_units(data: bytes) -> list[int]:
    assert len(data) % 2 == 0, data
    return [int.from_bytes(data[i:i + 2], "big") for i in range(0, len(data), 2)]


def code_points(utf16be: bytes) -> list[int]:
    units = utf16_units(utf16be)
    out, i = [], 0
    while i < len(units):
        u = units[i]
        if 0xD800 <= u <= 0xDBFF and i + 1 < len(units) and 0xDC00 <= units[i + 1] <= 0xDFFF:
            out.append(0x10000 + ((u - 0xD800) << 10) + (units[i + 1] - 0xDC00))
            i += 2
        else:
            assert not 0xD800 <= u <= 0xDFFF, utf16be
            out.append(u)
            i += 1
    return out


def code_text_of(name: str) -> str:
    if not name.startswith("Uni"):
        return "None"
    for form, label in (("-UCS2-", "Ucs2"), ("-UTF16-", "Utf16"), ("-UTF32-", "Utf32"), ("-UTF8-", "Utf8")):
        if form in name:
            return label
    return "None"


def decode_code(length: int, code: int, form: str) -> int | None:
    """The code point a code of a Unicode CMap stands for."""
    raw = code.to_bytes(length, "big")
    if form in ("Ucs2", "Utf32"):
        return code
    if form == "Utf16":
        points = code_points(raw) if length in (2, 4) else []
        return points[0] if len(points) == 1 else None
    if form == "Utf8":
        try:
            text = raw.decode("utf-8")
        except UnicodeDecodeError:
            return None
        return ord(text) if len(text) == 1 else None
    return None


def encode_code(cp: int, form: str) -> tuple[int, int]:
    """(bytes, code) of a code point in a Unicode CMap's code form: mirrors the runtime."""
    if form == "Utf32":
        return 4, cp
    if form == "Utf16":
        if cp < 0x10000:
            return 2, cp
        v = cp - 0x10000
        return 4, (0xD800 + (v >> 10)) << 16 | (0xDC00 + (v & 0x3FF))
    if form == "Utf8":
        raw = chr(cp).encode("utf-8")
        return len(raw), code_value(raw)
    raise ValueError(form)


@dataclass
class Row:
    cmap: CMapFile
    parent: str | None
    ordering: str
    code_text: str
    unicode_table: int = -1
    codespace: list[tuple[bytes, bytes]] = field(default_factory=list)
    own: bytes = b""


def select(cmaps: dict[str, CMapFile]) -> dict[str, CMapFile]:
    """The CMaps that map codes to CIDs: type 1, no bf blocks, own entries or a parent."""
    chosen = {
        name: c for name, c in cmaps.items()
        if c.cmap_type == 1 and not c.has_bf and (c.cids or c.notdefs or c.use)
    }
    changed = True
    while changed:
        changed = False
        for name, c in list(chosen.items()):
            if c.use is not None and c.use not in chosen:
                del chosen[name]  # uses a bf CMap (B5pc-UCS2 over B5pc-UCS2C)
                changed = True
    return chosen


def inherited(name: str, chosen: dict[str, CMapFile], attr: str):
    c = chosen[name]
    seen = set()
    while True:
        value = getattr(c, attr)
        if value:
            return value
        if c.use is None:
            return value
        assert c.use not in seen, name
        seen.add(c.use)
        c = chosen[c.use]


def full_mapping(name: str, chosen: dict[str, CMapFile], notdef: bool = False) -> dict[tuple[int, int], int]:
    c = chosen[name]
    base = dict(full_mapping(c.use, chosen, notdef)) if c.use else {}
    return flatten(c.notdefs, base, constant=True) if notdef else flatten(c.cids, base)


def build_rows(chosen: dict[str, CMapFile]) -> tuple[list[Row], list[bytes]]:
    rows: dict[str, Row] = {}
    tables: list[dict[int, int]] = []
    table_streams: list[bytes] = []

    # UTF-32 first so that each family's table is keyed by its UTF-32 CMap.
    order = sorted(chosen, key=lambda n: (code_text_of(n) != "Utf32", n))
    for name in order:
        c = chosen[name]
        ordering = inherited(name, chosen, "ordering")
        assert inherited(name, chosen, "registry") == "Adobe", name
        assert ordering in ORDERINGS, (name, ordering)
        form = code_text_of(name)
        # A CMap that uses another takes its codespace ranges too; the row keeps its own.
        assert inherited(name, chosen, "codespace"), name
        row = Row(c, c.use, ordering, form, codespace=c.codespace)
        notdef_runs = runs_of(flatten(c.notdefs, constant=True), constant=True)
        if c.use is None and form in ("Utf16", "Utf32", "Utf8"):
            mapping = flatten(c.cids)
            by_cp: dict[int, int] = {}
            for (length, code), cid in mapping.items():
                cp = decode_code(length, code, form)
                assert cp is not None and encode_code(cp, form) == (length, code), (name, length, hex(code))
                by_cp[cp] = cid
            # The table that needs the fewest overrides and lacks nothing this map has
            # not; else a new one.
            best, best_diff = -1, None
            for index, table in enumerate(tables):
                if any(cp not in by_cp for cp in table):
                    continue
                diff = {cp: cid for cp, cid in by_cp.items() if table.get(cp) != cid}
                if best_diff is None or len(diff) < len(best_diff):
                    best, best_diff = index, diff
            if best < 0 or len(best_diff) * 4 > len(by_cp):
                tables.append(by_cp)
                table_streams.append(encode_groups(0, runs_of({(0, cp): cid for cp, cid in by_cp.items()})))
                best, best_diff = len(tables) - 1, {}
            row.unicode_table = best
            own = {encode_code(cp, form): cid for cp, cid in best_diff.items()}
            row.own = encode_groups(0, runs_of(own)) + encode_groups(1, notdef_runs)
        else:
            row.own = encode_groups(0, runs_of(flatten(c.cids))) + encode_groups(1, notdef_runs)
        rows[name] = row
    return [rows[n] for n in sorted(rows, key=lambda n: n.encode())], table_streams


def check_rows(rows: list[Row], tables: list[bytes], chosen: dict[str, CMapFile]) -> None:
    """Decodes every row as the runtime will and compares it with the files' mapping."""
    table_maps = [decode_stream(t)[0] for t in tables]
    index = {row.cmap.name: row for row in rows}

    def mapping(name: str, kind: int) -> dict[tuple[int, int], int]:
        row = index[name]
        out = dict(mapping(row.parent, kind)) if row.parent else {}
        if row.unicode_table >= 0 and kind == 0:
            for (_, cp), cid in table_maps[row.unicode_table].items():
                out[encode_code(cp, row.code_text)] = cid
        out.update(decode_stream(row.own)[kind])
        return out

    for row in rows:
        assert mapping(row.cmap.name, 0) == full_mapping(row.cmap.name, chosen), row.cmap.name
        assert mapping(row.cmap.name, 1) == full_mapping(row.cmap.name, chosen, notdef=True), row.cmap.name


def decode_stream(data: bytes) -> tuple[dict[tuple[int, int], int], dict[tuple[int, int], int]]:
    maps: tuple[dict, dict] = ({}, {})
    pos = 0

    def read() -> int:
        nonlocal pos
        value = shift = 0
        while True:
            byte = data[pos]
            pos += 1
            value |= (byte & 0x7F) << shift
            shift += 7
            if byte < 0x80:
                return value

    while pos < len(data):
        tag = data[pos]
        pos += 1
        kind, length = tag >> 4, tag & 15
        end = end_cid = 0
        for _ in range(read()):
            gap, count, z = read(), read() + 1, read()
            code = end + gap
            cid = end_cid + (z >> 1 if z % 2 == 0 else -(z >> 1) - 1)
            for k in range(count):
                maps[kind][(length, code + k)] = cid if kind == 1 else cid + k
            end, end_cid = code + count, cid if kind == 1 else cid + count
    return maps


# --- CID -> Unicode -----------------------------------------------------------------


def is_variation_selector(cp: int) -> bool:
    return 0xFE00 <= cp <= 0xFE0F or 0xE0100 <= cp <= 0xE01EF


def cid_texts(cmap_dir: Path, chosen: dict[str, CMapFile]) -> dict[str, dict[int, list[int]]]:
    out: dict[str, dict[int, list[int]]] = {}
    for ordering in ORDERINGS:
        texts: dict[int, list[int]] = {}
        if ordering in INVERTED_ORDERINGS:
            name = INVERTED_ORDERINGS[ordering]
            # Several code points may name one CID (compatibility ideographs): the lowest.
            for (_, cp), cid in sorted(full_mapping(name, chosen).items(), key=lambda kv: kv[0][1], reverse=True):
                texts[cid] = [cp]
        else:
            ucs2 = read_cmap(cmap_dir / f"Adobe-{ordering}" / f"Adobe-{ordering}-UCS2")
            for lo, hi, destination in ucs2.bfs:
                first = code_points(destination)
                for k in range(code_value(hi) - code_value(lo) + 1):
                    # A range steps the last code unit of its destination.
                    points = first[:-1] + [first[-1] + k]
                    texts[code_value(lo) + k] = points
        for cid in list(texts):
            points = [cp for cp in texts[cid] if cp != 0 and not is_variation_selector(cp)]
            if not points or points == [0xFFFD]:
                del texts[cid]
            else:
                assert all(0 < cp <= 0x10FFFF and not 0xD800 <= cp <= 0xDFFF for cp in points), (ordering, cid)
                texts[cid] = points
        out[ordering] = texts
    return out


# --- Output -------------------------------------------------------------------------


def c_bytes(data: bytes, width: int = 96) -> list[str]:
    """A string literal, printable bytes as themselves and the rest as 3-digit octal
    escapes (which cannot swallow a following digit)."""
    lines, line = [], ""
    for b in data:
        if 0x20 <= b < 0x7F and b not in (0x22, 0x5C, 0x3F):
            piece = chr(b)
        else:
            piece = f"\\{b:03o}"
        if len(line) + len(piece) > width:
            lines.append(f'    "{line}"')
            line = ""
        line += piece
    if line or not lines:
        lines.append(f'    "{line}"')
    return lines


def dense(values: list[str], width: int = 96) -> str:
    rows, row = [], ""
    for value in values:
        item = value + ","
        if row and len(row) + len(item) > width:
            rows.append(row)
            row = ""
        row += item
    rows.append(row)
    return "\n".join(f"    {r}" for r in rows)


def license_lines(cmap_dir: Path) -> list[str]:
    sample = read_cmap(cmap_dir / "Adobe-Japan1" / "UniJIS-UTF16-H").copyright
    years = set()
    for folder in sorted(cmap_dir.glob("Adobe-*")):
        for path in folder.iterdir():
            for line in path.read_text(encoding="latin-1").splitlines():
                m = re.match(r"%%Copyright: Copyright (\d{4})-(\d{4}) Adobe", line)
                if m:
                    years.update((int(m.group(1)), int(m.group(2))))
    text = [line.strip() for line in sample if line.strip() and not set(line.strip()) <= {"-"}]
    text[0] = f"Copyright {min(years)}-{max(years)} Adobe. All rights reserved."
    return ["// " + line for line in text]


def write_cmaps(cmap_dir: Path, rows: list[Row], tables: list[bytes]) -> int:
    index = {row.cmap.name: i for i, row in enumerate(rows)}
    data = bytearray()
    codespaces: list[str] = []
    table_rows: list[str] = []
    for stream in tables:
        table_rows.append(f"    {{{len(data)}, {len(stream)}}},")
        data += stream
    entries: list[str] = []
    for row in rows:
        first = len(codespaces)
        for lo, hi in row.codespace:
            assert len(lo) == len(hi) and 1 <= len(lo) <= 4, (row.cmap.name, lo, hi)
            codespaces.append(f"    {{{len(lo)}, 0x{code_value(lo):X}, 0x{code_value(hi):X}}},")
        parent = index[row.parent] if row.parent else -1
        entries.append(
            f'    {{"{row.cmap.name}", Ordering::{row.ordering}, {row.cmap.supplement}, '
            f"{1 if row.cmap.wmode else 0}, CodeText::{row.code_text}, {parent}, {row.unicode_table}, "
            f"{first}, {len(row.codespace)}, {len(data)}, {len(row.own)}}},"
        )
        data += row.own
    out = [
        "// The predefined CMaps of the Adobe CJK character collections (code -> CID),",
        "// written by scripts/make_cmaps.py from Adobe's CMap resources: edit that script,",
        "// not this file. The script's docstring describes the layout.",
        "//",
        "// The data is under this license:",
        *license_lines(cmap_dir),
        "",
        f"constexpr std::array<PredefinedRow, {len(rows)}> kPredefined = {{{{",
        *entries,
        "}};",
        "",
        f"constexpr std::array<CodespaceRow, {len(codespaces)}> kCodespaces = {{{{",
        *codespaces,
        "}};",
        "",
        f"constexpr std::array<UnicodeTableRow, {len(tables)}> kUnicodeTables = {{{{",
        *table_rows,
        "}};",
        "",
        f"constexpr std::size_t kCMapDataSize = {len(data)};",
        "constexpr char kCMapData[kCMapDataSize + 1] =",
        *c_bytes(bytes(data)),
        ";",
    ]
    OUT_CMAPS.write_text("\n".join(out) + "\n")
    return len(data)


def write_cid_unicode(cmap_dir: Path, texts: dict[str, dict[int, list[int]]]) -> int:
    bmp: list[str] = []
    extras: list[str] = []
    points: list[str] = []
    tables: list[str] = []
    for ordering in ORDERINGS:
        table = texts[ordering]
        count = max(table) + 1
        first_bmp, first_extra = len(bmp), len(extras)
        for cid in range(count):
            cps = table.get(cid)
            if cps is None:
                bmp.append("0")
            elif len(cps) == 1 and cps[0] < 0xFFFF:
                bmp.append(str(cps[0]))
            else:
                bmp.append("65535")
                extras.append(f"{{{cid}, {len(points)}, {len(cps)}}}")
                points += [f"0x{cp:X}" for cp in cps]
        tables.append(f"    {{{first_bmp}, {count}, {first_extra}, {len(extras) - first_extra}}},  // {ordering}")
    out = [
        "// CID -> Unicode for each Adobe CJK character collection, written by",
        "// scripts/make_cmaps.py from Adobe's Adobe-<Ordering>-UCS2 CMaps (Adobe-Japan2: the",
        "// inverse of UniHojo-UTF32-H): edit that script, not this file. The script's",
        "// docstring describes the layout.",
        "//",
        "// The data is under this license:",
        *license_lines(cmap_dir),
        "",
        f"constexpr std::array<OrderingTable, {len(tables)}> kOrderingTables = {{{{",
        *tables,
        "}};",
        "",
        f"constexpr std::array<std::uint16_t, {len(bmp)}> kCidBmp = {{",
        dense(bmp),
        "};",
        "",
        f"constexpr std::array<CidExtra, {len(extras)}> kCidExtras = {{{{",
        dense(extras),
        "}};",
        "",
        f"constexpr std::array<std::uint32_t, {len(points)}> kCidExtraPoints = {{",
        dense(points),
        "};",
    ]
    OUT_CID.write_text("\n".join(out) + "\n")
    return len(bmp) * 2 + len(extras) * 8 + len(points) * 4


def main() -> None:
    cmap_dir = Path(sys.argv[1] if len(sys.argv) > 1 else "/usr/share/poppler/cMap")
    cmaps: dict[str, CMapFile] = {}
    for folder in sorted(cmap_dir.glob("Adobe-*")):
        for path in sorted(folder.iterdir()):
            cmaps[path.name] = read_cmap(path)
    chosen = select(cmaps)
    rows, tables = build_rows(chosen)
    check_rows(rows, tables, chosen)
    OUT_CMAPS.parent.mkdir(parents=True, exist_ok=True)
    cmap_bytes = write_cmaps(cmap_dir, rows, tables)
    cid_bytes = write_cid_unicode(cmap_dir, cid_texts(cmap_dir, chosen))
    print(f"wrote {OUT_CMAPS} ({len(rows)} CMaps, {len(tables)} Unicode tables, {cmap_bytes} data bytes)")
    print(f"wrote {OUT_CID} ({cid_bytes} table bytes)")


if __name__ == "__main__":
    main()
