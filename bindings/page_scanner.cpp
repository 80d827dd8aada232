// marrowlane_web.engine.browser.page_scanner: reads a live page into element
// records and text element records.
//
// The page is any object offering Playwright's synchronous page operations
// (query_selector_all, query_selector, evaluate, url) whose element handles offer
// is_visible, is_enabled, evaluate, inner_text, get_attribute and bounding_box.
// HandleReader answers the core's questions about one element with those calls;
// the core decides what to read, what to skip and what each record holds. The
// binding turns the core's records into dicts, handing each element's box back
// as the very dict the page reported.
#include <exception>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "common/common.hpp"
#include "marrowlane/page_model.hpp"

namespace py = pybind11;
namespace pm = marrowlane::page_model;
using namespace marrowlane::bind;

namespace {

constexpr const char* kModuleName = "marrowlane_web.engine.browser.page_scanner";

py::str str_of(std::string_view s) { return from_utf8(s); }

// An ordinary error is what Python's `except Exception` catches: a detached
// element, a script that failed, a value of the wrong kind. KeyboardInterrupt
// and SystemExit are not ordinary and always go through.
template <class F>
bool ordinary_errors_ignored(F&& body) {
  try {
    body();
    return true;
  } catch (py::error_already_set& e) {
    if (!e.matches(PyExc_Exception)) throw;
  } catch (const std::exception&) {
    // C++ errors raised while reading (bad value kinds) become Exception
    // subclasses in Python: ordinary as well.
  }
  return false;
}

std::optional<std::string> text_or_none(py::handle value) {
  if (value.is_none()) return std::nullopt;
  return to_utf8(value);
}

double number(py::handle value) {
  if (!value || value.is_none()) return 0;
  double d = PyFloat_AsDouble(value.ptr());
  if (d == -1.0 && PyErr_Occurred()) throw py::error_already_set();
  return d;
}

py::object item(py::handle mapping, const char* key) {
  if (!PyDict_Check(mapping.ptr())) {
    PyErr_Format(PyExc_TypeError, "Expected dict, got %.200s", Py_TYPE(mapping.ptr())->tp_name);
    throw py::error_already_set();
  }
  PyObject* value = PyDict_GetItemString(mapping.ptr(), key);  // borrowed
  if (!value) return py::none();
  return py::reinterpret_borrow<py::object>(value);
}

// A bounding box record; None (no box) reads as nullopt, a missing number as 0.
std::optional<pm::Box> read_box(py::handle box) {
  if (box.is_none()) return std::nullopt;
  return pm::Box{number(item(box, "x")), number(item(box, "y")), number(item(box, "width")),
                 number(item(box, "height"))};
}

// One element handle, read through the page operations.
class HandleReader final : public pm::ElementReader {
 public:
  HandleReader(py::handle page, py::handle handle)
      : page_(py::reinterpret_borrow<py::object>(page)),
        handle_(py::reinterpret_borrow<py::object>(handle)) {}

  // What bounding_box last returned: the record keeps the page's own dict.
  py::object box_object = py::none();

  bool is_visible() override { return truthy(handle_.attr("is_visible")()); }
  bool is_enabled() override { return truthy(handle_.attr("is_enabled")()); }
  std::string tag_name() override { return to_utf8(run(pm::kTagNameScript)); }
  std::optional<std::string> inner_text() override {
    return text_or_none(handle_.attr("inner_text")());
  }
  std::optional<std::string> attribute(std::string_view name) override {
    return text_or_none(handle_.attr("get_attribute")(str_of(name)));
  }
  std::optional<pm::Box> bounding_box() override {
    box_object = handle_.attr("bounding_box")();
    return read_box(box_object);
  }
  pm::Attributes data_attributes() override {
    py::object found = run(pm::kDataAttributesScript);
    if (!PyDict_Check(found.ptr())) {
      PyErr_Format(PyExc_TypeError, "Expected dict, got %.200s", Py_TYPE(found.ptr())->tp_name);
      throw py::error_already_set();
    }
    pm::Attributes attrs;
    for (auto [name, value] : py::reinterpret_borrow<py::dict>(found)) {
      attrs.set(to_utf8(name), to_utf8(value));
    }
    return attrs;
  }
  std::string xpath() override { return to_utf8(run(pm::kXpathScript)); }
  bool has_direct_text() override { return truthy(run(pm::kDirectTextScript)); }

