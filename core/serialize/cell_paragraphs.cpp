// A recovered cell's lines read as paragraphs.
#include "cell_paragraphs.h"

#include "../structure/lists.h"
#include "../structure/paragraphs.h"

namespace folioscan {

std::vector<std::string> cell_paragraphs(std::string_view text) {
  std::vector<std::string> paragraphs(1);
  if (text.find('\n') == std::string_view::npos) {
    paragraphs.front() = text;
    return paragraphs;
  }
  for (;;) {
    const std::size_t end = text.find('\n');
    const std::string_view line = text.substr(0, end);
    if (!paragraphs.back().empty() && list_marker(line).kind != MarkerKind::None) paragraphs.emplace_back();
    append_paragraph_line(paragraphs.back(), line);
    if (end == std::string_view::npos) break;
    text.remove_prefix(end + 1);
  }
  return paragraphs;
}

void append_cell_paragraphs(std::string& out, std::string_view text, void (*append)(std::string&, std::string_view)) {
  if (text.find('\n') == std::string_view::npos) {
    append(out, text);
    return;
  }
  const std::vector<std::string> paragraphs = cell_paragraphs(text);
  for (std::size_t k = 0; k < paragraphs.size(); ++k) {
    if (k != 0) out += "<br>";
    append(out, paragraphs[k]);
  }
}

}  // namespace folioscan
