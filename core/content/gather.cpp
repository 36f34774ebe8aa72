// Gathering a page's content: the streams of /Contents decoded, each distinct stream
// once, and joined with a line end after each, within the call's content budget.
#include "gather.h"

#include <unordered_map>
#include <utility>
#include <vector>

#include "../input_limits.h"
#include "../doc.h"
#include "../pages.h"

namespace folioscan {

namespace {

// One piece of a /Contents array: a decoded stream, shared by every element naming it.
struct ContentPiece {
  Bytes data;
  std::size_t uses = 0;  // elements of the array naming this stream
};

Result<Bytes> join_page_content(OpenDocument& doc, const PageRecord& page) {
  const Object* contents = page.dictionary->lookup("Contents");
  if (contents == nullptr) return Bytes{};
  Resolver& resolver = doc.resolver;
  const Object* value = TRY(resolver.resolve_view(*contents));
  if (const auto* stream = value->as_stream()) return resolver.decode(*stream);
  const Array* arr = value->as_array();
  if (arr == nullptr) return Bytes{};
  // First the elements in order: each distinct stream is decoded once (the resolver
  // hands out one cached object per number, so its address identifies it), and the
  // joined size is checked at each element before anything is copied. An array naming
  // one large stream many times thus fails after one decode, at the same element and
  // with the same error as joining element by element would.
  std::vector<ContentPiece> pieces;
  std::unordered_map<const Stream*, std::size_t> index_of;
  std::vector<std::size_t> order;  // index into `pieces` of each stream element
  std::uint64_t joined = 0;
  for (const Object& element : *arr) {
    const Object* item = TRY(resolver.resolve_view(element));
    const auto* stream = item->as_stream();
    if (stream == nullptr) continue;
    auto [slot, fresh] = index_of.try_emplace(stream, pieces.size());
    if (fresh) pieces.push_back(ContentPiece{TRY(resolver.decode(*stream)), 0});
    ContentPiece* it = &pieces[slot->second];
    // The joined content is bounded like one stream: an array naming one large stream
    // many times would otherwise grow without end.
    if (it->data.size() >= limits::kMaxDecodedBytes - joined) {
      return fail(ParseErrorKind::BadStream, "page content too large");
    }
    joined += it->data.size() + 1;
    ++it->uses;
    order.push_back(slot->second);
  }
  // Then the copy: each piece is released after its last use.
  Bytes out;
  for (const std::size_t index : order) {
    ContentPiece& piece = pieces[index];
    if (out.empty() && piece.uses == 1) {
      out = std::move(piece.data);
      out.reserve(static_cast<std::size_t>(joined));
    } else {
      if (out.capacity() < joined) out.reserve(static_cast<std::size_t>(joined));
      out.insert(out.end(), piece.data.begin(), piece.data.end());
    }
    out.push_back('\n');
    if (--piece.uses == 0) Bytes().swap(piece.data);
  }
  return out;
}

}  // namespace

std::uint64_t content_budget(const OpenDocument& doc) {
  return limits::kMaxContentBytesPerCall +
         limits::kMaxContentBytesPerFileByte * std::uint64_t{doc.resolver.file().size()};
}

Result<Bytes> gather_page_content(OpenDocument& doc, const PageRecord& page) {
  const std::uint64_t budget = content_budget(doc);
  // Spent already: only a reading that goes on past a failed page gets here, and it
  // must not decode more content for each page that follows.
  if (doc.content_bytes > budget) return fail(ParseErrorKind::BadStream, "document content too large");
  Bytes content = TRY(join_page_content(doc, page));
  doc.content_bytes += content.size();
  if (doc.content_bytes > budget) return fail(ParseErrorKind::BadStream, "document content too large");
  return content;
}

}  // namespace folioscan
