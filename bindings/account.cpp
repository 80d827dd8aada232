// marrowlane_web._core.account: the account of a pick in words (who, where,
// by which rule, who lost and why). Records are read into views here; the
// words come from the core (marrowlane/account.hpp). Records handed back are
// the caller's own objects.
#include "marrowlane/account.hpp"

#include <array>
#include <string>
#include <unordered_map>
#include <vector>

#include "common/common.hpp"

namespace py = pybind11;
namespace account = marrowlane::account;
namespace match = marrowlane::text_match;
using namespace marrowlane::bind;

namespace {

// The record keys, interned once.
struct Keys {
  py::handle tag = key("tag"), text = key("text"), xpath = key("xpath"),
             bounding_box = key("bounding_box"), x = key("x"), y = key("y"),
             is_visible = key("is_visible"), is_enabled = key("is_enabled"),
             is_editable_field = key("is_editable_field"), attributes = key("attributes"),
             class_ = key("class"), id = key("id"), role = key("role"), title = key("title"),
             value = key("value"), name = key("name");
  std::array<py::handle, match::kMatchAttributes.size()> match = [] {
    std::array<py::handle, match::kMatchAttributes.size()> out;
    for (std::size_t i = 0; i < out.size(); ++i) {
      out[i] = key(std::string(match::kMatchAttributes[i]).c_str());
    }
    return out;
  }();
};

const Keys& keys() {
  static const Keys k;  // made with the GIL held, on first use
  return k;
}

// Views of the caller's records, valid while the reader lives.
class Reader {
 public:
  // The facts of one record; `place_only` reads just what tells where it is
  // (text, path and box), for the many records around a pick.
  account::Facts facts(py::handle record, bool place_only = false) {
    check_result(record, Kind::Dict);
    views_.hold(record);
    account::Facts f;
    match::Record& r = f.record;
    r.identity = record.ptr();
    r.text = text(record, keys().text);
    r.xpath = text(record, keys().xpath);
    py::object box = get(record, keys().bounding_box);
    if (PyDict_Check(box.ptr())) {
      views_.hold(box);
      r.box.state = match::Box::State::Record;
      r.box.truthy = PyDict_GET_SIZE(box.ptr()) > 0;
      r.box.x = number(get(box, keys().x));
      r.box.y = number(get(box, keys().y));
    }
    if (place_only) return f;
    r.tag = text(record, keys().tag);
    r.is_visible = truthy(get(record, keys().is_visible));
    r.is_enabled = truthy(get(record, keys().is_enabled));
    r.is_editable_field = truthy(get(record, keys().is_editable_field));
    py::object attrs = get(record, keys().attributes);
    if (!PyDict_Check(attrs.ptr())) return f;
    views_.hold(attrs);
    for (std::size_t i = 0; i < match::kMatchAttributes.size(); ++i) {
      r.match_attributes[i] = text(attrs, keys().match[i]);
    }
    r.class_name = text(attrs, keys().class_);
    r.id = text(attrs, keys().id);
    r.role = text(attrs, keys().role);
    f.title = text(attrs, keys().title);
    f.value = text(attrs, keys().value);
    f.name = text(attrs, keys().name);
    for (auto item : py::reinterpret_borrow<py::dict>(attrs)) {
      if (!PyUnicode_Check(item.first.ptr())) continue;
      std::string_view name = views_.str(item.first);
      if (name.starts_with("data-") && name != "data-testid") r.data_names.push_back(name);
    }
    return f;
  }

  std::vector<account::Facts> all(py::handle records, const char* name, bool place_only = false) {
    check_arg(records, name, Kind::List);
    std::vector<account::Facts> out;
    out.reserve(py::len(records));
    for (py::handle record : records) out.push_back(facts(record, place_only));
    return out;
  }

  std::string_view str(py::handle value, const char* name) {
    check_arg(value, name, Kind::Str);
    return views_.str(value);
  }

