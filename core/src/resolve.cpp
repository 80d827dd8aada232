#include "marrowlane/resolve.hpp"

#include <algorithm>
#include <array>
#include <string>
#include <tuple>
#include <unordered_set>
#include <utility>
#include <vector>

#include "marrowlane/text.hpp"
#include "marrowlane/text_match.hpp"

namespace marrowlane::resolve {

namespace {

struct SourceInfo {
  NameSource source;
  std::string_view word;   // as the page script writes it
  std::string_view words;  // as messages say it
};

constexpr std::array<SourceInfo, 14> kSources{{
    {NameSource::LabelledBy, "labelledby", "accessible name (aria-labelledby)"},
    {NameSource::AriaLabel, "aria-label", "accessible name (aria-label)"},
    {NameSource::Label, "label", "label"},
    {NameSource::Text, "text", "text"},
    {NameSource::Value, "value", "value"},
    {NameSource::Alt, "alt", "alt text"},
    {NameSource::Title, "title", "title"},
    {NameSource::Placeholder, "placeholder", "placeholder"},
    {NameSource::After, "after", "text just after it"},
    {NameSource::Row, "row", "text in the cell before it"},
    {NameSource::Left, "left", "text just left of it"},
    {NameSource::TextAfter, "text-after", "text just after it"},
    {NameSource::Above, "above", "text above it"},
    {NameSource::Attribute, "attribute", "test id"},
}};

bool one_of(std::string_view s, std::initializer_list<std::string_view> items) {
  return std::find(items.begin(), items.end(), s) != items.end();
}

bool word_byte(char c) {
  auto u = static_cast<unsigned char>(c);
  return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || u >= 0x80;
}

// Words a person writes beside a name for the kind of widget it is, beside the
// text strategy's kind words: 'the Security tab', 'the Settings menu item',
// 'the Express option', 'the Dolphin image', 'the text "Sign up"'.
constexpr std::array<std::string_view, 13> kWidgetWords = {
    "tab",     "menu", "item", "option", "switch", "toggle",   "image",
    "heading", "card", "tile", "label",  "text",   "paragraph"};

// How many words at the front (`first`) or the back of `words` name a widget:
// one widget word, or "list item"; at least one other word stays.
std::size_t widget_words(const std::vector<std::string_view>& words, bool first) {
  auto word = [&](std::size_t from_end) {
    return text::lower(first ? words[from_end] : words[words.size() - 1 - from_end]);
  };
  if (words.size() > 2 && word(first ? 0 : 1) == "list" && word(first ? 1 : 0) == "item") return 2;
  if (words.size() > 1 &&
      std::find(kWidgetWords.begin(), kWidgetWords.end(), word(0)) != kWidgetWords.end()) {
    return 1;
  }
  return 0;
}

// The target without the kind words around it, nor the widget words before or
// after it ('the image "avatar"', 'the list item "Tea"'); a target of kind
// words alone ("Input Button") is kept as it is.
std::string without_kind_words(std::string_view target) {
  const std::string stripped = text_match::strip_type_descriptors(target);
  std::vector<std::string_view> words = text::split(stripped);
  const std::size_t given = words.size();
  while (std::size_t n = widget_words(words, false)) words.resize(words.size() - n);
  while (std::size_t n = widget_words(words, true)) words.erase(words.begin(), words.begin() + n);
  return words.size() == given ? stripped : text::join(words, " ");
}

bool is_action(std::string_view action) {
  return one_of(action, {"click", "hover", "type", "select"});
}

// A text after a field names it less surely than one after a checkbox.
NameSource effective(NameSource source, Kind kind) {
  return source == NameSource::After && kind != Kind::Choice ? NameSource::TextAfter : source;
}

// What ranks a candidate, best first in each member.
struct Key {
  bool fits;
  Match match;
  bool control;
  bool visible;
  bool enabled;
  NameSource source;
  std::size_t order;

