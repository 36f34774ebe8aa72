// The object model's dictionary look-up and update, and the name test of an object.
#include "object.h"

#include <algorithm>
#include <cstring>
#include <numeric>

namespace folioscan {
namespace {

// Below this many entries a linear scan of the keys is as fast as any index; and a
// dictionary looked up only a few times (a copy read once, say) is scanned too, since
// sorting its keys costs more than those scans.
constexpr std::size_t kIndexedEntries = 24;
constexpr std::uint32_t kScansBeforeIndex = 8;

// The index of a large dictionary, or nullptr while it is still scanned.
const KeyIndex* index_of(const Dictionary& dict) {
  std::unique_ptr<KeyIndex>& index = dict.lookup_cache.index;
  if (!index) index = std::make_unique<KeyIndex>();
  if (index->base == dict.entries.data() && index->size == dict.entries.size() && !index->order.empty()) {
    return index.get();
  }
  if (++index->scans <= kScansBeforeIndex) return nullptr;
  index->base = dict.entries.data();
  index->size = dict.entries.size();
  index->order.resize(dict.entries.size());
  std::iota(index->order.begin(), index->order.end(), std::uint32_t{0});
  // Stable: of equal keys the first entry comes first, as the linear scan finds it.
  std::stable_sort(index->order.begin(), index->order.end(), [&](std::uint32_t a, std::uint32_t b) {
    return dict.entries[a].key < dict.entries[b].key;
  });
  return index.get();
}

const Object* scan(const std::vector<DictEntry>& entries, std::string_view key) {
  for (const auto& entry : entries) {
    if (entry.key.size() == key.size() && std::memcmp(entry.key.data(), key.data(), key.size()) == 0) {
      return &entry.value;
    }
  }
  return nullptr;
}

}  // namespace

const Object* Dictionary::lookup(std::string_view key) const {
  if (entries.size() < kIndexedEntries) return scan(entries, key);
  const KeyIndex* index = index_of(*this);
  if (index == nullptr) return scan(entries, key);
  const auto at = std::lower_bound(index->order.begin(), index->order.end(), key,
                                   [&](std::uint32_t pos, std::string_view k) { return entries[pos].key < k; });
  if (at == index->order.end() || entries[*at].key != key) return nullptr;
  return &entries[*at].value;
}

void Dictionary::set(std::string key, Object value) {
  if (const Object* existing = lookup(key)) {
    // The entry is this dictionary's own: lookup hands out a const view of it.
    *const_cast<Object*>(existing) = std::move(value);
    return;
  }
  entries.push_back(DictEntry{std::move(key), std::move(value)});
}

bool operator==(const Dictionary& a, const Dictionary& b) { return a.entries == b.entries; }

bool Object::is_name(std::string_view text) const {
  const auto* n = as_name();
  return n != nullptr && n->text == text;
}

}  // namespace folioscan
