// CFF programs (FontFile3 /Type1C and /CIDFontType0C, and the `CFF ` table of OpenType
// programs) read for text: the header, the INDEXes, the first Top DICT, the charset
// (glyph names of name-keyed fonts, CIDs of CID-keyed ones) and the built-in encoding
// of name-keyed fonts.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>
#include <vector>

#include "../cos/object.h"

namespace folioscan::font {

struct CffFont {
  bool cid_keyed = false;        // the Top DICT has a ROS
  std::uint32_t num_glyphs = 0;  // entries of the CharStrings INDEX
  // Name-keyed fonts, by glyph id: names from the standard strings or the font's own
  // (views into the program or the fixed tables); empty where the charset says nothing.
  std::vector<std::string_view> glyph_names;
  // CID-keyed fonts, by glyph id: the glyph's CID.
  std::vector<std::uint16_t> glyph_cids;
  // Name-keyed fonts: one-byte code to glyph id through the built-in encoding (the
  // standard encoding or the font's own, with its supplements); 0 for none. The expert
  // encoding is not read: its glyphs are small capitals and old-style figures.
  std::array<std::uint16_t, 256> encoding{};
  std::string_view registry;  // CID-keyed fonts
  std::string_view ordering;
};

// Never fails: a damaged or truncated program yields what could be read (often
// nothing). Views in the result borrow `program`.
CffFont read_cff(ByteView program);

}  // namespace folioscan::font
