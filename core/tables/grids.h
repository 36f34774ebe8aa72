// Recovery's candidate tables: the merged rule segments of a page clustered into
// connected grids (a horizontal and a vertical rule that cross or meet are connected),
// each with its bounding box.
#pragma once

#include <array>
#include <vector>

#include "segments.h"

namespace folioscan {

struct Grid {
  std::vector<Segment> horizontal;  // ordered by position
  std::vector<Segment> vertical;
  std::array<double, 4> bbox{};  // x0, y0, x1, y1
};

// The connected grids of `segments` (as merge_segments gives them) that have rules in
// both directions, top to bottom by their upper edge.
std::vector<Grid> cluster_grids(const std::vector<Segment>& segments);

}  // namespace folioscan
