#include "marrowlane/nearest.hpp"

#include <algorithm>
#include <array>
#include <unordered_set>
#include <utility>

#include "marrowlane/text.hpp"

namespace marrowlane::nearest {

std::u32string code_points(std::string_view utf8) {
  std::u32string out;
  out.reserve(utf8.size());
  for (std::size_t pos = 0; pos < utf8.size();) {
    const auto byte = static_cast<unsigned char>(utf8[pos]);
    if (byte < 0x80) {
      out.push_back(byte);
      ++pos;
    } else {
      out.push_back(text::decode(utf8, pos));
    }
  }
  return out;
}

namespace {

// What one ratio works with, kept from one ratio to the next so that scoring a
// page allocates next to nothing.
struct Workspace {
  // (character, position) of `b` by character, then position: SequenceMatcher's
  // b2j, without the popular characters of a long text.
  std::vector<std::pair<char32_t, std::size_t>> b2j;
  // The length of the match ending at each position of `b`, for two rows (the
  // previous `i` and this one); a length counts only where its row is `row`.
  std::array<std::vector<std::size_t>, 2> run, row;
  std::vector<std::array<std::size_t, 4>> ranges;
};

void index(Workspace& w, std::u32string_view b) {
  w.b2j.clear();
  for (std::size_t j = 0; j < b.size(); ++j) w.b2j.emplace_back(b[j], j);
  std::sort(w.b2j.begin(), w.b2j.end());
  if (b.size() < 200) return;
  const std::size_t most = b.size() / 100 + 1;
  auto kept = w.b2j.begin();
  for (auto it = w.b2j.begin(); it != w.b2j.end();) {
    auto end = std::find_if(it, w.b2j.end(), [&](const auto& e) { return e.first != it->first; });
    if (static_cast<std::size_t>(end - it) <= most) kept = std::move(it, end, kept);
    it = end;
  }
  w.b2j.erase(kept, w.b2j.end());
}

}  // namespace

double sequence_ratio(std::u32string_view a, std::u32string_view b) {
  const std::size_t length = a.size() + b.size();
  if (length == 0) return 1.0;
  if (a.empty() || b.empty()) return 0.0;
  thread_local Workspace w;
  index(w, b);
  for (std::size_t r = 0; r < 2; ++r) {
    w.run[r].assign(b.size(), 0);
    w.row[r].assign(b.size(), 0);
  }
  std::size_t row = 0;  // rows are numbered across all ranges; row 0 is never written
  std::size_t matched = 0;
  // The longest match of each range, then the ranges left and right of it.
  w.ranges.assign(1, {0, a.size(), 0, b.size()});
  while (!w.ranges.empty()) {
    auto [alo, ahi, blo, bhi] = w.ranges.back();
    w.ranges.pop_back();
    std::size_t best_i = alo, best_j = blo, best = 0;
    ++row;  // a row before the range's first, left empty
    for (std::size_t i = alo; i < ahi; ++i) {
      ++row;
      const auto& prev_run = w.run[(row - 1) & 1];
      const auto& prev_row = w.row[(row - 1) & 1];
      auto& run = w.run[row & 1];
      auto& this_row = w.row[row & 1];
      auto found = std::lower_bound(w.b2j.begin(), w.b2j.end(), std::pair{a[i], blo});
      for (; found != w.b2j.end() && found->first == a[i] && found->second < bhi; ++found) {
        const std::size_t j = found->second;
        std::size_t k = 1;
        if (j > 0 && prev_row[j - 1] == row - 1) k += prev_run[j - 1];
        run[j] = k;
        this_row[j] = row;
        if (k > best) {
          best_i = i + 1 - k;
          best_j = j + 1 - k;
          best = k;
        }
      }
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
    if (alo < best_i && blo < best_j) w.ranges.push_back({alo, best_i, blo, best_j});
    if (best_i + best < ahi && best_j + best < bhi) {
      w.ranges.push_back({best_i + best, ahi, best_j + best, bhi});
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
