// Recovery's rules with their extents: each axis-parallel edge a painted path draws, kept
// as a segment, and collinear touching segments merged into one.
#pragma once

#include <vector>

namespace folioscan {

// A rule along one axis: `at` is its y (horizontal) or x (vertical) in page space, and
// it runs from `from` to `to` (from <= to) along the other axis.
struct Segment {
  bool horizontal = true;
  double at = 0.0;
  double from = 0.0;
  double to = 0.0;
  // An edge of a filled box (a background), which bounds cells only where it runs the
  // grid's whole width or height, or where the grid has no other rules that way.
  bool weak = false;
};

// An axis-aligned box a path fills, in page space.
struct FilledBox {
  double x0 = 0.0;
  double y0 = 0.0;
  double x1 = 0.0;
  double y1 = 0.0;
};

// The segments a filled box contributes: a thin long bar (a rule drawn by filling) is one
// segment along its middle; a larger box (a cell's background) its four edges; a small
// square (a dot, a bullet) none.
void add_box_segments(const FilledBox& box, std::vector<Segment>& out);

// The segments merged: collinear ones (positions within a point) that touch or overlap
// become one; slivers shorter than a couple of points and NaN positions are dropped.
// Horizontal segments come first, each orientation ordered by position, then extent.
std::vector<Segment> merge_segments(std::vector<Segment> segments);

}  // namespace folioscan
