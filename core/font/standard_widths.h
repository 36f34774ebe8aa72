// The glyph widths of the fourteen base fonts (Times, Helvetica and Courier in four
// styles, Symbol, ZapfDingbats), for simple fonts that name one of them without giving
// /Widths. Recovery uses them so that such text is measured as it is drawn instead of
// at half an em a glyph, which split words and joined others.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

#include "../cos/object.h"

namespace folioscan {
struct Font;
}

namespace folioscan::font {

enum class StandardFont : std::uint8_t {
  TimesRoman,
  TimesBold,
  TimesItalic,
  TimesBoldItalic,
  Helvetica,
  HelveticaBold,
  HelveticaOblique,
  HelveticaBoldOblique,
  Courier,
  CourierBold,
  CourierOblique,
  CourierBoldOblique,
  Symbol,
  ZapfDingbats,
};

// The base font a /BaseFont names: one of the fourteen names, or a common alias with the
// same metrics (Arial and ArialMT styles for Helvetica, Times New Roman for Times,
// Courier New for Courier); a subset tag "ABCDEF+" is ignored. Anything else: none.
std::optional<StandardFont> standard_font_named(std::string_view base_font);

// Width in 1/1000 em of glyph `glyph` of `font`; none when the font has no such glyph.
std::optional<std::uint16_t> standard_glyph_width(StandardFont font, std::string_view glyph);

// Width of `code` through the font's own encoding (StandardEncoding for the Latin
// fonts, the built-in codes of Symbol and ZapfDingbats); none when the code has no glyph.
std::optional<std::uint16_t> standard_code_width(StandardFont font, std::uint8_t code);

// Glyph names of the WinAnsi and MacRoman tables as a font draws them; empty: no glyph.
std::string_view win_ansi_glyph_name(std::uint8_t code);
std::string_view mac_roman_glyph_name(std::uint8_t code);

}  // namespace folioscan::font

namespace folioscan {

// Recovery only: sets the widths of a simple font without /Widths whose /BaseFont is a
// base font, code by code through its encoding (`encoding` is the resolved /Encoding, or
// nullptr): the base table it names, else the font's own, then /Differences. Codes with
// no glyph in the font keep the default width. Fonts with any other name, Type 3 fonts
// and composite fonts are left alone; so is a font that already has widths.
void apply_standard_widths(const Dictionary& font_dict, const Object* encoding, Font& font);

}  // namespace folioscan
