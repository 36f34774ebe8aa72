// Text layout: runs ordered top to bottom, left to right, grouped into lines by
// baseline, with spaces inserted at wide gaps.
#pragma once

#include <array>
#include <cmath>
#include <span>
#include <vector>

#include "content/text_run.h"
#include "float_ops.h"
#include "model.h"

namespace folioscan {

struct LayoutResult {
  std::vector<TextLine> lines;
  double width = 0.0;
  double height = 0.0;
  // Recovery only: each line's runs in the order its text joins them (parallel to
  // `lines`), for the page's structure.
  std::vector<std::vector<const TextRun*>> line_runs;
};

// Two runs whose baselines differ by at most this share a line: half the larger page
// size of the two, at least 1.0 (std::fmax skips a NaN size; a NaN half gives 1.0).
inline double baseline_tolerance(const TextRun& a, const TextRun& b) {
  return fmax_of(1.0, fmax_of(a.page_size, b.page_size) / 2.0);
}

// A gap wider than this before `run` separates two words: a fifth of its page size, but
// at least 0.2.
inline double word_gap_threshold(const TextRun& run) { return 0.2 * fmax_of(run.page_size, 1.0); }

// Recovery's word gap: 0.15 of the page size (at least 0.15). Producers that set each
// word apart with "TJ" offsets in tightly justified lines leave gaps of 0.19 em
// between words, which kerning (a tenth of an em at most) never reaches.
inline double recovered_word_gap_threshold(const TextRun& run) { return 0.15 * fmax_of(run.page_size, 1.0); }

LayoutResult layout_lines(const std::vector<TextRun>& runs, const std::array<double, 4>& media_box);

// Recovery's layout of the runs a viewer shows (see shown_runs.h), as a reader shows
// the page: text turned by a quarter turn is read along its own baseline (lines of
// upright text first, then those turned up, down and upside down), runs whose
// baselines differ by a rounding error count as on one baseline, a line's runs read
// left to right where they do not overlap, and right-to-left text reads in logical
// order.
LayoutResult layout_lines_recovering(std::span<const TextRun* const> shown, const std::array<double, 4>& media_box);

// Recovery: the line that upright runs on one baseline make, joined in the given order
// as layout_lines_recovering joins them (spaces at wide gaps, right-to-left text in
// logical order). For the pieces of a line cut at a column gutter.
TextLine join_upright_runs(std::span<const TextRun* const> runs);

}  // namespace folioscan
