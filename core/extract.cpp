// The extraction driver: for each page, content, operations, fonts, runs, layout,
// tables, images and the scanned-page rule; and the core parse entry.
#include "extract.h"

#include <algorithm>
#include <memory_resource>

#include "content.h"
#include "doc.h"
#include "images.h"
#include "layout.h"
#include "pages.h"
#include "tables.h"

namespace folioscan {

Result<Document> extract_document(OpenDocument& doc) {
  std::vector<PageRecord> records = TRY(collect_pages(doc));
  Document out;
  out.pages.reserve(records.size());
  // Shared by all pages: a font used throughout the document is read once.
  FontCache font_cache;
  for (const PageRecord& record : records) {
    Page page;
    {
      // Per-page intermediates live in this scope and are released before the next page.
      const Bytes content = TRY(gather_page_content(doc, record));
      // Operand lists come from this arena, released with the page: declared before the
      // operations so that it outlives them. Its first block is sized from the content
      // (capped: one huge stream must not reserve a huge block up front); later blocks
      // grow geometrically as needed.
      std::pmr::monotonic_buffer_resource operand_arena(
          std::min<std::size_t>(content.size() * 2, std::size_t{1} << 20) + 1024);
      const std::vector<ContentOp> ops = tokenize_content(content, &operand_arena);
      const SharedFontMap fonts = font_cache.load_page_fonts(doc, record.resources);
      const std::vector<TextRun> runs = interpret_content(ops, fonts);
      LayoutResult layout = layout_lines(runs, record.media_box);
      page.width = layout.width;
      page.height = layout.height;
      page.lines = std::move(layout.lines);
      page.tables = detect_tables(ops, runs);
    }
    page.images = list_images(doc, record.resources);
    page.needs_ocr = page.lines.empty() && !page.images.empty();
    out.pages.push_back(std::move(page));
  }
  out.version = doc.version;
  return out;
}

Result<Document> parse_document(ByteView data, ByteView password) {
  OpenDocument doc = TRY(open_document(data, password));
  return extract_document(doc);
}

}  // namespace folioscan
