// The object model's dictionary look-up and update, and the name test of an object.
#include "object.h"

#include <cstring>

namespace folioscan {

const Object* Dictionary::lookup(std::string_view key) const {
  for (const auto& entry : entries) {
    if (entry.key.size() == key.size() && std::memcmp(entry.key.data(), key.data(), key.size()) == 0) {
      return &entry.value;
    }
  }
  return nullptr;
}

void Dictionary::set(std::string key, Object value) {
  for (auto& entry : entries) {
    if (entry.key == key) {
      entry.value = std::move(value);
      return;
    }
  }
  entries.push_back(DictEntry{std::move(key), std::move(value)});
}

bool operator==(const Dictionary& a, const Dictionary& b) { return a.entries == b.entries; }

bool Object::is_name(std::string_view text) const {
  const auto* n = as_name();
  return n != nullptr && n->text == text;
}

}  // namespace folioscan
