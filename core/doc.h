// Opening a document: header and version, startxref, the cross-reference chain, the
// /Root check, the resolver and the security hand-off.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>

#include "cos.h"
#include "error.h"
#include "options.h"
#include "resolver.h"
#include "tounicode.h"

namespace folioscan {

struct ProgramText;

struct OpenDocument {
  Resolver resolver;
  std::string version;
  // Work shared by the pages of one call. Pages can all name one large stream, so
  // per-page bounds alone would let the work grow with the page count.
  std::uint64_t content_bytes = 0;  // page content handed to the interpreter so far
  std::unordered_map<std::uint32_t, bool> image_decodes = {};  // image object -> decodes
  // ToUnicode object -> its map (null when it cannot be read).
  std::unordered_map<std::uint32_t, std::shared_ptr<const ToUnicodeMap>> tounicode_maps = {};
  // Recovery: embedded font program object -> what it says (null when it cannot be
  // read), with the decoded bytes of the programs and the bytes of their tables so far.
  std::unordered_map<std::uint32_t, std::shared_ptr<const ProgramText>> font_programs = {};
  std::uint64_t font_program_bytes = 0;
  std::uint64_t font_program_table_bytes = 0;
  ExtractOptions options{};
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
