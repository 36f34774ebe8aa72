// Builds the dict form of a Document. Every record becomes a new dict whose keys
// follow the member order; floats stay floats, non-finite floats become None.
#include "convert.h"  // first: Python.h must precede the standard headers

#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace folioscan::python {
namespace {

enum Key : std::size_t {
  kVersion,
  kPages,
  kWidth,
  kHeight,
  kLines,
  kNeedsOcr,
  kTables,
  kImages,
  kText,
  kX,
  kY,
  kRows,
  kCols,
  kCells,
  kName,
  kFormat,
  kBitsPerComponent,
  kColorSpace,
  kWarnings,
  kPage,
  kMessage,
  kBlocks,
  kType,
  kBbox,
  kLevel,
  kSpans,
  kRow,
  kCol,
  kTable,
  kImage,
  kKeyCount,
};

constexpr std::array<const char*, kKeyCount> kKeyNames = {
    "version", "pages", "width", "height", "lines",  "needs_ocr",
    "tables",  "images", "text",  "x",      "y",      "rows",
    "cols",    "cells",  "name",  "format", "bits_per_component", "color_space",
    "warnings", "page", "message", "blocks", "type", "bbox", "level", "spans", "row", "col", "table",
    "image",
};

PyObject* new_text(std::string_view text) {
  // The model's texts are UTF-8; "replace" keeps a stray invalid byte from turning
  // a finished extraction into a decoding error.
  return PyUnicode_DecodeUTF8(text.data(), static_cast<Py_ssize_t>(text.size()), "replace");
}

PyObject* new_float(double value) {
  if (!std::isfinite(value)) return Py_NewRef(Py_None);
  return PyFloat_FromDouble(value);
}

PyObject* new_int(std::uint64_t value) {
  return PyLong_FromUnsignedLongLong(static_cast<unsigned long long>(value));
}

// Builds each record's dict with key objects made once per conversion and shared
// by all dicts of that conversion.
class Converter {
 public:
  bool make_keys() {
    for (std::size_t i = 0; i < kKeyCount; ++i) {
      keys_[i] = PyRef(PyUnicode_InternFromString(kKeyNames[i]));
      if (!keys_[i]) return false;
    }
    return true;
  }

  PyObject* warnings(const std::vector<Warning>& warnings) { return list_of(warnings, &Converter::warning); }
  PyObject* texts(const std::vector<std::string>& values) { return list_of(values, &Converter::text); }

  PyObject* document(const Document& doc) {
    PyRef dict(PyDict_New());
    if (!dict) return nullptr;
    if (!set(dict, kVersion, new_text(doc.version))) return nullptr;
    if (!set(dict, kPages, list_of(doc.pages, &Converter::page))) return nullptr;
    if (doc.warnings && !set(dict, kWarnings, list_of(*doc.warnings, &Converter::warning))) return nullptr;
    return dict.release();
  }

 private:
  // dict[key] = value; consumes `value`, which may be nullptr after a failed creation.
  bool set(const PyRef& dict, Key key, PyObject* value) {
    PyRef owned(value);
    if (!owned) return false;
    return PyDict_SetItem(dict.get(), keys_[key].get(), owned.get()) == 0;
  }

  template <class T>
  PyObject* list_of(const std::vector<T>& items, PyObject* (Converter::*convert)(const T&)) {
    PyRef list(PyList_New(static_cast<Py_ssize_t>(items.size())));
    if (!list) return nullptr;
    for (std::size_t i = 0; i < items.size(); ++i) {
      PyObject* item = (this->*convert)(items[i]);
      if (!item) return nullptr;
      // Steals `item`, also on failure.
      if (PyList_SetItem(list.get(), static_cast<Py_ssize_t>(i), item) < 0) return nullptr;
    }
    return list.release();
  }

  PyObject* text(const std::string& value) { return new_text(value); }

  PyObject* line(const TextLine& line) {
    PyRef dict(PyDict_New());
    if (!dict) return nullptr;
    if (!set(dict, kText, new_text(line.text))) return nullptr;
    if (!set(dict, kX, new_float(line.x))) return nullptr;
    if (!set(dict, kY, new_float(line.y))) return nullptr;
    return dict.release();
  }

