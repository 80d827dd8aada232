// Text as the Python side sees it, on UTF-8 bytes.
//
// Strings arrive from Python encoded with "surrogatepass", so a lone surrogate
// is a three-byte sequence like any other character and survives the round
// trip. Lower-casing follows str.lower() (full mappings and the final sigma),
// white space follows str.isspace(), and repr() follows Python's rules for str,
// so that positions, cuts and messages agree with what a Python caller expects.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace marrowlane::text {

// Decodes the character at `pos` and moves `pos` past it. A byte that starts no
// valid sequence decodes as itself (U+0080..U+00FF range) and is one byte long.
char32_t decode(std::string_view s, std::size_t& pos);
void append_utf8(std::string& out, char32_t cp);
std::size_t char_count(std::string_view s);
// The first `n` characters of `s` (never splits a character).
std::string_view first_chars(std::string_view s, std::size_t n);

bool is_space(char32_t cp);  // str.isspace()
bool is_printable(char32_t cp);  // str.isprintable()
bool is_decimal(char32_t cp);    // str.isdecimal(): what the regular expression \d accepts

std::string lower(std::string_view s);  // str.lower()

// lower() together with, for each byte of the result, the byte offset in the
// source of the character it came from; `source[text.size()] == s.size()`.
// A position found in `text` cuts the source at `source[pos]`.
struct Lowered {
  std::string text;
  std::vector<std::size_t> source;
};
Lowered lower_mapped(std::string_view s);

std::string_view strip(std::string_view s);   // str.strip()
std::string_view lstrip(std::string_view s);  // str.lstrip()
std::string_view rstrip(std::string_view s);  // str.rstrip()
std::vector<std::string_view> split(std::string_view s);  // str.split()
// str.split(None, 1) after skipping leading white space: the first word and the
// rest after the run of white space that follows it (the rest keeps its
// trailing white space). Both are empty for a blank text.
std::pair<std::string_view, std::string_view> split_first(std::string_view s);
std::string join(const std::vector<std::string_view>& words, std::string_view sep);

// Case-insensitive containment and equality on already lower-cased operands are
// plain byte operations; these lower both sides first.
bool icontains(std::string_view haystack, std::string_view needle);
bool iequals(std::string_view a, std::string_view b);

// Python's repr() of a str: single quotes, or double quotes when the text holds
// a single quote and no double quote; backslash escapes as Python writes them.
std::string repr(std::string_view s);
// Python's repr() of a list of str: "['a', 'b']".
std::string repr_list(const std::vector<std::string_view>& items);

}  // namespace marrowlane::text
