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

// The dictionaries are borrowed from the resolver's cache (or from the trailer, or the
// parent node that holds them directly): records are valid as long as the document, and
// a resources dictionary shared by every page is held once, not once per page.
struct PageRecord {
  const Dictionary* dictionary = nullptr;  // the page's own dictionary, unresolved; never null
  const Dictionary* resources = nullptr;   // resolved; never null, empty when absent or unresolvable
  std::array<double, 4> media_box{0.0, 0.0, 612.0, 792.0};
  std::int64_t rotate = 0;  // 0 to 359
};

[[nodiscard]] Result<std::vector<PageRecord>> collect_pages(OpenDocument& doc);

// The empty dictionary pages without resources point at.
const Dictionary& no_resources();

}  // namespace folioscan
