#include "marrowlane/nearest.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

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

nearest::Record named(std::string_view text, std::string_view id = "", bool visible = true) {
  nearest::Record r;
  r.text = text;
  r.visible = visible;
  r.attributes[7] = id;
  return r;
}

TEST(Nearest, NameIsTheFirstLineOfTheFirstNamingValueClipped) {
  const std::string long_text = "abcd" + repeated(" abcde", 11);  // 70 characters
  const std::string accented = repeated("\xc3\xa9", 61);          // 61 characters, 122 bytes
  nearest::Record select = named("One\nTwo");
  select.select = true;
  select.attributes[1] = "Size";
  nearest::Record only_id = named(" \t", "go");
  struct Case {
    nearest::Record record;
    std::string expected;
  } cases[] = {
      {named("  Log   in \n more"), "Log in"},
      {named("a\u2028b"), "a"},  // every line break of str.splitlines()
      {named("a\x1c b"), "a"},
      {select, "Size"},
      {only_id, "go"},
      {named(""), ""},
      {named(long_text), "abcd" + repeated(" abcde", 9) + " \u2026"},  // cut as it falls
      {named(accented), repeated("\xc3\xa9", 59) + "\u2026"},
  };
  for (const auto& c : cases) EXPECT_EQ(nearest::name_of(c.record), c.expected) << c.expected;
}

TEST(Nearest, NearestIsBestFirstThenVisibleThenPageOrderOnePerName) {
  const std::vector<nearest::Record> page = {
      named("Sign up"),                // 0
      named("Log out", "", false),     // 1: hidden, as close as 2
      named("Log out"),                // 2
      named("Log in"),                 // 3: the best
      named(""),                       // 4: no name
      named("Log in", "login-again"),  // 5: a name taken already
      named("", "LOGIN"),              // 6: named by its id only
  };
  struct Case {
    std::string want;
    std::size_t limit;
    std::vector<std::size_t> expected;
  } cases[] = {
      {" LOG IN ", 3, {3, 6, 2}},
      {"log in", 1, {3}},
      {"log in", 0, {3, 6, 2, 0}},
      {"zzz", 2, {0, 2}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(nearest::nearest(c.want, page, c.limit), c.expected) << c.want << " " << c.limit;
  }
}

}  // namespace
