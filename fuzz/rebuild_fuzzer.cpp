// Fuzz target for the recovery of damaged file structure: any bytes through the
// cross-reference rebuild, whose result is checked against what the strict readers
// would see at each offset, then through a resolver with the object streams' entries
// added and a bounded number of objects loaded. The lenient header search runs too.
#include "fuzz_targets.h"

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "cos/parser.h"
#include "doc.h"
#include "lex.h"
#include "repair.h"

namespace {

// Loads beyond this many would let inputs of many unterminated streams spend their
// time in "endstream" searches, which the strict loader bounds by copies, not by time.
constexpr std::size_t kMaxLoads = 64;

void check_rebuilt(folioscan::ByteView data, const folioscan::RebuiltXref& rebuilt) {
  if (rebuilt.trailer.lookup("Root") == nullptr) __builtin_trap();
  for (const auto& [num, entry] : rebuilt.table) {
    // Every entry leads the strict header reader to its own number.
    if (entry.kind != folioscan::XrefKind::InFile || entry.offset >= data.size()) __builtin_trap();
    folioscan::Lexer lexer(data, static_cast<std::size_t>(entry.offset));
    const auto header = folioscan::parse_object_header(lexer);
    if (!header || header->num != num || static_cast<std::uint16_t>(header->gen) != entry.generation) {
      __builtin_trap();
    }
  }
  std::uint64_t previous = 0;
  bool first = true;
  for (const std::uint32_t num : rebuilt.object_streams) {
    const folioscan::XrefEntry* entry = rebuilt.table.find(num);
    if (entry == nullptr) __builtin_trap();
    if (!first && entry->offset <= previous) __builtin_trap();  // file order, no repeats
    previous = entry->offset;
    first = false;
  }
}

}  // namespace

int folioscan::fuzz::rebuild(const std::uint8_t* bytes, std::size_t size) {
  const folioscan::ByteView data(bytes, size);
  if (const auto header = folioscan::find_header_anywhere(data)) {
    if (header->offset + 5 > size || std::memcmp(bytes + header->offset, "%PDF-", 5) != 0) __builtin_trap();
  }

  auto rebuilt = folioscan::rebuild_xref(data);
  if (!rebuilt) {
    if (rebuilt.error().message.empty() || rebuilt.error().kind != folioscan::ParseErrorKind::InvalidXref) {
      __builtin_trap();
    }
    return 0;
  }
  check_rebuilt(data, *rebuilt);

  folioscan::Resolver resolver(data, rebuilt->table, rebuilt->trailer);
  resolver.adopt_object_streams(rebuilt->object_streams);
  // A number no table has makes every object stream be read, the last first.
  (void)resolver.fetch(0xFFFFFFFFu);
  std::size_t loads = 0;
  for (const auto& [num, entry] : resolver.xref()) {
    if (entry.kind == folioscan::XrefKind::Compressed && entry.stream == num) __builtin_trap();
    if (loads++ == kMaxLoads) break;
    (void)resolver.fetch(num);
  }
  return 0;
}

#ifndef FOLIOSCAN_FUZZ_REPLAY
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
  return folioscan::fuzz::rebuild(bytes, size);
}
#endif
