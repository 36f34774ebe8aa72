// The extraction driver: for each page, content, operations, fonts, runs, layout,
// tables, images and the scanned-page rule; and the core parse entry.
#include "extract.h"

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
      const SharedFontMap fonts = font_cache.load_page_fonts(doc, record.resources);
      // Operations go straight to both consumers and are never collected: a content
      // stream of ten million "q" never holds ten million operations.
      TextInterpreter text(fonts);
      RuleCollector rules;
      for_each_content_op(content, [&](const ContentOp& op) {
        text.apply(op);
        rules.apply(op);
      });
      const std::vector<TextRun> runs = text.take_runs();
      LayoutResult layout = layout_lines(runs, record.media_box);
      page.width = layout.width;
      page.height = layout.height;
      page.lines = std::move(layout.lines);
      page.tables = detect_tables(std::move(rules), runs);
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
