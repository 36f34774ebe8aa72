// Cutting lines at wide gaps and measuring the pieces.
#include "line_pieces.h"

#include <algorithm>
#include <cmath>
#include <span>
#include <utility>

namespace folioscan {
namespace {

std::size_t characters_of(std::string_view text) {
  std::size_t count = 0;
  for (const char c : text) count += (static_cast<unsigned char>(c) & 0xC0) != 0x80 && c != ' ';
  return count;
}

bool blank(const TextRun& run) { return run.text.find_first_not_of(' ') == std::string::npos; }

// Box, size and style of a piece from its runs.
void measure(LinePiece& piece, std::span<const TextRun* const> runs) {
  double x0 = INFINITY;
  double x1 = -INFINITY;
  double y0 = INFINITY;
  double y1 = -INFINITY;
  // (size, characters) pairs: a line has few sizes.
  std::vector<std::pair<double, std::size_t>> sizes;
  std::size_t bold = 0;
  std::size_t italic = 0;
  std::size_t total = 0;
  for (const TextRun* run : runs) {
    const double size = std::fabs(run->page_size);
    const double ascent = run->ascent > 0 ? run->ascent : 0.8 * size;
    const double descent = run->descent < 0 ? run->descent : -0.2 * size;
    x0 = std::fmin(x0, std::fmin(run->x, run->end_x));
    x1 = std::fmax(x1, std::fmax(run->x, run->end_x));
    const double low = std::fmin(run->y, run->end_y);
    const double high = std::fmax(run->y, run->end_y);
    if (run->quarter_turns == 0 || run->quarter_turns == 2) {
      y0 = std::fmin(y0, low + descent);
      y1 = std::fmax(y1, high + ascent);
    } else {
      // Turned text reaches sideways of its baseline: its box spans the baseline's
      // length upwards and the glyph height across.
      y0 = std::fmin(y0, low);
      y1 = std::fmax(y1, high);
      x0 = std::fmin(x0, run->x - size);
      x1 = std::fmax(x1, run->x + size);
    }
    const std::size_t chars = characters_of(run->text);
    total += chars;
    if (run->bold) bold += chars;
    if (run->italic) italic += chars;
    auto it = std::find_if(sizes.begin(), sizes.end(),
                           [&](const auto& entry) { return std::fabs(entry.first - size) < 0.05; });
    if (it == sizes.end()) {
      sizes.emplace_back(size, chars);
    } else {
      it->second += chars;
    }
  }
  std::size_t best = 0;
  piece.size = 0.0;
  for (const auto& [size, chars] : sizes) {
    if (chars > best || (chars == best && size > piece.size)) {
      best = chars;
      piece.size = size;
    }
  }
  if (!(x0 <= x1)) x0 = x1 = 0.0;
  if (!(y0 <= y1)) y0 = y1 = 0.0;
  piece.box = {x0, y0, x1, y1};
  piece.characters = total;
  piece.bold = total > 0 && 2 * bold > total;
  piece.italic = total > 0 && 2 * italic > total;
}

LinePiece upright_piece(std::vector<const TextRun*> runs) {
  LinePiece piece;
  piece.line = join_upright_runs(runs);
  piece.baseline = piece.line.y;
  measure(piece, runs);
  piece.runs = std::move(runs);
  return piece;
}

// Cuts runs on one baseline, left to right, where a run starts more than a gutter gap
// beyond all the runs before it. Blank runs neither cut nor close a gap.
void cut_runs(std::vector<const TextRun*> runs, std::vector<LinePiece>& out) {
  std::vector<const TextRun*> current;
  double reach = -INFINITY;
  double reach_size = 0.0;
  for (const TextRun* run : runs) {
    const double size = std::fmax(1.0, std::fmax(std::fabs(run->page_size), reach_size));
    if (!current.empty() && !blank(*run) && run->x - reach > kPieceGap * size) {
      out.push_back(upright_piece(std::move(current)));
      current.clear();
      reach = -INFINITY;
    }
    current.push_back(run);
    if (!blank(*run)) {
      reach = std::fmax(reach, run->end_x);
      reach_size = std::fabs(run->page_size);
    }
  }
  if (!current.empty()) out.push_back(upright_piece(std::move(current)));
}

bool left_to_right(const std::vector<const TextRun*>& runs) {
  for (std::size_t i = 1; i < runs.size(); ++i) {
    if (!(runs[i]->x >= runs[i - 1]->x)) return false;
  }
  return true;
}

// An upright line of layout, in its order. A line whose runs go back to the left holds
// several baselines (lines of two columns a few points apart, a raised note): each
// baseline is cut on its own, left to right; runs drawn over one another stay in their
// order, whole.
void cut_line(const std::vector<const TextRun*>& runs, std::vector<LinePiece>& out) {
  if (left_to_right(runs)) {
    cut_runs(runs, out);
    return;
  }
  std::vector<std::vector<const TextRun*>> baselines;
  for (const TextRun* run : runs) {
    const double tolerance = 0.15 * std::fmax(std::fabs(run->page_size), 1.0);
    auto it = std::find_if(baselines.begin(), baselines.end(), [&](const std::vector<const TextRun*>& line) {
      return std::fabs(line.front()->y - run->y) <= tolerance;
    });
    if (it == baselines.end()) {
      baselines.push_back({run});
    } else {
      it->push_back(run);
    }
  }
  for (std::vector<const TextRun*>& line : baselines) {
    std::vector<const TextRun*> sorted = line;
    std::stable_sort(sorted.begin(), sorted.end(), [](const TextRun* a, const TextRun* b) { return a->x < b->x; });
    bool overlapping = false;
    for (std::size_t i = 1; i < sorted.size(); ++i) {
      const double slack = 0.1 * std::fmax(std::fabs(sorted[i]->page_size), 1.0);
      if (!(sorted[i]->x >= sorted[i - 1]->end_x - slack)) overlapping = true;
    }
    if (overlapping) {
      out.push_back(upright_piece(std::move(line)));
    } else {
      cut_runs(std::move(sorted), out);
    }
  }
}

}  // namespace

std::vector<LinePiece> line_pieces(const LayoutResult& layout) {
  std::vector<LinePiece> pieces;
  pieces.reserve(layout.lines.size());
  for (std::size_t i = 0; i < layout.lines.size() && i < layout.line_runs.size(); ++i) {
    const std::vector<const TextRun*>& runs = layout.line_runs[i];
    if (runs.empty()) continue;
    if (runs.front()->quarter_turns == 0) {
      cut_line(runs, pieces);
      continue;
    }
    LinePiece piece;
    piece.line = layout.lines[i];
    piece.upright = false;
    piece.baseline = piece.line.y;
    measure(piece, runs);
    pieces.push_back(std::move(piece));
  }
  return pieces;
}

LinePiece joined_pieces(std::span<const LinePiece* const> parts) {
  std::vector<const TextRun*> runs;
  for (const LinePiece* part : parts) runs.insert(runs.end(), part->runs.begin(), part->runs.end());
  std::stable_sort(runs.begin(), runs.end(), [](const TextRun* a, const TextRun* b) { return a->x < b->x; });
  LinePiece piece = upright_piece(std::move(runs));
  piece.parts = static_cast<std::uint32_t>(parts.size());
  return piece;
}

}  // namespace folioscan
