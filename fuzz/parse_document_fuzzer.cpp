// Fuzz target for the whole parse: any bytes through parse_document, then the three
// writers over whatever it returns. Encrypted inputs are parsed a second time with a
// password taken from their first two bytes, so the key checks see non-empty input.
#include "fuzz_targets.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "extract.h"
#include "serialize.h"

namespace {

void parse_and_write(folioscan::ByteView data, folioscan::ByteView password) {
  const folioscan::Result<folioscan::Document> doc = folioscan::parse_document(data, password);
  if (!doc) {
    // Every error must carry a message and render.
    if (doc.error().message.empty() || doc.error().display().empty()) __builtin_trap();
    return;
  }
  (void)folioscan::document_to_json(*doc);
  (void)folioscan::document_to_markdown(*doc);
  (void)folioscan::document_to_html(*doc);
}

}  // namespace

int folioscan::fuzz::parse_document(const std::uint8_t* bytes, std::size_t size) {
  const folioscan::ByteView data(bytes, size);
  parse_and_write(data, {});
  const std::string_view text(reinterpret_cast<const char*>(bytes), size);
  if (text.find("/Encrypt") != std::string_view::npos) {
    parse_and_write(data, data.first(size < 2 ? size : 2));
  }
  return 0;
}

#ifndef FOLIOSCAN_FUZZ_REPLAY
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
  return folioscan::fuzz::parse_document(bytes, size);
}
#endif
