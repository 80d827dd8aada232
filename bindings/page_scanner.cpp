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
//
// A real Playwright page is read faster, in one page script (page_script.hpp):
// RowReader answers the same questions from the rows that script gathered, so
// the same core code builds the same records.
#include <algorithm>
#include <cstddef>
#include <exception>
#include <optional>
#include <stdexcept>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "common/common.hpp"
#include "marrowlane/page_model.hpp"
#include "marrowlane/page_script.hpp"

namespace py = pybind11;
namespace pm = marrowlane::page_model;
namespace ps = marrowlane::page;
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

// The rendered text of the first element matching `selector`; nullopt when
// there is none or the page raised an ordinary error.
std::optional<std::string> inner_text_of_match(py::handle page, std::string_view selector) {
  std::optional<std::string> found;
  ordinary_errors_ignored([&] {
    py::object ref = page.attr("query_selector")(str_of(selector));
    if (!ref.is_none()) found = text_or_none(ref.attr("inner_text")());
  });
  return found;
}

// One element handle, read through the page operations.
class HandleReader final : public pm::ElementReader {
 public:
  HandleReader(py::handle page, py::handle handle)
      : page_(py::reinterpret_borrow<py::object>(page)),
        handle_(py::reinterpret_borrow<py::object>(handle)) {}

  // What bounding_box last returned: the record keeps the page's own dict.
  py::object box_object = py::none();
  // No reading keeps these elements for later actions.
  py::object ref = py::none();

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
    return inner_text_of_match(page_, selector);
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

// The elements of a page, read one by one through their handles.
struct LiveElements {
  py::handle page;
  template <class F>
  void for_each(std::string_view selector, F&& read) const {
    for_each_element(page, selector, read);
  }
};

// --- Reading in one page script -------------------------------------------------

// Raised where the element operation itself would have failed (the row holds
// the failure marker): the element is dropped as the per-element guard drops it.
struct OperationFailed {};

// The rows one run of the page script gathered, with the page at hand for the
// few answers the script leaves to it.
class PageRows {
 public:
  // What the agent's readings add: the parts to gather and the page state of
  // the records the caller holds (None: it holds none).
  struct AgentRead {
    int parts = ps::kAllParts;
    py::object known = py::none();
    py::object words = py::none();  // a list: only named rows that may hold them all
    py::object scope = py::none();  // [state, index, least]: only the part around a named row
  };

  explicit PageRows(py::object page, std::optional<AgentRead> agent = std::nullopt)
      : page_(std::move(page)) {
    py::list args;
    args.append(str_of(pm::interactable_selector()));
    args.append(str_of(pm::kCustomInputSelector));
    args.append(str_of(pm::text_selector()));
    args.append(str_of(pm::kLabelCandidateSelector));
    py::list names;
    for (auto name : pm::kCapturedAttributes) names.append(str_of(name));
    args.append(names);
    if (agent) {
      args.append(py::int_(agent->parts));
      args.append(agent->known);
      args.append(agent->words);
      args.append(agent->scope);
    }
    payload_ = page_.attr("evaluate")(str_of(ps::kFastScanScript), args);
    if (py::isinstance<py::str>(payload_))
      payload_ = py::module_::import("json").attr("loads")(payload_);
    unchanged_ = PyLong_Check(payload_.ptr());  // 0: the page is as `known` left it
    if (!unchanged_) facts_ = part(0);
  }
  PageRows(const PageRows&) = delete;
  PageRows& operator=(const PageRows&) = delete;
  ~PageRows() {
    if (asked_.is_none()) return;
    try {
      asked_.attr("dispose")();
    } catch (py::error_already_set&) {
    }
  }

