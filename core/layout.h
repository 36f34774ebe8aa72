// Text layout: runs ordered top to bottom, left to right, grouped into lines by
// baseline, with spaces inserted at wide gaps.
#pragma once

#include <array>
#include <vector>

#include "content.h"
#include "model.h"

namespace folioscan {

struct LayoutResult {
  std::vector<TextLine> lines;
  double width = 0.0;
  double height = 0.0;
};

LayoutResult layout_lines(const std::vector<TextRun>& runs, const std::array<double, 4>& media_box);

}  // namespace folioscan
