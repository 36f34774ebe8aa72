// Fuzz target for the Type 1 reader: read any bytes as a Type 1 program and check that
// every glyph name of its encoding lies inside the program or the fixed tables, then
// read the same bytes as recovery does.
#include <cstddef>
#include <cstdint>

#include "font/embedded.h"
#include "font/type1.h"
#include "fuzz_targets.h"

int folioscan::fuzz::type1(const std::uint8_t* bytes, std::size_t size) {
  const folioscan::ByteView data(bytes, size);
  const folioscan::font::Type1Encoding encoding = folioscan::font::read_type1_encoding(data);
  for (const std::string_view name : encoding.names) {
    if (name.empty() || encoding.standard) continue;
    const auto* at = reinterpret_cast<const std::uint8_t*>(name.data());
    if (at < bytes || at + name.size() > bytes + size) __builtin_trap();
  }
  (void)folioscan::read_program_text(folioscan::ProgramKind::Type1, data);
  return 0;
}

#ifndef FOLIOSCAN_FUZZ_REPLAY
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
  return folioscan::fuzz::type1(bytes, size);
}
#endif
