// The fixed glyph-name tables that font programs refer to by number: the standard
// strings and encoding of CFF fonts (also Type 1's StandardEncoding), the expert
// charsets, and the Macintosh glyph order of TrueType `post` tables.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

namespace folioscan::font {

// Number of CFF standard strings; string ids from here on index the font's own strings.
inline constexpr std::uint32_t kStandardStringCount = 391;

// Standard string `sid`, empty past the table.
std::string_view standard_string(std::uint32_t sid);
// The string id StandardEncoding gives `code` (0: .notdef, no glyph).
std::uint16_t standard_encoding_sid(std::uint8_t code);
// The predefined Expert and ExpertSubset charsets: string ids of glyphs 0, 1, ...
std::span<const std::uint16_t> expert_charset();
std::span<const std::uint16_t> expert_subset_charset();
// Name `index` of the 258 standard Macintosh glyphs, empty past them.
inline constexpr std::uint32_t kMacGlyphCount = 258;
std::string_view mac_glyph_name(std::uint32_t index);

}  // namespace folioscan::font
