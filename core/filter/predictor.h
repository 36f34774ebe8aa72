// TIFF predictor 2 and PNG row predictors, undone after Flate or LZW.
#pragma once

#include "../cos/object.h"
#include "../error.h"

namespace folioscan {

// Parameters from /Predictor /Colors /BitsPerComponent /Columns (defaults when absent
// or mistyped). Fails only on a PNG row tag above 4 and on rows too long to be real
// (longer than limits::kMaxDecodedBytes, or overflowing 64 bits).
[[nodiscard]] Result<Bytes> undo_predictor(Bytes data, const Dictionary& params);

}  // namespace folioscan
