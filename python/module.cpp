// The native module `_folioscan`: its one-time initialisation, the four functions
// with their hand-written argument binding, the hand-off to the core parse entry,
// and the mapping of a ParseError to ValueError.
#include "capi.h"  // first: Python.h must precede the standard headers

#include <array>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <new>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "convert.h"
#include "extract.h"
#include "serialize/serialize.h"

namespace folioscan::python {
namespace {

enum class Output { Dict, Json, Html, Markdown };

constexpr std::size_t kParameterCount = 2;
constexpr std::array<const char*, kParameterCount> kParameterNames = {"data", "password"};

// The bound arguments, held as strong references for the whole call. `password`
// is empty when absent.
struct Arguments {
  PyRef data;
  PyRef password;
};

// Binds positional and keyword arguments to (data, password=None) with the
// interpreter's own wording for each mistake.
bool bind_arguments(const char* function, PyObject* args, PyObject* kwargs, Arguments& out) {
  const Py_ssize_t positional = PyTuple_Size(args);
  if (positional < 0) return false;
  if (positional > static_cast<Py_ssize_t>(kParameterCount)) {
    PyErr_Format(PyExc_TypeError,
                 "%s() takes from 1 to 2 positional arguments but %zd were given", function,
                 positional);
    return false;
  }
  std::array<PyObject*, kParameterCount> bound = {nullptr, nullptr};
  for (Py_ssize_t i = 0; i < positional; ++i) {
    bound[static_cast<std::size_t>(i)] = PyTuple_GetItem(args, i);
    if (!bound[static_cast<std::size_t>(i)]) return false;
  }
  if (kwargs) {
    // Nothing below runs Python code, so the borrowed items stay valid.
    Py_ssize_t position = 0;
    PyObject* key = nullptr;
    PyObject* value = nullptr;
    while (PyDict_Next(kwargs, &position, &key, &value)) {
      if (!PyUnicode_Check(key)) {
        PyErr_Format(PyExc_TypeError, "%s() keywords must be strings", function);
        return false;
      }
      std::size_t index = kParameterCount;
      for (std::size_t p = 0; p < kParameterCount; ++p) {
        if (PyUnicode_CompareWithASCIIString(key, kParameterNames[p]) == 0) index = p;
      }
      if (index == kParameterCount) {
        PyErr_Format(PyExc_TypeError, "%s() got an unexpected keyword argument '%U'", function,
                     key);
        return false;
      }
      if (bound[index]) {
        PyErr_Format(PyExc_TypeError, "%s() got multiple values for argument '%s'", function,
                     kParameterNames[index]);
        return false;
      }
      bound[index] = value;
    }
  }
  if (!bound[0]) {
    PyErr_Format(PyExc_TypeError, "%s() missing 1 required positional argument: 'data'",
                 function);
    return false;
  }
  out.data = PyRef(Py_NewRef(bound[0]));
  if (bound[1] && bound[1] != Py_None) out.password = PyRef(Py_NewRef(bound[1]));
  return true;
}

void raise_conversion_error(const char* parameter, PyObject* value, const char* target) {
  PyRef qualname(PyType_GetQualName(Py_TYPE(value)));
  if (!qualname) return;
  PyErr_Format(PyExc_TypeError, "argument '%s': '%U' object cannot be converted to '%s'",
               parameter, qualname.get(), target);
}

void raise_parse_error(const ParseError& error) {
  const std::string text = error.display();
  PyRef message(
      PyUnicode_DecodeUTF8(text.data(), static_cast<Py_ssize_t>(text.size()), "replace"));
  if (!message) return;
  PyErr_SetObject(PyExc_ValueError, message.get());
}

// Takes the document by value so it is released before the Python str is built.
std::string render(Output output, Document doc, const WriterOptions& options = {}) {
  switch (output) {
    case Output::Json: return document_to_json(doc);
    case Output::Html: return document_to_html(doc, options);
    case Output::Markdown: return document_to_markdown(doc, options);
    case Output::Dict: break;  // built by document_to_python, never rendered
  }
  return {};
}

PyObject* parse_and_convert(Output output, PyObject* data, PyObject* password) {
  ByteView password_bytes;
  if (password) {
    Py_ssize_t size = 0;
    // Raises the interpreter's UnicodeEncodeError for lone surrogates.
    const char* utf8 = PyUnicode_AsUTF8AndSize(password, &size);
    if (!utf8) return nullptr;
    password_bytes = ByteView(reinterpret_cast<const std::uint8_t*>(utf8),
                              static_cast<std::size_t>(size));
  }
  char* buffer = nullptr;
  Py_ssize_t length = 0;
  if (PyBytes_AsStringAndSize(data, &buffer, &length) < 0) return nullptr;
  const ByteView data_bytes(reinterpret_cast<const std::uint8_t*>(buffer),
                            static_cast<std::size_t>(length));

  Result<Document> parsed = parse_document(data_bytes, password_bytes);
  if (!parsed) {
    raise_parse_error(parsed.error());
    return nullptr;
  }
  if (output == Output::Dict) return document_to_python(*parsed);
  const std::string text = render(output, std::move(*parsed));
  return PyUnicode_DecodeUTF8(text.data(), static_cast<Py_ssize_t>(text.size()), "replace");
}

PyObject* run(const char* function, Output output, PyObject* args, PyObject* kwargs) {
  Arguments bound;
  if (!bind_arguments(function, args, kwargs, bound)) return nullptr;
  if (!PyBytes_Check(bound.data.get())) {
    raise_conversion_error("data", bound.data.get(), "PyBytes");
    return nullptr;
  }
  if (bound.password && !PyUnicode_Check(bound.password.get())) {
    raise_conversion_error("password", bound.password.get(), "PyString");
    return nullptr;
  }
  // The core reports failures as values; only allocation failure can throw, and
  // no C++ exception may unwind into the interpreter.
  try {
    return parse_and_convert(output, bound.data.get(), bound.password.get());
  } catch (const std::bad_alloc&) {
    return PyErr_NoMemory();
  } catch (const std::exception& error) {
    PyErr_SetString(PyExc_SystemError, error.what());
    return nullptr;
  }
}

// Gives the interpreter lock back for as long as it lives, so other Python threads
// run while the core works; taken again on every way out, exceptions included.
class ReleasedLock {
 public:
  ReleasedLock() : state_(PyEval_SaveThread()) {}
  ~ReleasedLock() { PyEval_RestoreThread(state_); }
  ReleasedLock(const ReleasedLock&) = delete;
  ReleasedLock& operator=(const ReleasedLock&) = delete;

