#include "marrowlane/steps_file.hpp"

#include <algorithm>
#include <string>
#include <unordered_map>

#include "marrowlane/text.hpp"

namespace marrowlane::steps_file {

namespace {

// The next line of `text` from `pos` (without its ending); moves `pos` past the
// ending. "\r\n" ends one line, as do "\n" and "\r" alone.
std::string_view next_line(std::string_view text, std::size_t& pos) {
  std::size_t start = pos;
  std::size_t end = text.find_first_of("\r\n", start);
  if (end == std::string_view::npos) {
    pos = text.size();
    return text.substr(start);
  }
  pos = end + 1;
  if (text[end] == '\r' && pos < text.size() && text[pos] == '\n') ++pos;
  return text.substr(start, end - start);
}

bool starts_with_space(std::string_view line) {
  std::size_t pos = 0;
  return !line.empty() && text::is_space(text::decode(line, pos));
}

class Reader {
 public:
  void line(std::size_t number, std::string_view line) {
    std::string_view stripped = text::strip(line);
    if (stripped.empty() || stripped.front() == '#') return;
    if (starts_with_space(line)) {
      step(number, stripped);
    } else if (line.starts_with(kTestKeyword)) {
      open(number, text::strip(line.substr(kTestKeyword.size())));
    } else {
      problem(number,
              "expected \"Test: <title>\" or an indented step, got " + text::repr(stripped));
    }
  }

  File finish() {
    close();
    std::stable_sort(file_.problems.begin(), file_.problems.end(),
                     [](const Problem& a, const Problem& b) { return a.line < b.line; });
    return std::move(file_);
  }

 private:
  void step(std::size_t number, std::string_view text) {
    if (file_.tests.empty()) {
      problem(number, "step before the first \"Test:\" line: " + text::repr(text));
      return;
    }
    file_.tests.back().steps.push_back({number, std::string(text)});
  }

  void open(std::size_t number, std::string_view title) {
    close();
    if (title.empty()) {
      problem(number, "\"Test:\" needs a title");
    } else if (title.find("::") != std::string_view::npos) {
      problem(number, "a title may not hold \"::\" (it separates the parts of a test id): " +
                          text::repr(title));
    } else {
      auto [seen, fresh] = first_line_.try_emplace(std::string(title), number);
      if (!fresh) {
        problem(number, "the title " + text::repr(title) + " is already used on line " +
                            std::to_string(seen->second));
      }
    }
    file_.tests.push_back({number, std::string(title), {}});
  }

  // Ends the open test, if any.
  void close() {
    // A test without a title has had its problem already.
    if (!file_.tests.empty() && file_.tests.back().steps.empty() &&
        !file_.tests.back().title.empty()) {
      const Test& test = file_.tests.back();
      problem(test.line, "test " + text::repr(test.title) + " has no steps");
    }
  }

  void problem(std::size_t number, std::string message) {
    file_.problems.push_back({number, std::move(message)});
  }

  File file_;
  std::unordered_map<std::string, std::size_t> first_line_;
};

}  // namespace

File read(std::string_view text) {
  Reader reader;
  std::size_t pos = 0;
  for (std::size_t number = 1; pos < text.size(); ++number) {
    reader.line(number, next_line(text, pos));
  }
  return reader.finish();
}

}  // namespace marrowlane::steps_file
