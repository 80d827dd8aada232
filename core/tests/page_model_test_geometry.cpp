// The indexed label geometry and text de-duplication against the plain
// all-pairs comparison they replace, on random layouts: the answers must be
// the same, ties and odd boxes included.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <string>

#include "marrowlane/page_model.hpp"

namespace pm = marrowlane::page_model;
using pm::Box;

namespace {

std::vector<std::optional<std::size_t>> labels_pairwise(std::span<const pm::LabelTarget> targets,
                                                        std::span<const pm::LabelCandidate> cands) {
  std::vector<std::optional<std::size_t>> out(targets.size());
  for (std::size_t t = 0; t < targets.size(); ++t) {
    if (targets[t].has_label || !targets[t].box) continue;
    const Box& el = *targets[t].box;
    std::optional<std::size_t> best;
    double best_dist = std::numeric_limits<double>::infinity();
    for (std::size_t c = 0; c < cands.size(); ++c) {
      const Box& cb = cands[c].box;
      double c_bottom = cb.y + cb.height;
      if (c_bottom > el.y) continue;
      if (!(cb.x <= el.x + el.width && cb.x + cb.width >= el.x)) continue;
      double dist = el.y - c_bottom;
      if (dist < best_dist) {
        best_dist = dist;
        best = c;
      }
    }
    if (best && !cands[*best].text.empty()) out[t] = best;
  }
  return out;
}

std::vector<std::size_t> dedup_pairwise(std::span<const pm::TextView> els) {
  auto area = [](const Box& b) { return b.width * b.height; };
  auto overlaps = [](const Box& a, const Box& b) {
    return a.x < b.x + b.width && a.x + a.width > b.x && a.y < b.y + b.height &&
           a.y + a.height > b.y;
  };
  std::vector<std::size_t> keep;
  for (std::size_t i = 0; i < els.size(); ++i) {
    bool dominated = false;
    for (std::size_t j = 0; j < els.size() && !dominated && !els[i].has_direct_text; ++j) {
      dominated = j != i && area(els[j].box) < area(els[i].box) &&
                  overlaps(els[i].box, els[j].box) &&
                  els[i].text.find(els[j].text) != std::string_view::npos;
    }
    if (!dominated) keep.push_back(i);
  }
  return keep;
}

// Layouts of four kinds: coarse grids (many ties and shared edges), fine
// random numbers, a few odd boxes (infinities, NaN, negative sizes, huge
// numbers), and targets so far below tiny bottoms that distances round alike.
struct Layouts {
  std::mt19937_64 rng;
  double coarse(double hi) { return std::uniform_int_distribution<int>(0, 8)(rng) * hi / 8; }
  double any(double hi) { return std::uniform_real_distribution<double>(-hi / 10, hi)(rng); }
  double odd() {
    static const double values[] = {std::numeric_limits<double>::infinity(),
                                    -std::numeric_limits<double>::infinity(),
                                    std::numeric_limits<double>::quiet_NaN(),
                                    -5,
                                    1e300,
                                    1e17,
                                    1e17 + 16,
                                    9.99e14};
    return values[std::uniform_int_distribution<int>(0, 7)(rng)];
  }
  Box box(int kind) {
    if (kind == 3) {  // far below tiny bottoms: distances round alike
      bool far = rng() % 2;
      double y = far ? 562949953421312.0 : std::uniform_real_distribution<double>(0, 0.05)(rng);
      return {coarse(400), y, coarse(200), far ? coarse(80) : 0};
    }
    if (kind == 0) return {coarse(400), coarse(400), coarse(200), coarse(80)};
    if (kind == 1) return {any(400), any(400), any(200) + 20, any(60) + 6};
    Box b{coarse(400), coarse(400), coarse(200), coarse(80)};
    double* field[] = {&b.x, &b.y, &b.width, &b.height};
    *field[std::uniform_int_distribution<int>(0, 3)(rng)] = odd();
    return b;
  }
  int kind() {
    int r = std::uniform_int_distribution<int>(0, 19)(rng);
    return r < 10 ? 0 : r < 19 ? 1 : 2;
  }
  // Small layouts first, then larger ones; one kind of box per layout, or all mixed.
  std::size_t size(int trial) {
    return std::uniform_int_distribution<std::size_t>(0, trial < 200 ? 12 : 150)(rng);
  }
  Box box_for(int trial) { return box(trial % 4 == 2 ? kind() : trial % 4); }
  std::string text() {
    static const char* words[] = {"", "a", "ab", "b", "abc", "ba", "c"};
    return words[std::uniform_int_distribution<int>(0, 6)(rng)];
  }
};

TEST(Geometry, LabelsMatchThePairwiseAnswer) {
  Layouts gen{std::mt19937_64(14)};
  for (int trial = 0; trial < 400; ++trial) {
    std::size_t n = gen.size(trial);
    std::vector<pm::LabelCandidate> cands;
    std::vector<pm::LabelTarget> targets;
    for (std::size_t i = 0; i < n; ++i) {
      cands.push_back({gen.text(), gen.box_for(trial)});
      std::optional<Box> box;
      if (gen.rng() % 10) box = gen.box_for(trial);
      targets.push_back({gen.rng() % 8 == 0, box});
    }
    ASSERT_EQ(pm::assign_spatial_labels(targets, cands), labels_pairwise(targets, cands))
        << "trial " << trial;
  }
}

TEST(Geometry, DedupMatchesThePairwiseAnswer) {
  Layouts gen{std::mt19937_64(15)};
  for (int trial = 0; trial < 400; ++trial) {
    std::size_t n = gen.size(trial);
    std::vector<std::string> texts;
    std::vector<pm::TextView> views;
    for (std::size_t i = 0; i < n; ++i) texts.push_back(gen.text());
    for (std::size_t i = 0; i < n; ++i)
      views.push_back({texts[i], gen.rng() % 3 == 0, gen.box_for(trial)});
    ASSERT_EQ(pm::dedup_text_elements(views), dedup_pairwise(views)) << "trial " << trial;
  }
}

}  // namespace
