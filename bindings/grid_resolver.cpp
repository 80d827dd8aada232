// marrowlane_web.engine.spatial.grid_resolver: relational and ordinal targets
// resolved over the spatial matrix. The core parses, finds the anchor and
// ranks; this file reads the caller's entries into views and answers with the
// caller's own entry and element records.
#include <array>
#include <cstdint>
#include <vector>

#include "common/common.hpp"
#include "common/matrix.hpp"
#include "marrowlane/spatial.hpp"

namespace py = pybind11;
using namespace marrowlane::bind;
namespace spatial = marrowlane::spatial;
using marrowlane::grid::Number;

namespace {

py::dict failure() {
  py::dict r;
  r["resolved"] = false;
  r["confidence"] = 0.0;
  r["element"] = py::none();
  r["candidates"] = py::list();
  return r;
}

py::dict answer(const Matrix& m, const spatial::Resolution& res) {
  using Shape = spatial::Resolution::Shape;
  if (res.shape == Shape::Failure) return failure();
  py::dict r;
  r["resolved"] = true;
  r["confidence"] = 1.0;
  r["element"] = m.element(res.element);
  if (res.shape == Shape::Relation) {
    r["anchor_text"] = get(m.entry(res.anchor), fields().searchable.key);
    r["ordinal"] = py::int_(res.ordinal);
    r["type_relaxed"] = py::bool_(res.type_relaxed);
    r["actual_type"] = res.type_relaxed ? get(m.entry(res.element), fields().element_type.key)
                                        : str_or_none(res.type_filter);
  }
  r["candidates"] = m.elements(res.candidates);
  return r;
}

// Module functions -----------------------------------------------------------

py::str normalize(py::handle text) { return from_utf8(spatial::normalize(str_arg(text, "text"))); }

py::tuple parse_target(py::handle target) {
  return target_tuple(spatial::parse_target(str_arg(target, "target")));
}

// The core's answer about two entries, each checked and read as a matrix entry.
template <typename Answer>
auto between(py::handle a, py::handle b, Answer answer) {
  check_arg(a, "a", Kind::Dict);
  check_arg(b, "b", Kind::Dict);
  Matrix m;
  m.add(a);
  m.add(b);
  return answer(m.views()[0], m.views()[1]);
}

double centre_distance(py::handle a, py::handle b) {
  return between(a, b, spatial::centre_distance);
}

bool overlaps_vertically(py::handle a, py::handle b) {
  return between(a, b, spatial::overlaps_vertically);
}

bool overlaps_horizontally(py::handle a, py::handle b) {
  return between(a, b, spatial::overlaps_horizontally);
}

std::int64_t dom_distance(py::handle xpath_a, py::handle xpath_b) {
  const std::string a = str_arg(xpath_a, "xpath_a");
  const std::string b = str_arg(xpath_b, "xpath_b");
  return spatial::dom_distance(a, b);
}

// GridResolver ---------------------------------------------------------------

struct GridResolver {
  py::object matrix;

  Matrix read_matrix() const {
    check_arg(matrix, "matrix", Kind::List);
    Matrix m;
    m.add_all(matrix);
    return m;
  }

  py::dict resolve(py::handle parsed_instruction) const {
    check_arg(parsed_instruction, "parsed_instruction", Kind::Dict);
    // A missing target reads as ""; a None one is refused like any non-str.
    PyObject* stored = PyDict_GetItemString(parsed_instruction.ptr(), "target");
    py::object target = stored ? py::reinterpret_borrow<py::object>(stored) : py::str("");
    const std::string t = str_arg(target, "target");
    const Matrix m = read_matrix();
    return answer(m, spatial::resolve(m.views(), t));
  }

  py::object find_anchor(py::handle anchor_text) const {
    const std::string anchor = str_arg(anchor_text, "anchor_text");
    const Matrix m = read_matrix();
    const std::optional<std::size_t> found = spatial::find_anchor(m.views(), anchor);
    return found ? m.entry(*found) : py::object(py::none());
  }

  py::list rank(py::handle candidates, py::handle anchor, py::handle strategy,
                py::handle ordinal) const {
    check_arg(candidates, "candidates", Kind::List);
    check_arg(anchor, "anchor", Kind::Dict);
    check_arg(strategy, "strategy", Kind::Str, /*none_ok=*/true);
    check_arg(ordinal, "ordinal", Kind::Int, /*none_ok=*/true);
    const std::optional<std::string> s = text_of(strategy);
    std::optional<std::int64_t> n;
    if (!ordinal.is_none()) n = saturated_int(ordinal);
    Matrix m;
    m.add_all(candidates);
    Matrix a;
    a.add(anchor);
    std::vector<std::size_t> all(m.views().size());
    for (std::size_t i = 0; i < all.size(); ++i) all[i] = i;
    return m.entries(spatial::rank(m.views(), all, a.views()[0], s, n));
  }

