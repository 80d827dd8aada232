#include "common/common.hpp"

#include <limits>

#include "marrowlane/errors.hpp"

namespace marrowlane::bind {

const char* kind_name(Kind kind) {
  switch (kind) {
    case Kind::Str: return "str";
    case Kind::List: return "list";
    case Kind::Dict: return "dict";
    case Kind::Tuple: return "tuple";
    case Kind::Int: return "int";
    case Kind::Float: return "float";
    case Kind::Bool: return "bool";
  }
  return "object";
}

bool is_exactly(py::handle value, Kind kind) {
  PyObject* v = value.ptr();
  switch (kind) {
    case Kind::Str: return PyUnicode_CheckExact(v);
    case Kind::List: return PyList_CheckExact(v);
    case Kind::Dict: return PyDict_CheckExact(v);
    case Kind::Tuple: return PyTuple_CheckExact(v);
    case Kind::Int: return PyLong_CheckExact(v);
    case Kind::Float: return PyFloat_CheckExact(v);
    case Kind::Bool: return PyBool_Check(v);
  }
  return false;
}

void check_arg(py::handle value, const char* name, Kind kind, bool none_ok) {
  if (is_exactly(value, kind) || (none_ok && value.is_none())) return;
  PyErr_Format(PyExc_TypeError,
               "Argument '%.200s' has incorrect type (expected %.200s, got %.200s)", name,
               kind_name(kind), Py_TYPE(value.ptr())->tp_name);
  throw py::error_already_set();
}

void check_result(py::handle value, Kind kind, bool none_ok) {
  if (is_exactly(value, kind) || (none_ok && value.is_none())) return;
  PyErr_Format(PyExc_TypeError, "Expected %s, got %.200s", kind_name(kind),
               Py_TYPE(value.ptr())->tp_name);
  throw py::error_already_set();
}

std::string str_arg(py::handle value, const char* name) {
  check_arg(value, name, Kind::Str);
  return to_utf8(value);
}

std::string to_utf8(py::handle str) {
  if (!PyUnicode_Check(str.ptr())) {
    PyErr_Format(PyExc_TypeError, "expected str, got %.200s", Py_TYPE(str.ptr())->tp_name);
    throw py::error_already_set();
  }
  Py_ssize_t size = 0;
  // The common case needs no copy of the encoded form: the cached UTF-8 buffer.
  if (const char* data = PyUnicode_AsUTF8AndSize(str.ptr(), &size)) {
    return std::string(data, static_cast<std::size_t>(size));
  }
  PyErr_Clear();  // lone surrogates: encode them as their three bytes
  py::object bytes = py::reinterpret_steal<py::object>(
      PyUnicode_AsEncodedString(str.ptr(), "utf-8", "surrogatepass"));
  if (!bytes) throw py::error_already_set();
  char* data = nullptr;
  if (PyBytes_AsStringAndSize(bytes.ptr(), &data, &size) != 0) throw py::error_already_set();
  return std::string(data, static_cast<std::size_t>(size));
}

py::str from_utf8(std::string_view text) {
  PyObject* s =
      PyUnicode_DecodeUTF8(text.data(), static_cast<Py_ssize_t>(text.size()), "surrogatepass");
  if (!s) throw py::error_already_set();
  return py::reinterpret_steal<py::str>(s);
}

py::object str_or_none(const std::optional<std::string>& text) {
  return text ? py::object(from_utf8(*text)) : py::object(py::none());
}

py::object get(py::handle record, const char* key) {
  py::str name(key);
  return get(record, py::handle(name));
}

py::object get(py::handle record, py::handle key) {
  if (!PyDict_CheckExact(record.ptr())) {
    PyErr_Format(PyExc_TypeError, "Expected dict, got %.200s", Py_TYPE(record.ptr())->tp_name);
    throw py::error_already_set();
  }
  PyObject* value = PyDict_GetItemWithError(record.ptr(), key.ptr());  // borrowed
  if (!value) {
    if (PyErr_Occurred()) throw py::error_already_set();
    return py::none();
  }
  return py::reinterpret_borrow<py::object>(value);
}

py::handle key(const char* name) {
  PyObject* interned = PyUnicode_InternFromString(name);  // kept: never released
  if (!interned) throw py::error_already_set();
  return interned;
}

std::int64_t saturated_int(py::handle value) {
  int overflow = 0;
  const long long i = PyLong_AsLongLongAndOverflow(value.ptr(), &overflow);
  if (i == -1 && PyErr_Occurred()) throw py::error_already_set();
  if (overflow > 0) return std::numeric_limits<std::int64_t>::max();
  if (overflow < 0) return std::numeric_limits<std::int64_t>::min();
  return i;
}

bool truthy(py::handle value) {
  int r = PyObject_IsTrue(value.ptr());
  if (r < 0) throw py::error_already_set();
  return r == 1;
}

void write_and_close(py::handle file, py::handle data) {
  try {
    file.attr("write")(data);
  } catch (...) {
    file.attr("close")();
    throw;
  }
  file.attr("close")();
}

std::optional<std::string> text_of(py::handle value, bool convert) {
  if (value.is_none()) return std::nullopt;
  if (PyUnicode_Check(value.ptr())) return to_utf8(value);
  if (!convert) return std::nullopt;
  return to_utf8(py::str(value));
}

std::optional<std::string> get_text(py::handle record, const char* key, bool convert) {
  return text_of(get(record, key), convert);
}

std::string_view Utf8Views::str(py::handle s) {
  Py_ssize_t size = 0;
  if (const char* data = PyUnicode_AsUTF8AndSize(s.ptr(), &size)) {
    hold(s);
    return {data, static_cast<std::size_t>(size)};
  }
  PyErr_Clear();  // lone surrogates: the copy that keeps them
  return copies_.emplace_back(to_utf8(s));
}

std::string_view Utf8Views::text(py::handle value) {
  if (!value || !PyUnicode_Check(value.ptr())) return {};
  return str(value);
}

void Utf8Views::hold(py::handle object) {
  held_.push_back(py::reinterpret_borrow<py::object>(object));
}

std::string doc(std::string_view signature, std::string_view docstring) {
  std::string out(signature);
  out.append("\n--\n\n");
  out.append(docstring);
  return out;
}

void register_errors() {
  py::register_local_exception_translator([](std::exception_ptr p) {
    try {
      if (p) std::rethrow_exception(p);
    } catch (const marrowlane::ValueError& e) {
      PyErr_SetString(PyExc_ValueError, e.what());
    } catch (const marrowlane::TypeError& e) {
      PyErr_SetString(PyExc_TypeError, e.what());
    } catch (const marrowlane::KeyError& e) {
      py::object key = from_utf8(e.what());
      PyErr_SetObject(PyExc_KeyError, key.ptr());
    }
  });
}

void prepare_module(py::options& options) {
  options.disable_function_signatures();
  register_errors();
}

}  // namespace marrowlane::bind