  py::handle page() const { return page_; }
  bool unchanged() const { return unchanged_; }
  // The page state after an agent's reading.
  py::object state() const { return payload_[py::int_(7)]; }
  std::size_t fact_count() const { return facts_.size(); }
  py::list part(std::size_t i) const { return payload_[py::int_(i)].cast<py::list>(); }
  // What a person reads, gathered beside the rows (page_script.hpp); None when
  // its reading failed.
  py::object names() const {
    if (py::len(payload_) <= 6) return py::none();
    return payload_[py::int_(6)];
  }
  // The fact indices of the selector's elements, in the order the page's query gives.
  py::list indices_of(std::string_view selector) const {
    if (selector == pm::interactable_selector()) return part(1);
    if (selector == pm::kCustomInputSelector) return part(2);
    if (selector == pm::text_selector()) return part(3);
    if (selector == pm::kLabelCandidateSelector) return part(4);
    throw std::logic_error("the page script gathers no rows for this selector");
  }
  py::handle fact(py::handle index) const { return facts_[index]; }
  // The cursor-pointer script's rows, a negative zero back as the float the
  // page's own report gives.
  py::list cursor_rows() const {
    py::list rows = part(5);
    for (py::handle row : rows) {
      for (const char* key : {"x", "y", "w", "h"}) {
        py::object value = item(row, key);
        if (py::isinstance<py::str>(value) && to_utf8(value) == "-0") {
          row[py::str(key)] = py::float_(-0.0);
        }
      }
    }
    return rows;
  }
  // The bounding box of an element the script left to the page to measure.
  py::object measure(py::handle index) {
    if (asked_.is_none()) {
      asked_ = page_.attr("evaluate_handle")(
          str_of("() => { const key = " + std::string(ps::kAskStoreExpression) +
                 "; const asked = globalThis[key]; delete globalThis[key]; return asked; }"));
    }
    py::object element = asked_.attr("get_property")(py::str(index)).attr("as_element")();
    return element.attr("bounding_box")();
  }

  template <class F>
  void for_each(std::string_view selector, F&& read);

 private:
  py::object page_;
  py::object payload_;
  py::list facts_;
  py::object asked_ = py::none();
  bool unchanged_ = false;
};

// The keys of the records, made once (a page gives thousands of records).
struct RecordKeys {
  py::handle tag = key("tag"), text = key("text"), attributes = key("attributes"),
             box = key("bounding_box"), visible = key("is_visible"), enabled = key("is_enabled"),
             editable = key("is_editable_field"), xpath = key("xpath"),
             direct = key("has_direct_text"), x = key("x"), y = key("y"), width = key("width"),
             height = key("height");
};
const RecordKeys& record_keys() {
  static const RecordKeys keys;
  return keys;
}

py::dict box_dict(py::handle x, py::handle y, py::handle width, py::handle height) {
  const RecordKeys& k = record_keys();
  py::dict d;
  d[k.x] = x;
  d[k.y] = y;
  d[k.width] = width;
  d[k.height] = height;
  return d;
}

// One element, answered from its row.
class RowReader final : public pm::ElementReader {
 public:
  RowReader(PageRows& rows, py::handle row, py::handle index)
      : ref(py::reinterpret_borrow<py::object>(index)), rows_(rows) {
    if (!PyList_CheckExact(row.ptr()) || PyList_GET_SIZE(row.ptr()) != ps::kFields) {
      throw std::logic_error("a row of the page script is malformed");
    }
    row_ = py::reinterpret_borrow<py::list>(row);
  }

  // The box as a dict of the page's own numbers, as bounding_box reports it.
  py::object box_object = py::none();
  // The element's entry in the reading's registry (its fact index).
  py::object ref;

  bool is_visible() override { return truthy(fact(ps::F_VISIBLE, "visibility")); }
  bool is_enabled() override { return truthy(fact(ps::F_ENABLED, "enabled state")); }
  std::string tag_name() override { return to_utf8(fact(ps::F_TAG, "tag name")); }
  std::optional<std::string> inner_text() override {
    return text_or_none(fact(ps::F_TEXT, "inner text"));
  }
  std::optional<std::string> attribute(std::string_view name) override {
    const auto& names = pm::kCapturedAttributes;
    if (std::find(names.begin(), names.end(), name) == names.end()) {
      throw std::logic_error("the page script gathers no attribute " + std::string(name));
    }
    PyObject* value = PyDict_GetItemString(raw(ps::F_ATTRS).ptr(), std::string(name).c_str());
    if (!value) return std::nullopt;  // absent
    return text_or_none(checked(py::reinterpret_borrow<py::object>(value)));
  }
  std::optional<pm::Box> bounding_box() override {
    py::object box = fact(ps::F_BOX, "bounding box", /*none_ok=*/true);
    if (box.ptr() == Py_False) throw std::logic_error("the page script did not gather the box");
    if (box.is_none()) {
      box_object = py::none();
    } else if (PyLong_CheckExact(box.ptr())) {
      box_object = rows_.measure(box);
    } else {
      box_object = box_dict(box[py::int_(0)], box[py::int_(1)], box[py::int_(2)], box[py::int_(3)]);
    }
    return read_box(box_object);
  }
  pm::Attributes data_attributes() override {
    py::list pairs = fact(ps::F_DATA, "data attributes");
    pm::Attributes attrs;
    for (std::size_t i = 0; i + 1 < pairs.size(); i += 2) {
      attrs.set(to_utf8(pairs[i]), to_utf8(pairs[i + 1]));
    }
    return attrs;
  }
  std::string xpath() override { return to_utf8(fact(ps::F_XPATH, "path")); }
  bool has_direct_text() override { return truthy(fact(ps::F_DIRECT, "direct text")); }

