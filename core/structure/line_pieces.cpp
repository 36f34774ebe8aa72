// Cutting lines at wide gaps and measuring the pieces.
#include "line_pieces.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <span>
#include <utility>

#include "../input_limits.h"

namespace folioscan {
namespace {


std::size_t characters_of(std::string_view text) {
  std::size_t count = 0;
  for (const char c : text) count += (static_cast<unsigned char>(c) & 0xC0) != 0x80 && c != ' ';
  return count;
}

bool blank(const TextRun& run) { return run.text.find_first_not_of(' ') == std::string::npos; }

// Where an upright run's last glyph ends: trailing spaces reach into the white space
// after the text (a column's gutter), so they are taken off, a space as 0.28 em.
double visible_end(const TextRun& run) {
  std::size_t trailing = 0;
  while (trailing < run.text.size() && run.text[run.text.size() - 1 - trailing] == ' ') ++trailing;
  if (run.quarter_turns != 0 || trailing == 0 || trailing == run.text.size()) return run.end_x;
  return std::fmax(run.x, run.end_x - 0.28 * std::fabs(run.page_size) * static_cast<double>(trailing));
}

// Box, size and style of a piece from its runs; `next_text` is where the next run of
// text on the line starts (infinity when none does).
void measure(LinePiece& piece, std::span<const TextRun* const> runs, double next_text = INFINITY) {
  double x0 = INFINITY;
  double x1 = -INFINITY;
  double y0 = INFINITY;
  double y1 = -INFINITY;
  // (size, characters) pairs: a line has few sizes, held in place; a line of many sizes
  // goes on in `more`.
  std::array<std::pair<double, std::size_t>, 8> few{};
  std::size_t few_used = 0;
  std::vector<std::pair<double, std::size_t>> more;
  std::size_t bold = 0;
  std::size_t italic = 0;
  std::size_t total = 0;
  // A blank run after the last run of text that stands apart from it by a gutter gap (a
  // space drawn alone in the next column, at the end of a paragraph there) reaches into
  // the white space beyond the piece: it stays out of the width, unless the next text
  // on the line starts where it ends, so that it holds that text's place (the room of
  // a symbol drawn as a picture).
  std::size_t last_text = runs.size();
  double text_reach = -INFINITY;
  for (std::size_t k = 0; k < runs.size(); ++k) {
    if (!blank(*runs[k])) {
      last_text = k;
      text_reach = std::fmax(text_reach, visible_end(*runs[k]));
    }
  }
  for (std::size_t k = 0; k < runs.size(); ++k) {
    const TextRun* run = runs[k];
    const double size = std::fabs(run->page_size);
    const double ascent = run->ascent > 0 ? run->ascent : 0.8 * size;
    const double descent = run->descent < 0 ? run->descent : -0.2 * size;
    const double end = visible_end(*run);
    const bool spills = last_text < runs.size() && k > last_text && run->quarter_turns == 0 &&
                        run->x - text_reach > kPieceGap * std::fmax(size, 1.0) &&
                        !(next_text - run->end_x <= kPieceGap * std::fmax(size, 1.0));
    if (!spills) {
      x0 = std::fmin(x0, std::fmin(run->x, end));
      x1 = std::fmax(x1, std::fmax(run->x, end));
    }
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
    const auto same = [&](const auto& entry) { return std::fabs(entry.first - size) < 0.05; };
    const auto few_end = few.begin() + static_cast<std::ptrdiff_t>(few_used);
    if (auto it = std::find_if(few.begin(), few_end, same); it != few_end) {
      it->second += chars;
    } else if (auto more_it = std::find_if(more.begin(), more.end(), same); more_it != more.end()) {
      more_it->second += chars;
    } else if (few_used < few.size()) {
      few[few_used++] = {size, chars};
    } else {
      more.emplace_back(size, chars);
    }
  }
  std::size_t best = 0;
  piece.size = 0.0;
  const auto consider = [&](const std::pair<double, std::size_t>& entry) {
    if (entry.second > best || (entry.second == best && entry.first > piece.size)) {
      best = entry.second;
      piece.size = entry.first;
    }
  };
  for (std::size_t k = 0; k < few_used; ++k) consider(few[k]);
  for (const auto& entry : more) consider(entry);
  if (!(x0 <= x1)) x0 = x1 = 0.0;
  if (!(y0 <= y1)) y0 = y1 = 0.0;
  piece.box = {x0, y0, x1, y1};
  piece.characters = total;
  piece.bold = total > 0 && 2 * bold > total;
  piece.italic = total > 0 && 2 * italic > total;
}

// `whole`, when given, is the layout's line of exactly these runs in this order: its text
// is what joining them would give, so it is taken as it is.
LinePiece upright_piece(std::vector<const TextRun*> runs, const TextLine* whole = nullptr,
                        double next_text = INFINITY) {
  LinePiece piece;
  piece.line = whole != nullptr ? *whole : join_upright_runs(runs);
  piece.baseline = piece.line.y;
  measure(piece, runs, next_text);
  piece.runs = std::move(runs);
  return piece;
}

// Cuts runs on one baseline, left to right, where a run starts more than a gutter gap
// beyond all the runs before it. Blank runs neither cut nor close a gap.
void cut_runs(const std::vector<const TextRun*>& runs, const TextLine& whole, std::vector<LinePiece>& out) {
  std::vector<const TextRun*> current;
  current.reserve(runs.size());
  bool cut = false;
  double reach = -INFINITY;
  double reach_size = 0.0;
  for (const TextRun* run : runs) {
    const double size = std::fmax(1.0, std::fmax(std::fabs(run->page_size), reach_size));
    if (!current.empty() && !blank(*run) && run->x - reach > kPieceGap * size) {
      out.push_back(upright_piece(std::move(current), nullptr, run->x));
      current.clear();
      cut = true;
      reach = -INFINITY;
    }
    current.push_back(run);
    if (!blank(*run)) {
      reach = std::fmax(reach, visible_end(*run));
      reach_size = std::fabs(run->page_size);
    }
  }
  if (!current.empty()) out.push_back(upright_piece(std::move(current), cut ? nullptr : &whole));
}

bool left_to_right(const std::vector<const TextRun*>& runs) {
  for (std::size_t i = 1; i < runs.size(); ++i) {
    if (!(runs[i]->x >= runs[i - 1]->x)) return false;
  }
  return true;
}

// An upright line of layout, in its order. A line whose runs go back to the left holds
// several baselines (lines of two columns a few points apart, a raised note) or runs
// drawn over one another: its runs are grouped by baseline, each group cut where a run
// starts a gutter gap beyond all runs left of it, and each piece keeps its runs in
// layout's order when they overlap (text over text), else left to right.
void cut_line(const std::vector<const TextRun*>& runs, const TextLine& whole, std::vector<LinePiece>& out) {
  if (left_to_right(runs)) {
    cut_runs(runs, whole, out);
    return;
  }
  std::vector<std::vector<std::size_t>> baselines;  // indices into `runs`
  for (std::size_t i = 0; i < runs.size(); ++i) {
    const double tolerance = 0.15 * std::fmax(std::fabs(runs[i]->page_size), 1.0);
    auto it = std::find_if(baselines.begin(), baselines.end(), [&](const std::vector<std::size_t>& line) {
      return std::fabs(runs[line.front()]->y - runs[i]->y) <= tolerance;
    });
    if (it == baselines.end()) {
      if (baselines.size() == limits::kMaxBaselines) {
        // A hostile line of a thousand baselines: one piece, in layout's order.
        out.push_back(upright_piece(runs));
        return;
      }
      baselines.push_back({i});
    } else {
      it->push_back(i);
    }
  }
  for (std::vector<std::size_t>& line : baselines) {
    std::vector<std::size_t> sorted = line;
    std::stable_sort(sorted.begin(), sorted.end(), [&](std::size_t a, std::size_t b) { return runs[a]->x < runs[b]->x; });
    std::vector<std::size_t> piece;
    double reach = -INFINITY;
    double reach_size = 0.0;
    const auto emit = [&](double next_text) {
      if (piece.empty()) return;
      std::vector<const TextRun*> in_x;
      bool overlapping = false;
      for (std::size_t k = 0; k < piece.size(); ++k) {
        const TextRun* run = runs[piece[k]];
        if (k > 0) {
          // Measured to the last glyph: a trailing space may reach past the next run.
          const double slack = 0.1 * std::fmax(std::fabs(run->page_size), 1.0);
          if (!(run->x >= visible_end(*runs[piece[k - 1]]) - slack)) overlapping = true;
        }
        in_x.push_back(run);
      }
      if (overlapping) {
        std::sort(piece.begin(), piece.end());  // layout's order
        in_x.clear();
        for (const std::size_t index : piece) in_x.push_back(runs[index]);
      }
      out.push_back(upright_piece(std::move(in_x), nullptr, next_text));
      piece.clear();
    };
    for (const std::size_t index : sorted) {
      const TextRun* run = runs[index];
      const double size = std::fmax(1.0, std::fmax(std::fabs(run->page_size), reach_size));
      if (!piece.empty() && !blank(*run) && run->x - reach > kPieceGap * size) {
        emit(run->x);
        reach = -INFINITY;
      }
      piece.push_back(index);
      if (!blank(*run)) {
        reach = std::fmax(reach, run->end_x);
        reach_size = std::fabs(run->page_size);
      }
    }
    emit(INFINITY);
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
      cut_line(runs, layout.lines[i], pieces);
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

void attach_raised_marks(std::vector<LinePiece>& pieces) {
  if (pieces.size() > limits::kMaxMarkPieces) return;
  std::vector<bool> gone(pieces.size(), false);
  // The pieces by baseline (which attaching a mark leaves as it was), and the largest
  // size any piece can take: a mark's host lies below it by at most 0.8 of that, so
  // only the pieces of that stretch are looked at. A baseline that is no number never
  // passes the tests below and is left out.
  std::vector<std::size_t> by_baseline;
  by_baseline.reserve(pieces.size());
  double largest = 0.0;
  for (std::size_t i = 0; i < pieces.size(); ++i) {
    if (std::isfinite(pieces[i].baseline)) by_baseline.push_back(i);
    largest = std::fmax(largest, std::fabs(pieces[i].size));
    for (const TextRun* run : pieces[i].runs) largest = std::fmax(largest, std::fabs(run->page_size));
  }
  std::sort(by_baseline.begin(), by_baseline.end(), [&](std::size_t a, std::size_t b) {
    return pieces[a].baseline < pieces[b].baseline || (pieces[a].baseline == pieces[b].baseline && a < b);
  });
  for (std::size_t m = 0; m < pieces.size(); ++m) {
    const LinePiece& mark = pieces[m];
    if (!mark.upright || mark.runs.empty() || mark.characters == 0 || mark.characters > 3) continue;
    if (!std::isfinite(mark.baseline)) continue;
    const double lowest = mark.baseline - 0.8 * largest;
    auto at = std::lower_bound(by_baseline.begin(), by_baseline.end(), lowest,
                               [&](std::size_t i, double y) { return pieces[i].baseline < y; });
    if (!std::isfinite(lowest)) at = by_baseline.begin();
    std::size_t best = pieces.size();
    double best_raise = 0.0;
    for (; at != by_baseline.end() && pieces[*at].baseline <= mark.baseline; ++at) {
      const std::size_t h = *at;
      const LinePiece& host = pieces[h];
      if (h == m || gone[h] || !host.upright || host.runs.empty() || host.characters <= mark.characters) continue;
      const double size = host.size;
      const double raise = mark.baseline - host.baseline;
      if (!(mark.size <= 0.8 * size && raise >= 0.15 * size && raise <= 0.8 * size)) continue;
      const double slack = 0.3 * size;
      // The mark stands in the line or touches one of its ends; one that starts inside
      // the line (marks "1,2" whose comma the line holds), or right at its end with no
      // space drawn before it (a mark "10" after "averse)."), may run on past its end.
      const bool within = mark.box[0] >= host.box[0] - slack && mark.box[2] <= host.box[2] + slack;
      const bool at_end = std::fabs(mark.box[0] - host.box[2]) <= slack && !host.runs.back()->text.ends_with(' ');
      const bool runs_on = (mark.box[0] >= host.box[0] && mark.box[0] < host.box[2]) || at_end;
      if (!within && !runs_on) continue;
      // The least raise wins; of equal ones, the first piece.
      if (best == pieces.size() || raise < best_raise || (raise == best_raise && h < best)) {
        best = h;
        best_raise = raise;
      }
    }
    if (best == pieces.size()) continue;
    LinePiece& host = pieces[best];
    std::vector<const TextRun*> runs = host.runs;
    runs.insert(runs.end(), mark.runs.begin(), mark.runs.end());
    std::stable_sort(runs.begin(), runs.end(), [](const TextRun* a, const TextRun* b) { return a->x < b->x; });
    const double baseline = host.baseline;
    const double line_y = host.line.y;
    const std::uint32_t parts = host.parts;
    const std::array<double, 4> mark_box = mark.box;
    const std::array<double, 4> host_box = host.box;
    host = upright_piece(std::move(runs));
    host.baseline = baseline;
    host.line.y = line_y;
    host.parts = parts;
    host.box = {std::fmin(host_box[0], mark_box[0]), host_box[1], std::fmax(host_box[2], mark_box[2]), host_box[3]};
    gone[m] = true;
  }
  std::size_t kept = 0;
  for (std::size_t i = 0; i < pieces.size(); ++i) {
    if (!gone[i]) {
      if (kept != i) pieces[kept] = std::move(pieces[i]);
      ++kept;
    }
  }
  pieces.resize(kept);
}

LinePiece joined_pieces(std::span<const LinePiece* const> parts) {
  // Piece after piece from the left; the runs of pieces that overlap (text drawn over
  // text) are never interleaved.
  std::vector<const LinePiece*> ordered(parts.begin(), parts.end());
  std::stable_sort(ordered.begin(), ordered.end(),
                   [](const LinePiece* a, const LinePiece* b) { return a->box[0] < b->box[0]; });
  std::vector<const TextRun*> runs;
  bool overlapping = false;
  for (std::size_t i = 0; i < ordered.size(); ++i) {
    if (i > 0 && ordered[i]->box[0] < ordered[i - 1]->box[2]) overlapping = true;
    runs.insert(runs.end(), ordered[i]->runs.begin(), ordered[i]->runs.end());
  }
  LinePiece piece = upright_piece(std::move(runs));
  // The parts' blank runs were measured against what follows each on its line.
  piece.box[0] = ordered.front()->box[0];
  piece.box[2] = ordered.front()->box[2];
  for (const LinePiece* part : ordered) piece.box[2] = std::fmax(piece.box[2], part->box[2]);
  if (overlapping) {
    // Text over text: each piece's text whole, one after the other.
    std::string text;
    for (const LinePiece* part : ordered) {
      if (!text.empty() && text.back() != ' ' && !part->line.text.empty() && part->line.text.front() != ' ') {
        text += ' ';
      }
      text += part->line.text;
    }
    piece.line.text = std::move(text);
  }
  piece.parts = static_cast<std::uint32_t>(parts.size());
  return piece;
}

}  // namespace folioscan
