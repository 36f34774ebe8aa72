// Lines by baseline, chunks by the gaps between runs.
#include "text_lines.h"

#include <algorithm>
#include <cmath>

#include "../float_ops.h"
#include "../input_limits.h"
#include "../layout.h"

namespace folioscan {
namespace {

bool blank(const TextRun& run) { return run.text.find_first_not_of(' ') == std::string::npos; }

}  // namespace

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

bool meaningful(const std::string& text) {
  return std::any_of(text.begin(), text.end(), [](char ch) {
    const auto c = static_cast<unsigned char>(ch);
    return c >= 0x80 || (c >= '0' && c <= '9') || ((c | 0x20) >= 'a' && (c | 0x20) <= 'z');
  });
}

bool has_word(const std::string& text) {
  bool after_letter = false;
  for (const char ch : text) {
    const auto c = static_cast<unsigned char>(ch);
    if (c >= 0x80) return true;
    const bool letter = (c | 0x20) >= 'a' && (c | 0x20) <= 'z';
    if (letter && after_letter) return true;
    after_letter = letter;
  }
  return false;
}

std::vector<Row> rows_of(std::span<const TextRun* const> runs, double gutter) {
  std::vector<const TextRun*> upright;
  for (const TextRun* run : runs) {
    if (run->quarter_turns == 0 && !blank(*run) && std::isfinite(run->x) && std::isfinite(run->y) &&
        std::isfinite(run->end_x) && run->end_x >= run->x) {
      upright.push_back(run);
    }
  }
  // Most producers draw top to bottom and left to right: sorted input is left as it is,
  // which is what the stable sort would give.
  const auto higher = [](const TextRun* a, const TextRun* b) { return a->y > b->y; };
  if (!std::is_sorted(upright.begin(), upright.end(), higher)) std::stable_sort(upright.begin(), upright.end(), higher);
  std::vector<Row> rows;
  std::size_t i = 0;
  while (i < upright.size()) {
    std::size_t j = i + 1;
    while (j < upright.size() && upright[i]->y - upright[j]->y <= baseline_tolerance(*upright[i], *upright[j]) / 2) ++j;
    Row row;
    row.baseline = upright[i]->y;
    // The line is sorted where it lies: nothing after it reads these places again.
    const std::span<const TextRun*> line(upright.data() + i, j - i);
    const auto lefter = [](const TextRun* a, const TextRun* b) { return a->x < b->x; };
    if (!std::is_sorted(line.begin(), line.end(), lefter)) std::stable_sort(line.begin(), line.end(), lefter);
    for (const TextRun* run : line) {
      const double size = fmax_of(run->page_size, 1.0);
      row.size = fmax_of(row.size, size);
      if (row.chunks.empty() || run->x - row.chunks.back().x1 >= gutter * size) {
        row.chunks.push_back({run->x, run->end_x, {}});
      }
      Chunk& chunk = row.chunks.back();
      chunk.x1 = fmax_of(chunk.x1, run->end_x);
      // Room for three from the start: the smallest heap block holds that many anyway.
      if (chunk.runs.empty()) chunk.runs.reserve(3);
      chunk.runs.push_back(run);
    }
    rows.push_back(std::move(row));
    i = j;
  }
  return rows;
}

std::optional<std::vector<Row>> cut_at_column_starts(std::span<const Row> lines, double narrowest, double aligned) {
  if (lines.size() > limits::kMaxColumnCutLines) return std::nullopt;
  // Where each line's chunks start, one entry a line and start.
  std::vector<std::pair<double, std::size_t>> starts;
  for (std::size_t r = 0; r < lines.size(); ++r) {
    for (const Chunk& c : lines[r].chunks) starts.emplace_back(c.x0, r);
  }
  std::sort(starts.begin(), starts.end());
  const auto starts_elsewhere = [&](double x, std::size_t line) {
    std::size_t others = 0;
    std::size_t last = lines.size();
    for (auto it = std::lower_bound(starts.begin(), starts.end(), std::make_pair(x - aligned, std::size_t{0}));
         it != starts.end() && it->first <= x + aligned; ++it) {
      if (it->second != line && it->second != last) ++others, last = it->second;
    }
    return others >= 2 && 2 * others >= lines.size() - 1;
  };
  // Whether `run` starts a piece of its chunk, the piece before it reaching `reach`.
  const auto cuts = [&](const TextRun* run, double reach, std::size_t line) {
    const double size = fmax_of(run->page_size, 1.0);
    return run->x - reach >= narrowest * size && starts_elsewhere(run->x, line);
  };
  // Most blocks have no such start: they are left as they are, uncopied.
  bool any = false;
  for (std::size_t r = 0; r < lines.size() && !any; ++r) {
    for (const Chunk& c : lines[r].chunks) {
      double reach = c.x0;
      for (std::size_t k = 0; k < c.runs.size() && !any; ++k) {
        any = k > 0 && cuts(c.runs[k], reach, r);
        reach = fmax_of(reach, c.runs[k]->end_x);
      }
      if (any) break;
    }
  }
  if (!any) return std::nullopt;
  std::vector<Row> out(lines.begin(), lines.end());
  for (std::size_t r = 0; r < out.size(); ++r) {
    std::vector<Chunk> cut;
    for (Chunk& c : out[r].chunks) {
      Chunk piece{c.x0, c.x0, {}};
      for (const TextRun* run : c.runs) {
        if (!piece.runs.empty() && cuts(run, piece.x1, r)) {
          cut.push_back(std::move(piece));
          piece = Chunk{run->x, run->x, {}};
        }
        piece.x1 = fmax_of(piece.x1, run->end_x);
        piece.runs.push_back(run);
      }
      cut.push_back(std::move(piece));
    }
    out[r].chunks = std::move(cut);
  }
  return out;
}

std::optional<Row> cut_at_word_starts(const Row& line, std::span<const Row> lines, double aligned) {
  const auto column_start = [&](double x) {
    std::size_t starting = 0;
    for (const Row& other : lines) {
      starting += std::any_of(other.chunks.begin(), other.chunks.end(),
                              [&](const Chunk& c) { return std::fabs(c.x0 - x) <= aligned; });
    }
    return starting >= 2 && 2 * starting >= lines.size();
  };
  Row cut{line.baseline, line.size, {}};
  const TextRun* previous = nullptr;
  for (const Chunk& c : line.chunks) {
    for (const TextRun* run : c.runs) {
      const bool word_start = previous == nullptr || previous->text.ends_with(' ') ||
                              run->x - previous->end_x > recovered_word_gap_threshold(*run);
      if (cut.chunks.empty() || (word_start && !run->text.starts_with(' ') && column_start(run->x))) {
        cut.chunks.push_back({run->x, run->end_x, {}});
      }
      cut.chunks.back().x1 = fmax_of(cut.chunks.back().x1, run->end_x);
      cut.chunks.back().runs.push_back(run);
      previous = run;
    }
  }
  const auto starts_column = [&](const Chunk& c) { return column_start(c.x0); };
  if (!std::all_of(cut.chunks.begin(), cut.chunks.end(), starts_column)) return std::nullopt;
  return cut;
}

}  // namespace folioscan
