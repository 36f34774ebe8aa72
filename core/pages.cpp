// The page tree walk: inner nodes by /Kids, pages in document order, with /MediaBox,
// /Resources and /Rotate inherited from ancestors.
#include "pages.h"

#include <unordered_set>

#include "doc.h"
#include "input_limits.h"

namespace folioscan {
namespace {

constexpr auto kObj = ParseErrorKind::InvalidObject;

// Values in force at a node. Dictionaries of the tree are borrowed (resolver cache or
// the parent node), so the resources are passed down by pointer, not copied per node.
struct Inherited {
  const Object* resources = nullptr;  // unresolved; nullptr when absent
  std::array<double, 4> media_box{0.0, 0.0, 612.0, 792.0};
  std::int64_t rotate = 0;
};

struct Walk {
  OpenDocument& doc;
  std::vector<PageRecord> pages;
  std::unordered_set<std::uint32_t> entered;
  // Recovery: where a kid that cannot be read is noted, and then skipped instead of
  // failing the walk; null in the strict reading.
  Diagnostics* broken_kid_warnings = nullptr;
};

std::optional<std::array<double, 4>> read_media_box(Resolver& resolver, const Object& value) {
  auto resolved = resolver.resolve_view(value);
  if (!resolved) return std::nullopt;
  const Array* arr = (*resolved)->as_array();
  if (arr == nullptr) return std::nullopt;
  std::array<double, 4> box{};
  std::size_t count = 0;
  for (const Object& e : *arr) {
    const auto n = e.as_number();
    if (!n) continue;
    if (count == 4) return std::nullopt;  // five or more numbers
    box[count++] = *n;
  }
  if (count != 4) return std::nullopt;
  return box;
}

Result<void> walk_node(Walk& walk, const Dictionary& node, int depth, const Inherited& inherited);

Result<void> walk_kid(Walk& walk, const Object& kid, int depth, const Inherited& inherited) {
  // Borrowed: cached objects never move or change, and a kid written directly in the
  // array lives in its parent.
  const Dictionary* kid_dict = TRY(walk.doc.resolver.dictionary_view(kid));
  return walk_node(walk, *kid_dict, depth + 1, inherited);
}

// The tree is walked by recursion; depth is bounded at kMaxPageTreeDepth, so the
// stack cannot overflow.
Result<void> walk_node(Walk& walk, const Dictionary& node, int depth, const Inherited& inherited) {
  if (depth > limits::kMaxPageTreeDepth) return fail(kObj, "page tree too deep");
  Resolver& resolver = walk.doc.resolver;
  Inherited own;
  own.media_box = inherited.media_box;
  if (const Object* mb = node.lookup("MediaBox")) {
    if (auto box = read_media_box(resolver, *mb)) own.media_box = *box;
  }
  const Object* res = node.lookup("Resources");
  own.resources = res != nullptr ? res : inherited.resources;
  own.rotate = inherited.rotate;
  if (const Object* rot = node.lookup("Rotate")) {
    if (auto resolved = resolver.resolve_view(*rot)) {
      if (const auto* r = (*resolved)->as_integer()) own.rotate = ((*r % 360) + 360) % 360;
    }
  }

  if (const Object* kids = node.lookup("Kids")) {
    const Array* arr = kids->as_array();
    if (arr == nullptr) return fail(kObj, "/Kids not array");
    for (const Object& kid : *arr) {
      if (const auto* ref = kid.as_ref()) {
        if (!walk.entered.insert(ref->num).second) continue;
      }
      Result<void> walked = walk_kid(walk, kid, depth, own);
      if (!walked) {
        if (walk.broken_kid_warnings == nullptr) return walked;
        walk.broken_kid_warnings->warn(walked.error());
      }
    }
    return {};
  }

  PageRecord page;
  page.dictionary = &node;
  page.resources = &no_resources();
  if (own.resources != nullptr && !own.resources->is_null()) {
    if (auto dict = resolver.dictionary_view(*own.resources)) page.resources = *dict;
  }
  page.media_box = own.media_box;
  page.rotate = own.rotate;
  walk.pages.push_back(std::move(page));
  return {};
}

}  // namespace

const Dictionary& no_resources() {
  static const Dictionary empty;
  return empty;
}

Result<std::vector<PageRecord>> collect_pages(OpenDocument& doc) {
  const Dictionary* root = TRY(catalog_view(doc));
  const Object* pages = root->lookup("Pages");
  if (pages == nullptr) return fail(kObj, "catalog has no /Pages");
  const Dictionary* tree = TRY(doc.resolver.dictionary_view(*pages));
  Walk walk{doc, {}, {}, doc.options.recover ? &doc.diagnostics : nullptr};
  TRY_VOID(walk_node(walk, *tree, 0, Inherited{}));
  return std::move(walk.pages);
}

}  // namespace folioscan