 private:
  PyThreadState* state_;
};

// The bytes and password of a private entry, checked as the four functions check
// them. `data` stays referenced by the call's arguments and immutable, so the views
// stay valid while the lock is released.
struct Input {
  ByteView data;
  std::string password;  // UTF-8; empty when None

  ByteView password_bytes() const {
    return ByteView(reinterpret_cast<const std::uint8_t*>(password.data()), password.size());
  }
};

// False with the interpreter's error set when `data` is not bytes or `password`
// neither None nor str (or not encodable as UTF-8).
bool read_input(PyObject* data, PyObject* password, Input& out) {
  if (!PyBytes_Check(data)) {
    raise_conversion_error("data", data, "PyBytes");
    return false;
  }
  if (password != Py_None && !PyUnicode_Check(password)) {
    raise_conversion_error("password", password, "PyString");
    return false;
  }
  if (password != Py_None) {
    Py_ssize_t size = 0;
    const char* utf8 = PyUnicode_AsUTF8AndSize(password, &size);
    if (!utf8) return false;
    out.password.assign(utf8, static_cast<std::size_t>(size));
  }
  char* buffer = nullptr;
  Py_ssize_t length = 0;
  if (PyBytes_AsStringAndSize(data, &buffer, &length) < 0) return false;
  out.data = ByteView(reinterpret_cast<const std::uint8_t*>(buffer), static_cast<std::size_t>(length));
  return true;
}

// The recovering extraction behind folioscan.extract, which checks the arguments and
// hands them on as (data: bytes, password: str or None, output: int 0-3, with_warnings,
// image_placeholders). The core
// touches no Python object, so the lock is released while it runs.
PyObject* extract(PyObject*, PyObject* args) {
  PyObject* data = nullptr;
  PyObject* password = nullptr;
  int output_code = 0;
  int with_warnings = 0;
  int image_placeholders = 0;
  if (!PyArg_ParseTuple(args, "OOi|pp:_extract", &data, &password, &output_code, &with_warnings,
                        &image_placeholders)) {
    return nullptr;
  }
  Input input;
  if (!read_input(data, password, input)) return nullptr;
  if (output_code < 0 || output_code > static_cast<int>(Output::Markdown)) {
    PyErr_SetString(PyExc_ValueError, "unknown output");
    return nullptr;
  }
  const auto output = static_cast<Output>(output_code);
  try {
    std::optional<Result<Document>> parsed;
    std::string text;
    std::vector<Warning> warnings;
    {
      ReleasedLock unlocked;
      parsed = parse_document(input.data, input.password_bytes(), ExtractOptions{.recover = true});
      if (*parsed && with_warnings != 0 && (*parsed)->warnings) warnings = *(*parsed)->warnings;
      if (*parsed && output != Output::Dict) {
        text = render(output, std::move(**parsed), WriterOptions{.image_placeholders = image_placeholders != 0});
        parsed.reset();
      }
    }
    if (parsed && !*parsed) {
      raise_parse_error(parsed->error());
      return nullptr;
    }
    PyRef result(output == Output::Dict
                     ? document_to_python(**parsed)
                     : PyUnicode_DecodeUTF8(text.data(), static_cast<Py_ssize_t>(text.size()), "replace"));
    if (!result || with_warnings == 0) return result.release();
    PyRef listed(warnings_to_python(warnings));
    if (!listed) return nullptr;
    return PyTuple_Pack(2, result.get(), listed.get());
  } catch (const std::bad_alloc&) {
    return PyErr_NoMemory();
  } catch (const std::exception& error) {
    PyErr_SetString(PyExc_SystemError, error.what());
    return nullptr;
  }
}

// The document dict and the Markdown of each page from one parse, behind the page
// loaders of the package: (data: bytes, password: str or None, strict: bool). Strict
// reads as parse() does, else as extract() does; the lock is released while it runs.
PyObject* extract_pages(PyObject*, PyObject* args) {
  PyObject* data = nullptr;
  PyObject* password = nullptr;
  int strict = 0;
  if (!PyArg_ParseTuple(args, "OOp:_extract_pages", &data, &password, &strict)) return nullptr;
  Input input;
  if (!read_input(data, password, input)) return nullptr;
  try {
    std::optional<Result<Document>> parsed;
    std::vector<std::string> pages;
    {
      ReleasedLock unlocked;
      parsed = parse_document(input.data, input.password_bytes(), ExtractOptions{.recover = strict == 0});
      if (*parsed) pages = markdown_pages(**parsed);
    }
    if (!*parsed) {
      raise_parse_error(parsed->error());
      return nullptr;
    }
    PyRef document(document_to_python(**parsed));
    if (!document) return nullptr;
    PyRef markdown(texts_to_python(pages));
    if (!markdown) return nullptr;
    return PyTuple_Pack(2, document.get(), markdown.get());
  } catch (const std::bad_alloc&) {
    return PyErr_NoMemory();
  } catch (const std::exception& error) {
    PyErr_SetString(PyExc_SystemError, error.what());
    return nullptr;
  }
}

PyObject* parse(PyObject*, PyObject* args, PyObject* kwargs) {
  return run("parse", Output::Dict, args, kwargs);
}

PyObject* parse_to_json(PyObject*, PyObject* args, PyObject* kwargs) {
  return run("parse_to_json", Output::Json, args, kwargs);
}

PyObject* parse_to_html(PyObject*, PyObject* args, PyObject* kwargs) {
  return run("parse_to_html", Output::Html, args, kwargs);
}

PyObject* parse_to_markdown(PyObject*, PyObject* args, PyObject* kwargs) {
  return run("parse_to_markdown", Output::Markdown, args, kwargs);
}

// METH_VARARGS | METH_KEYWORDS functions are stored as PyCFunction; going through
// a plain function pointer type keeps -Wcast-function-type quiet.
PyCFunction as_method(PyCFunctionWithKeywords function) {
  return reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(function));
}

// Each docstring opens with the signature line and "--" so that the function
// carries the text signature "(data, password=None)".
PyMethodDef functions[] = {
    {"parse", as_method(parse), METH_VARARGS | METH_KEYWORDS,
     "parse(data, password=None)\n--\n\n"
     "Parse a PDF and return the extracted document as a native Python dict."},
    {"parse_to_json", as_method(parse_to_json), METH_VARARGS | METH_KEYWORDS,
     "parse_to_json(data, password=None)\n--\n\n"
     "Parse a PDF and return its extracted form as pretty JSON."},
    {"parse_to_html", as_method(parse_to_html), METH_VARARGS | METH_KEYWORDS,
     "parse_to_html(data, password=None)\n--\n\n"
     "Parse a PDF and render it to a standalone HTML document."},
    {"parse_to_markdown", as_method(parse_to_markdown), METH_VARARGS | METH_KEYWORDS,
     "parse_to_markdown(data, password=None)\n--\n\n"
     "Parse a PDF and render it to Markdown."},
};

// Not one of the module's public functions (its __all__ keeps the four): the package's
// folioscan.extract is the interface.
PyMethodDef extract_def = {
    "_extract", extract, METH_VARARGS,
    "_extract(data, password, output, with_warnings=False, image_placeholders=False, /)\n--\n\n"
    "Recovering extraction behind folioscan.extract; output is 0 dict, 1 JSON, 2 HTML, 3 Markdown.\n"
    "With with_warnings, returns (result, warnings); with image_placeholders, Markdown and HTML\n"
    "write image blocks as placeholders."};

PyMethodDef extract_pages_def = {
    "_extract_pages", extract_pages, METH_VARARGS,
    "_extract_pages(data, password, strict, /)\n--\n\n"
    "The document dict and a list of each page's Markdown, from one parse: recovering as\n"
    "folioscan.extract does, or with strict as parse does. Behind folioscan.langchain."};

PyModuleDef module_def = {
    PyModuleDef_HEAD_INIT,
    "_folioscan",
    "The native extension module (`folioscan._folioscan`).",
    0,        // no per-module state
    nullptr,  // functions are added one by one in PyInit__folioscan
    nullptr,
    nullptr,
    nullptr,
    nullptr,
};

// The module created by the first initialisation, kept for the life of the process.
PyObject* initialised_module = nullptr;

// Appends `name` to the module's __all__, creating the list when there is none.
bool append_to_all(PyObject* module, const char* name) {
  PyObject* namespace_dict = PyModule_GetDict(module);  // borrowed from the live module
  if (!namespace_dict) return false;
  PyRef all_key(PyUnicode_FromString("__all__"));
  if (!all_key) return false;
  PyObject* existing = PyDict_GetItemWithError(namespace_dict, all_key.get());
  PyRef all;
  if (existing) {
    all = PyRef(Py_NewRef(existing));
  } else {
    if (PyErr_Occurred()) return false;
    all = PyRef(PyList_New(0));
    if (!all || PyDict_SetItem(namespace_dict, all_key.get(), all.get()) < 0) return false;
  }
  PyRef name_object(PyUnicode_FromString(name));
  if (!name_object) return false;
  return PyList_Append(all.get(), name_object.get()) == 0;
}

bool add_function(PyObject* module, PyObject* module_name, PyMethodDef& def) {
  PyRef function(PyCFunction_NewEx(&def, module, module_name));
  if (!function) return false;
  if (PyModule_AddObjectRef(module, def.ml_name, function.get()) < 0) return false;
  return append_to_all(module, def.ml_name);
}

}  // namespace
}  // namespace folioscan::python

PyMODINIT_FUNC PyInit__folioscan(void) {
  using namespace folioscan::python;
  // The module is single-phase and holds the one reference above; a second
  // initialisation (another interpreter, or an import that bypasses the module
  // cache) is refused rather than handing out a second, diverging module.
  if (initialised_module) {
    PyErr_SetString(PyExc_ImportError,
                    "folioscan._folioscan may only be initialised once per interpreter process");
    return nullptr;
  }
  PyRef module(PyModule_Create(&module_def));
  if (!module) return nullptr;
  PyRef module_name(PyModule_GetNameObject(module.get()));
  if (!module_name) return nullptr;
  for (PyMethodDef& def : functions) {
    if (!add_function(module.get(), module_name.get(), def)) return nullptr;
  }
  for (PyMethodDef* def : {&extract_def, &extract_pages_def}) {
    PyRef function(PyCFunction_NewEx(def, module.get(), module_name.get()));
    if (!function || PyModule_AddObjectRef(module.get(), def->ml_name, function.get()) < 0) return nullptr;
  }
  initialised_module = Py_NewRef(module.get());
  return module.release();
}
