// Fuzz target for ToUnicode maps: parse any bytes as a CMap, then look up every code
// the map names (each single, both ends of each range and their neighbours) and a few
// codes read from the input itself.
#include "fuzz_targets.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

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
  return 0;
}

#ifndef FOLIOSCAN_FUZZ_REPLAY
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
  return folioscan::fuzz::tounicode(bytes, size);
}
#endif
