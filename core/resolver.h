// Indirect objects by number: from the file (decrypted when a handler is installed) or
// from object streams, parsed once and cached.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include "cos/object.h"
#include "cos/parser.h"
#include "crypt/decrypt.h"
#include "error.h"
#include "object_stream.h"
#include "xref.h"

namespace folioscan {

class Resolver {
 public:
  Resolver(ByteView file, XrefTable xref, Dictionary trailer);

  // A copy of object `num` (generation ignored).
  [[nodiscard]] Result<Object> get(std::uint32_t num);
  // The cached object itself, borrowed: valid as long as the resolver. Saves copying
  // large streams where the caller only reads.
  [[nodiscard]] Result<const Object*> fetch(std::uint32_t num);
  // A Reference's target (one level), else a copy of the value.
  [[nodiscard]] Result<Object> resolve(const Object& obj);
  // Borrowed form of resolve: the cached target, or `obj` itself when not a reference.
  [[nodiscard]] Result<const Object*> resolve_view(const Object& obj);
  // resolve, then a Dictionary (or a Stream's dictionary); else "expected dictionary".
  [[nodiscard]] Result<Dictionary> get_dictionary(const Object& obj);
  // Borrowed form of get_dictionary.
  [[nodiscard]] Result<const Dictionary*> dictionary_view(const Object& obj);

  // The stream's decoded data. /Filter and /DecodeParms (and their abbreviations) may
  // be indirect, or arrays with indirect elements, in real files; they are resolved
  // here, one level, before the filter pipeline runs.
  [[nodiscard]] Result<Bytes> decode(const Stream& stream);
  // The same with each filter stage's output bounded by `max_output` instead of
  // limits::kMaxDecodedBytes: a reader with a lower bound of its own stops there. In
  // recovery `over_bound`, when given, says whether a stage stopped at that bound.
  [[nodiscard]] Result<Bytes> decode(const Stream& stream, std::uint64_t max_output, bool* over_bound = nullptr);
  // The same decoding, kept only as far as its success or error is concerned.
  [[nodiscard]] Result<void> check_decodes(const Stream& stream);

  const Dictionary& trailer() const { return trailer_; }
  const XrefTable& xref() const { return xref_; }
  ByteView file() const { return file_; }

  void install_security(SecurityHandler handler, std::optional<std::uint32_t> encrypt_obj);

  // Recovery: streams decode as far as they can (decode never fails), and an object
  // whose entry does not lead to its header makes the table be rebuilt from a scan of
  // the file, once. Each repair is noted; take_repairs hands the notes over.
  void enable_recovery() { recover_ = true; }
  std::vector<ParseError> take_repairs() { return std::exchange(repairs_, {}); }
  void note_repair(ParseError error) { repairs_.push_back(std::move(error)); }
  // Replaces the table by one rebuilt from the file (see repair.h), with the contents
  // of the object streams it lists; nothing is rebuilt twice. Entries of the old table
  // that are kept over the scan's are left for the scan's when they fail to load.
  void use_rebuilt_table(XrefTable table, const std::vector<std::uint32_t>& object_streams);
  // The table this resolver was made with is a rebuilt one: the contents of the object
  // streams it lists (in file order) are added as they are needed. An object the table
  // lacks, or whose entry fails to load, has the streams decoded (decrypted: not while
  // the security handler is pending), the last first, until one of them holds it; each one
  // that cannot be read is noted. Unused object streams are never decoded.
  void adopt_object_streams(const std::vector<std::uint32_t>& object_streams);
  // Whether the table has been rebuilt from the file.
  bool rebuilt() const { return rebuilt_; }
  // Recovery: while the security handler is being looked for, object streams are not
  // decoded (they would be read undecrypted); the open sets this around that search.
  void set_security_pending(bool pending) { security_pending_ = pending; }

 private:
  // The stream's dictionary, or `storage` filled with its filter keys resolved when
  // any of them is indirect.
  const Dictionary& filter_keys(const Stream& stream, Dictionary& storage);
  Result<const Object*> load(std::uint32_t num);
  Result<std::shared_ptr<const ObjectStream>> object_stream(std::uint32_t num);
  Result<Object> load_entry(std::uint32_t num, const XrefEntry& entry);
  // Recovery's answer to an entry that does not lead to its object: rebuild the table
  // (once) and load the object again from it.
  Result<Object> reload_after_rebuild(std::uint32_t num, ParseError error);
  Result<Object> load_in_file(std::uint32_t num, const XrefEntry& entry);
  Result<Object> load_compressed(const XrefEntry& entry);
  // Recovery: after `num` failed to load through `entry` (or has none), the scan's own
  // entry, or the entry the object streams not yet read give it; `error` when neither
  // helps.
  Result<Object> load_instead(std::uint32_t num, const XrefEntry* entry, ParseError error);
  // Decodes pending object streams, the last first, until `num` has an entry that
  // differs from `before`; whether it has one then.
  bool adopt_pending_for(std::uint32_t num, const XrefEntry* before);

  ByteView file_;
  XrefTable xref_;
  Dictionary trailer_;
  std::optional<SecurityHandler> security_;
  std::optional<std::uint32_t> encrypt_obj_;
  // Node-based and never erased: the borrowed pointers fetch and the views hand out
  // stay valid while more objects are loaded.
  std::unordered_map<std::uint32_t, Object> objects_;
  // Objects whose load failed, with the error: fonts, images and page attributes that
  // cannot be read are skipped, not fatal, so a broken object named N times would
  // otherwise be parsed N times (a 4 MB broken array named 20,000 times: 80 GB parsed).
  std::unordered_map<std::uint32_t, ParseError> failed_;
  std::unordered_map<std::uint32_t, ParseError> failed_object_streams_;  // same, for decoding
  std::unordered_map<std::uint32_t, std::shared_ptr<const ObjectStream>> object_streams_;
  // Objects whose load is in progress, innermost last: a request for one of them is a
  // cycle. At most kMaxLoadNesting long, so a linear search beats hashing.
  std::vector<std::uint32_t> loading_;
  // Bytes held by the cache: raw stream data copied from the file, and decoded object
  // streams. Both are bounded (see load_in_file and object_stream).
  std::uint64_t stream_bytes_ = 0;
  EndstreamSearch endstream_search_;
  std::uint64_t object_stream_bytes_ = 0;
  bool recover_ = false;
  bool rebuilt_ = false;
  // Object streams of the rebuilt table not read yet, in file order, and the numbers
  // the ones read have given entries (later streams win over earlier ones).
  std::vector<std::uint32_t> pending_object_streams_;
  std::unordered_set<std::uint32_t> adopted_numbers_;
  bool security_pending_ = false;
  bool adopting_ = false;
  // Entries the scan found for numbers whose entry of the old table was kept instead.
  std::unordered_map<std::uint32_t, XrefEntry> scanned_entries_;
  std::vector<ParseError> repairs_;
};

}  // namespace folioscan
