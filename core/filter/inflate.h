// DEFLATE (RFC 1951) over a complete buffer; the zlib header is the caller's business.
#pragma once

#include "../cos.h"
#include "../error.h"

namespace folioscan {

// Output only after a block marked final; every failure is "corrupt DEFLATE data".
[[nodiscard]] Result<Bytes> inflate(ByteView in);

}  // namespace folioscan
