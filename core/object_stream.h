// Object streams: the header of /N pairs (object number, offset) read from the decoded
// data, and the objects stored in it, parsed by index.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "bytes.h"
#include "cos/object.h"
#include "error.h"

namespace folioscan {

// The parsed header of an object stream; data owned, lists as long as /N.
struct ObjectStream {
  std::vector<std::uint32_t> numbers;
  std::vector<std::uint64_t> offsets;
  Bytes data;
  std::uint64_t first = 0;
};

// The header of the stream `dict` describes (/N pairs, objects from /First on), over its
// decoded data. Errors (InvalidObject): "objstm missing key", "objstm negative key",
// "objstm truncated header", "objstm bad integer".
[[nodiscard]] Result<ObjectStream> parse_object_stream(const Dictionary& dict, Bytes decoded);
// The object at position `index` of the header: "objstm index out of range" past /N.
[[nodiscard]] Result<Object> object_at(const ObjectStream& stream, std::size_t index);

}  // namespace folioscan
