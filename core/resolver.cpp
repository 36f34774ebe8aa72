// Loading indirect objects: from file offsets (with decryption) or object streams,
// each parsed at most once and cached; object stream headers parsed once and shared.
#include "resolver.h"

#include <algorithm>

#include "cos/parser.h"
#include "filter/filter.h"
#include "input_limits.h"
#include "lex.h"
#include "repair.h"

namespace folioscan {
namespace {

constexpr auto kObj = ParseErrorKind::InvalidObject;

// The two load errors that depend on what else is being loaded, not on the object.
bool depends_on_loads_under_way(const ParseError& error) {
  return error.cause == ParseErrorCause::CircularReference ||
         error.cause == ParseErrorCause::LoadsNestedTooDeeply;
}

}  // namespace

Resolver::Resolver(ByteView file, XrefTable xref, Dictionary trailer)
    : file_(file), xref_(std::move(xref)), trailer_(std::move(trailer)), endstream_search_(file) {}

void Resolver::install_security(SecurityHandler handler, std::optional<std::uint32_t> encrypt_obj) {
  security_ = std::move(handler);
  encrypt_obj_ = encrypt_obj;
}

Result<Object> Resolver::get(std::uint32_t num) {
  const Object* obj = TRY(fetch(num));
  return *obj;
}

Result<const Object*> Resolver::fetch(std::uint32_t num) {
  if (auto it = objects_.find(num); it != objects_.end()) return &it->second;
  return load(num);
}

Result<const Object*> Resolver::load(std::uint32_t num) {
  const XrefEntry* found = xref_.find(num);
  if ((found == nullptr || found->kind == XrefKind::Free) && !pending_object_streams_.empty()) {
    if (adopt_pending_for(num, found)) found = xref_.find(num);
  }
  if (found == nullptr || found->kind == XrefKind::Free) {
    return fail(ParseErrorKind::ObjectNotFound, "no such object");
  }
  // A request for an object whose load is under way is a cycle (a stream whose
  // /Length is itself, an object stream stored inside itself): fail it instead of
  // recursing forever. Chains of distinct objects are bounded too.
  if (auto it = failed_.find(num); it != failed_.end()) return std::unexpected(it->second);
  if (std::find(loading_.begin(), loading_.end(), num) != loading_.end()) {
    return fail(kObj, ParseErrorCause::CircularReference, "circular object reference");
  }
  if (loading_.size() >= limits::kMaxLoadNesting) {
    return fail(kObj, ParseErrorCause::LoadsNestedTooDeeply, "object references nested too deeply");
  }
  const XrefEntry entry = *found;
  loading_.push_back(num);
  Result<Object> loaded = load_entry(num, entry);
  if (!loaded && recover_ && entry.kind == XrefKind::InFile && should_rebuild_after(loaded.error())) {
    loaded = reload_after_rebuild(num, std::move(loaded).error());
  }
  if (!loaded && recover_ && rebuilt_) loaded = load_instead(num, xref_.find(num), std::move(loaded).error());
  loading_.pop_back();
  if (!loaded) {
    // Failures caused by the loads in progress may not recur in another context.
    if (!depends_on_loads_under_way(loaded.error())) failed_.emplace(num, loaded.error());
    return std::unexpected(std::move(loaded).error());
  }
  auto [it, inserted] = objects_.emplace(num, std::move(*loaded));
  return &it->second;
}

Result<Object> Resolver::load_entry(std::uint32_t num, const XrefEntry& entry) {
  return entry.kind == XrefKind::InFile ? load_in_file(num, entry) : load_compressed(entry);
}

Result<Object> Resolver::reload_after_rebuild(std::uint32_t num, ParseError error) {
  if (rebuilt_) return std::unexpected(std::move(error));
  Result<RebuiltXref> rebuilt = rebuild_xref(file_);
  if (!rebuilt) return std::unexpected(std::move(error));
  note_repair(std::move(error));
  use_rebuilt_table(std::move(rebuilt->table), rebuilt->object_streams);
  const XrefEntry* found = xref_.find(num);
  if ((found == nullptr || found->kind == XrefKind::Free) && !pending_object_streams_.empty()) {
    if (adopt_pending_for(num, found)) found = xref_.find(num);
  }
  if (found == nullptr || found->kind == XrefKind::Free) {
    return fail(ParseErrorKind::ObjectNotFound, "no such object");
  }
  return load_entry(num, *found);
}

namespace {

// Whether an in-file entry leads to the header of its own object.
bool leads_to_header(ByteView file, std::uint32_t num, const XrefEntry& entry) {
  if (entry.offset >= file.size()) return false;
  Lexer lexer(file, static_cast<std::size_t>(entry.offset));
  const auto header = parse_object_header(lexer);
  return header && header->num == num;
}

}  // namespace

void Resolver::use_rebuilt_table(XrefTable table, const std::vector<std::uint32_t>& object_streams) {
  // Entries of the file's own table that still lead to their objects are kept: a scan
  // may still take stream data for objects where no "endstream" ends them. Compressed
  // entries cannot be checked here and are kept as they are, with the scan's entry of
  // the number to fall back on.
  XrefTableBuilder kept;
  for (const auto& [num, entry] : xref_) {
    if (entry.kind == XrefKind::Compressed ||
        (entry.kind == XrefKind::InFile && leads_to_header(file_, num, entry))) {
      kept.add(num, entry);
      if (entry.kind != XrefKind::Compressed) continue;
      if (const XrefEntry* scanned = table.find(num); scanned != nullptr && scanned->kind == XrefKind::InFile) {
        scanned_entries_.emplace(num, *scanned);
      }
    }
  }
  table.merge(kept.finish(XrefKeep::First), XrefKeep::Last);
  xref_ = std::move(table);
  adopt_object_streams(object_streams);
}

void Resolver::adopt_object_streams(const std::vector<std::uint32_t>& object_streams) {
  rebuilt_ = true;
  // Loads that failed through the old entries may succeed through the new ones.
  failed_.clear();
  failed_object_streams_.clear();
  pending_object_streams_ = object_streams;
  adopted_numbers_.clear();
}

bool Resolver::adopt_pending_for(std::uint32_t num, const XrefEntry* before) {
  // Decoding an object stream loads objects, which may miss too: those wait for the
  // streams this call has not reached.
  if (adopting_ || security_pending_) return false;
  const std::optional<XrefEntry> old = before ? std::optional<XrefEntry>(*before) : std::nullopt;
  const auto changed = [&] {
    const XrefEntry* now = xref_.find(num);
    if (now == nullptr || now->kind == XrefKind::Free) return false;
    return !old || now->kind != old->kind || now->stream != old->stream || now->offset != old->offset;
  };
  adopting_ = true;
  while (!pending_object_streams_.empty() && !changed()) {
    const std::uint32_t stream = pending_object_streams_.back();
    pending_object_streams_.pop_back();
    const auto parsed = object_stream(stream);
    if (!parsed) {
      note_repair(parsed.error());
      continue;
    }
    add_object_stream_entries(xref_, stream, **parsed, &adopted_numbers_);
  }
  adopting_ = false;
  return changed();
}

Result<Object> Resolver::load_instead(std::uint32_t num, const XrefEntry* entry, ParseError error) {
  if (entry == nullptr || entry->kind != XrefKind::Compressed) return std::unexpected(std::move(error));
  if (const auto scanned = scanned_entries_.find(num); scanned != scanned_entries_.end()) {
    const XrefEntry instead = scanned->second;
    scanned_entries_.erase(scanned);
    note_repair(std::move(error));
    xref_[num] = instead;
    return load_entry(num, instead);
  }
  if (!pending_object_streams_.empty() && adopt_pending_for(num, entry)) {
    note_repair(std::move(error));
    return load_entry(num, *xref_.find(num));
  }
  return std::unexpected(std::move(error));
}

Result<Object> Resolver::load_in_file(std::uint32_t num, const XrefEntry& entry) {
  const std::size_t start = static_cast<std::size_t>(std::min<std::uint64_t>(entry.offset, file_.size()));
  Lexer lexer(file_, start);
  const ObjectHeader header = TRY(parse_object_header(lexer));
  if (header.num != num) return fail(kObj, ParseErrorCause::ObjectNumberMismatch, "object number mismatch");
  Object obj = TRY(parse_object(lexer));
  if (auto* dict = obj.as_dict()) {
    std::optional<std::uint64_t> length;
    if (const Object* l = dict->lookup("Length")) {
      const Object* value = l;
      if (const auto* ref = l->as_ref()) {
        auto target = fetch(ref->num);  // an error here just means no declared length
        value = target ? *target : nullptr;
      }
      if (value != nullptr) {
        if (const auto* i = value->as_integer(); i != nullptr && *i >= 0) {
          length = static_cast<std::uint64_t>(*i);
        }
      }
    }
    // The data are measured before they are copied: streams whose end is never found
    // run to the end of the file, and the copies of all of them are bounded.
    if (const auto extent = find_stream_data(lexer, length, &endstream_search_)) {
      stream_bytes_ += extent->end - extent->start;
      if (stream_bytes_ > limits::kMaxStreamCopiesOfFile * std::uint64_t{file_.size()}) {
        return fail(kObj, "stream data exceeds the file");
      }
      const auto at = [this](std::size_t pos) { return file_.begin() + static_cast<std::ptrdiff_t>(pos); };
      obj = Object(Stream{std::move(*dict), Bytes(at(extent->start), at(extent->end))});
    }
  }
  if (security_ && (!encrypt_obj_ || *encrypt_obj_ != num)) {
    obj = decrypt_object(*security_, num, static_cast<std::uint16_t>(header.gen), std::move(obj));
  }
  return obj;
}

Result<std::shared_ptr<const ObjectStream>> Resolver::object_stream(std::uint32_t num) {
  if (auto it = object_streams_.find(num); it != object_streams_.end()) return it->second;
  if (auto it = failed_object_streams_.find(num); it != failed_object_streams_.end()) {
    return std::unexpected(it->second);
  }
  const Object* obj = TRY(fetch(num));
  // From here on a failure depends on the stream alone: it is remembered, so that each
  // object stored in a broken stream does not decode it again.
  const auto failed = [&](ParseError error) -> Result<std::shared_ptr<const ObjectStream>> {
    failed_object_streams_.emplace(num, error);
    return std::unexpected(std::move(error));
  };
  const Stream* stream = obj->as_stream();
  if (stream == nullptr) return failed(ParseError{"ObjStm is not a stream", kObj});
  Result<Bytes> decoded = decode(*stream);
  if (!decoded) return failed(std::move(decoded).error());
  Result<ObjectStream> read = parse_object_stream(stream->dict, std::move(*decoded));
  if (!read) return failed(std::move(read).error());
  ObjectStream parsed = std::move(*read);
  if (parsed.data.size() > limits::kMaxCachedObjectStreamBytes - object_stream_bytes_) {
    return failed(ParseError{"object streams too large", kObj});
  }
  object_stream_bytes_ += parsed.data.size();
  auto shared = std::make_shared<const ObjectStream>(std::move(parsed));
  object_streams_.emplace(num, shared);
  return shared;
}

Result<Object> Resolver::load_compressed(const XrefEntry& entry) {
  const auto stream = TRY(object_stream(entry.stream));
  return object_at(*stream, static_cast<std::size_t>(entry.offset));
}

namespace {

bool holds_reference(const Object& value) {
  if (value.as_ref() != nullptr) return true;
  if (const auto* arr = value.as_array()) {
    for (const Object& e : *arr) {
      if (e.as_ref() != nullptr) return true;
    }
  }
  return false;
}

constexpr std::string_view kFilterKeys[] = {"Filter", "F", "DecodeParms", "DP"};

}  // namespace

const Dictionary& Resolver::filter_keys(const Stream& stream, Dictionary& storage) {
  bool indirect = false;
  for (const auto key : kFilterKeys) {
    if (const Object* v = stream.dict.lookup(key); v != nullptr && holds_reference(*v)) indirect = true;
  }
  if (!indirect) return stream.dict;
  // Only the filter keys matter to the pipeline: rebuild just those, resolved. A
  // reference that cannot be resolved stays as it is and counts as absent there.
  for (const auto key : kFilterKeys) {
    const Object* v = stream.dict.lookup(key);
    if (v == nullptr) continue;
    Object value = *v;
    if (const auto* ref = value.as_ref()) {
      if (auto target = fetch(ref->num)) value = **target;
    }
    if (auto* arr = value.as_array()) {
      for (Object& e : *arr) {
        if (const auto* ref = e.as_ref()) {
          if (auto target = fetch(ref->num)) e = **target;
        }
      }
    }
    storage.entries.push_back(DictEntry{std::string(key), std::move(value)});
  }
  return storage;
}

Result<Bytes> Resolver::decode(const Stream& stream) { return decode(stream, limits::kMaxDecodedBytes); }

Result<Bytes> Resolver::decode(const Stream& stream, std::uint64_t max_output, bool* over_bound) {
  Dictionary storage;
  const Dictionary& keys = filter_keys(stream, storage);
  if (recover_) {
    RecoveredBytes recovered = decode_stream_recovering(keys, stream.data, max_output);
    if (recovered.fault) note_repair(std::move(*recovered.fault));
    if (over_bound != nullptr) *over_bound = recovered.over_bound;
    return std::move(recovered.data);
  }
  return decode_stream(keys, stream.data, max_output);
}

Result<void> Resolver::check_decodes(const Stream& stream) {
  Dictionary storage;
  return check_stream_decodes(filter_keys(stream, storage), stream.data);
}

Result<Object> Resolver::resolve(const Object& obj) {
  if (const auto* ref = obj.as_ref()) return get(ref->num);
  return obj;
}

Result<const Object*> Resolver::resolve_view(const Object& obj) {
  if (const auto* ref = obj.as_ref()) return fetch(ref->num);
  return &obj;
}

Result<const Dictionary*> Resolver::dictionary_view(const Object& obj) {
  const Object* target = TRY(resolve_view(obj));
  if (const auto* dict = target->as_dict()) return dict;
  if (const auto* stream = target->as_stream()) return &stream->dict;
  return fail(kObj, "expected dictionary");
}

Result<Dictionary> Resolver::get_dictionary(const Object& obj) {
  const Dictionary* dict = TRY(dictionary_view(obj));
  return *dict;
}

}  // namespace folioscan
