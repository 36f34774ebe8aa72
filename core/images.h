// Image XObjects listed in a page's resources.
#pragma once

#include <optional>
#include <string_view>
#include <vector>

#include "cos/object.h"
#include "model.h"

namespace folioscan {

struct OpenDocument;

// The images of `resources`' /XObject in entry order; `listed`, when given, receives
// the stream of each listed image.
std::vector<ParsedImage> list_images(OpenDocument& doc, const Dictionary& resources,
                                     std::vector<const Stream*>* listed = nullptr);
// One image XObject as listed: none when its data does not decode. `entry` is the
// resource value that named the stream (a reference, whose answer is kept per object).
std::optional<ParsedImage> describe_image(OpenDocument& doc, std::string_view name, const Object& entry,
                                          const Stream& stream);

}  // namespace folioscan
