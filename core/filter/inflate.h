// DEFLATE (RFC 1951) over a complete buffer; the zlib header is the caller's business.
#pragma once

#include <cstdint>

#include "../bounds.h"
#include "../cos.h"
#include "../error.h"

namespace folioscan {

// Output only after a block marked final; every failure is "corrupt DEFLATE data",
// including output that would grow past `max_output` bytes. At most `max_held` bytes
// of output are held while the size is unknown (larger output is measured first, then
// decoded again); the result never depends on it.
[[nodiscard]] Result<Bytes> inflate(ByteView in,
                                    std::uint64_t max_output = limits::kMaxDecodedBytes,
                                    std::uint64_t max_held = limits::kMaxInflateHeldBytes);

}  // namespace folioscan
