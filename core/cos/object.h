// The PDF object model: the ten variants of an object, dictionaries with their entries
// in file order, and streams with their raw data. Parsing lives in cos/parser.h.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <variant>
#include <vector>

#include "../bytes.h"

namespace folioscan {

struct ObjRef {
  std::uint32_t num = 0;
  std::uint16_t gen = 0;
  friend bool operator==(const ObjRef&, const ObjRef&) = default;
};

struct Null {
  friend bool operator==(const Null&, const Null&) = default;
};

// Literal and hexadecimal strings alike: raw bytes.
struct String {
  Bytes bytes;
  friend bool operator==(const String&, const String&) = default;
};

// Name text without the slash, UTF-8 (invalid sequences replaced when lexed).
struct Name {
  std::string text;
  friend bool operator==(const Name&, const Name&) = default;
};

struct Object;
struct DictEntry;
using Array = std::vector<Object>;

// The look-up index of a large dictionary: positions of its entries ordered by key,
// with the entries' address and count when it was built (a change to either makes the
// next look-up build it again), and the look-ups made before it was built. A copy
// starts without one; a move takes it along with the entries, whose storage moves too.
// Keys are never rewritten in place: entries change by appending, by `set`, or by
// replacing the whole vector with one built elsewhere.
struct KeyIndex {
  const DictEntry* base = nullptr;
  std::size_t size = 0;
  std::uint32_t scans = 0;
  std::vector<std::uint32_t> order;
};

class LookupCache {
 public:
  LookupCache() = default;
  LookupCache(const LookupCache&) {}
  LookupCache& operator=(const LookupCache&) {
    index.reset();
    return *this;
  }
  LookupCache(LookupCache&&) noexcept = default;
  LookupCache& operator=(LookupCache&&) noexcept = default;
  friend bool operator==(const LookupCache&, const LookupCache&) { return true; }

  mutable std::unique_ptr<KeyIndex> index;
};

// Entries in the order their keys first appeared; keys are unique. Look-ups in a
// dictionary of more than a few dozen entries go through an index built by the first
// of them, so that naming each of a page's resources once costs linear time overall.
struct Dictionary {
  std::vector<DictEntry> entries;
  LookupCache lookup_cache = {};

  // First entry whose key equals `key` byte for byte; nullptr when absent.
  const Object* lookup(std::string_view key) const;
  // Replace the value of an existing key in place, or append a new entry.
  void set(std::string key, Object value);
  bool empty() const;
  std::size_t size() const;
  friend bool operator==(const Dictionary&, const Dictionary&);
};

struct Stream {
  Dictionary dict;
  Bytes data;  // raw bytes as stored (still filtered)
  friend bool operator==(const Stream&, const Stream&) = default;
};

struct Object {
  // Alternative order is the variant order of the object model.
  using Value = std::variant<Null, bool, std::int64_t, double, String, Name, Array, Dictionary,
                             Stream, ObjRef>;
  Value value;

  Object() = default;
  Object(Value v);
  // Built in place from one alternative's value (a String, a Name, an integer...), the
  // way the parsers make nearly every object: no Value to move in and destroy after.
  template <class T>
    requires(!std::is_same_v<std::remove_cvref_t<T>, Object> &&
             !std::is_same_v<std::remove_cvref_t<T>, Value> && std::is_constructible_v<Value, T &&>)
  Object(T&& v) : value(std::forward<T>(v)) {}

  bool is_null() const { return std::holds_alternative<Null>(value); }
  const bool* as_bool() const { return std::get_if<bool>(&value); }
  const std::int64_t* as_integer() const { return std::get_if<std::int64_t>(&value); }
  const double* as_real() const { return std::get_if<double>(&value); }
  const String* as_string() const { return std::get_if<String>(&value); }
  const Name* as_name() const { return std::get_if<Name>(&value); }
  const Array* as_array() const { return std::get_if<Array>(&value); }
  const Dictionary* as_dict() const { return std::get_if<Dictionary>(&value); }
  const Stream* as_stream() const { return std::get_if<Stream>(&value); }
  const ObjRef* as_ref() const { return std::get_if<ObjRef>(&value); }
  String* as_string() { return std::get_if<String>(&value); }
  Array* as_array() { return std::get_if<Array>(&value); }
  Dictionary* as_dict() { return std::get_if<Dictionary>(&value); }
  Stream* as_stream() { return std::get_if<Stream>(&value); }

  // An Integer converted to double, or a Real; nothing for any other variant. Inline:
  // every numeric operand of every content operation goes through it.
  std::optional<double> as_number() const {
    if (const auto* i = as_integer()) return static_cast<double>(*i);
    if (const auto* r = as_real()) return *r;
    return std::nullopt;
  }
  // True when this is a Name whose text equals `text`.
  bool is_name(std::string_view text) const;

  friend bool operator==(const Object&, const Object&) = default;
};

struct DictEntry {
  std::string key;
  Object value;
  friend bool operator==(const DictEntry&, const DictEntry&) = default;
};

// Defined once DictEntry is complete: clang instantiates the vector members these use
// where they are defined, not at the end of the file.
inline bool Dictionary::empty() const { return entries.empty(); }
inline std::size_t Dictionary::size() const { return entries.size(); }
inline Object::Object(Value v) : value(std::move(v)) {}

}  // namespace folioscan
