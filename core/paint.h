// Painting a page: its content through one graphics-state walker into the text
// interpreter and the rule collector; in recovery also its Form XObjects, annotation
// appearances and marked-content replacement text.
#pragma once

#include <array>
#include <vector>

#include "agl/font.h"
#include "content/text_run.h"
#include "cos/object.h"
#include "model.h"
#include "tables.h"

namespace folioscan {

struct FontContext;
struct OpenDocument;
struct PageRecord;

// Recovery: where an image XObject was painted, the unit square through the CTM.
struct ImagePlacement {
  const Stream* stream = nullptr;
  std::array<double, 4> bbox{};  // x0, y0, x1, y1 in page space
};

struct PagePaint {
  std::vector<TextRun> runs;
  Rules rules;
  // Images painted inside forms and appearances, each stream once, with the stream
  // (to tell them from the images the page's own resources list).
  std::vector<ParsedImage> images;
  std::vector<const Stream*> image_streams;
  // Recovery: every image painted, page and forms alike, in painting order.
  std::vector<ImagePlacement> placements;
};

// `fonts` are the page's (those of `page.resources`); forms' fonts are loaded through
// `font_context`. The strict reading walks the content alone, saving only the CTM on "q"
// and taking rules from every path.
PagePaint paint_page(OpenDocument& doc, FontContext& font_context, const PageRecord& page, ByteView content,
                     const SharedFontMap& fonts);

}  // namespace folioscan
