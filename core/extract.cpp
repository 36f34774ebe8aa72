// The extraction driver: for each page, content, operations, fonts, runs, the runs a
// viewer shows, layout, tables, images and the scanned-page rule; and the core parse
// entry.
#include "extract.h"

#include <span>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "agl/font_loader.h"
#include "content/gather.h"
#include "doc.h"
#include "images.h"
#include "layout.h"
#include "paint.h"
#include "pages.h"
#include "shown_runs.h"
#include "structure/blocks.h"
#include "structure/headings.h"
#include "structure/image_blocks.h"
#include "tables.h"
#include "tables/detect.h"

namespace folioscan {
namespace {

// Recovery's page text: tables first, so that a placed table's text leaves the lines;
// then the lines of the runs a viewer shows and the page's structure from them.
void recover_page_text(Page& page, PagePaint& paint, const PageRecord& record, PageStyles& styles) {
  const std::vector<const TextRun*> shown = shown_runs(paint.runs, record.media_box);
  page.tables = detect_tables_recovering(std::move(paint.rules.segments), shown, record.media_box);
  const std::vector<const TextRun*> flowing = runs_outside_tables(shown, page.tables);
  const LayoutResult layout = layout_lines_recovering(flowing, record.media_box);
  page.width = layout.width;
  page.height = layout.height;
  std::vector<std::array<double, 4>> images;
  images.reserve(paint.placements.size());
  for (const ImagePlacement& placement : paint.placements) images.push_back(placement.bbox);
  PageStructure structure = structure_page(layout, page.tables, record.media_box, images);
  page.lines = std::move(structure.lines);
  page.blocks = std::move(structure.blocks);
  styles = std::move(structure.styles);
  count_table_text(styles.sizes, shown, flowing);
}

// Recovery: the painted images that the page lists become blocks where they stand.
// `listed` are the streams of the page's own images, in the order of `page.images`; the
// streams of `painted` follow for those not listed there.
void place_images(Page& page, const std::vector<const Stream*>& listed, const std::vector<const Stream*>& painted,
                  const std::unordered_set<const Stream*>& listed_set, std::span<const ImagePlacement> placements,
                  const std::array<double, 4>& media_box) {
  if (placements.empty()) return;
  std::unordered_map<const Stream*, std::uint32_t> index;
  std::uint32_t next = 0;
  for (const Stream* stream : listed) index.try_emplace(stream, next++);
  for (const Stream* stream : painted) {
    if (!listed_set.contains(stream)) index.try_emplace(stream, next++);
  }
  std::vector<PlacedImage> images;
  for (const ImagePlacement& placement : placements) {
    const auto it = index.find(placement.stream);
    if (it != index.end() && it->second < page.images.size()) images.push_back({it->second, placement.bbox});
  }
  place_image_blocks(*page.blocks, images, media_box);
}

Result<Page> extract_page(OpenDocument& doc, FontContext& font_context, const PageRecord& record,
                          PageStyles& styles) {
  Page page;
  std::vector<ParsedImage> painted;  // images painted by forms and appearances
  std::vector<const Stream*> painted_streams;
  std::vector<ImagePlacement> placements;
  {
    // Per-page intermediates live in this scope and are released before the next page.
    const Bytes content = TRY(gather_page_content(doc, record));
    const SharedFontMap fonts = load_page_fonts(doc, font_context, *record.resources);
    // Operations go straight to the consumers and are never collected: a content
    // stream of ten million "q" never holds ten million operations.
    PagePaint paint = paint_page(doc, font_context, record, content, fonts);
    // Recovery first chooses the runs a viewer shows; its tables and structure read
    // only those. The strict reading's one grid reads every run the content drew, and
    // its text stays in the lines too.
    if (doc.options.recover) {
      recover_page_text(page, paint, record, styles);
    } else {
      LayoutResult layout = layout_lines(paint.runs, record.media_box);
      page.width = layout.width;
      page.height = layout.height;
      page.lines = std::move(layout.lines);
      page.tables = detect_tables(std::move(paint.rules), paint.runs);
    }
    painted = std::move(paint.images);
    painted_streams = std::move(paint.image_streams);
    placements = std::move(paint.placements);
  }
  std::vector<const Stream*> listed;
  page.images = list_images(doc, *record.resources, &listed);
  // Images painted by forms and appearances that the page's resources do not list
  // (a set: both lists can be long on a hostile page).
  const std::unordered_set<const Stream*> listed_set(listed.begin(), listed.end());
  for (std::size_t i = 0; i < painted.size(); ++i) {
    if (!listed_set.contains(painted_streams[i])) {
      page.images.push_back(std::move(painted[i]));
    }
  }
  if (page.blocks) place_images(page, listed, painted_streams, listed_set, placements, record.media_box);
  page.needs_ocr = page.lines.empty() && !page.images.empty();
  return page;
}

// Recovery's page that cannot be read: empty, with the size of its media box, and the
// error noted.
Page unreadable_page(OpenDocument& doc, const PageRecord& record, const ParseError& error) {
  doc.diagnostics.warn(error);
  const LayoutResult layout = layout_lines({}, record.media_box);
  Page page;
  page.width = layout.width;
  page.height = layout.height;
  page.blocks.emplace();
  return page;
}

}  // namespace

Result<Document> extract_document(OpenDocument& doc) {
  Result<std::vector<PageRecord>> collected = collect_pages(doc);
  doc.collect_repairs();
  if (!collected) {
    // Recovery: a page tree that cannot be read at all leaves a document of no pages.
    if (!doc.options.recover) return std::unexpected(std::move(collected).error());
    doc.diagnostics.warn(collected.error());
    collected = std::vector<PageRecord>{};
  }
  const std::vector<PageRecord>& records = *collected;
  // The font layer's caches, shared by the pages of this call.
  FontContext font_context;
  Document out;
  out.pages.reserve(records.size());
  // Recovery: what heading detection reads of each page's blocks, for the pass over
  // the whole document once all pages are read.
  std::vector<PageStyles> styles(doc.options.recover ? records.size() : 0);
  PageStyles unused;
  for (std::size_t i = 0; i < records.size(); ++i) {
    doc.diagnostics.page = static_cast<std::uint32_t>(i);
    Result<Page> page = extract_page(doc, font_context, records[i], doc.options.recover ? styles[i] : unused);
    // Repairs made while reading the page are filed under it, before its own failure.
    doc.collect_repairs();
    if (!page) {
      if (!doc.options.recover) return std::unexpected(std::move(page).error());
      page = unreadable_page(doc, records[i], page.error());
      if (doc.options.recover) styles[i] = {};
    }
    out.pages.push_back(std::move(*page));
  }
  doc.diagnostics.page.reset();
  if (doc.options.recover) mark_headings(out.pages, styles);
  out.version = doc.version;
  if (doc.options.recover) out.warnings = std::move(doc.diagnostics.warnings);
  return out;
}

Result<Document> parse_document(ByteView data, ByteView password, const ExtractOptions& options) {
  OpenDocument doc = TRY(open_document(data, password, options));
  return extract_document(doc);
}

}  // namespace folioscan
