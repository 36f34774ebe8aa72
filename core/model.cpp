#include "model.h"

namespace folioscan {

std::string_view image_format_name(ImageFormat format) {
  switch (format) {
    case ImageFormat::Jpeg: return "Jpeg";
    case ImageFormat::Jpeg2000: return "Jpeg2000";
    case ImageFormat::Ccitt: return "Ccitt";
    case ImageFormat::Jbig2: return "Jbig2";
    case ImageFormat::Raw: return "Raw";
  }
  return "Raw";
}

std::string_view block_type_name(BlockType type) {
  switch (type) {
    case BlockType::Heading: return "heading";
    case BlockType::Paragraph: return "paragraph";
    case BlockType::ListItem: return "list_item";
    case BlockType::Table: return "table";
    case BlockType::Image: return "image";
  }
  return "paragraph";
}

std::string page_text(const Page& page) {
  std::string out;
  for (std::size_t i = 0; i < page.lines.size(); ++i) {
    if (i != 0) out += '\n';
    out += page.lines[i].text;
  }
  return out;
}

}  // namespace folioscan
