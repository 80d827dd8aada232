// marrowlane_web.engine.strategies.text_match_strategy: Level-1 resolution.
// Reads the page scanner's records into views once per call, asks the core,
// and answers with the caller's own records, picked by index.
#include <array>
#include <limits>
#include <vector>

#include "common/common.hpp"
#include "marrowlane/text_match.hpp"

namespace py = pybind11;
namespace core = marrowlane::text_match;
using namespace marrowlane::bind;

namespace {

class TextMatchStrategy {};

// ---------------------------------------------------------------------------
// Keys, interned once
// ---------------------------------------------------------------------------

struct Keys {
  py::handle text = key("text"), tag = key("tag"), xpath = key("xpath"),
             attributes = key("attributes"), bounding_box = key("bounding_box"),
             is_visible = key("is_visible"), is_enabled = key("is_enabled"),
             is_editable_field = key("is_editable_field");
  std::array<py::handle, core::kMatchAttributes.size()> match = [] {
    std::array<py::handle, core::kMatchAttributes.size()> out;
    for (std::size_t i = 0; i < out.size(); ++i) {
      out[i] = key(std::string(core::kMatchAttributes[i]).c_str());
    }
    return out;
  }();
  py::handle x = key("x"), y = key("y"), width = key("width"), height = key("height");
  py::handle action = key("action"), target = key("target"), value = key("value"),
             ordinal = key("ordinal");
  py::handle resolved = key("resolved"), verified = key("verified"), confidence = key("confidence"),
             element = key("element"), state = key("state"), candidates = key("candidates"),
             extracted = key("extracted");
  py::handle present = key("present"), visible = key("visible"), enabled = key("enabled"),
             expected = key("expected"), actual = key("actual");
};

const Keys& keys() {
  static const Keys k;  // made with the GIL held, on first use
  return k;
}

// ---------------------------------------------------------------------------
// Reading records
// ---------------------------------------------------------------------------

// What a caller needs of each record; the rest is not read.
enum Fields : unsigned {
  kText = 1u << 0,       // text
  kVisible = 1u << 1,    // is_visible
  kSurfaces = 1u << 2,   // attributes, tag, is_enabled, is_editable_field
  kPlace = 1u << 3,      // tag, xpath, bounding_box, attributes -> aria-label
  kReadingBox = 1u << 4  // bounding_box
};
constexpr unsigned kElement = kText | kVisible | kSurfaces | kReadingBox;
constexpr unsigned kTextOnly = kText | kVisible;
constexpr unsigned kSpatial = kText | kPlace;

const char* type_name(PyObject* o) { return Py_TYPE(o)->tp_name; }

// The records of one list argument: the views the core reads and the caller's
// objects they came from, held in the list's order as it was read.
struct Records {
  std::vector<core::Record> views;
  std::vector<py::object> objects;
};

// Views of the caller's records. Every object viewed is held until the reader
// goes, so a record changed under us (a value's __bool__ may run any code)
// never leaves a view dangling.
class Reader {
 public:
  // The records of `list`, each read once; `name` is the argument's name.
  Records records(py::handle list, const char* name, unsigned fields) {
    Records out;
    const Py_ssize_t n = PyList_GET_SIZE(list.ptr());
    out.objects.reserve(static_cast<std::size_t>(n));
    for (Py_ssize_t i = 0; i < n; ++i) {
      out.objects.push_back(py::reinterpret_borrow<py::object>(PyList_GET_ITEM(list.ptr(), i)));
    }
    out.views.reserve(out.objects.size());
    for (std::size_t i = 0; i < out.objects.size(); ++i) {
      PyObject* item = out.objects[i].ptr();
      if (!PyDict_Check(item)) {
        throw py::type_error(std::string(name) + "[" + std::to_string(i) +
                             "] must be a dict, not " + type_name(item));
      }
      out.views.push_back(record(item, fields));
    }
    return out;
  }

