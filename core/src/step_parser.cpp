#include "marrowlane/step_parser.hpp"

#include <algorithm>

#include "marrowlane/errors.hpp"
#include "marrowlane/text.hpp"

namespace marrowlane::step_parser {
namespace {

constexpr std::size_t npos = std::string_view::npos;

constexpr std::array<std::string_view, 2> kExtractPrefixes = {"extract text ", "extract_text "};
// Prefixes whose length also says where the rest of the step begins.
constexpr std::string_view kType = "type ";
constexpr std::string_view kWait = "wait ";
constexpr std::string_view kVerify = "verify ";
constexpr std::string_view kVerifyText = "verify text ";
constexpr std::string_view kFrom = "from ";

template <typename Table>
bool contains(const Table& table, std::string_view word) {
  return std::find(table.begin(), table.end(), word) != table.end();
}

bool starts_with_spatial_keyword(std::string_view lower) {
  return std::any_of(kSpatialKeywords.begin(), kSpatialKeywords.end(),
                     [&](std::string_view kw) { return lower.starts_with(kw); });
}

// str.strip(c) for one character `c`.
std::string_view strip_char(std::string_view s, char c) {
  std::size_t begin = s.find_first_not_of(c);
  if (begin == npos) return {};
  return s.substr(begin, s.find_last_not_of(c) + 1 - begin);
}

// Trimmed, then stripped of double quotes and then of single quotes at both
// ends: how a URL, a key list or a wait time is written bare or quoted.
std::string_view strip_quotes(std::string_view s) {
  return strip_char(strip_char(text::strip(s), '"'), '\'');
}

// A step and its lower-cased form. Every prefix, keyword and ending is found
// in the lower-cased form; the cut is made in the step at the matching place,
// so the writer's letter case survives even where lower-casing changes the
// length of a character.
class Folded {
 public:
  explicit Folded(std::string_view source)
      : source_(source), lowered_(text::lower_mapped(source)) {}

  std::string_view lower() const { return lowered_.text; }

  // The step from lower-cased position `from` up to `to` (the end by default).
  std::string_view cut(std::size_t from, std::size_t to = npos) const {
    std::size_t size = lowered_.text.size();
    to = std::min(to, size);
    from = std::min(from, to);
    std::size_t begin = lowered_.source[from];
    return source_.substr(begin, lowered_.source[to] - begin);
  }

 private:
  std::string_view source_;
  text::Lowered lowered_;
};

// The building of one parsed instruction, with the step's literals at hand.
class Builder {
 public:
  explicit Builder(const std::vector<std::string>& literals) : literals_(literals) {}

  bool is_literal(std::string_view t) const { return contains(literals_, t); }

  // A target that is one of the step's literals is kept as written; anything
  // else loses its leading stop words and extra blanks.
  std::string choose_target(std::string_view raw) const {
    return is_literal(raw) ? std::string(raw) : clean_target(raw);
  }

  // A record whose `_literal_target` is the literal test of its target.
  Instruction tested(std::string_view action, std::string target,
                     std::optional<std::string> value = std::nullopt,
                     std::optional<int> ordinal = std::nullopt) const {
    bool literal = is_literal(target);
    return {std::string(action), std::move(target), std::move(value), ordinal, literal};
  }

