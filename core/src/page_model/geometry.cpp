// Label geometry and text de-duplication in O(n log n).
//
// Both passes answer exactly as the plain all-pairs comparison they replace
// (core/tests/page_model_test_geometry.cpp checks that on random layouts):
// boxes whose numbers are all finite and of page size go through an index;
// the rest (infinities, NaNs, negative sizes, absurd magnitudes) are compared
// pair by pair, as before.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <unordered_map>

#include "marrowlane/page_model.hpp"

namespace marrowlane::page_model {

namespace {

// Sums and differences of such numbers stay finite and exact enough to index.
constexpr double kPageMagnitude = 1e15;
constexpr std::size_t kNone = std::numeric_limits<std::size_t>::max();

bool page_sized(double v) { return std::isfinite(v) && std::fabs(v) <= kPageMagnitude; }

bool regular(const Box& b) {
  return page_sized(b.x) && page_sized(b.y) && page_sized(b.width) && page_sized(b.height) &&
         b.width >= 0 && b.height >= 0;
}

// --- Label geometry ------------------------------------------------------------

// A segment tree of candidate indices keeping, per node, the best candidate:
// the lowest bottom edge, then the first in candidate order.
class BestTree {
 public:
  BestTree(std::size_t positions, const std::vector<double>& bottom) : bottom_(bottom) {
    while (size_ < positions) size_ *= 2;
    node_.assign(2 * size_, kNone);
  }

  std::size_t better(std::size_t a, std::size_t b) const {
    if (a == kNone) return b;
    if (b == kNone) return a;
    if (bottom_[a] != bottom_[b]) return bottom_[a] > bottom_[b] ? a : b;
    return std::min(a, b);
  }

  // Point update, range query.
  void put(std::size_t pos, std::size_t cand) {
    std::size_t i = pos + size_;
    node_[i] = better(node_[i], cand);
    for (i /= 2; i >= 1; i /= 2) node_[i] = better(node_[2 * i], node_[2 * i + 1]);
  }
  std::size_t best_in(std::size_t lo, std::size_t hi) const {  // [lo, hi)
    std::size_t best = kNone;
    for (lo += size_, hi += size_; lo < hi; lo /= 2, hi /= 2) {
      if (lo & 1) best = better(best, node_[lo++]);
      if (hi & 1) best = better(best, node_[--hi]);
    }
    return best;
  }

  // Range update, point query.
  void put_over(std::size_t lo, std::size_t hi, std::size_t cand) {  // [lo, hi)
    for (lo += size_, hi += size_; lo < hi; lo /= 2, hi /= 2) {
      if (lo & 1) node_[lo] = better(node_[lo], cand), ++lo;
      if (hi & 1) --hi, node_[hi] = better(node_[hi], cand);
    }
  }
  std::size_t best_at(std::size_t pos) const {
    std::size_t best = kNone;
    for (std::size_t i = pos + size_; i >= 1; i /= 2) best = better(best, node_[i]);
    return best;
  }

 private:
  std::size_t size_ = 1;
  std::vector<std::size_t> node_;
  const std::vector<double>& bottom_;
};

// The nearest candidate as the all-pairs comparison finds it: the smallest
// distance from the candidate's bottom edge down to the target's top edge,
// the first in candidate order on a tie; kNone when none qualifies.
struct Nearest {
  std::size_t index = kNone;
  double dist = std::numeric_limits<double>::infinity();