 private:
  std::string_view text(py::handle record, py::handle name) {
    return views_.text(get(record, name));
  }

  static match::Number number(py::handle v) {
    match::Number n;
    if (PyFloat_Check(v.ptr()) || PyLong_Check(v.ptr())) {
      n.value = PyFloat_AsDouble(v.ptr());
      if (n.value == -1.0 && PyErr_Occurred()) {  // an int beyond any float: no place
        PyErr_Clear();
        return n;
      }
      n.state = match::Number::State::Value;
    }
    return n;
  }

  Utf8Views views_;
};

py::list losers(const std::vector<account::Loser>& found, py::handle records) {
  py::list out;
  for (const account::Loser& l : found) {
    out.append(
        py::make_tuple(py::reinterpret_borrow<py::list>(records)[l.index], from_utf8(l.why)));
  }
  return out;
}

account::Placement placement(Reader& reader, py::handle relation, py::handle anchor,
                             py::handle ordinal, py::handle type, py::handle words,
                             bool type_relaxed) {
  account::Placement p;
  p.relation = relation.is_none() ? "" : reader.str(relation, "relation");
  p.anchor = anchor.is_none() ? "" : reader.str(anchor, "anchor");
  p.ordinal = ordinal.is_none() ? 0 : saturated_int(ordinal);
  p.type = type.is_none() ? "" : reader.str(type, "type");
  p.words = words.is_none() ? "" : reader.str(words, "words");
  p.type_relaxed = type_relaxed;
  return p;
}

py::str person_name(py::handle record) {
  Reader reader;
  return from_utf8(account::person_name(reader.facts(record)));
}

// Where each of `picks` is among `records`, the page read once for all.
py::list places(py::handle picks, py::handle records) {
  Reader reader;
  check_arg(picks, "picks", Kind::List);
  std::vector<account::Facts> page = reader.all(records, "records", /*place_only=*/true);
  py::list out;
  for (py::handle pick : picks) {
    // The pick is read whole: its name is no place either.
    out.append(from_utf8(account::where(reader.facts(pick), page)));
  }
  return out;
}

bool settled(py::handle record, py::handle part, py::handle records) {
  Reader reader;
  const std::string path = str_arg(part, "part");
  std::vector<account::Facts> page = reader.all(records, "records", /*place_only=*/true);
  return account::settled(reader.facts(record), path, page);
}

py::str where(py::handle record, py::handle records) {
  py::list one;
  one.append(record);
  return places(one, records)[0];
}

py::str text_rule(py::handle target, py::handle record, py::handle action, std::size_t position,
                  std::size_t count) {
  Reader reader;
  std::string_view wanted = reader.str(target, "target");
  std::string_view act = reader.str(action, "action");
  auto found = account::match_of(wanted, reader.facts(record), act == "type");
  return from_utf8(found ? account::text_rule(*found, position, count) : "");
}

py::str spatial_rule(py::handle relation, py::handle anchor, py::handle ordinal, py::handle type,
                     py::handle words, bool type_relaxed) {
  Reader reader;
  return from_utf8(account::spatial_rule(
      placement(reader, relation, anchor, ordinal, type, words, type_relaxed)));
}

py::list text_runners_up(py::handle action, py::handle target, py::handle elements, py::handle pick,
                         py::handle candidates) {
  Reader reader;
  std::string_view act = reader.str(action, "action");
  std::string_view wanted = reader.str(target, "target");
  std::vector<account::Facts> page = reader.all(elements, "elements");
  check_arg(candidates, "candidates", Kind::List);
  std::unordered_map<const void*, std::size_t> at;
  for (std::size_t i = 0; i < page.size(); ++i) at.emplace(page[i].record.identity, i);
  std::vector<std::size_t> ranked;
  for (py::handle c : candidates) {
    auto it = at.find(c.ptr());
    if (it != at.end()) ranked.push_back(it->second);
  }
  auto it = at.find(pick.ptr());
  if (it == at.end()) return py::list();
  return losers(account::text_runners_up(act, wanted, page, it->second, ranked), elements);
}

py::list spatial_runners_up(py::handle relation, py::handle anchor, py::handle ordinal,
                            py::handle candidates, py::handle pick) {
  Reader reader;
  account::Placement p =
      placement(reader, relation, anchor, ordinal, py::none(), py::none(), false);
  check_arg(candidates, "candidates", Kind::List);
  py::list list = py::reinterpret_borrow<py::list>(candidates);
  std::size_t pick_at = list.size();
  for (std::size_t i = 0; i < list.size(); ++i) {
    if (list[i].ptr() == pick.ptr()) pick_at = i;
  }
  if (pick_at == list.size()) return py::list();
  return losers(account::spatial_runners_up(p, pick_at, list.size()), list);
}

py::str not_taken(py::handle action, py::handle target, py::handle record, bool exact) {
  Reader reader;
  std::string_view act = reader.str(action, "action");
  std::string_view wanted = reader.str(target, "target");
  return from_utf8(account::not_taken(act, wanted, reader.facts(record), exact));
}

py::str line(py::handle person, py::handle where_, py::handle rule, py::handle runners_up) {
  Reader reader;
  std::vector<account::Runner> runners;
  check_arg(runners_up, "runners_up", Kind::List);
  for (py::handle pair : runners_up) {
    py::tuple t = py::reinterpret_borrow<py::tuple>(pair);
    runners.push_back(
        {std::string(reader.str(t[0], "name")), std::string(reader.str(t[1], "why"))});
  }
  return from_utf8(account::line(reader.str(person, "person"), reader.str(where_, "where"),
                                 reader.str(rule, "rule"), runners));
}

}  // namespace