  std::optional<std::string> inner_text_of(std::string_view selector) override {
    std::size_t source;
    if (selector == pm::labelledby_selector(attribute("aria-labelledby").value_or(""))) {
      source = 0;
    } else if (selector == pm::label_for_selector(attribute("id").value_or(""))) {
      source = 1;
    } else {
      return inner_text_of_match(rows_.page(), selector);
    }
    py::object found = label_reading(source);
    if (PyLong_CheckExact(found.ptr()) && found.cast<long>() == ps::kAsk) {
      return inner_text_of_match(rows_.page(), selector);
    }
    return text_or_none(found);
  }
  std::optional<std::string> previous_sibling_text() override {
    return text_or_none(label_reading(2));
  }
  std::optional<std::string> parent_children_text() override {
    return text_or_none(label_reading(3));
  }

 private:
  static py::object checked(py::object value) {
    if (PyDict_Check(value.ptr())) throw OperationFailed{};
    return value;
  }
  py::object raw(int field) const {
    return py::reinterpret_borrow<py::object>(PyList_GET_ITEM(row_.ptr(), field));
  }
  py::object fact(int field, const char* what, bool none_ok = false) const {
    py::object value = raw(field);
    if (value.is_none() && !none_ok) {
      throw std::logic_error(std::string("the page script did not gather the ") + what);
    }
    return checked(std::move(value));
  }
  py::object label_reading(std::size_t source) const {
    py::object readings = fact(ps::F_LABELS, "field label readings");
    return py::reinterpret_borrow<py::object>(PyList_GET_ITEM(readings.ptr(), source));
  }

  PageRows& rows_;
  py::list row_;
};

// Calls `read` with a reader for every row of the selector's elements. An
// element whose reading failed in the page is dropped, as is one whose
// measurement through the page raised an ordinary error.
template <class F>
void PageRows::for_each(std::string_view selector, F&& read) {
  for (py::handle index : indices_of(selector)) {
    RowReader reader(*this, fact(index), index);
    try {
      read(reader);
    } catch (const OperationFailed&) {
    } catch (py::error_already_set& e) {
      if (!e.matches(PyExc_Exception)) throw;
    }
  }
}

// --- Records -------------------------------------------------------------------

py::dict attributes_dict(const pm::Attributes& attrs) {
  py::dict d;
  for (const auto& [name, value] : attrs.items()) d[str_of(name)] = str_of(value);
  return d;
}

py::dict element_dict(const pm::ElementRecord& rec, py::object box) {
  const RecordKeys& k = record_keys();
  py::dict d;
  d[k.tag] = str_of(rec.tag);
  d[k.text] = str_of(rec.text);
  d[k.attributes] = attributes_dict(rec.attributes);
  d[k.box] = std::move(box);
  d[k.visible] = py::bool_(rec.is_visible);
  d[k.enabled] = py::bool_(rec.is_enabled);
  if (rec.is_editable_field) d[k.editable] = py::bool_(true);
  d[k.xpath] = str_of(rec.xpath);
  return d;
}

py::dict text_element_dict(const pm::TextElementRecord& rec, py::object box) {
  const RecordKeys& k = record_keys();
  py::dict d;
  d[k.tag] = str_of(rec.tag);
  d[k.text] = str_of(rec.text);
  d[k.direct] = py::bool_(rec.has_direct_text);
  d[k.attributes] = attributes_dict(rec.attributes);
  d[k.box] = std::move(box);
  d[k.visible] = py::bool_(true);
  d[k.enabled] = py::bool_(true);
  d[k.xpath] = str_of(rec.xpath);
  return d;
}

// --- PageScanner -------------------------------------------------------------------

struct PageScanner {
  explicit PageScanner(py::object page) : page(std::move(page)) {}
  py::object page;
};

PageScanner& scanner_of(py::handle self) { return py::cast<PageScanner&>(self); }

// `refs`, when given, gets each record's registry entry beside it.
template <class Elements>
py::list main_records(Elements& page, py::list* refs = nullptr) {
  py::list elements;
  page.for_each(pm::interactable_selector(), [&](auto& reader) {
    if (auto rec = pm::read_interactable(reader)) {
      elements.append(element_dict(*rec, reader.box_object));
      if (refs) refs->append(reader.ref);
    }
  });
  return elements;
}

template <class Elements>
py::list custom_input_records(Elements& page, py::list* refs = nullptr) {
  py::list results;
  pm::CustomInputSource source;
  page.for_each(pm::kCustomInputSelector, [&](auto& reader) {
    if (auto rec = source.read(reader)) {
      results.append(element_dict(*rec, reader.box_object));
      if (refs) refs->append(reader.ref);
    }
  });
  return results;
}

py::list extract_custom_inputs(const PageScanner& s) {
  LiveElements live{s.page};
  return custom_input_records(live);
}

// The records of the cursor-pointer script's rows; `refs`, when given, gets
// each record's registry entry (`first_ref` plus the row's position).
py::list cursor_pointer_records(py::handle rows, py::list* refs = nullptr,
                                std::size_t first_ref = 0) {
  py::list results;
  if (rows.is_none() || !truthy(rows)) return results;
  pm::CursorPointerSource source;
  std::size_t position = 0;
  for (py::handle row : rows) {
    std::size_t ref = first_ref + position++;
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
      results.append(element_dict(*rec, box_dict(x, y, w, h)));
      if (refs) refs->append(py::int_(ref));
    }
  }
  return results;
}

