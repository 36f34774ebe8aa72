// ASCII85 (btoa) decoding.
#pragma once

#include <cstdint>

#include "../bytes.h"
#include "../error.h"
#include "../input_limits.h"

namespace folioscan {

// Every failure, output past `max_output` bytes included, is "bad ASCII85 data".
[[nodiscard]] Result<Bytes> ascii85_decode(ByteView in,
                                           std::uint64_t max_output = limits::kMaxDecodedBytes);

}  // namespace folioscan