  py::dict resolve_ordinal(py::handle ordinal, py::handle type_filter,
                           py::handle search_text) const {
    check_arg(ordinal, "ordinal", Kind::Int);
    check_arg(type_filter, "type_filter", Kind::Str, /*none_ok=*/true);
    check_arg(search_text, "search_text", Kind::Str, /*none_ok=*/true);
    const std::optional<std::string> type = text_of(type_filter);
    const std::optional<std::string> search = text_of(search_text);
    const Matrix m = read_matrix();
    return answer(m, spatial::resolve_ordinal(m.views(), saturated_int(ordinal), type, search));
  }
};

GridResolver make_resolver(py::object matrix) {
  check_arg(matrix, "matrix", Kind::List);
  return GridResolver{std::move(matrix)};
}

constexpr const char* kResolveDoc =
    "Resolve a relational instruction using spatial relationships in the matrix.\n"
    "\n"
    "Parses the target for relation keywords and ordinals, finds the anchor\n"
    "element, then filters and sorts candidates by the geometric rule.\n"
    "\n"
    "Returns a dict with:\n"
    "    resolved   -- whether a match was found\n"
    "    confidence -- 1.0 if resolved, 0.0 otherwise\n"
    "    element    -- the matched element dict, or None\n"
    "    candidates -- all considered candidates, best first";

constexpr const char* kFindAnchorDoc =
    "Find the matrix entry whose text exactly matches the anchor (case-insensitive).\n"
    "\n"
    "Text matches take priority over attribute matches (_label, aria-label,\n"
    "placeholder), so an anchor naming a product title finds the title and not a\n"
    "button that merely carries that title as its label. Attribute matches are\n"
    "used only when no text match exists.";

constexpr const char* kResolveOrdinalDoc =
    "Resolve 'first button', 'second login', 'second login button' from reading order.\n"
    "\n"
    "Filters by type_filter if given, then by search_text substring match against\n"
    "searchable if given, and returns the n-th match in reading order.";

constexpr const char* kParseTargetDoc =
    "Break a relational target into (anchor, relation, type_filter, ordinal, search_text, "
    "target_text).\n"
    "\n"
    "target_text is the part before the relation keyword, without the type and\n"
    "ordinal words: the element being sought. search_text captures the descriptive\n"
    "words used when only an ordinal is given ('second login' gives 'login').";

}  // namespace

PYBIND11_MODULE(grid_resolver, m) {
  py::options options;
  prepare_module(options);
  m.doc() = "Resolves relational instructions against the spatial matrix.";

  m.attr("_RELATIONS") = dict_of(spatial::kRelations);
  m.attr("_ORDINALS") = dict_of(spatial::kOrdinals);
  m.attr("_TYPE_KEYWORDS") = dict_of(spatial::kTypeKeywords);
  m.attr("SPATIAL_TOLERANCE") = py::int_(spatial::kSpatialTolerance);
  m.attr("NEAR_MAX_PIXELS") = py::int_(spatial::kNearMaxPixels);
  m.attr("NEAR_MAX_DOM_STEPS") = py::int_(spatial::kNearMaxDomSteps);

  m.def("_normalize", &normalize,
        doc("_normalize(text)",
            "Lowercase and remove spaces for fuzzy matching \u2014 'login' matches 'Log in'.")
            .c_str(),
        py::arg("text"));
  m.def("_parse_target", &parse_target, doc("_parse_target(target)", kParseTargetDoc).c_str(),
        py::arg("target"));
  m.def(
      "_centre_distance", &centre_distance,
      doc("_centre_distance(a, b)", "Euclidean distance between the centres of two matrix entries.")
          .c_str(),
      py::arg("a"), py::arg("b"));
  m.def("_overlaps_vertically", &overlaps_vertically,
        doc("_overlaps_vertically(a, b)",
            "Return True if the Y extents of two entries overlap within SPATIAL_TOLERANCE.")
            .c_str(),
        py::arg("a"), py::arg("b"));
  m.def("_overlaps_horizontally", &overlaps_horizontally,
        doc("_overlaps_horizontally(a, b)",
            "Return True if the X extents of two entries overlap within SPATIAL_TOLERANCE.")
            .c_str(),
        py::arg("a"), py::arg("b"));
  m.def("_dom_distance", &dom_distance, doc("_dom_distance(xpath_a, xpath_b)").c_str(),
        py::arg("xpath_a"), py::arg("xpath_b"));

  py::class_<GridResolver>(m, "GridResolver",
                           "Finds elements using spatial relationships \u2014 proximity, "
                           "direction, ordinal.",
                           py::dynamic_attr())
      .def(py::init(&make_resolver),
           doc("__init__(self, matrix)", "Store the pre-built spatial matrix.").c_str(),
           py::arg("matrix"))
      .def_readwrite("matrix", &GridResolver::matrix)
      .def("resolve", &GridResolver::resolve,
           doc("resolve(self, parsed_instruction)", kResolveDoc).c_str(),
           py::arg("parsed_instruction"))
      .def("_find_anchor", &GridResolver::find_anchor,
           doc("_find_anchor(self, anchor_text)", kFindAnchorDoc).c_str(), py::arg("anchor_text"))
      .def("_rank", &GridResolver::rank,
           doc("_rank(self, candidates, anchor, strategy, ordinal)",
               "Filter candidates by geometric rule and sort by closeness to anchor.")
               .c_str(),
           py::arg("candidates"), py::arg("anchor"), py::arg("strategy"), py::arg("ordinal"))
      .def("_resolve_ordinal", &GridResolver::resolve_ordinal,
           doc("_resolve_ordinal(self, ordinal, type_filter, search_text=None)", kResolveOrdinalDoc)
               .c_str(),
           py::arg("ordinal"), py::arg("type_filter"), py::arg("search_text") = py::none());
}
