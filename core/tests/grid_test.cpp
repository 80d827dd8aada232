#include "marrowlane/grid.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>

namespace marrowlane::grid {
namespace {

Number I(std::int64_t v) { return Number::integer(v); }
Number F(double v) { return Number::real(v); }

TEST(Number, ComparesIntegersAndFloatsExactly) {
  constexpr std::int64_t kTwo53 = std::int64_t{1} << 53;
  struct Case {
    Number a, b;
    std::partial_ordering want;
  } cases[] = {
      {I(1), F(1.0), std::partial_ordering::equivalent},
      {I(1), F(1.5), std::partial_ordering::less},
      {I(-2), F(-2.5), std::partial_ordering::greater},
      {I(-3), F(-2.5), std::partial_ordering::less},
      // 2^53 + 1 has no double; a lossy conversion would call these equal.
      {I(kTwo53 + 1), F(static_cast<double>(kTwo53)), std::partial_ordering::greater},
      {I(std::numeric_limits<std::int64_t>::max()), F(9223372036854775808.0),
       std::partial_ordering::less},
      {I(0), F(NAN), std::partial_ordering::unordered},
      {F(NAN), F(NAN), std::partial_ordering::unordered},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.a <=> c.b, c.want) << c.a.as_double() << " vs " << c.b.as_double();
  }
}

TEST(Number, SumsKeepTheKindOfTheirInputs) {
  EXPECT_TRUE((I(10) + I(5)).is_integer());
  EXPECT_EQ((I(10) + I(5)).as_integer(), 15);
  EXPECT_FALSE((I(10) + F(5.0)).is_integer());
  EXPECT_FALSE((F(10.0) - I(5)).is_integer());
  // Beyond 64 bits a sum becomes a float rather than wrapping.
  const Number big = I(std::numeric_limits<std::int64_t>::max()) + I(1);
  EXPECT_FALSE(big.is_integer());
  EXPECT_EQ(big.as_double(), 9223372036854775808.0);
  EXPECT_FALSE((I(std::numeric_limits<std::int64_t>::min()) - I(1)).is_integer());
}

TEST(Number, SortOrderPutsNanLast) {
  EXPECT_TRUE(sorts_before(I(5), F(NAN)));
  EXPECT_FALSE(sorts_before(F(NAN), I(5)));
  EXPECT_FALSE(sorts_before(F(NAN), F(NAN)));
  EXPECT_TRUE(sorts_before(F(-1.5), I(-1)));
}

TEST(ElementType, RoleThenButtonInputsThenTagTable) {
  struct Case {
    std::string_view tag, role, input_type, want;
  } cases[] = {
      {"input", "", "submit", "button"},
      {"input", "", "reset", "button"},
      {"input", "", "checkbox", "input"},
      {"textarea", "", "", "input"},
      {"select", "", "", "select"},
      {"a", "", "", "link"},
      {"span", "", "", "span"},
      {"", "", "", ""},
      {"a", "button", "", "button"},
      {"input", "textbox", "submit", "textbox"},
      {"div", "combobox", "", "combobox"},
      // Roles are compared as written: "Button" is no role we know.
      {"a", "Button", "", "link"},
      {"input", "checkbox", "", "input"},
      {"button", "", "submit", "button"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(element_type(c.tag, c.role, c.input_type), c.want)
        << c.tag << " role=" << c.role << " type=" << c.input_type;
  }
}

TEST(Position, CentresAreFloatsAndEdgesKeepTheirKind) {
  Position p = position(Box{I(10), I(20), I(5), I(4)});
  EXPECT_FALSE(p.cx.is_integer());
  EXPECT_EQ(p.cx.as_double(), 12.5);
  EXPECT_EQ(p.cy.as_double(), 22.0);
  EXPECT_FALSE(p.cy.is_integer());
  ASSERT_TRUE(p.x2.is_integer());
  EXPECT_EQ(p.x2.as_integer(), 15);
  EXPECT_EQ(p.y2.as_integer(), 24);

  p = position(Box{F(10.5), I(20), std::nullopt, std::nullopt});
  EXPECT_EQ(p.w.as_integer(), 0);
  EXPECT_EQ(p.cx.as_double(), 10.5);
  EXPECT_FALSE(p.x2.is_integer());
  EXPECT_EQ(p.x2.as_double(), 10.5);
  EXPECT_TRUE(p.y2.is_integer());

  p = position(Box{});
  EXPECT_TRUE(p.x.is_integer());
  EXPECT_FALSE(p.cx.is_integer());
  EXPECT_EQ(p.cx.as_double(), 0.0);
}

TEST(Searchable, JoinsTheNonEmptySurfaces) {
  EXPECT_EQ(searchable({"Save", "Save", "", "", "save-btn"}), "Save Save save-btn");
  EXPECT_EQ(searchable({}), "");
  EXPECT_EQ(searchable({"", "", "Search", "Type here", ""}), "Search Type here");
  // Only the ends are stripped; inner white space of a surface stays.
  EXPECT_EQ(searchable({"  a  b ", "", "", "", "\tc\n"}), "a  b  \tc");
}

Record at(Number x, Number y, std::string_view tag = "button", std::string_view text = "") {
  Record r;
  r.has_box = true;
  r.box = Box{x, y, I(10), I(10)};
  r.tag = tag;
  r.surfaces.text = text;
  return r;
}

TEST(Build, SortsByTopThenLeftWithoutRows) {
  // One pixel lower is a later row, however far left it starts.
  const Record elements[] = {at(I(101), I(0)), at(F(900), F(100.5)), at(I(0), I(101)),
                             at(I(10), I(100))};
  const auto entries = build(elements, {});
  ASSERT_EQ(entries.size(), 4u);
  const std::size_t want[] = {0, 3, 1, 2};
  for (std::size_t i = 0; i < 4; ++i) EXPECT_EQ(entries[i].source, want[i]) << i;
}

TEST(Build, EqualCornersKeepElementsBeforeTextsInInputOrder) {
  const Record elements[] = {at(I(5), I(5), "a"), at(I(5), I(5), "button")};
  const Record texts[] = {at(I(5), I(5), "span", "Hi"), at(I(0), I(5), "span", "Lo")};
  const auto entries = build(elements, texts);
  ASSERT_EQ(entries.size(), 4u);
  EXPECT_TRUE(entries[0].is_anchor_only);  // x 0 comes first
  EXPECT_EQ(entries[1].element_type, "link");
  EXPECT_EQ(entries[2].element_type, "button");
  EXPECT_TRUE(entries[3].is_anchor_only);
  EXPECT_EQ(entries[3].searchable, "Hi");
  for (std::size_t i = 0; i < entries.size(); ++i) EXPECT_EQ(entries[i].index, i);
}

TEST(Build, CountsOrdinalsPerTypeAndSkipsRecordsWithoutBoxes) {
  Record no_box = at(I(0), I(0));
  no_box.has_box = false;
  const Record elements[] = {at(I(0), I(0)), at(I(0), I(10), "a"), no_box, at(I(0), I(20))};
  const Record texts[] = {at(I(0), I(5), "p", "t"), no_box};
  const auto entries = build(elements, texts);
  ASSERT_EQ(entries.size(), 4u);
  const std::pair<std::string_view, std::size_t> want[] = {
      {"button", 1}, {"text", 1}, {"link", 1}, {"button", 2}};
  for (std::size_t i = 0; i < 4; ++i) {
    EXPECT_EQ(entries[i].element_type, want[i].first);
    EXPECT_EQ(entries[i].order_in_type, want[i].second);
  }
  EXPECT_EQ(entries[3].source, 3u);
}

TEST(Build, NanCoordinatesSortLastWithoutBreakingTheOrder) {
  std::vector<Record> elements;
  for (int i = 0; i < 40; ++i) {
    elements.push_back(i % 3 == 0 ? at(I(0), F(NAN)) : at(I(0), I(100 - i)));
  }
  const auto entries = build(elements, {});
  ASSERT_EQ(entries.size(), 40u);
  bool seen_nan = false;
  for (std::size_t i = 0; i < entries.size(); ++i) {
    const bool nan = entries[i].position.y.is_nan();
    EXPECT_FALSE(seen_nan && !nan) << "a number after NaN at " << i;
    seen_nan = seen_nan || nan;
    if (i > 0 && !nan) {
      EXPECT_FALSE(entries[i].position.y < entries[i - 1].position.y);
    }
  }
}

}  // namespace
}  // namespace marrowlane::grid
