#!/usr/bin/env python3
"""Writes core/font/standard_names.cpp: the fixed glyph-name tables font programs refer
to by number (the 391 standard strings of CFF fonts, the standard encoding as string
ids, the two expert charsets, and the 258 Macintosh glyph names of TrueType `post`
tables). The names come from fontTools, a test dependency; rerun after editing.

    python3 scripts/make_font_name_tables.py
"""

from __future__ import annotations

from pathlib import Path

import fontTools.cffLib as cff
from fontTools.encodings.StandardEncoding import StandardEncoding
from fontTools.ttLib.standardGlyphOrder import standardGlyphOrder

OUT = Path(__file__).resolve().parents[1] / "core" / "font" / "standard_names.cpp"


def names(values: list[str]) -> str:
    rows, row = [], ""
    for v in values:
        item = f'"{v}",'
        if row and len(row) + 1 + len(item) > 92:
            rows.append(row)
            row = ""
        row = f"{row} {item}" if row else item
    rows.append(row)
    return "\n".join(f"    {r}" for r in rows)


def numbers(values: list[int]) -> str:
    rows = [", ".join(str(v) for v in values[i : i + 16]) for i in range(0, len(values), 16)]
    return "\n".join(f"    {row}," for row in rows)


def main() -> None:
    strings = list(cff.cffStandardStrings)
    sid = {name: i for i, name in enumerate(strings)}
    encoding = [sid[name] if name != ".notdef" else 0 for name in StandardEncoding]
    expert = [sid[name] for name in cff.cffIExpertStrings]
    expert_subset = [sid[name] for name in cff.cffExpertSubsetStrings]
    OUT.write_text(
        "// The fixed glyph-name tables of font programs, written by\n"
        "// scripts/make_font_name_tables.py: edit that script, not this file.\n"
        '#include "standard_names.h"\n\n'
        "#include <array>\n\n"
        "namespace folioscan::font {\n"
        "namespace {\n\n"
        f"constexpr std::array<std::string_view, {len(strings)}> kStandardStrings = {{\n{names(strings)}\n}};\n\n"
        f"constexpr std::array<std::uint16_t, 256> kStandardEncoding = {{\n{numbers(encoding)}\n}};\n\n"
        f"constexpr std::array<std::uint16_t, {len(expert)}> kExpertCharset = {{\n{numbers(expert)}\n}};\n\n"
        f"constexpr std::array<std::uint16_t, {len(expert_subset)}> kExpertSubsetCharset = {{\n"
        f"{numbers(expert_subset)}\n}};\n\n"
        f"constexpr std::array<std::string_view, {len(standardGlyphOrder)}> kMacGlyphNames = {{\n"
        f"{names(list(standardGlyphOrder))}\n}};\n\n"
        "}  // namespace\n\n"
        "std::string_view standard_string(std::uint32_t sid) {\n"
        "  return sid < kStandardStrings.size() ? kStandardStrings[sid] : std::string_view{};\n"
        "}\n\n"
        "std::uint16_t standard_encoding_sid(std::uint8_t code) { return kStandardEncoding[code]; }\n\n"
        "std::span<const std::uint16_t> expert_charset() { return kExpertCharset; }\n\n"
        "std::span<const std::uint16_t> expert_subset_charset() { return kExpertSubsetCharset; }\n\n"
        "std::string_view mac_glyph_name(std::uint32_t index) {\n"
        "  return index < kMacGlyphNames.size() ? kMacGlyphNames[index] : std::string_view{};\n"
        "}\n\n"
        "}  // namespace folioscan::font\n"
    )


if __name__ == "__main__":
    main()
