// List markers at the start of a line: bullet glyphs and enumerators.
#pragma once

#include <cstddef>
#include <string_view>

namespace folioscan {

enum class MarkerKind : unsigned char { None, Bullet, Enumerator };

struct ListMarker {
  MarkerKind kind = MarkerKind::None;
  // Bytes of the marker with the white space after it.
  std::size_t length = 0;
};

// The marker `text` starts with: a bullet (•, ◦, ▪, ‣, –, -, *, ·, and the private-use
// bullets of symbol fonts) followed by white space or text, or an enumerator ("1.",
// "12)", "a.", "(b)", "iv.", "(3)") followed by white space.
ListMarker list_marker(std::string_view text);

}  // namespace folioscan
