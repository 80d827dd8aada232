#include "marrowlane/text_match.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "marrowlane/errors.hpp"

namespace match = marrowlane::text_match;

namespace {

match::Number num(double v) { return {match::Number::State::Value, v, {}}; }

match::Box box(double x, double y, double w, double h) {
  match::Box b;
  b.state = match::Box::State::Record;
  b.truthy = true;
  b.x = num(x);
  b.y = num(y);
  b.width = num(w);
  b.height = num(h);
  return b;
}

match::Record rec(std::string_view text, double x = 0, double y = 0, double w = 10, double h = 10) {
  match::Record r;
  r.text = text;
  r.tag = "span";
  r.xpath = "/html[1]/body[1]/div[1]/span[1]";
  r.box = box(x, y, w, h);
  r.is_visible = true;
  r.is_enabled = true;
  return r;
}

match::Ordinal ordinal(std::int64_t v) {
  match::Ordinal o;
  o.value = v;
  return o;
}

}  // namespace

TEST(SearchableStrings, BuildsEachSurfaceInOrder) {
  match::Record r;
  r.text = " Go ";
  r.match_attributes = {"AL", "Label", "", "tid", "email", "alt"};
  r.class_name =
      "btn btn-primary css-1x2y3z \xD9\xA3"
      "abcd";  // an Arabic-Indic digit
  r.id = "user-name_input";
  r.data_names = {"data-cart-icon", "data-x", "data-qa_1-id"};
  EXPECT_EQ(match::searchable_strings(r, false),
            (std::vector<std::string>{" Go ", "AL", "tid", "email", "alt", "btn primary",
                                      "user name input", "cart icon", "qa id"}));
  EXPECT_EQ(match::searchable_strings(r, true)[2], "Label");
}

TEST(ResolveElement, OrdinalsFromBothEndsNeverIndexOutside) {
  std::vector<match::Record> page = {rec("Save copy", 0, 50), rec("Save changes", 0, 10)};
  struct Case {
    std::int64_t ordinal;
    bool resolved;
    std::size_t element;
  };
  const std::int64_t lowest = std::numeric_limits<std::int64_t>::min();
  const std::int64_t highest = std::numeric_limits<std::int64_t>::max();
  const Case cases[] = {
      {1, true, 1},   {2, true, 0},       {highest, true, 0},  // reading order
      {0, true, 1},   {-1, true, 0},                           // length order, from the end
      {-2, false, 0}, {lowest, false, 0},
  };
  for (const Case& c : cases) {
    match::Resolution r = match::resolve_element("click", "save", ordinal(c.ordinal), page, {});
    EXPECT_EQ(r.resolved, c.resolved) << c.ordinal;
    if (r.resolved) {
      EXPECT_EQ(r.element, c.element) << c.ordinal;
      EXPECT_EQ(r.candidates.size(), 2u);
    } else {
      EXPECT_TRUE(r.candidates.empty());
    }
  }
}

TEST(ResolveElement, NanCoordinatesSortWithoutHarm) {
  std::vector<match::Record> page;
  const double nan = std::nan("");
  for (int i = 0; i < 40; ++i) page.push_back(rec("Item", i % 3 ? nan : i, i % 5 ? nan : -i));
  match::Resolution r = match::resolve_element("click", "item", ordinal(3), page, {});
  ASSERT_TRUE(r.resolved);
  EXPECT_EQ(r.candidates.size(), page.size());
}

TEST(ResolveElement, BadCoordinatesRaiseOnlyWhenCompared) {
  std::vector<match::Record> page = {rec("Go")};
  page[0].box.y = {match::Number::State::Invalid, 0, "NoneType"};
  EXPECT_TRUE(match::resolve_element("click", "go", ordinal(1), page, {}).resolved);
  page.push_back(rec("Go"));
  EXPECT_THROW(match::resolve_element("click", "go", ordinal(1), page, {}), marrowlane::TypeError);
  match::Ordinal none;
  none.state = match::Ordinal::State::NotComparable;
  none.kind = "NoneType";
  EXPECT_THROW(match::resolve_element("click", "go", none, page, {}), marrowlane::TypeError);
  EXPECT_FALSE(match::resolve_element("click", "stop", none, page, {}).resolved);
}

TEST(VerifySpatialText, FindsTheNearestTextInEachDirection) {
  // Anchor 'Total' at x 100..150, y 200..220.
  std::vector<match::Record> texts = {
      rec("Total", 100, 200, 50, 20), rec("far", 225, 205, 40, 10),   rec("near", 145, 200, 40, 20),
      rec("above", 100, 150, 50, 20), rec("below", 110, 260, 20, 20), rec("left", 0, 200, 40, 20)};
  struct Case {
    const char* target;
    match::Spatial::Outcome outcome;
    std::vector<std::size_t> candidates;
  };
  using O = match::Spatial::Outcome;
  const Case cases[] = {
      {"right of Total", O::Found, {2, 1}}, {"next to the total", O::Found, {2, 1}},
      {"left of Total", O::Found, {5}},     {"under a Total", O::Found, {4}},
      {"above Total", O::Found, {3}},       {"below far", O::NoNeighbour, {}},
      {"below Nothing", O::NoAnchor, {}},   {"beside Total", O::BadTarget, {}},
  };
  for (const Case& c : cases) {
    match::Spatial s = match::verify_spatial_text(c.target, "x", texts, nullptr);
    EXPECT_EQ(s.outcome, c.outcome) << c.target;
    EXPECT_EQ(s.candidates, c.candidates) << c.target;
  }
}

TEST(VerifySpatialText, AnAnchorWithoutAFullBoxRaisesKeyError) {
  std::vector<match::Record> texts = {rec("Total")};
  texts[0].box.height = {};
  EXPECT_THROW(match::verify_spatial_text("right of Total", "", texts, nullptr),
               marrowlane::KeyError);
}

TEST(NormAmount, DropsCurrencySignsAndSeparators) {
  EXPECT_EQ(match::norm_amount(" $1,299.00 "), "1299.00");
  EXPECT_EQ(match::norm_amount("\xE2\x82\xAC"
                               "5 EUR"),
            "5 eur");  // €
  EXPECT_EQ(match::norm_amount("\xC2\xA3"
                               "7"),
            "7");  // £
  EXPECT_EQ(match::norm_amount("$,"), "");
}