 private:
  const std::vector<std::string>& literals_;
};

Instruction plain(std::string_view action, std::optional<std::string> target,
                  std::optional<std::string> value = std::nullopt) {
  return {std::string(action), std::move(target), std::move(value), std::nullopt, false};
}

// "type <text> into <target>" and "select <value> from <target>": the value is
// everything between the action word and the first keyword, as written.
std::optional<Instruction> parse_with_keyword(const Folded& step, const Builder& b,
                                              std::string_view prefix, std::string_view keyword,
                                              std::string_view action) {
  std::string_view lower = step.lower();
  if (!lower.starts_with(prefix)) return std::nullopt;
  // Searching only after the action word keeps 'type into Search' (nothing to
  // type) from reading its own keyword as the separator.
  std::size_t i = lower.find(keyword, prefix.size());
  if (i == npos) return std::nullopt;
  std::string_view value = step.cut(prefix.size(), i);
  std::string_view raw = step.cut(i + keyword.size());
  std::string_view trimmed = text::strip(raw);
  std::string target = b.is_literal(trimmed) ? std::string(trimmed) : clean_target(raw);
  return b.tested(action, std::move(target), std::string(value));
}

// A target that reads an ordinal word first ("click second link").
Instruction parse_ordinal_target(std::string_view action, std::string_view rest, const Builder& b) {
  // A quoted name is exact: 'click "First Name"' names the field, not the
  // first "Name".
  std::string_view trimmed = text::strip(rest);
  if (b.is_literal(trimmed)) return b.tested(action, std::string(trimmed), std::nullopt, 1);
  auto [ordinal, raw] = extract_ordinal(rest);
  return b.tested(action, b.choose_target(raw), std::nullopt, ordinal);
}

std::optional<Instruction> parse_extract(const Folded& step, const Builder& b) {
  std::string_view lower = step.lower();
  for (std::string_view prefix : kExtractPrefixes) {
    if (!lower.starts_with(prefix)) continue;
    std::size_t at = prefix.size();
    std::string_view rest = step.cut(at);
    if (!b.is_literal(text::strip(rest))) {
      if (starts_with_spatial_keyword(lower.substr(at))) {
        return plain("extract_text_spatial", std::string(rest));
      }
      if (lower.substr(at).starts_with(kFrom)) at += kFrom.size();
    }
    return parse_ordinal_target("extract_text", step.cut(at), b);
  }
  return std::nullopt;
}

// "verify text <relation> <anchor> is <expected text>".
std::optional<Instruction> parse_spatial_text(const Folded& step) {
  constexpr std::size_t at = kVerifyText.size();
  std::string_view lower = step.lower();
  if (!starts_with_spatial_keyword(lower.substr(at))) return std::nullopt;
  std::size_t k = lower.rfind(" is ");
  if (k == npos || k < at) return std::nullopt;
  std::string_view target = text::strip(step.cut(at, k));
  std::string_view value = text::strip(step.cut(k + 4));
  if (target.empty() || value.empty()) return std::nullopt;
  return plain("verify_spatial_text", std::string(target), std::string(value));
}

// "verify [text] <target> <state ending>": the text between the prefix and the
// first ending (in table order) the step ends with.
template <typename Table>
std::optional<std::pair<std::string_view, std::string_view>> split_state(const Folded& step,
                                                                         std::size_t at,
                                                                         const Table& states) {
  std::string_view lower = step.lower();
  for (const auto& [ending, action] : states) {
    if (lower.ends_with(ending)) {
      std::size_t end = lower.size() - ending.size();
      return std::pair{action, text::strip(step.cut(at, std::max(end, at)))};
    }
  }
  return std::nullopt;
}

}  // namespace

Unquoted unquote(std::string_view instruction) {
  Unquoted out;
  out.text.reserve(instruction.size());
  std::size_t pos = 0;
  while (pos < instruction.size()) {
    std::size_t open = instruction.find('"', pos);
    std::size_t close = open == npos ? npos : instruction.find('"', open + 1);
    if (close == npos) break;
    out.text.append(instruction.substr(pos, open - pos));
    if (close == open + 1) {
      // Two quotes with nothing between are no literal; the second may open one.
      out.text.push_back('"');
      pos = close;
      continue;
    }
    std::string_view literal = instruction.substr(open + 1, close - open - 1);
    out.text.append(literal);
    out.literals.emplace_back(literal);
    pos = close + 1;
  }
  out.text.append(instruction.substr(std::min(pos, instruction.size())));
  return out;
}

std::string clean_target(std::string_view target) {
  std::vector<std::string_view> words = text::split(target);
  auto first = std::find_if(words.begin(), words.end(), [](std::string_view w) {
    return !contains(kStopWords, text::lower(w));
  });
  words.erase(words.begin(), first);
  return text::join(words, " ");
}

std::pair<int, std::string_view> extract_ordinal(std::string_view text) {
  auto [first, rest] = text::split_first(text);
  if (!first.empty()) {
    std::string word = text::lower(first);
    for (const auto& [name, number] : kOrdinals) {
      if (word == name) return {number, rest};
    }
  }
  return {1, text};
}

std::string unrecognised_message(std::string_view instruction) {
  std::vector<std::string_view> actions(kSupportedActions.begin(), kSupportedActions.end());
  return "Unrecognised instruction: " + text::repr(instruction) +
         ". Supported actions: " + text::repr_list(actions);
}

Instruction parse(std::string_view instruction) {
  Unquoted unquoted = unquote(text::strip(instruction));
  const Folded step(unquoted.text);
  const Builder b(unquoted.literals);
  std::string_view lower = step.lower();
  auto rest_after = [&](std::string_view prefix) -> std::optional<std::string_view> {
    if (!lower.starts_with(prefix)) return std::nullopt;
    return step.cut(prefix.size());
  };

  if (auto r = parse_with_keyword(step, b, kType, " into ", "type")) return *std::move(r);
  if (auto r = parse_with_keyword(step, b, "select ", " from ", "select")) return *std::move(r);
  if (auto rest = rest_after("find exact text "))
    return b.tested("find_exact_text", std::string(*rest));
  if (auto rest = rest_after("find text ")) return b.tested("find_text", b.choose_target(*rest));
  if (auto r = parse_extract(step, b)) return *std::move(r);
  if (auto rest = rest_after("click ")) return parse_ordinal_target("click", *rest, b);
  if (auto rest = rest_after("hover ")) return b.tested("hover", b.choose_target(*rest));
  if (auto rest = rest_after("navigate ")) {
    return plain("navigate", std::string(strip_quotes(*rest)));
  }
  if (auto rest = rest_after("press ")) {
    return plain("press_key", std::string(text::strip(*rest)));
  }
  if (lower == "accept dialog") return plain("accept_dialog", std::nullopt);
  if (lower == "dismiss dialog") return plain("dismiss_dialog", std::nullopt);
  if (auto rest = rest_after("verify dialog says ")) {
    return plain("verify_dialog", std::nullopt, std::string(*rest));
  }
  if (auto rest = rest_after("sendkeys ")) {
    std::string keys(strip_quotes(*rest));
    return plain("sendkeys", keys, keys);
  }
  if (auto rest = rest_after(kWait)) return plain("wait", std::string(strip_quotes(*rest)));
  if (lower.starts_with(kVerifyText)) {
    if (auto r = parse_spatial_text(step)) return *std::move(r);
    // Text checks keep the target as written: "Welcome back" is page text, not
    // an element description.
    if (auto state = split_state(step, kVerifyText.size(), kVerifyTextStates)) {
      return b.tested(state->first, std::string(state->second));
    }
  }
  if (lower.starts_with(kVerify)) {
    if (auto state = split_state(step, kVerify.size(), kVerifyStates)) {
      return b.tested(state->first, b.choose_target(state->second));
    }
  }
  throw ValueError(unrecognised_message(instruction));
}

std::vector<std::string> validate(std::string_view instruction) {
  std::string_view stripped = text::strip(instruction);
  if (stripped.empty()) return {"Instruction is empty."};
  if (std::count(stripped.begin(), stripped.end(), '"') % 2 != 0) {
    return {"Unbalanced quote \u2014 missing closing `\"` in: " + text::repr(stripped)};
  }
  const Folded step(stripped);
  std::string_view lower = step.lower();
  std::vector<std::string_view> words = text::split(lower);
  std::string_view first_word = words.empty() ? std::string_view() : words.front();
  if (!contains(kKnownActions, first_word)) {
    return {"Unknown action " + text::repr(first_word) +
            ". Expected one of: click, type, verify, hover, select, press, wait, find, extract, "
            "sendkeys."};
  }

  std::vector<std::string> issues;
  auto ends_with_any = [&](const auto& states) {
    return std::any_of(states.begin(), states.end(),
                       [&](const Ending& e) { return lower.ends_with(e.first); });
  };
  auto endings = [](const auto& states) {
    std::string out;
    for (const Ending& e : states) {
      if (!out.empty()) out += " | ";
      out += e.first;
    }
    return out;
  };

  if (lower.starts_with(kType)) {
    if (lower.find(" into ") == npos) {
      issues.emplace_back(
          "`type` instruction missing `into` keyword. Expected: type <text> into <target>");
    } else {
      // No " into " after the action word ('type into Search') means nothing
      // to type, like 'type  into Search'.
      std::size_t i = lower.find(" into ", kType.size());
      if (i == npos || text::strip(step.cut(kType.size(), i)).empty()) {
        issues.emplace_back(
            "`type` instruction missing text to type. Expected: type <text> into <target>");
      }
    }
  }
  if (lower.starts_with("select ") && lower.find(" from ") == npos) {
    issues.emplace_back(
        "`select` instruction missing `from` keyword. Expected: select <value> from <target>");
  }
  if (lower.starts_with(kVerify) && !lower.starts_with(kVerifyText) &&
      !lower.starts_with("verify dialog") && !ends_with_any(kVerifyStates)) {
    issues.push_back("`verify` instruction missing state. Expected ending: " +
                     endings(kVerifyStates));
  }
  if (lower.starts_with(kVerifyText)) {
    bool spatial = false;
    for (std::string_view p : {"verify text next to", "verify text below", "verify text above",
                               "verify text left", "verify text right"}) {
      spatial = spatial || lower.starts_with(p);
    }
    if (!spatial && !ends_with_any(kVerifyTextStates)) {
      issues.push_back("`verify text` instruction missing state. Expected ending: " +
                       endings(kVerifyTextStates));
    }
  }
  if (lower.starts_with(kWait)) {
    std::string_view ms = strip_quotes(step.cut(kWait.size()));
    bool digits = !ms.empty() &&
                  std::all_of(ms.begin(), ms.end(), [](char c) { return c >= '0' && c <= '9'; });
    if (!digits) {
      issues.push_back("`wait` value must be a number in milliseconds. Got: " + text::repr(ms));
    }
  }
  return issues;
}

LineIssues validate_all(const std::vector<std::string_view>& instructions) {
  LineIssues out;
  for (std::size_t n = 0; n < instructions.size(); ++n) {
    std::vector<std::string> issues = validate(instructions[n]);
    if (!issues.empty()) out.emplace_back(n + 1, std::move(issues));
  }
  return out;
}

}  // namespace marrowlane::step_parser
