#include "marrowlane/account.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <functional>
#include <map>
#include <utility>

#include "marrowlane/text.hpp"

namespace marrowlane::account {

namespace {

constexpr std::size_t kMaxName = 40;
constexpr std::size_t kMaxPlaceText = 28;
constexpr std::size_t kMaxPlaceTexts = 2;
// More texts than this around an element: that part is a page, not a row.
constexpr std::size_t kMaxRowTexts = 8;

const text_match::Record& rec(const Facts& f) { return f.record; }
std::string_view attr(const Facts& f, std::size_t i) { return f.record.match_attributes[i]; }
std::string_view aria_label(const Facts& f) { return attr(f, 0); }
std::string_view label(const Facts& f) { return attr(f, text_match::kLabelAttribute); }
std::string_view placeholder(const Facts& f) { return attr(f, 2); }
std::string_view input_type(const Facts& f) { return attr(f, 4); }
std::string_view alt(const Facts& f) { return attr(f, 5); }

// The first line of a text, blanks collapsed, clipped to `limit` characters.
std::string clip(std::string_view s, std::size_t limit) {
  s = text::strip(s);
  std::size_t nl = s.find('\n');
  if (nl != std::string_view::npos) s = s.substr(0, nl);
  std::string out = text::join(text::split(s), " ");
  if (text::char_count(out) <= limit) return out;
  std::string cut(text::first_chars(out, limit - 1));
  return std::string(text::rstrip(cut)) + "\u2026";
}

bool is_field(const Facts& f) {
  std::string_view tag = rec(f).tag;
  if (tag == "input" || tag == "textarea" || tag == "select" || rec(f).is_editable_field) {
    return true;
  }
  std::string_view role = rec(f).role;
  return role == "textbox" || role == "searchbox" || role == "combobox" || role == "spinbutton";
}

template <std::size_t N>
std::string_view lookup(const std::array<std::pair<std::string_view, std::string_view>, N>& table,
                        std::string_view key) {
  for (const auto& [k, v] : table) {
    if (k == key) return v;
  }
  return {};
}

constexpr std::array<std::pair<std::string_view, std::string_view>, 17> kRoleKinds = {{
    {"button", "button"},
    {"link", "link"},
    {"textbox", "text field"},
    {"searchbox", "search field"},
    {"checkbox", "checkbox"},
    {"radio", "radio button"},
    {"combobox", "combo box"},
    {"menuitem", "menu item"},
    {"menuitemcheckbox", "menu item"},
    {"menuitemradio", "menu item"},
    {"option", "option"},
    {"tab", "tab"},
    {"switch", "switch"},
    {"spinbutton", "number field"},
    {"slider", "slider"},
    {"heading", "heading"},
    {"img", "image"},
}};

constexpr std::array<std::pair<std::string_view, std::string_view>, 13> kInputKinds = {{
    {"checkbox", "checkbox"},
    {"radio", "radio button"},
    {"submit", "button"},
    {"button", "button"},
    {"reset", "button"},
    {"image", "button"},
    {"password", "password field"},
    {"search", "search field"},
    {"number", "number field"},
    {"range", "slider"},
    {"file", "file field"},
    {"date", "date field"},
    {"color", "colour picker"},
}};

constexpr std::array<std::pair<std::string_view, std::string_view>, 12> kTagKinds = {{
    {"button", "button"},
    {"a", "link"},
    {"select", "dropdown"},
    {"textarea", "text area"},
    {"img", "image"},
    {"label", "label"},
    {"h1", "heading"},
    {"h2", "heading"},
    {"h3", "heading"},
    {"h4", "heading"},
    {"h5", "heading"},
    {"h6", "heading"},
}};

// How an ordinal position reads before a kind: "nearest", "2nd".
std::string place_word(std::int64_t ordinal) { return ordinal > 0 ? nth(ordinal) : "nearest"; }

std::string quoted(std::string_view s) { return "\"" + clip(s, kMaxName) + "\""; }

// The relation as words, before the anchor: "below", "right of", "to".
std::string_view relation_words(std::string_view relation) {
  if (relation == "next_to" || relation == "right") return "right of";
  if (relation == "left") return "left of";
  if (relation == "near") return "near";
  return relation;  // below, above
}

// The steps two positional paths share from the root: one pass over their
// common bytes, counting the steps that end inside it.
std::size_t common_steps(std::string_view a, std::string_view b) {
  auto ia = std::mismatch(a.begin(), a.begin() + std::min(a.size(), b.size()), b.begin()).first;
  const auto m = static_cast<std::size_t>(ia - a.begin());
  if (m <= 1) return 0;
  std::size_t steps = static_cast<std::size_t>(std::count(a.begin() + 1, ia, '/'));
  const bool a_closed = m == a.size() || a[m] == '/';
  const bool b_closed = m == b.size() || b[m] == '/';
  if (a_closed && b_closed) ++steps;  // the step that ends where they part
  return steps;
}

bool inside(std::string_view path, std::string_view container) {
  return path.size() > container.size() && path.starts_with(container) &&
         path[container.size()] == '/';
}

bool typeable(const Facts& f) {
  const auto& r = rec(f);
  return r.tag == "input" || r.tag == "textarea" || r.role == "textbox" || r.role == "searchbox" ||
         r.role == "spinbutton" || r.role == "combobox" || r.is_editable_field;
}

// The kind of element the action needs, when it needs one: "typing" wants a
// field, "select" a dropdown list.
std::string_view wrong_kind(std::string_view action, const Facts& f) {
  if (action == "type" && !typeable(f)) return "the wrong kind for typing";
  if (action == "select" && rec(f).tag != "select") return "not a dropdown list";
  return {};
}

void add_reason(std::string& out, std::string_view reason) {
  if (reason.empty()) return;
  if (!out.empty()) out += ", ";
  out += reason;
}

}  // namespace

// ---------------------------------------------------------------------------
// The element as a person names it
// ---------------------------------------------------------------------------

std::string kind(const Facts& f) {
  std::string_view found = lookup(kRoleKinds, rec(f).role);
  if (found.empty() && rec(f).tag == "input") {
    found = lookup(kInputKinds, text::lower(input_type(f)));
    if (found.empty()) found = "text field";
  }
  if (found.empty()) found = lookup(kTagKinds, rec(f).tag);
  if (found.empty() && rec(f).is_editable_field) found = "text field";
  return std::string(found.empty() ? "text" : found);
}

std::string name(const Facts& f) {
  const bool field = is_field(f) && lookup(kInputKinds, text::lower(input_type(f))) != "button";
  const std::array<std::string_view, 8> field_order = {
      aria_label(f), label(f), placeholder(f), f.title, alt(f), f.name, rec(f).id, {}};
  const std::array<std::string_view, 8> other_order = {
      aria_label(f), rec(f).text, alt(f), f.title, label(f), placeholder(f), f.value, f.name};
  for (std::string_view candidate : field ? field_order : other_order) {
    std::string named = clip(candidate, kMaxName);
    if (!named.empty()) return named;
  }
  return {};
}

std::string person_name(const Facts& f) {
  std::string named = name(f);
  std::string out = kind(f);
  if (!named.empty()) out += " \"" + named + "\"";
  return out;
}

bool settled(const Facts& pick, std::string_view part, std::span<const Facts> records) {
  // "/html[1]/body[1]/div[2]": three steps.
  if (std::count(part.begin(), part.end(), '/') <= 3) return true;
  const std::string_view path = rec(pick).xpath;
  std::size_t texts = 0;
  for (const Facts& other : records) {
    const std::string_view other_path = rec(other).xpath;
    if (other_path.empty() || other_path == path || inside(other_path, path) ||
        inside(path, other_path) || rec(other).text.empty()) {
      continue;
    }
    if (++texts > kMaxRowTexts) return true;
  }
  return false;
}

std::string where(const Facts& pick, std::span<const Facts> page) {
  std::string_view path = rec(pick).xpath;
  // Every other text by how much of its path it shares with the pick; the
  // pick's own parts and the wrappers around it are left out.
  std::map<std::size_t, std::vector<const Facts*>, std::greater<>> by_depth;
  if (!path.empty()) {
    for (const Facts& other : page) {
      std::string_view other_path = rec(other).xpath;
      if (&other == &pick || other_path.empty() || other_path == path || inside(other_path, path) ||
          inside(path, other_path)) {
        continue;
      }
      std::size_t shared = common_steps(path, other_path);
      // Two steps (html, body) is the page itself.
      // Records come stripped; a level past a row's size is only ever too big.
      if (shared <= 2 || rec(other).text.empty()) continue;
      std::vector<const Facts*>& level = by_depth[shared];
      if (level.size() <= kMaxRowTexts) level.push_back(&other);
    }
  }
  // The smallest part of the page around the pick that shows two texts,
  // as long as it stays the size of a row or a card.
  std::vector<const Facts*> around;
  std::vector<std::string> texts;
  // Texts that say no more than the pick's own text or name are no place.
  const std::string own = clip(rec(pick).text, kMaxPlaceText);
  const std::string named = clip(name(pick), kMaxPlaceText);
  auto adds = [&](const std::string& said) {
    return !text::iequals(said, own) && !text::iequals(said, named) &&
           std::find(texts.begin(), texts.end(), said) == texts.end();
  };
  for (const auto& [depth, group] : by_depth) {
    if (around.size() + group.size() > kMaxRowTexts) break;
    around.insert(around.end(), group.begin(), group.end());
    for (const Facts* f : group) {
      std::string said = clip(rec(*f).text, kMaxPlaceText);
      if (adds(said)) texts.push_back(std::move(said));
    }
    if (texts.size() >= 2) break;
  }
  if (!texts.empty()) {
    auto coordinate = [](const text_match::Number& n) {
      return n.state == text_match::Number::State::Value ? n.value : 0.0;
    };
    std::stable_sort(around.begin(), around.end(), [&](const Facts* a, const Facts* b) {
      return std::pair(coordinate(rec(*a).box.y), coordinate(rec(*a).box.x)) <
             std::pair(coordinate(rec(*b).box.y), coordinate(rec(*b).box.x));
    });
    texts.clear();
    for (const Facts* f : around) {
      std::string said = clip(rec(*f).text, kMaxPlaceText);
      if (texts.size() == kMaxPlaceTexts) break;
      if (adds(said)) texts.push_back(std::move(said));
    }
    std::vector<std::string_view> views(texts.begin(), texts.end());
    return "in \"" + text::join(views, " \u00B7 ") + "\"";
  }
  const auto& box = rec(pick).box;
  if (box.state == text_match::Box::State::Record &&
      box.x.state == text_match::Number::State::Value &&
      box.y.state == text_match::Number::State::Value && std::isfinite(box.x.value) &&
      std::isfinite(box.y.value)) {
    return "at (" + std::to_string(std::llround(box.x.value)) + ", " +
           std::to_string(std::llround(box.y.value)) + ")";
  }
  return {};
}

// ---------------------------------------------------------------------------
// The rule that chose it
// ---------------------------------------------------------------------------

std::optional<Match> match_of(std::string_view target, const Facts& f, bool include_label) {
  const std::string wanted =
      text_match::normalise_target(text_match::strip_type_descriptors(target));
  const std::array<std::pair<std::string_view, std::string_view>, 7> named = {{
      {"text", rec(f).text},
      {"aria-label", aria_label(f)},
      {"label", include_label ? label(f) : std::string_view()},
      {"placeholder", placeholder(f)},
      {"test id", attr(f, 3)},
      {"type", input_type(f)},
      {"alt text", alt(f)},
  }};
  std::optional<Match> partial;
  for (const auto& [surface, value] : named) {
    if (value.empty()) continue;
    std::string low = text::lower(value);
    if (text::strip(low) == wanted) return Match{surface, true};
    if (!partial && low.find(wanted) != std::string::npos) partial = Match{surface, false};
  }
  if (partial) return partial;
  // The class, id and data-name surfaces, as the matcher builds them.
  text_match::Record rest;
  rest.class_name = rec(f).class_name;
  rest.id = rec(f).id;
  rest.data_names = rec(f).data_names;
  if (text_match::exact_matches_element(wanted, rest, false))
    return Match{"class, id or data name", true};
  if (text_match::matches_element(wanted, rest, false))
    return Match{"class, id or data name", false};
  return std::nullopt;
}

std::string nth(std::int64_t n) {
  std::int64_t teen = n % 100;
  std::string_view suffix = "th";
  if (teen < 11 || teen > 13) {
    switch (n % 10) {
      case 1: suffix = "st"; break;
      case 2: suffix = "nd"; break;
      case 3: suffix = "rd"; break;
      default: break;
    }
  }
  return std::to_string(n) + std::string(suffix);
}

std::string text_rule(const Match& match, std::size_t position, std::size_t count) {
  std::string out = match.exact ? "exact match of its " : "partial match of its ";
  out += match.surface;
  if (count > 1) {
    out += ", " + nth(static_cast<std::int64_t>(position)) + " of " + std::to_string(count) +
           " in reading order";
  }
  return out;
}

std::string spatial_rule(const Placement& p) {
  std::string out = place_word(p.ordinal);
  if (p.anchor.empty() && p.ordinal == 0) out = "first";
  if (!p.type.empty() && !p.type_relaxed) out += " " + std::string(p.type);
  if (!p.words.empty()) out += " " + quoted(p.words);
  if (p.anchor.empty()) return out + " in reading order";
  out += " ";
  out += relation_words(p.relation);
  out += " " + quoted(p.anchor);
  if (p.relation == "next_to") out += " in its row";
  if (p.type_relaxed && !p.type.empty()) {
    out += " (no " + std::string(p.type) + " there, so any kind)";
  }
  return out;
}

// ---------------------------------------------------------------------------
// The candidates that lost
// ---------------------------------------------------------------------------

std::vector<Loser> text_runners_up(std::string_view action, std::string_view target,
                                   std::span<const Facts> elements, std::size_t pick,
                                   std::span<const std::size_t> candidates, std::size_t limit) {
  std::vector<Loser> out;
  if (pick >= elements.size()) return out;
  const bool include_label = action == "type";
  auto pick_at = std::find(candidates.begin(), candidates.end(), pick);
  for (auto it = candidates.begin(); it != candidates.end() && out.size() < limit; ++it) {
    if (*it == pick || *it >= elements.size()) continue;
    out.push_back({*it, it < pick_at ? "earlier in reading order" : "later in reading order"});
  }
  const Facts& chosen = elements[pick];
  std::optional<Match> chosen_match = match_of(target, chosen, include_label);
  const bool chosen_exact = chosen_match && chosen_match->exact;
  for (std::size_t i = 0; i < elements.size() && out.size() < limit; ++i) {
    if (i == pick || std::find(candidates.begin(), candidates.end(), i) != candidates.end()) {
      continue;
    }
    std::optional<Match> m = match_of(target, elements[i], include_label);
    if (!m) continue;
    std::string why(wrong_kind(action, elements[i]));
    if (why.empty() && rec(chosen).is_visible && !rec(elements[i]).is_visible) why = "hidden";
    if (why.empty() && chosen_exact && !m->exact) why = "partial match";
    if (!why.empty()) out.push_back({i, std::move(why)});
  }
  return out;
}

std::vector<Loser> spatial_runners_up(const Placement& p, std::size_t pick_position,
                                      std::size_t count, std::size_t limit) {
  std::vector<Loser> out;
  for (std::size_t i = 0; i < count && out.size() < limit; ++i) {
    if (i == pick_position) continue;
    std::string why;
    if (p.anchor.empty()) {
      why = i < pick_position ? "earlier in reading order" : "later in reading order";
    } else {
      why = p.relation == "near" ? "farther from"
                                 : "farther " + std::string(relation_words(p.relation));
      why += " " + quoted(p.anchor);
    }
    out.push_back({i, std::move(why)});
  }
  return out;
}

std::string not_taken(std::string_view action, std::string_view target, const Facts& f,
                      bool exact_wanted) {
  std::string out;
  add_reason(out, wrong_kind(action, f));
  if (!rec(f).is_visible) add_reason(out, "hidden");
  if (!rec(f).is_enabled && action != "hover" && !action.starts_with("verify")) {
    add_reason(out, "disabled");
  }
  std::optional<Match> m = match_of(target, f, action == "type");
  if (!m) {
    add_reason(out, "a different name");
  } else if (exact_wanted && !m->exact) {
    add_reason(out, "partial match");
  }
  return out;
}

// ---------------------------------------------------------------------------
// The one line
// ---------------------------------------------------------------------------

std::string line(std::string_view person, std::string_view where, std::string_view rule,
                 std::span<const Runner> runners_up) {
  std::string out(person);
  if (!where.empty()) out += " " + std::string(where);
  if (!rule.empty()) out += " \u2014 " + std::string(rule);
  if (!runners_up.empty()) {
    out += runners_up.size() == 1 ? "; runner-up: " : "; runners-up: ";
    for (std::size_t i = 0; i < runners_up.size(); ++i) {
      if (i) out += ", ";
      out += runners_up[i].name;
      if (!runners_up[i].why.empty()) out += " (" + runners_up[i].why + ")";
    }
  }
  return out;
}

}  // namespace marrowlane::account
