// The in-memory CMap of a composite font: codespace ranges that cut a shown string into
// codes of one to four bytes, code -> CID ranges, notdef ranges, the writing mode, and
// the builder that turns entries in reading order (later ones winning) into that model.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "../bytes.h"

namespace folioscan::cmap {

// One character code read from a string: the big-endian value of its bytes and how many
// bytes it took (1 to 4; 0 only for the empty read at the end of a string).
struct CharCode {
  std::uint32_t value = 0;
  std::uint8_t bytes = 0;
  friend bool operator==(const CharCode&, const CharCode&) = default;
};

// The codes of `bytes` bytes whose byte i lies within low[i]..high[i] for every i.
struct CodespaceRange {
  std::uint8_t bytes = 0;
  std::array<std::uint8_t, 4> low{};
  std::array<std::uint8_t, 4> high{};
};

// Codes low..high (as integers, all of one byte count) map to cid + (code - low); in a
// notdef range, every code maps to `cid` itself.
struct CidRange {
  std::uint32_t low = 0;
  std::uint32_t high = 0;
  std::uint32_t cid = 0;
};

// What a code of a Unicode CMap (UniJIS-UCS2-H, UniGB-UTF16-H, ...) says as text: the
// character it encodes, in that form. None for every other CMap.
enum class CodeText : std::uint8_t { None, Ucs2, Utf16, Utf32, Utf8 };

// A CMap's /CIDSystemInfo: the character collection its CIDs belong to.
struct CidSystemInfo {
  std::string registry;
  std::string ordering;
  std::int64_t supplement = 0;
};

struct CodeMap {
  std::string name;  // /CMapName, or the predefined name
  CidSystemInfo system;
  bool vertical = false;  // /WMode 1
  CodeText code_text = CodeText::None;
  std::vector<CodespaceRange> codespace;  // in reading order
  // Indexed by byte count - 1: disjoint, ascending by `low`.
  std::array<std::vector<CidRange>, 4> cids;
  // The CID drawn for a code that has no entry in `cids` (its glyph and width; never
  // text), same layout; each range has one CID for all its codes.
  std::array<std::vector<CidRange>, 4> notdefs;
};

// Reads the code at `pos` (< bytes.size()) as the codespace ranges define it: the first
// length n from 1 to 4 for which the n bytes at `pos` lie in a codespace range of n
// bytes. Bytes that match no range make the shortest code that has a CID entry of its
// own, else a code of the length of the shortest range
// whose first byte takes bytes[pos], else of the shortest range: an invalid Shift-JIS
// pair 81 20 is one two-byte code, a stray FD one byte. A code never runs past the end:
// the last bytes of a string make a shorter code. A map without codespace ranges reads
// two-byte codes. At or past the end: the empty code.
CharCode next_code(const CodeMap& map, ByteView bytes, std::size_t pos);

// The CID of a code, none when no cidrange or cidchar entry holds it.
std::optional<std::uint32_t> cid_for(const CodeMap& map, CharCode code);
// The CID drawn for `code`: its entry, else its notdef range, else CID 0.
std::uint32_t glyph_cid(const CodeMap& map, CharCode code);

// Appends the character a code of a Unicode CMap encodes (a valid UCS-2, UTF-16, UTF-32
// or UTF-8 code of its byte count) and returns true; false, appending nothing, for any
// other code or CMap.
bool append_code_text(CodeText form, CharCode code, std::string& out);

// Bytes the map holds, roughly, for caches that bound their memory.
std::size_t code_map_bytes(const CodeMap& map);

// Collects the entries of a CMap in reading order and builds the model; an entry read
// later wins over an earlier one for the codes they share (a vertical CMap's entries
// over those of the horizontal one it uses). Entries that break the model's rules are
// rejected one by one. It holds at most limits::kMaxCMapEntries mapping entries and
// limits::kMaxCodespaceRanges codespace ranges, included ones counted; past that,
// entries are dropped.
class CodeMapBuilder {
 public:
  // A codespace range from its two code strings: same length, 1 to 4 bytes. Returns
  // false when rejected or dropped.
  bool add_codespace(ByteView low, ByteView high);
  void add_codespace(const CodespaceRange& range);
  // A cidrange (cidchar: low == high) or notdefrange (notdefchar) entry from its code
  // strings: same length, 1 to 4 bytes, low <= high, CID at most limits::kMaxCid (a
  // cidrange running past it is cut there). Returns false when rejected or dropped.
  bool add_cids(ByteView low, ByteView high, std::int64_t cid, bool notdef = false);
  bool add_range(std::uint8_t bytes, const CidRange& range, bool notdef = false);
  // A used CMap: its codespace ranges and entries, beneath everything added later.
  void include(const CodeMap& base);

  // Mapping entries so far, included ones counted (a range counts once).
  std::size_t entries() const { return entries_; }
  bool full() const;
  bool codespace_full() const;

  // The model: `header` gives the name, system, writing mode and code text. Without
  // codespace ranges, each byte count used by an entry gets the full range of that
  // length. The builder is left empty.
  CodeMap finish(CodeMap header);

 private:
  std::vector<CodespaceRange> codespace_;
  // [notdef][bytes - 1], in reading order.
  std::array<std::array<std::vector<CidRange>, 4>, 2> ranges_{};
  std::size_t entries_ = 0;
};

}  // namespace folioscan::cmap
