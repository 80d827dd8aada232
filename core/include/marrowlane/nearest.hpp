// How close a name on the page comes to the name a step wanted, for the
// "nearest candidates" of a failure message.
//
// The measure is the one of Python's difflib: SequenceMatcher(None, want,
// name).ratio(), over characters (code points), with its automatic junk
// heuristic (in a name of 200 characters or more, a character that occurs more
// than 1 + len // 100 times starts no match), plus 0.5 when one text contains
// the other. Texts are UTF-8 as Python sends them.
#pragma once

#include <array>
#include <cstddef>
#include <span>
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

// The attributes that may name a record, in the order a name is looked for.
inline constexpr std::array<std::string_view, 8> kNameAttributes = {
    "aria-label", "_label", "placeholder", "title", "alt", "value", "name", "id"};
// The longest name a message shows; a longer one is cut and ends in "…".
inline constexpr std::size_t kMaxName = 60;

// What the nearest candidates read of a page record. A value that is not a
// text (absent, None, a number) reads as "", as does every value of something
// that is not a record at all.
struct Record {
  std::string_view text;
  bool select = false;   // a dropdown: its text is every option, its label names it better
  bool visible = false;  // is_visible
  std::array<std::string_view, kNameAttributes.size()> attributes{};  // by kNameAttributes
};

// The name a person would use for a record: its text (for a dropdown, its
// attributes first), else the first of its attributes that is not blank; the
// first line only, blanks collapsed, clipped to kMaxName characters. "" when
// nothing names it.
std::string name_of(const Record& record);

// The positions in `records` of up to `limit` records (0: no limit) whose
// names come closest to `want` (stripped and lower-cased here), best first:
// by the best closeness of `want` to the record's text and attributes (each
// stripped and lower-cased), then visible before hidden, then page order;
// one record per name, and none for a record without a name.
std::vector<std::size_t> nearest(std::string_view want, std::span<const Record> records,
                                 std::size_t limit);

}  // namespace marrowlane::nearest
