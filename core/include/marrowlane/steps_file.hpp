// The grammar of a .steps file: plain-text tests, one step per line.
//
//     # checkout.steps
//     Test: the order needs the terms
//       navigate "overview.html"
//       click "I accept the terms"
//
// A line that starts with "Test:" opens a test and names it (the title is the
// rest of the line, trimmed); the indented lines below it are its steps, each
// trimmed. Blank lines and lines whose first non-blank character is "#" are
// skipped anywhere. Any other line is a problem, as are a test without title or
// steps, a title used twice and a title holding "::". Lines end at "\n", "\r\n"
// or "\r"; white space is what str.isspace() calls so. Reading checks only the
// shape of the file: the steps themselves are the step parser's business.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace marrowlane::steps_file {

// The text that opens a test.
inline constexpr std::string_view kTestKeyword = "Test:";

struct Step {
  std::size_t line;  // 1-based
  std::string text;
};

struct Test {
  std::size_t line;  // of its "Test:" line
  std::string title;
  std::vector<Step> steps;
};

struct Problem {
  std::size_t line;
  std::string message;
};

struct File {
  std::vector<Test> tests;        // in file order
  std::vector<Problem> problems;  // in line order; empty for a well-formed file
};

// Reads a whole file (UTF-8). Never throws for any text: what does not fit the
// grammar becomes a problem, and reading goes on with the next line.
File read(std::string_view text);

}  // namespace marrowlane::steps_file
