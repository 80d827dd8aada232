// marrowlane_web._core.resolver: which element a step means, by the names a
// person reads (resolve.hpp).
//
// The candidates are the page script's named elements (the `named` rows of
// its names facts), then the element records, then the text element records;
// a record and a named row with the same path are one element. A pick comes
// back as the caller's record of that element when there is one, else as a
// new record built from the named row.
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "common/common.hpp"
#include "marrowlane/resolve.hpp"
#include "marrowlane/text_match.hpp"

namespace py = pybind11;
namespace rs = marrowlane::resolve;
using namespace marrowlane::bind;

namespace {

// Fields of a named row.
enum : int {
  N_PATH,
  N_TAG,
  N_TYPE,
  N_ROLE,
  N_EDITABLE,
  N_CLICKABLE,
  N_VISIBLE,
  N_ENABLED,
  N_BOX,
  N_NAMES,
  N_FIELDS
};

struct Origin {
  py::handle row;     // a named row, or
  py::handle record;  // a caller's record
};

class Candidates {
 public:
  std::vector<rs::Candidate> list;
  std::vector<Origin> origins;

  void add_named(py::handle named) {
    if (named.is_none()) return;
    check_arg(named, "named", Kind::List);
    for (py::handle row : named) {
      if (!PyList_CheckExact(row.ptr()) || PyList_GET_SIZE(row.ptr()) != N_FIELDS) {
        throw py::value_error("a named row of the page script is malformed");
      }
      auto at = [&](int i) { return py::handle(PyList_GET_ITEM(row.ptr(), i)); };
      rs::Candidate c;
      c.key = views_.text(at(N_PATH));
      c.kind = rs::kind_of(views_.text(at(N_TAG)), views_.text(at(N_TYPE)), views_.text(at(N_ROLE)),
                           truthy(at(N_EDITABLE)), truthy(at(N_CLICKABLE)));
      c.visible = truthy(at(N_VISIBLE));
      c.enabled = truthy(at(N_ENABLED));
      py::handle names = at(N_NAMES);
      check_result(names, Kind::List);
      const auto count = PyList_GET_SIZE(names.ptr());
      for (Py_ssize_t i = 0; i + 1 < count; i += 2) {
        auto source = rs::source_named(views_.text(PyList_GET_ITEM(names.ptr(), i)));
        if (!source) continue;
        c.names.push_back({*source, views_.text(PyList_GET_ITEM(names.ptr(), i + 1))});
      }
      list.push_back(std::move(c));
      origins.push_back({row, py::handle()});
    }
  }

  void add_records(py::handle records, bool texts) {
    check_arg(records, texts ? "texts" : "elements", Kind::List);
    static py::handle k_tag = key("tag"), k_text = key("text"), k_attrs = key("attributes"),
                      k_visible = key("is_visible"), k_enabled = key("is_enabled"),
                      k_xpath = key("xpath"), k_editable = key("is_editable_field");
    for (py::handle rec : records) {
      if (!PyDict_Check(rec.ptr())) continue;
      rs::Candidate c;
      c.key = views_.text(get(rec, k_xpath));
      py::object attrs = get(rec, k_attrs);
      auto attr = [&](const char* name) -> std::string_view {
        if (!PyDict_Check(attrs.ptr())) return {};
        return views_.text(get(attrs, name));
      };
      views_.hold(attrs);
      const std::string_view tag = views_.text(get(rec, k_tag));
      if (texts) {
        c.kind = rs::Kind::Text;
      } else {
        c.kind = rs::kind_of(tag, lower(attr("type")), attr("role"), truthy(get(rec, k_editable)),
                             false);
        // Whatever the page reading counts as interactable can be clicked.
        if (c.kind == rs::Kind::Text) c.kind = rs::Kind::Clickable;
      }
      c.visible = truthy(get(rec, k_visible));
      c.enabled = truthy(get(rec, k_enabled));
      const bool field = c.kind == rs::Kind::Field || c.kind == rs::Kind::List;
      if (!field) c.names.push_back({rs::NameSource::Text, views_.text(get(rec, k_text))});
      c.names.push_back({rs::NameSource::AriaLabel, attr("aria-label")});
      if (c.kind == rs::Kind::Button && tag == "input") {
        c.names.push_back({rs::NameSource::Value, attr("value")});
      }
      c.names.push_back({rs::NameSource::Alt, attr("alt")});
      c.names.push_back({rs::NameSource::Title, attr("title")});
      c.names.push_back({rs::NameSource::Placeholder, attr("placeholder")});
      c.names.push_back({rs::NameSource::Above, attr("_label")});
      c.names.push_back({rs::NameSource::Attribute, attr("data-testid")});
      list.push_back(std::move(c));
      origins.push_back({py::handle(), rec});
    }
  }

