// The filter pipeline: a stream dictionary's /Filter chain with its /DecodeParms,
// run decoder after decoder over the whole buffer.
#pragma once

#include "../cos.h"
#include "../error.h"

namespace folioscan {

// Decoded bytes of a stream, or the first decoder's error. Pure: no references are
// resolved (a Reference counts as a value of the wrong type).
[[nodiscard]] Result<Bytes> decode_stream(const Dictionary& dict, ByteView raw);

// The two small decoders that live beside the pipeline.
[[nodiscard]] Result<Bytes> ascii_hex_decode(ByteView in);
[[nodiscard]] Result<Bytes> run_length_decode(ByteView in);

}  // namespace folioscan
