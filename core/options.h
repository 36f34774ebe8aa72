// What one extraction call is asked to do, and what it reports back besides the result.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "error.h"
#include "input_limits.h"
#include "model.h"

namespace folioscan {

// The default is the strict reading: the first error ends the call. With `recover`,
// the stages repair what they can (rebuilt cross-reference table, partial streams,
// skipped pages) and report each repair as a Warning instead of failing.
struct ExtractOptions {
  bool recover = false;
};

// Where repairs are recorded during a call. The driver sets `page` while a page is
// extracted, so stages deep below it need not know which page they serve.
struct Diagnostics {
  std::optional<std::uint32_t> page;
  std::vector<Warning> warnings;

  void warn(const ParseError& error) {
    if (warnings.size() < limits::kMaxWarnings) warnings.push_back(Warning{page, error.display()});
  }
};

}  // namespace folioscan
