// The lines of a recovered page as pieces that structure reads: each upright line cut
// at gaps wide enough to be a column gutter, each piece with its box, its dominant
// size and its style. Lines of rotated text stay whole.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "../content/text_run.h"
#include "../layout.h"
#include "../model.h"

namespace folioscan {

struct LinePiece {
  // The piece's runs left to right (upright text); empty for a rotated line.
  std::vector<const TextRun*> runs;
  TextLine line;
  // x0, y0, x1, y1 in page space, from the baseline, ascent and descent.
  std::array<double, 4> box{};
  double baseline = 0.0;
  double size = 0.0;  // the size that most of its characters have
  bool bold = false;  // most of its characters are bold
  bool italic = false;
  bool upright = true;
  // How many pieces apart by wide gaps it was joined from (a row of table cells has
  // several; a section number before its title makes two).
  std::uint32_t parts = 1;
  std::size_t characters = 0;
};

// A gap between two runs of one line wider than this many times their size may be a
// gutter; reading order decides whether a column lies beyond it.
constexpr double kPieceGap = 0.5;

// The pieces of the layout's lines (`line_runs` must be filled), upright ones first.
std::vector<LinePiece> line_pieces(const LayoutResult& layout);

// Raised note marks that layout left as lines of their own (a superscript "1" after
// a word, a line's height above its baseline) go back into the piece they stand in:
// an upright piece of at most three characters, smaller than a longer piece whose
// line it sits on, raised above that line's baseline by less than its size, and
// inside that line or touching one of its ends, or starting inside it or right at its
// end with no space drawn before it and running on past its end (marks "1,2" whose
// comma the line holds, "10" after "averse)."). The mark is dropped from `pieces` and
// its runs join the piece's, left to right.
void attach_raised_marks(std::vector<LinePiece>& pieces);

// One piece made of the upright pieces `parts` (of one row, in any order): their runs
// piece after piece from the left, and their text joined again.
LinePiece joined_pieces(std::span<const LinePiece* const> parts);

}  // namespace folioscan
