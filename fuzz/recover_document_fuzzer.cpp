// Fuzz target for the recovering parse: any bytes through parse_document with repairs,
// then the three writers. Repairs must stay as safe as the strict reading: bounded,
// inside the buffer, and every warning a rendered error.
#include "fuzz_targets.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "extract.h"
#include "serialize.h"

namespace {

void recover_and_write(folioscan::ByteView data, folioscan::ByteView password) {
  const folioscan::ExtractOptions options{.recover = true};
  const folioscan::Result<folioscan::Document> doc = folioscan::parse_document(data, password, options);
  if (!doc) {
    if (doc.error().message.empty() || doc.error().display().empty()) __builtin_trap();
    return;
  }
  if (!doc->warnings) __builtin_trap();  // recovery always reports, if only an empty list
  for (const folioscan::Warning& warning : *doc->warnings) {
    if (warning.message.find(": ") == std::string::npos) __builtin_trap();
    if (warning.page && *warning.page >= doc->pages.size()) __builtin_trap();
  }
  (void)folioscan::document_to_json(*doc);
  (void)folioscan::document_to_markdown(*doc);
  (void)folioscan::document_to_html(*doc);
}

}  // namespace

int folioscan::fuzz::recover_document(const std::uint8_t* bytes, std::size_t size) {
  const folioscan::ByteView data(bytes, size);
  recover_and_write(data, {});
  const std::string_view text(reinterpret_cast<const char*>(bytes), size);
  if (text.find("/Encrypt") != std::string_view::npos) {
    recover_and_write(data, data.first(size < 2 ? size : 2));
  }
  return 0;
}

#ifndef FOLIOSCAN_FUZZ_REPLAY
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
  return folioscan::fuzz::recover_document(bytes, size);
}
#endif
