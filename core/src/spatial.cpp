#include "marrowlane/spatial.hpp"

#include <algorithm>
#include <cmath>

#include "marrowlane/errors.hpp"
#include "marrowlane/text.hpp"

namespace marrowlane::spatial {

namespace {

template <typename T>
const T& need(const std::optional<T>& value, const char* key) {
  if (!value) throw KeyError(key);
  return *value;
}

const PositionView& position_of(const EntryView& e) { return need(e.position, "position"); }

// Relation keywords, longest first; equal lengths keep table order, so that
// "right of" is tried before "next to" and "near" comes last.
const std::array<std::pair<std::string_view, std::string_view>, kRelations.size()>&
relations_by_length() {
  static const auto ordered = [] {
    auto pairs = kRelations;
    std::stable_sort(pairs.begin(), pairs.end(),
                     [](const auto& a, const auto& b) { return a.first.size() > b.first.size(); });
    return pairs;
  }();
  return ordered;
}

bool contains(const std::vector<std::string_view>& words, std::string_view word) {
  return std::find(words.begin(), words.end(), word) != words.end();
}

bool is_article(std::string_view word) {
  return std::find(kArticles.begin(), kArticles.end(), word) != kArticles.end();
}

std::string_view text_or_empty(const std::optional<std::string_view>& value) {
  return value.value_or(std::string_view{});
}

// w × h of an entry's box, 999 for a side it lacks; integers multiply exactly.
Number area(const EntryView& e) {
  constexpr Number kMissing = Number::integer(999);
  const PositionView none;
  const PositionView& p = e.position ? *e.position : none;
  const Number w = p.w.value_or(kMissing);
  const Number h = p.h.value_or(kMissing);
  if (w.is_integer() && h.is_integer()) {
    std::int64_t product = 0;
    if (!__builtin_mul_overflow(w.as_integer(), h.as_integer(), &product)) {
      return Number::integer(product);
    }
  }
  return Number::real(w.as_double() * h.as_double());
}

}  // namespace

std::string normalize(std::string_view text) {
  std::string out = text::lower(text);
  std::erase_if(out, [](char c) { return c == ' ' || c == '-'; });
  return out;
}

namespace {

bool word_char(char c) {
  auto u = static_cast<unsigned char>(c);
  return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' || u >= 0x80;
}

// Where `keyword` first stands in `t` as whole words; npos when it does not.
std::size_t whole_word_at(std::string_view t, std::string_view keyword) {
  for (std::size_t at = t.find(keyword); at != std::string_view::npos;
       at = t.find(keyword, at + 1)) {
    const std::size_t end = at + keyword.size();
    if ((at == 0 || !word_char(t[at - 1])) && (end == t.size() || !word_char(t[end]))) return at;
  }
  return std::string_view::npos;
}

Target parse(std::string_view target, bool whole_words) {
  Target result;
  const std::string t = text::lower(target);
  const std::vector<std::string_view> words = text::split(t);

  std::optional<std::string_view> rel_keyword;
  std::size_t rel_at = 0;
  for (const auto& [keyword, relation] : relations_by_length()) {
    const std::size_t at = whole_words ? whole_word_at(t, keyword) : t.find(keyword);
    if (at != std::string::npos) {
      rel_keyword = keyword;
      rel_at = at;
      result.relation = std::string(relation);
      break;
    }
  }

  std::optional<std::string_view> ordinal_word;
  for (const auto& [word, number] : kOrdinals) {
    if (contains(words, word)) {
      ordinal_word = word;
      result.ordinal = number;
      break;
    }
  }

  std::optional<std::string_view> type_word;
  for (const auto& [word, type] : kTypeKeywords) {
    if (contains(words, word)) {
      type_word = word;
      result.type_filter = std::string(type);
      break;
    }
  }

  // The type and ordinal words are not part of what is being described.
  auto skipped = [&](std::string_view word) {
    return (type_word && word == *type_word) || (ordinal_word && word == *ordinal_word);
  };

  if (rel_keyword) {
    const std::size_t at = rel_at;
    const std::string_view before = std::string_view(t).substr(0, at);
    std::string_view anchor = text::strip(std::string_view(t).substr(at + rel_keyword->size()));
    // Each article once, in order: "the a x" loses both, "a the x" only "a ".
    for (std::string_view article : kArticles) {
      if (anchor.size() > article.size() && anchor.starts_with(article) &&
          anchor[article.size()] == ' ') {
        anchor.remove_prefix(article.size() + 1);
      }
    }
    result.anchor = std::string(text::strip(anchor));

    std::vector<std::string_view> pre_words;
    for (std::string_view word : text::split(text::strip(before))) {
      if (!skipped(word)) pre_words.push_back(word);
    }
    if (!pre_words.empty()) result.target_text = text::join(pre_words, " ");
  }

  if (result.ordinal && (!result.anchor || result.anchor->empty())) {
    std::vector<std::string_view> rel_words;
    if (rel_keyword) rel_words = text::split(*rel_keyword);
    std::vector<std::string_view> remaining;
    for (std::string_view word : words) {
      if (skipped(word) || contains(rel_words, word) || is_article(word)) continue;
      remaining.push_back(word);
    }
    if (!remaining.empty()) result.search_text = text::join(remaining, " ");
  }
  return result;
}

}  // namespace

Target parse_target(std::string_view target) { return parse(target, false); }

Target parse_target_words(std::string_view target) { return parse(target, true); }

double centre_distance(const EntryView& a, const EntryView& b) {
  const PositionView& pa = position_of(a);
  const PositionView& pb = position_of(b);
  const double dx = (need(pa.cx, "cx") - need(pb.cx, "cx")).as_double();
  const double dy = (need(pa.cy, "cy") - need(pb.cy, "cy")).as_double();
  return std::sqrt(dx * dx + dy * dy);
}

bool overlaps_vertically(const EntryView& a, const EntryView& b) {
  constexpr Number kTolerance = Number::integer(kSpatialTolerance);
  const PositionView& pa = position_of(a);
  const PositionView& pb = position_of(b);
  if (!(need(pa.y, "y") - kTolerance < need(pb.y2, "y2"))) return false;
  return need(pb.y, "y") - kTolerance < need(pa.y2, "y2");
}

bool overlaps_horizontally(const EntryView& a, const EntryView& b) {
  constexpr Number kTolerance = Number::integer(kSpatialTolerance);
  const PositionView& pa = position_of(a);
  const PositionView& pb = position_of(b);
  if (!(need(pa.x, "x") - kTolerance < need(pb.x2, "x2"))) return false;
  return need(pb.x, "x") - kTolerance < need(pa.x2, "x2");
}

std::int64_t dom_distance(std::string_view xpath_a, std::string_view xpath_b) {
  auto steps = [](std::string_view path) {
    const auto first = path.find_first_not_of('/');
    path = first == std::string_view::npos ? std::string_view{} : path.substr(first);
    path = path.substr(0, path.find_last_not_of('/') + 1);
    std::vector<std::string_view> parts;
    for (std::size_t start = 0;;) {
      const std::size_t slash = path.find('/', start);
      parts.push_back(path.substr(start, slash - start));
      if (slash == std::string_view::npos) break;
      start = slash + 1;
    }
    return parts;
  };
  const auto a = steps(xpath_a);
  const auto b = steps(xpath_b);
  std::int64_t common = 0;
  for (std::size_t i = 0; i < std::min(a.size(), b.size()); ++i) {
    if (a[i] == b[i]) ++common;
  }
  return (static_cast<std::int64_t>(a.size()) - common) +
         (static_cast<std::int64_t>(b.size()) - common);
}

std::optional<std::size_t> find_anchor(std::span<const EntryView> matrix,
                                       std::string_view anchor_text) {
  const std::string anchor = text::lower(anchor_text);
  std::vector<std::size_t> text_matches;
  std::vector<std::size_t> attr_matches;
  std::vector<std::string> lowered_texts;
  lowered_texts.reserve(matrix.size());
  for (std::size_t i = 0; i < matrix.size(); ++i) {
    lowered_texts.push_back(text::lower(text_or_empty(matrix[i].text)));
    if (lowered_texts.back() == anchor) {
      text_matches.push_back(i);
      continue;
    }
    for (std::string_view value : matrix[i].anchor_attributes) {
      if (!value.empty() && text::lower(value) == anchor) {
        attr_matches.push_back(i);
        break;
      }
    }
  }
  std::vector<std::size_t> exact =
      !text_matches.empty() ? std::move(text_matches) : std::move(attr_matches);

  if (exact.empty()) {
    // A text that starts with the anchor as a whole word ("Login here") or
    // with a count after it ("Login(2)"), but not a longer word ("Logins").
    const std::string prefix = anchor + " ";
    const std::string counted = anchor + "(";
    for (std::size_t i = 0; i < matrix.size(); ++i) {
      if (lowered_texts[i].starts_with(prefix) || lowered_texts[i].starts_with(counted)) {
        exact.push_back(i);
      }
    }
    if (exact.empty()) {
      for (std::size_t i = 0; i < matrix.size(); ++i) {
        for (std::string_view value : matrix[i].anchor_attributes) {
          if (text::lower(value).starts_with(prefix)) {
            exact.push_back(i);
            break;
          }
        }
      }
    }
  }
  if (exact.empty()) return std::nullopt;

  // An interactable element that matches beats a text element with the same text.
  std::vector<std::size_t> pool;
  for (std::size_t i : exact) {
    if (!matrix[i].is_anchor_only) pool.push_back(i);
  }
  if (pool.empty()) pool = std::move(exact);
  if (pool.size() == 1) return pool.front();

  std::size_t best = pool.front();
  Number best_area = area(matrix[best]);
  for (std::size_t i : pool) {
    const Number a = area(matrix[i]);
    if (a < best_area) {
      best = i;
      best_area = a;
    }
  }
  return best;
}

std::vector<std::size_t> rank(std::span<const EntryView> entries,
                              std::span<const std::size_t> candidates, const EntryView& anchor,
                              std::optional<std::string_view> strategy,
                              std::optional<std::int64_t> ordinal) {
  if (!strategy) return {};
  const std::string_view s = *strategy;
  std::vector<std::size_t> kept;
  auto pos = [&](std::size_t i) -> const PositionView& { return position_of(entries[i]); };
  auto sort_by = [&](auto key, bool descending) {
    std::stable_sort(kept.begin(), kept.end(), [&](std::size_t a, std::size_t b) {
      const Number ka = key(a);
      const Number kb = key(b);
      if (!descending) return grid::sorts_before(ka, kb);
      if (ka.is_nan()) return false;  // NaN last either way
      return kb.is_nan() || kb < ka;
    });
  };

  if (s == "next_to" || s == "right") {
    for (std::size_t i : candidates) {
      if (overlaps_vertically(entries[i], anchor) &&
          need(pos(i).x, "x") >= need(position_of(anchor).x2, "x2")) {
        kept.push_back(i);
      }
    }
    // "next to" keeps reading order: the first entry to the right in the row.
    if (s == "right") sort_by([&](std::size_t i) { return *pos(i).x; }, false);
  } else if (s == "below") {
    for (std::size_t i : candidates) {
      if (need(pos(i).y, "y") >= need(position_of(anchor).y2, "y2") &&
          overlaps_horizontally(entries[i], anchor)) {
        kept.push_back(i);
      }
    }
    sort_by([&](std::size_t i) { return *pos(i).y; }, false);
  } else if (s == "above") {
    for (std::size_t i : candidates) {
      if (need(pos(i).y2, "y2") <= need(position_of(anchor).y, "y") &&
          overlaps_horizontally(entries[i], anchor)) {
        kept.push_back(i);
      }
    }
    sort_by([&](std::size_t i) { return *pos(i).y2; }, true);
  } else if (s == "left") {
    for (std::size_t i : candidates) {
      if (need(pos(i).x2, "x2") <= need(position_of(anchor).x, "x") &&
          overlaps_vertically(entries[i], anchor)) {
        kept.push_back(i);
      }
    }
    sort_by([&](std::size_t i) { return *pos(i).x2; }, true);
  } else if (s == "near") {
    std::vector<double> distance(entries.size());
    for (std::size_t i : candidates) {
      const double d = centre_distance(entries[i], anchor);
      if (!(d <= static_cast<double>(kNearMaxPixels))) continue;
      if (dom_distance(anchor.xpath, entries[i].xpath) > kNearMaxDomSteps) continue;
      distance[i] = d;
      kept.push_back(i);
    }
    sort_by([&](std::size_t i) { return Number::real(distance[i]); }, false);
  } else {
    return {};
  }

  // Without an ordinal "next to" means the first entry in the row; the other
  // relations answer every qualifying entry, best first.
  if (!ordinal) {
    if (s == "next_to" && kept.size() > 1) kept.erase(kept.begin() + 1, kept.end());
    return kept;
  }
  // An ordinal picks one entry; there is no 0th or negative one.
  if (*ordinal < 1 || static_cast<std::uint64_t>(*ordinal) > kept.size()) return {};
  return {kept[static_cast<std::size_t>(*ordinal - 1)]};
}

Resolution resolve_ordinal(std::span<const EntryView> matrix, std::int64_t ordinal,
                           std::optional<std::string_view> type_filter,
                           std::optional<std::string_view> search_text) {
  std::vector<std::size_t> filtered;
  for (std::size_t i = 0; i < matrix.size(); ++i) {
    const EntryView& e = matrix[i];
    if (e.is_anchor_only) continue;
    if (type_filter && need(e.element_type, "element_type") != *type_filter) continue;
    filtered.push_back(i);
  }

  if (search_text && !search_text->empty()) {
    const std::string wanted = text::lower(*search_text);
    std::vector<std::size_t> exact;
    for (std::size_t i : filtered) {
      if (text::strip(text::lower(need(matrix[i].text, "text"))) == wanted) exact.push_back(i);
    }
    // Exact texts win only when there are enough of them for the ordinal.
    if (ordinal >= 1 && exact.size() >= static_cast<std::uint64_t>(ordinal)) {
      filtered = std::move(exact);
    } else {
      const std::string loose = normalize(*search_text);
      std::vector<std::size_t> partial;
      for (std::size_t i : filtered) {
        if (normalize(need(matrix[i].searchable, "searchable")).find(loose) != std::string::npos) {
          partial.push_back(i);
        }
      }
      if (!partial.empty()) filtered = std::move(partial);
    }
  }

  Resolution r;
  if (ordinal < 1 || static_cast<std::uint64_t>(ordinal) > filtered.size()) return r;
  r.shape = Resolution::Shape::Ordinal;
  r.element = filtered[static_cast<std::size_t>(ordinal - 1)];
  r.candidates = std::move(filtered);
  return r;
}

std::vector<std::size_t> relation_candidates(std::span<const EntryView> matrix,
                                             std::size_t anchor_index,
                                             const std::optional<std::string>& type,
                                             const std::optional<std::string>& target_text) {
  const EntryView& anchor = matrix[anchor_index];
  std::vector<std::size_t> pool;
  for (std::size_t i = 0; i < matrix.size(); ++i) {
    const EntryView& e = matrix[i];
    if (need(e.index, "index") == need(anchor.index, "index")) continue;
    if (e.is_anchor_only) continue;
    if (type && need(e.element_type, "element_type") != *type) continue;
    pool.push_back(i);
  }
  if (!target_text || target_text->empty()) return pool;
  const std::string wanted = normalize(*target_text);
  std::vector<std::size_t> narrowed;
  for (std::size_t i : pool) {
    if (normalize(text_or_empty(matrix[i].searchable)).find(wanted) != std::string::npos) {
      narrowed.push_back(i);
    }
  }
  return narrowed.empty() ? pool : narrowed;
}

Resolution resolve(std::span<const EntryView> matrix, std::string_view target) {
  Target parsed = parse_target(target);
  const bool has_anchor = parsed.anchor && !parsed.anchor->empty();
  if (!has_anchor) {
    if (!parsed.ordinal) return {};
    return resolve_ordinal(matrix, *parsed.ordinal, parsed.type_filter, parsed.search_text);
  }

  const std::optional<std::size_t> anchor_index = find_anchor(matrix, *parsed.anchor);
  if (!anchor_index) return {};
  const EntryView& anchor = matrix[*anchor_index];

  auto candidates_of = [&](const std::optional<std::string>& type) {
    return relation_candidates(matrix, *anchor_index, type, parsed.target_text);
  };

  std::vector<std::size_t> candidates = candidates_of(parsed.type_filter);
  if (candidates.empty()) return {};
  std::vector<std::size_t> ranked =
      rank(matrix, candidates, anchor, parsed.relation, parsed.ordinal);
  bool type_relaxed = false;
  // A named type that stands nowhere in the relation is dropped rather than
  // answering nothing ("field below Name" when only a button is below).
  if (ranked.empty() && parsed.type_filter) {
    candidates = candidates_of(std::nullopt);
    ranked = rank(matrix, candidates, anchor, parsed.relation, parsed.ordinal);
    type_relaxed = true;
  }
  if (ranked.empty()) return {};

  Resolution r;
  r.shape = Resolution::Shape::Relation;
  r.element = ranked.front();
  r.anchor = *anchor_index;
  r.ordinal = parsed.ordinal.value_or(1);
  r.type_relaxed = type_relaxed;
  r.type_filter = std::move(parsed.type_filter);
  r.candidates = std::move(ranked);
  return r;
}

}  // namespace marrowlane::spatial
