// The spatial matrix as the core sees it: the caller's entry dicts read into
// spatial::EntryView, for every binding that answers over the matrix.
#pragma once

#include <array>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "common/common.hpp"
#include "marrowlane/spatial.hpp"

namespace marrowlane::bind {

namespace spatial = marrowlane::spatial;
using marrowlane::grid::Number;

// A key of an entry with its name, for lookups in loops and for messages.
struct [[gnu::visibility("hidden")]] Field {
  py::handle key;
  const char* name;
  explicit Field(const char* n) : key(marrowlane::bind::key(n)), name(n) {}
};

struct [[gnu::visibility("hidden")]] Fields {
  Field index{"index"}, element_type{"element_type"}, text{"text"}, searchable{"searchable"},
      is_anchor_only{"is_anchor_only"}, position{"position"}, element{"element"},
      attributes{"attributes"}, xpath{"xpath"};
  Field x{"x"}, y{"y"}, w{"w"}, h{"h"}, cx{"cx"}, cy{"cy"}, x2{"x2"}, y2{"y2"};
  std::array<Field, 3> anchor_attributes{Field("aria-label"), Field("_label"),
                                         Field("placeholder")};
};

// A parsed target as the 6-tuple (anchor, relation, type_filter, ordinal, search_text,
// target_text), None for a part it lacks.
inline py::tuple target_tuple(const spatial::Target& t) {
  py::object ordinal = t.ordinal ? py::object(py::int_(*t.ordinal)) : py::object(py::none());
  return py::make_tuple(str_or_none(t.anchor), str_or_none(t.relation), str_or_none(t.type_filter),
                        ordinal, str_or_none(t.search_text), str_or_none(t.target_text));
}

inline const Fields& fields() {
  static const Fields f;  // made with the GIL held, on first use
  return f;
}

// A number of an entry: an int (bool included) or a float; nullopt when the
// key is missing or holds None.
inline std::optional<Number> read_number(py::handle record, const Field& field) {
  py::object value = get(record, field.key);
  PyObject* v = value.ptr();
  if (value.is_none()) return std::nullopt;
  if (PyFloat_Check(v)) return Number::real(PyFloat_AS_DOUBLE(v));
  if (PyLong_Check(v)) {
    const long long i = PyLong_AsLongLong(v);  // OverflowError beyond 64 bits
    if (i == -1 && PyErr_Occurred()) throw py::error_already_set();
    return Number::integer(i);
  }
  PyErr_Format(PyExc_TypeError, "entry value '%s' must be int or float, not %.200s", field.name,
               Py_TYPE(v)->tp_name);
  throw py::error_already_set();
}

// The caller's entries and their views. The entries (and every str viewed)
// are held here, so the answers refer to the records that were read even if
// the list changes meanwhile.
class [[gnu::visibility("hidden")]] Matrix {
 public:
  void add(py::handle entry) {
    entries_.push_back(py::reinterpret_borrow<py::object>(entry));
    views_.push_back(read(entry));
  }
  void add_all(py::handle list) {
    const Py_ssize_t n = PyList_Check(list.ptr()) ? PyList_GET_SIZE(list.ptr()) : 0;
    entries_.reserve(static_cast<std::size_t>(n));
    views_.reserve(static_cast<std::size_t>(n));
    for (py::handle entry : py::iter(list)) add(entry);
  }

  std::span<const spatial::EntryView> views() const { return views_; }
  const py::object& entry(std::size_t i) const { return entries_[i]; }
  py::object element(std::size_t i) const { return get(entries_[i], fields().element.key); }
  py::list elements(const std::vector<std::size_t>& indices) const {
    py::list out(indices.size());
    for (std::size_t k = 0; k < indices.size(); ++k) out[k] = element(indices[k]);
    return out;
  }
  py::list entries(const std::vector<std::size_t>& indices) const {
    py::list out(indices.size());
    for (std::size_t k = 0; k < indices.size(); ++k) out[k] = entries_[indices[k]];
    return out;
  }

 private:
  spatial::EntryView read(py::handle entry) {
    const Fields& f = fields();
    spatial::EntryView v;
    v.index = read_number(entry, f.index);
    v.element_type = text(entry, f.element_type);
    v.text = text(entry, f.text);
    v.searchable = text(entry, f.searchable);
    v.is_anchor_only = truthy(get(entry, f.is_anchor_only.key));
    py::object position = get(entry, f.position.key);
    if (!position.is_none()) {
      spatial::PositionView& p = v.position.emplace();
      p.x = read_number(position, f.x);
      p.y = read_number(position, f.y);
      p.w = read_number(position, f.w);
      p.h = read_number(position, f.h);
      p.cx = read_number(position, f.cx);
      p.cy = read_number(position, f.cy);
      p.x2 = read_number(position, f.x2);
      p.y2 = read_number(position, f.y2);
    }
    py::object element = get(entry, f.element.key);
    if (!element.is_none()) {
      py::object attributes = get(element, f.attributes.key);
      if (!attributes.is_none()) {
        for (std::size_t i = 0; i < f.anchor_attributes.size(); ++i) {
          v.anchor_attributes[i] = texts_.text(get(attributes, f.anchor_attributes[i].key));
        }
      }
      v.xpath = texts_.text(get(element, f.xpath.key));
    }
    return v;
  }

  // A text key of the entry: nullopt when missing or None, refused when not a str.
  std::optional<std::string_view> text(py::handle entry, const Field& field) {
    py::object value = get(entry, field.key);
    if (value.is_none()) return std::nullopt;
    if (!PyUnicode_Check(value.ptr())) {
      PyErr_Format(PyExc_TypeError, "entry value '%s' must be str, not %.200s", field.name,
                   Py_TYPE(value.ptr())->tp_name);
      throw py::error_already_set();
    }
    return texts_.str(value);
  }

  std::vector<py::object> entries_;
  std::vector<spatial::EntryView> views_;
  Utf8Views texts_;
};

}  // namespace marrowlane::bind
