// LZW with 9- to 12-bit codes, most significant bit first, optional early change.
#pragma once

#include <cstdint>

#include "../bounds.h"
#include "../cos.h"
#include "../error.h"

namespace folioscan {

// Every failure, output past `max_output` bytes included, is "bad LZW data".
[[nodiscard]] Result<Bytes> lzw_decode(ByteView in, bool early_change,
                                       std::uint64_t max_output = limits::kMaxDecodedBytes);

}  // namespace folioscan
