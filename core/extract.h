// The per-page extraction driver and the core parse entry shared by every output.
#pragma once

#include "cos/object.h"
#include "error.h"
#include "model.h"
#include "options.h"

namespace folioscan {

struct OpenDocument;

[[nodiscard]] Result<Document> extract_document(OpenDocument& doc);
// open_document, then extract_document; the open document is released before return.
// The default options give the strict reading; with `recover` the result carries the
// warnings of the repairs made.
[[nodiscard]] Result<Document> parse_document(ByteView data, ByteView password,
                                              const ExtractOptions& options = {});

}  // namespace folioscan
