// Widths of the fourteen base fonts from the generated table, names and aliases of
// those fonts, and setting a simple font's widths from them code by code.
#include "standard_widths.h"

#include <algorithm>
#include <iterator>
#include <span>

#include "../agl/font.h"
#include "standard_names.h"

namespace folioscan::font {
namespace {

struct NamedWidth {
  std::string_view name;
  std::uint16_t width;
};

#include "standard_widths.inc"

constexpr std::size_t kLatinCount = kLatinGlyphs.size();
static_assert(std::size(kLatinRows) == 8 && std::size(kLatinRows[0]) == kLatinCount);
static_assert(std::is_sorted(kLatinGlyphs.begin(), kLatinGlyphs.end()));
static_assert(std::is_sorted(kSymbolGlyphs.begin(), kSymbolGlyphs.end(),
                             [](const NamedWidth& a, const NamedWidth& b) { return a.name < b.name; }));
static_assert(std::is_sorted(kDingbatsGlyphs.begin(), kDingbatsGlyphs.end(),
                             [](const NamedWidth& a, const NamedWidth& b) { return a.name < b.name; }));

struct FontName {
  std::string_view name;
  StandardFont font;
};

// The fourteen names, and the names other systems give fonts with the same widths.
constexpr FontName kFontNames[] = {
    {"Times-Roman", StandardFont::TimesRoman},
    {"Times-Bold", StandardFont::TimesBold},
    {"Times-Italic", StandardFont::TimesItalic},
    {"Times-BoldItalic", StandardFont::TimesBoldItalic},
    {"Helvetica", StandardFont::Helvetica},
    {"Helvetica-Bold", StandardFont::HelveticaBold},
    {"Helvetica-Oblique", StandardFont::HelveticaOblique},
    {"Helvetica-BoldOblique", StandardFont::HelveticaBoldOblique},
    {"Courier", StandardFont::Courier},
    {"Courier-Bold", StandardFont::CourierBold},
    {"Courier-Oblique", StandardFont::CourierOblique},
    {"Courier-BoldOblique", StandardFont::CourierBoldOblique},
    {"Symbol", StandardFont::Symbol},
    {"ZapfDingbats", StandardFont::ZapfDingbats},
    {"Arial", StandardFont::Helvetica},
    {"ArialMT", StandardFont::Helvetica},
    {"Arial,Bold", StandardFont::HelveticaBold},
    {"Arial-BoldMT", StandardFont::HelveticaBold},
    {"Arial,Italic", StandardFont::HelveticaOblique},
    {"Arial-ItalicMT", StandardFont::HelveticaOblique},
    {"Arial,BoldItalic", StandardFont::HelveticaBoldOblique},
    {"Arial-BoldItalicMT", StandardFont::HelveticaBoldOblique},
    {"TimesNewRoman", StandardFont::TimesRoman},
    {"TimesNewRomanPSMT", StandardFont::TimesRoman},
    {"TimesNewRoman,Bold", StandardFont::TimesBold},
    {"TimesNewRomanPS-BoldMT", StandardFont::TimesBold},
    {"TimesNewRoman,Italic", StandardFont::TimesItalic},
    {"TimesNewRomanPS-ItalicMT", StandardFont::TimesItalic},
    {"TimesNewRoman,BoldItalic", StandardFont::TimesBoldItalic},
    {"TimesNewRomanPS-BoldItalicMT", StandardFont::TimesBoldItalic},
    {"CourierNew", StandardFont::Courier},
    {"CourierNewPSMT", StandardFont::Courier},
    {"CourierNew,Bold", StandardFont::CourierBold},
    {"CourierNewPS-BoldMT", StandardFont::CourierBold},
    {"CourierNew,Italic", StandardFont::CourierOblique},
    {"CourierNewPS-ItalicMT", StandardFont::CourierOblique},
    {"CourierNew,BoldItalic", StandardFont::CourierBoldOblique},
    {"CourierNewPS-BoldItalicMT", StandardFont::CourierBoldOblique},
};

bool is_courier(StandardFont font) {
  return font >= StandardFont::Courier && font <= StandardFont::CourierBoldOblique;
}

std::optional<std::size_t> latin_index(std::string_view glyph) {
  const auto* it = std::lower_bound(kLatinGlyphs.begin(), kLatinGlyphs.end(), glyph);
  if (it == kLatinGlyphs.end() || *it != glyph) return std::nullopt;
  return static_cast<std::size_t>(it - kLatinGlyphs.begin());
}

std::optional<std::uint16_t> named_width(std::span<const NamedWidth> table, std::string_view glyph) {
  const auto* it = std::lower_bound(table.data(), table.data() + table.size(), glyph,
                                    [](const NamedWidth& e, std::string_view n) { return e.name < n; });
  if (it == table.data() + table.size() || it->name != glyph) return std::nullopt;
  return it->width;
}

std::string_view latin_name(std::int16_t index) {
  if (index < 0 || static_cast<std::size_t>(index) >= kLatinCount) return {};
  return kLatinGlyphs[static_cast<std::size_t>(index)];
}

}  // namespace

std::optional<StandardFont> standard_font_named(std::string_view base_font) {
  // A subset tag: six capital letters and a plus sign.
  if (base_font.size() > 7 && base_font[6] == '+' &&
      std::all_of(base_font.begin(), base_font.begin() + 6, [](char c) { return c >= 'A' && c <= 'Z'; })) {
    base_font.remove_prefix(7);
  }
  for (const FontName& entry : kFontNames) {
    if (entry.name == base_font) return entry.font;
  }
  return std::nullopt;
}

std::optional<std::uint16_t> standard_glyph_width(StandardFont font, std::string_view glyph) {
  if (font == StandardFont::Symbol) return named_width(kSymbolGlyphs, glyph);
  if (font == StandardFont::ZapfDingbats) return named_width(kDingbatsGlyphs, glyph);
  const auto index = latin_index(glyph);
  if (!index) return std::nullopt;
  if (is_courier(font)) return std::uint16_t{600};
  const std::uint16_t width = kLatinRows[static_cast<std::size_t>(font)][*index];
  if (width == 0) return std::nullopt;
  return width;
}

std::optional<std::uint16_t> standard_code_width(StandardFont font, std::uint8_t code) {
  std::uint16_t width = 0;
  if (font == StandardFont::Symbol) {
    width = kSymbolCodes[code];
  } else if (font == StandardFont::ZapfDingbats) {
    width = kDingbatsCodes[code];
  } else {
    const std::uint16_t sid = standard_encoding_sid(code);
    if (sid == 0) return std::nullopt;
    return standard_glyph_width(font, standard_string(sid));
  }
  if (width == 0) return std::nullopt;
  return width;
}

std::string_view win_ansi_glyph_name(std::uint8_t code) { return latin_name(kWinAnsiNames[code]); }
std::string_view mac_roman_glyph_name(std::uint8_t code) { return latin_name(kMacRomanNames[code]); }

}  // namespace folioscan::font