  auto tied() const {
    return std::make_tuple(!fits, -static_cast<int>(match), !control, !visible, !enabled,
                           static_cast<int>(source), order);
  }
};

std::string rule_for(Match m, NameSource source) {
  std::string words(source_words(source));
  return (m == Match::Exact ? "exact match of its " : "partial match of its ") + words;
}

std::string why_behind(const Key& best, const Key& k, std::string_view action) {
  if (best.fits != k.fits) {
    return action == "type" ? "the wrong kind for typing" : "not a dropdown list";
  }
  if (best.match != k.match) return "partial match";
  if (best.control != k.control) return "plain text, not a control";
  if (best.visible != k.visible) return "hidden";
  if (best.enabled != k.enabled) return "disabled";
  if (best.source != k.source) {
    return "named by its " + std::string(source_words(k.source)) + ", a weaker source";
  }
  return "later in reading order";
}

}  // namespace

Kind kind_of(std::string_view tag, std::string_view type, std::string_view role, bool editable,
             bool clickable) {
  if (tag == "input") {
    if (one_of(type, {"button", "submit", "reset", "image"})) return Kind::Button;
    if (one_of(type, {"checkbox", "radio"})) return Kind::Choice;
    if (type == "file") return Kind::File;
    if (one_of(type, {"range", "color", "hidden"})) return Kind::Clickable;
    return Kind::Field;
  }
  if (tag == "textarea" || editable) return Kind::Field;
  if (tag == "select") return Kind::List;
  if (tag == "button") return Kind::Button;
  if (one_of(role, {"textbox", "searchbox", "spinbutton"})) return Kind::Field;
  if (one_of(role, {"combobox", "listbox"})) return Kind::List;
  if (role == "button") return Kind::Button;
  if (one_of(role, {"checkbox", "radio", "switch"})) return Kind::Choice;
  if (tag == "a" || role == "link") return Kind::Link;
  if (tag == "img") return Kind::Image;
  if (clickable || one_of(role, {"tab", "menuitem", "menuitemcheckbox", "menuitemradio", "option",
                                 "slider", "treeitem"})) {
    return Kind::Clickable;
  }
  return Kind::Text;
}

std::optional<NameSource> source_named(std::string_view word) {
  for (const auto& info : kSources) {
    if (info.word == word) return info.source;
  }
  return std::nullopt;
}

std::string_view source_words(NameSource source) {
  for (const auto& info : kSources) {
    if (info.source == source) return info.words;
  }
  return "name";
}

std::string normalise(std::string_view text) {
  const std::string lowered = text::lower(text);
  std::string out;
  out.reserve(lowered.size());
  bool blank = false;
  for (std::size_t pos = 0; pos < lowered.size();) {
    const std::size_t start = pos;
    const char32_t cp = text::decode(lowered, pos);
    if (cp == '-' || cp == '_' || text::is_space(cp)) {
      blank = !out.empty();
      continue;
    }
    if (blank) out.push_back(' ');
    blank = false;
    out.append(lowered, start, pos - start);
  }
  // Colons and asterisks around a name mark a label, not its words.
  auto marker = [](char c) { return c == ':' || c == '*' || c == ' '; };
  std::size_t b = 0, e = out.size();
  while (b < e && marker(out[b])) ++b;
  while (e > b && marker(out[e - 1])) --e;
  return out.substr(b, e - b);
}

Match match(std::string_view target, std::string_view name) {
  if (target.empty() || name.size() < target.size()) return Match::None;
  if (name == target) return Match::Exact;
  Match best = Match::None;
  for (std::size_t at = name.find(target); at != std::string_view::npos;
       at = name.find(target, at + 1)) {
    const bool starts = at == 0 || !word_byte(name[at - 1]) || !word_byte(target.front());
    const std::size_t end = at + target.size();
    const bool ends = end == name.size() || !word_byte(name[end]) || !word_byte(target.back());
    if (starts && ends) return Match::Word;
    best = Match::Partial;
  }
  return best;
}

bool fits(std::string_view action, Kind kind) {
  if (action == "type") return kind == Kind::Field;
  if (action == "select") return kind == Kind::List;
  return true;
}

std::vector<Ranked> rank(std::string_view action, std::string_view target,
                         std::span<const Candidate> candidates) {
  const std::string full = normalise(target);
  const std::string stripped = normalise(without_kind_words(target));
  const bool acting = is_action(action);
  std::vector<std::pair<Key, Ranked>> found;
  std::string scratch;
  for (std::size_t i = 0; i < candidates.size(); ++i) {
    const Candidate& c = candidates[i];
    Match best = Match::None;
    NameSource from = NameSource::Attribute;
    for (const Name& name : c.names) {
      scratch = normalise(name.text);
      Match m = match(full, scratch);
      if (stripped != full) m = std::max(m, match(stripped, scratch));
      const NameSource source = effective(name.source, c.kind);
      if (m > best || (m == best && m != Match::None && source < from)) {
        best = m;
        from = source;
      }
    }
    if (best == Match::None) continue;
    Key key{
        fits(action, c.kind), best, c.kind != Kind::Text, c.visible, !acting || c.enabled, from, i};
    Ranked r;
    r.index = i;
    r.match = best;
    r.source = from;
    r.fits = key.fits;
    r.rule = rule_for(best, from);
    found.emplace_back(key, std::move(r));
  }
  std::stable_sort(found.begin(), found.end(),
                   [](const auto& a, const auto& b) { return a.first.tied() < b.first.tied(); });
  std::vector<Ranked> out;
  std::unordered_set<std::string_view> keys;
  for (auto& [key, r] : found) {
    std::string_view k = candidates[r.index].key;
    if (!k.empty() && !keys.insert(k).second) continue;
    if (!out.empty()) r.why = why_behind(found.front().first, key, action);
    out.push_back(std::move(r));
  }
  return out;
}

std::vector<std::string> words_of(std::string_view target) {
  const std::string wanted = normalise(without_kind_words(target));
  std::vector<std::string> out;
  for (unsigned char c : wanted) {
    if (c >= 0x80) return {};
  }
  for (std::string_view word : text::split(wanted)) out.emplace_back(word);
  return out;
}

std::optional<std::size_t> sure_first(std::string_view action, std::string_view target,
                                      std::span<const Candidate> candidates, bool contested) {
  const std::vector<Ranked> ranked = rank(action, target, candidates);
  if (ranked.empty()) return std::nullopt;
  const Ranked& top = ranked.front();
  const Candidate& c = candidates[top.index];
  // A record named as well ties at best, and loses on page order. Only an
  // aria-label, title or placeholder (`contested`) names one better than an
  // element's label or own text; a record that fits typing or selecting (an
  // input no name is read for) has no text of its own, and the text above
  // it is the last source but one.
  const bool narrow = action == "type" || action == "select";
  const bool unbeaten =
      top.source <= NameSource::AriaLabel ||
      (!contested && top.source <= (narrow ? NameSource::Above : NameSource::Text));
  if (top.fits && top.match == Match::Exact && c.kind != Kind::Text && c.visible &&
      (c.enabled || !is_action(action)) && unbeaten) {
    return top.index;
  }
  return std::nullopt;
}

TextCheck check_text(std::string_view target, std::span<const PageText> texts) {
  TextCheck out;
  const std::string wanted = normalise(target);
  if (wanted.empty()) return out;
  for (std::size_t i = 0; i < texts.size(); ++i) {
    if (match(wanted, normalise(texts[i].text)) == Match::None) continue;
    if (!out.present || (texts[i].visible && !out.visible)) out.index = i;
    out.present = true;
    if (texts[i].visible) {
      out.visible = true;
      break;
    }
  }
  return out;
}

}  // namespace marrowlane::resolve
