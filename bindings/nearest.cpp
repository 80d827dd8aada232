// marrowlane_web._core.nearest: how close the names on a page come to the name
// a step wanted (core/include/marrowlane/nearest.hpp).
#include "marrowlane/nearest.hpp"

#include <string>
#include <vector>

#include "common/common.hpp"

namespace py = pybind11;
using namespace marrowlane::bind;

namespace {

py::float_ best_closeness(py::handle want, py::handle names) {
  check_arg(want, "want", Kind::Str);
  check_arg(names, "names", Kind::List);
  std::vector<std::string> texts;
  for (py::handle name : names) texts.push_back(to_utf8(name));
  std::vector<std::string_view> views(texts.begin(), texts.end());
  return py::float_(marrowlane::nearest::best_closeness(to_utf8(want), views));
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
}
