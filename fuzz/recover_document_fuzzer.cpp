// Fuzz target for the recovering parse: repairs must stay as safe as the strict reading
// (bounded, inside the buffer, every warning a rendered error; see document_fuzz.h).
#include "document_fuzz.h"
#include "fuzz_targets.h"

int folioscan::fuzz::recover_document(const std::uint8_t* bytes, std::size_t size) {
  return run_document(bytes, size, ExtractOptions{.recover = true});
}

#ifndef FOLIOSCAN_FUZZ_REPLAY
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
  return folioscan::fuzz::recover_document(bytes, size);
}
#endif
