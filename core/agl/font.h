// The font model for text extraction: what a font gives each code (text and width),
// encodings, /Differences and widths read from font values into it, and decoding shown
// strings into text and advances. Loading fonts from a document is font_loader.h.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "../cmap/cid_unicode.h"
#include "../cmap/code_map.h"
#include "../cos/object.h"
#include "../input_limits.h"
#include "../structure/font_face.h"
#include "../tounicode.h"

namespace folioscan {

using WidthMap = std::unordered_map<std::uint32_t, double>;

struct Font {
  // Shared: the pages of a call that use one ToUnicode stream share one parsed map.
  std::shared_ptr<const ToUnicodeMap> to_unicode;
  WidthMap widths;  // already divided by 1000
  // Composite fonts as loaded: the widths of their /W, read once per array and shared
  // by every font that names it; where set, it stands for `widths`.
  std::shared_ptr<const WidthMap> shared_widths;
  const WidthMap& width_map() const { return shared_widths ? *shared_widths : widths; }
  std::array<std::uint32_t, 256> encoding{};          // 0: the code has no text
  double default_width = 0.5;
  std::uint8_t code_bytes = 1;
  // Recovery only, composite fonts: code -> code point read from the embedded font
  // program (0: none), used where `to_unicode` has no entry. Null in the strict reading.
  std::shared_ptr<const std::vector<std::uint32_t>> cid_text;
  // Recovery only, composite fonts written vertically (an Identity-V or other "-V"
  // CMap): each glyph's displacement along the text space's y axis, in em (the /DW2
  // default, -1 when absent); 0 for horizontal writing, as in the strict reading.
  double vertical_advance = 0.0;
  // Recovery only, composite fonts whose CMap is not Identity (90ms-RKSJ-H, EUC-H,
  // UniGB-UTF16-H, an embedded CMap stream): cuts a shown string into codes of one to
  // four bytes and gives each code its CID, by which /W widths and collection text go.
  // Null: `code_bytes`-byte codes that are their own CIDs, as in the strict reading.
  std::shared_ptr<const cmap::CodeMap> code_map;
  // Recovery only, composite fonts: the character collection (/CIDSystemInfo) whose CID
  // text serves codes that neither ToUnicode, a Unicode CMap nor `cid_text` gives text.
  std::optional<cmap::Ordering> cid_ordering;
  // Recovery only, simple fonts: one-byte codes whose glyph name says several characters
  // (a ligature "f_f_i", "uni00660069"), with that text in UTF-8; it takes the place of
  // `encoding` for the code. Empty in the strict reading.
  std::vector<std::pair<std::uint8_t, std::string>> code_strings;
  // Recovery only, simple fonts: one-byte codes whose glyph name is a small capital
  // ("a.sc", "r.smcp", "Esmall"), whose text is upper-cased, as a reader sees it (a
  // small capital is a capital letter). Empty in the strict reading.
  std::vector<std::uint8_t> small_capitals;
  // Recovery only: a ligature's presentation form (U+FB00 to U+FB06, the "fi" of U+FB01) decodes to
  // the letters it joins ("fi"), which is what a reader searches and copies. False in
  // the strict reading.
  bool spell_out_ligatures = false;
  // Recovery only: bold, italic, ascent and descent from /BaseFont and the descriptor,
  // which the structure of a recovered page reads; the defaults in the strict reading.
  FontFace face;

  // The widths of the 256 one-byte codes with `default_width` filled in, so that simple
  // fonts measure a string without hashing each code. Empty until cache_byte_widths()
  // builds it (load_font does); measuring then gives exactly what `widths` gives. Call it
  // again after changing `widths` or `default_width`.
  std::optional<std::array<double, 256>> byte_widths;
  void cache_byte_widths();

  // The text each one-byte code decodes to (ToUnicode first, else the encoding), so that
  // simple fonts decode a string without a map lookup per byte: code c's UTF-8 text is
  // `text[offsets[c]]` up to `text[offsets[c + 1]]`. Empty until cache_byte_text()
  // builds it (load_font does); decoding then gives exactly what the maps give. Call it
  // again after changing `to_unicode` or `encoding`.
  struct ByteText {
    std::array<std::uint32_t, 257> offsets{};
    std::string text;
  };
  std::optional<ByteText> byte_text;
  void cache_byte_text();
};

// Font resource name (without the slash) to font.
using FontMap = std::unordered_map<std::string, Font>;
// The same, for fonts shared with a FontCache.
using SharedFontMap = std::unordered_map<std::string, std::shared_ptr<const Font>>;

// The steps of load_font that need no document, on values it has already resolved.
// `encoding` is the resolved /Encoding (nullptr when absent or unresolvable): selects the
// base table and applies /Differences.
void apply_simple_encoding(Font& font, const Object* encoding);
// /Widths from code `first_char` on; elements that are not numbers are skipped.
void read_simple_widths(Font& font, std::int64_t first_char, const Array& widths);
// A composite font's /W array ("c [w ...]" and "c_first c_last w" entries).
void read_composite_widths(Font& font, const Array& w);

// The walk of a /Differences array: an integer sets the running code, each name names
// that code's glyph and moves to the next code; codes past 255 are not visited.
template <typename Visit>
void for_each_difference(const Array& differences, Visit&& visit) {
  std::int64_t code = 0;
  for (const Object& element : differences) {
    if (const std::int64_t* value = element.as_integer()) {
      code = *value < 0 ? 0 : *value;
    } else if (const Name* name = element.as_name()) {
      if (code < 256) visit(static_cast<std::uint8_t>(code++), name->text);
    }
  }
}

// How many codes (glyphs) `bytes` holds in `font`.
std::size_t count_codes(const Font& font, ByteView bytes);

// Appends the decoded text to `out`; returns the total advance in text space. With
// `glyph_starts`, the offset in `out` where each code's text begins is appended to it.
double decode_and_measure(const Font& font, ByteView bytes, double tc, double tw, double tfs,
                          double th, std::string& out, std::vector<std::uint32_t>* glyph_starts = nullptr);

// Each code's advance in text space, in the order of the codes: what
// decode_and_measure adds for it. For the rare strings whose glyphs are looked at one by
// one (recovery's glyphs without text).
std::vector<double> glyph_advances(const Font& font, ByteView bytes, double tc, double tw, double tfs, double th);

}  // namespace folioscan
