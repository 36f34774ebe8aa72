#!/usr/bin/env python3
"""Writes core/agl/glyph_list.inc: Adobe's glyph list (glyph name -> code points), the
names recovery reads in /Differences and font programs beyond the short table the
strict reading keeps.

The list comes from fontTools (`pip install fonttools`), which carries Adobe's
glyphlist.txt (BSD-style licence, Adobe 2002-2019) as `fontTools.agl.LEGACY_AGL2UV`.
Names of several code points keep them all, in order.

    python3 scripts/make_glyph_list.py
"""

from __future__ import annotations

from pathlib import Path

from fontTools import agl

OUT = Path(__file__).resolve().parents[1] / "core" / "agl" / "glyph_list.inc"

# Names TeX's math fonts give the variant Greek letters, which Adobe's list lacks: the
# Unicode characters of those variants.
TEX_NAMES = {
    "epsilon1": [0x03F5],
    "phi1": [0x03D5],
    "rho1": [0x03F1],
    "omega1": [0x03D6],
    "kappa1": [0x03F0],
}


def main() -> None:
    table = dict(agl.LEGACY_AGL2UV)
    for name, values in TEX_NAMES.items():
        table.setdefault(name, values)
    names = sorted(table.items(), key=lambda item: item[0].encode())
    lines = [
        "// Adobe's glyph list (glyphlist.txt, Copyright 2002-2019 Adobe, BSD-style licence),",
        "// with the variant Greek letters of TeX's math fonts:",
        "// glyph name -> code points, sorted by the name's bytes. Written by",
        "// scripts/make_glyph_list.py: edit that script, not this file.",
        "",
        f"constexpr GlyphListEntry kGlyphList[] = {{",
    ]
    for name, values in names:
        assert 1 <= len(values) <= 4, name
        points = ", ".join(f"0x{v:04X}" for v in values)
        lines.append(f'    {{"{name}", {{{points}}}, {len(values)}}},')
    lines.append("};")
    lines.append(f"static_assert(std::size(kGlyphList) == {len(names)});")
    OUT.write_text("\n".join(lines) + "\n")


if __name__ == "__main__":
    main()
