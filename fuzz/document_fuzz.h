// The body shared by the two document targets: the whole parse (strict or recovering)
// and the three writers over whatever it returns. Encrypted inputs are parsed a second
// time with a password taken from their first two bytes, so the key checks see
// non-empty input.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "extract.h"
#include "serialize/serialize.h"

namespace folioscan::fuzz {

inline void parse_and_write(ByteView data, ByteView password, const ExtractOptions& options) {
  const Result<Document> doc = parse_document(data, password, options);
  if (!doc) {
    // Every error must carry a message and render.
    if (doc.error().message.empty() || doc.error().display().empty()) __builtin_trap();
    return;
  }
  // Recovery always reports its repairs, if only as an empty list; the strict reading never.
  if (doc->warnings.has_value() != options.recover) __builtin_trap();
  if (doc->warnings) {
    for (const Warning& warning : *doc->warnings) {
      if (warning.message.find(": ") == std::string::npos) __builtin_trap();
      if (warning.page && *warning.page >= doc->pages.size()) __builtin_trap();
    }
  }
  (void)document_to_json(*doc);
  (void)document_to_markdown(*doc);
  (void)document_to_html(*doc);
}

inline int run_document(const std::uint8_t* bytes, std::size_t size, const ExtractOptions& options) {
  const ByteView data(bytes, size);
  parse_and_write(data, {}, options);
  const std::string_view text(reinterpret_cast<const char*>(bytes), size);
  if (text.find("/Encrypt") != std::string_view::npos) {
    parse_and_write(data, data.first(size < 2 ? size : 2), options);
  }
  return 0;
}

}  // namespace folioscan::fuzz
