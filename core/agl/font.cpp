// The font model: encodings and widths read from font values into a Font, the per-font
// byte tables, and decoding a shown string into text and advance. Loading fonts from a
// document lives in font_loader.cpp.
#include "font.h"

#include <algorithm>
#include <limits>
#include <string_view>

#include "../input_limits.h"
#include "../utf8.h"
#include "glyph_names.h"

namespace folioscan {
namespace {

constexpr std::int64_t kMaxStoredCode = std::numeric_limits<std::uint32_t>::max();

// Widths are kept for codes that fit an unsigned 32-bit code; others (negative ones) are
// dropped. A later width for the same code replaces the earlier one.
void store_width(Font& font, std::int64_t code, double width) {
  if (code < 0 || code > kMaxStoredCode) return;
  font.widths[static_cast<std::uint32_t>(code)] = width / 1000.0;
}

const std::array<std::uint32_t, 256>& table_named(const Object& name) {
  if (name.is_name("MacRomanEncoding")) return mac_roman_table();
  if (name.is_name("StandardEncoding")) return standard_table();
  return win_ansi_table();
}

// /Differences: each name sets the entry of its code (names without a value too move on).
void apply_differences(Font& font, const Array& differences) {
  for_each_difference(differences, [&](std::uint8_t code, std::string_view name) {
    if (const auto cp = glyph_name_to_unicode(name)) font.encoding[code] = *cp;
  });
}

// A code's width from /W (simple fonts: /Widths), else the default width.
double width_of(const Font& font, std::uint32_t key) {
  const WidthMap& widths = font.width_map();
  const auto it = widths.find(key);
  return it != widths.end() ? it->second : font.default_width;
}

// The text of a composite font's code that ToUnicode does not map: the character the
// code itself encodes in a Unicode CMap, else the text of its CID (`cid`, none for a code
// the CMap does not map) from the embedded program or, with no program text, from the
// character collection.
void append_composite_text(const Font& font, cmap::CharCode code, std::optional<std::uint32_t> cid,
                           std::string& out) {
  if (font.code_map && cmap::append_code_text(font.code_map->code_text, code, out)) return;
  if (!cid) return;
  if (font.cid_text) {
    if (*cid < font.cid_text->size()) {
      if (const std::uint32_t cp = (*font.cid_text)[*cid]; cp != 0) append_utf8(out, cp);
    }
    return;
  }
  if (font.cid_ordering) (void)cmap::cid_to_unicode(*font.cid_ordering, *cid, out);
}

// The text a simple font's encoding gives one-byte `code`.
void append_encoded_text(const Font& font, std::uint8_t code, std::string& out) {
  for (const auto& [c, text] : font.code_strings) {
    if (c == code) {
      out += text;
      return;
    }
  }
  if (const std::uint32_t cp = font.encoding[code]; cp != 0) append_utf8(out, cp);
}

// Upper-cases the letters of `out` from byte `from` on: ASCII and the Latin-1 letters
// (U+00E0 to U+00FE but the division sign) that have one-byte-apart capitals.
void upper_case_from(std::string& out, std::size_t from) {
  for (std::size_t i = from; i < out.size(); ++i) {
    const auto byte = static_cast<unsigned char>(out[i]);
    if (byte >= 'a' && byte <= 'z') {
      out[i] = static_cast<char>(byte - 0x20);
    } else if (byte == 0xC3 && i + 1 < out.size()) {
      const auto next = static_cast<unsigned char>(out[i + 1]);
      if (next >= 0xA0 && next <= 0xBE && next != 0xB7) out[i + 1] = static_cast<char>(next - 0x20);
      ++i;
    }
  }
}

// Replaces the Latin ligatures' presentation forms in `out` from byte `from` on with
// the letters they join.
void spell_out_ligatures_from(std::string& out, std::size_t from) {
  static constexpr std::string_view kLetters[] = {"ff", "fi", "fl", "ffi", "ffl", "st", "st"};
  std::size_t at = out.find("\xEF\xAC", from);
  if (at == std::string::npos) return;
  std::string spelled;
  spelled.reserve(out.size() - from + 8);
  std::size_t copied = from;
  for (; at != std::string::npos && at + 2 < out.size(); at = out.find("\xEF\xAC", at + 1)) {
    const auto last = static_cast<unsigned char>(out[at + 2]);
    if (last < 0x80 || last > 0x86) continue;
    spelled.append(out, copied, at - copied);
    spelled += kLetters[last - 0x80];
    copied = at + 3;
  }
  if (copied == from) return;
  spelled.append(out, copied, std::string::npos);
  out.resize(from);
  out += spelled;
}

// The text of one-byte `code` of a simple font: ToUnicode first, else the encoding;
// a small capital's upper-cased, a ligature spelled out (in recovery).
void append_simple_code_text(const Font& font, std::uint8_t code, std::string& out) {
  const std::size_t from = out.size();
  if (!(font.to_unicode && lookup_tounicode(*font.to_unicode, code, out))) append_encoded_text(font, code, out);
  if (!font.small_capitals.empty() &&
      std::find(font.small_capitals.begin(), font.small_capitals.end(), code) != font.small_capitals.end()) {
    upper_case_from(out, from);
  }
  if (font.spell_out_ligatures) spell_out_ligatures_from(out, from);
}

// Strings of a font with a CMap: codes of one to four bytes cut by its codespace
// ranges, widths and collection text by each code's CID.
double decode_with_code_map(const Font& font, ByteView bytes, double tc, double tw, double tfs, double th,
                            std::string& out, std::vector<std::uint32_t>* glyph_starts) {
  const cmap::CodeMap& map = *font.code_map;
  double total = 0.0;
  for (std::size_t pos = 0; pos < bytes.size();) {
    const cmap::CharCode code = cmap::next_code(map, bytes, pos);
    pos += code.bytes;
    if (glyph_starts != nullptr) glyph_starts->push_back(static_cast<std::uint32_t>(out.size()));
    const std::size_t from = out.size();
    if (!(font.to_unicode && lookup_tounicode(*font.to_unicode, code.value, out))) {
      append_composite_text(font, code, cmap::cid_for(map, code), out);
    }
    if (font.spell_out_ligatures) spell_out_ligatures_from(out, from);
    // A code the CMap does not map is drawn (and measured) as its notdef CID.
    const double w0 = width_of(font, cmap::glyph_cid(map, code));
    // Word spacing applies to the one-byte code 32 of any font, as in Shift-JIS.
    const double word = code.bytes == 1 && code.value == 32 ? tw : 0.0;
    total += (w0 * tfs + tc + word) * th;
  }
  return total;
}

}  // namespace

void apply_simple_encoding(Font& font, const Object* encoding) {
  font.encoding = win_ansi_table();
  if (encoding == nullptr) return;
  const Dictionary* dict = nullptr;
  if (encoding->as_name() != nullptr) {
    font.encoding = table_named(*encoding);
  } else if (const Dictionary* d = encoding->as_dict()) {
    dict = d;
    const Object* base = d->lookup("BaseEncoding");
    if (base != nullptr && base->as_name() != nullptr) font.encoding = table_named(*base);
  } else if (const Stream* s = encoding->as_stream()) {
    // An encoding stream is not a valid encoding: the default table, but its
    // /Differences are still honoured.
    dict = &s->dict;
  }
  if (dict == nullptr) return;
  if (const Object* differences = dict->lookup("Differences")) {
    if (const Array* list = differences->as_array()) apply_differences(font, *list);
  }
}

void read_simple_widths(Font& font, std::int64_t first_char, const Array& widths) {
  // Codes past the 32-bit range are never stored; returning here also keeps
  // first_char + i from overflowing.
  if (first_char > kMaxStoredCode) return;
  for (std::size_t i = 0; i < widths.size(); ++i) {
    if (const auto width = widths[i].as_number()) {
      store_width(font, first_char + static_cast<std::int64_t>(i), *width);
    }
  }
}

// A composite font's /W: "c [w1 w2 ...]" gives consecutive codes from c, and
// "c_first c_last w" one width to a range. Two-byte codes never exceed 0xFFFF, so widths
// above that can never be looked up: ranges and arrays are clipped there, which changes no
// measurement but keeps "0 4000000000 w" from storing four billion entries.
void read_composite_widths(Font& font, const Array& w) {
  constexpr std::int64_t kLast = limits::kMaxFontCode;
  std::size_t i = 0;
  while (i < w.size()) {
    const std::int64_t* first = w[i].as_integer();
    if (first == nullptr || i + 1 >= w.size()) break;
    if (const Array* list = w[i + 1].as_array()) {
      if (*first <= kLast) {
        // first + k cannot overflow: first <= 0xFFFF here and k is an array index.
        for (std::size_t k = 0; k < list->size(); ++k) {
          const std::int64_t code = *first + static_cast<std::int64_t>(k);
          if (code > kLast) break;
          if (const auto width = (*list)[k].as_number()) store_width(font, code, *width);
        }
      }
      i += 2;
      continue;
    }
    if (i + 2 < w.size()) {
      const std::int64_t* last = w[i + 1].as_integer();
      const auto width = w[i + 2].as_number();
      if (last != nullptr && width) {
        const std::int64_t low = std::max<std::int64_t>(*first, 0);
        const std::int64_t high = std::min<std::int64_t>(*last, kLast);
        for (std::int64_t code = low; code <= high; ++code) store_width(font, code, *width);
      }
    }
    i += 3;
  }
}

void Font::cache_byte_widths() {
  std::array<double, 256> cache;
  const WidthMap& map = width_map();
  for (std::uint32_t code = 0; code < 256; ++code) {
    const auto it = map.find(code);
    cache[code] = it != map.end() ? it->second : default_width;
  }
  byte_widths = cache;
}

void Font::cache_byte_text() {
  ByteText table;
  for (std::uint32_t code = 0; code < 256; ++code) {
    table.offsets[code] = static_cast<std::uint32_t>(table.text.size());
    // The same choice decode_and_measure makes for a one-byte code.
    append_simple_code_text(*this, static_cast<std::uint8_t>(code), table.text);
  }
  table.offsets[256] = static_cast<std::uint32_t>(table.text.size());
  byte_text = std::move(table);
}

std::size_t count_codes(const Font& font, ByteView bytes) {
  if (font.code_map) {
    std::size_t count = 0;
    for (std::size_t pos = 0; pos < bytes.size(); ++count) pos += cmap::next_code(*font.code_map, bytes, pos).bytes;
    return count;
  }
  return font.code_bytes == 2 ? (bytes.size() + 1) / 2 : bytes.size();
}

double decode_and_measure(const Font& font, ByteView bytes, double tc, double tw, double tfs,
                          double th, std::string& out, std::vector<std::uint32_t>* glyph_starts) {
  if (font.code_map) return decode_with_code_map(font, bytes, tc, tw, tfs, th, out, glyph_starts);
  // Fonts are built with 1 or 2; anything else is read as one byte per code.
  const std::size_t step = font.code_bytes == 2 ? 2 : 1;
  const bool one_byte = step == 1;
  const std::array<double, 256>* cache = one_byte && font.byte_widths ? &*font.byte_widths : nullptr;
  double total = 0.0;
  if (cache != nullptr && font.byte_text) {
    // Both tables built: one table read each for text and width, same sums in the same
    // order as the general loop below.
    // The text is sized first, so the output grows once per string, not per byte.
    const Font::ByteText& text = *font.byte_text;
    const std::uint32_t* offsets = text.offsets.data();
    std::size_t length = 0;
    for (const std::uint8_t code : bytes) length += offsets[code + 1] - offsets[code];
    const std::size_t at = out.size();
    out.resize(at + length);
    char* dst = out.data() + at;
    const char* src = text.text.data();
    const double* widths = cache->data();
    for (const std::uint8_t code : bytes) {
      if (glyph_starts != nullptr) glyph_starts->push_back(static_cast<std::uint32_t>(dst - out.data()));
      const std::uint32_t begin = offsets[code];
      const std::uint32_t size = offsets[code + 1] - begin;
      if (size == 1) {
        *dst++ = src[begin];
      } else {
        dst = std::copy_n(src + begin, size, dst);
      }
      const double word = code == 32 ? tw : 0.0;
      total += (widths[code] * tfs + tc + word) * th;
    }
    return total;
  }
  for (std::size_t i = 0; i < bytes.size(); i += step) {
    // A trailing odd byte of a two-byte font is taken as a code by itself.
    std::uint32_t code = bytes[i];
    if (!one_byte && i + 1 < bytes.size()) code = (code << 8) | bytes[i + 1];

    if (glyph_starts != nullptr) glyph_starts->push_back(static_cast<std::uint32_t>(out.size()));
    if (one_byte) {
      append_simple_code_text(font, static_cast<std::uint8_t>(code), out);
    } else {
      const std::size_t from = out.size();
      if (!(font.to_unicode && lookup_tounicode(*font.to_unicode, code, out))) {
        // Two-byte codes without a CMap are their own CIDs (Identity).
        append_composite_text(font, cmap::CharCode{code, 2}, code, out);
      }
      if (font.spell_out_ligatures) spell_out_ligatures_from(out, from);
    }

    const double w0 = cache != nullptr ? (*cache)[code] : width_of(font, code);
    // Word spacing applies to the single-byte space only, never to a two-byte code 0x0020.
    const double word = one_byte && code == 32 ? tw : 0.0;
    total += (w0 * tfs + tc + word) * th;
  }
  return total;
}

std::vector<double> glyph_advances(const Font& font, ByteView bytes, double tc, double tw, double tfs, double th) {
  std::vector<double> advances;
  std::string scratch;
  const std::size_t step = font.code_bytes == 2 ? 2 : 1;
  for (std::size_t pos = 0; pos < bytes.size();) {
    const std::size_t length = font.code_map ? cmap::next_code(*font.code_map, bytes, pos).bytes
                                             : std::min(step, bytes.size() - pos);
    scratch.clear();
    advances.push_back(decode_and_measure(font, bytes.subspan(pos, length), tc, tw, tfs, th, scratch));
    pos += length;
  }
  return advances;
}

}  // namespace folioscan
