// Gathering a page's content: its content streams decoded and joined into one buffer,
// within the budget of content one call may decode.
#pragma once

#include <cstdint>

#include "../cos/object.h"
#include "../error.h"

namespace folioscan {

struct OpenDocument;
struct PageRecord;

// Content (of pages and forms) one call may interpret: doc.content_bytes counts it.
std::uint64_t content_budget(const OpenDocument& doc);
[[nodiscard]] Result<Bytes> gather_page_content(OpenDocument& doc, const PageRecord& page);

}  // namespace folioscan
