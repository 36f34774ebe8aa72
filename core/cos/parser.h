// The recursive-descent object parser over the lexer: direct objects with reference
// look-ahead, indirect object headers, and stream bodies.
#pragma once

#include <cstdint>
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

// With the lexer just after a dictionary that is an indirect object's body: when the
// keyword "stream" follows, reads the data (declared length checked against an
// "endstream" window, else found by searching) and returns a Stream; otherwise the
// dictionary unchanged.
[[nodiscard]] Object parse_stream_body(Lexer& lexer, Dictionary dict,
                                       std::optional<std::uint64_t> declared_length);

}  // namespace folioscan
