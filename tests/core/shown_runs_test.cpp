// Recovery's choice of the runs a viewer shows, straight on runs: what is left out, and
// that a run left out for one reason is not there to make a later one a repeat.
#include <gtest/gtest.h>

#include <array>
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

}  // namespace
}  // namespace folioscan
