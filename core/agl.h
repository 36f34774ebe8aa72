// Fonts for text extraction: built-in encodings, the glyph-name table, /Differences,
// widths, composite fonts, and decoding shown strings into text and advances.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

#include "cos.h"
#include "tounicode.h"

namespace folioscan {

struct OpenDocument;

struct Font {
  // Shared: the pages of a call that use one ToUnicode stream share one parsed map.
  std::shared_ptr<const ToUnicodeMap> to_unicode;
  std::unordered_map<std::uint32_t, double> widths;  // already divided by 1000
  std::array<std::uint32_t, 256> encoding{};          // 0: the code has no text
  double default_width = 0.5;
  std::uint8_t code_bytes = 1;

  // The widths of the 256 one-byte codes with `default_width` filled in, so that simple
  // fonts measure a string without hashing each code. Empty until cache_byte_widths()
  // builds it (load_font does); measuring then gives exactly what `widths` gives. Call it
  // again after changing `widths` or `default_width`.
  std::optional<std::array<double, 256>> byte_widths;
  void cache_byte_widths();
};

// Font resource name (without the slash) to font.
using FontMap = std::unordered_map<std::string, Font>;

// The three built-in 256-entry tables.
const std::array<std::uint32_t, 256>& win_ansi_table();   // the default table
const std::array<std::uint32_t, 256>& mac_roman_table();
const std::array<std::uint32_t, 256>& standard_table();

std::optional<std::uint32_t> glyph_name_to_unicode(std::string_view name);

FontMap load_font_map(OpenDocument& doc, const Dictionary& resources);
Font load_font(OpenDocument& doc, const Dictionary& font_dict);

// The steps of load_font that need no document, on values it has already resolved.
// `encoding` is the resolved /Encoding (nullptr when absent or unresolvable): selects the
// base table and applies /Differences.
void apply_simple_encoding(Font& font, const Object* encoding);
// /Widths from code `first_char` on; elements that are not numbers are skipped.
void read_simple_widths(Font& font, std::int64_t first_char, const Array& widths);
// A composite font's /W array ("c [w ...]" and "c_first c_last w" entries).
void read_composite_widths(Font& font, const Array& w);

// Appends the decoded text to `out`; returns the total advance in text space.
double decode_and_measure(const Font& font, ByteView bytes, double tc, double tw, double tfs,
                          double th, std::string& out);

}  // namespace folioscan
