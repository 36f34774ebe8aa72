// Fuzz target for ToUnicode maps: parse any bytes as a CMap, then look up every code
// the map names (each single, both ends of each range and their neighbours) and a few
// codes read from the input itself. Then the font path of the recovery reading: the
// same bytes as the ToUnicode map and the CMap of a composite font with a collection,
// decoding the input as a shown string, glyph by glyph too; and the input's words read as
// glyph names.
#include "fuzz_targets.h"

#include <cstddef>
#include <cstdint>
#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "agl/font.h"
#include "agl/glyph_text.h"
#include "cmap/cmap_parser.h"
#include "tounicode.h"

int folioscan::fuzz::tounicode(const std::uint8_t* bytes, std::size_t size) {
  const folioscan::ByteView data(bytes, size);
  const folioscan::ToUnicodeMap map = folioscan::parse_tounicode(data);

  std::string out;
  auto look = [&](std::uint32_t code) {
    const std::size_t before = out.size();
    const bool found = folioscan::lookup_tounicode(map, code, out);
    // Nothing is appended for a code without an entry.
    if (!found && out.size() != before) __builtin_trap();
    if (out.size() > (std::size_t{1} << 20)) out.clear();
  };
  for (const auto& [code, text] : map.singles) look(code);
  for (const folioscan::ToUnicodeRange& range : map.ranges) {
    look(range.low);
    look(range.high);
    look(range.low - 1);
    look(range.high + 1);
  }
  for (std::size_t i = 0; i + 4 <= size && i < 256; i += 4) {
    std::uint32_t code;
    std::memcpy(&code, bytes + i, 4);
    look(code);
    look(code & 0xFFFF);
    look(code & 0xFF);
  }

  folioscan::Font font;
  font.code_bytes = 2;
  font.to_unicode = std::make_shared<const folioscan::ToUnicodeMap>(folioscan::parse_tounicode(data, true));
  font.code_map = std::make_shared<const folioscan::cmap::CodeMap>(folioscan::cmap::parse_cmap(data).map);
  font.cid_ordering = folioscan::cmap::Ordering::Japan1;
  const folioscan::ByteView shown = data.first(size < 4096 ? size : 4096);
  std::vector<std::uint32_t> starts;
  out.clear();
  (void)folioscan::decode_and_measure(font, shown, 0, 0, 1, 1, out, &starts);
  // Every code takes at least one byte, and each glyph start lies within the text.
  if (starts.size() != folioscan::count_codes(font, shown) || starts.size() > shown.size()) __builtin_trap();
  for (const std::uint32_t at : starts) {
    if (at > out.size()) __builtin_trap();
  }
  // Glyph by glyph, the advances are one per code.
  if (folioscan::glyph_advances(font, shown, 0, 0, 1, 1).size() != starts.size()) __builtin_trap();

  // The input's words as glyph names (as a /Differences array gives them): a name that
  // says nothing leaves the output as it was.
  const std::string_view text(reinterpret_cast<const char*>(bytes), size < 4096 ? size : 4096);
  for (std::size_t at = 0; at < text.size();) {
    const std::size_t end = std::min(text.find_first_of(" /\n", at), text.size());
    std::string names = "x";
    const bool said = folioscan::append_glyph_name_text(text.substr(at, end - at), names);
    if (!said && names != "x") __builtin_trap();
    at = end + 1;
  }
  return 0;
}

#ifndef FOLIOSCAN_FUZZ_REPLAY
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
  return folioscan::fuzz::tounicode(bytes, size);
}
#endif