  PyObject* block(const Block& block) {
    PyRef dict(PyDict_New());
    if (!dict) return nullptr;
    if (!set(dict, kType, new_text(block_type_name(block.type)))) return nullptr;
    if (!set(dict, kText, new_text(block.text))) return nullptr;
    PyRef box(PyList_New(4));
    if (!box) return nullptr;
    for (std::size_t i = 0; i < 4; ++i) {
      PyObject* value = new_float(block.bbox[i]);
      if (!value || PyList_SetItem(box.get(), static_cast<Py_ssize_t>(i), value) < 0) return nullptr;
    }
    if (!set(dict, kBbox, box.release())) return nullptr;
    if (block.level && !set(dict, kLevel, new_int(*block.level))) return nullptr;
    if (block.table && !set(dict, kTable, new_int(*block.table))) return nullptr;
    if (block.image && !set(dict, kImage, new_int(*block.image))) return nullptr;
    return dict.release();
  }

  PyObject* table(const Table& table) {
    PyRef dict(PyDict_New());
    if (!dict) return nullptr;
    if (!set(dict, kRows, new_int(table.rows))) return nullptr;
    if (!set(dict, kCols, new_int(table.cols))) return nullptr;
    if (!set(dict, kCells, list_of(table.cells, &Converter::texts))) return nullptr;
    if (table.bbox && !set(dict, kBbox, box(*table.bbox))) return nullptr;
    if (!table.spans.empty() && !set(dict, kSpans, list_of(table.spans, &Converter::span))) return nullptr;
    return dict.release();
  }

  PyObject* box(const std::array<double, 4>& values) {
    PyRef list(PyList_New(4));
    if (!list) return nullptr;
    for (std::size_t i = 0; i < 4; ++i) {
      PyObject* item = new_float(values[i]);
      if (!item) return nullptr;
      if (PyList_SetItem(list.get(), static_cast<Py_ssize_t>(i), item) < 0) return nullptr;
    }
    return list.release();
  }

  PyObject* span(const CellSpan& span) {
    PyRef dict(PyDict_New());
    if (!dict) return nullptr;
    if (!set(dict, kRow, new_int(span.row))) return nullptr;
    if (!set(dict, kCol, new_int(span.col))) return nullptr;
    if (!set(dict, kRows, new_int(span.rows))) return nullptr;
    if (!set(dict, kCols, new_int(span.cols))) return nullptr;
    return dict.release();
  }

  PyObject* image(const ParsedImage& image) {
    PyRef dict(PyDict_New());
    if (!dict) return nullptr;
    if (!set(dict, kName, new_text(image.name))) return nullptr;
    if (!set(dict, kFormat, new_text(image_format_name(image.format)))) return nullptr;
    if (!set(dict, kWidth, new_int(image.width))) return nullptr;
    if (!set(dict, kHeight, new_int(image.height))) return nullptr;
    if (!set(dict, kBitsPerComponent, new_int(image.bits_per_component))) return nullptr;
    if (!set(dict, kColorSpace, new_text(image.color_space))) return nullptr;
    return dict.release();
  }

  PyObject* warning(const Warning& warning) {
    PyRef dict(PyDict_New());
    if (!dict) return nullptr;
    PyObject* page = warning.page ? new_int(*warning.page) : Py_NewRef(Py_None);
    if (!set(dict, kPage, page)) return nullptr;
    if (!set(dict, kMessage, new_text(warning.message))) return nullptr;
    return dict.release();
  }

  PyObject* page(const Page& page) {
    PyRef dict(PyDict_New());
    if (!dict) return nullptr;
    if (!set(dict, kWidth, new_float(page.width))) return nullptr;
    if (!set(dict, kHeight, new_float(page.height))) return nullptr;
    if (!set(dict, kLines, list_of(page.lines, &Converter::line))) return nullptr;
    if (page.blocks && !set(dict, kBlocks, list_of(*page.blocks, &Converter::block))) return nullptr;
    if (!set(dict, kNeedsOcr, PyBool_FromLong(page.needs_ocr ? 1 : 0))) return nullptr;
    if (!set(dict, kTables, list_of(page.tables, &Converter::table))) return nullptr;
    if (!set(dict, kImages, list_of(page.images, &Converter::image))) return nullptr;
    return dict.release();
  }

  std::array<PyRef, kKeyCount> keys_;
};

}  // namespace

PyObject* document_to_python(const Document& doc) {
  Converter converter;
  if (!converter.make_keys()) return nullptr;
  return converter.document(doc);
}

PyObject* warnings_to_python(const std::vector<Warning>& warnings) {
  Converter converter;
  if (!converter.make_keys()) return nullptr;
  return converter.warnings(warnings);
}

PyObject* texts_to_python(const std::vector<std::string>& texts) {
  Converter converter;  // no keys: a list of str has none
  return converter.texts(texts);
}

}  // namespace folioscan::python
