// Recovery's cells of a ruled grid: rows and columns from the grid's own rules, merged
// cells where an inner rule is missing, and each cell's text from the runs a viewer
// shows, in reading order.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <vector>

#include "../content/text_run.h"
#include "../model.h"
#include "grids.h"

namespace folioscan {

// A grid filled with text, and what tells a table from other ruled drawings.
struct FilledGrid {
  Table table;
  std::uint64_t cells = 0;         // distinct cells (a merged cell counts once)
  std::uint64_t filled_cells = 0;  // of those, the ones holding text
  std::uint64_t rows_with_text = 0;
  std::uint64_t cols_with_text = 0;
  std::uint64_t runs = 0;       // runs whose centre lies inside the grid
  std::uint64_t crossing = 0;   // of those, runs cut by an inner rule or a word split by one
  bool ruled = false;           // drawn with rules both ways, not only with filled boxes
};

// The grid's cells filled from `shown`; nothing when the grid has fewer than two rows
// or two columns, or more cells than a table can have. Bands thinner than 7 points that
// hold no text join their neighbours. With `tidy` (a grid known to hold a table, read
// for its cells), so do empty bands thinner than a line of the table's text, those at
// the far end together, and empty columns that thin.
std::optional<FilledGrid> fill_grid(const Grid& grid, std::span<const TextRun* const> shown,
                                    const std::array<double, 4>& media_box, bool tidy);

// The text of a cell from its runs: lines in reading order (right-to-left text in
// logical order), each trimmed of spaces, the blank ones left out, joined with a line
// feed.
std::string cell_text(std::span<const TextRun* const> runs, const std::array<double, 4>& media_box);

// The point that places a run: the middle of its baseline, raised by a third of its size
// (upright text), so that a run resting on a rule belongs to the cell above it.
std::array<double, 2> run_centre(const TextRun& run);

}  // namespace folioscan