 private:
  std::string_view lower(std::string_view s) {
    lowered_.emplace_back(s);
    for (char& ch : lowered_.back()) {
      if (ch >= 'A' && ch <= 'Z') ch = static_cast<char>(ch - 'A' + 'a');
    }
    return lowered_.back();
  }

  Utf8Views views_;
  std::deque<std::string> lowered_;
};

// A record for a named element that no record stands for.
py::dict record_of_row(py::handle row) {
  auto at = [&](int i) {
    return py::reinterpret_borrow<py::object>(PyList_GET_ITEM(row.ptr(), i));
  };
  py::dict attributes;
  py::object names = at(N_NAMES);
  std::string text;
  for (std::size_t i = 0; i + 1 < py::len(names); i += 2) {
    std::string source = to_utf8(names[py::int_(i)]);
    py::object value = names[py::int_(i + 1)];
    if (source == "text" || source == "value") {
      if (text.empty()) text = to_utf8(value);
    } else if (source == "aria-label" || source == "title" || source == "placeholder" ||
               source == "alt") {
      attributes[from_utf8(source)] = value;
    } else if ((source == "label" || source == "labelledby") && !attributes.contains("_label")) {
      attributes["_label"] = value;
    }
  }
  std::string type = to_utf8(at(N_TYPE));
  if (!type.empty()) attributes["type"] = from_utf8(type);
  std::string role = to_utf8(at(N_ROLE));
  if (!role.empty()) attributes["role"] = from_utf8(role);
  py::dict d;
  d["tag"] = at(N_TAG);
  d["text"] = from_utf8(text);
  d["attributes"] = attributes;
  py::object box = at(N_BOX);
  py::dict b;
  b["x"] = box[py::int_(0)];
  b["y"] = box[py::int_(1)];
  b["width"] = box[py::int_(2)];
  b["height"] = box[py::int_(3)];
  d["bounding_box"] = b;
  d["is_visible"] = py::bool_(truthy(at(N_VISIBLE)));
  d["is_enabled"] = py::bool_(truthy(at(N_ENABLED)));
  if (truthy(at(N_EDITABLE))) d["is_editable_field"] = py::bool_(true);
  d["xpath"] = at(N_PATH);
  return d;
}

py::list rank(py::handle action, py::handle target, py::handle named, py::handle elements,
              py::handle texts) {
  const std::string act = str_arg(action, "action");
  const std::string wanted = str_arg(target, "target");
  Candidates all;
  all.add_named(named);
  all.add_records(elements, false);
  all.add_records(texts, true);
  std::vector<rs::Ranked> ranked = rs::rank(act, wanted, all.list);

  // The caller's record of each path, for picks that come from named rows.
  std::unordered_map<std::string_view, py::handle> by_path;
  for (std::size_t i = 0; i < all.list.size(); ++i) {
    if (all.origins[i].record && !all.list[i].key.empty())
      by_path.emplace(all.list[i].key, all.origins[i].record);
  }
  py::list out;
  for (const rs::Ranked& r : ranked) {
    const Origin& origin = all.origins[r.index];
    py::object record;
    if (origin.record) {
      record = py::reinterpret_borrow<py::object>(origin.record);
    } else if (auto found = by_path.find(all.list[r.index].key); found != by_path.end()) {
      record = py::reinterpret_borrow<py::object>(found->second);
    } else {
      record = record_of_row(origin.row);
    }
    out.append(py::make_tuple(record, from_utf8(r.rule), from_utf8(r.why), py::bool_(r.fits),
                              r.match == rs::Match::Exact));
  }
  return out;
}

py::tuple check_text(py::handle target, py::handle texts) {
  const std::string wanted = str_arg(target, "target");
  check_arg(texts, "texts", Kind::List);
  Utf8Views views;
  std::vector<rs::PageText> page;
  for (py::handle row : texts) {
    if (!PyList_CheckExact(row.ptr()) || PyList_GET_SIZE(row.ptr()) != 2) {
      throw py::value_error("a text row of the page script is malformed");
    }
    page.push_back(
        {views.text(PyList_GET_ITEM(row.ptr(), 0)), truthy(PyList_GET_ITEM(row.ptr(), 1))});
  }
  rs::TextCheck check = rs::check_text(wanted, page);
  py::object text =
      check.index ? py::object(texts[py::int_(*check.index)][py::int_(0)]) : py::none();
  return py::make_tuple(py::bool_(check.present), py::bool_(check.visible), text);
}

bool fits(py::handle action, py::handle record) {
  const std::string act = str_arg(action, "action");
  check_arg(record, "record", Kind::Dict);
  Candidates one;
  py::list records;
  records.append(record);
  one.add_records(records, false);
  return rs::fits(act, one.list.front().kind);
}

py::object words(py::handle target) {
  std::vector<std::string> found = rs::words_of(str_arg(target, "target"));
  if (found.empty()) return py::none();
  py::list out;
  for (const std::string& word : found) out.append(from_utf8(word));
  return out;
}

py::object sure_first(py::handle action, py::handle target, py::handle named,
                      py::handle contested) {
  const std::string act = str_arg(action, "action");
  const std::string wanted = str_arg(target, "target");
  check_arg(contested, "contested", Kind::Bool);
  Candidates all;
  all.add_named(named);
  auto index = rs::sure_first(act, wanted, all.list, contested.ptr() == Py_True);
  return index ? py::object(py::int_(*index)) : py::none();
}

bool agrees(py::handle expected, py::handle actual) {
  return marrowlane::text_match::amounts_agree(str_arg(expected, "expected"),
                                               str_arg(actual, "actual"));
}

}  // namespace

