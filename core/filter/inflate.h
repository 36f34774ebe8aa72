// DEFLATE (RFC 1951) over a complete buffer; the zlib header is the caller's business.
#pragma once

#include <cstdint>
#include <optional>

#include "../bytes.h"
#include "byte_sink.h"
#include "../error.h"
#include "../input_limits.h"

namespace folioscan {

// Output only after a block marked final; every failure is "corrupt DEFLATE data",
// including output that would grow past `max_output` bytes. At most `max_held` bytes
// of output are held while the size is unknown (larger output is measured first, then
// decoded again); the result never depends on it.
[[nodiscard]] Result<Bytes> inflate(ByteView in,
                                    std::uint64_t max_output = limits::kMaxDecodedBytes,
                                    std::uint64_t max_held = limits::kMaxInflateHeldBytes);

// The decoded size, with the output handed to `sink` in order instead of kept: memory
// of a few windows whatever the size. A sink that wants no bytes is told the size only
// (take_size), and the output is then counted without being produced. Fails exactly
// where inflate fails; on failure the sink may have seen part of the output.
[[nodiscard]] Result<std::uint64_t> inflate_to_sink(ByteView in, ByteSink& sink,
                                                    std::uint64_t max_output = limits::kMaxDecodedBytes);

// Output decoded before a fault, for readers that repair: when the data was corrupt or
// ended early, `fault` is the error the whole-buffer decoder gives for the same data.
struct PartialBytes {
  Bytes data;
  std::optional<ParseError> fault;
};

// Like inflate, but corrupt or truncated data yields the bytes decoded before the fault
// (with the fault). Output past `max_output` is still "corrupt DEFLATE data".
[[nodiscard]] Result<PartialBytes> inflate_partial(ByteView in,
                                                   std::uint64_t max_output = limits::kMaxDecodedBytes,
                                                   std::uint64_t max_held = limits::kMaxInflateHeldBytes);

}  // namespace folioscan