  std::optional<std::string> inner_text_of(std::string_view selector) override {
    std::optional<std::string> found;
    ordinary_errors_ignored([&] {
      py::object ref = page_.attr("query_selector")(str_of(selector));
      if (!ref.is_none()) found = text_or_none(ref.attr("inner_text")());
    });
    return found;
  }
  std::optional<std::string> previous_sibling_text() override {
    return guarded_script(pm::kPreviousSiblingScript);
  }
  std::optional<std::string> parent_children_text() override {
    return guarded_script(pm::kParentChildrenScript);
  }

 private:
  py::object run(std::string_view script) { return handle_.attr("evaluate")(str_of(script)); }
  std::optional<std::string> guarded_script(std::string_view script) {
    std::optional<std::string> found;
    ordinary_errors_ignored([&] { found = text_or_none(run(script)); });
    return found;
  }

  py::object page_;
  py::object handle_;
};

// Calls `read` with a reader for every element matching `selector`, in
// document order. The query itself is not guarded; an ordinary error while
// reading one element drops that element and the loop goes on.
template <class F>
void for_each_element(py::handle page, std::string_view selector, F&& read) {
  py::object handles = page.attr("query_selector_all")(str_of(selector));
  for (py::handle handle : handles) {
    HandleReader reader(page, handle);
    ordinary_errors_ignored([&] { read(reader); });
  }
}

// --- Records -------------------------------------------------------------------

py::dict attributes_dict(const pm::Attributes& attrs) {
  py::dict d;
  for (const auto& [name, value] : attrs.items()) d[str_of(name)] = str_of(value);
  return d;
}

py::dict element_dict(const pm::ElementRecord& rec, py::object box) {
  py::dict d;
  d["tag"] = str_of(rec.tag);
  d["text"] = str_of(rec.text);
  d["attributes"] = attributes_dict(rec.attributes);
  d["bounding_box"] = std::move(box);
  d["is_visible"] = py::bool_(rec.is_visible);
  d["is_enabled"] = py::bool_(rec.is_enabled);
  if (rec.is_editable_field) d["is_editable_field"] = py::bool_(true);
  d["xpath"] = str_of(rec.xpath);
  return d;
}

py::dict text_element_dict(const pm::TextElementRecord& rec, py::object box) {
  py::dict d;
  d["tag"] = str_of(rec.tag);
  d["text"] = str_of(rec.text);
  d["has_direct_text"] = py::bool_(rec.has_direct_text);
  d["attributes"] = attributes_dict(rec.attributes);
  d["bounding_box"] = std::move(box);
  d["is_visible"] = py::bool_(true);
  d["is_enabled"] = py::bool_(true);
  d["xpath"] = str_of(rec.xpath);
  return d;
}

// --- PageScanner -------------------------------------------------------------------

struct PageScanner {
  explicit PageScanner(py::object page) : page(std::move(page)) {}
  py::object page;
};

PageScanner& scanner_of(py::handle self) { return py::cast<PageScanner&>(self); }

py::list extract_main(const PageScanner& s) {
  py::list elements;
  for_each_element(s.page, pm::interactable_selector(), [&](HandleReader& reader) {
    if (auto rec = pm::read_interactable(reader)) {
      elements.append(element_dict(*rec, reader.box_object));
    }
  });
  return elements;
}

py::list extract_custom_inputs(const PageScanner& s) {
  py::list results;
  pm::CustomInputSource source;
  for_each_element(s.page, pm::kCustomInputSelector, [&](HandleReader& reader) {
    if (auto rec = source.read(reader)) results.append(element_dict(*rec, reader.box_object));
  });
  return results;
}

py::list extract_cursor_pointer_elements(const PageScanner& s) {
  py::object rows = s.page.attr("evaluate")(str_of(pm::kCursorPointerScript));
  py::list results;
  if (rows.is_none() || !truthy(rows)) return results;
  pm::CursorPointerSource source;
  for (py::handle row : rows) {
    auto cell = [&row](const char* key) {
      py::object value = item(row, key);
      return value.is_none() ? py::object(py::int_(0)) : value;
    };
    pm::CursorRow view;
    view.text = text_or_none(item(row, "text")).value_or("");
    view.xpath = text_or_none(item(row, "xpath")).value_or("");
    view.cls = text_or_none(item(row, "cls")).value_or("");
    view.aria = text_or_none(item(row, "aria")).value_or("");
    py::object x = cell("x"), y = cell("y"), w = cell("w"), h = cell("h");
    view.box = {number(x), number(y), number(w), number(h)};
    if (auto rec = source.take(view)) {
      py::dict box;
      box["x"] = x;
      box["y"] = y;
      box["width"] = w;
      box["height"] = h;
      results.append(element_dict(*rec, std::move(box)));
    }
  }
  return results;
}

py::object extract_text_elements(py::object self) {
  const PageScanner& s = scanner_of(self);
  py::list results;
  for_each_element(s.page, pm::text_selector(), [&](HandleReader& reader) {
    if (auto rec = pm::read_text_element(reader)) {
      results.append(text_element_dict(*rec, reader.box_object));
    }
  });
  return self.attr("_dedup_text_elements")(results);
}

py::list dedup_text_elements(py::handle candidates) {
  check_arg(candidates, "candidates", Kind::List);
  py::list records = py::reinterpret_borrow<py::list>(candidates);
  std::vector<std::string> texts;
  std::vector<pm::TextView> views;
  texts.reserve(records.size());
  views.reserve(records.size());
  for (py::handle rec : records) {
    texts.push_back(text_or_none(item(rec, "text")).value_or(""));
    views.push_back({{},
                     truthy(item(rec, "has_direct_text")),
                     read_box(item(rec, "bounding_box")).value_or(pm::Box{})});
  }
  for (std::size_t i = 0; i < views.size(); ++i) views[i].text = texts[i];
  py::list keep;
  for (std::size_t i : pm::dedup_text_elements(views)) keep.append(records[i]);
  return keep;
}

py::list collect_label_candidates(const PageScanner& s) {
  py::list candidates;
  pm::LabelCandidateSource source;
  for_each_element(s.page, pm::kLabelCandidateSelector, [&](HandleReader& reader) {
    if (auto cand = source.read(reader)) {
      py::dict d;
      d["text"] = str_of(cand->text);
      d["bounding_box"] = reader.box_object;
      candidates.append(std::move(d));
    }
  });
  return candidates;
}

void assign_spatial_labels(const PageScanner&, py::handle elements, py::handle label_candidates) {
  check_arg(elements, "elements", Kind::List);
  check_arg(label_candidates, "label_candidates", Kind::List);
  // Candidates without a box can label nothing; the rest keep their positions
  // through `cand_index`.
  std::vector<pm::LabelCandidate> cands;
  std::vector<py::object> cand_text;
  for (py::handle cand : label_candidates) {
    auto box = read_box(item(cand, "bounding_box"));
    if (!box) continue;
    py::object text = item(cand, "text");
    cands.push_back({text_or_none(text).value_or(""), *box});
    cand_text.push_back(std::move(text));
  }
  std::vector<pm::LabelTarget> targets;
  for (py::handle el : elements) {
    py::object attrs = item(el, "attributes");
    bool has_label = !attrs.is_none() && truthy(item(attrs, "_label"));
    targets.push_back({has_label, read_box(item(el, "bounding_box"))});
  }
  auto chosen = pm::assign_spatial_labels(targets, cands);
  py::list list = py::reinterpret_borrow<py::list>(elements);
  for (std::size_t i = 0; i < chosen.size() && i < list.size(); ++i) {
    if (!chosen[i]) continue;
    py::object el = list[i];
    py::object attrs = item(el, "attributes");
    if (attrs.is_none()) {
      attrs = py::dict();
      el[py::str("attributes")] = attrs;
    }
    attrs[py::str("_label")] = cand_text[*chosen[i]];
  }
}

py::object get_field_label(const PageScanner& s, py::handle handle) {
  HandleReader reader(s.page, handle);
  auto label = pm::field_label(reader);
  if (!label) return py::none();
  return str_of(*label);
}

void save_snapshot(const PageScanner& s, py::handle elements, py::handle text_elements) {
  check_arg(elements, "elements", Kind::List);
  check_arg(text_elements, "text_elements", Kind::List);
  py::module_ mod = py::module_::import(kModuleName);
  py::object settings = mod.attr("settings");
  if (!truthy(settings.attr("SAVE_SNAPSHOTS"))) return;
  py::object log_path = settings.attr("LOG_PATH");
  py::object os = mod.attr("os");
  os.attr("makedirs")(log_path, py::arg("exist_ok") = true);

  py::object url = s.page.attr("url");
  std::string stamp = to_utf8(
      mod.attr("datetime").attr("datetime").attr("now")().attr("strftime")("%Y%m%d_%H%M%S"));
  std::string name = stamp + "_" + pm::url_slug(to_utf8(url)) + ".json";
  py::object path = os.attr("path").attr("join")(log_path, str_of(name));

  py::dict document;
  document["url"] = url;
  document["elements"] = elements;
  document["text_elements"] = text_elements;
  py::object json_text = mod.attr("json").attr("dumps")(document, py::arg("indent") = 2);

  py::object file = py::module_::import("builtins").attr("open")(path, "w");
  try {
    file.attr("write")(json_text);
  } catch (...) {
    file.attr("close")();
    throw;
  }
  file.attr("close")();
  py::print(py::str("  [DOM snapshot saved \u2192 {}]").format(path));
}

py::tuple extract_interactable_elements(py::object self) {
  py::list elements = extract_main(scanner_of(self));
  elements.attr("extend")(self.attr("_extract_custom_inputs")());
  elements.attr("extend")(self.attr("_extract_cursor_pointer_elements")());
  py::object candidates = self.attr("_collect_label_candidates")();
  self.attr("_assign_spatial_labels")(elements, candidates);
  py::object text_elements = self.attr("extract_text_elements")();
  self.attr("_save_snapshot")(elements, text_elements);
  return py::make_tuple(elements, text_elements);
}

py::bool_ is_custom_input(py::handle tag, py::handle classes) {
  check_arg(tag, "tag", Kind::Str);
  check_arg(classes, "classes", Kind::Str, /*none_ok=*/true);
  return py::bool_(pm::is_custom_input(to_utf8(tag), text_or_none(classes).value_or("")));
}

template <std::size_t N>
py::list str_list(const std::array<std::string_view, N>& items) {
  py::list out;
  for (auto s : items) out.append(str_of(s));
  return out;
}

}  // namespace