PYBIND11_MODULE(resolver, m) {
  py::options options;
  prepare_module(options);
  m.doc() = "Which element a step means, by the names a person reads on the page.";
  m.def("rank", &rank,
        doc("rank(action, target, named, elements, texts)",
            "The elements that carry the target's name, best first: a list of (record, rule, why, "
            "fits, exact).")
            .c_str(),
        py::arg("action"), py::arg("target"), py::arg("named"), py::arg("elements"),
        py::arg("texts"));
  m.def("words", &words,
        doc("words(target)",
            "The lower-case words every name that holds the target holds; None when a look "
            "by them could miss one.")
            .c_str(),
        py::arg("target"));
  m.def("sure_first", &sure_first,
        doc("sure_first(action, target, named, contested)",
            "The index of the named row that `rank` puts first whatever element records the "
            "page adds; None when they may change the answer.")
            .c_str(),
        py::arg("action"), py::arg("target"), py::arg("named"), py::arg("contested"));
  m.def("check_text", &check_text,
        doc("check_text(target, texts)",
            "(present, visible, text) of a target among the page's [text, visible] rows.")
            .c_str(),
        py::arg("target"), py::arg("texts"));
  m.def("agrees", &agrees,
        doc("agrees(expected, actual)",
            "Whether a text read beside an anchor agrees with the one expected: either holds "
            "the other, letter case, currency signs and thousands separators aside.")
            .c_str(),
        py::arg("expected"), py::arg("actual"));
  m.def("fits", &fits,
        doc("fits(action, record)",
            "Whether the element of a record is the kind the action needs: a field to type "
            "into, a dropdown list to select from; any element for the other actions.")
            .c_str(),
        py::arg("action"), py::arg("record"));
}