  core::Record record(PyObject* dict, unsigned fields) {
    const Keys& k = keys();
    core::Record r;
    r.identity = dict;
    if (fields & kText) r.text = text(lookup(dict, k.text));
    if (fields & kVisible) r.is_visible = flag(lookup(dict, k.is_visible));
    if (fields & (kSurfaces | kPlace)) r.tag = text(lookup(dict, k.tag));
    if (fields & kPlace) r.xpath = text(lookup(dict, k.xpath));
    if (fields & (kPlace | kReadingBox)) r.box = box(lookup(dict, k.bounding_box));
    if (fields & (kSurfaces | kPlace)) {
      PyObject* attrs = lookup(dict, k.attributes);
      // Anything but a record reads as no attributes.
      if (attrs && PyDict_Check(attrs)) {
        hold(attrs);
        if (fields & kSurfaces) {
          surfaces(attrs, r);
        } else {
          r.match_attributes[0] = text(lookup(attrs, k.match[0]));  // aria-label
        }
      }
    }
    if (fields & kSurfaces) {
      r.is_enabled = flag(lookup(dict, k.is_enabled));
      r.is_editable_field = flag(lookup(dict, k.is_editable_field));
    }
    return r;
  }

  // The UTF-8 of a str (lone surrogates kept as their three bytes).
  std::string_view str(py::handle s) { return views_.str(s); }

 private:
  void hold(PyObject* o) { views_.hold(o); }

  // dict.get(key): borrowed, nullptr when missing.
  PyObject* lookup(PyObject* dict, py::handle key) {
    PyObject* v = PyDict_GetItemWithError(dict, key.ptr());
    if (!v && PyErr_Occurred()) throw py::error_already_set();
    return v;
  }

  // A text value; missing, none and other kinds read as no text.
  std::string_view text(PyObject* v) { return views_.text(v); }

  bool flag(PyObject* v) {
    if (!v || v == Py_None || v == Py_False) return false;
    if (v == Py_True) return true;
    hold(v);
    return truthy(v);
  }

  core::Number number(PyObject* v) {
    core::Number n;
    if (!v) return n;
    if (PyFloat_Check(v)) {
      n.state = core::Number::State::Value;
      n.value = PyFloat_AS_DOUBLE(v);
    } else if (PyLong_Check(v)) {
      n.state = core::Number::State::Value;
      int overflow = 0;
      long long whole = PyLong_AsLongLongAndOverflow(v, &overflow);
      if (whole == -1 && PyErr_Occurred()) throw py::error_already_set();
      if (overflow != 0) {
        n.value = PyLong_AsDouble(v);
        if (n.value == -1.0 && PyErr_Occurred()) {  // beyond any float: as far as it goes
          PyErr_Clear();
          n.value = overflow > 0 ? std::numeric_limits<double>::infinity()
                                 : -std::numeric_limits<double>::infinity();
        }
      } else {
        n.value = static_cast<double>(whole);
      }
    } else {
      n.state = core::Number::State::Invalid;
      n.kind = type_name(v);
    }
    return n;
  }

  core::Box box(PyObject* v) {
    const Keys& k = keys();
    core::Box b;
    if (!v || v == Py_None) return b;
    if (PyDict_Check(v)) {
      hold(v);
      b.state = core::Box::State::Record;
      b.truthy = PyDict_GET_SIZE(v) > 0;
      b.x = number(lookup(v, k.x));
      b.y = number(lookup(v, k.y));
      b.width = number(lookup(v, k.width));
      b.height = number(lookup(v, k.height));
      return b;
    }
    if (flag(v)) {
      b.state = core::Box::State::Invalid;
      b.truthy = true;
      b.kind = type_name(v);
    }
    return b;
  }

  // One walk over the attributes gives every attribute a surface reads.
  // Nothing in it runs Python code, so the walk sees the record unchanged.
  void surfaces(PyObject* attrs, core::Record& r) {
    Py_ssize_t pos = 0;
    PyObject* key = nullptr;
    PyObject* value = nullptr;
    while (PyDict_Next(attrs, &pos, &key, &value)) {
      if (!PyUnicode_Check(key)) continue;
      Py_ssize_t size = 0;
      const char* data = PyUnicode_AsUTF8AndSize(key, &size);
      if (!data) {  // a name with a lone surrogate is none of ours but may be data-
        PyErr_Clear();
        std::string_view name = str(key);
        if (name.starts_with("data-")) r.data_names.push_back(name);
        continue;
      }
      const std::string_view name(data, static_cast<std::size_t>(size));
      if (name.starts_with("data-") && name != "data-testid") {
        hold(key);
        r.data_names.push_back(name);
        continue;
      }
      std::string_view* slot = nullptr;
      for (std::size_t i = 0; i < core::kMatchAttributes.size(); ++i) {
        if (name == core::kMatchAttributes[i]) slot = &r.match_attributes[i];
      }
      if (name == "class") slot = &r.class_name;
      if (name == "id") slot = &r.id;
      if (name == "role") slot = &r.role;
      if (slot) *slot = text(value);
    }
  }

