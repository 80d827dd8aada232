#include "marrowlane/nearest.hpp"

#include <gtest/gtest.h>

#include <string>

namespace nearest = marrowlane::nearest;

namespace {

std::string repeated(std::string_view s, int n) {
  std::string out;
  for (int i = 0; i < n; ++i) out += s;
  return out;
}

// Expected values are difflib's own answers (Python 3.11).
TEST(Nearest, ClosenessIsDifflibsRatioWithTheContainmentBonus) {
  struct Case {
    std::string want, name;
    double expected;
  } cases[] = {
      {"", "", 1.0},
      {"login", "", 0.5},  // the empty text is contained in any other
      {"checkout", "chek out", 0.875},
      {"nowhere to be found", "tile 5", 0.16},
      {"abc", "abc", 1.5},
      {"add", "add to cart", 0.9285714285714286},
      {"\xc3\xa9", "caf\xc3\xa9", 0.9},  // characters, not bytes
      // In a long name, popular characters start no match.
      {"xxx", repeated("ab", 150) + "x", 0.006578947368421052},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(nearest::best_closeness(c.want, {c.name}), c.expected) << c.want << " / " << c.name;
  }
  EXPECT_EQ(nearest::best_closeness("save", {}), -1);
  EXPECT_EQ(nearest::best_closeness("save", {"cancel", "save all", "safe"}), 1.1666666666666665);
}

}  // namespace
