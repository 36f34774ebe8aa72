// Recovery's choice of the runs a viewer shows, straight on runs: what is left out, and
// that a run left out for one reason is not there to make a later one a repeat.
#include <gtest/gtest.h>

#include <array>
#include <memory>
#include <string>
#include <vector>

#include "shown_runs.h"

namespace folioscan {
namespace {

constexpr std::array<double, 4> kLetter = {0, 0, 612, 792};

// A run 20 wide in 12-point text under identity matrices.
TextRun run(std::string text, double x, double y, bool flat = false) {
  TextRun r{std::move(text), std::make_shared<const std::string>("F1"), x, y, 20, 12, x + 20, 12, y};
  r.flat = flat;
  return r;
}

TEST(ShownRuns, OffPageFlatAndRepeatedRunsAreLeftOutAndTheRestKeepContentOrder) {
  const std::vector<TextRun> runs = {
      run("word", 100, 700),
      run("above", 100, 900),          // wholly above the page
      run("edge", -10, 500),           // partly on it
      run("word", 100.5, 700.5),       // the first again, a hair away
      run("word", 110, 700),           // further than a fifth of the size
      run("flat", 100, 600, true),     // through a singular matrix
      run("flat", 100, 600),           // not a repeat: the flat one is not shown
      run("above", 100, 900.2),        // off the page as well
      run("  ", 300, 300),             // blank text is never a repeat
      run("  ", 300, 300),
  };
  std::vector<std::size_t> shown;
  for (const TextRun* r : shown_runs(runs, kLetter)) shown.push_back(static_cast<std::size_t>(r - runs.data()));
  EXPECT_EQ(shown, (std::vector<std::size_t>{0, 2, 4, 6, 8, 9}));
}

// One glyph `advance` wide in 10-point text, placed along the baseline of `turns`.
TextRun glyph(double along, double across, double advance, std::uint8_t turns = 0) {
  static constexpr double kDir[4][2] = {{1, 0}, {0, 1}, {-1, 0}, {0, -1}};
  const double ux = kDir[turns][0], uy = kDir[turns][1];
  const double x = 300 + along * ux - across * uy, y = 400 + along * uy + across * ux;
  TextRun r{".", std::make_shared<const std::string>("F1"), x, y, advance, 10, x + advance * ux, 10, y + advance * uy};
  r.quarter_turns = turns;
  return r;
}

TEST(ShownRuns, RepeatsAreDrawingsCoveringEachOtherNotGlyphsKernedCloseTogether) {
  struct Case {
    const char* name;
    std::vector<TextRun> runs;
    std::size_t shown;
  };
  const std::vector<Case> cases = {
      // Times' period is 2.5 points wide at 10 points; kerned by 60/1000 the three
      // dots start 1.9 points apart: three glyphs.
      {"kerned dots", {glyph(0, 0, 2.5), glyph(1.9, 0, 2.5), glyph(3.8, 0, 2.5)}, 3},
      {"kerned dots upwards", {glyph(0, 0, 2.5, 1), glyph(1.9, 0, 2.5, 1), glyph(3.8, 0, 2.5, 1)}, 3},
      // A bold face faked by drawing the same glyph again a little to the right.
      {"fake bold dot", {glyph(0, 0, 2.5), glyph(0.4, 0, 2.5)}, 1},
      {"fake bold dot downwards", {glyph(0, 0, 2.5, 3), glyph(0.4, 0.3, 2.5, 3)}, 1},
      // Close along the baseline but on another line.
      {"dot on the next line", {glyph(0, 0, 2.5), glyph(0.2, 3, 2.5)}, 2},
      // A wide run moved by less than half its width but more than a fifth of the size.
      {"wide run moved by a few points", {glyph(0, 0, 40), glyph(3, 0, 40)}, 2},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(shown_runs(c.runs, kLetter).size(), c.shown) << c.name;
  }
}

}  // namespace
}  // namespace folioscan
