#include "doc.h"

#include <cstring>

#include "text.h"

namespace folioscan {

Result<Header> find_header(ByteView data) {
  constexpr std::string_view kMarker = "%PDF-";
  const std::size_t window = std::min<std::size_t>(data.size(), 1024);
  for (std::size_t i = 0; i + kMarker.size() <= window; ++i) {
    if (std::memcmp(data.data() + i, kMarker.data(), kMarker.size()) != 0) continue;
    std::size_t start = i + kMarker.size();
    std::size_t end = start;
    while (end < data.size() && end - start < 8) {
      const std::uint8_t b = data[end];
      if (b == '\t' || b == '\n' || b == '\r' || b == ' ') break;
      ++end;
    }
    return Header{i, utf8_lossy(data.subspan(start, end - start))};
  }
  return fail(ParseErrorKind::InvalidHeader, "no %PDF- header");
}

}  // namespace folioscan