  void offer(std::size_t c, double d) {
    if (!(d < std::numeric_limits<double>::infinity())) return;  // NaN or no distance
    if (d < dist || (d == dist && c < index)) {
      dist = d;
      index = c;
    }
  }
};

void offer_pairwise(Nearest& best, const Box& el, std::span<const LabelCandidate> candidates,
                    const std::vector<std::size_t>& which) {
  for (std::size_t c : which) {
    const Box& cb = candidates[c].box;
    double c_bottom = cb.y + cb.height;
    if (c_bottom > el.y) continue;  // must end at or above the element's top
    if (!(cb.x <= el.x + el.width && cb.x + cb.width >= el.x)) continue;
    best.offer(c, el.y - c_bottom);
  }
}

}  // namespace

std::vector<std::optional<std::size_t>> assign_spatial_labels(
    std::span<const LabelTarget> targets, std::span<const LabelCandidate> candidates) {
  std::vector<std::optional<std::size_t>> out(targets.size());
  const std::size_t n = candidates.size();

  // Candidates of page size go into the index; the others are compared pair by pair.
  std::vector<double> bottom(n), right(n);
  std::vector<std::size_t> indexed, pairwise;
  for (std::size_t c = 0; c < n; ++c) {
    const Box& cb = candidates[c].box;
    bottom[c] = cb.y + cb.height;
    right[c] = cb.x + cb.width;
    (regular(cb) ? indexed : pairwise).push_back(c);
  }
  // By left edge (tree A: candidates starting inside the target's span) and
  // over their extent (tree B: candidates covering the target's left edge).
  std::vector<std::size_t> by_left = indexed;
  std::sort(by_left.begin(), by_left.end(), [&](std::size_t a, std::size_t b) {
    return candidates[a].box.x < candidates[b].box.x;
  });
  std::vector<double> lefts;
  std::vector<std::size_t> left_rank(n);
  for (std::size_t i = 0; i < by_left.size(); ++i) {
    left_rank[by_left[i]] = i;
    lefts.push_back(candidates[by_left[i]].box.x);
  }
  std::vector<double> edges;
  for (std::size_t c : indexed) {
    edges.push_back(candidates[c].box.x);
    edges.push_back(right[c]);
  }
  std::sort(edges.begin(), edges.end());
  edges.erase(std::unique(edges.begin(), edges.end()), edges.end());
  // Edge k sits at position 2k + 1; the gaps between edges at the even ones.
  auto edge_pos = [&](double v) {
    return 2 * static_cast<std::size_t>(std::lower_bound(edges.begin(), edges.end(), v) -
                                        edges.begin()) +
           1;
  };
  auto point_pos = [&](double v) {
    auto it = std::lower_bound(edges.begin(), edges.end(), v);
    std::size_t k = static_cast<std::size_t>(it - edges.begin());
    return it != edges.end() && *it == v ? 2 * k + 1 : 2 * k;
  };
  BestTree starting(by_left.size(), bottom), covering(2 * edges.size() + 1, bottom);

  std::vector<std::size_t> by_bottom = indexed;
  std::sort(by_bottom.begin(), by_bottom.end(),
            [&](std::size_t a, std::size_t b) { return bottom[a] < bottom[b]; });
  std::vector<std::size_t> order;  // indexed targets, top edge first
  for (std::size_t t = 0; t < targets.size(); ++t) {
    const LabelTarget& target = targets[t];
    if (target.has_label || !target.box) continue;
    if (regular(*target.box)) {
      order.push_back(t);
      continue;
    }
    Nearest best;
    std::vector<std::size_t> all(n);
    for (std::size_t c = 0; c < n; ++c) all[c] = c;
    offer_pairwise(best, *target.box, candidates, all);
    if (best.index != kNone && !candidates[best.index].text.empty()) out[t] = best.index;
  }
  std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
    return targets[a].box->y < targets[b].box->y;
  });

  std::size_t inserted = 0;
  for (std::size_t t : order) {
    const Box& el = *targets[t].box;
    for (; inserted < by_bottom.size() && bottom[by_bottom[inserted]] <= el.y; ++inserted) {
      std::size_t c = by_bottom[inserted];
      starting.put(left_rank[c], c);
      covering.put_over(edge_pos(candidates[c].box.x), edge_pos(right[c]) + 1, c);
    }
    const double left = el.x, span_right = el.x + el.width;
    auto lo = std::lower_bound(lefts.begin(), lefts.end(), left) - lefts.begin();
    auto hi = std::upper_bound(lefts.begin(), lefts.end(), span_right) - lefts.begin();
    std::size_t found = starting.better(
        lo < hi ? starting.best_in(static_cast<std::size_t>(lo), static_cast<std::size_t>(hi))
                : kNone,
        covering.best_at(point_pos(left)));
    Nearest best;
    if (found != kNone) {
      best.offer(found, el.y - bottom[found]);
      // A lower bottom edge may still give the same rounded distance: those
      // candidates compete on their order.
      auto at =
          std::lower_bound(by_bottom.begin(), by_bottom.end(), found,
                           [&](std::size_t a, std::size_t b) { return bottom[a] < bottom[b]; });
      for (auto it = at; it != by_bottom.begin();) {
        std::size_t c = *--it;
        if (el.y - bottom[c] != best.dist) break;
        if (candidates[c].box.x <= span_right && right[c] >= left) best.offer(c, best.dist);
      }
    }
    offer_pairwise(best, el, candidates, pairwise);
    if (best.index != kNone && !candidates[best.index].text.empty()) out[t] = best.index;
  }
  return out;
}

void assign_spatial_labels(std::vector<ElementRecord>& elements,
                           std::span<const LabelCandidate> candidates) {
  std::vector<LabelTarget> targets;
  targets.reserve(elements.size());
  for (const auto& rec : elements) {
    const std::string* label = rec.attributes.find("_label");
    targets.push_back({label && !label->empty(), rec.box});
  }
  auto chosen = assign_spatial_labels(targets, candidates);
  for (std::size_t i = 0; i < elements.size(); ++i) {
    if (chosen[i]) elements[i].attributes.set("_label", candidates[*chosen[i]].text);
  }
}

// --- Text de-duplication ---------------------------------------------------------

namespace {

double area(const Box& b) { return b.width * b.height; }

bool overlaps(const Box& a, const Box& b) {
  return a.x < b.x + b.width && a.x + a.width > b.x && a.y < b.y + b.height && a.y + a.height > b.y;
}

// Boxes by the cells of a grid they touch (edges included, so two boxes that
// overlap share a cell). A box over too many cells is kept aside in a list
// every query scans up to its own area (only smaller boxes can dominate it).
class BoxGrid {
 public:
  static constexpr std::int64_t kMaxCells = 64;

