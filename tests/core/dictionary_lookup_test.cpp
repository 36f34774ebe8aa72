// Dictionary look-ups: a large dictionary's index gives the answers of a scan of its
// entries, however the dictionary is copied, moved or changed between look-ups.
#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "cos/object.h"

namespace folioscan {
namespace {

Dictionary numbered(int count) {
  Dictionary d;
  for (int i = 0; i < count; ++i) d.entries.push_back(DictEntry{"K" + std::to_string(i), Object(std::int64_t{i})});
  return d;
}

std::int64_t value_of(const Dictionary& d, const std::string& key, int times = 12) {
  std::int64_t out = -1;
  for (int i = 0; i < times; ++i) {  // past the look-ups made before an index is built
    const Object* v = d.lookup(key);
    out = v != nullptr && v->as_integer() != nullptr ? *v->as_integer() : -1;
  }
  return out;
}

TEST(DictionaryLookup, AnswersStayThoseOfAScanThroughCopiesMovesAndChanges) {
  for (const int count : {3, 24, 200}) {
    SCOPED_TRACE(count);
    Dictionary d = numbered(count);
    for (int i = 0; i < count; ++i) EXPECT_EQ(value_of(d, "K" + std::to_string(i), 2), i);
    for (const char* absent : {"", "K", "K999", "k1"}) EXPECT_EQ(value_of(d, absent), -1);
    d.entries.push_back(DictEntry{"Late", Object(std::int64_t{-5})});
    d.entries.push_back(DictEntry{"K2", Object(std::int64_t{-2})});  // a repeated key: the first answers
    d.set("K1", Object(std::int64_t{100}));
    d.set("New", Object(std::int64_t{7}));
    EXPECT_EQ(value_of(d, "Late"), -5);
    EXPECT_EQ(value_of(d, "K2"), 2);
    EXPECT_EQ(value_of(d, "K1"), 100);
    EXPECT_EQ(value_of(d, "New"), 7);

    Dictionary copy = d;
    copy.entries.front().value = Object(std::int64_t{-9});
    EXPECT_EQ(value_of(copy, "K0"), -9);
    EXPECT_EQ(value_of(d, "K0"), 0);
    Dictionary moved = std::move(copy);
    EXPECT_EQ(value_of(moved, "New"), 7);
    copy = d;
    EXPECT_EQ(value_of(copy, "K0"), 0);
    d.entries = numbered(count).entries;  // replaced whole, as decryption does
    EXPECT_EQ(value_of(d, "New"), -1);
  }
}

}  // namespace
}  // namespace folioscan
