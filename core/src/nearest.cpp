#include "marrowlane/nearest.hpp"

#include <algorithm>
#include <array>
#include <unordered_map>
#include <unordered_set>
#include <utility>

#include "marrowlane/text.hpp"

namespace marrowlane::nearest {

std::u32string code_points(std::string_view utf8) {
  std::u32string out;
  out.reserve(utf8.size());
  for (std::size_t pos = 0; pos < utf8.size();) out.push_back(text::decode(utf8, pos));
  return out;
}

namespace {

// The positions of each character of `b`, as SequenceMatcher keeps them after
// dropping the popular characters of a long text.
std::unordered_map<char32_t, std::vector<std::size_t>> positions(std::u32string_view b) {
  std::unordered_map<char32_t, std::vector<std::size_t>> b2j;
  for (std::size_t j = 0; j < b.size(); ++j) b2j[b[j]].push_back(j);
  if (b.size() >= 200) {
    std::size_t most = b.size() / 100 + 1;
    std::erase_if(b2j, [most](const auto& entry) { return entry.second.size() > most; });
  }
  return b2j;
}

}  // namespace

double sequence_ratio(std::u32string_view a, std::u32string_view b) {
  const std::size_t length = a.size() + b.size();
  if (length == 0) return 1.0;
  const auto b2j = positions(b);
  std::size_t matched = 0;
  // The longest match of each range, then the ranges left and right of it.
  std::vector<std::array<std::size_t, 4>> ranges{{0, a.size(), 0, b.size()}};
  std::unordered_map<std::size_t, std::size_t> run, next_run;  // match length ending at j
  while (!ranges.empty()) {
    auto [alo, ahi, blo, bhi] = ranges.back();
    ranges.pop_back();
    std::size_t best_i = alo, best_j = blo, best = 0;
    run.clear();
    for (std::size_t i = alo; i < ahi; ++i) {
      next_run.clear();
      auto found = b2j.find(a[i]);
      if (found != b2j.end()) {
        for (std::size_t j : found->second) {
          if (j < blo) continue;
          if (j >= bhi) break;
          std::size_t k = 1;
          if (j > 0) {
            auto before = run.find(j - 1);
            if (before != run.end()) k += before->second;
          }
          next_run[j] = k;
          if (k > best) {
            best_i = i + 1 - k;
            best_j = j + 1 - k;
            best = k;
          }
        }
      }
      std::swap(run, next_run);
    }
    // Popular characters start no match but may extend one.
    while (best_i > alo && best_j > blo && a[best_i - 1] == b[best_j - 1]) {
      --best_i;
      --best_j;
      ++best;
    }
    while (best_i + best < ahi && best_j + best < bhi && a[best_i + best] == b[best_j + best]) {
      ++best;
    }
    if (best == 0) continue;
    matched += best;
    if (alo < best_i && blo < best_j) ranges.push_back({alo, best_i, blo, best_j});
    if (best_i + best < ahi && best_j + best < bhi) {
      ranges.push_back({best_i + best, ahi, best_j + best, bhi});
    }
  }
  return 2.0 * static_cast<double>(matched) / static_cast<double>(length);
}

double closeness(std::u32string_view want, std::u32string_view name) {
  double ratio = sequence_ratio(want, name);
  bool contained = !want.empty() && (name.find(want) != std::u32string_view::npos ||
                                     want.find(name) != std::u32string_view::npos);
  return ratio + (contained ? 0.5 : 0);
}

double best_closeness(std::string_view want, const std::vector<std::string_view>& names) {
  const std::u32string wanted = code_points(want);
  double best = -1;
  for (std::string_view name : names) best = std::max(best, closeness(wanted, code_points(name)));
  return best;
}

namespace {

// Where str.splitlines() breaks a line.
bool is_line_break(char32_t cp) {
  switch (cp) {
    case U'\n':
    case U'\r':
    case 0x0b:
    case 0x0c:
    case 0x1c:
    case 0x1d:
    case 0x1e:
    case 0x85:
    case 0x2028:
    case 0x2029: return true;
    default: return false;
  }
}

// A value as a name: its first line, blanks collapsed, clipped; "" for a blank value.
std::string as_name(std::string_view value) {
  std::string_view line = text::strip(value);
  for (std::size_t pos = 0; pos < line.size();) {
    const std::size_t at = pos;
    if (is_line_break(text::decode(line, pos))) {
      line = line.substr(0, at);
      break;
    }
  }
  std::string out = text::join(text::split(line), " ");
  if (text::char_count(out) <= kMaxName) return out;
  return std::string(text::first_chars(out, kMaxName - 1)) + "\u2026";
}

}  // namespace

std::string name_of(const Record& record) {
  if (!record.select) {
    if (std::string name = as_name(record.text); !name.empty()) return name;
  }
  for (std::string_view value : record.attributes) {
    if (std::string name = as_name(value); !name.empty()) return name;
  }
  return record.select ? as_name(record.text) : std::string();
}

std::vector<std::size_t> nearest(std::string_view want, std::span<const Record> records,
                                 std::size_t limit) {
  const std::u32string wanted = code_points(text::lower(text::strip(want)));
  struct Scored {
    double score;
    bool visible;
    std::size_t order;
  };
  std::vector<Scored> scored;
  scored.reserve(records.size());
  for (std::size_t order = 0; order < records.size(); ++order) {
    const Record& record = records[order];
    // A record has a name exactly when one of these is not blank.
    double best = -1;
    auto weigh = [&](std::string_view value) {
      value = text::strip(value);
      if (!value.empty()) best = std::max(best, closeness(wanted, code_points(text::lower(value))));
    };
    weigh(record.text);
    for (std::string_view value : record.attributes) weigh(value);
    if (best >= 0) scored.push_back({best, record.visible, order});
  }
  std::sort(scored.begin(), scored.end(), [](const Scored& a, const Scored& b) {
    if (a.score != b.score) return a.score > b.score;
    if (a.visible != b.visible) return a.visible;
    return a.order < b.order;
  });
  std::vector<std::size_t> chosen;
  std::unordered_set<std::string> names;
  for (const Scored& s : scored) {
    if (names.insert(name_of(records[s.order])).second) chosen.push_back(s.order);
    if (chosen.size() == limit) break;
  }
  return chosen;
}

}  // namespace marrowlane::nearest
