// The filter pipeline: a stream dictionary's /Filter chain with its /DecodeParms,
// run decoder after decoder over the whole buffer.
#pragma once

#include <cstdint>
#include <optional>

#include "../cos/object.h"
#include "../error.h"
#include "../input_limits.h"

namespace folioscan {

// Decoded bytes of a stream, or the first decoder's error. Pure: no references are
// resolved (a Reference counts as a value of the wrong type). Each stage's output is
// bounded by `max_output`; past it the stage fails with its own message.
[[nodiscard]] Result<Bytes> decode_stream(const Dictionary& dict, ByteView raw,
                                          std::uint64_t max_output = limits::kMaxDecodedBytes);
// Whether decode_stream would succeed, with its error when not, without keeping the
// output: a stream that no stage changes (an image codec alone) is not copied.
[[nodiscard]] Result<void> check_stream_decodes(const Dictionary& dict, ByteView raw);

// A repairing decode: the bytes as far as they decode, and the error the strict decode
// would have given. Corrupt or truncated Flate and LZW data keep the bytes decoded
// before the fault; a stage that yields nothing usable (an unknown filter, output past
// the bound, any other decoder's error) leaves no data at all.
struct RecoveredBytes {
  Bytes data;
  std::optional<ParseError> fault;
  // A Flate or LZW stage stopped at the output bound (and so yielded nothing).
  bool over_bound = false;
};
// Each stage's output is bounded by `max_output`.
[[nodiscard]] RecoveredBytes decode_stream_recovering(const Dictionary& dict, ByteView raw,
                                                      std::uint64_t max_output = limits::kMaxDecodedBytes);

// The two small decoders that live beside the pipeline. Output past `max_output` bytes
// fails with the decoder's own message.
[[nodiscard]] Result<Bytes> ascii_hex_decode(ByteView in,
                                             std::uint64_t max_output = limits::kMaxDecodedBytes);
[[nodiscard]] Result<Bytes> run_length_decode(ByteView in,
                                              std::uint64_t max_output = limits::kMaxDecodedBytes);

}  // namespace folioscan
