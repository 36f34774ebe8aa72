// Fuzz target for the CFF reader: read any bytes as a CFF program, check that its
// tables by glyph match the CharStrings count and its encoding names real glyphs, then
// read the same bytes as recovery does.
#include <cstddef>
#include <cstdint>

#include "font/cff.h"
#include "font/embedded.h"
#include "fuzz_targets.h"

int folioscan::fuzz::cff(const std::uint8_t* bytes, std::size_t size) {
  const folioscan::ByteView data(bytes, size);
  const folioscan::font::CffFont font = folioscan::font::read_cff(data);
  if (font.num_glyphs > 65535) __builtin_trap();
  if (font.cid_keyed ? font.glyph_cids.size() != font.num_glyphs : font.glyph_names.size() != font.num_glyphs) {
    if (font.num_glyphs != 0 || !(font.glyph_cids.empty() && font.glyph_names.empty())) __builtin_trap();
  }
  for (const std::uint16_t glyph : font.encoding) {
    if (glyph != 0 && glyph >= font.num_glyphs) __builtin_trap();
  }
  (void)folioscan::read_program_text(folioscan::ProgramKind::Cff, data);
  return 0;
}

#ifndef FOLIOSCAN_FUZZ_REPLAY
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
  return folioscan::fuzz::cff(bytes, size);
}
#endif
