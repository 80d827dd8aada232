#include "marrowlane/steps_file.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace sf = marrowlane::steps_file;
using std::string;

namespace {

TEST(StepsFile, TestsAndStepsWithTheirLines) {
  sf::File file = sf::read(
      "# checkout\r\n"
      "Test: the order needs the terms  \r\n"
      "  navigate \"overview.html\"\r"
      "\t# a comment among steps\n"
      "\n"
      "\tclick  \"I accept\"   \n"
      "Test: the total\n"
      "  \xC2\xA0verify text right of \"Total\" is $43.18");
  ASSERT_TRUE(file.problems.empty()) << file.problems[0].message;
  ASSERT_EQ(file.tests.size(), 2u);
  EXPECT_EQ(file.tests[0].title, "the order needs the terms");
  EXPECT_EQ(file.tests[0].line, 2u);
  ASSERT_EQ(file.tests[0].steps.size(), 2u);
  EXPECT_EQ(file.tests[0].steps[0].line, 3u);
  EXPECT_EQ(file.tests[0].steps[0].text, "navigate \"overview.html\"");
  EXPECT_EQ(file.tests[0].steps[1].line, 6u);
  EXPECT_EQ(file.tests[0].steps[1].text, "click  \"I accept\"");
  EXPECT_EQ(file.tests[1].line, 7u);
  ASSERT_EQ(file.tests[1].steps.size(), 1u);
  EXPECT_EQ(file.tests[1].steps[0].text, "verify text right of \"Total\" is $43.18");
}

struct ProblemCase {
  string text;
  std::vector<std::pair<std::size_t, string>> problems;
};

void PrintTo(const ProblemCase& c, std::ostream* os) { *os << c.text; }

class Problems : public testing::TestWithParam<ProblemCase> {};

TEST_P(Problems, InLineOrder) {
  sf::File file = sf::read(GetParam().text);
  std::vector<std::pair<std::size_t, string>> got;
  for (const auto& p : file.problems) got.emplace_back(p.line, p.message);
  EXPECT_EQ(got, GetParam().problems);
}

INSTANTIATE_TEST_SUITE_P(
    Shapes, Problems,
    testing::Values(
        ProblemCase{"", {}}, ProblemCase{"# only a comment\n\n", {}},
        ProblemCase{"  click Login\nTest: a\n  click Login",
                    {{1, "step before the first \"Test:\" line: 'click Login'"}}},
        ProblemCase{"Test: a\nclick Login",
                    {{1, "test 'a' has no steps"},
                     {2, "expected \"Test: <title>\" or an indented step, got 'click Login'"}}},
        ProblemCase{"test: a\n  click Login",
                    {{1, "expected \"Test: <title>\" or an indented step, got 'test: a'"},
                     {2, "step before the first \"Test:\" line: 'click Login'"}}},
        ProblemCase{"Test:   \n  click Login", {{1, "\"Test:\" needs a title"}}},
        ProblemCase{"Test: a\n  wait 1\nTest: b\n  wait 1\nTest: a\n  wait 1",
                    {{5, "the title 'a' is already used on line 1"}}},
        ProblemCase{"Test: a::b\n  wait 1",
                    {{1,
                      "a title may not hold \"::\" (it separates the parts of a test id): "
                      "'a::b'"}}},
        ProblemCase{"Test: a\n\n# none\n", {{1, "test 'a' has no steps"}}}));

}  // namespace
