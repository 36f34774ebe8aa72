// The recursive-descent object parser over the lexer: direct objects with reference
// look-ahead, indirect object headers, and stream bodies.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>

#include "../error.h"
#include "object.h"

namespace folioscan {

class Lexer;

// Parses one direct object at the lexer position (never a Stream).
[[nodiscard]] Result<Object> parse_object(Lexer& lexer);

struct ObjectHeader {
  std::uint32_t num = 0;
  std::uint32_t gen = 0;
};

// "N G obj": two unsigned 32-bit integers and the keyword. Every error is InvalidObject
// with the cause NoObjectHeader.
[[nodiscard]] Result<ObjectHeader> parse_object_header(Lexer& lexer);

// Searches of one buffer for "endstream", remembered: streams whose end is never found
// would otherwise each search to the end of the buffer (a file of N of them, N times).
// Each byte is searched about once, whatever the order of the requests.
class EndstreamSearch {
 public:
  explicit EndstreamSearch(ByteView data) : data_(data) {}
  ByteView data() const { return data_; }
  // Start of the first "endstream" at or after `from`, or the buffer size.
  std::size_t next(std::size_t from);

 private:
  ByteView data_;
  // A start of search -> the first hit at or after it: no hit begins in between.
  std::map<std::size_t, std::size_t> searched_;
};

// Where a stream's data lie in the lexer's buffer: [start, end).
struct StreamExtent {
  std::size_t start = 0;
  std::size_t end = 0;
};

// With the lexer just after a dictionary that is an indirect object's body: when the
// keyword "stream" follows, finds the data (declared length checked against an
// "endstream" window, else found by searching, through `search` when given, which must
// cover the lexer's buffer) and leaves the lexer after them; nothing otherwise.
[[nodiscard]] std::optional<StreamExtent> find_stream_data(Lexer& lexer, std::optional<std::uint64_t> declared_length,
                                                           EndstreamSearch* search = nullptr);
// The same, returning a Stream with a copy of the data, or the dictionary unchanged.
[[nodiscard]] Object parse_stream_body(Lexer& lexer, Dictionary dict,
                                       std::optional<std::uint64_t> declared_length);

}  // namespace folioscan
