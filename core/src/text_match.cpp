#include "marrowlane/text_match.hpp"

#include <algorithm>
#include <cmath>
#include <iterator>
#include <limits>

#include "marrowlane/errors.hpp"
#include "marrowlane/text.hpp"

namespace marrowlane::text_match {
namespace {

template <std::size_t N>
bool one_of(const std::array<std::string_view, N>& set, std::string_view value) {
  return std::find(set.begin(), set.end(), value) != set.end();
}

bool is_ascii(std::string_view s) {
  return std::all_of(s.begin(), s.end(),
                     [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

char ascii_lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; }

// str.lower() into `out`, reusing its storage: matching lowers every surface of
// every record, and most of them are plain ASCII.
void lower_into(std::string_view s, std::string& out) {
  if (!is_ascii(s)) {
    out = text::lower(s);
    return;
  }
  out.assign(s);
  for (char& c : out) c = ascii_lower(c);
}

bool has_digit(std::string_view s) {
  for (std::size_t pos = 0; pos < s.size();) {
    const unsigned char b = static_cast<unsigned char>(s[pos]);
    if (b < 0x80) {
      if (b >= '0' && b <= '9') return true;
      ++pos;
    } else if (text::is_decimal(text::decode(s, pos))) {
      return true;
    }
  }
  return false;
}

// At least `n` characters long, counting characters as Python does.
bool at_least_chars(std::string_view s, std::size_t n) {
  if (s.size() < n) return false;  // never fewer bytes than characters
  std::size_t count = 0;
  for (std::size_t pos = 0; pos < s.size() && count < n; ++count) text::decode(s, pos);
  return count >= n;
}

// str.isspace() for an ASCII byte: \t \n \v \f \r, the separators \x1c to \x1f
// and the blank.
bool is_ascii_space(unsigned char b) {
  return (b >= 0x09 && b <= 0x0D) || (b >= 0x1C && b <= 0x20);
}

// str.strip(): ASCII white space is cut byte by byte, and only a text that
// still begins or ends outside ASCII (a no-break space, say) needs decoding.
std::string_view trim(std::string_view s) {
  std::size_t begin = 0;
  std::size_t end = s.size();
  while (begin < end && is_ascii_space(static_cast<unsigned char>(s[begin]))) ++begin;
  while (end > begin && is_ascii_space(static_cast<unsigned char>(s[end - 1]))) --end;
  s = s.substr(begin, end - begin);
  if (!s.empty() && (static_cast<unsigned char>(s.front()) >= 0x80 ||
                     static_cast<unsigned char>(s.back()) >= 0x80)) {
    return text::strip(s);
  }
  return s;
}

// Calls `word(w)` for each word of `s` as str.split() finds them, reading the
// characters of `extra` as white space too.
template <typename Word>
void for_each_word(std::string_view s, std::string_view extra, Word&& word) {
  std::size_t pos = 0;
  std::size_t start = std::string_view::npos;
  while (pos < s.size()) {
    std::size_t here = pos;
    unsigned char b = static_cast<unsigned char>(s[pos]);
    bool blank;
    if (b < 0x80) {
      ++pos;
      blank = is_ascii_space(b) || extra.find(static_cast<char>(b)) != std::string_view::npos;
    } else {
      blank = text::is_space(text::decode(s, pos));
    }
    if (blank) {
      if (start != std::string_view::npos) word(s.substr(start, here - start));
      start = std::string_view::npos;
    } else if (start == std::string_view::npos) {
      start = here;
    }
  }
  if (start != std::string_view::npos) word(s.substr(start));
}

// Appends the words of `s` (with "_" and "-" read as blanks) that are at least
// `min_chars` long and hold no digit, joined by single blanks. Whether any was
// kept is told by the result.
bool append_kept_words(std::string_view s, std::size_t min_chars, std::string& out) {
  bool kept = false;
  for_each_word(s, "_-", [&](std::string_view w) {
    if (!at_least_chars(w, min_chars) || has_digit(w)) return;
    if (kept) out.push_back(' ');
    out.append(w);
    kept = true;
  });
  return kept;
}

// The class surface keeps whole tokens (split on white space only) and only
// then reads "_" and "-" inside them as blanks.
bool append_class_surface(std::string_view cls, std::string& out) {
  bool kept = false;
  for_each_word(cls, "", [&](std::string_view token) {
    if (!at_least_chars(token, 4) || has_digit(token)) return;
    if (kept) out.push_back(' ');
    for (char c : token) out.push_back(c == '_' || c == '-' ? ' ' : c);
    kept = true;
  });
  return kept;
}

// Calls `visit(surface)` for each text surface of `r` in order, until it
// answers true; answers whether one did. `scratch` holds the built surfaces.
template <typename Visit>
bool each_surface(const Record& r, bool include_label, std::string& scratch, Visit&& visit) {
  if (!r.text.empty() && visit(r.text)) return true;
  for (std::size_t i = 0; i < r.match_attributes.size(); ++i) {
    if (i == kLabelAttribute && !include_label) continue;
    if (!r.match_attributes[i].empty() && visit(r.match_attributes[i])) return true;
  }
  if (!r.class_name.empty()) {
    scratch.clear();
    if (append_class_surface(r.class_name, scratch) && visit(std::string_view(scratch)))
      return true;
  }
  if (!r.id.empty()) {
    scratch.clear();
    if (append_kept_words(r.id, 4, scratch) && visit(std::string_view(scratch))) return true;
  }
  for (std::string_view name : r.data_names) {
    scratch.clear();
    if (append_kept_words(name.substr(5), 2, scratch) && visit(std::string_view(scratch))) {
      return true;
    }
  }
  return false;
}

// Tests records against one target, reusing its buffers across records.
class Matcher {
 public:
  Matcher(std::string_view target, bool include_label)
      : target_(normalise_target(target)), include_label_(include_label) {}

  // Surfaces read "_" and "-" as blanks, as the target does, so that
  // "Item 3-A" finds the button that reads "Item 3-A".
  bool contains(const Record& r) {
    return each_surface(r, include_label_, scratch_, [&](std::string_view surface) {
      if (is_ascii(surface)) {  // compare in place: an ASCII text lowers byte by byte
        return std::search(surface.begin(), surface.end(), target_.begin(), target_.end(),
                           [](char h, char n) { return blank_dashes(ascii_lower(h)) == n; }) !=
                   surface.end() ||
               target_.empty();
      }
      lowered_surface(surface);
      return lowered_.find(target_) != std::string::npos;
    });
  }

  bool exact(const Record& r) {
    return each_surface(r, include_label_, scratch_, [&](std::string_view surface) {
      lowered_surface(surface);
      return trim(lowered_) == target_;
    });
  }

 private:
  static char blank_dashes(char c) { return c == '_' || c == '-' ? ' ' : c; }
  void lowered_surface(std::string_view surface) {
    lower_into(surface, lowered_);
    for (char& c : lowered_) c = blank_dashes(c);
  }

  std::string target_;
  bool include_label_;
  std::string scratch_;
  std::string lowered_;
};

// Text elements that contain the lower-cased target in their lower-cased text.
std::vector<std::size_t> containing(std::string_view target, std::span<const Record> texts) {
  std::string needle = text::lower(target);
  std::string lowered;
  std::vector<std::size_t> out;
  for (std::size_t i = 0; i < texts.size(); ++i) {
    lower_into(texts[i].text, lowered);
    if (lowered.find(needle) != std::string::npos) out.push_back(i);
  }
  return out;
}

// Sorts indices stably by the length of their record's text, shortest first.
void by_text_length(std::vector<std::size_t>& indices, std::span<const Record> records) {
  if (indices.size() < 2) return;
  std::vector<std::pair<std::size_t, std::size_t>> keyed;
  keyed.reserve(indices.size());
  for (std::size_t i : indices) keyed.emplace_back(text::char_count(records[i].text), i);
  std::stable_sort(keyed.begin(), keyed.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });
  for (std::size_t k = 0; k < keyed.size(); ++k) indices[k] = keyed[k].second;
}

// A strict weak order on doubles: NaN after everything, so that sorting never
// meets an inconsistent comparison.
bool number_less(double a, double b) {
  if (std::isnan(a)) return false;
  if (std::isnan(b)) return true;
  return a < b;
}

[[noreturn]] void not_a_record(const Box& box) {
  throw TypeError("bounding_box must be a dict, not " + box.kind);
}

// A coordinate the geometry cannot do without.
double required(const Box& box, const Number& n, const char* key) {
  if (box.state == Box::State::Invalid) not_a_record(box);
  switch (n.state) {
    case Number::State::Value: return n.value;
    case Number::State::Missing: throw KeyError(key);
    case Number::State::Invalid: break;
  }
  throw TypeError(std::string("bounding_box '") + key + "' must be a number, not " + n.kind);
}

// A coordinate of the reading order, where a missing one counts as 0.
double reading(const Box& box, const Number& n, const char* key) {
  if (box.state == Box::State::Missing || n.state == Number::State::Missing) return 0.0;
  return required(box, n, key);
}

void reading_order(std::vector<std::size_t>& indices, std::span<const Record> records) {
  if (indices.size() < 2) return;
  struct Keyed {
    double y, x;
    std::size_t index;
  };
  std::vector<Keyed> keyed;
  keyed.reserve(indices.size());
  for (std::size_t i : indices) {
    const Box& b = records[i].box;
    keyed.push_back({reading(b, b.y, "y"), reading(b, b.x, "x"), i});
  }
  std::stable_sort(keyed.begin(), keyed.end(), [](const Keyed& a, const Keyed& b) {
    if (number_less(a.y, b.y)) return true;
    if (number_less(b.y, a.y)) return false;
    return number_less(a.x, b.x);
  });
  for (std::size_t k = 0; k < keyed.size(); ++k) indices[k] = keyed[k].index;
}

// Picks the candidate the ordinal names, or nullopt when it names none.
// Positive ordinals count in reading order; 0 and below count from the end of
// the list ordered by text length (0 the last, -1 the one before it).
std::optional<std::size_t> choose(const Ordinal& ordinal, std::vector<std::size_t>& candidates,
                                  std::span<const Record> records) {
  const auto n = static_cast<std::int64_t>(candidates.size());
  switch (ordinal.state) {
    case Ordinal::State::NotComparable:
      throw TypeError("'>' not supported between instances of '" + ordinal.kind + "' and 'int'");
    case Ordinal::State::Integer: {
      const std::int64_t v = ordinal.value;
      if (v > 0) {
        reading_order(candidates, records);
        return static_cast<std::size_t>(std::min(v - 1, n - 1));
      }
      by_text_length(candidates, records);
      if (v < 1 - n) return std::nullopt;  // further back than the first candidate
      return static_cast<std::size_t>(n - 1 + v);
    }
    case Ordinal::State::Float: break;
  }
  // A float ordinal orders like a number but only indexes when the list is
  // shorter than it asks, so that the last candidate (an integer) is taken.
  const double v = ordinal.real;
  if (v > 0) {
    reading_order(candidates, records);
  } else {
    by_text_length(candidates, records);
  }
  if (static_cast<double>(n - 1) < v - 1) return static_cast<std::size_t>(n - 1);
  throw TypeError("list indices must be integers or slices, not float");
}

Resolution unresolved() { return Resolution{}; }

Resolution chosen(Source source, std::size_t element, std::vector<std::size_t> candidates) {
  Resolution r;
  r.resolved = true;
  r.source = source;
  r.element = element;
  r.candidates = std::move(candidates);
  return r;
}

// ---------------------------------------------------------------------------
// Directional text
// ---------------------------------------------------------------------------

struct Phrase {
  std::string_view phrase;
  std::string_view direction;
};

// Longest phrase first; equal lengths keep their table order.
constexpr Phrase kPhrases[] = {{"right of", "right"}, {"next to", "right"}, {"left of", "left"},
                               {"below", "below"},    {"under", "below"},   {"above", "above"}};

// Whether the lower-cased `s` starts with the ASCII `prefix`. No character
// outside ASCII lowers to the letters of the phrases and articles compared
// here, so comparing the leading bytes is exact.
bool starts_with_lowered(std::string_view s, std::string_view prefix) {
  if (s.size() < prefix.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i) {
    if (ascii_lower(s[i]) != prefix[i]) return false;
  }
  return true;
}

// The first line of a text, as an anchor is compared: trimmed, lower-cased,
// cut at the first newline and trimmed again.
std::string_view first_line(std::string_view text, std::string& buffer) {
  lower_into(trim(text), buffer);
  std::string_view line(buffer);
  line = line.substr(0, line.find('\n'));
  return trim(line);
}

struct Centre {
  double x, y;
};

Centre centre_of(const Box& box) {
  double x = required(box, box.x, "x") + required(box, box.width, "width") / 2;
  double y = required(box, box.y, "y") + required(box, box.height, "height") / 2;
  return {x, y};
}

}  // namespace

// ---------------------------------------------------------------------------
// Surfaces and matching
// ---------------------------------------------------------------------------

std::string strip_type_descriptors(std::string_view target) {
  std::vector<std::string_view> words = text::split(target);
  std::string lowered;
  auto descriptor = [&](std::string_view word) {
    lower_into(word, lowered);
    return one_of(kTypeDescriptors, lowered);
  };
  std::size_t end = words.size();
  while (end > 0 && descriptor(words[end - 1])) --end;
  std::size_t begin = 0;
  while (begin < end && descriptor(words[begin])) ++begin;
  if (begin == end) return std::string(target);
  return text::join(std::vector<std::string_view>(words.begin() + begin, words.begin() + end), " ");
}

std::vector<std::string> searchable_strings(const Record& record, bool include_label) {
  std::vector<std::string> out;
  std::string scratch;
  each_surface(record, include_label, scratch, [&](std::string_view surface) {
    out.emplace_back(surface);
    return false;
  });
  return out;
}

std::string normalise_target(std::string_view target) {
  std::string out;
  lower_into(target, out);
  for (char& c : out) {
    if (c == '_' || c == '-') c = ' ';
  }
  return out;
}

bool matches_element(std::string_view target, const Record& record, bool include_label) {
  return Matcher(target, include_label).contains(record);
}

bool exact_matches_element(std::string_view target, const Record& record, bool include_label) {
  return Matcher(target, include_label).exact(record);
}

std::int64_t dom_distance(std::string_view xpath_a, std::string_view xpath_b) {
  auto strip_slashes = [](std::string_view s) {
    std::size_t b = s.find_first_not_of('/');
    if (b == std::string_view::npos) return std::string_view();
    return s.substr(b, s.find_last_not_of('/') + 1 - b);
  };
  auto steps = [](std::string_view s) {
    return static_cast<std::int64_t>(std::count(s.begin(), s.end(), '/')) + 1;
  };
  std::string_view a = strip_slashes(xpath_a);
  std::string_view b = strip_slashes(xpath_b);
  const std::int64_t steps_a = steps(a);
  const std::int64_t steps_b = steps(b);
  std::int64_t common = 0;
  while (true) {
    std::size_t cut_a = a.find('/');
    std::size_t cut_b = b.find('/');
    if (a.substr(0, cut_a) != b.substr(0, cut_b)) break;
    ++common;
    if (cut_a == std::string_view::npos || cut_b == std::string_view::npos) break;
    a.remove_prefix(cut_a + 1);
    b.remove_prefix(cut_b + 1);
  }
  return (steps_a - common) + (steps_b - common);
}

std::optional<std::vector<std::size_t>> filter_by_action(std::string_view action,
                                                         std::span<const Record> records) {
  std::vector<std::size_t> kept;
  if (action == "type") {
    for (std::size_t i = 0; i < records.size(); ++i) {
      const Record& r = records[i];
      if (one_of(kTypeableTags, r.tag) || one_of(kTypeableRoles, r.role) || r.is_editable_field) {
        kept.push_back(i);
      }
    }
  } else if (action == "select") {
    for (std::size_t i = 0; i < records.size(); ++i) {
      if (one_of(kSelectableTags, records[i].tag)) kept.push_back(i);
    }
  }
  // A page whose fields are not recognised still offers all its elements.
  if (kept.empty()) return std::nullopt;
  return kept;
}

// ---------------------------------------------------------------------------
// Resolution
// ---------------------------------------------------------------------------

Resolution resolve_element(std::string_view action, std::string_view target, const Ordinal& ordinal,
                           std::span<const Record> elements, std::span<const Record> texts) {
  std::vector<std::size_t> eligible;
  if (auto filtered = filter_by_action(action, elements)) {
    eligible = std::move(*filtered);
  } else {
    eligible.resize(elements.size());
    for (std::size_t i = 0; i < eligible.size(); ++i) eligible[i] = i;
  }
  const std::string scoring_target = strip_type_descriptors(target);
  const bool use_label = action == "type";
  Matcher matcher(scoring_target, use_label);

  // Visible matches win; a hidden element is considered only when no visible
  // one matches.
  std::vector<std::size_t> matched;
  for (std::size_t i : eligible) {
    if (elements[i].is_visible && matcher.contains(elements[i])) matched.push_back(i);
  }
  if (matched.empty()) {
    for (std::size_t i : eligible) {
      if (!elements[i].is_visible && matcher.contains(elements[i])) matched.push_back(i);
    }
  }
  Source source = Source::Elements;
  std::span<const Record> pool = elements;
  // Extraction may name plain visible text that no element carries.
  if (matched.empty() && !texts.empty() && action == "extract_text") {
    Matcher text_matcher(scoring_target, false);
    for (std::size_t i = 0; i < texts.size(); ++i) {
      if (texts[i].is_visible && text_matcher.contains(texts[i])) matched.push_back(i);
    }
    source = Source::Texts;
    pool = texts;
  }
  if (matched.empty()) return unresolved();

  // An element whose surface equals the target beats those that contain it.
  std::vector<std::size_t> exact;
  for (std::size_t i : matched) {
    if (matcher.exact(pool[i])) exact.push_back(i);
  }
  std::vector<std::size_t> candidates = exact.empty() ? std::move(matched) : std::move(exact);

  std::optional<std::size_t> index = choose(ordinal, candidates, pool);
  if (!index) return unresolved();
  std::size_t element = candidates[*index];
  return chosen(source, element, std::move(candidates));
}

Resolution find_text(std::string_view target, std::span<const Record> texts) {
  std::vector<std::size_t> matched = containing(target, texts);
  if (matched.empty()) return unresolved();
  by_text_length(matched, texts);
  std::size_t first = matched.front();
  return chosen(Source::Texts, first, std::move(matched));
}

Resolution find_exact_text(std::string_view target, std::span<const Record> texts) {
  const std::string wanted = text::lower(target);
  std::vector<std::size_t> exact;
  std::string lowered;
  for (std::size_t i = 0; i < texts.size(); ++i) {
    lower_into(trim(texts[i].text), lowered);
    if (lowered == wanted) exact.push_back(i);
  }
  std::vector<std::size_t> contains = containing(target, texts);
  if (!exact.empty()) {
    // The exact matches first, then every containing text (the exact ones again).
    std::size_t first = exact.front();
    exact.insert(exact.end(), contains.begin(), contains.end());
    return chosen(Source::Texts, first, std::move(exact));
  }
  // Unresolved, but the near misses are offered, shortest first.
  by_text_length(contains, texts);
  Resolution r;
  r.source = Source::Texts;
  r.candidates = std::move(contains);
  return r;
}

Verification verify_element(std::string_view action, std::string_view target,
                            std::span<const Record> elements) {
  Matcher matcher(strip_type_descriptors(target), false);
  std::vector<std::size_t> matched;
  for (std::size_t i = 0; i < elements.size(); ++i) {
    if (matcher.contains(elements[i])) matched.push_back(i);
  }
  Verification v;
  if (matched.empty()) return v;
  by_text_length(matched, elements);
  const Record& el = elements[matched.front()];
  v.visible = el.is_visible;
  v.enabled = el.is_enabled;
  if (action == "verify_present") {
    v.verified = true;
  } else if (action == "verify_visible") {
    v.verified = v.visible;
  } else if (action == "verify_enabled") {
    v.verified = v.enabled;
  } else if (action == "verify_disabled") {
    v.verified = !v.enabled;
  } else {
    throw KeyError(std::string(action));
  }
  std::size_t first = matched.front();
  v.resolution = chosen(Source::Elements, first, std::move(matched));
  return v;
}

Verification verify_text(std::string_view action, std::string_view target,
                         std::span<const Record> texts) {
  std::vector<std::size_t> matched = containing(target, texts);
  Verification v;
  if (matched.empty()) return v;
  by_text_length(matched, texts);
  v.visible = texts[matched.front()].is_visible;
  if (action == "verify_text_present") {
    v.verified = true;
  } else if (action == "verify_text_visible") {
    v.verified = v.visible;
  } else {
    throw KeyError(std::string(action));
  }
  std::size_t first = matched.front();
  v.resolution = chosen(Source::Texts, first, std::move(matched));
  return v;
}

std::string norm_amount(std::string_view s) {
  std::string lowered = text::lower(s);
  std::string out;
  out.reserve(lowered.size());
  std::string_view rest(lowered);
  while (!rest.empty()) {
    if (rest.front() == '$' || rest.front() == ',') {
      rest.remove_prefix(1);
    } else if (rest.starts_with("\xC2\xA3") /* £ */) {
      rest.remove_prefix(2);
    } else if (rest.starts_with("\xE2\x82\xAC") /* € */) {
      rest.remove_prefix(3);
    } else {
      out.push_back(rest.front());
      rest.remove_prefix(1);
    }
  }
  return std::string(trim(out));
}

bool amounts_agree(std::string_view expected, std::string_view actual) {
  const std::string want = norm_amount(expected);
  const std::string got = norm_amount(actual);
  return !want.empty() &&
         (got.find(want) != std::string::npos || want.find(got) != std::string::npos);
}

Spatial verify_spatial_text(std::string_view target, std::string_view expected,
                            std::span<const Record> texts, const ElementSource& elements) {
  Spatial out;

  // "right of the Total": the direction phrase, then the anchor text.
  std::string_view anchor;
  bool parsed = false;
  for (const Phrase& p : kPhrases) {
    if (starts_with_lowered(target, p.phrase) && target.size() > p.phrase.size() &&
        target[p.phrase.size()] == ' ') {
      out.direction = p.direction;
      anchor = trim(target.substr(p.phrase.size()));
      for (std::string_view article : {"the ", "a ", "an "}) {
        if (starts_with_lowered(anchor, article)) anchor.remove_prefix(article.size());
      }
      parsed = true;
      break;
    }
  }
  if (!parsed || anchor.empty()) {
    out.direction.clear();
    return out;
  }
  out.anchor_text = anchor;
  const std::string anchor_lower = text::lower(anchor);

  // The anchor reads exactly as the anchor text, and has a place on the page:
  // first a text element by its first line, then an element record by its
  // text and, failing that, by its aria-label.
  auto placed = [](const Record& r) { return !r.xpath.empty() && r.box.truthy; };
  std::string buffer;
  std::vector<std::size_t> matches;
  Source source = Source::Texts;
  std::span<const Record> anchors = texts;
  for (std::size_t i = 0; i < texts.size(); ++i) {
    if (placed(texts[i]) && first_line(texts[i].text, buffer) == anchor_lower) matches.push_back(i);
  }
  if (matches.empty()) {
    const std::optional<std::span<const Record>> given = elements ? elements() : std::nullopt;
    source = Source::Elements;
    anchors = given ? *given : std::span<const Record>();
    auto reads_as_anchor = [&](std::string_view surface) {
      lower_into(trim(surface), buffer);
      return trim(buffer) == anchor_lower;
    };
    for (std::size_t i = 0; i < anchors.size(); ++i) {
      if (placed(anchors[i]) && reads_as_anchor(anchors[i].text)) matches.push_back(i);
    }
    if (matches.empty()) {
      for (std::size_t i = 0; i < anchors.size(); ++i) {
        if (placed(anchors[i]) && reads_as_anchor(anchors[i].aria_label())) matches.push_back(i);
      }
    }
  }
  if (matches.empty()) {
    out.outcome = Spatial::Outcome::NoAnchor;
    out.actual = "anchor '" + out.anchor_text + "' not found";
    return out;
  }

  // Of several, the smallest box; the first of equal ones.
  std::size_t best = matches.front();
  double best_area = 0.0;
  for (std::size_t k = 0; k < matches.size(); ++k) {
    const Box& b = anchors[matches[k]].box;
    double area = required(b, b.width, "width") * required(b, b.height, "height");
    if (k == 0 || area < best_area) {
      best = matches[k];
      best_area = area;
    }
  }
  const Record& a = anchors[best];
  const double a_x = required(a.box, a.box.x, "x");
  const double a_x2 = a_x + required(a.box, a.box.width, "width");
  const double a_y = required(a.box, a.box.y, "y");
  const double a_y2 = a_y + required(a.box, a.box.height, "height");
  const double a_cx = (a_x + a_x2) / 2;
  const double a_cy = (a_y + a_y2) / 2;
  out.anchor_source = source;
  out.anchor = best;

  // Tree distance keeps a text anchor's neighbours within its own part of the
  // page; an element anchor is not held to it.
  const bool use_tree = source == Source::Texts;
  struct Candidate {
    double distance;
    std::size_t index;
  };
  std::vector<Candidate> candidates;
  for (std::size_t i = 0; i < texts.size(); ++i) {
    const Record& t = texts[i];
    if (&t == &a || (a.identity != nullptr && t.identity == a.identity)) continue;
    if (!one_of(kTextOnlyTags, t.tag) || !placed(t)) continue;
    if (use_tree && dom_distance(a.xpath, t.xpath) > kDomDistanceThreshold) continue;
    const Centre c = centre_of(t.box);
    const bool level = a_y <= c.y && c.y <= a_y2;
    const bool in_column = a_x <= c.x && c.x <= a_x2;
    bool passes = false;
    double distance = 0.0;
    if (out.direction == "right") {
      passes = c.x > a_cx && level;
      distance = std::fabs(c.x - a_cx);
    } else if (out.direction == "left") {
      passes = c.x < a_cx && level;
      distance = std::fabs(c.x - a_cx);
    } else if (out.direction == "below") {
      passes = c.y > a_cy && in_column;
      distance = std::fabs(c.y - a_cy);
    } else {
      passes = c.y < a_cy && in_column;
      distance = std::fabs(c.y - a_cy);
    }
    if (passes) candidates.push_back({distance, i});
  }
  std::stable_sort(
      candidates.begin(), candidates.end(),
      [](const Candidate& x, const Candidate& y) { return number_less(x.distance, y.distance); });
  if (candidates.empty()) {
    out.outcome = Spatial::Outcome::NoNeighbour;
    out.actual = "no element " + out.direction + " of '" + out.anchor_text + "'";
    return out;
  }

  out.outcome = Spatial::Outcome::Found;
  out.candidates.reserve(candidates.size());
  for (const Candidate& c : candidates) out.candidates.push_back(c.index);
  out.actual = trim(texts[out.candidates.front()].text);
  out.verified = amounts_agree(expected, out.actual);
  return out;
}

}  // namespace marrowlane::text_match
