// CID -> Unicode for the Adobe CJK collections: a 16-bit code point per CID, and for the
// CIDs whose text is outside the Basic Multilingual Plane or several characters long, a
// sorted list of extras. The tables are generated (cid_unicode.inc).
#include "cid_unicode.h"

#include <algorithm>
#include <array>
#include <cstddef>

#include "../utf8.h"

namespace folioscan::cmap {
namespace {

struct OrderingTable {
  std::uint32_t bmp_first;  // into kCidBmp: the code point of CID 0
  std::uint32_t cids;       // CIDs 0..cids-1 have a slot
  std::uint32_t extra_first;
  std::uint32_t extra_count;
};

struct CidExtra {
  std::uint16_t cid;
  std::uint16_t first;  // into kCidExtraPoints
  std::uint8_t count;
};

// A slot holding this sends the lookup to the extras.
constexpr std::uint16_t kExtra = 0xFFFF;

#include "cid_unicode.inc"

static_assert(kOrderingTables.size() == 6);
static_assert(kCidExtraPoints.size() <= 0xFFFF);

constexpr bool extras_sorted() {
  for (const OrderingTable& table : kOrderingTables) {
    for (std::uint32_t i = 1; i < table.extra_count; ++i) {
      if (kCidExtras[table.extra_first + i - 1].cid >= kCidExtras[table.extra_first + i].cid) return false;
    }
  }
  return true;
}
static_assert(extras_sorted());

struct NamedOrdering {
  std::string_view name;
  Ordering ordering;
};

constexpr NamedOrdering kOrderingNames[] = {
    {"Identity", Ordering::Identity}, {"Japan1", Ordering::Japan1}, {"GB1", Ordering::GB1},
    {"CNS1", Ordering::CNS1},         {"Korea1", Ordering::Korea1}, {"KR", Ordering::KR},
    {"Japan2", Ordering::Japan2},
};

}  // namespace

std::string_view ordering_name(Ordering ordering) {
  for (const NamedOrdering& entry : kOrderingNames) {
    if (entry.ordering == ordering) return entry.name;
  }
  return {};
}

std::optional<Ordering> ordering_named(std::string_view registry, std::string_view ordering) {
  if (registry != "Adobe") return std::nullopt;
  for (const NamedOrdering& entry : kOrderingNames) {
    if (entry.name == ordering) return entry.ordering;
  }
  return std::nullopt;
}

std::optional<Ordering> ucs2_cmap_ordering(std::string_view cmap_name) {
  constexpr std::string_view kPrefix = "Adobe-";
  constexpr std::string_view kSuffix = "-UCS2";
  if (!cmap_name.starts_with(kPrefix) || !cmap_name.ends_with(kSuffix)) return std::nullopt;
  if (cmap_name.size() < kPrefix.size() + kSuffix.size()) return std::nullopt;
  const std::string_view middle = cmap_name.substr(kPrefix.size(), cmap_name.size() - kPrefix.size() - kSuffix.size());
  const auto ordering = ordering_named("Adobe", middle);
  // Identity has no such map; Japan2's text comes from its Unicode CMap, not a UCS2 one.
  if (!ordering || *ordering == Ordering::Identity || *ordering == Ordering::Japan2) return std::nullopt;
  return ordering;
}

bool cid_to_unicode(Ordering ordering, std::uint32_t cid, std::string& out) {
  if (ordering == Ordering::Identity) return false;
  const OrderingTable& table = kOrderingTables[static_cast<std::size_t>(ordering) - 1];
  if (cid >= table.cids) return false;
  const std::uint16_t slot = kCidBmp[table.bmp_first + cid];
  if (slot == 0) return false;
  if (slot != kExtra) {
    append_utf8(out, slot);
    return true;
  }
  const CidExtra* first = kCidExtras.data() + table.extra_first;
  const CidExtra* last = first + table.extra_count;
  const CidExtra* it =
      std::lower_bound(first, last, cid, [](const CidExtra& e, std::uint32_t c) { return e.cid < c; });
  if (it == last || it->cid != cid) return false;
  for (std::uint32_t i = 0; i < it->count; ++i) append_utf8(out, kCidExtraPoints[it->first + i]);
  return true;
}

}  // namespace folioscan::cmap