namespace folioscan {
namespace {

using font::StandardFont;

// Which glyph each code draws: a name, or (empty name, `own`) the font's own code.
struct CodeGlyphs {
  std::array<std::string_view, 256> names{};
  bool own = true;  // no base table named: codes without a name use the font's own
};

void name_base_table(CodeGlyphs& glyphs, const Object& base) {
  std::string_view (*name_of)(std::uint8_t) = nullptr;
  if (base.is_name("WinAnsiEncoding")) {
    name_of = font::win_ansi_glyph_name;
  } else if (base.is_name("MacRomanEncoding")) {
    name_of = font::mac_roman_glyph_name;
  } else if (base.is_name("StandardEncoding")) {
    name_of = [](std::uint8_t code) {
      const std::uint16_t sid = font::standard_encoding_sid(code);
      return sid == 0 ? std::string_view{} : font::standard_string(sid);
    };
  } else {
    return;  // any other name: the font's own encoding, as with none
  }
  glyphs.own = false;
  for (std::uint32_t code = 0; code < 256; ++code) glyphs.names[code] = name_of(static_cast<std::uint8_t>(code));
}

// The same walk of /Differences as the text reading: an integer sets the running code,
// each name names that code's glyph and moves on.
void name_differences(CodeGlyphs& glyphs, const Array& differences) {
  for_each_difference(differences, [&](std::uint8_t code, std::string_view name) { glyphs.names[code] = name; });
}

// Borrows names from `encoding`, which must outlive the result.
CodeGlyphs code_glyphs(const Object* encoding) {
  CodeGlyphs glyphs;
  if (encoding == nullptr) return glyphs;
  const Dictionary* dict = nullptr;
  if (encoding->as_name() != nullptr) {
    name_base_table(glyphs, *encoding);
  } else if (const Dictionary* d = encoding->as_dict()) {
    dict = d;
    if (const Object* base = d->lookup("BaseEncoding")) name_base_table(glyphs, *base);
  } else if (const Stream* s = encoding->as_stream()) {
    dict = &s->dict;  // not a valid encoding, but its /Differences count for text too
  }
  if (dict != nullptr) {
    if (const Object* differences = dict->lookup("Differences")) {
      if (const Array* list = differences->as_array()) name_differences(glyphs, *list);
    }
  }
  return glyphs;
}

}  // namespace

void apply_standard_widths(const Dictionary& font_dict, const Object* encoding, Font& font) {
  if (font.code_bytes != 1 || !font.widths.empty() || font_dict.lookup("Widths") != nullptr) return;
  if (const Object* subtype = font_dict.lookup("Subtype"); subtype != nullptr && subtype->is_name("Type3")) {
    return;  // Type 3 glyphs are measured in their own glyph space
  }
  const Object* base_font = font_dict.lookup("BaseFont");
  const Name* name = base_font != nullptr ? base_font->as_name() : nullptr;
  if (name == nullptr) return;
  const auto standard = font::standard_font_named(name->text);
  if (!standard) return;

  const CodeGlyphs glyphs = code_glyphs(encoding);
  for (std::uint32_t code = 0; code < 256; ++code) {
    const std::string_view glyph = glyphs.names[code];
    std::optional<std::uint16_t> width;
    if (!glyph.empty()) {
      width = font::standard_glyph_width(*standard, glyph);
    } else if (glyphs.own) {
      width = font::standard_code_width(*standard, static_cast<std::uint8_t>(code));
    }
    if (width) font.widths[code] = *width / 1000.0;
  }
}

}  // namespace folioscan
