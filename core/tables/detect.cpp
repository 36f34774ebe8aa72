// A ruled grid is a table only when its text is a table's: at least two rows and two
// columns of cells hold text, at least half of its cells do (or, in a form, every row
// does), at most half of its grid positions belong to merged cells, and its rules part the
// text rather than run through it. So a chart's gridlines (empty cells, labels outside),
// a framed paragraph (one cell), an equation's bars and underlines (no crossing rules)
// and a grid cut through words are not tables.
#include "detect.h"

#include <algorithm>

#include "../input_limits.h"
#include "cells.h"
#include "grids.h"
#include "ruleless.h"

namespace folioscan {
namespace {

// At most this share of a grid's runs may be cut by its rules.
constexpr double kMostCrossing = 0.1;

// A ruled form to fill in has many empty cells, but text in every row (a chart of
// stacked bars, drawn with filled boxes, has empty cells too).
bool holds_a_table(const FilledGrid& grid) {
  const bool form = grid.ruled && grid.rows_with_text == grid.table.rows && grid.table.rows >= 3;
  const bool filled = 2 * grid.filled_cells >= grid.cells || form;
  // Most grid positions are cells of their own: a plot's axes with their ticks part the
  // plane into a few large regions.
  const bool mostly_single = 2 * grid.cells >= grid.table.rows * grid.table.cols;
  return grid.rows_with_text >= 2 && grid.cols_with_text >= 2 && filled && mostly_single &&
         static_cast<double>(grid.crossing) <= kMostCrossing * static_cast<double>(grid.runs);
}

bool inside(const std::array<double, 4>& box, const std::array<double, 2>& point) {
  return point[0] >= box[0] && point[0] <= box[2] && point[1] >= box[1] && point[1] <= box[3];
}

// The runs of `shown` whose centre lies in no table's box, in their order.
std::vector<const TextRun*> outside_tables(std::span<const TextRun* const> shown, const std::vector<Table>& tables) {
  std::vector<const TextRun*> rest;
  rest.reserve(shown.size());
  for (const TextRun* run : shown) {
    const std::array<double, 2> centre = run_centre(*run);
    const bool in_table = std::any_of(tables.begin(), tables.end(), [&](const Table& t) {
      return t.bbox && inside(*t.bbox, centre);
    });
    if (!in_table) rest.push_back(run);
  }
  return rest;
}

}  // namespace

std::vector<Table> detect_tables_recovering(std::vector<Segment> segments, std::span<const TextRun* const> shown,
                                            const std::array<double, 4>& media_box) {
  std::vector<Table> tables;
  // Past the bound a page's rules (hatching, a plot of many points) are not searched.
  if (segments.size() > limits::kMaxRuleSegments) segments.clear();
  const std::vector<Segment> merged = merge_segments(std::move(segments));
  for (const Grid& grid : cluster_grids(merged)) {
    // A grid is judged by its bands as drawn; the table it holds is read with the
    // slivers that hold no text (a background inside its rules) left out.
    std::optional<FilledGrid> filled = fill_grid(grid, shown, media_box, false);
    if (!filled || !holds_a_table(*filled)) continue;
    std::optional<FilledGrid> tidy = fill_grid(grid, shown, media_box, true);
    tables.push_back(std::move(tidy ? tidy->table : filled->table));
  }
  const std::vector<const TextRun*> rest = outside_tables(shown, tables);
  std::vector<Segment> horizontal;
  for (const Segment& s : merged) {
    const std::array<double, 2> middle = {(s.from + s.to) / 2, s.at};
    const bool in_table = std::any_of(tables.begin(), tables.end(), [&](const Table& t) { return inside(*t.bbox, middle); });
    if (s.horizontal && !in_table) horizontal.push_back(s);
  }
  for (Table& table : detect_ruleless_tables(rest, horizontal, media_box)) tables.push_back(std::move(table));
  std::stable_sort(tables.begin(), tables.end(), [](const Table& a, const Table& b) { return (*a.bbox)[3] > (*b.bbox)[3]; });
  return tables;
}

}  // namespace folioscan
