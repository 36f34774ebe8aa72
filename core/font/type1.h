// Type 1 programs (FontFile) read for text: the /Encoding of the clear-text part,
// either StandardEncoding or an array filled by "dup code /name put".
#pragma once

#include <array>
#include <string_view>

#include "../cos/object.h"

namespace folioscan::font {

struct Type1Encoding {
  bool found = false;     // the clear text defines /Encoding
  bool standard = false;  // ... as StandardEncoding
  // Glyph name by code (empty: none). Views into the program or the fixed tables.
  std::array<std::string_view, 256> names{};
};

// Never fails. Reads only the clear text: up to "eexec", or the first segment of a
// program that still carries its PFB segment headers. Views borrow `program`.
Type1Encoding read_type1_encoding(ByteView program);

}  // namespace folioscan::font
