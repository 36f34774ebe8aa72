// Connected grids by union-find over crossing rules. Vertical rules are ordered by x,
// so each horizontal rule looks only at the verticals within its extent.
#include "grids.h"

#include <algorithm>
#include <cmath>
#include <numeric>

#include "../float_ops.h"

namespace folioscan {
namespace {

// A rule that stops this short of another still meets it.
constexpr double kReach = 2.5;

class Components {
 public:
  explicit Components(std::size_t n) : parent_(n) { std::iota(parent_.begin(), parent_.end(), std::size_t{0}); }
  std::size_t find(std::size_t i) {
    while (parent_[i] != i) {
      parent_[i] = parent_[parent_[i]];
      i = parent_[i];
    }
    return i;
  }
  void join(std::size_t a, std::size_t b) { parent_[find(a)] = find(b); }

 private:
  std::vector<std::size_t> parent_;
};

}  // namespace

std::vector<Grid> cluster_grids(const std::vector<Segment>& segments) {
  std::vector<std::size_t> horizontal;
  std::vector<std::size_t> vertical;
  for (std::size_t i = 0; i < segments.size(); ++i) (segments[i].horizontal ? horizontal : vertical).push_back(i);
  std::sort(vertical.begin(), vertical.end(),
            [&](std::size_t a, std::size_t b) { return segments[a].at < segments[b].at; });

  Components components(segments.size());
  std::vector<bool> crossed(segments.size(), false);
  for (const std::size_t h : horizontal) {
    const Segment& hs = segments[h];
    auto it = std::lower_bound(vertical.begin(), vertical.end(), hs.from - kReach,
                               [&](std::size_t v, double x) { return segments[v].at < x; });
    for (; it != vertical.end() && segments[*it].at <= hs.to + kReach; ++it) {
      const Segment& vs = segments[*it];
      if (hs.at >= vs.from - kReach && hs.at <= vs.to + kReach) {
        components.join(h, *it);
        crossed[h] = crossed[*it] = true;
      }
    }
  }

  std::vector<Grid> grids;
  std::vector<std::size_t> grid_of(segments.size(), segments.size());
  for (std::size_t i = 0; i < segments.size(); ++i) {
    if (!crossed[i]) continue;
    const std::size_t root = components.find(i);
    if (grid_of[root] == segments.size()) {
      grid_of[root] = grids.size();
      grids.emplace_back();
      grids.back().bbox = {INFINITY, INFINITY, -INFINITY, -INFINITY};
    }
    Grid& grid = grids[grid_of[root]];
    const Segment& s = segments[i];
    (s.horizontal ? grid.horizontal : grid.vertical).push_back(s);
    const double x0 = s.horizontal ? s.from : s.at;
    const double x1 = s.horizontal ? s.to : s.at;
    const double y0 = s.horizontal ? s.at : s.from;
    const double y1 = s.horizontal ? s.at : s.to;
    grid.bbox = {fmin_of(grid.bbox[0], x0), fmin_of(grid.bbox[1], y0), fmax_of(grid.bbox[2], x1),
                 fmax_of(grid.bbox[3], y1)};
  }
  std::sort(grids.begin(), grids.end(), [](const Grid& a, const Grid& b) { return a.bbox[3] > b.bbox[3]; });
  return grids;
}

}  // namespace folioscan
