#!/usr/bin/env python3
"""Writes core/font/standard_widths.inc: the glyph widths of the fourteen base fonts that
PDF files may name without /Widths (Times, Helvetica and Courier in four styles, Symbol,
ZapfDingbats), and the glyph names of the WinAnsi and MacRoman code tables.

The widths come from the AFM files of the URW base 35 fonts, which keep the metrics of
those fourteen fonts. They are read only here: the build uses the committed .inc. To
regenerate (Debian or Ubuntu):

    apt-get install -y fonts-urw-base35
    python3 scripts/make_standard_widths.py [AFM_DIR]

AFM_DIR defaults to /usr/share/fonts/type1/urw-base35.

What the .inc holds:
- kLatinGlyphs: the glyph names the twelve Latin fonts share, sorted by bytes;
- kLatinRows: width rows (1/1000 em, 0 = no such glyph) aligned with kLatinGlyphs, one per
  Times and Helvetica font in the order of StandardFont. The four Courier fonts have every
  one of these glyphs, 600 wide, and no row;
- kSymbolGlyphs, kDingbatsGlyphs: sorted (name, width) pairs of the two symbol fonts,
  whose glyph names are their own;
- kSymbolCodes, kDingbatsCodes: their built-in code -> width (0 = no glyph);
- kWinAnsiNames, kMacRomanNames: code -> glyph name index into kLatinGlyphs (-1: none).
"""

from __future__ import annotations

import sys
from pathlib import Path

OUT = Path(__file__).resolve().parents[1] / "core" / "font" / "standard_widths.inc"

# In the order of folioscan::font::StandardFont.
LATIN = [
    ("TimesRoman", "NimbusRoman-Regular"),
    ("TimesBold", "NimbusRoman-Bold"),
    ("TimesItalic", "NimbusRoman-Italic"),
    ("TimesBoldItalic", "NimbusRoman-BoldItalic"),
    ("Helvetica", "NimbusSans-Regular"),
    ("HelveticaBold", "NimbusSans-Bold"),
    ("HelveticaOblique", "NimbusSans-Italic"),
    ("HelveticaBoldOblique", "NimbusSans-BoldItalic"),
    ("Courier", "NimbusMonoPS-Regular"),
    ("CourierBold", "NimbusMonoPS-Bold"),
    ("CourierOblique", "NimbusMonoPS-Italic"),
    ("CourierBoldOblique", "NimbusMonoPS-BoldItalic"),
]
SYMBOL = "StandardSymbolsPS"
DINGBATS = "D050000L"

ASCII = (
    "space exclam quotedbl numbersign dollar percent ampersand quotesingle parenleft "
    "parenright asterisk plus comma hyphen period slash zero one two three four five six "
    "seven eight nine colon semicolon less equal greater question at A B C D E F G H I J K L "
    "M N O P Q R S T U V W X Y Z bracketleft backslash bracketright asciicircum underscore "
    "grave a b c d e f g h i j k l m n o p q r s t u v w x y z braceleft bar braceright "
    "asciitilde"
).split()

# Codes 0x80-0xFF; "-" marks a code with no glyph. 0xA0 draws the space glyph.
WIN_ANSI_HIGH = (
    "Euro - quotesinglbase florin quotedblbase ellipsis dagger daggerdbl circumflex "
    "perthousand Scaron guilsinglleft OE - Zcaron - - quoteleft quoteright quotedblleft "
    "quotedblright bullet endash emdash tilde trademark scaron guilsinglright oe - zcaron "
    "Ydieresis space exclamdown cent sterling currency yen brokenbar section dieresis "
    "copyright ordfeminine guillemotleft logicalnot hyphen registered macron degree "
    "plusminus twosuperior threesuperior acute mu paragraph periodcentered cedilla "
    "onesuperior ordmasculine guillemotright onequarter onehalf threequarters questiondown "
    "Agrave Aacute Acircumflex Atilde Adieresis Aring AE Ccedilla Egrave Eacute Ecircumflex "
    "Edieresis Igrave Iacute Icircumflex Idieresis Eth Ntilde Ograve Oacute Ocircumflex "
    "Otilde Odieresis multiply Oslash Ugrave Uacute Ucircumflex Udieresis Yacute Thorn "
    "germandbls agrave aacute acircumflex atilde adieresis aring ae ccedilla egrave eacute "
    "ecircumflex edieresis igrave iacute icircumflex idieresis eth ntilde ograve oacute "
    "ocircumflex otilde odieresis divide oslash ugrave uacute ucircumflex udieresis yacute "
    "thorn ydieresis"
).split()

MAC_ROMAN_HIGH = (
    "Adieresis Aring Ccedilla Eacute Ntilde Odieresis Udieresis aacute agrave acircumflex "
    "adieresis atilde aring ccedilla eacute egrave ecircumflex edieresis iacute igrave "
    "icircumflex idieresis ntilde oacute ograve ocircumflex odieresis otilde uacute ugrave "
    "ucircumflex udieresis dagger degree cent sterling section bullet paragraph germandbls "
    "registered copyright trademark acute dieresis notequal AE Oslash infinity plusminus "
    "lessequal greaterequal yen mu partialdiff summation product pi integral ordfeminine "
    "ordmasculine Omega ae oslash questiondown exclamdown logicalnot radical florin "
    "approxequal Delta guillemotleft guillemotright ellipsis space Agrave Atilde Otilde OE oe "
    "endash emdash quotedblleft quotedblright quoteleft quoteright divide lozenge ydieresis "
    "Ydieresis fraction currency guilsinglleft guilsinglright fi fl daggerdbl periodcentered "
    "quotesinglbase quotedblbase perthousand Acircumflex Ecircumflex Aacute Edieresis Egrave "
    "Iacute Icircumflex Idieresis Igrave Oacute Ocircumflex apple Ograve Uacute Ucircumflex "
    "Ugrave dotlessi circumflex tilde macron breve dotaccent ring cedilla hungarumlaut ogonek "
    "caron"
).split()


