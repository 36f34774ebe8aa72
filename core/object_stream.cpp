// Reading an object stream's header: /N and /First, then the pairs, grown as they are
// read; and parsing the object at one index of it.
#include "object_stream.h"

#include <string_view>
#include <utility>

#include "cos/parser.h"
#include "lex.h"

namespace folioscan {
namespace {

constexpr auto kObj = ParseErrorKind::InvalidObject;

Result<std::uint64_t> objstm_key(const Dictionary& dict, std::string_view key) {
  const Object* v = dict.lookup(key);
  const auto* i = v != nullptr ? v->as_integer() : nullptr;
  if (i == nullptr) return fail(kObj, "objstm missing key");
  if (*i < 0) return fail(kObj, "objstm negative key");
  return static_cast<std::uint64_t>(*i);
}

}  // namespace

Result<ObjectStream> parse_object_stream(const Dictionary& dict, Bytes decoded) {
  const std::uint64_t n = TRY(objstm_key(dict, "N"));
  const std::uint64_t first = TRY(objstm_key(dict, "First"));
  ObjectStream out;
  {
    // The lists grow as pairs are read: a huge /N in a tiny stream runs out of pairs
    // ("objstm truncated header") instead of reserving memory for /N entries.
    Lexer lexer(decoded);
    for (std::uint64_t i = 0; i < n; ++i) {
      const std::uint64_t num =
          TRY(lexer.read_u64(kObj, "objstm truncated header", "objstm bad integer"));
      const std::uint64_t offset =
          TRY(lexer.read_u64(kObj, "objstm truncated header", "objstm bad integer"));
      out.numbers.push_back(static_cast<std::uint32_t>(num));
      out.offsets.push_back(offset);
    }
  }
  out.data = std::move(decoded);
  out.first = first;
  return out;
}

Result<Object> object_at(const ObjectStream& stream, std::size_t index) {
  if (index >= stream.offsets.size()) return fail(kObj, "objstm index out of range");
  const std::uint64_t size = stream.data.size();
  const std::uint64_t off = stream.offsets[index];
  // Saturate: first + offset may exceed 64 bits in a hostile header.
  const std::uint64_t pos = stream.first > size || off > size - stream.first ? size : stream.first + off;
  Lexer lexer(stream.data, static_cast<std::size_t>(pos));
  return parse_object(lexer);
}

}  // namespace folioscan
