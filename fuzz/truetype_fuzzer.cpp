// Fuzz target for the TrueType reader: read any bytes as a TrueType or OpenType
// program, check that what it gives stays within its bounds (names inside the program
// or the fixed tables, glyph ids and code points in range), then read the same bytes
// as recovery does.
#include <cstddef>
#include <cstdint>

#include "font/embedded.h"
#include "font/truetype.h"
#include "fuzz_targets.h"

int folioscan::fuzz::truetype(const std::uint8_t* bytes, std::size_t size) {
  const folioscan::ByteView data(bytes, size);
  const folioscan::font::TrueTypeFont font = folioscan::font::read_truetype(data);
  if (font.glyph_unicode.size() > 65536 || font.glyph_names.size() > 65536) __builtin_trap();
  for (const std::uint32_t cp : font.glyph_unicode) {
    if (cp > 0x10FFFF) __builtin_trap();
  }
  const std::uint32_t limit = font.num_glyphs != 0 ? font.num_glyphs : 65536;
  for (std::size_t c = 0; c < 256; ++c) {
    if (font.symbol_glyphs[c] >= limit || font.mac_glyphs[c] >= limit) __builtin_trap();
  }
  if (!font.cff.empty() && (font.cff.data() < bytes || font.cff.data() + font.cff.size() > bytes + size)) {
    __builtin_trap();
  }
  (void)folioscan::read_program_text(folioscan::ProgramKind::TrueType, data);
  return 0;
}

#ifndef FOLIOSCAN_FUZZ_REPLAY
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
  return folioscan::fuzz::truetype(bytes, size);
}
#endif
