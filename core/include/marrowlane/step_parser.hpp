// The step language: one line of plain English in, one parsed instruction out.
//
// A step is recognised by a closed table of lower-case prefixes (and, for the
// two dialog actions, by the whole line). Double-quoted literals let a writer
// name an element whose words would otherwise read as keywords; the quotes are
// removed before the prefix tests and the instruction remembers whether its
// final target was one literal. All texts are UTF-8; letter case and white
// space follow Python's str.lower() and str.split().
#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace marrowlane::step_parser {

// Every action `parse` reports in its error message, in the order shown to the
// user. "wait" and "navigate" are also returned by `parse` but not listed.
inline constexpr std::array<std::string_view, 20> kSupportedActions = {"click",
                                                                       "type",
                                                                       "hover",
                                                                       "select",
                                                                       "press_key",
                                                                       "sendkeys",
                                                                       "extract_text",
                                                                       "extract_text_spatial",
                                                                       "find_text",
                                                                       "find_exact_text",
                                                                       "verify_present",
                                                                       "verify_visible",
                                                                       "verify_enabled",
                                                                       "verify_disabled",
                                                                       "verify_text_present",
                                                                       "verify_text_visible",
                                                                       "verify_spatial_text",
                                                                       "accept_dialog",
                                                                       "dismiss_dialog",
                                                                       "verify_dialog"};

// The first words `validate` accepts. "back" and "refresh" pass validation
// although `parse` has no form for them.
inline constexpr std::array<std::string_view, 15> kKnownActions = {
    "click", "type",    "hover",  "select",  "press", "sendkeys", "wait",    "verify",
    "find",  "extract", "accept", "dismiss", "back",  "refresh",  "navigate"};

// State endings of "verify ..." and "verify text ..." steps, in the order they
// are tried and listed: (ending, action).
using Ending = std::pair<std::string_view, std::string_view>;
inline constexpr std::array<Ending, 4> kVerifyStates = {{
    {"is present", "verify_present"},
    {"is visible", "verify_visible"},
    {"is enabled", "verify_enabled"},
    {"is disabled", "verify_disabled"},
}};
inline constexpr std::array<Ending, 2> kVerifyTextStates = {{
    {"is present", "verify_text_present"},
    {"is visible", "verify_text_visible"},
}};

// Leading words the target cleaner drops (compared lower-cased).
inline constexpr std::array<std::string_view, 7> kStopWords = {"the", "a",  "an",  "on",
                                                               "in",  "at", "into"};

// Ordinal words a click or extract target may begin with.
inline constexpr std::array<std::pair<std::string_view, int>, 5> kOrdinals = {{
    {"first", 1},
    {"second", 2},
    {"third", 3},
    {"fourth", 4},
    {"fifth", 5},
}};

// Relation keywords that turn an extract or "verify text" step into a spatial
// one when they open the text after the action prefix.
inline constexpr std::array<std::string_view, 7> kSpatialKeywords = {
    "next to ", "below ", "above ", "left of ", "right of ", "under ", "near "};

// A parsed instruction. `ordinal` is present only for "click" and
// "extract_text"; `target` and `value` are absent where the action has none.
struct Instruction {
  std::string action;
  std::optional<std::string> target;
  std::optional<std::string> value;
  std::optional<int> ordinal;
  bool literal_target = false;
};

// A step with its double-quoted literals unwrapped, and the literals in order
// of appearance (duplicates kept). A literal is a pair of double quotes around
// at least one other character; pairs are found left to right without overlap,
// and any other double quote stays in the text.
struct Unquoted {
  std::string text;
  std::vector<std::string> literals;
};
Unquoted unquote(std::string_view instruction);

// Drops leading stop words and collapses runs of white space to one blank.
std::string clean_target(std::string_view target);

// Reads a leading ordinal word: (its number, the text after the white space that
// follows it), or (1, the text unchanged) when the first word is none.
std::pair<int, std::string_view> extract_ordinal(std::string_view text);

// Parses one step; throws marrowlane::ValueError "Unrecognised instruction: ..."
// for a step that matches no form.
Instruction parse(std::string_view instruction);

// Writing mistakes of one step, in the order of the checks; empty when clean.
std::vector<std::string> validate(std::string_view instruction);

// The mistakes of each line that has any, as (1-based line number, messages) in
// ascending line order.
using LineIssues = std::vector<std::pair<std::size_t, std::vector<std::string>>>;
LineIssues validate_all(const std::vector<std::string_view>& instructions);

// "Unrecognised instruction: <repr>. Supported actions: [...]".
std::string unrecognised_message(std::string_view instruction);

}  // namespace marrowlane::step_parser
