// Recovery's glyph names: the full glyph list, "uni"/"u" values, ligatures and suffixes,
// and what they give a simple font's /Differences in each reading.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "agl/font_loader.h"
#include "agl/glyph_text.h"
#include "doc.h"
#include "font_support.h"
#include "pdf_builder.h"

namespace folioscan {
namespace {

using testing::bytes_of;
using testing::PdfBuilder;

TEST(GlyphNameText, NamesSayTheirCharacters) {
  const struct {
    std::string name;
    std::optional<std::string> text;
  } cases[] = {
      {"A", "A"},
      {"ccaron", "\xC4\x8D"},                   // in the full list only
      {"uring", "\xC5\xAF"},
      {"dalethatafpatah", "\xD7\x93\xD6\xB2"},  // a list entry of two characters
      {"uni0041", "A"},
      {"uni00660069", "fi"},                    // several groups of four
      {"uni006600", "f"},                       // a broken group: the first four digits
      {"uniD800", std::nullopt},                // a surrogate
      {"u1F600", "\xF0\x9F\x98\x80"},
      {"u0041", "A"},
      {"u110000", std::nullopt},                // past U+10FFFF
      {"u41", std::nullopt},                    // fewer than four digits
      {"f_f_i", "ffi"},
      {"T_h", "Th"},
      {"f_xyz", std::nullopt},                  // one part says nothing: the whole says nothing
      {"a.sc", "a"},
      {"f_f_l.alt", "ffl"},
      {"uni0041.001", "A"},
      {".notdef", std::nullopt},
      {"", std::nullopt},
      {"_", std::nullopt},
      {"g17", std::nullopt},
      {"epsilon1", "\xCF\xB5"},                // TeX's variant epsilon
      {"a_a_a_a_a_a_a_a_a_a_a_a_a_a_a_a_a", std::nullopt},  // past the part bound
  };
  for (const auto& c : cases) {
    std::string out = "x";
    const bool found = append_glyph_name_text(c.name, out);
    EXPECT_EQ(found, c.text.has_value()) << c.name;
    EXPECT_EQ(out, "x" + c.text.value_or("")) << c.name;
  }
}

// Font F: a Type 1 font whose encoding is `encoding`; the text of `shown`.
std::string shown_text(bool recover, const std::string& encoding, const std::string& shown) {
  PdfBuilder b;
  b.add(1, "<</Pages 2 0 R>>");
  b.add(2, "<</Kids []>>");
  b.add(3, "<</Font <</F 10 0 R>>>>");
  b.add(10, "<</Type/Font /Subtype/Type1 /BaseFont/Unknown /Encoding " + encoding + ">>");
  std::string out;
  const ByteView bytes(reinterpret_cast<const std::uint8_t*>(shown.data()), shown.size());
  testing::with_font_f(b.build(), recover,
                       [&](const Font& font) { (void)decode_and_measure(font, bytes, 0, 0, 1, 1, out); });
  return out;
}

TEST(GlyphNameText, DifferencesNamesGiveTextInRecoveryOnly) {
  const struct {
    std::string encoding, shown, strict, recovered;
  } cases[] = {
      // Ligatures and names the strict table lacks; the base table's control codes 2-4
      // are no text in recovery.
      {"<</BaseEncoding/WinAnsiEncoding /Differences [2 /f_f_i /ccaron /uni00660069]>>", "\x02\x03\x04",
       "\x02\x03" "f", "ffi\xC4\x8D" "fi"},
      // A later entry for the same code replaces the ligature (a small capital, which
      // recovery upper-cases).
      {"<</Differences [5 /f_f_l 5 /a.sc]>>", "\x05", "a", "A"},
      // Small capitals by suffix and expert-font names read as the capitals they are;
      // a digit's or a capital's variant stays what it is.
      {"<</Differences [1 /B.c2sc /a.smcp /i.sc /r.smcp.ss01 /d.smcp /eacute.sc /germandbls.sc /one.sc]>>",
       "\x01\x02\x03\x04\x05\x06\x07\x08", "Baird\xC3\xA9\xC3\x9F" "1", "BAIRD\xC3\x89\xC3\x9F" "1"},
      {"<</Differences [1 /Asmall /Eacutesmall /a.alt]>>", "\x01\x02\x03", "\x01\x02" "a", "A\xC3\x89" "a"},
      // Ligatures' presentation forms spell out their letters.
      {"<</Differences [1 /fi /ffl /s_t]>>", "\x01\x02\x03", "\xEF\xAC\x81\xEF\xAC\x84\x03", "fifflst"},
      // Names that say nothing leave the code without text; the strict values stay.
      {"<</Differences [65 /g17 /B]>>", "AB", "AB", "AB"},
      // Printable ASCII and tabs of the base table: only the controls go.
      {"/WinAnsiEncoding", "a\tb\x7F", "a\tb\x7F", "ab"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(shown_text(false, c.encoding, c.shown), c.strict) << c.encoding;
    EXPECT_EQ(shown_text(true, c.encoding, c.shown), c.recovered) << c.encoding;
  }
}

}  // namespace
}  // namespace folioscan
