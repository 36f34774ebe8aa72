// Rule-less tables from word alignment. The page's upright runs form lines (one
// baseline each); a line falls into chunks at gaps wider than a gutter. Consecutive lines
// of two or more chunks, close below each other, form a block; the block's columns are
// the spans of x its chunks cover, with white gutters between them. A block is a table
// only when at least three of its lines have text in three or more columns, most of its
// cells hold text, and its cells are short (a page of prose in columns has long ones).
// Text between horizontal rules of one extent (a table with a top and a bottom rule
// and no others) needs only two columns; where its lines make no table, or rules part
// its rows, the rules and the cells' paragraphs give the rows (see bands.h).
#include "ruleless.h"

#include <algorithm>
#include <cmath>
#include <set>
#include <string>
#include <tuple>

#include "bands.h"
#include "cells.h"
#include "../float_ops.h"
#include "../input_limits.h"
#include "text_lines.h"

namespace folioscan {
namespace {

// A gap at least this many font sizes wide parts two chunks of a line; columns must stand
// at least kNarrowestGutter apart.
constexpr double kGutter = 1.0;
constexpr double kNarrowestGutter = 0.6;
// The next line of a block starts at most this many font sizes below the last.
constexpr double kMostLeading = 2.6;
// At least this many lines with text in three or more columns make a table.
constexpr std::size_t kLeastRows = 3;
constexpr std::size_t kLeastColumns = 3;
// At most this share of cells may be long (more than kLongCell words).
constexpr std::size_t kLongCell = 5;
constexpr double kMostLongCells = 0.2;
constexpr double kLeastFilled = 0.6;
// Lines less than this many font sizes apart belong to one row.
constexpr double kOneRow = 0.8;
// Rules of one table's frame: the same extent (each overlapping this share of the
// other), at most this far apart; text this far outside the extent is still inside.
constexpr double kSameExtent = 0.9;
constexpr double kMostFramedHeight = 400.0;
constexpr double kSlack = 3.0;
constexpr double kNarrowestFrame = 100.0;
constexpr std::size_t kMostFrameRules = 4;
// Of a frame's top rules, at most this many are left out looking for a table below them.
constexpr std::size_t kMostLeftOutRules = 6;
// A box edge this share of the page's width or wider is the page's background.
constexpr double kWidestBoxEdge = 0.95;
// A chunk this close to its column's edge or centre is aligned with it; most of a
// column's chunks are.
constexpr double kAligned = 2.0;
constexpr double kLeastAligned = 0.6;

// Whether the chunks of each column line up: most of them start at its left edge, end
// at its right edge or sit centred in it, the same way for the column. The gaps of a
// prose line (around a formula, say) do not.
bool aligned(std::span<const Row> rows, std::size_t begin, std::size_t end,
             const std::vector<std::pair<double, double>>& columns) {
  std::vector<std::array<std::size_t, 4>> counts(columns.size(), {0, 0, 0, 0});  // left, right, centre, all
  for (std::size_t r = begin; r < end; ++r) {
    if (rows[r].chunks.size() < 2) continue;
    for (const Chunk& c : rows[r].chunks) {
      const auto it = std::upper_bound(columns.begin(), columns.end(), std::make_pair(c.x0, static_cast<double>(INFINITY)));
      const auto k = it == columns.begin() ? 0 : static_cast<std::size_t>(it - columns.begin()) - 1;
      const auto [left, right] = columns[k];
      counts[k][0] += std::fabs(c.x0 - left) <= kAligned;
      counts[k][1] += std::fabs(c.x1 - right) <= kAligned;
      counts[k][2] += std::fabs((c.x0 + c.x1) / 2 - (left + right) / 2) <= kAligned;
      ++counts[k][3];
    }
  }
  return std::all_of(counts.begin(), counts.end(), [](const std::array<std::size_t, 4>& c) {
    return c[3] < 2 || static_cast<double>(std::max({c[0], c[1], c[2]})) >= kLeastAligned * static_cast<double>(c[3]);
  });
}

// The block rows[begin, end) as a table of at least `least_columns` columns, or nothing.
std::optional<Table> block_table(const std::vector<Row>& block, std::size_t begin, std::size_t end,
                                 const std::array<double, 4>& media_box, std::size_t least_columns) {
  if (end - begin < kLeastRows) return std::nullopt;
  // Columns set closer than a gutter in some lines part where the other lines start.
  std::span<const Row> rows(block.begin() + static_cast<std::ptrdiff_t>(begin), end - begin);
  const std::optional<std::vector<Row>> cut = cut_at_column_starts(rows, kNarrowestGutter, kAligned);
  if (cut) rows = *cut;
  end -= begin;
  begin = 0;
  // Columns: the x spans the chunks of lines of two or more chunks cover, merged where
  // they overlap (a header set closer than a gutter does not join the columns).
  std::vector<std::pair<double, double>> spans;
  double size = 0.0;
  for (std::size_t r = begin; r < end; ++r) {
    size = fmax_of(size, rows[r].size);
    if (rows[r].chunks.size() < 2) continue;
    for (const Chunk& c : rows[r].chunks) spans.emplace_back(c.x0, c.x1);
  }
  std::sort(spans.begin(), spans.end());
  std::vector<std::pair<double, double>> columns;
  for (const auto& s : spans) {
    if (!columns.empty() && s.first < columns.back().second + kNarrowestGutter * size) {
      columns.back().second = fmax_of(columns.back().second, s.second);
    } else {
      columns.push_back(s);
    }
  }
  if (columns.size() < least_columns) return std::nullopt;
  if (!aligned(rows, begin, end, columns)) return std::nullopt;

  Table table;
  // Lines closer than a line's height (cells of several lines set at staggered
  // baselines, a superscript) make one row.
  std::vector<std::pair<std::size_t, std::size_t>> groups;  // [first, last) lines
  for (std::size_t r = begin; r < end; ++r) {
    if (!groups.empty() && rows[r - 1].baseline - rows[r].baseline < kOneRow * fmax_of(rows[r - 1].size, rows[r].size)) {
      groups.back().second = r + 1;
    } else {
      groups.emplace_back(r, r + 1);
    }
  }
  table.rows = groups.size();
  table.cols = columns.size();
  table.cells.assign(table.rows, std::vector<std::string>(table.cols));
  std::size_t wide_rows = 0;
  std::size_t filled = 0;
  std::size_t long_cells = 0;
  double top = -INFINITY, bottom = INFINITY;
  for (std::size_t g = 0; g < groups.size(); ++g) {
    std::vector<std::vector<const TextRun*>> in_column(columns.size());
    // Each run in the column it overlaps most, or else the nearest.
    for (std::size_t r = groups[g].first; r < groups[g].second; ++r) {
      for (const Chunk& c : rows[r].chunks) {
        for (const TextRun* run : c.runs) {
          std::size_t k = 0;
          double best = -INFINITY;
          for (std::size_t i = 0; i < columns.size(); ++i) {
            const double overlap = fmin_of(run->end_x, columns[i].second) - fmax_of(run->x, columns[i].first);
            if (overlap > best) best = overlap, k = i;
          }
          in_column[k].push_back(run);
          top = fmax_of(top, run->y + std::fabs(run->page_size));
          bottom = fmin_of(bottom, run->y - 0.3 * std::fabs(run->page_size));
        }
      }
    }
    std::size_t used = 0;
    for (std::size_t k = 0; k < columns.size(); ++k) {
      std::string text = in_column[k].empty() ? std::string() : cell_text(in_column[k], media_box);
      if (meaningful(text)) {
        ++used;
        if (word_count(text) > kLongCell) ++long_cells;
      }
      table.cells[g][k] = std::move(text);
    }
    filled += used;
    if (used >= least_columns) ++wide_rows;
  }
  const double cells = static_cast<double>(table.rows * table.cols);
  // Most lines have text in at least `least_columns` columns.
  if (wide_rows < kLeastRows || 2 * wide_rows < table.rows || static_cast<double>(filled) < kLeastFilled * cells ||
      static_cast<double>(long_cells) > kMostLongCells * static_cast<double>(filled)) {
    return std::nullopt;
  }
  table.bbox = std::array<double, 4>{columns.front().first, bottom, columns.back().second, top};
  return table;
}

// `table`, of rows[begin, end), with the line above it as its first row where that line
// stands within a block's leading above, has fewer chunks than the table has columns,
// and its words start each column (a header whose cells stand only a word space apart,
// which the columns' gutters do not part).
void with_tight_header(const std::vector<Row>& rows, std::size_t begin, std::size_t end,
                       const std::array<double, 4>& media_box, Table& table) {
  const Row& above = rows[begin - 1];
  const double gap = above.baseline - rows[begin].baseline;
  const double size = fmax_of(above.size, rows[begin].size);
  if (above.chunks.size() >= table.cols || gap < kOneRow * size || gap > kMostLeading * size) return;
  const std::span<const Row> block(rows.begin() + static_cast<std::ptrdiff_t>(begin), end - begin);
  const std::optional<Row> header = cut_at_word_starts(above, block, kAligned);
  if (!header || header->chunks.size() != table.cols) return;
  std::vector<std::string> cells;
  double top = (*table.bbox)[3];
  for (const Chunk& c : header->chunks) {
    cells.push_back(cell_text(c.runs, media_box));
    for (const TextRun* run : c.runs) top = fmax_of(top, run->y + std::fabs(run->page_size));
  }
  table.cells.insert(table.cells.begin(), std::move(cells));
  ++table.rows;
  (*table.bbox)[0] = fmin_of((*table.bbox)[0], header->chunks.front().x0);
  (*table.bbox)[2] = fmax_of((*table.bbox)[2], header->chunks.back().x1);
  (*table.bbox)[3] = top;
}

// The lines with a baseline strictly between `upper` and `lower`, cut to the chunks
// inside [from, to], and the indices of the rows they come from.
std::vector<Row> lines_between(const std::vector<Row>& rows, double upper, double lower, double from, double to,
                               std::vector<std::size_t>& taken) {
  std::vector<Row> inside;
  for (std::size_t r = 0; r < rows.size(); ++r) {
    if (rows[r].baseline >= upper || rows[r].baseline <= lower) continue;
    Row cut{rows[r].baseline, rows[r].size, {}};
    for (const Chunk& c : rows[r].chunks) {
      if (c.x0 >= from - kSlack && c.x1 <= to + kSlack) cut.chunks.push_back(c);
    }
    if (!cut.chunks.empty()) {
      inside.push_back(std::move(cut));
      taken.push_back(r);
    }
  }
  return inside;
}

// Tables set between horizontal rules alone (a top rule, perhaps one under the header,
// a bottom rule, or one between each two rows, all of one extent). A frame of at most
// kMostFrameRules rules is read line by line first, with two or more columns; where that
// finds no table, or the frame has more rules, its rows come from the rules and the
// paragraphs of its cells (see banded_table), the top rules left out one by one (a
// title boxed above the table). With `banded_only` (the edges of filled boxes) only the
// latter. Returns the tables and leaves the rows they take out of `rows`.
std::vector<Table> framed_tables(std::vector<Row>& rows, const std::vector<Segment>& horizontal,
                                 const std::array<double, 4>& media_box, bool banded_only) {
  std::vector<Segment> rules;
  for (const Segment& s : horizontal) {
    if (s.to - s.from >= kNarrowestFrame) rules.push_back(s);
  }
  if (rules.size() > limits::kMaxFrameRules) return {};
  std::sort(rules.begin(), rules.end(), [](const Segment& a, const Segment& b) { return a.at > b.at; });
  std::vector<Table> tables;
  std::vector<bool> used(rules.size(), false);
  // The banded readings that found no table: the chain below a rule often holds the
  // chain below the rule above, so each would be tried again. They stand until a table
  // takes rows.
  std::set<std::tuple<double, double, std::vector<double>>> no_table;
  for (std::size_t i = 0; i < rules.size(); ++i) {
    if (used[i]) continue;
    const Segment& top = rules[i];
    const double extent = top.to - top.from;
    // The rules below of the same extent, each no further below the last than a
    // table's length of lines.
    std::vector<std::size_t> chain = {i};
    for (std::size_t j = i + 1; j < rules.size(); ++j) {
      const Segment& r = rules[j];
      if (rules[chain.back()].at - r.at > kMostFramedHeight) break;
      const double overlap = fmin_of(top.to, r.to) - fmax_of(top.from, r.from);
      if (overlap >= kSameExtent * extent && overlap >= kSameExtent * (r.to - r.from)) chain.push_back(j);
    }
    if (chain.size() < 2) continue;
    const double lower = rules[chain.back()].at;
    std::optional<Table> table;
    // The lines below the top rule; those below a lower rule of the chain are the end
    // of these, for rows run top to bottom.
    std::vector<std::size_t> all_taken;
    const std::vector<Row> all_inside = lines_between(rows, top.at, lower, top.from, top.to, all_taken);
    const bool top_down = std::is_sorted(all_inside.begin(), all_inside.end(),
                                         [](const Row& a, const Row& b) { return a.baseline > b.baseline; });
    std::vector<std::size_t> taken;
    std::size_t first = 0;  // the chain's rule the table starts at
    if (!banded_only && chain.size() <= kMostFrameRules) {
      taken = all_taken;
      table = block_table(all_inside, 0, all_inside.size(), media_box, 2);
      if (table) {
        (*table->bbox)[0] = fmin_of((*table->bbox)[0], top.from);
        (*table->bbox)[2] = fmax_of((*table->bbox)[2], top.to);
        (*table->bbox)[1] = lower;
        (*table->bbox)[3] = top.at;
      }
    }
    for (; !table && first + 1 < chain.size() && first < kMostLeftOutRules; ++first) {
      taken.clear();
      std::vector<double> heights;
      for (std::size_t k = first; k < chain.size(); ++k) heights.push_back(rules[chain[k]].at);
      auto tried = std::make_tuple(top.from, top.to, std::move(heights));
      if (no_table.contains(tried)) continue;
      const double upper = rules[chain[first]].at;
      std::vector<Row> own;
      std::span<const Row> inside;
      if (top_down) {
        const auto below = std::partition_point(all_inside.begin(), all_inside.end(),
                                                [&](const Row& row) { return row.baseline >= upper; });
        const auto skipped = static_cast<std::size_t>(below - all_inside.begin());
        inside = std::span<const Row>(all_inside).subspan(skipped);
        taken.assign(all_taken.begin() + static_cast<std::ptrdiff_t>(skipped), all_taken.end());
      } else {
        own = lines_between(rows, upper, lower, top.from, top.to, taken);
        inside = own;
      }
      table = banded_table(inside, std::get<2>(tried), top.from, top.to, media_box);
      if (table) break;
      no_table.insert(std::move(tried));
    }
    if (!table) {
      // A chart's gridlines: many rules of one extent, none of them a table's frame.
      if (chain.size() > kMostFrameRules) {
        for (const std::size_t k : chain) used[k] = true;
      }
      continue;
    }
    tables.push_back(std::move(*table));
    no_table.clear();
    for (std::size_t k = first; k < chain.size(); ++k) used[chain[k]] = true;
    // The rows' chunks inside the frame are the table's now.
    for (const std::size_t r : taken) {
      std::erase_if(rows[r].chunks, [&](const Chunk& c) { return c.x0 >= top.from - kSlack && c.x1 <= top.to + kSlack; });
    }
  }
  return tables;
}

}  // namespace

std::vector<Table> detect_ruleless_tables(std::span<const TextRun* const> runs, const std::vector<Segment>& horizontal,
                                          const std::array<double, 4>& media_box) {
  std::vector<Row> rows = rows_of(runs, kGutter);
  // Drawn rules frame tables both ways; the edges of filled boxes (a panel behind a
  // table, its header's background) only with rows of their own, and not those of a
  // box the page's width (the page's background).
  std::vector<Segment> drawn, edges;
  const double page_width = media_box[2] - media_box[0];
  for (const Segment& s : horizontal) {
    if (!s.weak) {
      drawn.push_back(s);
    } else if (s.to - s.from < kWidestBoxEdge * page_width) {
      edges.push_back(s);
    }
  }
  std::vector<Table> tables = framed_tables(rows, drawn, media_box, false);
  for (Table& table : framed_tables(rows, edges, media_box, true)) tables.push_back(std::move(table));
  std::erase_if(rows, [](const Row& row) { return row.chunks.empty(); });
  std::size_t begin = 0;
  std::size_t taken = 0;  // rows before this belong to a block
  while (begin < rows.size()) {
    if (rows[begin].chunks.size() < 2) {
      ++begin;
      continue;
    }
    std::size_t end = begin + 1;
    // A line of one chunk joins only as part of the row above (a cell's second line
    // set a little lower).
    while (end < rows.size()) {
      const double gap = rows[end - 1].baseline - rows[end].baseline;
      const double size = fmax_of(rows[end - 1].size, rows[end].size);
      const bool joins = rows[end].chunks.size() >= 2 ? gap <= kMostLeading * size : gap < kOneRow * size;
      if (!joins) break;
      ++end;
    }
    if (std::optional<Table> table = block_table(rows, begin, end, media_box, kLeastColumns)) {
      if (begin > taken) with_tight_header(rows, begin, end, media_box, *table);
      tables.push_back(std::move(*table));
    }
    begin = end;
    taken = end;
  }
  return tables;
}

}  // namespace folioscan