PYBIND11_MODULE(page_scanner, m) {
  py::options options;
  prepare_module(options);
  m.doc() = "Reads the page into element records and text element records.";

  m.attr("datetime") = py::module_::import("datetime");
  m.attr("json") = py::module_::import("json");
  m.attr("os") = py::module_::import("os");
  m.attr("settings") = py::module_::import("marrowlane_web.engine.settings");

  m.attr("_NATIVE_TAGS") = str_list(pm::kNativeTags);
  m.attr("_ARIA_ROLES") = str_list(pm::kAriaRoles);
  m.attr("INTERACTABLE_SELECTOR") = str_of(pm::interactable_selector());
  m.attr("CAPTURED_ATTRIBUTES") = str_list(pm::kCapturedAttributes);
  m.attr("_CUSTOM_INPUT_SELECTOR") = str_of(pm::kCustomInputSelector);
  m.attr("_XPATH_JS") = str_of(pm::kXpathScript);
  m.attr("_TEXT_TAGS") = str_list(pm::kTextTags);
  m.attr("TEXT_SELECTOR") = str_of(pm::text_selector());

  m.def("_is_custom_input", &is_custom_input, doc("_is_custom_input(tag, classes)").c_str(),
        py::arg("tag"), py::arg("classes"));

  py::class_<PageScanner>(m, "PageScanner", py::dynamic_attr(),
                          "Queries the page DOM and returns structured, interactable element "
                          "descriptors.")
      .def(py::init<py::object>(), doc("__init__(self, page)").c_str(), py::arg("page"))
      .def_property_readonly("page", [](const PageScanner& s) { return s.page; })
      .def("extract_interactable_elements", &extract_interactable_elements,
           doc("extract_interactable_elements(self)").c_str())
      .def("_extract_custom_inputs", &extract_custom_inputs,
           doc("_extract_custom_inputs(self)").c_str())
      .def("_extract_cursor_pointer_elements", &extract_cursor_pointer_elements,
           doc("_extract_cursor_pointer_elements(self)").c_str())
      .def("extract_text_elements", &extract_text_elements,
           doc("extract_text_elements(self)").c_str())
      .def_static("_dedup_text_elements", &dedup_text_elements,
                  doc("_dedup_text_elements(candidates)").c_str(), py::arg("candidates"))
      .def("_collect_label_candidates", &collect_label_candidates,
           doc("_collect_label_candidates(self)").c_str())
      .def("_assign_spatial_labels", &assign_spatial_labels,
           doc("_assign_spatial_labels(self, elements, label_candidates)").c_str(),
           py::arg("elements"), py::arg("label_candidates"))
      .def("_get_field_label", &get_field_label, doc("_get_field_label(self, handle)").c_str(),
           py::arg("handle"))
      .def("_save_snapshot", &save_snapshot,
           doc("_save_snapshot(self, elements, text_elements)").c_str(), py::arg("elements"),
           py::arg("text_elements"));
}
