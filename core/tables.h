// Ruled-table detection: the rules a page's paths draw, collected during the content
// walk, and one grid per page from them, filled with the page's text runs.
#pragma once

#include <vector>

#include "content/operation.h"
#include "content/text_run.h"
#include "content/walker.h"
#include "input_limits.h"
#include "matrix.h"
#include "model.h"
#include "tables/segments.h"

namespace folioscan {

// The strokes of a page's paths that run along the axes, in content order.
struct Rules {
  std::vector<double> horizontal;  // y of each horizontal stroke
  std::vector<double> vertical;    // x of each vertical stroke
  // Recovery only: the painted axis-parallel edges with their extents, unmerged.
  std::vector<Segment> segments;
};

// Collects a page's Rules from its path operations, fed one operation at a time with
// the walk's graphics state (see content/walker.h), which places them on the page; it
// keeps the current point. With `painted_only` (the recovering reading) an edge counts
// only once its path is painted: "n" (which ends a clipping path) and a path never
// painted draw nothing. Without it every edge counts as soon as it is built.
class RuleCollector {
 public:
  explicit RuleCollector(bool painted_only = false) : painted_only_(painted_only) {}

  // Inline: every operation of every page passes here, and most are not path operators.
  void apply(const ContentOp& op, const GraphicsState& gs) {
    if (is_path_operator(op.op)) apply_path(op, gs.ctm);
  }
  Rules take() { return std::move(rules_); }

 private:
  struct Point {
    double x = 0.0;
    double y = 0.0;
  };
  static Point map(const Matrix& ctm, double x, double y) {
    return {x * ctm.a + y * ctm.c + ctm.e, x * ctm.b + y * ctm.d + ctm.f};
  }
  // The subpath being built, for telling a filled box: its bounds, whether every edge
  // so far runs along an axis, and how many edges it has.
  struct Subpath {
    Point start;
    double x0 = 0.0, y0 = 0.0, x1 = 0.0, y1 = 0.0;
    bool axis_parallel = false;  // none open
    int edges = 0;
  };
  void apply_path(const ContentOp& op, const Matrix& ctm);
  void edge(Point from, Point to);
  void start_subpath(Point at);
  void end_subpath();
  void paint(bool stroke, bool fill);
  // Whether an edge of the path being built is kept as a segment: in recovery, and only
  // while a page's segments stay within bounds (one path may hold millions of edges).
  bool keep_edge() const { return painted_only_ && pending_edges_.size() < limits::kMaxRuleSegments; }

  bool painted_only_;
  Point current_;
  Rules rules_;
  std::vector<double> pending_horizontal_;  // edges of the path being built
  std::vector<double> pending_vertical_;
  std::vector<Segment> pending_edges_;
  std::vector<FilledBox> pending_boxes_;
  Subpath subpath_;
};

std::vector<Table> detect_tables(Rules rules, const std::vector<TextRun>& runs);

}  // namespace folioscan
