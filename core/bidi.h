// Putting a line of right-to-left or mixed text back into reading order.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace folioscan {

// The bidirectional class of a code point, as in the Unicode character database.
enum class BidiClass : std::uint8_t {
  L, R, AL, EN, ES, ET, AN, CS, NSM, BN, B, S, WS, ON,
  LRE, LRO, RLE, RLO, PDF, LRI, RLI, FSI, PDI,
};

BidiClass bidi_class(char32_t cp);

// Whether UTF-8 text holds strong characters of both directions (L, and R or AL).
bool holds_both_directions(std::string_view utf8);

// The characters of one line of text drawn in visual order (left to right on the
// page), put in logical order: levels are resolved on the drawn sequence as if it were
// in reading order (paragraph level from the first strong character, weak and neutral
// types resolved, implicit levels), and runs are reversed from the highest level down
// to the lowest odd one. For right-to-left words, numbers inside them and left-to-right
// words inside right-to-left text this gives back the reading order. Embedding and
// isolate controls are kept and count as boundary neutrals. Text without a
// right-to-left letter or an Arabic digit comes back unchanged.
//
// unit_starts: sorted byte offsets where indivisible units begin (one glyph's text,
// already in reading order). Units move as wholes and are never reversed inside; each
// takes the class of its first strong character, or of its first character when none is
// strong. Text before the first offset is a unit of its own; offsets past the end or out
// of order are ignored. Empty: every code point is a unit. Bytes that are not UTF-8
// are units of their own.
std::string logical_order(std::string_view visual_utf8,
                          std::span<const std::uint32_t> unit_starts = {});

}  // namespace folioscan
