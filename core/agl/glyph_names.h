// The glyph-name tables: the three built-in 256-entry code tables (WinAnsi, the default;
// MacRoman; Standard) and glyph names to Unicode.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

namespace folioscan {

// The three built-in 256-entry tables; 0: the code has no text.
const std::array<std::uint32_t, 256>& win_ansi_table();   // the default table
const std::array<std::uint32_t, 256>& mac_roman_table();
const std::array<std::uint32_t, 256>& standard_table();

// The glyph-name table, then "uniXXXX" (its first four digits) and "uXXXX" to "uXXXXXX";
// a suffix after a dot names a variant of the same character.
std::optional<std::uint32_t> glyph_name_to_unicode(std::string_view name);

// The value of a run of one to eight hexadecimal digits (0-9, A-F, a-f) filling all of
// `digits`; nothing else is accepted.
std::optional<std::uint32_t> hex_digits_value(std::string_view digits);

}  // namespace folioscan
