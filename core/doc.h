// Opening a document: header and version, startxref, the cross-reference chain, the
// /Root check, the resolver and the security hand-off.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>

#include "annotations.h"
#include "cos/object.h"
#include "error.h"
#include "options.h"
#include "resolver.h"

namespace folioscan {

// Everything one extraction call owns, in one place: the resolver (with the file's
// cross-reference table, trailer, security handler and object caches), the options of
// the call, the repairs it made, and the work shared by its pages. It lives for one
// call and is released before the result is returned.
struct OpenDocument {
  Resolver resolver;
  std::string version;
  ExtractOptions options = {};
  Diagnostics diagnostics = {};
  // Work shared by the pages of one call. Pages can all name one large stream, so
  // per-page bounds alone would let the work grow with the page count.
  std::uint64_t content_bytes = 0;  // page content handed to the interpreter so far
  std::uint64_t form_bytes = 0;     // form content painted so far (recovery)
  std::uint64_t replacement_bytes = 0;  // /ActualText handed to runs so far (recovery)
  // Recovery: /ActualText strings held by the resolver's cache -> their decoded text,
  // so that a span named again and again is decoded once.
  std::unordered_map<const String*, std::string> actual_texts = {};
  FieldValues field_values = {};  // recovery: form field values drawn as text
  std::unordered_map<std::uint32_t, bool> image_decodes = {};  // image object -> decodes

  // Files the repairs the resolver made since the last call under the current page.
  void collect_repairs();
};

[[nodiscard]] Result<OpenDocument> open_document(ByteView data, ByteView password,
                                                 const ExtractOptions& options = {});
// The trailer's /Root resolved to a dictionary, borrowed: valid as long as the document.
[[nodiscard]] Result<const Dictionary*> catalog_view(OpenDocument& doc);
// The catalog's /Version name, else "1.4": the version of a file without a header.
[[nodiscard]] std::string catalog_version(OpenDocument& doc);

// Header check alone: offset of "%PDF-" within the first 1024 bytes, and the version.
struct Header {
  std::size_t offset = 0;
  std::string version;
};
[[nodiscard]] Result<Header> find_header(ByteView data);
// Recovery: the first "%PDF-" anywhere in the file, or none.
[[nodiscard]] std::optional<Header> find_header_anywhere(ByteView data);

}  // namespace folioscan