def read_afm(path: Path) -> tuple[dict[str, int], dict[int, int]]:
    """Glyph name -> width and code -> width from the C/WX/N fields of the metric lines."""
    by_name: dict[str, int] = {}
    by_code: dict[int, int] = {}
    for line in path.read_text(encoding="latin-1").splitlines():
        if not line.startswith("C "):
            continue
        fields = {}
        for part in line.split(";"):
            words = part.split()
            if len(words) >= 2:
                fields[words[0]] = words[1]
        code, width, name = int(fields["C"]), round(float(fields["WX"])), fields["N"]
        if name == ".notdef":
            continue
        assert 0 < width < 65536, (path, name, width)
        by_name[name] = width
        if 0 <= code < 256:
            by_code[code] = width
    return by_name, by_code


def code_names(high: list[str]) -> list[str | None]:
    assert len(high) == 128
    names: list[str | None] = [None] * 256
    for i, name in enumerate(ASCII):
        names[0x20 + i] = name
    for i, name in enumerate(high):
        names[0x80 + i] = None if name == "-" else name
    return names


def wrap(items: list[str], width: int = 92) -> str:
    rows, row = [], ""
    for item in items:
        if row and len(row) + 1 + len(item) > width:
            rows.append(row)
            row = ""
        row = f"{row} {item}" if row else item
    rows.append(row)
    return "\n".join(f"    {r}" for r in rows)


def dense(values: list[str], width: int = 92) -> str:
    """Numbers with no space after the commas: the width rows are most of the file."""
    rows, row = [], ""
    for value in values:
        item = value + ","
        if row and len(row) + len(item) > width:
            rows.append(row)
            row = ""
        row += item
    rows.append(row)
    return "\n".join(f"    {r}" for r in rows)


def main() -> None:
    afm_dir = Path(sys.argv[1] if len(sys.argv) > 1 else "/usr/share/fonts/type1/urw-base35")
    latin = [read_afm(afm_dir / f"{file}.afm")[0] for _, file in LATIN]
    glyphs = sorted(set().union(*latin), key=lambda n: n.encode())
    index = {name: i for i, name in enumerate(glyphs)}

    for widths in latin[8:]:
        assert set(widths) == set(glyphs) and set(widths.values()) == {600}
    rows = [[widths.get(name, 0) for name in glyphs] for widths in latin[:8]]

    out = [
        "// The widths of the fourteen base fonts and the glyph names of the WinAnsi and",
        "// MacRoman code tables, written by scripts/make_standard_widths.py from the URW base",
        "// 35 metric files: edit that script, not this file. Widths are in 1/1000 em.",
        "",
        f"constexpr std::array<std::string_view, {len(glyphs)}> kLatinGlyphs = {{",
        wrap([f'"{n}",' for n in glyphs]),
        "};",
        "",
        f"constexpr std::uint16_t kLatinRows[{len(rows)}][{len(glyphs)}] = {{",
    ]
    for row in rows:
        out += ["  {", dense([str(w) for w in row]), "  },"]
    out += ["};", ""]

    for label, file in (("Symbol", SYMBOL), ("Dingbats", DINGBATS)):
        by_name, by_code = read_afm(afm_dir / f"{file}.afm")
        if label == "Symbol" and 240 not in by_code and by_code.get(128) == by_name.get("apple"):
            # The URW font puts its apple at 128; Symbol's own encoding has it at 240
            # and nothing at 128.
            by_code[240] = by_code.pop(128)
        pairs = sorted(by_name.items(), key=lambda p: p[0].encode())
        out += [
            f"constexpr std::array<NamedWidth, {len(pairs)}> k{label}Glyphs = {{{{",
            wrap([f'{{"{n}", {w}}},' for n, w in pairs]),
            "}};",
            "",
            f"constexpr std::array<std::uint16_t, 256> k{label}Codes = {{",
            dense([str(by_code.get(c, 0)) for c in range(256)]),
            "};",
            "",
        ]

    for label, high in (("WinAnsi", WIN_ANSI_HIGH), ("MacRoman", MAC_ROMAN_HIGH)):
        names = code_names(high)
        missing = {n for n in names if n is not None and n not in index}
        assert missing <= {"apple", "Omega"}, missing
        # A name the Latin fonts lack (MacRoman's "apple"; the URW fonts call their
        # Omega "uni03A9") counts as no glyph.
        ids = [index.get(n, -1) if n is not None else -1 for n in names]
        out += [
            f"constexpr std::array<std::int16_t, 256> k{label}Names = {{",
            dense([str(i) for i in ids]),
            "};",
            "",
        ]

    OUT.write_text("\n".join(out).rstrip() + "\n")
    print(f"wrote {OUT} ({len(glyphs)} Latin glyphs)")


if __name__ == "__main__":
    main()
