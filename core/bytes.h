// The two byte types every layer shares: owned bytes and borrowed bytes. Nothing else,
// so that the lowest layers (the lexer, the UTF-8 helpers) need no header above them.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace folioscan {

using Bytes = std::vector<std::uint8_t>;
using ByteView = std::span<const std::uint8_t>;

}  // namespace folioscan
