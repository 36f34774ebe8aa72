// Recovery's cross-reference rebuild: when the file's own table cannot be read, or its
// entries do not lead to their objects, the table is rebuilt from one linear scan of the
// file for "N G obj" headers, with the trailer found the same way.
#pragma once

#include <cstdint>
#include <vector>

#include "cos.h"
#include "error.h"
#include "resolver.h"
#include "xref.h"

namespace folioscan {

struct RebuiltXref {
  // In-file entries, the last definition of each number winning (incremental updates
  // append newer versions).
  XrefTable table;
  // The last trailer dictionary, or the last cross-reference stream's dictionary (its
  // /Root, /Info, /Encrypt and /ID), whichever comes later in the file; else a
  // dictionary naming the last /Type /Catalog object as /Root.
  Dictionary trailer;
  // Objects of the table whose dictionary says /Type /ObjStm, in file order: their
  // contents are added to the table once they can be decoded (add_object_stream_entries).
  std::vector<std::uint32_t> object_streams;
};

// One pass over the file, then one bounded parse of each object's own bytes (up to the
// next header) and of each trailer candidate: linear in the file size whatever it holds.
// Fails with InvalidXref "no objects found" when there is no header, "no trailer found"
// when neither a trailer with /Root nor a catalog exists, and "too many xref entries"
// past the bound of the cross-reference readers.
[[nodiscard]] Result<RebuiltXref> rebuild_xref(ByteView file);

// Adds an entry (in object stream `stream_num`, at its index) for each object the parsed
// stream holds that the table does not have in the file: an object written directly in
// the file takes precedence, and a stream never gets an entry for itself.
void add_object_stream_entries(XrefTable& table, std::uint32_t stream_num, const ObjectStream& parsed);

// Whether an error of loading an object through its entry means the entry does not lead
// to the object's header (so a rebuilt table may), rather than a broken object.
[[nodiscard]] bool should_rebuild_after(const ParseError& error);

}  // namespace folioscan
