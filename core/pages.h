// The page tree walk: pages in document order with inherited /MediaBox, /Resources
// and /Rotate.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "cos/object.h"
#include "error.h"

namespace folioscan {

struct OpenDocument;

struct PageRecord {
  Dictionary dictionary;  // the page's own dictionary, unresolved
  Dictionary resources;   // resolved; empty when absent or unresolvable
  std::array<double, 4> media_box{0.0, 0.0, 612.0, 792.0};
  std::int64_t rotate = 0;  // 0 to 359
};

[[nodiscard]] Result<std::vector<PageRecord>> collect_pages(OpenDocument& doc);

}  // namespace folioscan
