// The single include of the Python C API for the extension: pins the limited API
// (stable ABI of CPython 3.11 and later) and gives an owning reference handle so
// every early return releases what it created.
#pragma once

#ifndef Py_LIMITED_API
#define Py_LIMITED_API 0x030B0000
#endif
#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <utility>

namespace folioscan::python {

// Owns one strong reference (or none) and drops it on scope exit.
class PyRef {
 public:
  PyRef() = default;
  // Takes over a new reference; nullptr (a failed C-API call) is allowed.
  explicit PyRef(PyObject* object) noexcept : object_(object) {}
  PyRef(const PyRef&) = delete;
  PyRef& operator=(const PyRef&) = delete;
  PyRef(PyRef&& other) noexcept : object_(std::exchange(other.object_, nullptr)) {}
  PyRef& operator=(PyRef&& other) noexcept {
    if (this != &other) {
      Py_XDECREF(object_);
      object_ = std::exchange(other.object_, nullptr);
    }
    return *this;
  }
  ~PyRef() { Py_XDECREF(object_); }

  PyObject* get() const noexcept { return object_; }
  // Hands the reference to the caller.
  PyObject* release() noexcept { return std::exchange(object_, nullptr); }
  explicit operator bool() const noexcept { return object_ != nullptr; }

 private:
  PyObject* object_ = nullptr;
};

}  // namespace folioscan::python
