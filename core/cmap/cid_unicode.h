// The Adobe CJK character collections (orderings) and the text of their CIDs: CID ->
// Unicode from the collections' own tables, compiled in and read in place.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace folioscan::cmap {

// Identity has no table: its CIDs are glyph numbers of one font.
enum class Ordering : std::uint8_t { Identity, Japan1, GB1, CNS1, Korea1, KR, Japan2 };

// "Japan1", "GB1", ...: the /Ordering string of the collection.
std::string_view ordering_name(Ordering ordering);
// The collection a /CIDSystemInfo names: registry "Adobe" and one of the orderings
// (exact bytes); none for any other.
std::optional<Ordering> ordering_named(std::string_view registry, std::string_view ordering);
// The collection of a CID -> Unicode CMap that a ToUnicode stream may name with usecmap
// ("Adobe-Japan1-UCS2", ...); none for any other name.
std::optional<Ordering> ucs2_cmap_ordering(std::string_view cmap_name);

// Appends the text of `cid` in `ordering` (one character, or several where the
// collection says so, such as one glyph for a whole word) as UTF-8 and returns true;
// false, appending nothing, when the collection gives the CID no text.
bool cid_to_unicode(Ordering ordering, std::uint32_t cid, std::string& out);

}  // namespace folioscan::cmap
