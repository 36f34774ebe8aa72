// Recovery of damaged files: a cross-reference table rebuilt from one scan of the file
// for object headers, the objects of the object streams that scan found, a header
// found anywhere in the file, and which load errors mean the table must be rebuilt.
// The strict reading never calls any of this.
#pragma once

#include <cstdint>
#include <unordered_set>
#include <vector>

#include "cos/object.h"
#include "error.h"
#include "object_stream.h"
#include "xref.h"

namespace folioscan {

struct RebuiltXref {
  XrefTable table;     // InFile entries only: offset of the header's first digit
  Dictionary trailer;  // always has /Root
  // Numbers whose (last) definition is a /Type /ObjStm stream, in file order of those
  // definitions: the order Resolver::adopt_object_streams takes them in, so later ones win.
  std::vector<std::uint32_t> object_streams;
};

// One linear scan for "N G obj" headers (unsigned integers separated by white space,
// "obj" followed by a delimiter, white space or the end; what precedes N is not looked
// at) and "trailer" keywords; the last definition of a number wins and generations
// select nothing. The dictionary after each mark is parsed within the bytes before the
// next mark (and at most limits::kMaxRepairDictionaryBytes), so the parses never
// overlap and the scan stays linear. Stream data are skipped: to where their /Length
// ends them when "endstream" follows there, else to the first "endstream" after them
// (none left: the data are scanned like the rest of the file). A /Length that is an
// object is read through the table of a first scan, so a file with such lengths is
// scanned twice; strings are scanned like the rest of the file.
// The trailer is the last "trailer" dictionary with /Root; else the last /Type /XRef
// stream dictionary with /Root, cut to /Root /Info /Encrypt /ID; else {/Root N G R}
// for the last /Type /Catalog found, with /Info /Encrypt /ID of the last trailer-like
// dictionary read. Errors (InvalidXref): "no objects found", "no trailer found", "too
// many xref entries" (past limits::kMaxXrefEntries numbers).
[[nodiscard]] Result<RebuiltXref> rebuild_xref(ByteView file);

// Adds a Compressed entry (stream, index) for each number listed in `parsed`, the
// header of object stream `stream_num`, unless the number has an InFile entry (objects
// written in the file win) or is an object stream that holds `stream_num` (directly or
// through a chain), or `stream_num` itself. An earlier Compressed entry is replaced, so
// among several object streams the last one added wins. New numbers past
// limits::kMaxXrefEntries entries are dropped. With `taken`, numbers in it keep their
// entries and the numbers given entries join it: streams added last first then leave
// each number to the last stream that holds it, as adding them in file order does.
void add_object_stream_entries(XrefTable& table, std::uint32_t stream_num, const ObjectStream& parsed,
                               std::unordered_set<std::uint32_t>* taken = nullptr);

// Whether an error of loading an object through its cross-reference entry means that
// the entry does not lead to the object's header, so a rebuilt table may find it:
// every InvalidXref, and the causes NoObjectHeader (parse_object_header) and
// ObjectNumberMismatch (the resolver: the offset holds another object).
[[nodiscard]] bool should_rebuild_after(const ParseError& error);

}  // namespace folioscan