PYBIND11_MODULE(account, m) {
  py::options options;
  prepare_module(options);
  m.doc() = "The account of a pick in words: who, where, by which rule, who lost and why.";
  m.def("person_name", &person_name, doc("person_name(record)").c_str(), py::arg("record"));
  m.def("where", &where, doc("where(record, records)").c_str(), py::arg("record"),
        py::arg("records"));
  m.def("settled", &settled, doc("settled(record, part, records)").c_str(), py::arg("record"),
        py::arg("part"), py::arg("records"));
  m.def("places", &places, doc("places(picks, records)").c_str(), py::arg("picks"),
        py::arg("records"));
  m.def("text_rule", &text_rule, doc("text_rule(target, record, action, position, count)").c_str(),
        py::arg("target"), py::arg("record"), py::arg("action"), py::arg("position"),
        py::arg("count"));
  m.def("spatial_rule", &spatial_rule,
        doc("spatial_rule(relation, anchor, ordinal, type, words, type_relaxed)").c_str(),
        py::arg("relation"), py::arg("anchor"), py::arg("ordinal"), py::arg("type"),
        py::arg("words"), py::arg("type_relaxed"));
  m.def("text_runners_up", &text_runners_up,
        doc("text_runners_up(action, target, elements, pick, candidates)").c_str(),
        py::arg("action"), py::arg("target"), py::arg("elements"), py::arg("pick"),
        py::arg("candidates"));
  m.def("spatial_runners_up", &spatial_runners_up,
        doc("spatial_runners_up(relation, anchor, ordinal, candidates, pick)").c_str(),
        py::arg("relation"), py::arg("anchor"), py::arg("ordinal"), py::arg("candidates"),
        py::arg("pick"));
  m.def("not_taken", &not_taken, doc("not_taken(action, target, record, exact=False)").c_str(),
        py::arg("action"), py::arg("target"), py::arg("record"), py::arg("exact") = false);
  m.def("line", &line, doc("line(person, where, rule, runners_up)").c_str(), py::arg("person"),
        py::arg("where"), py::arg("rule"), py::arg("runners_up"));
}
