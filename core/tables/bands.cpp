// Banded tables. The lines' chunks are cut into pieces, one per line and column; the
// rules part the pieces into bands, and each band into rows, the first way that fits:
// - lines with text in every column the band uses, at the same baselines: a row each;
// - a first column of one-line cells further apart than the band's line pitch (the
//   others wrap): each of its lines starts a row;
// - a column with several paragraphs (a paragraph ends where the gap to the next line
//   is wider than the column's usual pitch): a row for each paragraph of the column with
//   the most, starting at the top of its first line, so that a taller cell beside a
//   one-line cell keeps all its lines;
// - else one row, when rules part every row (three or more bands hold text) or the band
//   holds a single line; otherwise its rows cannot be told and there is no table.
//
// What is no table: fewer than three columns (prose lines bridge every gutter; two are
// more often a form's labels and fields), columns whose pieces do not line up, too few
// rows, rows with text in one column only, neither a header nor a first column of words
// unless every cell holds a value (a chart's tick labels between its gridlines), cells
// of several lines that are stacks of values, and columns of long cells only (columns
// of prose between rules).
#include "bands.h"

#include <algorithm>
#include <cmath>

#include "cells.h"
#include "../float_ops.h"

namespace folioscan {
namespace {

// Columns stand at least this many font sizes apart; a table has at least and at most
// this many (two columns between rules are more often a form's labels and fields).
constexpr double kGutter = 1.0;
constexpr std::size_t kLeastColumns = 3;
constexpr std::size_t kMostColumns = 12;
// A piece this close to its column's edge or centre is aligned with it; most are.
constexpr double kAligned = 2.0;
constexpr double kLeastAligned = 0.6;
// Gaps within this share of each other are one line pitch; a gap this many pitches
// wide ends a paragraph.
constexpr double kSamePitch = 0.05;
constexpr double kParagraphGap = 1.2;
// The lines of a first column this many of the band's pitches apart or more each start
// a row.
constexpr double kStubGap = 1.5;
// Lines whose baselines are less than this many font sizes apart are one line.
constexpr double kOneLine = 0.8;
// A band parted by rules on its own is a row when at least this many bands hold text.
constexpr std::size_t kLeastRuledRows = 3;
constexpr std::size_t kLeastRows = 3;
constexpr double kLeastFilled = 0.5;
// Some column holds short cells (labels): a median of at most this many words.
constexpr std::size_t kShortCell = 4;

// A line's text in one column.
struct Piece {
  double baseline = 0.0;
  double size = 0.0;
  double x0 = 0.0;
  double x1 = 0.0;
  std::size_t column = 0;
  std::vector<const TextRun*> runs;
};

// The columns: spans of x that the chunks cover, merged where less than a gutter apart.
std::vector<std::pair<double, double>> columns_of(std::span<const Row> lines) {
  std::vector<double> sizes;
  std::vector<std::pair<double, double>> spans;
  for (const Row& line : lines) {
    sizes.push_back(line.size);
    for (const Chunk& c : line.chunks) spans.emplace_back(c.x0, c.x1);
  }
  if (spans.empty()) return {};
  std::nth_element(sizes.begin(), sizes.begin() + static_cast<std::ptrdiff_t>(sizes.size() / 2), sizes.end());
  const double gutter = kGutter * sizes[sizes.size() / 2];
  std::sort(spans.begin(), spans.end());
  std::vector<std::pair<double, double>> columns;
  for (const auto& s : spans) {
    if (!columns.empty() && s.first < columns.back().second + gutter) {
      columns.back().second = fmax_of(columns.back().second, s.second);
    } else {
      columns.push_back(s);
    }
  }
  return columns;
}

// One piece per line and column, top to bottom.
std::vector<Piece> pieces_of(std::span<const Row> lines, const std::vector<std::pair<double, double>>& columns) {
  std::vector<Piece> pieces;
  for (const Row& line : lines) {
    const std::size_t first = pieces.size();
    for (const Chunk& c : line.chunks) {
      const auto it = std::upper_bound(columns.begin(), columns.end(), std::make_pair(c.x0, static_cast<double>(INFINITY)));
      const std::size_t k = it == columns.begin() ? 0 : static_cast<std::size_t>(it - columns.begin()) - 1;
      if (pieces.size() > first && pieces.back().column == k) {
        pieces.back().x1 = fmax_of(pieces.back().x1, c.x1);
      } else {
        pieces.push_back({line.baseline, line.size, c.x0, c.x1, k, {}});
      }
      pieces.back().runs.insert(pieces.back().runs.end(), c.runs.begin(), c.runs.end());
    }
  }
  return pieces;
}

// Whether most pieces of each column start at its left edge, end at its right edge or
// sit centred in it, the same way for the column.
bool aligned(const std::vector<Piece>& pieces, const std::vector<std::pair<double, double>>& columns) {
  std::vector<std::array<std::size_t, 4>> counts(columns.size(), {0, 0, 0, 0});  // left, right, centre, all
  for (const Piece& p : pieces) {
    const auto [left, right] = columns[p.column];
    counts[p.column][0] += std::fabs(p.x0 - left) <= kAligned;
    counts[p.column][1] += std::fabs(p.x1 - right) <= kAligned;
    counts[p.column][2] += std::fabs((p.x0 + p.x1) / 2 - (left + right) / 2) <= kAligned;
    ++counts[p.column][3];
  }
  return std::all_of(counts.begin(), counts.end(), [](const std::array<std::size_t, 4>& c) {
    return c[3] < 2 || static_cast<double>(std::max({c[0], c[1], c[2]})) >= kLeastAligned * static_cast<double>(c[3]);
  });
}

// The gaps between the baselines of a column's pieces, top to bottom.
std::vector<double> gaps_of(const std::vector<const Piece*>& column_pieces) {
  std::vector<double> gaps;
  for (std::size_t i = 1; i < column_pieces.size(); ++i) {
    gaps.push_back(column_pieces[i - 1]->baseline - column_pieces[i]->baseline);
  }
  return gaps;
}

// The line pitch of `gaps` (not empty): the gap with the most others close to it, the
// smallest of those.
double pitch_of(std::vector<double> gaps) {
  std::sort(gaps.begin(), gaps.end());
  double pitch = gaps.front();
  std::size_t most = 0;
  for (std::size_t i = 0, j = 0; i < gaps.size(); ++i) {
    while (j < gaps.size() && gaps[j] <= gaps[i] * (1 + kSamePitch)) ++j;
    if (j - i > most) most = j - i, pitch = gaps[i];
  }
  return pitch;
}

// The indices (into `column_pieces`, top to bottom) where a paragraph starts: after a
// gap wider than the column's usual pitch, the gap most of its lines keep.
std::vector<std::size_t> paragraph_starts(const std::vector<const Piece*>& column_pieces) {
  std::vector<std::size_t> starts;
  if (column_pieces.empty()) return starts;
  starts.push_back(0);
  const std::vector<double> gaps = gaps_of(column_pieces);
  if (gaps.empty()) return starts;
  const double pitch = pitch_of(gaps);
  for (std::size_t i = 0; i < gaps.size(); ++i) {
    if (gaps[i] > kParagraphGap * pitch) starts.push_back(i + 1);
  }
  return starts;
}

// The tops of the band's rows after its first, top to bottom: a piece belongs to the
// row of the last top at or above its baseline. Nothing when the band's rows cannot be
// told.
std::optional<std::vector<double>> row_tops(const std::vector<const Piece*>& band, std::size_t columns,
                                            bool ruled_rows) {
  std::vector<std::vector<const Piece*>> by_column(columns);
  for (const Piece* p : band) by_column[p->column].push_back(p);
  std::vector<double> tops;
  // Lines with text in each column the band uses, at the same baselines: one row each
  // (a table whose rules part groups of rows).
  std::vector<std::size_t> line_starts;
  std::vector<bool> in_use(columns, false);
  for (std::size_t i = 0; i < band.size(); ++i) {
    if (i == 0 || band[i]->baseline != band[i - 1]->baseline) line_starts.push_back(i);
    in_use[band[i]->column] = true;
  }
  const auto used = static_cast<std::size_t>(std::count(in_use.begin(), in_use.end(), true));
  bool grid = line_starts.size() >= 2 && used >= 2;
  for (std::size_t l = 0; grid && l < line_starts.size(); ++l) {
    const std::size_t end = l + 1 < line_starts.size() ? line_starts[l + 1] : band.size();
    grid = end - line_starts[l] == used;
  }
  if (grid) {
    for (std::size_t l = 1; l < line_starts.size(); ++l) {
      tops.push_back((band[line_starts[l - 1]]->baseline + band[line_starts[l]]->baseline) / 2);
    }
    return tops;
  }
  // A first column of one-line cells beside wrapped ones: each of its lines starts a
  // row (the gaps between them are wider than the band's line pitch, which the wrapped
  // lines keep).
  std::vector<double> all_gaps;
  for (const std::vector<const Piece*>& pieces : by_column) {
    const std::vector<double> gaps = gaps_of(pieces);
    all_gaps.insert(all_gaps.end(), gaps.begin(), gaps.end());
  }
  const auto stub = std::find_if(by_column.begin(), by_column.end(), [](const auto& c) { return !c.empty(); });
  if (!all_gaps.empty() && stub != by_column.end() && stub->size() >= 2) {
    const double pitch = pitch_of(all_gaps);
    const std::vector<double> gaps = gaps_of(*stub);
    if (std::all_of(gaps.begin(), gaps.end(), [&](double g) { return g >= kStubGap * pitch; })) {
      for (std::size_t i = 1; i < stub->size(); ++i) {
        const Piece* first = (*stub)[i];
        tops.push_back(fmin_of(first->baseline + first->size, (first->baseline + (*stub)[i - 1]->baseline) / 2));
      }
      return tops;
    }
  }
  std::size_t key = 0;
  std::vector<std::size_t> key_starts;
  for (std::size_t k = 0; k < columns; ++k) {
    std::vector<std::size_t> starts = paragraph_starts(by_column[k]);
    if (starts.size() > key_starts.size()) key = k, key_starts = std::move(starts);
  }
  if (key_starts.size() >= 2) {
    // The top of the paragraph's first line, below the middle of the gap above it.
    for (std::size_t i = 1; i < key_starts.size(); ++i) {
      const Piece* first = by_column[key][key_starts[i]];
      const Piece* above = by_column[key][key_starts[i] - 1];
      tops.push_back(fmin_of(first->baseline + first->size, (first->baseline + above->baseline) / 2));
    }
    return tops;
  }
  const double highest = band.front()->baseline;
  const bool one_line = std::all_of(band.begin(), band.end(), [&](const Piece* p) {
    return highest - p->baseline < kOneLine * fmax_of(p->size, band.front()->size);
  });
  if (ruled_rows || one_line) return tops;
  return std::nullopt;
}

// Whether most lines of a cell of several lines hold words: a wrapped paragraph, not a
// stack of values (a form's line numbers, or rows that neither rules nor paragraphs
// parted).
bool worded_lines(const std::string& text) {
  std::size_t lines = 0;
  std::size_t worded = 0;
  std::size_t start = 0;
  while (start <= text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    ++lines;
    worded += has_word(text.substr(start, end - start));
    start = end + 1;
  }
  return 2 * worded >= lines;
}

}  // namespace

std::optional<Table> banded_table(std::span<const Row> lines, const std::vector<double>& rules, double x0, double x1,
                                  const std::array<double, 4>& media_box) {
  if (rules.size() < 2) return std::nullopt;
  const std::vector<std::pair<double, double>> columns = columns_of(lines);
  if (columns.size() < kLeastColumns || columns.size() > kMostColumns) return std::nullopt;
  const std::vector<Piece> pieces = pieces_of(lines, columns);
  if (!aligned(pieces, columns)) return std::nullopt;

  // The pieces of each band between two rules; pieces come top to bottom.
  std::vector<std::vector<const Piece*>> bands;
  std::size_t next = 0;
  for (std::size_t b = 0; b + 1 < rules.size(); ++b) {
    std::vector<const Piece*> band;
    while (next < pieces.size() && pieces[next].baseline > rules[b + 1]) band.push_back(&pieces[next++]);
    if (!band.empty()) bands.push_back(std::move(band));
  }
  const bool ruled_rows = bands.size() >= kLeastRuledRows;
  std::vector<std::vector<std::vector<const TextRun*>>> rows;  // runs by row, then column
  for (const std::vector<const Piece*>& band : bands) {
    const std::optional<std::vector<double>> tops = row_tops(band, columns.size(), ruled_rows);
    if (!tops) return std::nullopt;
    const std::size_t first = rows.size();
    rows.resize(first + tops->size() + 1, std::vector<std::vector<const TextRun*>>(columns.size()));
    for (const Piece* p : band) {
      // The tops come top to bottom: the row is the number of them at or above the piece.
      const auto below = std::partition_point(tops->begin(), tops->end(), [&](double top) { return top >= p->baseline; });
      std::vector<const TextRun*>& cell = rows[first + static_cast<std::size_t>(below - tops->begin())][p->column];
      cell.insert(cell.end(), p->runs.begin(), p->runs.end());
    }
  }
  std::erase_if(rows, [](const auto& row) { return std::all_of(row.begin(), row.end(), [](const auto& c) { return c.empty(); }); });
  if (rows.size() < kLeastRows) return std::nullopt;

  Table table;
  table.rows = rows.size();
  table.cols = columns.size();
  table.cells.assign(table.rows, std::vector<std::string>(table.cols));
  // Most candidates fail for want of a header or a first column of words: those cells'
  // text is made first, and the others' only where a table may still come of it.
  std::vector<std::vector<bool>> made(table.rows, std::vector<bool>(table.cols, false));
  const auto make = [&](std::size_t r, std::size_t k) {
    if (!made[r][k]) table.cells[r][k] = cell_text(rows[r][k], media_box);
    made[r][k] = true;
  };
  {
    std::array<std::size_t, 4> edge{};  // as `labels` below
    for (std::size_t r = 0; r < rows.size(); ++r) {
      for (std::size_t k = 0; k < columns.size(); ++k) {
        if ((r != 0 && k != 0) || rows[r][k].empty()) continue;
        make(r, k);
        const std::string& text = table.cells[r][k];
        if (!meaningful(text)) continue;
        const bool word = has_word(text);
        if (r == 0) edge[0] += word, ++edge[1];
        if (k == 0) edge[2] += word, ++edge[3];
      }
    }
    const bool edge_labelled = (edge[1] > 0 && 2 * edge[0] >= edge[1]) || (edge[3] > 0 && 2 * edge[2] >= edge[3]);
    // Else only values in every cell make a table, and an empty cell has none.
    if (!edge_labelled) {
      for (const auto& row : rows) {
        if (std::any_of(row.begin(), row.end(), [](const auto& c) { return c.empty(); })) return std::nullopt;
      }
    }
  }
  std::size_t wide_rows = 0;
  std::size_t filled = 0;
  std::size_t full_rows = 0;
  std::array<std::size_t, 4> labels{};  // header cells with words, filled header cells, the same for the first column
  std::vector<std::vector<std::size_t>> words(columns.size());
  for (std::size_t r = 0; r < rows.size(); ++r) {
    std::size_t used = 0;
    for (std::size_t k = 0; k < columns.size(); ++k) {
      if (rows[r][k].empty()) continue;
      make(r, k);
      std::string text = std::move(table.cells[r][k]);
      if (text.find('\n') != std::string::npos && !worded_lines(text)) return std::nullopt;
      if (meaningful(text)) {
        ++used;
        words[k].push_back(word_count(text));
        const bool word = has_word(text);
        if (r == 0) labels[0] += word, ++labels[1];
        if (k == 0) labels[2] += word, ++labels[3];
      }
      table.cells[r][k] = std::move(text);
    }
    filled += used;
    if (used >= 2) ++wide_rows;
    if (used == columns.size()) ++full_rows;
  }
  // A header or a first column of words, or else values in every cell (a chart's tick
  // labels between its gridlines leave rows with one label).
  const bool labelled = (labels[1] > 0 && 2 * labels[0] >= labels[1]) || (labels[3] > 0 && 2 * labels[2] >= labels[3]) ||
                        full_rows == rows.size();
  const bool short_column = std::any_of(words.begin(), words.end(), [&](std::vector<std::size_t>& w) {
    if (2 * w.size() < rows.size()) return false;
    std::nth_element(w.begin(), w.begin() + static_cast<std::ptrdiff_t>(w.size() / 2), w.end());
    return w[w.size() / 2] <= kShortCell;
  });
  const double cells = static_cast<double>(table.rows * table.cols);
  if (!labelled || !short_column || wide_rows < 2 || 2 * wide_rows < table.rows ||
      static_cast<double>(filled) < kLeastFilled * cells) {
    return std::nullopt;
  }
  table.bbox = std::array<double, 4>{x0, rules.back(), x1, rules.front()};
  return table;
}

}  // namespace folioscan
