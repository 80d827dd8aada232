// marrowlane_web.engine.spatial.grid_builder: the page's element and text
// element records in one flat list in reading order. The core orders, types
// and counts; this file reads the records and builds the entry dicts, which
// hold the caller's own records under `element`.
#include <array>
#include <vector>

#include "common/common.hpp"
#include "marrowlane/grid.hpp"

namespace py = pybind11;
using namespace marrowlane::bind;
namespace grid = marrowlane::grid;

namespace {

// Record keys, made once: lookups and entries reuse the same interned strs.
struct Keys {
  py::handle tag = key("tag"), text = key("text"), attributes = key("attributes"),
             role = key("role"), type = key("type"), label_attribute = key("_label"),
             aria_label = key("aria-label"), placeholder = key("placeholder"), name = key("name"),
             is_enabled = key("is_enabled"), bounding_box = key("bounding_box");
  py::handle x = key("x"), y = key("y"), width = key("width"), height = key("height");
  // Entry and position keys, in the order the entries show them.
  py::handle index = key("index"), element_type = key("element_type"), label = key("label"),
             searchable = key("searchable"), is_anchor_only = key("is_anchor_only"),
             order_in_type = key("order_in_type"), position = key("position"),
             element = key("element");
  py::handle w = key("w"), h = key("h"), cx = key("cx"), cy = key("cy"), x2 = key("x2"),
             y2 = key("y2");
};

const Keys& keys() {
  static const Keys k;  // made with the GIL held, on first use
  return k;
}

// A coordinate of a box: an int (bool included) or a float, None when the key
// is missing or holds None.
std::optional<grid::Number> read_number(py::handle box, py::handle key, py::object& stored) {
  stored = get(box, key);
  PyObject* v = stored.ptr();
  if (stored.is_none()) return std::nullopt;
  if (PyFloat_Check(v)) return grid::Number::real(PyFloat_AS_DOUBLE(v));
  if (PyLong_Check(v)) {
    const long long i = PyLong_AsLongLong(v);  // OverflowError beyond 64 bits
    if (i == -1 && PyErr_Occurred()) throw py::error_already_set();
    return grid::Number::integer(i);
  }
  PyErr_Format(PyExc_TypeError, "bounding box '%U' must be int or float, not %.200s", key.ptr(),
               Py_TYPE(v)->tp_name);
  throw py::error_already_set();
}

py::object to_python(grid::Number n) {
  if (n.is_integer()) return py::int_(n.as_integer());
  return py::float_(n.as_double());
}

// A record read for the core, with the caller's values the entry passes on.
struct Reading {
  grid::Record view;
  py::object tag, text, label, is_enabled;
  std::array<py::object, 4> box;  // x, y, width, height as stored
};

class Reader {
 public:
  // A record without a (truthy) `bounding_box` makes no entry and is not
  // read further; the box itself is read last, after the texts.
  Reading read(py::handle record) {
    py::object bb = get(record, keys().bounding_box);
    if (!truthy(bb)) return Reading{};
    Reading r = read_texts(record);
    r.view.has_box = true;
    r.view.box = read_box(bb, r.box);
    return r;
  }

  Reading read_texts(py::handle record) {
    const Keys& k = keys();
    Reading r;
    py::object attributes = get(record, k.attributes);
    if (attributes.is_none()) attributes = py::dict();
    r.tag = value_text(record, k.tag, r.view.tag);
    r.view.role = text(attributes, k.role);
    r.view.input_type = text(attributes, k.type);
    r.text = value_text(record, k.text, r.view.surfaces.text);
    r.label = value_text(attributes, k.label_attribute, r.view.surfaces.label);
    r.view.surfaces.aria_label = text(attributes, k.aria_label);
    r.view.surfaces.placeholder = text(attributes, k.placeholder);
    r.view.surfaces.name = text(attributes, k.name);
    r.is_enabled = get(record, k.is_enabled);
    if (r.is_enabled.is_none()) r.is_enabled = py::bool_(true);
    return r;
  }

