// Fuzz target for the CMap reader: parse any bytes as an embedded CMap whose usecmap
// names resolve to the input itself (so loops and chains come from any input), check
// the model's invariants, then read the input as a string of codes through it and,
// for some inputs, through a predefined CMap and its collection's CID -> Unicode table.
#include "fuzz_targets.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "cmap/cid_unicode.h"
#include "cmap/cmap_limits.h"
#include "cmap/cmap_parser.h"
#include "cmap/predefined.h"

namespace {

using folioscan::ByteView;
using namespace folioscan::cmap;

void check(bool ok) {
  if (!ok) __builtin_trap();
}

void check_model(const CodeMap& map) {
  check(map.codespace.size() <= folioscan::limits::kMaxCodespaceRanges);
  for (const CodespaceRange& range : map.codespace) check(range.bytes >= 1 && range.bytes <= 4);
  std::size_t entries = 0;
  for (const auto* table : {&map.cids, &map.notdefs}) {
    const bool notdef = table == &map.notdefs;  // one CID per range
    for (const auto& ranges : *table) {
      entries += ranges.size();
      for (std::size_t i = 0; i < ranges.size(); ++i) {
        check(ranges[i].low <= ranges[i].high);
        const std::uint64_t last_cid = ranges[i].cid + (notdef ? 0 : std::uint64_t{ranges[i].high - ranges[i].low});
        check(last_cid <= folioscan::limits::kMaxCid);
        if (i > 0) check(ranges[i - 1].high < ranges[i].low);
      }
    }
  }
  check(entries <= folioscan::limits::kMaxCMapEntries);
}

// Every code of `bytes` through `map`: codes cover the string exactly.
void read_codes(const CodeMap& map, ByteView bytes, Ordering ordering, std::string& out) {
  std::size_t pos = 0;
  while (pos < bytes.size()) {
    const CharCode code = next_code(map, bytes, pos);
    check(code.bytes >= 1 && code.bytes <= 4 && pos + code.bytes <= bytes.size());
    pos += code.bytes;
    const std::uint32_t cid = glyph_cid(map, code);
    if (const auto mapped = cid_for(map, code)) check(*mapped == cid);
    const std::size_t before = out.size();
    if (!cid_to_unicode(ordering, cid, out)) check(out.size() == before);
    (void)append_code_text(map.code_text, code, out);
    if (out.size() > (std::size_t{1} << 20)) out.clear();
  }
  check(next_code(map, bytes, pos).bytes == 0);
}

}  // namespace

int folioscan::fuzz::cmap(const std::uint8_t* bytes, std::size_t size) {
  const ByteView data(bytes, size);
  CMapParseOptions options;
  options.lookup = [&](std::string_view) -> std::optional<Bytes> { return Bytes(bytes, bytes + size); };
  const ParsedCMap parsed = parse_cmap(data, options);
  check_model(parsed.map);

  std::string out;
  const auto ordering = ordering_named(parsed.map.system.registry, parsed.map.system.ordering);
  read_codes(parsed.map, data, ordering.value_or(Ordering::Japan1), out);

  if (size > 0 && (bytes[0] & 3) == 0) {
    const PredefinedInfo info = predefined_cmap_at(bytes[0] % predefined_cmap_count());
    const auto map = predefined_cmap(info.name);
    check(map.has_value());
    check_model(*map);
    read_codes(*map, data.subspan(1), info.ordering, out);
  }
  return 0;
}

#ifndef FOLIOSCAN_FUZZ_REPLAY
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
  return folioscan::fuzz::cmap(bytes, size);
}
#endif
