// One-page documents made for a case, and their extraction in either reading.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "extract.h"
#include "pdf_builder.h"

namespace folioscan::testing {

// One page with `content`, page resources `resources` and more page keys `extra`;
// objects from 10 on are the case's.
inline PdfBuilder one_page(const std::string& content, const std::string& resources = "", const std::string& extra = "") {
  PdfBuilder b;
  b.add(1, "<</Type/Catalog /Pages 2 0 R>>");
  b.add(2, "<</Type/Pages /Kids [3 0 R] /Count 1>>");
  b.add(3, "<</Type/Page /Parent 2 0 R /MediaBox [0 0 612 792] /Resources <<" + resources +
               ">> /Contents 4 0 R " + extra + ">>");
  b.add_stream(4, "", content);
  return b;
}

inline Document extract(PdfBuilder& b, bool recover) {
  const std::string file = b.build();
  auto doc = parse_document(bytes_of(file), {}, ExtractOptions{.recover = recover});
  EXPECT_TRUE(doc.has_value()) << doc.error().display();
  return doc ? std::move(*doc) : Document{};
}

}  // namespace folioscan::testing
