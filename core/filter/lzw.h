// LZW with 9- to 12-bit codes, most significant bit first, optional early change.
#pragma once

#include <cstdint>

#include "../bytes.h"
#include "../error.h"
#include "../input_limits.h"
#include "inflate.h"

namespace folioscan {

// Every failure, output past `max_output` bytes included, is "bad LZW data".
[[nodiscard]] Result<Bytes> lzw_decode(ByteView in, bool early_change,
                                       std::uint64_t max_output = limits::kMaxDecodedBytes);

// The decoded size, with the output handed to `sink` in order instead of kept (at most
// a megabyte held). Fails exactly where lzw_decode fails.
[[nodiscard]] Result<std::uint64_t> lzw_decode_to_sink(ByteView in, bool early_change, ByteSink& sink,
                                                       std::uint64_t max_output = limits::kMaxDecodedBytes);

// Like lzw_decode, but a code that cannot be decoded ends the output there (with the
// fault) instead of failing. Output past `max_output` still fails.
[[nodiscard]] Result<PartialBytes> lzw_decode_partial(ByteView in, bool early_change,
                                                      std::uint64_t max_output = limits::kMaxDecodedBytes);

}  // namespace folioscan
