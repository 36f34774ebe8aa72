// Ruled-table detection: collects horizontal and vertical strokes from the page's path
// operations, merges close positions into one grid, and fills its cells with the text
// runs that fall inside.
#include "tables.h"

#include <algorithm>
#include <cmath>
#include <optional>

#include "content/walker.h"
#include "float_ops.h"
#include "input_limits.h"
#include "layout.h"
#include "matrix.h"

namespace folioscan {
namespace {

// Strokes closer than this to axis-parallel count as rules; positions closer than this
// count as one rule; text this close outside a cell still belongs to it.
constexpr double kTolerance = 2.0;

double number_at(const ContentOp& op, std::size_t index, double fallback = 0.0) {
  if (index >= op.operands.size()) return fallback;
  return op.operands[index].as_number().value_or(fallback);
}

// Ascending, with each group of close values represented by its smallest member: a value
// is kept when it is at least the tolerance above the last kept one. NaN positions (from
// extreme "cm" values) cannot be placed on a grid and are dropped before sorting.
std::vector<double> merge_positions(std::vector<double> values) {
  std::erase_if(values, [](double v) { return std::isnan(v); });
  std::sort(values.begin(), values.end());
  std::vector<double> kept;
  for (const double v : values) {
    if (kept.empty() || v - kept.back() >= kTolerance) kept.push_back(v);
  }
  return kept;
}

// The first column i with X[i] - 2 <= x < X[i + 1] + 2 (X ascending). The right-hand test
// fails for a prefix of columns and then holds, so only the first column where it holds
// can match; the left-hand test only gets harder further right.
std::optional<std::size_t> column_of(const std::vector<double>& xs, double x) {
  const auto it = std::partition_point(xs.begin() + 1, xs.end(),
                                       [x](double right) { return !(x < right + kTolerance); });
  if (it == xs.end()) return std::nullopt;
  const auto i = static_cast<std::size_t>(it - xs.begin()) - 1;
  if (xs[i] - kTolerance <= x) return i;
  return std::nullopt;
}

// The first row j with Y[j + 1] - 2 < y <= Y[j] + 2 (Y descending), found the same way.
std::optional<std::size_t> row_of(const std::vector<double>& ys, double y) {
  const auto it = std::partition_point(ys.begin() + 1, ys.end(),
                                       [y](double bottom) { return !(bottom - kTolerance < y); });
  if (it == ys.end()) return std::nullopt;
  const auto j = static_cast<std::size_t>(it - ys.begin()) - 1;
  if (y <= ys[j] + kTolerance) return j;
  return std::nullopt;
}

// Whether `run` carries on the text of `previous` in the same cell: on its baseline, not
// left of it, and no wider gap than between two letters of a word (a TJ kerning
// fragment, say). NaN positions never carry on.
bool continues(const TextRun& previous, const TextRun& run) {
  return std::fabs(previous.y - run.y) <= baseline_tolerance(previous, run) && run.x >= previous.x &&
         run.x - previous.end_x <= word_gap_threshold(run);
}

}  // namespace

void RuleCollector::apply_path(const ContentOp& op, const Matrix& ctm) {
  switch (op.op) {
    case Operator::MoveTo:
      current_ = map(ctm, number_at(op, 0), number_at(op, 1));
      if (painted_only_) start_subpath(current_);
      return;
    case Operator::LineTo: {
      const Point to = map(ctm, number_at(op, 0), number_at(op, 1));
      edge(current_, to);
      current_ = to;
      return;
    }
    case Operator::Rectangle: {
      const double x = number_at(op, 0);
      const double y = number_at(op, 1);
      const double w = number_at(op, 2);
      const double h = number_at(op, 3);
      const Point corners[4] = {map(ctm, x, y), map(ctm, x + w, y), map(ctm, x + w, y + h), map(ctm, x, y + h)};
      // Bottom, right, top, left; the current point is not changed.
      if (painted_only_) start_subpath(corners[0]);
      for (int i = 0; i < 4; ++i) edge(corners[i], corners[(i + 1) % 4]);
      if (painted_only_) end_subpath();
      return;
    }
    case Operator::ClosePath:
      // Only recovery's segments see the closing edge; the strict rules never did.
      if (painted_only_ && subpath_.edges > 0) {
        const Point start = subpath_.start;
        edge(current_, start);
        current_ = start;
      }
      return;
    case Operator::EndPath:
      if (painted_only_) {
        pending_horizontal_.clear();
        pending_vertical_.clear();
        paint(false, false);
      }
      return;
    case Operator::Stroke:
    case Operator::CloseStroke:
    case Operator::Fill:
    case Operator::FillObsolete:
    case Operator::FillEvenOdd:
    case Operator::FillStroke:
    case Operator::FillStrokeEvenOdd:
    case Operator::CloseFillStroke:
    case Operator::CloseFillStrokeEvenOdd:
      if (painted_only_) {
        const bool fill_only = op.op == Operator::Fill || op.op == Operator::FillObsolete ||
                               op.op == Operator::FillEvenOdd;
        paint(!fill_only, fill_only);
        rules_.horizontal.insert(rules_.horizontal.end(), pending_horizontal_.begin(), pending_horizontal_.end());
        rules_.vertical.insert(rules_.vertical.end(), pending_vertical_.begin(), pending_vertical_.end());
        pending_horizontal_.clear();
        pending_vertical_.clear();
      }
      return;
    default:
      return;
  }
}

// A nearly level stroke is horizontal (checked first, so a short stroke is horizontal);
// else a nearly upright one is vertical; slanted strokes are not rules.
void RuleCollector::edge(Point from, Point to) {
  std::vector<double>& ys = painted_only_ ? pending_horizontal_ : rules_.horizontal;
  std::vector<double>& xs = painted_only_ ? pending_vertical_ : rules_.vertical;
  if (std::fabs(from.y - to.y) < kTolerance) {
    ys.push_back(from.y);
    if (keep_edge()) pending_edges_.push_back({true, (from.y + to.y) / 2, fmin_of(from.x, to.x), fmax_of(from.x, to.x)});
  } else if (std::fabs(from.x - to.x) < kTolerance) {
    xs.push_back(from.x);
    if (keep_edge()) pending_edges_.push_back({false, (from.x + to.x) / 2, fmin_of(from.y, to.y), fmax_of(from.y, to.y)});
  } else {
    subpath_.axis_parallel = false;
  }
  if (!painted_only_) return;
  ++subpath_.edges;
  subpath_.x0 = fmin_of(subpath_.x0, to.x);
  subpath_.y0 = fmin_of(subpath_.y0, to.y);
  subpath_.x1 = fmax_of(subpath_.x1, to.x);
  subpath_.y1 = fmax_of(subpath_.y1, to.y);
}

void RuleCollector::start_subpath(Point at) {
  end_subpath();
  subpath_ = Subpath{at, at.x, at.y, at.x, at.y, true, 0};
}

// A closed run of three or more axis-parallel edges bounds a box the path may fill.
void RuleCollector::end_subpath() {
  if (subpath_.axis_parallel && subpath_.edges >= 3 && pending_boxes_.size() < limits::kMaxRuleSegments) {
    pending_boxes_.push_back({subpath_.x0, subpath_.y0, subpath_.x1, subpath_.y1});
  }
  subpath_ = Subpath{};
}

// Stroking keeps the edges; filling keeps the boxes (a thin one is a rule). The
// segments of a page are bounded: past the limit a page's rules are not tables.
void RuleCollector::paint(bool stroke, bool fill) {
  end_subpath();
  std::vector<Segment>& out = rules_.segments;
  if (out.size() < limits::kMaxRuleSegments) {
    if (stroke) out.insert(out.end(), pending_edges_.begin(), pending_edges_.end());
    if (fill) {
      for (const FilledBox& box : pending_boxes_) add_box_segments(box, out);
    }
  }
  pending_edges_.clear();
  pending_boxes_.clear();
}

std::vector<Table> detect_tables(Rules rules, const std::vector<TextRun>& runs) {
  const std::vector<double> xs = merge_positions(std::move(rules.vertical));
  std::vector<double> ys = merge_positions(std::move(rules.horizontal));
  std::reverse(ys.begin(), ys.end());  // top to bottom
  if (xs.size() < 2 || ys.size() < 2) return {};

  const std::uint64_t cols = xs.size() - 1;
  const std::uint64_t rows = ys.size() - 1;
  if (rows > limits::kMaxTableCells / cols) return {};

  Table table;
  table.rows = rows;
  table.cols = cols;
  table.cells.assign(rows, std::vector<std::string>(cols));
  // The run last placed in each cell, row by row.
  std::vector<const TextRun*> last(rows * cols, nullptr);
  // Content order, not reading order: a cell's texts are joined as they were drawn.
  for (const TextRun& run : runs) {
    const auto col = column_of(xs, run.x);
    if (!col) continue;
    const auto row = row_of(ys, run.y);
    if (!row) continue;
    std::string& cell = table.cells[*row][*col];
    const TextRun*& previous = last[*row * cols + *col];
    if (!cell.empty() && cell.back() != ' ' && !(previous != nullptr && continues(*previous, run))) {
      cell += ' ';
    }
    cell += run.text;
    previous = &run;
  }
  std::vector<Table> tables;
  tables.push_back(std::move(table));
  return tables;
}

}  // namespace folioscan
