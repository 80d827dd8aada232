// How close a name on the page comes to the name a step wanted, for the
// "nearest candidates" of a failure message.
//
// The measure is the one of Python's difflib: SequenceMatcher(None, want,
// name).ratio(), over characters (code points), with its automatic junk
// heuristic (in a name of 200 characters or more, a character that occurs more
// than 1 + len // 100 times starts no match), plus 0.5 when one text contains
// the other. Texts are UTF-8 as Python sends them.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace marrowlane::nearest {

// The code points of a UTF-8 text.
std::u32string code_points(std::string_view utf8);

// SequenceMatcher(None, a, b).ratio(): twice the characters matched over the
// length of both (1.0 for two empty texts).
double sequence_ratio(std::u32string_view a, std::u32string_view b);

// The ratio of `want` to `name`, plus 0.5 when `want` is not empty and one of
// the two contains the other.
double closeness(std::u32string_view want, std::u32string_view name);

// The best closeness of `want` to any of `names`; -1 when there are none.
double best_closeness(std::string_view want, const std::vector<std::string_view>& names);

}  // namespace marrowlane::nearest
