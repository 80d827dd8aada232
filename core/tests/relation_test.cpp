#include "marrowlane/relation.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace marrowlane::relation {
namespace {

// A tight table: names at x 0..60, buttons at x 80..140, rows 18 px apart;
// one wide cell (x 0..200) two rows further down; a box far right on row 0;
// a box that holds the button of row 1.
const std::vector<Box> kBoxes = {
    {0, 0, 60, 16},     // 0 name, row 0
    {80, 0, 60, 18},    // 1 button, row 0
    {0, 18, 60, 16},    // 2 name, row 1
    {80, 18, 60, 18},   // 3 button, row 1
    {0, 36, 60, 16},    // 4 name, row 2
    {80, 36, 60, 18},   // 5 button, row 2
    {0, 72, 200, 16},   // 6 wide box, below both columns
    {300, 0, 40, 18},   // 7 far right, row 0
    {70, 10, 200, 40},  // 8 holds button 3
};

std::vector<std::size_t> indices(const std::vector<Placed>& placed) {
  std::vector<std::size_t> out;
  for (const Placed& p : placed) out.push_back(p.index);
  return out;
}

TEST(Order, ReadsTheAnchorsOwnLineOrColumnFirst) {
  struct Case {
    std::size_t anchor;
    Direction direction;
    std::vector<std::size_t> candidates, want;
  } cases[] = {
      // Same row first, nearest first; rows 18 px away come after, by distance.
      {2, Direction::Right, {1, 3, 5, 7}, {3, 1, 5, 7}},
      {0, Direction::Right, {1, 3, 5, 7}, {1, 7, 3, 5}},
      {3, Direction::Left, {0, 2, 4}, {2, 4, 0}},
      // Straight down first, then the rest further down (not the one beside it).
      {1, Direction::Below, {3, 5, 6, 4}, {3, 5, 6, 4}},
      {0, Direction::Below, {3, 5, 6, 2, 4}, {2, 4, 6, 3, 5}},
      {5, Direction::Above, {0, 1, 3}, {3, 1, 0}},
      // Next to: the line's right side, then its left side, then the rest.
      {3, Direction::NextTo, {0, 1, 2, 5}, {2, 1, 5, 0}},
      // Near: nearest by box gap in any direction; a box holding the anchor never.
      {3, Direction::Near, {0, 1, 2, 5, 8}, {1, 5, 2, 0}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(indices(order(kBoxes[c.anchor], kBoxes, c.candidates, c.direction)), c.want)
        << "anchor " << c.anchor << " direction " << static_cast<int>(c.direction);
  }
}

}  // namespace
}  // namespace marrowlane::relation
