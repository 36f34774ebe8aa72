// UTF-8 helpers shared by the lexer, fonts and ToUnicode maps.
#pragma once

#include <cstdint>
#include <cstddef>
#include <string>
#include <string_view>

#include "bytes.h"

namespace folioscan {

// Converts bytes to UTF-8 text, replacing every invalid sequence by U+FFFD (one per
// maximal invalid subpart, as Python's "replace" error handler does).
std::string utf8_lossy(ByteView bytes);
// Appends the UTF-8 encoding of a code point (surrogates and values above 0x10FFFF
// become U+FFFD).
void append_utf8(std::string& out, std::uint32_t cp);
// A text string of the file (document information, marked-content replacement text) as
// UTF-8: UTF-16BE after the FE FF mark (unpaired surrogates become U+FFFD), UTF-8
// after EF BB BF, else PDFDocEncoding.
std::string decode_text_string(ByteView bytes);
// The code point UTF-8 text starts with (0 for empty text), read from its lead byte and
// the continuation bytes the text holds; with `length`, the bytes its lead byte names.
std::uint32_t first_code_point(std::string_view text, std::size_t* length = nullptr);

}  // namespace folioscan
