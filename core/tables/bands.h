// Recovery's tables drawn with horizontal rules only: columns from the white gutters
// that run through every line between the rules, and rows from the rules themselves
// (one row between two rules) or, under a header rule, from the paragraphs of the
// column parted into the most of them; wrapped lines stay in their cell.
#pragma once

#include <array>
#include <optional>
#include <span>
#include <vector>

#include "../model.h"
#include "text_lines.h"

namespace folioscan {

// The table the lines between a frame's rules hold, or nothing. `lines` are the lines
// strictly between the first and the last rule, cut to the frame's extent [x0, x1];
// `rules` the y of the frame's rules, top to bottom.
std::optional<Table> banded_table(std::span<const Row> lines, const std::vector<double>& rules, double x0, double x1,
                                  const std::array<double, 4>& media_box);

}  // namespace folioscan
