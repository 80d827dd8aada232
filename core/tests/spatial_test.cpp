#include "marrowlane/spatial.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <optional>
#include <string>

#include "marrowlane/errors.hpp"

namespace marrowlane::spatial {
namespace {

Number I(std::int64_t v) { return Number::integer(v); }

TEST(DomDistance, CountsEveryAgreeingPosition) {
  struct Case {
    std::string_view a, b;
    std::int64_t want;
  } cases[] = {
      {"/html/body/div/a", "/html/body/div/button", 2},
      {"/html/body", "/html/body", 0},
      {"", "", 0},
      {"", "/html/body", 3},
      {"/html/body/div[1]/span", "/html/body/div[2]/span", 2},
      {"//html/body//", "html/body", 0},
      {"/html//body", "/html/body", 3},
  };
  for (const Case& c : cases) EXPECT_EQ(dom_distance(c.a, c.b), c.want) << c.a << " | " << c.b;
}

EntryView box(std::int64_t x, std::int64_t y, std::int64_t w, std::int64_t h) {
  EntryView e;
  PositionView& p = e.position.emplace();
  p.x = I(x);
  p.y = I(y);
  p.w = I(w);
  p.h = I(h);
  p.x2 = I(x + w);
  p.y2 = I(y + h);
  p.cx = Number::real(static_cast<double>(x) + static_cast<double>(w) / 2);
  p.cy = Number::real(static_cast<double>(y) + static_cast<double>(h) / 2);
  return e;
}

TEST(Geometry, OverlapsWithinTheToleranceAndDistances) {
  EXPECT_TRUE(overlaps_vertically(box(0, 100, 10, 20), box(0, 150, 10, 20)));
  EXPECT_TRUE(overlaps_vertically(box(0, 150, 10, 20), box(0, 100, 10, 20)));
  EXPECT_FALSE(overlaps_vertically(box(0, 100, 10, 20), box(0, 160, 10, 20)));
  EXPECT_FALSE(overlaps_vertically(box(0, 160, 10, 20), box(0, 100, 10, 20)));
  EXPECT_TRUE(overlaps_vertically(box(0, 100, 50, 20), box(150, 100, 50, 20)));
  EXPECT_FALSE(overlaps_horizontally(box(0, 100, 50, 20), box(150, 100, 50, 20)));
  EXPECT_TRUE(overlaps_horizontally(box(0, 0, 50, 20), box(89, 100, 50, 20)));
  EXPECT_FALSE(overlaps_horizontally(box(0, 0, 50, 20), box(90, 100, 50, 20)));
  EXPECT_DOUBLE_EQ(centre_distance(box(-1, -1, 2, 2), box(2, 3, 2, 2)), 5.0);
  EXPECT_THROW(centre_distance(EntryView{}, box(0, 0, 1, 1)), KeyError);
  EntryView no_y2 = box(0, 0, 1, 1);
  no_y2.position->y2.reset();
  EXPECT_THROW(overlaps_vertically(box(0, 0, 1, 1), no_y2), KeyError);
}

// A matrix built by hand: entries with a text, a type and a box.
struct Item {
  std::string text;
  std::string type;
  std::int64_t x, y, w = 50, h = 20;
  bool anchor_only = false;
  std::string placeholder = "";
  std::string xpath = "";
};

struct Matrix {
  std::vector<Item> items;
  std::vector<EntryView> views;
  explicit Matrix(std::vector<Item> in) : items(std::move(in)) {
    for (std::size_t i = 0; i < items.size(); ++i) {
      const Item& it = items[i];
      EntryView e = box(it.x, it.y, it.w, it.h);
      e.index = I(static_cast<std::int64_t>(i));
      e.text = it.text;
      e.searchable = it.text;
      e.element_type = it.type;
      e.is_anchor_only = it.anchor_only;
      e.anchor_attributes[2] = it.placeholder;
      e.xpath = it.xpath;
      views.push_back(std::move(e));
    }
  }
  std::string text_of(std::size_t i) const { return items[i].text; }
};

// Answers of rank() as the texts of the entries, best first.
std::vector<std::string> ranked(const Matrix& m, std::size_t anchor, std::string_view strategy,
                                std::optional<std::int64_t> ordinal = std::nullopt) {
  std::vector<std::size_t> candidates;
  for (std::size_t i = 0; i < m.views.size(); ++i) {
    if (i != anchor) candidates.push_back(i);
  }
  std::vector<std::string> out;
  for (std::size_t i : rank(m.views, candidates, m.views[anchor], strategy, ordinal)) {
    out.push_back(m.text_of(i));
  }
  return out;
}

TEST(Rank, KeepsTheRelationAndOrdersByCloseness) {
  const Matrix m({
      {"Anchor", "input", 100, 100, 100, 20},
      {"R1", "button", 200, 100},         // touches the right edge
      {"R2", "button", 300, 110},         // same row, further right
      {"L1", "button", 0, 100, 60, 20},   // left
      {"L2", "button", 20, 130, 50, 20},  // left and (low enough) below
      {"B1", "button", 100, 200},         // below
      {"B2", "button", 239, 150},         // shifted right by less than width + 40: below, right
      {"B3", "button", 240, 160},         // shifted by width + 40: neither
      {"A1", "button", 120, 0, 50, 60},   // above
      {"A2", "button", 100, 30, 50, 50},  // above, bottom edge touching the top
  });
  EXPECT_EQ(ranked(m, 0, "next_to"), std::vector<std::string>({"R1"}));
  EXPECT_EQ(ranked(m, 0, "next_to", 2), std::vector<std::string>({"R2"}));
  EXPECT_EQ(ranked(m, 0, "next_to", 3), std::vector<std::string>({"B2"}));
  EXPECT_EQ(ranked(m, 0, "next_to", 4), std::vector<std::string>());
  EXPECT_EQ(ranked(m, 0, "right"), std::vector<std::string>({"R1", "B2", "R2"}));
  EXPECT_EQ(ranked(m, 0, "left"), std::vector<std::string>({"L2", "L1"}));
  EXPECT_EQ(ranked(m, 0, "below"), std::vector<std::string>({"L2", "B2", "B1"}));
  EXPECT_EQ(ranked(m, 0, "above"), std::vector<std::string>({"A2", "A1"}));
  EXPECT_EQ(ranked(m, 0, "above", 2), std::vector<std::string>({"A1"}));
  EXPECT_EQ(ranked(m, 0, "sideways"), std::vector<std::string>());
  // There is no 0th or negative entry.
  EXPECT_EQ(ranked(m, 0, "above", 0), std::vector<std::string>());
  EXPECT_EQ(ranked(m, 0, "next_to", -1), std::vector<std::string>());
  EXPECT_EQ(ranked(m, 0, "below", std::numeric_limits<std::int64_t>::max()),
            std::vector<std::string>());
}

TEST(Rank, NearNeedsBothThePixelAndTheTreeLimits) {
  const std::string deep = "/a/b/c/d/e/f/g/h/i/j";
  const Matrix m({
      {"Anchor", "text", 0, 0, 0, 0, true, "", "/a/b"},
      {"At300", "button", 300, 0, 0, 0, false, "", "/a/b/c"},
      {"At301", "button", 301, 0, 0, 0, false, "", "/a/b/c"},
      {"Close", "button", 3, 4, 0, 0, false, "", "/a/b/c"},
      {"Deep", "button", 1, 1, 0, 0, false, "", deep + "/k/l/m"},  // 11 steps away
      {"Ten", "button", 2, 2, 0, 0, false, "", deep + "/k/l"},     // exactly 10
  });
  EXPECT_EQ(ranked(m, 0, "near"), std::vector<std::string>({"Ten", "Close", "At300"}));
  EXPECT_EQ(ranked(m, 0, "near", 2), std::vector<std::string>({"Close"}));
}

TEST(Resolve, RelationsOrdinalsAndRelaxedTypes) {
  const Matrix m({
      {"Name", "text", 0, 0, 100, 20, true},
      {"", "input", 200, 0},
      {"Go", "button", 0, 60},
      {"Login", "button", 0, 100},
      {"Login with Google", "button", 0, 140},
      {"Login", "button", 0, 180},
  });
  Resolution r = resolve(m.views, "field below Name");
  ASSERT_EQ(r.shape, Resolution::Shape::Relation);
  EXPECT_EQ(r.element, 2u);
  EXPECT_TRUE(r.type_relaxed);
  EXPECT_EQ(r.type_filter, "input");
  EXPECT_EQ(r.candidates, std::vector<std::size_t>({2, 3, 4, 5}));
  EXPECT_EQ(r.anchor, 0u);
  EXPECT_EQ(r.ordinal, 1);

  r = resolve(m.views, "field next to name");
  ASSERT_EQ(r.shape, Resolution::Shape::Relation);
  EXPECT_EQ(r.element, 1u);
  EXPECT_FALSE(r.type_relaxed);

  r = resolve(m.views, "second login");
  ASSERT_EQ(r.shape, Resolution::Shape::Ordinal);
  EXPECT_EQ(r.element, 5u);
  EXPECT_EQ(r.candidates, std::vector<std::size_t>({3, 5}));
  r = resolve(m.views, "third login");
  ASSERT_EQ(r.shape, Resolution::Shape::Ordinal);
  EXPECT_EQ(r.element, 5u);
  EXPECT_EQ(r.candidates, std::vector<std::size_t>({3, 4, 5}));
  r = resolve(m.views, "first button near");
  ASSERT_EQ(r.shape, Resolution::Shape::Ordinal);
  EXPECT_EQ(r.element, 2u);

  for (std::string_view target : {"login", "sixth button", "fourth login", "button next to nobody",
                                  "link next to name", "button above name"}) {
    EXPECT_EQ(resolve(m.views, target).shape, Resolution::Shape::Failure) << target;
  }
  EXPECT_EQ(resolve_ordinal(m.views, 0, std::nullopt, std::nullopt).shape,
            Resolution::Shape::Failure);
  EXPECT_EQ(resolve_ordinal(m.views, -3, "button", "login").shape, Resolution::Shape::Failure);
}

TEST(ParseTargetWords, TakesARelationOnlyAsWholeWords) {
  struct Case {
    const char* target;
    std::optional<std::string> relation, anchor, target_text;
  } cases[] = {
      {"TargetNear near LabelNear", "near", "labelnear", "targetnear"},
      {"Understand above the Terms", "above", "terms", "understand"},
      {"2nd button next to Email", "next_to", "email", std::nullopt},
      {"Linear", std::nullopt, std::nullopt, std::nullopt},
  };
  for (const Case& c : cases) {
    const Target t = parse_target_words(c.target);
    EXPECT_EQ(t.relation, c.relation) << c.target;
    EXPECT_EQ(t.anchor, c.anchor) << c.target;
    EXPECT_EQ(t.target_text, c.target_text) << c.target;
  }
}

TEST(Resolve, ReportsMissingKeysOnlyWhenNeeded) {
  Matrix m({{"Name", "text", 0, 0, 100, 20, true}, {"Go", "button", 0, 60}});
  m.views[1].index.reset();
  EXPECT_THROW(resolve(m.views, "button below name"), KeyError);
  // The ordinal path never compares indices.
  EXPECT_EQ(resolve(m.views, "first button").shape, Resolution::Shape::Ordinal);
  m.views[1].text.reset();
  EXPECT_THROW(resolve(m.views, "first go"), KeyError);
}

}  // namespace
}  // namespace marrowlane::spatial
