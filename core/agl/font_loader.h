// Loading fonts from a document: one font dictionary into a Font, the fonts a resources
// dictionary names, and the font layer's caches that the pages of one extraction call
// share.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>

#include "../cmap/code_map.h"
#include "../input_limits.h"
#include "../cos/object.h"
#include "../font/embedded.h"
#include "../tounicode.h"
#include "font.h"

namespace folioscan {

struct OpenDocument;

// Fonts of indirect font dictionaries by object number, kept across the pages of one
// call so that a font used on every page has its ToUnicode map and widths read once.
// Fonts are thus the one per-page intermediate that outlives its page (content,
// operations and runs are released page by page). The cache holds at most `budget`
// bytes (roughly counted); a font that would pass the budget empties it first, and
// fonts still in use by a page stay alive through their shared pointers.
class FontCache {
 public:
  explicit FontCache(std::size_t budget = limits::kMaxFontCacheBytes) : budget_(budget) {}

  // The font kept for `object`, or null.
  std::shared_ptr<const Font> find(std::uint32_t object) const;
  // Keeps `font` for `object` unless it alone is larger than the budget.
  void keep(std::uint32_t object, std::shared_ptr<const Font> font);

  std::size_t size() const { return fonts_.size(); }

 private:
  std::size_t budget_;
  std::size_t bytes_ = 0;
  std::unordered_map<std::uint32_t, std::shared_ptr<const Font>> fonts_;
};

// The font layer's state for one extraction call: held by the extraction driver and
// shared by the call's pages, so that fonts, ToUnicode maps and embedded programs named
// by reference are each read once per call. Sharing costs no exactness: each is built
// only from its own objects, which the resolver caches unchanged, so a cached value is
// what a fresh read would give.
struct FontContext {
  FontCache fonts = FontCache{};
  // ToUnicode object -> its map (null when it cannot be read).
  std::unordered_map<std::uint32_t, std::shared_ptr<const ToUnicodeMap>> tounicode_maps = {};
  // Recovery: the embedded font programs read so far.
  EmbeddedPrograms programs = {};
  // Recovery: composite fonts' CMaps, predefined ones by name (built from the tables
  // when a font first names one) and CMap streams by object number (null when one
  // cannot be read, or is being read: a /UseCMap loop).
  std::unordered_map<std::string, std::shared_ptr<const cmap::CodeMap>> predefined_cmaps = {};
  std::unordered_map<std::uint32_t, std::shared_ptr<const cmap::CodeMap>> cmap_streams = {};
  // Composite fonts' /W arrays (held by the resolver's cache, so their addresses stay
  // put) -> the widths read from them: fonts sharing an array read it once.
  std::unordered_map<const Array*, std::shared_ptr<const WidthMap>> composite_widths = {};
};

// One font dictionary into a Font; never fails (unreadable parts fall back to defaults).
// ToUnicode maps and embedded programs named by reference go through `context`.
Font load_font(OpenDocument& doc, FontContext& context, const Dictionary& font_dict);

// The fonts of `resources` (its /Font dictionary) by resource name; entries that do not
// resolve to a dictionary are left out, and a later entry of the same name replaces an
// earlier one. Fonts reached through a reference are shared through `context.fonts`.
SharedFontMap load_page_fonts(OpenDocument& doc, FontContext& context, const Dictionary& resources);

}  // namespace folioscan