py::list extract_cursor_pointer_elements(const PageScanner& s) {
  return cursor_pointer_records(s.page.attr("evaluate")(str_of(pm::kCursorPointerScript)));
}

template <class Elements>
py::list text_records(Elements& page, py::list* refs = nullptr) {
  py::list results;
  page.for_each(pm::text_selector(), [&](auto& reader) {
    if (auto rec = pm::read_text_element(reader)) {
      results.append(text_element_dict(*rec, reader.box_object));
      if (refs) refs->append(reader.ref);
    }
  });
  return results;
}

py::object extract_text_elements(py::object self) {
  LiveElements live{scanner_of(self).page};
  return self.attr("_dedup_text_elements")(text_records(live));
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

template <class Elements>
py::list label_candidate_records(Elements& page) {
  py::list candidates;
  pm::LabelCandidateSource source;
  page.for_each(pm::kLabelCandidateSelector, [&](auto& reader) {
    if (auto cand = source.read(reader)) {
      py::dict d;
      d["text"] = str_of(cand->text);
      d["bounding_box"] = reader.box_object;
      candidates.append(std::move(d));
    }
  });
  return candidates;
}

py::list collect_label_candidates(const PageScanner& s) {
  LiveElements live{s.page};
  return label_candidate_records(live);
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

  write_and_close(py::module_::import("builtins").attr("open")(path, "w"), json_text);
  py::print(py::str("  [DOM snapshot saved \u2192 {}]").format(path));
}

// The fast reading applies to real Playwright pages while settings.FAST_SCAN is
// on; any other page object is read through its element operations.
bool reads_in_one_script(py::handle page) {
  py::object settings = py::module_::import(kModuleName).attr("settings");
  if (!truthy(py::getattr(settings, "FAST_SCAN", py::bool_(true)))) return false;
  py::dict modules = py::module_::import("sys").attr("modules");
  if (!modules.contains("playwright.sync_api")) return false;
  py::object page_type = modules["playwright.sync_api"].attr("Page");
  return py::isinstance(page, page_type);
}

// Runs the page script into `rows`; false when the page script itself failed
// (the caller then reads element by element, which reports any lasting
// failure of the page).
bool rows_in_one_script(py::object self, std::optional<PageRows>& rows,
                        std::optional<PageRows::AgentRead> agent = std::nullopt,
                        py::object target = py::none()) {
  try {
    rows.emplace(target.is_none() ? scanner_of(self).page : std::move(target), std::move(agent));
  } catch (py::error_already_set& e) {
    if (!e.matches(PyExc_Exception)) throw;
    return false;
  }
  return true;
}

// Each record's entry in the agent's reading (kReadElementScript), in the
// order of the records.
struct Refs {
  py::list elements, texts;
};

// The same records as the element-by-element reading, built from the rows of
// the parts gathered (an empty list for a part that was not); what a person
// reads goes to `_page_facts`. `refs`, when given, gets each record's entry;
// a reading of the page itself (`snapshot`) is saved when it is whole.
py::tuple records_of(py::object self, PageRows& rows, int parts, Refs* refs = nullptr,
                     bool snapshot = true) {
  self.attr("_page_facts") = rows.names();
  py::list elements;
  py::object text_elements = py::list();
  py::list* element_refs = refs ? &refs->elements : nullptr;
  if (parts & ps::kElements) {
    elements = main_records(rows, element_refs);
    elements.attr("extend")(custom_input_records(rows, element_refs));
    elements.attr("extend")(
        cursor_pointer_records(rows.cursor_rows(), element_refs, rows.fact_count()));
    py::list candidates = label_candidate_records(rows);
    self.attr("_assign_spatial_labels")(elements, candidates);
  }
  if (parts & ps::kTexts) {
    py::list text_refs;
    py::list all_texts = text_records(rows, refs ? &text_refs : nullptr);
    text_elements = self.attr("_dedup_text_elements")(all_texts);
    if (refs) {  // the texts kept, each with its entry
      std::unordered_map<PyObject*, py::object> ref_of;
      for (std::size_t i = 0; i < all_texts.size(); ++i) {
        ref_of.emplace(all_texts[i].ptr(), text_refs[i]);
      }
      for (py::handle rec : text_elements) {
        auto found = ref_of.find(rec.ptr());
        refs->texts.append(found == ref_of.end() ? py::none() : found->second);
      }
    }
  }
  if (snapshot && parts == ps::kAllParts) self.attr("_save_snapshot")(elements, text_elements);
  return py::make_tuple(elements, text_elements);
}

std::optional<py::tuple> extract_in_one_script(py::object self) {
  std::optional<PageRows> rows;
  if (!rows_in_one_script(self, rows)) return std::nullopt;
  return records_of(self, *rows, ps::kAllParts);
}

py::tuple extract_interactable_elements(py::object self) {
  if (reads_in_one_script(scanner_of(self).page)) {
    if (auto records = extract_in_one_script(self)) return *records;
  }
  self.attr("_page_facts") = py::none();
  LiveElements live{scanner_of(self).page};
  py::list elements = main_records(live);
  elements.attr("extend")(self.attr("_extract_custom_inputs")());
  elements.attr("extend")(self.attr("_extract_cursor_pointer_elements")());
  py::object candidates = self.attr("_collect_label_candidates")();
  self.attr("_assign_spatial_labels")(elements, candidates);
  py::object text_elements = self.attr("extract_text_elements")();
  self.attr("_save_snapshot")(elements, text_elements);
  return py::make_tuple(elements, text_elements);
}

// The agent's reading: (elements, text elements, state, element entries,
// text entries) with the parts asked for (a part not asked for is an empty
// list; an entry leads back to the record's element, kReadElementScript), or
// None when the page is still in the state `known` (a state an earlier
// reading returned). A page read element by element has no state and no
// entries (None): it is read again every time. With snapshots on, every
// reading is whole and saved. `frame`, when given, is read instead of the
// page (one of its frames): None when it cannot be read, and never saved.
py::object read_parts(py::object self, py::handle parts, py::handle known, py::handle frame,
                      py::handle words, py::handle scope) {
  check_arg(parts, "parts", Kind::Int);
  check_arg(known, "known", Kind::Str, /*none_ok=*/true);
  check_arg(words, "words", Kind::List, /*none_ok=*/true);
  check_arg(scope, "scope", Kind::List, /*none_ok=*/true);
  PageRows::AgentRead agent{
      parts.cast<int>() & (ps::kAllParts | ps::kGlance), py::reinterpret_borrow<py::object>(known),
      py::reinterpret_borrow<py::object>(words), py::reinterpret_borrow<py::object>(scope)};
  py::object settings = py::module_::import(kModuleName).attr("settings");
  if (truthy(py::getattr(settings, "SAVE_SNAPSHOTS", py::bool_(false)))) {
    agent = {ps::kAllParts, py::none()};
  }
  const bool own_page = frame.is_none();
  if (!own_page || reads_in_one_script(scanner_of(self).page)) {
    int wanted = agent.parts;
    std::optional<PageRows> rows;
    if (rows_in_one_script(self, rows, std::move(agent),
                           py::reinterpret_borrow<py::object>(frame))) {
      if (rows->unchanged()) return py::none();
      Refs refs;
      py::tuple records = records_of(self, *rows, wanted, &refs, own_page);
      return py::make_tuple(records[0], records[1], rows->state(), refs.elements, refs.texts);
    }
    if (!own_page) return py::none();
  }
  py::tuple records = extract_interactable_elements(self);
  return py::make_tuple(records[0], records[1], py::none(), py::none(), py::none());
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

  m.attr("_READ_ELEMENT_JS") = str_of(ps::kReadElementScript);
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
      .def("_read_parts", &read_parts,
           doc("_read_parts(self, parts, known=None, frame=None, words=None, scope=None)").c_str(),
           py::arg("parts"), py::arg("known") = py::none(), py::arg("frame") = py::none(),
           py::arg("words") = py::none(), py::arg("scope") = py::none())
      .def("_save_snapshot", &save_snapshot,
           doc("_save_snapshot(self, elements, text_elements)").c_str(), py::arg("elements"),
           py::arg("text_elements"));
}
