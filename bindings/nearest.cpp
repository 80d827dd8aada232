// marrowlane_web._core.nearest: how close the names on a page come to the name
// a step wanted (core/include/marrowlane/nearest.hpp).
#include "marrowlane/nearest.hpp"

#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "common/common.hpp"

namespace py = pybind11;
using namespace marrowlane::bind;
namespace nearest = marrowlane::nearest;

namespace {

py::float_ best_closeness(py::handle want, py::handle names) {
  check_arg(want, "want", Kind::Str);
  check_arg(names, "names", Kind::List);
  std::vector<std::string> texts;
  for (py::handle name : names) texts.push_back(to_utf8(name));
  std::vector<std::string_view> views(texts.begin(), texts.end());
  return py::float_(nearest::best_closeness(to_utf8(want), views));
}

// `mapping.get(key)` of a dict (or a dict's subclass); a null handle when missing.
py::handle lookup(py::handle mapping, py::handle key) {
  PyObject* value = PyDict_GetItemWithError(mapping.ptr(), key.ptr());  // borrowed
  if (!value && PyErr_Occurred()) throw py::error_already_set();
  return value;
}

// The records as the core reads them, viewed in place; anything that is not a
// dict reads as a record without a name.
std::vector<nearest::Record> read_records(py::handle records, Utf8Views& views) {
  static const py::handle kText = key("text"), kTag = key("tag"), kVisible = key("is_visible"),
                          kAttributes = key("attributes");
  static const auto kNames = [] {
    std::array<py::handle, nearest::kNameAttributes.size()> names;
    for (std::size_t i = 0; i < names.size(); ++i) {
      names[i] = key(std::string(nearest::kNameAttributes[i]).c_str());
    }
    return names;
  }();
  std::vector<nearest::Record> out;
  out.reserve(py::len(records));
  for (py::handle record : records) {
    nearest::Record& r = out.emplace_back();
    if (!PyDict_Check(record.ptr())) continue;
    r.text = views.text(lookup(record, kText));
    r.select = views.text(lookup(record, kTag)) == "select";
    py::handle visible = lookup(record, kVisible);
    r.visible = visible && truthy(visible);
    py::handle attributes = lookup(record, kAttributes);
    if (!attributes || !PyDict_Check(attributes.ptr())) continue;
    for (std::size_t i = 0; i < kNames.size(); ++i) {
      r.attributes[i] = views.text(lookup(attributes, kNames[i]));
    }
  }
  return out;
}

py::list nearest_records(py::handle want, py::handle records, py::handle limit) {
  check_arg(want, "want", Kind::Str);
  check_arg(records, "records", Kind::List);
  check_arg(limit, "limit", Kind::Int);
  const std::int64_t most = saturated_int(limit);
  Utf8Views views;
  const std::vector<nearest::Record> read = read_records(records, views);
  const auto chosen = nearest::nearest(views.str(want), read,
                                       most > 0 ? static_cast<std::size_t>(most) : std::size_t{0});
  py::list out;
  for (std::size_t index : chosen) out.append(py::reinterpret_borrow<py::list>(records)[index]);
  return out;
}

py::str name_of(py::handle record) {
  py::list one;
  one.append(record);
  Utf8Views views;
  return from_utf8(nearest::name_of(read_records(one, views).front()));
}

}  // namespace

PYBIND11_MODULE(nearest, m) {
  py::options options;
  prepare_module(options);
  m.doc() = "How close names come to a wanted text.";
  m.def("best_closeness", &best_closeness,
        doc("best_closeness(want, names)",
            "The best of difflib.SequenceMatcher(None, want, name).ratio(), plus 0.5 where one\n"
            "text contains the other, over the names; -1.0 when there are none.")
            .c_str(),
        py::arg("want"), py::arg("names"));
  m.def("nearest_records", &nearest_records,
        doc("nearest_records(want, records, limit=3)",
            "Up to `limit` of the records (all when it is 0 or less) whose names come closest\n"
            "to `want`, best first: by closeness of any of their texts and naming attributes,\n"
            "visible before hidden, then page order; one record per name. The records are the\n"
            "caller's own.")
            .c_str(),
        py::arg("want"), py::arg("records"), py::arg("limit") = 3);
  m.def("name_of", &name_of,
        doc("name_of(record)",
            "The name a person would use for a record: its text (a dropdown's label first),\n"
            "else its aria-label, label, placeholder, title, alt, value, name or id; first\n"
            "line, blanks collapsed, clipped to 60 characters; '' when nothing names it.")
            .c_str(),
        py::arg("record"));
}
