// LZW with 9- to 12-bit codes, most significant bit first, optional early change.
#pragma once

#include "../cos.h"
#include "../error.h"

namespace folioscan {

[[nodiscard]] Result<Bytes> lzw_decode(ByteView in, bool early_change);

}  // namespace folioscan
