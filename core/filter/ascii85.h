// ASCII85 (btoa) decoding.
#pragma once

#include "../cos.h"
#include "../error.h"

namespace folioscan {

[[nodiscard]] Result<Bytes> ascii85_decode(ByteView in);

}  // namespace folioscan
