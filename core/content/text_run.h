// A string shown by a page's content, placed on the page: what the text interpreter
// gives and layout and table detection read.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace folioscan {

struct TextRun {
  std::string text;
  // The resource name of the font "Tf" set (null when none was): one copy per page,
  // shared by every run and saved state that names it.
  std::shared_ptr<const std::string> font;
  double x = 0.0;  // origin in page space
  double y = 0.0;
  double width = 0.0;      // advance in unscaled text space
  double font_size = 0.0;  // Tfs as set by "Tf"
  // The same two in page space, for comparing runs with each other: the x of the
  // string's end point, and the font size scaled by the matrices' vertical axis.
  double end_x = 0.0;
  double page_size = 0.0;
  // Where the text runs to on the page: the y of the end point, and the quarter turn
  // nearest to the direction of the baseline (0 left to right, 1 upwards, 2 right to
  // left, 3 downwards). Recovery's layout reads rotated text along its own baseline.
  double end_y = 0.0;
  std::uint8_t quarter_turns = 0;
  // Shown through a singular matrix: the glyphs have no area on the page.
  bool flat = false;
  // Recovery only: the offset in `text` where each glyph's text starts, kept when some
  // glyph gives several characters (a ligature, or a word a font maps one glyph to),
  // so that putting right-to-left text in logical order moves glyphs whole. Empty:
  // each character is a glyph of its own.
  std::vector<std::uint32_t> glyph_starts = {};
  // Recovery only: the face of the run's font (bold, italic) and how far its glyphs
  // reach above and below the baseline in page space (ascent positive, descent
  // negative); zero where no font was set.
  bool bold = false;
  bool italic = false;
  double ascent = 0.0;
  double descent = 0.0;
};

}  // namespace folioscan
