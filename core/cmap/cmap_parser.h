// Reading an embedded CMap stream (a composite font's /Encoding stream) into the CMap
// model: codespace, cid and notdef blocks, usecmap, /WMode, /CMapName and
// /CIDSystemInfo. Bounded in entries, codespace ranges, code length and usecmap depth;
// it never fails, and says what it left out.
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string_view>

#include "../bytes.h"
#include "code_map.h"

namespace folioscan::cmap {

// What a parse left out, so that recovery can say so.
struct CMapNotes {
  // Entries that break the rules: codes of no or more than limits::kMaxCodeBytes bytes
  // (a five-byte codespace range), ends of different lengths, low above high, a CID
  // that is no integer or is past limits::kMaxCid, a string where a code belongs.
  std::size_t skipped_entries = 0;
  bool entries_capped = false;    // limits::kMaxCMapEntries reached: the rest is unread
  bool codespace_capped = false;  // limits::kMaxCodespaceRanges reached
  bool use_unresolved = false;    // usecmap naming no predefined CMap the lookup knows
  bool use_loop = false;          // usecmap naming a CMap that is being read
  bool use_too_deep = false;      // usecmap past limits::kMaxUseCMapDepth
  bool use_ignored = false;       // a second usecmap in one CMap (only the first counts)
};

struct ParsedCMap {
  CodeMap map;
  CMapNotes notes;
};

// The decoded bytes of the CMap a usecmap names when it is no predefined CMap (another
// stream of the file); none when nothing has that name.
using CMapLookup = std::function<std::optional<Bytes>(std::string_view name)>;

struct CMapParseOptions {
  // Entries beneath the stream's own: the stream dictionary's /UseCMap, already read.
  const CodeMap* base = nullptr;
  CMapLookup lookup;
};

// Reads the decoded bytes of a CMap stream. `usecmap` takes the named CMap's codespace
// ranges and entries beneath those read after it; a predefined name is taken from the
// tables, any other is asked of `options.lookup`. A /WMode, /CMapName or
// /CIDSystemInfo the stream does not define is taken from the CMap it uses.
ParsedCMap parse_cmap(ByteView data, const CMapParseOptions& options = {});

}  // namespace folioscan::cmap
