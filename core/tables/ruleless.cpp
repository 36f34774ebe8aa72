// Rule-less tables from word alignment. The page's upright runs form lines (one
// baseline each); a line falls into chunks at gaps wider than a gutter. Consecutive lines
// of two or more chunks, close below each other, form a block; the block's columns are
// the spans of x its chunks cover, with white gutters between them. A block is a table
// only when at least three of its lines have text in three or more columns, most of its
// cells hold text, and its cells are short (a page of prose in columns has long ones).
#include "ruleless.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "../layout.h"
#include "cells.h"

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

struct Chunk {
  double x0 = 0.0;
  double x1 = 0.0;
  std::vector<const TextRun*> runs;
};

struct Row {
  double baseline = 0.0;
  double size = 0.0;
  std::vector<Chunk> chunks;
};

bool blank(const TextRun& run) { return run.text.find_first_not_of(' ') == std::string::npos; }

std::size_t word_count(const std::string& text) {
  std::size_t words = 0;
  bool in_word = false;
  for (const char c : text) {
    const bool space = c == ' ' || c == '\n';
    if (!space && !in_word) ++words;
    in_word = !space;
  }
  return words;
}

// The page's upright lines top to bottom, each cut into chunks left to right.
std::vector<Row> rows_of(std::span<const TextRun* const> runs) {
  std::vector<const TextRun*> upright;
  for (const TextRun* run : runs) {
    if (run->quarter_turns == 0 && !blank(*run) && std::isfinite(run->x) && std::isfinite(run->y) &&
        std::isfinite(run->end_x) && run->end_x >= run->x) {
      upright.push_back(run);
    }
  }
  std::stable_sort(upright.begin(), upright.end(), [](const TextRun* a, const TextRun* b) { return a->y > b->y; });
  std::vector<Row> rows;
  std::size_t i = 0;
  while (i < upright.size()) {
    std::size_t j = i + 1;
    while (j < upright.size() && upright[i]->y - upright[j]->y <= baseline_tolerance(*upright[i], *upright[j]) / 2) ++j;
    std::vector<const TextRun*> line(upright.begin() + static_cast<std::ptrdiff_t>(i),
                                     upright.begin() + static_cast<std::ptrdiff_t>(j));
    std::stable_sort(line.begin(), line.end(), [](const TextRun* a, const TextRun* b) { return a->x < b->x; });
    Row row;
    row.baseline = upright[i]->y;
    for (const TextRun* run : line) {
      const double size = std::fmax(run->page_size, 1.0);
      row.size = std::fmax(row.size, size);
      if (row.chunks.empty() || run->x - row.chunks.back().x1 >= kGutter * size) {
        row.chunks.push_back({run->x, run->end_x, {}});
      }
      Chunk& chunk = row.chunks.back();
      chunk.x1 = std::fmax(chunk.x1, run->end_x);
      chunk.runs.push_back(run);
    }
    rows.push_back(std::move(row));
    i = j;
  }
  return rows;
}

// The block rows[begin, end) as a table, or nothing.
std::optional<Table> block_table(const std::vector<Row>& rows, std::size_t begin, std::size_t end,
                                 const std::array<double, 4>& media_box) {
  if (end - begin < kLeastRows) return std::nullopt;
  // Columns: the x spans the chunks cover, merged where they overlap.
  std::vector<std::pair<double, double>> spans;
  double size = 0.0;
  for (std::size_t r = begin; r < end; ++r) {
    size = std::fmax(size, rows[r].size);
    for (const Chunk& c : rows[r].chunks) spans.emplace_back(c.x0, c.x1);
  }
  std::sort(spans.begin(), spans.end());
  std::vector<std::pair<double, double>> columns;
  for (const auto& s : spans) {
    if (!columns.empty() && s.first < columns.back().second + kNarrowestGutter * size) {
      columns.back().second = std::fmax(columns.back().second, s.second);
    } else {
      columns.push_back(s);
    }
  }
  if (columns.size() < kLeastColumns) return std::nullopt;

  Table table;
  table.rows = end - begin;
  table.cols = columns.size();
  table.cells.assign(table.rows, std::vector<std::string>(table.cols));
  std::size_t wide_rows = 0;
  std::size_t filled = 0;
  std::size_t long_cells = 0;
  double top = -INFINITY, bottom = INFINITY;
  for (std::size_t r = begin; r < end; ++r) {
    std::vector<std::vector<const TextRun*>> in_column(columns.size());
    for (const Chunk& c : rows[r].chunks) {
      const auto it = std::upper_bound(columns.begin(), columns.end(), std::make_pair(c.x0, static_cast<double>(INFINITY)));
      const auto k = static_cast<std::size_t>(it - columns.begin()) - 1;
      in_column[k].insert(in_column[k].end(), c.runs.begin(), c.runs.end());
      for (const TextRun* run : c.runs) {
        top = std::fmax(top, run->y + std::fabs(run->page_size));
        bottom = std::fmin(bottom, run->y - 0.3 * std::fabs(run->page_size));
      }
    }
    std::size_t used = 0;
    for (std::size_t k = 0; k < columns.size(); ++k) {
      std::string text = in_column[k].empty() ? std::string() : cell_text(in_column[k], media_box);
      if (text.empty()) continue;
      ++used;
      if (word_count(text) > kLongCell) ++long_cells;
      table.cells[r - begin][k] = std::move(text);
    }
    filled += used;
    if (used >= kLeastColumns) ++wide_rows;
  }
  const double cells = static_cast<double>(table.rows * table.cols);
  if (wide_rows < kLeastRows || static_cast<double>(filled) < kLeastFilled * cells ||
      static_cast<double>(long_cells) > kMostLongCells * static_cast<double>(filled)) {
    return std::nullopt;
  }
  table.bbox = std::array<double, 4>{columns.front().first, bottom, columns.back().second, top};
  return table;
}

}  // namespace

std::vector<Table> detect_ruleless_tables(std::span<const TextRun* const> runs, const std::array<double, 4>& media_box) {
  const std::vector<Row> rows = rows_of(runs);
  std::vector<Table> tables;
  std::size_t begin = 0;
  while (begin < rows.size()) {
    if (rows[begin].chunks.size() < 2) {
      ++begin;
      continue;
    }
    std::size_t end = begin + 1;
    while (end < rows.size() && rows[end].chunks.size() >= 2 &&
           rows[end - 1].baseline - rows[end].baseline <= kMostLeading * std::fmax(rows[end - 1].size, rows[end].size)) {
      ++end;
    }
    if (std::optional<Table> table = block_table(rows, begin, end, media_box)) tables.push_back(std::move(*table));
    begin = end;
  }
  return tables;
}

}  // namespace folioscan