  grid::Box read_box(py::handle bb, std::array<py::object, 4>& stored) {
    check_arg(bb, "bb", Kind::Dict);
    const Keys& k = keys();
    grid::Box box;
    box.x = read_number(bb, k.x, stored[0]);
    box.y = read_number(bb, k.y, stored[1]);
    box.width = read_number(bb, k.width, stored[2]);
    box.height = read_number(bb, k.height, stored[3]);
    return box;
  }

  // The text of a str value, "" for anything else.
  std::string_view text(py::handle record, py::handle key) { return views_.text(get(record, key)); }

 private:
  // The stored str (the entry shows it as given), or "" for anything else.
  py::object value_text(py::handle record, py::handle key, std::string_view& text) {
    py::object value = get(record, key);
    if (!PyUnicode_Check(value.ptr())) return py::str("");
    text = views_.str(value);
    return value;
  }

  Utf8Views views_;
};

py::dict position_dict(const grid::Position& p, const std::array<py::object, 4>& stored) {
  auto given = [](const py::object& value, grid::Number n) {
    return value && !value.is_none() ? value : to_python(n);
  };
  const Keys& k = keys();
  py::dict d;
  d[k.x] = given(stored[0], p.x);
  d[k.y] = given(stored[1], p.y);
  d[k.w] = given(stored[2], p.w);
  d[k.h] = given(stored[3], p.h);
  d[k.cx] = to_python(p.cx);
  d[k.cy] = to_python(p.cy);
  d[k.x2] = to_python(p.x2);
  d[k.y2] = to_python(p.y2);
  return d;
}

std::vector<py::object> items_of(py::handle list) {
  std::vector<py::object> items;
  for (py::handle item : py::iter(list)) items.push_back(py::reinterpret_borrow<py::object>(item));
  return items;
}

py::str element_type(py::handle element) {
  check_arg(element, "element", Kind::Dict);
  const Keys& k = keys();
  Reader reader;
  py::object attributes = get(element, k.attributes);
  if (attributes.is_none()) attributes = py::dict();
  const std::string_view tag = reader.text(element, k.tag);
  const std::string_view role = reader.text(attributes, k.role);
  const std::string_view input_type = reader.text(attributes, k.type);
  return from_utf8(grid::element_type(tag, role, input_type));
}

py::dict position(py::handle bb) {
  Reader reader;
  std::array<py::object, 4> stored;
  const grid::Box box = reader.read_box(bb, stored);
  return position_dict(grid::position(box), stored);
}

py::str searchable(py::handle element) {
  check_arg(element, "element", Kind::Dict);
  Reader reader;
  const Reading r = reader.read_texts(element);
  return from_utf8(grid::searchable(r.view.surfaces));
}

struct GridBuilder {
  py::object dom_elements;
  py::object text_elements;

