// The dict form of a Document: nested dicts and lists of plain Python values,
// keyed by member name in member order.
#pragma once

#include "capi.h"
#include <string>
#include <vector>

#include "model.h"

namespace folioscan::python {

// A new reference to the document dict, or nullptr with the interpreter's error
// set (only when it cannot allocate); partial objects are released.
PyObject* document_to_python(const Document& doc);
// The list of warning dicts ({"page": int or None, "message": str}), as in the document dict.
PyObject* warnings_to_python(const std::vector<Warning>& warnings);
// A list of str, one per text, in order.
PyObject* texts_to_python(const std::vector<std::string>& texts);

}  // namespace folioscan::python
