// Output handed on piece by piece, for decoders run only to check or measure a stream.
#pragma once

#include <cstdint>

#include "../bytes.h"

namespace folioscan {

// Receives a decoder's output in order, in pieces it may not keep a view of.
class ByteSink {
 public:
  virtual void take(ByteView piece) = 0;
  // False when only the size of the output matters: a decoder that can tell it without
  // writing the bytes (LZW) may then skip writing them.
  virtual bool wants_bytes() const { return true; }
  // When wants_bytes() is false, a decoder may report output by its size alone, without
  // producing the bytes; the sizes given here and the pieces given to take add up.
  virtual void take_size(std::uint64_t size) { (void)size; }

 protected:
  ByteSink() = default;
  ByteSink(const ByteSink&) = default;
  ByteSink& operator=(const ByteSink&) = default;
  ~ByteSink() = default;
};

}  // namespace folioscan