  Utf8Views views_;
};

// ---------------------------------------------------------------------------
// Building results
// ---------------------------------------------------------------------------

void set(py::dict& d, py::handle key, py::handle value) {
  if (PyDict_SetItem(d.ptr(), key.ptr(), value.ptr()) != 0) throw py::error_already_set();
}

// The caller's own records at `indices`, in that order.
py::list pick(const std::vector<std::size_t>& indices, const Records& records) {
  py::list out(indices.size());
  for (std::size_t i = 0; i < indices.size(); ++i) {
    PyList_SET_ITEM(out.ptr(), static_cast<Py_ssize_t>(i),
                    records.objects[indices[i]].inc_ref().ptr());
  }
  return out;
}

// {resolved, [verified,] confidence, element, ...}: the head every result shares.
py::dict head(bool resolved, std::optional<bool> verified, py::handle element) {
  const Keys& k = keys();
  py::dict d;
  set(d, k.resolved, py::bool_(resolved));
  if (verified) set(d, k.verified, py::bool_(*verified));
  set(d, k.confidence, py::float_(resolved ? 1.0 : 0.0));
  set(d, k.element, element);
  return d;
}

py::handle chosen(const core::Resolution& r, const Records& records) {
  return r.resolved ? py::handle(records.objects[r.element]) : py::handle(Py_None);
}

py::dict resolution(const core::Resolution& r, const Records& records) {
  py::dict d = head(r.resolved, std::nullopt, chosen(r, records));
  set(d, keys().candidates, pick(r.candidates, records));
  return d;
}

py::dict verification(const core::Verification& v, bool with_enabled, const Records& records) {
  const Keys& k = keys();
  const core::Resolution& r = v.resolution;
  py::dict d = head(r.resolved, v.verified, chosen(r, records));
  py::dict state;
  if (r.resolved) {
    set(state, k.present, py::bool_(true));
    set(state, k.visible, py::bool_(v.visible));
    if (with_enabled) set(state, k.enabled, py::bool_(v.enabled));
  }
  set(d, k.state, state);
  set(d, k.candidates, pick(r.candidates, records));
  return d;
}

// ---------------------------------------------------------------------------
// Module functions
// ---------------------------------------------------------------------------

std::string_view text_arg(Reader& reader, py::handle value, const char* name) {
  check_arg(value, name, Kind::Str);
  return reader.str(value);
}

core::Record record_arg(Reader& reader, py::handle value, const char* name) {
  check_arg(value, name, Kind::Dict);
  return reader.record(value.ptr(), kElement);
}

py::str strip_type_descriptors(py::handle target) {
  Reader reader;
  return from_utf8(core::strip_type_descriptors(text_arg(reader, target, "target")));
}

py::list searchable_strings(py::handle element, py::handle include_label) {
  Reader reader;
  core::Record r = record_arg(reader, element, "element");
  return list_of(core::searchable_strings(r, truthy(include_label)));
}

py::bool_ matches_element(py::handle target, py::handle element, py::handle include_label) {
  Reader reader;
  std::string_view t = text_arg(reader, target, "target");
  core::Record r = record_arg(reader, element, "element");
  return py::bool_(core::matches_element(t, r, truthy(include_label)));
}

py::bool_ exact_matches_element(py::handle target, py::handle element, py::handle include_label) {
  Reader reader;
  std::string_view t = text_arg(reader, target, "target");
  core::Record r = record_arg(reader, element, "element");
  return py::bool_(core::exact_matches_element(t, r, truthy(include_label)));
}

py::int_ dom_distance(py::handle xpath_a, py::handle xpath_b) {
  Reader reader;
  std::string_view a = text_arg(reader, xpath_a, "xpath_a");
  std::string_view b = text_arg(reader, xpath_b, "xpath_b");
  return py::int_(core::dom_distance(a, b));
}

py::object filter_by_action(py::handle action, py::handle elements) {
  Reader reader;
  std::string_view a = text_arg(reader, action, "action");
  check_arg(elements, "elements", Kind::List);
  Records records = reader.records(elements, "elements", kElement);
  auto kept = core::filter_by_action(a, records.views);
  if (!kept) return py::reinterpret_borrow<py::object>(elements);  // the caller's own list
  return pick(*kept, records);
}

// ---------------------------------------------------------------------------
// TextMatchStrategy
// ---------------------------------------------------------------------------

core::Ordinal ordinal_of(PyObject* v) {
  core::Ordinal o;
  if (!v) return o;  // missing: 1
  if (PyLong_Check(v)) {
    o.value = saturated_int(v);
  } else if (PyFloat_Check(v)) {
    o.state = core::Ordinal::State::Float;
    o.real = PyFloat_AS_DOUBLE(v);
  } else {
    o.state = core::Ordinal::State::NotComparable;
    o.kind = type_name(v);
  }
  return o;
}

// General element resolution: click, type, select, hover, extract_text, ...
py::dict resolve_element(py::handle instruction, py::handle action, py::handle target,
                         py::handle dom_elements, py::handle text_elements) {
  Reader reader;
  std::string_view a = text_arg(reader, action, "action");
  std::string_view t = text_arg(reader, target, "target");
  PyObject* ordinal = PyDict_GetItemWithError(instruction.ptr(), keys().ordinal.ptr());
  if (!ordinal && PyErr_Occurred()) throw py::error_already_set();
  py::object held_ordinal = py::reinterpret_borrow<py::object>(ordinal);
  const core::Ordinal wanted = ordinal_of(ordinal);
  Records elements = reader.records(dom_elements, "dom_elements", kElement);
  // Text elements only serve an extraction that no element answers.
  Records texts;
  if (a == "extract_text" && !text_elements.is_none()) {
    texts = reader.records(text_elements, "text_elements", kElement);
  }
  core::Resolution r = core::resolve_element(a, t, wanted, elements.views, texts.views);
  return resolution(r, r.source == core::Source::Texts ? texts : elements);
}

py::object resolve(py::handle self, py::handle parsed_instruction, py::handle dom_elements,
                   py::handle text_elements) {
  check_arg(parsed_instruction, "parsed_instruction", Kind::Dict);
  check_arg(dom_elements, "dom_elements", Kind::List);
  check_arg(text_elements, "text_elements", Kind::List, /*none_ok=*/true);
  const Keys& k = keys();
  // A missing key reads as "", a present None stays None.
  auto read = [&](py::handle key) -> py::object {
    PyObject* v = PyDict_GetItemWithError(parsed_instruction.ptr(), key.ptr());
    if (!v && PyErr_Occurred()) throw py::error_already_set();
    return v ? py::reinterpret_borrow<py::object>(v) : py::object(py::str(""));
  };
  py::object action = read(k.action);
  check_result(action, Kind::Str, /*none_ok=*/true);
  py::object target = read(k.target);
  check_result(target, Kind::Str, /*none_ok=*/true);

  std::string name = action.is_none() ? std::string() : to_utf8(action);
  auto texts = [&]() -> py::object {
    if (PyList_Check(text_elements.ptr()) && PyList_GET_SIZE(text_elements.ptr()) > 0) {
      return py::reinterpret_borrow<py::object>(text_elements);
    }
    return py::list();
  };
  py::object result;
  if (action.is_none()) {
    // Not a dispatched action: the general path, which refuses it.
  } else if (name == "verify_spatial_text") {
    result =
        self.attr("_resolve_verify_spatial_text")(target, read(k.value), texts(), dom_elements);
  } else if (name == "extract_text_spatial") {
    result = self.attr("_resolve_extract_spatial_text")(target, texts(), dom_elements);
  } else if (name == "find_text") {
    result = self.attr("_resolve_find_text")(target, texts());
  } else if (name == "find_exact_text") {
    result = self.attr("_resolve_find_exact_text")(target, texts());
  } else if (name == "verify_present" || name == "verify_visible" || name == "verify_enabled" ||
             name == "verify_disabled") {
    result = self.attr("_resolve_verify")(action, target, dom_elements);
  } else if (name == "verify_text_present" || name == "verify_text_visible") {
    result = self.attr("_resolve_verify_text")(action, target, texts());
  }
  if (result) {
    check_result(result, Kind::Dict, /*none_ok=*/true);
    return result;
  }
  return resolve_element(parsed_instruction, action, target, dom_elements, text_elements);
}

// A find step over the text elements; `find` is the core's search.
template <typename Find>
py::dict find_in_texts(py::handle target, py::handle text_elements, Find find) {
  Reader reader;
  std::string_view t = text_arg(reader, target, "target");
  check_arg(text_elements, "text_elements", Kind::List);
  Records texts = reader.records(text_elements, "text_elements", kTextOnly);
  return resolution(find(t, texts.views), texts);
}

py::dict resolve_find_text(py::handle, py::handle target, py::handle text_elements) {
  return find_in_texts(target, text_elements, core::find_text);
}

py::dict resolve_find_exact_text(py::handle, py::handle target, py::handle text_elements) {
  return find_in_texts(target, text_elements, core::find_exact_text);
}

py::dict resolve_verify(py::handle, py::handle action, py::handle target, py::handle dom_elements) {
  Reader reader;
  std::string_view a = text_arg(reader, action, "action");
  std::string_view t = text_arg(reader, target, "target");
  check_arg(dom_elements, "dom_elements", Kind::List);
  Records elements = reader.records(dom_elements, "dom_elements", kElement);
  return verification(core::verify_element(a, t, elements.views), /*with_enabled=*/true, elements);
}

py::dict resolve_verify_text(py::handle, py::handle action, py::handle target,
                             py::handle text_elements) {
  Reader reader;
  std::string_view a = text_arg(reader, action, "action");
  std::string_view t = text_arg(reader, target, "target");
  check_arg(text_elements, "text_elements", Kind::List);
  Records texts = reader.records(text_elements, "text_elements", kTextOnly);
  return verification(core::verify_text(a, t, texts.views), /*with_enabled=*/false, texts);
}

struct SpatialCall {
  core::Spatial answer;
  Records texts, elements;

