// Recovery measures simple fonts that name a base font without /Widths with that font's
// widths: names and aliases, the width table, the encodings that pick each code's glyph,
// the fonts left alone, and the words this puts back together.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <optional>
#include <string>

#include "agl/font_loader.h"
#include "agl/glyph_names.h"
#include "doc.h"
#include "extract.h"
#include "font/standard_widths.h"
#include "pdf_builder.h"

namespace folioscan {
namespace {

using font::StandardFont;
using testing::bytes_of;
using testing::PdfBuilder;

TEST(StandardWidths, BaseFontNamesAndAliases) {
  const struct {
    const char* name;
    std::optional<StandardFont> font;
  } cases[] = {
      {"Helvetica", StandardFont::Helvetica},
      {"Times-BoldItalic", StandardFont::TimesBoldItalic},
      {"Courier-Oblique", StandardFont::CourierOblique},
      {"ZapfDingbats", StandardFont::ZapfDingbats},
      {"Arial", StandardFont::Helvetica},
      {"ABCDEF+Arial,Bold", StandardFont::HelveticaBold},
      {"Arial-BoldMT", StandardFont::HelveticaBold},
      {"Arial,Italic", StandardFont::HelveticaOblique},
      {"TimesNewRomanPSMT", StandardFont::TimesRoman},
      {"TimesNewRoman,BoldItalic", StandardFont::TimesBoldItalic},
      {"QWERTY+CourierNew", StandardFont::Courier},
      {"CourierNew,Bold", StandardFont::CourierBold},
      {"ABCDE+Helvetica", std::nullopt},    // a tag is six letters
      {"abcdef+Helvetica", std::nullopt},   // capitals only
      {"ABCDEF+", std::nullopt},
      {"ABC1EF+Helvetica", std::nullopt},
      {"Helvetica-Narrow", std::nullopt},  // other widths
      {"helvetica", std::nullopt},
      {"Verdana", std::nullopt},
      {"", std::nullopt},
  };
  for (const auto& c : cases) EXPECT_EQ(font::standard_font_named(c.name), c.font) << c.name;
}

TEST(StandardWidths, GlyphAndCodeWidths) {
  const struct {
    StandardFont font;
    const char* glyph;  // nullptr: look up `code` through the font's own encoding
    int code;
    std::optional<std::uint16_t> width;
  } cases[] = {
      {StandardFont::Helvetica, "A", 0, 667},
      {StandardFont::Helvetica, "space", 0, 278},
      {StandardFont::HelveticaBold, "B", 0, 722},
      {StandardFont::TimesRoman, "A", 0, 722},
      {StandardFont::TimesRoman, "space", 0, 250},
      {StandardFont::TimesItalic, "A", 0, 611},
      {StandardFont::TimesBold, "Euro", 0, 500},
      {StandardFont::CourierBold, "Euro", 0, 600},
      {StandardFont::Courier, "zcaron", 0, 600},
      {StandardFont::Courier, "alpha1", 0, std::nullopt},  // no such glyph: no width
      {StandardFont::Helvetica, "a.sc", 0, std::nullopt},
      {StandardFont::Helvetica, "", 0, std::nullopt},
      {StandardFont::Symbol, "alpha", 0, 631},
      {StandardFont::Symbol, "A", 0, std::nullopt},  // Symbol calls it "Alpha"
      {StandardFont::ZapfDingbats, "a1", 0, 974},
      {StandardFont::Helvetica, nullptr, 0x27, 222},   // quoteright, not quotesingle
      {StandardFont::Helvetica, nullptr, 0x60, 222},   // quoteleft
      {StandardFont::Helvetica, nullptr, 0xE1, 1000},  // AE
      {StandardFont::Helvetica, nullptr, 0x80, std::nullopt},
      {StandardFont::Helvetica, nullptr, 0x00, std::nullopt},
      {StandardFont::Symbol, nullptr, 0x61, 631},
      {StandardFont::Symbol, nullptr, 0x80, std::nullopt},
      {StandardFont::Symbol, nullptr, 0xF0, 790},  // apple
      {StandardFont::ZapfDingbats, nullptr, 0x21, 974},
  };
  for (const auto& c : cases) {
    const auto width = c.glyph != nullptr ? font::standard_glyph_width(c.font, c.glyph)
                                          : font::standard_code_width(c.font, static_cast<std::uint8_t>(c.code));
    EXPECT_EQ(width, c.width) << static_cast<int>(c.font) << " " << (c.glyph ? c.glyph : "") << " " << c.code;
  }
}

// The glyph names of the two code tables against the text those tables give: a name one
// code off would measure every later code with its neighbour's width.
TEST(StandardWidths, CodeTableNamesAgreeWithTheirText) {
  const struct {
    std::string_view (*name)(std::uint8_t);
    const std::array<std::uint32_t, 256>& text;
    std::initializer_list<int> drawn_differently;  // codes whose glyph is not their text
  } tables[] = {
      {font::win_ansi_glyph_name, win_ansi_table(), {0xA0, 0xAD}},
      {font::mac_roman_glyph_name, mac_roman_table(), {0xCA}},
  };
  for (const auto& t : tables) {
    int checked = 0;
    for (int code = 0; code < 256; ++code) {
      const std::string_view name = t.name(static_cast<std::uint8_t>(code));
      if (t.text[code] == 0) {
        EXPECT_TRUE(name.empty()) << code;
      }
      if (std::find(t.drawn_differently.begin(), t.drawn_differently.end(), code) != t.drawn_differently.end()) {
        continue;
      }
      if (const auto cp = glyph_name_to_unicode(name)) {
        EXPECT_EQ(*cp, t.text[code]) << code << " " << name;
        ++checked;
      }
    }
    EXPECT_GT(checked, 140);
  }
}

// Loads font object 10 of a document holding only it, in the strict reading or recovery.
Font load(const std::string& font_dict, bool recover) {
  PdfBuilder b;
  b.add(1, "<</Pages 2 0 R>>");
  b.add(2, "<</Kids []>>");
  b.add(10, font_dict);
  const std::string file = b.build();
  auto doc = open_document(bytes_of(file), {}, ExtractOptions{.recover = recover});
  EXPECT_TRUE(doc.has_value());
  if (!doc) return Font{};
  const auto dict = doc->resolver.dictionary_view(Object{ObjRef{10, 0}});
  EXPECT_TRUE(dict.has_value());
  FontContext context;
  return dict ? load_font(*doc, context, **dict) : Font{};
}

TEST(StandardWidths, EachCodeMeasuresTheGlyphItsEncodingNames) {
  const struct {
    const char* font;
    int code;
    double recovered;  // the strict reading gives the default width
  } cases[] = {
      {"<</Subtype/Type1 /BaseFont/Helvetica>>", 'B', 0.667},
      {"<</Subtype/Type1 /BaseFont/Helvetica>>", 0x27, 0.222},  // the font's own encoding
      {"<</Subtype/Type1 /BaseFont/Helvetica /Encoding/WinAnsiEncoding>>", 0x27, 0.191},
      {"<</Subtype/Type1 /BaseFont/Helvetica /Encoding/WinAnsiEncoding>>", 0xC6, 1.0},  // AE
      {"<</Subtype/Type1 /BaseFont/Helvetica /Encoding/MacRomanEncoding>>", 0xAE, 1.0},  // AE
      {"<</Subtype/Type1 /BaseFont/Helvetica /Encoding/WinAnsiEncoding>>", 0x81, 0.5},  // no glyph
      {"<</Subtype/Type1 /BaseFont/Helvetica /Encoding<</Differences [66 /W /period]>>>>", 'B', 0.944},
      {"<</Subtype/Type1 /BaseFont/Helvetica /Encoding<</Differences [66 /W /period]>>>>", 'C', 0.278},
      {"<</Subtype/Type1 /BaseFont/Helvetica /Encoding<</Differences [66 /W /period]>>>>", 'D', 0.722},
      {"<</Subtype/Type1 /BaseFont/Helvetica /Encoding<</Differences [66 /nosuch]>>>>", 'B', 0.5},
      {"<</Subtype/Type1 /BaseFont/Helvetica /Encoding<</Differences [300 /W 65 /W]>>>>", 'A', 0.944},
      {"<</Subtype/TrueType /BaseFont/ABCDEF+Arial,Bold>>", 'B', 0.722},
      {"<</Subtype/TrueType /BaseFont/TimesNewRomanPSMT>>", 'B', 0.667},
      {"<</Subtype/Type1 /BaseFont/Courier-BoldOblique>>", 'i', 0.6},
      {"<</Subtype/Type1 /BaseFont/Symbol>>", 'a', 0.631},
      {"<</Subtype/Type1 /BaseFont/Symbol /Encoding<</Differences [98 /alpha]>>>>", 'b', 0.631},
      {"<</Subtype/Type1 /BaseFont/ZapfDingbats>>", '!', 0.974},
      // Left alone: their own widths (even covering no code), another font, Type 3.
      {"<</Subtype/Type1 /BaseFont/Helvetica /FirstChar 65 /Widths [250]>>", 'B', 0.5},
      {"<</Subtype/Type1 /BaseFont/Helvetica /FirstChar 65 /Widths []>>", 'B', 0.5},
      {"<</Subtype/Type1 /BaseFont/Helvetica /Widths 99 0 R>>", 'B', 0.5},
      {"<</Subtype/Type1 /BaseFont/Verdana>>", 'B', 0.5},
      {"<</Subtype/Type1 /BaseFont(Helvetica)>>", 'B', 0.5},
      {"<</Subtype/Type3 /BaseFont/Helvetica /FontMatrix [0.001 0 0 0.001 0 0]>>", 'B', 0.5},
  };
  for (const auto& c : cases) {
    const Font strict = load(c.font, false);
    const Font recovered = load(c.font, true);
    ASSERT_TRUE(strict.byte_widths && recovered.byte_widths);
    EXPECT_EQ((*strict.byte_widths)[c.code], 0.5) << c.font;
    EXPECT_DOUBLE_EQ((*recovered.byte_widths)[c.code], c.recovered) << c.font << " code " << c.code;
  }
}

std::string text_of(const std::string& font_dict, const std::string& content, bool recover) {
  PdfBuilder b;
  b.add(1, "<</Type/Catalog /Pages 2 0 R>>");
  b.add(2, "<</Type/Pages /Kids [3 0 R] /Count 1>>");
  b.add(3, "<</Type/Page /Parent 2 0 R /MediaBox [0 0 612 792] /Resources <</Font <</F1 10 0 R>>>> "
           "/Contents 4 0 R>>");
  b.add_stream(4, "", content);
  b.add(10, font_dict);
  const std::string file = b.build();
  auto doc = parse_document(bytes_of(file), {}, ExtractOptions{.recover = recover});
  EXPECT_TRUE(doc.has_value());
  if (!doc || doc->pages.empty()) return {};
  return page_text(doc->pages[0]);
}

// A word set in two pieces, the second placed where the first ends in the named font.
TEST(StandardWidths, WordsSetInPiecesComeBackWhole) {
  const struct {
    const char* font;
    const char* content;
    const char* strict;
    const char* recovered;
  } cases[] = {
      // B U T T O = 667 + 722 + 611 + 611 + 778 = 3389/1000 em, 40.668 at 12.
      {"<</Subtype/Type1 /BaseFont/Helvetica>>", "BT /F1 12 Tf 40 600 Td (BUTTO) Tj 40.668 0 Td (N) Tj ET",
       "BUTTO N", "BUTTON"},
      // Bold: 722 + 722 + 611 + 611 + 778 = 3444.
      {"<</Subtype/TrueType /BaseFont/ABCDEF+Arial-BoldMT>>",
       "BT /F1 12 Tf 40 600 Td (BUTTO) Tj 41.328 0 Td (N) Tj ET", "BUTTO N", "BUTTON"},
      // Courier: 5 x 600.
      {"<</Subtype/Type1 /BaseFont/CourierNew>>", "BT /F1 12 Tf 40 600 Td (BUTTO) Tj 36 0 Td (N) Tj ET",
       "BUTTO N", "BUTTON"},
      // Times: "of" (500 + 333) then a space's width (250) before "the".
      {"<</Subtype/Type1 /BaseFont/Times-Roman>>", "BT /F1 12 Tf 40 600 Td (of) Tj 12.996 0 Td (the) Tj ET",
       "ofthe", "of the"},
      // With its own widths the font is measured by them either way.
      {"<</Subtype/Type1 /BaseFont/Helvetica /FirstChar 32 /Widths [278]>>",
       "BT /F1 12 Tf 40 600 Td (BUTTO) Tj 40.668 0 Td (N) Tj ET", "BUTTO N", "BUTTO N"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(text_of(c.font, c.content, false), c.strict) << c.font;
    EXPECT_EQ(text_of(c.font, c.content, true), c.recovered) << c.font;
  }
}

}  // namespace
}  // namespace folioscan
