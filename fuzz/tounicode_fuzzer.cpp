// Fuzz target for ToUnicode maps: parse any bytes as a CMap, then look up every code
// the map names (each single, both ends of each range and their neighbours) and a few
// codes read from the input itself. Then the font path of the recovery reading: the
// same bytes as the ToUnicode map and the CMap of a composite font with a collection,
// decoding the input as a shown string.
#include "fuzz_targets.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "agl/font.h"
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
  return 0;
}

#ifndef FOLIOSCAN_FUZZ_REPLAY
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
  return folioscan::fuzz::tounicode(bytes, size);
}
#endif
