// Opening a document: the "%PDF-" header and version, the last startxref, the
// cross-reference chain, the /Root check, the resolver and the security hand-off.
#include "doc.h"

#include <cstring>

#include "crypt.h"
#include "lex.h"
#include "text.h"
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

Result<Header> find_header(ByteView data) {
  constexpr std::string_view kMarker = "%PDF-";
  const std::size_t window = std::min<std::size_t>(data.size(), 1024);
  for (std::size_t i = 0; i + kMarker.size() <= window; ++i) {
    if (std::memcmp(data.data() + i, kMarker.data(), kMarker.size()) != 0) continue;
    const std::size_t start = i + kMarker.size();
    std::size_t end = start;
    while (end < data.size() && end - start < 8) {
      const std::uint8_t b = data[end];
      if (b == '\t' || b == '\n' || b == '\r' || b == ' ') break;
      ++end;
    }
    return Header{i, utf8_lossy(data.subspan(start, end - start))};
  }
  return fail(ParseErrorKind::InvalidHeader, "no %PDF- header");
}

Result<OpenDocument> open_document(ByteView data, ByteView password) {
  Header header = TRY(find_header(data));
  const auto after = find_last_startxref(data);
  if (!after) return fail(ParseErrorKind::InvalidXref, "no startxref");
  Lexer lexer(data, *after);
  const std::uint32_t startxref = TRY(lexer.read_u32(ParseErrorKind::InvalidXref));
  XrefSection chain = TRY(load_xref_chain(data, startxref));
  if (chain.trailer.lookup("Root") == nullptr) {
    return fail(ParseErrorKind::MissingTrailer, "trailer has no /Root");
  }
  OpenDocument doc{Resolver(data, std::move(chain.table), std::move(chain.trailer)),
                   std::move(header.version)};

  if (const Object* encrypt = doc.resolver.trailer().lookup("Encrypt")) {
    std::optional<std::uint32_t> encrypt_obj;
    if (const auto* ref = encrypt->as_ref()) encrypt_obj = ref->num;
    // Loaded before any handler is installed, so the dictionary is read in clear.
    const Dictionary* dict = TRY(doc.resolver.dictionary_view(*encrypt));
    ByteView id0;
    if (const Object* id = doc.resolver.trailer().lookup("ID")) {
      if (const auto* arr = id->as_array(); arr != nullptr && !arr->empty()) {
        if (const auto* s = arr->front().as_string()) id0 = s->bytes;
      }
    }
    if (auto handler = construct_security_handler(*dict, id0, password)) {
      doc.resolver.install_security(std::move(*handler), encrypt_obj);
    }
  }
  return doc;
}

Result<const Dictionary*> catalog_view(OpenDocument& doc) {
  const Object* root = doc.resolver.trailer().lookup("Root");
  if (root == nullptr) return fail(ParseErrorKind::MissingTrailer, "trailer has no /Root");
  return doc.resolver.dictionary_view(*root);
}

Result<Dictionary> catalog(OpenDocument& doc) {
  const Dictionary* root = TRY(catalog_view(doc));
  return *root;
}

}  // namespace folioscan
