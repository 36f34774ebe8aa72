// The predefined CMaps a composite font may name as /Encoding (90ms-RKSJ-H, EUC-V,
// UniGB-UTF16-H, Identity-H, ...): what each is, and its model, built from the
// compiled-in tables only when asked for.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

#include "cid_unicode.h"
#include "code_map.h"

namespace folioscan::cmap {

// What a predefined CMap is, known without building it.
struct PredefinedInfo {
  std::string_view name;
  Ordering ordering = Ordering::Identity;
  std::uint8_t supplement = 0;
  bool vertical = false;  // /WMode 1
  CodeText code_text = CodeText::None;
};

// The predefined CMap of that exact name (Identity-H and Identity-V included); none for
// any other name.
std::optional<PredefinedInfo> predefined_cmap_info(std::string_view name);

// The model of that CMap, decoded from the tables on each call (the caller keeps it for
// as long as it needs it); none for a name that is no predefined CMap.
std::optional<CodeMap> predefined_cmap(std::string_view name);

// All predefined CMaps, index 0 to predefined_cmap_count() - 1: the tables' CMaps
// sorted by name, then Identity-H and Identity-V.
std::size_t predefined_cmap_count();
PredefinedInfo predefined_cmap_at(std::size_t index);

}  // namespace folioscan::cmap
