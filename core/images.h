// Image XObjects listed in a page's resources.
#pragma once

#include <vector>

#include "cos.h"
#include "model.h"

namespace folioscan {

struct OpenDocument;

std::vector<ParsedImage> list_images(OpenDocument& doc, const Dictionary& resources);

}  // namespace folioscan
