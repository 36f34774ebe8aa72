// Output handed on piece by piece, for decoders run only to check or measure a stream.
#pragma once

#include "../bytes.h"

namespace folioscan {

// Receives a decoder's output in order, in pieces it may not keep a view of.
class ByteSink {
 public:
  virtual void take(ByteView piece) = 0;
  // False when only the size of the output matters: a decoder that can tell it without
  // writing the bytes (LZW) may then skip writing them.
  virtual bool wants_bytes() const { return true; }

 protected:
  ByteSink() = default;
  ByteSink(const ByteSink&) = default;
  ByteSink& operator=(const ByteSink&) = default;
  ~ByteSink() = default;
};

}  // namespace folioscan