  const Records& anchors() const {
    return answer.anchor_source == core::Source::Texts ? texts : elements;
  }
};

SpatialCall spatial(Reader& reader, std::string_view target, std::string_view expected,
                    py::handle text_elements, py::handle dom_elements) {
  SpatialCall call;
  call.texts = reader.records(text_elements, "text_elements", kSpatial);
  // The element records are read only when no text element is the anchor.
  core::ElementSource elements;
  if (!dom_elements.is_none()) {
    elements = [&]() -> std::optional<std::span<const core::Record>> {
      call.elements = reader.records(dom_elements, "dom_elements", kSpatial);
      return std::span<const core::Record>(call.elements.views);
    };
  }
  call.answer = core::verify_spatial_text(target, expected, call.texts.views, elements);
  return call;
}

py::dict resolve_verify_spatial_text(py::handle, py::handle target, py::handle expected,
                                     py::handle text_elements, py::handle dom_elements) {
  Reader reader;
  std::string_view t = text_arg(reader, target, "target");
  std::string_view e = text_arg(reader, expected, "expected");
  check_arg(text_elements, "text_elements", Kind::List);
  check_arg(dom_elements, "dom_elements", Kind::List, /*none_ok=*/true);
  SpatialCall call = spatial(reader, t, e, text_elements, dom_elements);
  const core::Spatial& s = call.answer;
  using Outcome = core::Spatial::Outcome;
  const Keys& k = keys();

  const bool resolved = s.outcome == Outcome::NoNeighbour || s.outcome == Outcome::Found;
  py::handle element = Py_None;
  if (s.outcome == Outcome::NoNeighbour) element = call.anchors().objects[s.anchor];
  if (s.outcome == Outcome::Found) element = call.texts.objects[s.candidates.front()];
  py::dict d = head(resolved, s.verified, element);
  py::dict state;
  set(state, k.expected, expected);
  if (s.outcome != Outcome::BadTarget) set(state, k.actual, from_utf8(s.actual));
  set(d, k.state, state);
  set(d, k.candidates, pick(s.candidates, call.texts));
  return d;
}

py::dict resolve_extract_spatial_text(py::handle, py::handle target, py::handle text_elements,
                                      py::handle dom_elements) {
  Reader reader;
  std::string_view t = text_arg(reader, target, "target");
  check_arg(text_elements, "text_elements", Kind::List);
  check_arg(dom_elements, "dom_elements", Kind::List, /*none_ok=*/true);
  SpatialCall call = spatial(reader, t, "", text_elements, dom_elements);
  const core::Spatial& s = call.answer;
  const Keys& k = keys();
  // Only a text found in the asked direction is an extraction: an anchor with
  // nothing beside it does not answer with its own text.
  const bool found = s.outcome == core::Spatial::Outcome::Found;
  py::dict d = head(found, std::nullopt,
                    found ? call.texts.objects[s.candidates.front()] : py::handle(Py_None));
  set(d, k.extracted, from_utf8(found ? s.actual : std::string()));
  set(d, k.candidates, found ? pick(s.candidates, call.texts) : py::list());
  return d;
}

}  // namespace

