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
