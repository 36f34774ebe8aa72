// Dictionary look-ups: the same answers from a large dictionary's index as from a scan
// of its entries, however the dictionary is copied, moved or changed between them.
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

std::int64_t value_of(const Dictionary& d, const std::string& key) {
  const Object* v = d.lookup(key);
  return v != nullptr && v->as_integer() != nullptr ? *v->as_integer() : -1;
}

TEST(DictionaryLookup, AnswersStayThoseOfAScanThroughCopiesMovesAndChanges) {
  for (const int count : {3, 23, 24, 200}) {
    SCOPED_TRACE(count);
    Dictionary d = numbered(count);
    // Enough rounds that large dictionaries are answered from their index.
    for (int round = 0; round < 3; ++round) {
      for (int i = 0; i < count; ++i) EXPECT_EQ(value_of(d, "K" + std::to_string(i)), i);
      EXPECT_EQ(d.lookup("K"), nullptr);
      EXPECT_EQ(d.lookup("K" + std::to_string(count)), nullptr);
      EXPECT_EQ(d.lookup(""), nullptr);
    }
    d.entries.push_back(DictEntry{"Late", Object(std::int64_t{-5})});  // straight into the entries
    EXPECT_EQ(value_of(d, "Late"), -5);
    d.set("K1", Object(std::int64_t{100}));
    d.set("New", Object(std::int64_t{7}));
    EXPECT_EQ(value_of(d, "K1"), 100);
    EXPECT_EQ(value_of(d, "New"), 7);
    EXPECT_EQ(d.size(), static_cast<std::size_t>(count) + 2);

    Dictionary copy = d;
    copy.entries.front().value = Object(std::int64_t{-9});
    for (int round = 0; round < 10; ++round) EXPECT_EQ(value_of(copy, "K0"), -9);
    EXPECT_EQ(value_of(d, "K0"), 0);
    Dictionary moved = std::move(copy);
    EXPECT_EQ(value_of(moved, "K0"), -9);
    EXPECT_EQ(value_of(moved, "New"), 7);
    copy = d;  // a moved-from dictionary takes a copy and answers for it
    EXPECT_EQ(value_of(copy, "K0"), 0);
    EXPECT_EQ(copy, d);

    // Entries replaced wholesale, as decryption rebuilds them.
    d.entries = numbered(count).entries;
    EXPECT_EQ(value_of(d, "New"), -1);
    EXPECT_EQ(value_of(d, "K1"), count > 1 ? 1 : -1);
  }
}

TEST(DictionaryLookup, OfRepeatedKeysTheFirstEntryAnswers) {
  Dictionary d = numbered(40);
  d.entries.push_back(DictEntry{"K3", Object(std::int64_t{-3})});
  d.entries.insert(d.entries.begin(), DictEntry{"K30", Object(std::int64_t{-30})});
  for (int round = 0; round < 10; ++round) {
    EXPECT_EQ(value_of(d, "K3"), 3);
    EXPECT_EQ(value_of(d, "K30"), -30);
  }
}

}  // namespace
}  // namespace folioscan
