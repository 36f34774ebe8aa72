#include "extract.h"

#include "doc.h"

namespace folioscan {

Result<Document> parse_document(ByteView data, ByteView password) {
  (void)password;
  TRY(find_header(data));
  return fail(ParseErrorKind::Unsupported, "document reading is not built yet");
}

}  // namespace folioscan
