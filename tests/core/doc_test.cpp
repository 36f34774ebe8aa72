#include <gtest/gtest.h>

#include "doc.h"
#include "pages.h"
#include "pdf_builder.h"

namespace folioscan {
namespace {

using testing::bytes_of;
using testing::PdfBuilder;

std::string open_error(const std::string& file) {
  auto doc = open_document(bytes_of(file), {});
  return doc ? std::string("opened") : doc.error().display();
}

TEST(DocumentOpen, HeaderIsSearchedInTheFirstKilobyte) {
  PdfBuilder b;
  b.add(1, "<</Type/Catalog /Pages 2 0 R>>");
  b.add(2, "<</Type/Pages /Kids [] /Count 0>>");
  b.header = std::string(1000, 'j') + "%PDF-1.4\n";
  EXPECT_EQ(open_error(b.build()), "opened");
  b.header = std::string(1020, 'j') + "%PDF-1.4\n";
  EXPECT_EQ(open_error(b.build()), "InvalidHeader: no %PDF- header");
  EXPECT_EQ(open_error(""), "InvalidHeader: no %PDF- header");
  EXPECT_EQ(open_error("%PDF"), "InvalidHeader: no %PDF- header");
}

TEST(DocumentOpen, VersionIsUpToEightBytesBeforeWhiteSpace) {
  struct Case {
    std::string header;
    std::string version;
  } cases[] = {
      {"%PDF-1.7\r\n", "1.7"},
      {"%PDF-1.10.2xyz\n", "1.10.2xy"},
      {"%PDF-\n", ""},
      {"%PDF-2.0 \n", "2.0"},
      {"%PDF-1\xff\n", "1\xEF\xBF\xBD"},
  };
  for (const auto& c : cases) {
    PdfBuilder b;
    b.header = c.header;
    b.add(1, "<</Pages 2 0 R>>");
    b.add(2, "<</Kids []>>");
    const std::string file = b.build();
    auto doc = open_document(bytes_of(file), {});
    ASSERT_TRUE(doc) << doc.error().display();
    EXPECT_EQ(doc->version, c.version);
  }
}

TEST(DocumentOpen, StartxrefErrors) {
  EXPECT_EQ(open_error("%PDF-1.4\nnothing here"), "InvalidXref: no startxref");
  EXPECT_EQ(open_error("%PDF-1.4\nstartxref\n-5\n%%EOF"), "InvalidXref: bad integer");
  EXPECT_EQ(open_error("%PDF-1.4\nstartxref\n%%EOF"), "InvalidXref: expected integer");
  EXPECT_EQ(open_error("%PDF-1.4\nstartxref\n"), "InvalidXref: expected integer");
}

TEST(DocumentOpen, TrailerNeedsRoot) {
  PdfBuilder b;
  b.add(1, "<</Pages 2 0 R>>");
  b.root = "";
  EXPECT_EQ(open_error(b.build()), "MissingTrailer: trailer has no /Root");
}

TEST(DocumentOpen, EncryptReferenceToMissingObjectFails) {
  PdfBuilder b;
  b.add(1, "<</Pages 2 0 R>>");
  b.trailer_extra = "/Encrypt 9 0 R";
  EXPECT_EQ(open_error(b.build()), "ObjectNotFound: no such object");
}

TEST(DocumentOpen, UnknownSecurityHandlerReadsWithoutDecryption) {
  PdfBuilder b;
  b.add(1, "<</Pages 2 0 R /Title (plain)>>");
  b.add(2, "<</Kids []>>");
  b.add(3, "<</Filter /FooSecurity /R 2 /O (x) /U (y) /P -4>>");
  b.trailer_extra = "/Encrypt 3 0 R";
  const std::string file = b.build();
  auto doc = open_document(bytes_of(file), {});
  ASSERT_TRUE(doc) << doc.error().display();
  auto root = catalog_view(*doc);
  ASSERT_TRUE(root);
  EXPECT_EQ((*root)->lookup("Title")->as_string()->bytes, Bytes({'p', 'l', 'a', 'i', 'n'}));
}

TEST(DocumentOpen, LastStartxrefWins) {
  PdfBuilder b;
  b.add(1, "<</Pages 2 0 R>>");
  b.add(2, "<</Kids []>>");
  std::string file = b.build();
  file = file.substr(0, file.rfind("startxref")) + "startxref\n999999\n%%EOF\n" +
         file.substr(file.rfind("startxref"));
  EXPECT_EQ(open_error(file), "opened");
}

// Page records borrow from the document, so the document is kept (in a static: each
// test reads its records before the next call replaces it).
Result<std::vector<PageRecord>> pages_of(PdfBuilder& b, std::string& keep) {
  static std::optional<OpenDocument> doc;
  doc.reset();
  keep = b.build();
  auto opened = open_document(bytes_of(keep), {});
  if (!opened) return std::unexpected(opened.error());
  doc.emplace(std::move(*opened));
  return collect_pages(*doc);
}

TEST(PageTree, InheritsAttributesAndNormalisesRotation) {
  PdfBuilder b;
  b.add(1, "<</Pages 2 0 R>>");
  b.add(2, "<</Kids [3 0 R 4 0 R 3 0 R] /MediaBox [0 0 595 842] /Resources <</Font <<>>>> /Rotate -90>>");
  b.add(3, "<</Type/Page /MediaBox [0 0 100]>>");
  b.add(4, "<</Type/Page /MediaBox [0 /x 0 200 300] /Rotate 450 /Resources 5 0 R>>");
  b.add(5, "<</XObject <<>>>>");
  std::string keep;
  auto pages = pages_of(b, keep);
  ASSERT_TRUE(pages) << pages.error().display();
  ASSERT_EQ(pages->size(), 2u);  // the repeated kid is skipped
  EXPECT_EQ((*pages)[0].media_box, (std::array<double, 4>{0, 0, 595, 842}));
  EXPECT_EQ((*pages)[0].rotate, 270);
  EXPECT_TRUE((*pages)[0].resources->lookup("Font"));
  EXPECT_EQ((*pages)[1].media_box, (std::array<double, 4>{0, 0, 200, 300}));
  EXPECT_EQ((*pages)[1].rotate, 90);
  EXPECT_TRUE((*pages)[1].resources->lookup("XObject"));
}

TEST(PageTree, DefaultsAndRealRotation) {
  PdfBuilder b;
  b.add(1, "<</Pages 2 0 R>>");
  b.add(2, "<</Kids [3 0 R] /Rotate 90>>");
  b.add(3, "<</Rotate 45.0>>");
  std::string keep;
  auto pages = pages_of(b, keep);
  ASSERT_TRUE(pages);
  ASSERT_EQ(pages->size(), 1u);
  EXPECT_EQ((*pages)[0].media_box, (std::array<double, 4>{0, 0, 612, 792}));
  EXPECT_EQ((*pages)[0].rotate, 90);
  EXPECT_TRUE((*pages)[0].resources->empty());
}

TEST(PageTree, CyclesEnd) {
  PdfBuilder b;
  b.add(1, "<</Pages 2 0 R>>");
  b.add(2, "<</Kids [3 0 R 2 0 R]>>");
  b.add(3, "<</Kids [2 0 R 4 0 R]>>");
  b.add(4, "<<>>");
  std::string keep;
  auto pages = pages_of(b, keep);
  ASSERT_TRUE(pages) << pages.error().display();
  EXPECT_EQ(pages->size(), 1u);
}

TEST(PageTree, DepthLimitIsSixtyFour) {
  for (int inner : {64, 65}) {
    PdfBuilder b;
    b.add(1, "<</Pages 2 0 R>>");
    // Node 2 is the root at depth 0; nodes 3.. are nested inner nodes.
    for (int n = 2; n < inner + 2; ++n) b.add(n, "<</Kids [" + std::to_string(n + 1) + " 0 R]>>");
    b.add(inner + 2, "<</Type/Page>>");
    std::string keep;
    auto pages = pages_of(b, keep);
    if (inner == 64) {
      ASSERT_TRUE(pages) << pages.error().display();
      EXPECT_EQ(pages->size(), 1u);
    } else {
      ASSERT_FALSE(pages);
      EXPECT_EQ(pages.error().display(), "InvalidObject: page tree too deep");
    }
  }
}

TEST(PageTree, ErrorsCarryTheirMessages) {
  struct Case {
    const char* catalog;
    const char* pages;
    const char* display;
  } cases[] = {
      {"<<>>", "<<>>", "InvalidObject: catalog has no /Pages"},
      {"<</Pages 2 0 R>>", "<</Kids 3 0 R>>", "InvalidObject: /Kids not array"},
      {"<</Pages 2 0 R>>", "<</Kids [7]>>", "InvalidObject: expected dictionary"},
      {"<</Pages 2 0 R>>", "<</Kids [9 0 R]>>", "ObjectNotFound: no such object"},
      {"<</Pages 2 0 R>>", "[1]", "InvalidObject: expected dictionary"},
  };
  for (const auto& c : cases) {
    PdfBuilder b;
    b.add(1, c.catalog);
    b.add(2, c.pages);
    b.add(3, "[]");
    std::string keep;
    auto pages = pages_of(b, keep);
    ASSERT_FALSE(pages) << c.pages;
    EXPECT_EQ(pages.error().display(), c.display) << c.pages;
  }
}

}  // namespace
}  // namespace folioscan
