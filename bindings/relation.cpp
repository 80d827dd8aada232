// marrowlane_web._core.relation: relational targets over the spatial matrix,
// answered as a person reads the page (relation.hpp): the chosen entry and
// every entry in the relation, in the order a person counts them.
#include "marrowlane/relation.hpp"

#include "common/common.hpp"
#include "common/matrix.hpp"

namespace py = pybind11;
using namespace marrowlane::bind;
namespace relation = marrowlane::relation;

namespace {

// {"entry", "anchor", "ranked": [entry], "type_relaxed", "in_band"}, the caller's own entries
// (the first `in_band` of `ranked` share the anchor's line or column); None when nothing answers.
py::object resolve(py::handle matrix, py::handle target) {
  check_arg(matrix, "matrix", Kind::List);
  const std::string t = str_arg(target, "target");
  Matrix m;
  m.add_all(matrix);
  const std::optional<relation::Pick> pick = relation::resolve(m.views(), t);
  if (!pick) return py::none();
  py::dict r;
  r["entry"] = m.entry(pick->element);
  r["anchor"] = m.entry(pick->anchor);
  r["ranked"] = m.entries(pick->ranked);
  r["type_relaxed"] = py::bool_(pick->type_relaxed);
  r["in_band"] = py::int_(pick->in_band);
  return r;
}

py::tuple parse_target(py::handle target) {
  return target_tuple(marrowlane::spatial::parse_target_words(str_arg(target, "target")));
}

}  // namespace

PYBIND11_MODULE(relation, m) {
  py::options options;
  prepare_module(options);
  m.doc() = "Relational targets answered as a person reads the page.";
  m.def("resolve", &resolve,
        doc("resolve(matrix, target)",
            "The entry a relational target means over the spatial matrix, with every entry "
            "in the relation in order; None when nothing stands there.")
            .c_str(),
        py::arg("matrix"), py::arg("target"));
  m.def("parse_target", &parse_target,
        doc("parse_target(target)",
            "(anchor, relation, type_filter, ordinal, search_text, target_text) of a target, "
            "its relation read only where it stands as whole words.")
            .c_str(),
        py::arg("target"));
}
