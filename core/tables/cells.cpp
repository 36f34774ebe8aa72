// Cells of a ruled grid. Rows and columns are the distinct positions of the grid's rules
// (and its box's edges where no rule runs along them); a missing piece of an inner rule
// joins the two cells it would have parted.
#include "cells.h"

#include <algorithm>
#include <cmath>
#include <optional>
#include <string_view>

#include "../float_ops.h"
#include "../input_limits.h"
#include "../layout.h"
#include "text_lines.h"

namespace folioscan {
namespace {

// Rule positions closer than this are one row or column boundary (double rules, a cell
// background a little inside its rules).
constexpr double kSameBoundary = 4.0;
// A background's edge this share of the grid long or longer bounds cells.
constexpr double kWholeExtent = 0.9;
// A band narrower than this holds no line of text.
constexpr double kThinBand = 7.0;
// A line of text takes this many times its size (the size and the space between lines).
constexpr double kLineHeight = 1.2;
// A header line above a grid's top edge stands at most this many line heights above it.
constexpr double kMostHeaderRise = 1.0;
// A rule that ends this short of a row's or column's middle still parts it.
constexpr double kSlack = 1.0;

// The ascending positions of the rules that bound cells, each group of close ones
// represented by its first, with the grid's edges `low` and `high` (its extent across
// the rules). A background's edge counts where it runs nearly the whole extent along
// it (`along`), or where no other rule runs this way.
std::vector<double> boundaries(const std::vector<Segment>& rules, double low, double high, double along) {
  std::vector<double> at;
  at.reserve(rules.size() + 2);
  at.push_back(low);
  at.push_back(high);
  const bool any_strong = std::any_of(rules.begin(), rules.end(), [](const Segment& s) { return !s.weak; });
  for (const Segment& s : rules) {
    if (!s.weak || !any_strong || s.to - s.from >= kWholeExtent * along) at.push_back(s.at);
  }
  std::sort(at.begin(), at.end());
  std::vector<double> kept;
  for (const double v : at) {
    if (kept.empty() || v - kept.back() >= kSameBoundary) kept.push_back(v);
  }
  return kept;
}

// The height of a line of the grid's text: from the median size of the runs centred
// inside `box`, at least kThinBand.
double line_height(const std::array<double, 4>& box, std::span<const TextRun* const> runs) {
  std::vector<double> sizes;
  for (const TextRun* run : runs) {
    if (run->text.find_first_not_of(' ') == std::string::npos) continue;
    const auto [x, y] = run_centre(*run);
    if (x >= box[0] && x <= box[2] && y >= box[1] && y <= box[3]) sizes.push_back(std::fabs(run->page_size));
  }
  if (sizes.empty()) return kThinBand;
  const auto middle = sizes.begin() + static_cast<std::ptrdiff_t>(sizes.size() / 2);
  std::nth_element(sizes.begin(), middle, sizes.end());
  return fmax_of(kThinBand, kLineHeight * *middle);
}

// Which empty bands of a grid join their neighbours: those thinner than `line`, the
// text inside `box` only (or all of it) telling which are empty, and, with `far_end`,
// also the empty bands at the far end that are that thin together.
struct ThinBands {
  double line = kThinBand;
  std::optional<std::array<double, 4>> box;
  bool far_end = false;
};

// `positions` without the boundaries of bands thinner than a line of text that hold no
// run's centre (the two edges of a thick border, a background a little inside its
// rules): such a band joins its wider neighbour. Empty bands at the far end that
// together are that thin (a border's edges beside a background's) join the band before
// them where `thin` says so. `axis` 0 reads x, 1 reads y.
std::vector<double> without_thin_empty_bands(std::vector<double> positions, std::span<const TextRun* const> runs,
                                             int axis, const ThinBands& thin) {
  if (positions.size() < 3) return positions;
  std::vector<bool> holds(positions.size() - 1, false);
  for (const TextRun* run : runs) {
    if (run->text.find_first_not_of(' ') == std::string::npos) continue;
    const std::array<double, 2> centre = run_centre(*run);
    const auto a = static_cast<std::size_t>(axis);
    // Text beside the grid fills none of its bands.
    if (thin.box && (!(centre[1 - a] >= (*thin.box)[1 - a]) || !(centre[1 - a] <= (*thin.box)[3 - a]))) continue;
    const double v = centre[a];
    if (!(v >= positions.front()) || !(v < positions.back())) continue;
    const auto it = std::upper_bound(positions.begin(), positions.end(), v);
    holds[static_cast<std::size_t>(it - positions.begin()) - 1] = true;
  }
  // A thin empty band gives up its upper boundary (the last band its lower one); the
  // outer boundaries stay.
  const std::size_t last = positions.size() - 1;
  std::vector<bool> drop(positions.size(), false);
  for (std::size_t b = 0; b < last; ++b) {
    if (holds[b] || positions[b + 1] - positions[b] >= thin.line) continue;
    if (b + 1 < last) {
      drop[b + 1] = true;
    } else if (b > 0) {
      drop[b] = true;
    }
  }
  std::size_t first_empty = last;
  while (thin.far_end && first_empty > 1 && !holds[first_empty - 1]) --first_empty;
  if (first_empty < last && positions[last] - positions[first_empty] < thin.line) {
    for (std::size_t b = first_empty; b < last; ++b) drop[b] = true;
  }
  std::vector<double> kept;
  kept.reserve(positions.size());
  for (std::size_t i = 0; i <= last; ++i) {
    if (!drop[i]) kept.push_back(positions[i]);
  }
  return kept;
}

// The index of the boundary nearest to `v` in ascending `positions`.
std::size_t nearest(const std::vector<double>& positions, double v) {
  const auto it = std::lower_bound(positions.begin(), positions.end(), v);
  if (it == positions.begin()) return 0;
  if (it == positions.end()) return positions.size() - 1;
  const auto i = static_cast<std::size_t>(it - positions.begin());
  return (v - positions[i - 1] <= positions[i] - v) ? i - 1 : i;
}

// The band [positions[i], positions[i + 1]) holding `v`, if any.
std::optional<std::size_t> band(const std::vector<double>& positions, double v) {
  if (!(v >= positions.front()) || !(v < positions.back())) return std::nullopt;
  const auto it = std::upper_bound(positions.begin(), positions.end(), v);
  return static_cast<std::size_t>(it - positions.begin()) - 1;
}

// The pieces of rule along each boundary, to ask whether a boundary parts two cells.
class Boundaries {
 public:
  Boundaries(const std::vector<Segment>& rules, const std::vector<double>& positions) : along_(positions.size()) {
    for (const Segment& s : rules) {
      const std::size_t i = nearest(positions, s.at);
      if (std::fabs(positions[i] - s.at) < kSameBoundary) along_[i].push_back({s.from, s.to});
    }
  }
  bool covers(std::size_t boundary, double at) const {
    for (const auto& [from, to] : along_[boundary]) {
      if (from - kSlack <= at && at <= to + kSlack) return true;
    }
    return false;
  }

