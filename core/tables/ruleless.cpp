#include "ruleless.h"

namespace folioscan {

std::vector<Table> detect_ruleless_tables(std::span<const TextRun* const> runs, const std::array<double, 4>& media_box) {
  (void)runs;
  (void)media_box;
  return {};
}

}  // namespace folioscan
