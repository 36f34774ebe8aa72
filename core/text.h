// UTF-8 helpers shared by the lexer, fonts and ToUnicode maps.
#pragma once

#include <cstdint>
#include <string>

#include "cos.h"

namespace folioscan {

// Converts bytes to UTF-8 text, replacing every invalid sequence by U+FFFD (one per
// maximal invalid subpart, as Python's "replace" error handler does).
std::string utf8_lossy(ByteView bytes);
// Appends the UTF-8 encoding of a code point (surrogates and values above 0x10FFFF
// become U+FFFD).
void append_utf8(std::string& out, std::uint32_t cp);

}  // namespace folioscan
