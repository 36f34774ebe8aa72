// Opening a document: header and version, startxref, the cross-reference chain, the
// /Root check, the resolver and the security hand-off.
#pragma once

#include <string>

#include "cos.h"
#include "error.h"
#include "resolver.h"

namespace folioscan {

struct OpenDocument {
  Resolver resolver;
  std::string version;
};

[[nodiscard]] Result<OpenDocument> open_document(ByteView data, ByteView password);
// The trailer's /Root resolved to a dictionary.
[[nodiscard]] Result<Dictionary> catalog(OpenDocument& doc);
// Borrowed form of catalog: valid as long as the document.
[[nodiscard]] Result<const Dictionary*> catalog_view(OpenDocument& doc);

// Header check alone: offset of "%PDF-" within the first 1024 bytes, and the version.
struct Header {
  std::size_t offset = 0;
  std::string version;
};
[[nodiscard]] Result<Header> find_header(ByteView data);

}  // namespace folioscan