  BoxGrid(std::span<const TextView> elements, const std::vector<double>& areas)
      : elements_(elements), areas_(areas) {
    std::vector<double> widths, heights;
    for (const auto& el : elements) {
      if (!regular(el.box)) continue;
      widths.push_back(el.box.width);
      heights.push_back(el.box.height);
    }
    cell_w_ = std::max(1.0, median(widths));
    cell_h_ = std::max(1.0, median(heights));
    for (std::size_t j = 0; j < elements.size(); ++j) {
      Range r;
      if (!regular(elements[j].box)) {
        irregular_.push_back(j);
        continue;
      }
      if (!cells(elements[j].box, r)) {
        aside_.push_back(j);
        continue;
      }
      for (std::int64_t cx = r.x0; cx <= r.x1; ++cx) {
        for (std::int64_t cy = r.y0; cy <= r.y1; ++cy) cells_[key(cx, cy)].push_back(j);
      }
    }
    std::stable_sort(aside_.begin(), aside_.end(),
                     [&](std::size_t a, std::size_t b) { return areas_[a] < areas_[b]; });
    stamp_.assign(elements.size(), kNone);
  }

  // Whether `dominated(j)` holds for some element j that may overlap i.
  template <class F>
  bool any_near(std::size_t i, F&& dominated) {
    const Box& box = elements_[i].box;
    Range r;
    if (!regular(box) || !cells(box, r)) {
      for (std::size_t j = 0; j < elements_.size(); ++j) {
        if (dominated(j)) return true;
      }
      return false;
    }
    for (std::size_t j : aside_) {  // smallest area first
      if (!(areas_[j] < areas_[i])) break;
      if (dominated(j)) return true;
    }
    for (std::size_t j : irregular_) {
      if (dominated(j)) return true;
    }
    for (std::int64_t cx = r.x0; cx <= r.x1; ++cx) {
      for (std::int64_t cy = r.y0; cy <= r.y1; ++cy) {
        auto found = cells_.find(key(cx, cy));
        if (found == cells_.end()) continue;
        for (std::size_t j : found->second) {
          if (stamp_[j] == i) continue;
          stamp_[j] = i;
          if (dominated(j)) return true;
        }
      }
    }
    return false;
  }

 private:
  struct Range {
    std::int64_t x0, x1, y0, y1;
  };

  static double median(std::vector<double>& v) {
    if (v.empty()) return 1.0;
    auto mid = v.begin() + static_cast<std::ptrdiff_t>(v.size() / 2);
    std::nth_element(v.begin(), mid, v.end());
    return *mid;
  }
  bool cells(const Box& b, Range& r) const {
    r.x0 = static_cast<std::int64_t>(std::floor(b.x / cell_w_));
    r.x1 = static_cast<std::int64_t>(std::floor((b.x + b.width) / cell_w_));
    r.y0 = static_cast<std::int64_t>(std::floor(b.y / cell_h_));
    r.y1 = static_cast<std::int64_t>(std::floor((b.y + b.height) / cell_h_));
    std::int64_t across = r.x1 - r.x0 + 1, down = r.y1 - r.y0 + 1;
    return across <= kMaxCells && down <= kMaxCells && across * down <= kMaxCells;
  }
  static std::uint64_t key(std::int64_t cx, std::int64_t cy) {
    return (static_cast<std::uint64_t>(cx) << 32) ^ static_cast<std::uint64_t>(cy & 0xffffffff);
  }

  std::span<const TextView> elements_;
  const std::vector<double>& areas_;
  double cell_w_ = 1, cell_h_ = 1;
  std::unordered_map<std::uint64_t, std::vector<std::size_t>> cells_;
  std::vector<std::size_t> aside_;      // regular boxes over too many cells, by area
  std::vector<std::size_t> irregular_;  // compared with every query
  std::vector<std::size_t> stamp_;
};

}  // namespace

std::vector<std::size_t> dedup_text_elements(std::span<const TextView> elements) {
  std::vector<double> areas;
  areas.reserve(elements.size());
  for (const auto& el : elements) areas.push_back(area(el.box));

  BoxGrid grid(elements, areas);
  std::vector<std::size_t> keep;
  for (std::size_t i = 0; i < elements.size(); ++i) {
    const TextView& el = elements[i];
    bool dominated = !el.has_direct_text && grid.any_near(i, [&](std::size_t j) {
      return j != i && areas[j] < areas[i] && overlaps(el.box, elements[j].box) &&
             el.text.find(elements[j].text) != std::string_view::npos;
    });
    if (!dominated) keep.push_back(i);
  }
  return keep;
}

std::vector<std::size_t> dedup_text_elements(std::span<const TextElementRecord> elements) {
  std::vector<TextView> views;
  views.reserve(elements.size());
  for (const auto& rec : elements) views.push_back({rec.text, rec.has_direct_text, rec.box});
  return dedup_text_elements(views);
}

}  // namespace marrowlane::page_model
