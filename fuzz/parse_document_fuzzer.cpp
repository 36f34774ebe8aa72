// Fuzz target for the whole strict parse: any bytes through parse_document, then the
// three writers (see document_fuzz.h).
#include "document_fuzz.h"
#include "fuzz_targets.h"

int folioscan::fuzz::parse_document(const std::uint8_t* bytes, std::size_t size) {
  return run_document(bytes, size, ExtractOptions{});
}

#ifndef FOLIOSCAN_FUZZ_REPLAY
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
  return folioscan::fuzz::parse_document(bytes, size);
}
#endif
