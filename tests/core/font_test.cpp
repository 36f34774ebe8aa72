// Encodings and widths read from font values into a Font, and decoding and measuring
// shown strings.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <string_view>

#include "agl/font.h"
#include "agl/glyph_names.h"

namespace folioscan {
namespace {

using namespace std::string_view_literals;

Object integer(std::int64_t v) { return Object{v}; }
Object real(double v) { return Object{v}; }
Object name(std::string text) { return Object{Name{std::move(text)}}; }
Object array(std::initializer_list<Object> items) { return Object{Array(items)}; }

ByteView bytes_of(std::string_view s) {
  return ByteView(reinterpret_cast<const std::uint8_t*>(s.data()), s.size());
}

// ---------------------------------------------------------------------------------------
// Encodings from font values

TEST(SimpleEncoding, AbsentOrUnusableEncodingGivesTheDefaultTable) {
  Font font;
  apply_simple_encoding(font, nullptr);
  EXPECT_EQ(font.encoding, win_ansi_table());
  const Object number = integer(3);
  apply_simple_encoding(font, &number);
  EXPECT_EQ(font.encoding, win_ansi_table());
  const Object unknown = name("WinAnsiEncodingX");
  apply_simple_encoding(font, &unknown);
  EXPECT_EQ(font.encoding, win_ansi_table());
}

TEST(SimpleEncoding, NamesSelectMacRomanAndStandard) {
  Font font;
  const Object mac = name("MacRomanEncoding");
  apply_simple_encoding(font, &mac);
  EXPECT_EQ(font.encoding, mac_roman_table());
  const Object standard = name("StandardEncoding");
  apply_simple_encoding(font, &standard);
  EXPECT_EQ(font.encoding, standard_table());
}

TEST(SimpleEncoding, DictionaryBaseEncodingMustBeAName) {
  Font font;
  Dictionary dict;
  dict.set("BaseEncoding", name("MacRomanEncoding"));
  const Object with_base{dict};
  apply_simple_encoding(font, &with_base);
  EXPECT_EQ(font.encoding, mac_roman_table());

  Dictionary bad;
  bad.set("BaseEncoding", Object{String{}});
  const Object with_bad_base{bad};
  apply_simple_encoding(font, &with_bad_base);
  EXPECT_EQ(font.encoding, win_ansi_table());
}

TEST(SimpleEncoding, DifferencesWithoutValueLeaveTheBaseEntryAndStillAdvance) {
  Font font;
  Dictionary dict;
  dict.set("Differences", array({integer(128), name("Euro"), name("bullet")}));
  const Object encoding{dict};
  apply_simple_encoding(font, &encoding);
  EXPECT_EQ(font.encoding[128], 0x20ACu);  // "Euro" has no value; the base entry stays
  EXPECT_EQ(font.encoding[129], 0x2022u);
}

TEST(SimpleEncoding, DifferencesStartAtCodeZeroAndClampNegativeCodes) {
  Font font;
  Dictionary dict;
  dict.set("Differences", array({name("A"), name("B"), integer(-5), name("C"), real(66.0),
                                 name("D"), integer(255), name("E"), name("F")}));
  const Object encoding{dict};
  apply_simple_encoding(font, &encoding);
  EXPECT_EQ(font.encoding[0], 'C');  // -5 sets the code to 0, overwriting A
  EXPECT_EQ(font.encoding[1], 'D');  // the real 66.0 is ignored, so D follows C
  EXPECT_EQ(font.encoding[255], 'E');
  EXPECT_EQ(font.encoding[66], 'B');  // untouched: win-ansi 'B'
}

TEST(SimpleEncoding, StreamGetsDefaultTableButItsDifferences) {
  Font font;
  Stream stream;
  stream.dict.set("BaseEncoding", name("MacRomanEncoding"));
  stream.dict.set("Differences", array({integer(65), name("bullet")}));
  const Object encoding{stream};
  apply_simple_encoding(font, &encoding);
  EXPECT_EQ(font.encoding[0x80], 0x20ACu);
  EXPECT_EQ(font.encoding[65], 0x2022u);
}

// ---------------------------------------------------------------------------------------
// Widths from font values

TEST(SimpleWidths, NonNumbersAreSkippedButCount) {
  Font font;
  read_simple_widths(font, 65, *array({integer(500), Object{Null{}}, real(300.0)}).as_array());
  font.cache_byte_widths();
  EXPECT_EQ(font.widths.size(), 2u);
  EXPECT_DOUBLE_EQ(font.widths.at(65), 0.5);
  EXPECT_DOUBLE_EQ(font.widths.at(67), 0.3);
  std::string out;
  EXPECT_DOUBLE_EQ(decode_and_measure(font, bytes_of("ABC"), 0, 0, 10, 1, out), 5 + 5 + 3);
}

TEST(SimpleWidths, CodesOutsideTheUnsigned32BitRangeAreDropped) {
  Font font;
  read_simple_widths(font, -1, *array({integer(100), integer(200)}).as_array());
  EXPECT_EQ(font.widths.size(), 1u);
  EXPECT_DOUBLE_EQ(font.widths.at(0), 0.2);

  Font high;
  read_simple_widths(high, 4294967295, *array({integer(100), integer(200)}).as_array());
  EXPECT_EQ(high.widths.size(), 1u);
  EXPECT_DOUBLE_EQ(high.widths.at(4294967295u), 0.1);

  Font huge;
  read_simple_widths(huge, INT64_MAX, *array({integer(100)}).as_array());
  EXPECT_TRUE(huge.widths.empty());
}

TEST(CompositeWidths, ArrayAndRangeEntries) {
  Font font;
  read_composite_widths(font, *array({integer(1), array({integer(500), real(600.0)}), integer(10),
                                      integer(20), integer(700)})
                                   .as_array());
  EXPECT_EQ(font.widths.size(), 2u + 11u);
  EXPECT_DOUBLE_EQ(font.widths.at(1), 0.5);
  EXPECT_DOUBLE_EQ(font.widths.at(2), 0.6);
  EXPECT_DOUBLE_EQ(font.widths.at(10), 0.7);
  EXPECT_DOUBLE_EQ(font.widths.at(20), 0.7);
  EXPECT_FALSE(font.widths.contains(21));
}

TEST(CompositeWidths, WalkEndsAtANonIntegerStart) {
  Font font;
  read_composite_widths(font, *array({name("x"), integer(1), array({integer(500)})}).as_array());
  EXPECT_TRUE(font.widths.empty());
  read_composite_widths(font, *array({integer(1), array({integer(500)}), real(2.0), array({integer(9)})})
                                   .as_array());
  EXPECT_EQ(font.widths.size(), 1u);
}

TEST(CompositeWidths, IllTypedTripleIsSkippedAsAWhole) {
  Font font;
  // "5 /x 100" is not a range: skipped, and the walk resumes three elements later.
  read_composite_widths(font, *array({integer(5), name("x"), integer(100), integer(7), integer(8),
                                      integer(900)})
                                   .as_array());
  EXPECT_EQ(font.widths.size(), 2u);
  EXPECT_DOUBLE_EQ(font.widths.at(7), 0.9);
  EXPECT_DOUBLE_EQ(font.widths.at(8), 0.9);
}

TEST(CompositeWidths, HugeRangeIsClippedToTwoByteCodes) {
  Font font;
  read_composite_widths(font, *array({integer(-10), integer(4000000000), integer(250)}).as_array());
  EXPECT_EQ(font.widths.size(), 0x10000u);
  EXPECT_DOUBLE_EQ(font.widths.at(0), 0.25);
  EXPECT_DOUBLE_EQ(font.widths.at(0xFFFF), 0.25);
  // Both ends at the extremes of the integer range.
  read_composite_widths(font, *array({integer(INT64_MIN), integer(INT64_MAX), integer(100)}).as_array());
  EXPECT_EQ(font.widths.size(), 0x10000u);
  EXPECT_DOUBLE_EQ(font.widths.at(0x1234), 0.1);
}

TEST(CompositeWidths, ArrayEntriesStartingBelowZeroOrNearTheTopAreClipped) {
  Font font;
  read_composite_widths(font, *array({integer(-2), array({integer(1), integer(2), integer(3)}),
                                      integer(0xFFFE), array({integer(4), integer(5), integer(6)}),
                                      integer(INT64_MAX), array({integer(7)})})
                                   .as_array());
  EXPECT_EQ(font.widths.size(), 3u);
  EXPECT_DOUBLE_EQ(font.widths.at(0), 0.003);
  EXPECT_DOUBLE_EQ(font.widths.at(0xFFFE), 0.004);
  EXPECT_DOUBLE_EQ(font.widths.at(0xFFFF), 0.005);
}

TEST(CompositeWidths, LaterWidthReplacesEarlier) {
  Font font;
  read_composite_widths(font, *array({integer(3), array({integer(100)}), integer(1), integer(5),
                                      integer(200)})
                                   .as_array());
  EXPECT_DOUBLE_EQ(font.widths.at(3), 0.2);
}

// ---------------------------------------------------------------------------------------
// Decoding and measuring

Font simple_font() {
  Font font;
  font.encoding = win_ansi_table();
  return font;
}

Font composite_font() {
  Font font;
  font.code_bytes = 2;
  font.default_width = 1.0;
  return font;
}

TEST(DecodeAndMeasure, EmptyStringAppendsNothingAndMeasuresZero) {
  std::string out = "kept";
  EXPECT_EQ(decode_and_measure(simple_font(), {}, 3, 4, 12, 1, out), 0.0);
  EXPECT_EQ(out, "kept");
}

TEST(DecodeAndMeasure, SimpleFontUsesWidthsAndDefaultWidth) {
  Font font = simple_font();
  font.widths[0x48] = 0.7;
  std::string out = ">";
  EXPECT_DOUBLE_EQ(decode_and_measure(font, bytes_of("Hi"), 0, 0, 10, 1, out), 7 + 5);
  EXPECT_EQ(out, ">Hi");
}

TEST(DecodeAndMeasure, CharacterWordSpacingAndScalingApplyPerCode) {
  const Font font = simple_font();
  std::string out;
  // Each code: (0.5 × 10 + 1) × 0.5 = 3; the space adds 5 × 0.5.
  EXPECT_DOUBLE_EQ(decode_and_measure(font, bytes_of("a b"), 1, 5, 10, 0.5, out), 3 * 3 + 2.5);
  EXPECT_EQ(out, "a b");
}

TEST(DecodeAndMeasure, WordSpacingSkipsTwoByteCode0x0020) {
  const Font font = composite_font();
  std::string out;
  const std::uint8_t bytes[] = {0x00, 0x20, 0x01, 0x20};
  EXPECT_DOUBLE_EQ(decode_and_measure(font, bytes, 0, 5, 10, 1, out), 20.0);
  EXPECT_EQ(out, "");  // no ToUnicode: composite codes give no text
}

TEST(DecodeAndMeasure, TrailingOddByteOfTwoByteFontIsItsOwnCode) {
  Font font = composite_font();
  font.widths[0x0041] = 0.4;
  font.widths[0x42] = 0.3;
  ToUnicodeMap map;
  map.singles[0x0041] = "A";
  map.singles[0x42] = "b";
  font.to_unicode = std::make_shared<const ToUnicodeMap>(std::move(map));
  std::string out;
  const std::uint8_t bytes[] = {0x00, 0x41, 0x42};
  EXPECT_DOUBLE_EQ(decode_and_measure(font, bytes, 0, 0, 10, 1, out), 4 + 3);
  EXPECT_EQ(out, "Ab");
}

TEST(DecodeAndMeasure, ToUnicodeWinsFallsBackToEncodingAndCanSuppressText) {
  Font font = simple_font();
  ToUnicodeMap map;
  map.singles[0x41] = "\xEF\xAC\x81";  // U+FB01
  map.singles[0x43] = "";
  map.ranges.push_back({0x30, 0x31, 0x3B1});
  font.to_unicode = std::make_shared<const ToUnicodeMap>(std::move(map));
  std::string out;
  decode_and_measure(font, bytes_of("ABC01\x80"), 0, 0, 10, 1, out);
  EXPECT_EQ(out, "\xEF\xAC\x81" "B" "\xCE\xB1\xCE\xB2" "\xE2\x82\xAC");
}

TEST(DecodeAndMeasure, CodesWithoutTextStillAdvance) {
  const Font font = simple_font();
  std::string out;
  EXPECT_DOUBLE_EQ(decode_and_measure(font, bytes_of("\x81\x00"sv), 0, 0, 10, 1, out), 10.0);
  EXPECT_EQ(out, "");
}

TEST(DecodeAndMeasure, CachedByteWidthsMeasureLikeTheWidthMap) {
  Font font = simple_font();
  for (std::uint32_t code = 0; code < 256; code += 3) font.widths[code] = code / 1000.0;
  font.default_width = 0.25;
  std::string all;
  for (int b = 0; b < 256; ++b) all += static_cast<char>(b);
  std::string out_plain;
  std::string out_cached;
  const double plain = decode_and_measure(font, bytes_of(all), 0.5, 2, 11, 0.9, out_plain);
  font.cache_byte_widths();
  const double cached = decode_and_measure(font, bytes_of(all), 0.5, 2, 11, 0.9, out_cached);
  EXPECT_EQ(plain, cached);
  EXPECT_EQ(out_plain, out_cached);
}

TEST(DecodeAndMeasure, CachedByteTextDecodesLikeTheMaps) {
  // Every way a one-byte code can decode: a ToUnicode single (also empty or several
  // characters), a range (also one whose values leave Unicode and fall back), the
  // encoding, and no text at all.
  Font font = simple_font();
  font.encoding[0x90] = 0;
  font.encoding[0x41] = 0x2022;
  ToUnicodeMap tu;
  tu.singles[0x41] = "\xEF\xAC\x81";
  tu.singles[0x43] = "";
  tu.singles[0x44] = "dz";
  tu.singles[0x1FF] = "never";
  tu.ranges.push_back({0x30, 0x39, 0x3B1});
  tu.ranges.push_back({0x35, 0x3F, 0x10});
  tu.ranges.push_back({0xF0, 0xFF, 0x10FFF8});
  font.to_unicode = std::make_shared<const ToUnicodeMap>(std::move(tu));
  for (std::uint32_t code = 0; code < 256; code += 5) font.widths[code] = code / 700.0;
  std::string all;
  for (int b = 255; b >= 0; --b) all += static_cast<char>(b);
  all += "  A\x90\xFF";
  std::string plain_text;
  const double plain = decode_and_measure(font, bytes_of(all), 0.25, 3, 9.5, 1.1, plain_text);
  font.cache_byte_widths();
  font.cache_byte_text();
  std::string cached_text = "kept:";
  const double cached = decode_and_measure(font, bytes_of(all), 0.25, 3, 9.5, 1.1, cached_text);
  EXPECT_EQ(plain, cached);
  EXPECT_EQ("kept:" + plain_text, cached_text);
}

TEST(DecodeAndMeasure, TwoByteFontsIgnoreTheByteTables) {
  Font font = composite_font();
  ToUnicodeMap tu;
  tu.singles[0x0102] = "x";
  tu.singles[0x01] = "one";
  font.to_unicode = std::make_shared<const ToUnicodeMap>(std::move(tu));
  font.widths[0x0102] = 0.25;
  font.cache_byte_widths();
  font.cache_byte_text();
  std::string out;
  EXPECT_DOUBLE_EQ(decode_and_measure(font, bytes_of("\x01\x02\x01"sv), 0, 0, 10, 1, out), 2.5 + 10);
  EXPECT_EQ(out, "xone");
}

}  // namespace
}  // namespace folioscan