 private:
  std::vector<std::vector<std::pair<double, double>>> along_;
};

bool continues_word(const TextRun& previous, const TextRun& run) {
  return std::fabs(previous.y - run.y) <= baseline_tolerance(previous, run) && run.x >= previous.x &&
         run.x - previous.end_x <= word_gap_threshold(run) && !run.text.starts_with(' ') &&
         !previous.text.ends_with(' ');
}

// `table` without its columns narrower than a line of text (`line`) in which no cell
// holds text: the strip between the table's edge and a rule that parts only some rows,
// which the text of the other rows runs into. Cells that spanned such a column span one
// column less; two columns stay. `xs` are the columns' boundaries, kept in step (a
// dropped column joins the one before it).
void drop_thin_empty_columns(Table& table, std::vector<double>& xs, double line) {
  for (std::size_t c = table.cols; c-- > 0 && table.cols > 2;) {
    if (xs[c + 1] - xs[c] >= line) continue;
    const bool empty = std::all_of(table.cells.begin(), table.cells.end(), [&](const std::vector<std::string>& row) {
      return c >= row.size() || row[c].empty();
    });
    if (!empty) continue;
    for (std::vector<std::string>& row : table.cells) {
      if (c < row.size()) row.erase(row.begin() + static_cast<std::ptrdiff_t>(c));
    }
    --table.cols;
    xs.erase(xs.begin() + static_cast<std::ptrdiff_t>(c == 0 ? 1 : c));
    for (CellSpan& span : table.spans) {
      if (span.col > c) {
        --span.col;
      } else if (span.col + span.cols > c) {
        --span.cols;
      }
    }
    std::erase_if(table.spans,
                  [](const CellSpan& span) { return span.cols == 0 || (span.cols == 1 && span.rows == 1); });
  }
}

// The runs of a cell spanning several columns, parted by column, where every line of
// the cell falls into chunks (at gutters) whose middles stand in distinct columns: two
// cells' texts that a missing piece of rule left in one. Nothing where a line stands
// whole (a header over the columns it spans). `xs` are the columns' boundaries.
std::optional<std::vector<std::vector<const TextRun*>>> parted_by_columns(const std::vector<const TextRun*>& runs,
                                                                          const CellSpan& span,
                                                                          const std::vector<double>& xs) {
  const std::vector<Row> lines = rows_of(runs, 1.0);
  if (lines.empty()) return std::nullopt;
  std::vector<std::vector<const TextRun*>> parts(span.cols);
  for (const Row& line : lines) {
    if (line.chunks.size() < 2) return std::nullopt;
    std::size_t next = 0;  // the chunks of a line stand in columns left to right
    for (const Chunk& c : line.chunks) {
      const double middle = (c.x0 + c.x1) / 2;
      std::size_t k = next;
      while (k < span.cols && xs[span.col + k + 1] <= middle) ++k;
      if (k == span.cols || middle < xs[span.col + k]) return std::nullopt;
      parts[k].insert(parts[k].end(), c.runs.begin(), c.runs.end());
      next = k + 1;
    }
  }
  return parts;
}

// `table` with the line just above its grid as its first row, where that line's baseline
// stands within a line's height above the grid's top and its chunks fall each within
// one column, in two or more columns: a header set above the top rule. Lines that run
// past the grid's sides (prose) or into its top are no header. `xs` are the columns'
// boundaries.
void add_header_above(Table& table, const std::vector<double>& xs, std::span<const TextRun* const> shown,
                      const std::array<double, 4>& media_box, double line) {
  const double top = (*table.bbox)[3];
  std::vector<const TextRun*> near;
  for (const TextRun* run : shown) {
    const double size = std::fabs(run->page_size);
    if (run->y - 0.3 * size >= top - kSlack && run->y <= top + kMostHeaderRise * line) near.push_back(run);
  }
  const std::vector<Row> lines = rows_of(near, 1.0);
  if (lines.empty() || lines.back().chunks.size() < 2) return;
  const Row& header = lines.back();
  std::vector<std::string> cells(table.cols);
  std::size_t next = 0;  // the first column the next chunk may fall in
  double rise = top;
  for (const Chunk& c : header.chunks) {
    std::size_t k = next;
    while (k < table.cols && xs[k + 1] + kSlack < c.x1) ++k;
    if (k == table.cols || c.x0 < xs[k] - kSlack) return;
    cells[k] = cell_text(c.runs, media_box);
    next = k + 1;
    for (const TextRun* run : c.runs) rise = fmax_of(rise, run->y + std::fabs(run->page_size));
  }
  table.cells.insert(table.cells.begin(), std::move(cells));
  ++table.rows;
  for (CellSpan& span : table.spans) ++span.row;
  (*table.bbox)[3] = rise;
}

}  // namespace

std::array<double, 2> run_centre(const TextRun& run) {
  const double size = std::fabs(run.page_size);
  if (run.quarter_turns == 0) return {(run.x + run.end_x) / 2, run.y + size / 3};
  return {(run.x + run.end_x) / 2, (run.y + run.end_y) / 2};
}

std::string cell_text(std::span<const TextRun* const> runs, const std::array<double, 4>& media_box) {
  const LayoutResult layout = layout_lines_recovering(runs, media_box);
  std::string text;
  for (const TextLine& line : layout.lines) {
    // Each line without the spaces (and no-break spaces) around it; blank lines go.
    std::string_view trimmed = line.text;
    for (;;) {
      if (trimmed.starts_with(' ')) {
        trimmed.remove_prefix(1);
      } else if (trimmed.starts_with("\xC2\xA0")) {
        trimmed.remove_prefix(2);
      } else if (trimmed.ends_with(' ')) {
        trimmed.remove_suffix(1);
      } else if (trimmed.ends_with("\xC2\xA0")) {
        trimmed.remove_suffix(2);
      } else {
        break;
      }
    }
    if (trimmed.empty()) continue;
    if (!text.empty()) text += '\n';
    text += trimmed;
  }
  return text;
}

std::optional<FilledGrid> fill_grid(const Grid& grid, std::span<const TextRun* const> shown,
                                    const std::array<double, 4>& media_box, bool tidy) {
  const ThinBands thin = tidy ? ThinBands{line_height(grid.bbox, shown), grid.bbox, true} : ThinBands{};
  const std::vector<double> xs = without_thin_empty_bands(
      boundaries(grid.vertical, grid.bbox[0], grid.bbox[2], grid.bbox[3] - grid.bbox[1]), shown, 0, thin);
  const std::vector<double> ys_up = without_thin_empty_bands(
      boundaries(grid.horizontal, grid.bbox[1], grid.bbox[3], grid.bbox[2] - grid.bbox[0]), shown, 1, thin);
  if (xs.size() < 3 || ys_up.size() < 3) return std::nullopt;
  const std::size_t cols = xs.size() - 1;
  const std::size_t rows = ys_up.size() - 1;
  if (rows > limits::kMaxTableCells / cols) return std::nullopt;
  const Boundaries verticals(grid.vertical, xs);
  const Boundaries horizontals(grid.horizontal, ys_up);
  // Row r (from the top) lies between ys_up[rows - r - 1] and ys_up[rows - r].
  const auto row_middle = [&](std::size_t r) { return (ys_up[rows - r - 1] + ys_up[rows - r]) / 2; };
  const auto col_middle = [&](std::size_t c) { return (xs[c] + xs[c + 1]) / 2; };
  // Whether the rule between columns c - 1 and c parts row r; and the rule between rows
  // r - 1 and r parts column c.
  const auto parts_columns = [&](std::size_t r, std::size_t c) { return verticals.covers(c, row_middle(r)); };
  const auto parts_rows = [&](std::size_t r, std::size_t c) { return horizontals.covers(rows - r, col_middle(c)); };

  // Each grid position's cell: a cell grows right while no rule parts it, then down
  // while no rule parts any of its columns.
  std::vector<std::size_t> owner(rows * cols, SIZE_MAX);
  std::vector<CellSpan> cells;
  for (std::size_t r = 0; r < rows; ++r) {
    for (std::size_t c = 0; c < cols; ++c) {
      if (owner[r * cols + c] != SIZE_MAX) continue;
      std::size_t width = 1;
      while (c + width < cols && owner[r * cols + c + width] == SIZE_MAX && !parts_columns(r, c + width)) ++width;
      std::size_t height = 1;
      while (r + height < rows) {
        bool open = true;
        for (std::size_t k = c; k < c + width && open; ++k) {
          open = owner[(r + height) * cols + k] == SIZE_MAX && !parts_rows(r + height, k);
        }
        if (!open) break;
        ++height;
      }
      for (std::size_t i = r; i < r + height; ++i) {
        for (std::size_t k = c; k < c + width; ++k) owner[i * cols + k] = cells.size();
      }
      cells.push_back({r, c, height, width});
    }
  }

  FilledGrid out;
  out.cells = cells.size();
  const auto strong = [](const Segment& s) { return !s.weak; };
  out.ruled = std::any_of(grid.horizontal.begin(), grid.horizontal.end(), strong) &&
              std::any_of(grid.vertical.begin(), grid.vertical.end(), strong);
  std::vector<std::vector<const TextRun*>> cell_runs(cells.size());
  const TextRun* previous = nullptr;
  std::size_t previous_cell = SIZE_MAX;
  for (const TextRun* run : shown) {
    const auto [cx, cy] = run_centre(*run);
    const auto col = band(xs, cx);
    const auto row_up = band(ys_up, cy);
    if (!col || !row_up) {
      previous = nullptr;
      continue;
    }
    const std::size_t row = rows - 1 - *row_up;
    const std::size_t cell = owner[row * cols + *col];
    ++out.runs;
    bool crossing = previous != nullptr && previous_cell != cell && continues_word(*previous, *run);
    if (!crossing && run->quarter_turns == 0) {
      // An inner rule that runs through the run's text.
      const double left = fmin_of(run->x, run->end_x) + kSameBoundary;
      const double right = fmax_of(run->x, run->end_x) - kSameBoundary;
      for (auto it = std::upper_bound(xs.begin(), xs.end(), left); it != xs.end() && *it < right; ++it) {
        const auto k = static_cast<std::size_t>(it - xs.begin());
        if (k > 0 && k < cols && parts_columns(row, k)) {
          crossing = true;
          break;
        }
      }
    }
    if (crossing) ++out.crossing;
    cell_runs[cell].push_back(run);
    previous = run;
    previous_cell = cell;
  }

  Table& table = out.table;
  table.rows = rows;
  table.cols = cols;
  table.cells.assign(rows, std::vector<std::string>(cols));
  table.bbox = grid.bbox;
  std::vector<bool> row_has(rows, false);
  std::vector<bool> col_has(cols, false);
  for (std::size_t i = 0; i < cells.size(); ++i) {
    const CellSpan& span = cells[i];
    if (span.rows > 1 || span.cols > 1) table.spans.push_back(span);
    if (cell_runs[i].empty()) continue;
    std::string text = cell_text(cell_runs[i], media_box);
    if (text.empty()) continue;
    ++out.filled_cells;
    row_has[span.row] = true;
    col_has[span.col] = true;
    table.cells[span.row][span.col] = std::move(text);
  }
  out.rows_with_text = static_cast<std::uint64_t>(std::count(row_has.begin(), row_has.end(), true));
  out.cols_with_text = static_cast<std::uint64_t>(std::count(col_has.begin(), col_has.end(), true));
  if (tidy) {
    for (std::size_t i = 0; i < cells.size(); ++i) {
      const CellSpan span = cells[i];
      if (span.cols < 2 || cell_runs[i].empty()) continue;
      const auto parts = parted_by_columns(cell_runs[i], span, xs);
      if (!parts) continue;
      for (std::size_t k = 0; k < span.cols; ++k) {
        table.cells[span.row][span.col + k] = (*parts)[k].empty() ? std::string() : cell_text((*parts)[k], media_box);
      }
      std::erase_if(table.spans, [&](const CellSpan& s) { return s.row == span.row && s.col == span.col; });
      if (span.rows > 1) {
        for (std::size_t k = 0; k < span.cols; ++k) table.spans.push_back({span.row, span.col + k, span.rows, 1});
      }
    }
    std::vector<double> columns = xs;
    drop_thin_empty_columns(table, columns, thin.line);
    add_header_above(table, columns, shown, media_box, thin.line);
  }
  return out;
}

}  // namespace folioscan
