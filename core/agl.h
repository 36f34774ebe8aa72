// Fonts for text extraction: built-in encodings, the glyph-name table, /Differences,
// widths, composite fonts, and decoding shown strings into text and advances.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

#include "cos.h"
#include "tounicode.h"

namespace folioscan {

struct OpenDocument;

struct Font {
  std::optional<ToUnicodeMap> to_unicode;
  std::unordered_map<std::uint32_t, double> widths;  // already divided by 1000
  std::array<std::uint32_t, 256> encoding{};          // 0: the code has no text
  double default_width = 0.5;
  std::uint8_t code_bytes = 1;
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

// Appends the decoded text to `out`; returns the total advance in text space.
double decode_and_measure(const Font& font, ByteView bytes, double tc, double tw, double tfs,
                          double th, std::string& out);

}  // namespace folioscan
