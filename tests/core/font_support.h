// Test support: font "F" of a file's resources object 3, loaded as a page's fonts are.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "agl/font_loader.h"
#include "doc.h"
#include "pdf_builder.h"

namespace folioscan::testing {

// Opens `file` (in recovery or strictly), loads the fonts of resources object 3 and hands
// font "F" to `use` while the document is open.
inline void with_font_f(const std::string& file, bool recover, const std::function<void(const Font&)>& use) {
  ExtractOptions options;
  options.recover = recover;
  auto doc = open_document(bytes_of(file), {}, options);
  ASSERT_TRUE(doc.has_value());
  FontContext context;
  const SharedFontMap fonts = load_page_fonts(*doc, context, **doc->resolver.dictionary_view(Object{ObjRef{3, 0}}));
  use(*fonts.at("F"));
}

}  // namespace folioscan::testing