  py::list build() const {
    const std::vector<py::object> elements = items_of(dom_elements);
    const std::vector<py::object> texts = items_of(text_elements);
    Reader reader;
    std::vector<Reading> element_readings, text_readings;
    std::vector<grid::Record> element_views, text_views;
    auto read_all = [&reader](const std::vector<py::object>& records,
                              std::vector<Reading>& readings, std::vector<grid::Record>& views) {
      readings.reserve(records.size());
      views.reserve(records.size());
      for (const py::object& record : records) {
        readings.push_back(reader.read(record));
        views.push_back(readings.back().view);
      }
    };
    read_all(elements, element_readings, element_views);
    read_all(texts, text_readings, text_views);

    const std::vector<grid::Entry> entries = grid::build(element_views, text_views);
    const Keys& k = keys();
    py::list matrix(entries.size());
    for (std::size_t i = 0; i < entries.size(); ++i) {
      const grid::Entry& e = entries[i];
      const Reading& r = e.is_anchor_only ? text_readings[e.source] : element_readings[e.source];
      py::dict entry;
      entry[k.index] = py::int_(e.index);
      entry[k.tag] = r.tag;
      entry[k.element_type] = from_utf8(e.element_type);
      entry[k.text] = r.text;
      entry[k.label] = r.label;
      entry[k.searchable] = from_utf8(e.searchable);
      entry[k.is_enabled] = e.is_anchor_only ? py::bool_(true) : r.is_enabled;
      entry[k.is_anchor_only] = py::bool_(e.is_anchor_only);
      entry[k.order_in_type] = py::int_(e.order_in_type);
      entry[k.position] = position_dict(e.position, r.box);
      entry[k.element] = e.is_anchor_only ? texts[e.source] : elements[e.source];
      matrix[i] = std::move(entry);
    }
    return matrix;
  }
};

GridBuilder make_builder(py::object dom_elements, py::object text_elements) {
  check_arg(dom_elements, "dom_elements", Kind::List);
  check_arg(text_elements, "text_elements", Kind::List, /*none_ok=*/true);
  if (!truthy(text_elements)) text_elements = py::list();
  return GridBuilder{std::move(dom_elements), std::move(text_elements)};
}

constexpr const char* kBuilderDoc =
    "Builds a flat spatial matrix sorted in natural reading order (top-to-bottom,\n"
    "left-to-right).\n"
    "\n"
    "Accepts both interactable elements (action targets) and text elements\n"
    "(anchor-only). Text elements can be named as spatial anchors but are never\n"
    "returned as resolved action targets.";

constexpr const char* kBuildDoc =
    "Return the spatial matrix: one entry per element with a bounding box, sorted\n"
    "top-to-bottom then left-to-right.\n"
    "\n"
    "Each entry is a dict with:\n"
    "    index         -- position in reading order, 0-based\n"
    "    tag           -- the element's tag name\n"
    "    element_type  -- normalised type: link, button, input, select, textbox,\n"
    "                     combobox, another tag name, or text for text elements\n"
    "    text          -- the element's visible text\n"
    "    label         -- the field label found for the element\n"
    "    searchable    -- every human-readable surface joined into one string\n"
    "    is_enabled    -- whether the element is enabled (text elements: True)\n"
    "    is_anchor_only -- True for text elements, which serve only as anchors\n"
    "    order_in_type -- 1-based ordinal among entries of the same element_type\n"
    "    position      -- dict with x, y, w, h, cx, cy, x2, y2 in page pixels\n"
    "    element       -- the original element dict";

}  // namespace

PYBIND11_MODULE(grid_builder, m) {
  py::options options;
  prepare_module(options);
  m.doc() = "Constructs a spatial matrix of DOM elements sorted in natural reading order.";

  m.attr("_TAG_TO_TYPE") = dict_of(grid::kTagToType);

  m.def("_element_type", &element_type,
        doc("_element_type(element)",
            "Return a normalised element type from tag, role, and input type attribute.")
            .c_str(),
        py::arg("element"));
  m.def("_position", &position,
        doc("_position(bb)", "Build the full position dict from a bounding box.").c_str(),
        py::arg("bb"));
  m.def("_searchable", &searchable,
        doc("_searchable(element)",
            "Concatenate all human-readable surfaces into one string for anchor matching.")
            .c_str(),
        py::arg("element"));

  py::class_<GridBuilder>(m, "GridBuilder", kBuilderDoc, py::dynamic_attr())
      .def(py::init(&make_builder),
           doc("__init__(self, dom_elements, text_elements=None)",
               "Store interactable and optional text elements for matrix construction.")
               .c_str(),
           py::arg("dom_elements"), py::arg("text_elements") = py::none())
      .def_readwrite("dom_elements", &GridBuilder::dom_elements)
      .def_readwrite("text_elements", &GridBuilder::text_elements)
      .def("build", &GridBuilder::build, doc("build(self)", kBuildDoc).c_str());
}
