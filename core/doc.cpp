// Opening a document: the "%PDF-" header and version, the last startxref, the
// cross-reference chain, the /Root check, the resolver and the security hand-off.
#include "doc.h"

#include <cstring>
#include <string>

#include "crypt/security_handler.h"
#include "lex.h"
#include "repair.h"
#include "utf8.h"
#include "xref.h"

namespace folioscan {
namespace {

constexpr std::string_view kStartxref = "startxref";

// Offset just after the last "startxref" in the whole file.
std::optional<std::size_t> find_last_startxref(ByteView data) {
  if (data.size() < kStartxref.size()) return std::nullopt;
  for (std::size_t i = data.size() - kStartxref.size() + 1; i-- > 0;) {
    if (data[i] == 's' && std::memcmp(data.data() + i, kStartxref.data(), kStartxref.size()) == 0) {
      return i + kStartxref.size();
    }
  }
  return std::nullopt;
}

}  // namespace

namespace {

constexpr std::string_view kMarker = "%PDF-";

// The header whose marker starts at `i`: the version is up to 8 bytes before white space.
Header header_at(ByteView data, std::size_t i) {
  const std::size_t start = i + kMarker.size();
  std::size_t end = start;
  while (end < data.size() && end - start < 8) {
    const std::uint8_t b = data[end];
    if (b == '\t' || b == '\n' || b == '\r' || b == ' ') break;
    ++end;
  }
  return Header{i, utf8_lossy(data.subspan(start, end - start))};
}

}  // namespace

Result<Header> find_header(ByteView data) {
  const std::size_t window = std::min<std::size_t>(data.size(), 1024);
  for (std::size_t i = 0; i + kMarker.size() <= window; ++i) {
    if (std::memcmp(data.data() + i, kMarker.data(), kMarker.size()) != 0) continue;
    return header_at(data, i);
  }
  return fail(ParseErrorKind::InvalidHeader, "no %PDF- header");
}

std::optional<Header> find_header_anywhere(ByteView data) {
  const auto* begin = reinterpret_cast<const char*>(data.data());
  const std::string_view text(begin, data.size());
  const std::size_t at = text.find(kMarker);
  if (at == std::string_view::npos) return std::nullopt;
  return header_at(data, at);
}

namespace {

// The newest cross-reference chain from the last startxref, with its trailer's /Root.
Result<XrefSection> load_chain(ByteView data) {
  const auto after = find_last_startxref(data);
  if (!after) return fail(ParseErrorKind::InvalidXref, "no startxref");
  Lexer lexer(data, *after);
  const std::uint32_t startxref = TRY(lexer.read_u32(ParseErrorKind::InvalidXref));
  XrefSection chain = TRY(load_xref_chain(data, startxref));
  if (chain.trailer.lookup("Root") == nullptr) {
    return fail(ParseErrorKind::MissingTrailer, "trailer has no /Root");
  }
  return chain;
}

struct EncryptionInputs {
  const Dictionary* dict = nullptr;  // nullptr: the file is not encrypted
  std::optional<std::uint32_t> object;
  ByteView id0;
};

// The trailer's /Encrypt dictionary, read in clear (before any handler is installed),
// and the first /ID string.
Result<EncryptionInputs> encryption_inputs(OpenDocument& doc) {
  EncryptionInputs in;
  const Object* encrypt = doc.resolver.trailer().lookup("Encrypt");
  if (encrypt == nullptr) return in;
  if (const auto* ref = encrypt->as_ref()) in.object = ref->num;
  in.dict = TRY(doc.resolver.dictionary_view(*encrypt));
  if (const Object* id = doc.resolver.trailer().lookup("ID")) {
    if (const auto* arr = id->as_array(); arr != nullptr && !arr->empty()) {
      if (const auto* s = arr->front().as_string()) in.id0 = s->bytes;
    }
  }
  return in;
}

// encryption_inputs, with the /Encrypt object named when it is not found: in a file
// whose table is rebuilt, an encryption dictionary stored in an object stream cannot be
// read (the stream is encrypted with a key that dictionary gives).
Result<EncryptionInputs> recovering_encryption_inputs(OpenDocument& doc) {
  auto in = encryption_inputs(doc);
  if (in || in.error().kind != ParseErrorKind::ObjectNotFound) return in;
  const auto* ref = doc.resolver.trailer().lookup("Encrypt")->as_ref();
  if (ref == nullptr) return in;
  ParseError error = std::move(in).error();
  error.message += ": " + std::to_string(ref->num) + " " + std::to_string(ref->gen) + " R, the /Encrypt dictionary";
  return std::unexpected(std::move(error));
}

// Recovery's opening: a header anywhere or none, a chain that fails replaced by a table
// rebuilt from the file, the revisions and options of encryption the strict reading
// leaves out, and a wrong password reported instead of read as garbage.
Result<OpenDocument> open_recovering(ByteView data, ByteView password, const ExtractOptions& options) {
  std::vector<ParseError> repairs;
  std::optional<std::string> version;
  if (auto header = find_header(data)) {
    version = std::move(header->version);
  } else {
    repairs.push_back(std::move(header).error());
    if (auto anywhere = find_header_anywhere(data)) version = std::move(anywhere->version);
  }
  Result<XrefSection> chain = load_chain(data);
  std::optional<RebuiltXref> rebuilt;
  if (!chain) {
    repairs.push_back(std::move(chain).error());
    rebuilt = TRY(rebuild_xref(data));
    chain = XrefSection{std::move(rebuilt->table), std::move(rebuilt->trailer)};
  }
  OpenDocument doc{Resolver(data, std::move(chain->table), std::move(chain->trailer)),
                   version.value_or(std::string()), options};
  doc.resolver.enable_recovery();
  if (rebuilt) doc.resolver.adopt_object_streams(rebuilt->object_streams);
  doc.resolver.set_security_pending(true);
  const EncryptionInputs encryption = TRY(recovering_encryption_inputs(doc));
  if (encryption.dict != nullptr) {
    auto handler = TRY(construct_security_handler_recovering(*encryption.dict, encryption.id0, password, &repairs));
    if (handler) doc.resolver.install_security(std::move(*handler), encryption.object);
  }
  doc.resolver.set_security_pending(false);
  // A chain that reads but whose /Root does not lead to a catalog: the entries may be
  // wrong where the objects themselves are sound. When loading the catalog rebuilt the
  // table already, the file has been scanned once and that is the answer.
  if (!rebuilt) {
    if (auto root = catalog_view(doc); !root && !doc.resolver.rebuilt()) {
      if (auto scanned = rebuild_xref(data)) {
        repairs.push_back(std::move(root).error());
        doc.resolver.use_rebuilt_table(std::move(scanned->table), scanned->object_streams);
      }
    }
  }
  if (!version) doc.version = catalog_version(doc);
  for (ParseError& repair : repairs) doc.diagnostics.warn(repair);
  doc.collect_repairs();
  return doc;
}

}  // namespace

Result<OpenDocument> open_document(ByteView data, ByteView password, const ExtractOptions& options) {
  if (options.recover) return open_recovering(data, password, options);
  Header header = TRY(find_header(data));
  XrefSection chain = TRY(load_chain(data));
  OpenDocument doc{Resolver(data, std::move(chain.table), std::move(chain.trailer)),
                   std::move(header.version), options};
  const EncryptionInputs encryption = TRY(encryption_inputs(doc));
  if (encryption.dict != nullptr) {
    if (auto handler = construct_security_handler(*encryption.dict, encryption.id0, password)) {
      doc.resolver.install_security(std::move(*handler), encryption.object);
    }
  }
  return doc;
}

void OpenDocument::collect_repairs() {
  for (const ParseError& repair : resolver.take_repairs()) diagnostics.warn(repair);
}

Result<const Dictionary*> catalog_view(OpenDocument& doc) {
  const Object* root = doc.resolver.trailer().lookup("Root");
  if (root == nullptr) return fail(ParseErrorKind::MissingTrailer, "trailer has no /Root");
  return doc.resolver.dictionary_view(*root);
}

std::string catalog_version(OpenDocument& doc) {
  if (auto root = catalog_view(doc)) {
    if (const Object* v = (*root)->lookup("Version")) {
      if (auto resolved = doc.resolver.resolve_view(*v)) {
        if (const auto* name = (*resolved)->as_name()) return name->text;
      }
    }
  }
  return "1.4";
}

}  // namespace folioscan