PYBIND11_MODULE(text_match_strategy, m) {
  py::options options;
  prepare_module(options);
  m.doc() = "Level-1 resolution: text and attribute matching of steps to elements.";

  m.attr("_MATCH_ATTRIBUTES") = list_of(core::kMatchAttributes);
  m.attr("_TYPE_DESCRIPTORS") = frozenset_of(core::kTypeDescriptors);
  m.attr("_TEXT_ONLY_TAGS") = set_of(core::kTextOnlyTags);
  m.attr("_DOM_DISTANCE_THRESHOLD") = py::int_(core::kDomDistanceThreshold);
  m.attr("_TYPEABLE_TAGS") = set_of(core::kTypeableTags);
  m.attr("_TYPEABLE_ROLES") = set_of(core::kTypeableRoles);
  m.attr("_SELECTABLE_TAGS") = set_of(core::kSelectableTags);

  m.def("_strip_type_descriptors", &strip_type_descriptors,
        doc("_strip_type_descriptors(target)").c_str(), py::arg("target"));
  m.def("_searchable_strings", &searchable_strings,
        doc("_searchable_strings(element, include_label=False)").c_str(), py::arg("element"),
        py::arg("include_label") = false);
  m.def("_matches_element", &matches_element,
        doc("_matches_element(target, element, include_label=False)").c_str(), py::arg("target"),
        py::arg("element"), py::arg("include_label") = false);
  m.def("_exact_matches_element", &exact_matches_element,
        doc("_exact_matches_element(target, element, include_label=False)").c_str(),
        py::arg("target"), py::arg("element"), py::arg("include_label") = false);
  m.def("_dom_distance", &dom_distance, doc("_dom_distance(xpath_a, xpath_b)").c_str(),
        py::arg("xpath_a"), py::arg("xpath_b"));
  m.def("_filter_by_action", &filter_by_action, doc("_filter_by_action(action, elements)").c_str(),
        py::arg("action"), py::arg("elements"));

  py::class_<TextMatchStrategy>(m, "TextMatchStrategy")
      .def(py::init<>(), doc("__init__(self)").c_str())
      .def("resolve", &resolve,
           doc("resolve(self, parsed_instruction, dom_elements, text_elements=None)").c_str(),
           py::arg("parsed_instruction"), py::arg("dom_elements"),
           py::arg("text_elements") = py::none())
      .def("_resolve_verify_spatial_text", &resolve_verify_spatial_text,
           doc("_resolve_verify_spatial_text(self, target, expected, text_elements, "
               "dom_elements=None)")
               .c_str(),
           py::arg("target"), py::arg("expected"), py::arg("text_elements"),
           py::arg("dom_elements") = py::none())
      .def("_resolve_extract_spatial_text", &resolve_extract_spatial_text,
           doc("_resolve_extract_spatial_text(self, target, text_elements, dom_elements=None)")
               .c_str(),
           py::arg("target"), py::arg("text_elements"), py::arg("dom_elements") = py::none())
      .def("_resolve_find_text", &resolve_find_text,
           doc("_resolve_find_text(self, target, text_elements)").c_str(), py::arg("target"),
           py::arg("text_elements"))
      .def("_resolve_find_exact_text", &resolve_find_exact_text,
           doc("_resolve_find_exact_text(self, target, text_elements)").c_str(), py::arg("target"),
           py::arg("text_elements"))
      .def("_resolve_verify", &resolve_verify,
           doc("_resolve_verify(self, action, target, dom_elements)").c_str(), py::arg("action"),
           py::arg("target"), py::arg("dom_elements"))
      .def("_resolve_verify_text", &resolve_verify_text,
           doc("_resolve_verify_text(self, action, target, text_elements)").c_str(),
           py::arg("action"), py::arg("target"), py::arg("text_elements"));
}
