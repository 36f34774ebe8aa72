// TrueType and OpenType programs (FontFile2, FontFile3/OpenType) read for text: the
// table directory, `maxp`'s glyph count, the `cmap` subtables (Unicode ones read
// backwards, glyph to code; the symbol and Macintosh ones forwards, for simple fonts'
// one-byte codes) and the glyph names of `post`.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>
#include <vector>

#include "../cos/object.h"

namespace folioscan::font {

struct TrueTypeFont {
  std::uint32_t num_glyphs = 0;  // from `maxp`; 0 when unknown
  // By glyph id: the code point a Unicode subtable maps to the glyph (the lowest one,
  // private-use codes only when nothing else names it), 0 for none. As long as the
  // highest glyph any subtable names.
  std::vector<std::uint32_t> glyph_unicode;
  // By glyph id, from `post` (formats 1 and 2); empty names for glyphs without one.
  // Views into the program bytes or into the fixed Macintosh names.
  std::vector<std::string_view> glyph_names;
  bool has_unicode_cmap = false;
  // One-byte codes to glyph ids (0: none) through the (3,0) subtable (code c, else
  // 0xF000 + c, 0xF100 + c, 0xF200 + c) and the (1,0) subtable.
  bool has_symbol_cmap = false;
  std::array<std::uint16_t, 256> symbol_glyphs{};
  bool has_mac_cmap = false;
  std::array<std::uint16_t, 256> mac_glyphs{};
  // An OpenType program's `CFF ` table, empty when there is none.
  ByteView cff;
};

// Never fails: a damaged or truncated program yields what could be read (often
// nothing). Views in the result borrow `program`.
TrueTypeFont read_truetype(ByteView program);

}  // namespace folioscan::font
