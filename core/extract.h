// The per-page extraction driver and the core parse entry shared by every output.
#pragma once

#include "cos.h"
#include "error.h"
#include "model.h"

namespace folioscan {

struct OpenDocument;

[[nodiscard]] Result<Document> extract_document(OpenDocument& doc);
// open_document, then extract_document; the open document is released before return.
[[nodiscard]] Result<Document> parse_document(ByteView data, ByteView password);

}  // namespace folioscan
