// The cross-reference table and the loader of its chain of sections: classic "xref"
// tables and cross-reference streams, newest first through /Prev (and /XRefStm).
#pragma once

#include <cstdint>

#include "cos/object.h"
#include "error.h"
#include "xref_table.h"

namespace folioscan {

class Lexer;

struct XrefSection {
  XrefTable table;
  Dictionary trailer;  // the section's trailer (or the xref stream's dictionary)
};

// Follows the chain from the startxref offset; returns the merged table (first section
// wins per object number) and the newest non-empty trailer.
[[nodiscard]] Result<XrefSection> load_xref_chain(ByteView file, std::uint64_t startxref);
// After the keyword "xref": subsections up to "trailer" and its dictionary.
[[nodiscard]] Result<XrefSection> read_classic_section(Lexer& lexer);
// A cross-reference stream object at `offset`.
[[nodiscard]] Result<XrefSection> read_xref_stream(ByteView file, std::uint64_t offset);

}  // namespace folioscan
