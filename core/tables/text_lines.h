// Recovery's text lines for tables set without a grid: the upright runs of a page in
// lines (one baseline each), each line cut into chunks at gaps wider than a gutter.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <vector>

#include "../content/text_run.h"

namespace folioscan {

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

// The upright, non-blank lines of `runs` top to bottom, each cut into chunks left to
// right at gaps of at least `gutter` font sizes.
std::vector<Row> rows_of(std::span<const TextRun* const> runs, double gutter);

// Chunks of `lines` cut again where a column starts inside them: at a gap between two
// runs of at least `narrowest` font sizes (narrower than a gutter) where the second run
// starts within `aligned` points of where chunks of at least two other lines, and of
// half of them or more, start. A table whose columns stand closer than a gutter in some
// lines keeps them apart where most of its other lines show where they start. Nothing
// when no chunk is cut, or the block is longer than limits::kMaxColumnCutLines.
std::optional<std::vector<Row>> cut_at_column_starts(std::span<const Row> lines, double narrowest, double aligned);

// `line` cut into chunks before each word that starts within `aligned` points of where
// chunks of at least two of `lines`, and of half of them or more, start; nothing unless
// every chunk then starts so. A table's header set with word spaces between its cells
// still starts each cell where the column below it starts.
std::optional<Row> cut_at_word_starts(const Row& line, std::span<const Row> lines, double aligned);

// The words of a cell's text (parted by spaces and line feeds).
std::size_t word_count(const std::string& text);

// Whether a cell's text says something: a letter or digit (any non-ASCII character
// counts), not only dot leaders or punctuation.
bool meaningful(const std::string& text);

// Whether the text holds a word (two letters in a row; any non-ASCII character counts):
// a label, not a value or a line number such as "9b".
bool has_word(const std::string& text);

}  // namespace folioscan
