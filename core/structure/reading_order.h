// Reading order by recursive cuts along a page's white space: a region whose boxes
// leave a column gutter free from top to bottom is cut into columns, read left to right
// (right to left on a right-to-left page); otherwise it is cut into rows at the white
// space between them, where consecutive rows that share a gutter are read as one
// region of columns, so that a full-width title, caption or footer stays where it
// stands and each column is read whole. A page's first or last row that holds a page
// number and a title a column's width apart, or text in the page's margin, set off by
// white space, is its running header or footer and is read on its own; a row of figures alone joins no columns.
// Columns that the page draws cell by cell, going back up to each column's top in turn
// row after row, are a table's and are read in the order they are drawn.
#pragma once

#include <cstdint>
#include <limits>
#include <span>
#include <vector>

namespace folioscan {

// An item's box in page space (y upwards); the y range is the band its text occupies.
struct CutBox {
  double x0 = 0.0;
  double y0 = 0.0;
  double x1 = 0.0;
  double y1 = 0.0;
  // A figure: it takes up room but holds no text, so a row of figures alone is no
  // evidence of columns and joins no rows that share a gutter.
  bool figure = false;
  // Where the item's text comes in the page's drawing order (its first glyph's place
  // among the page's text runs); kUndrawn where that is unknown.
  std::uint32_t drawn = kUndrawn;
  // Text whose baseline lies in the page's top or bottom margin, where running headers
  // and footers stand.
  bool margin = false;
  static constexpr std::uint32_t kUndrawn = std::numeric_limits<std::uint32_t>::max();
};

// One item in reading order; items that read as one row of one region share `row`
// (pieces of one line cut at a wide gap that no column separates).
struct ReadingPlace {
  std::uint32_t item = 0;
  std::uint32_t row = 0;
};

// `unit` is the page's body text size: a gutter is at least two fifths of it wide (a whole
// one where it runs through fewer than three rows), and a column at least six times it.
std::vector<ReadingPlace> reading_order(std::span<const CutBox> boxes, double unit, bool right_to_left);

}  // namespace folioscan
