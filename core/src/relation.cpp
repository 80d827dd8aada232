#include "marrowlane/relation.hpp"

#include <algorithm>
#include <cmath>

#include "marrowlane/resolve.hpp"

namespace marrowlane::relation {

namespace {

// Boxes that touch within this many pixels still count as beside each other
// (rounding of layout units, a border drawn over the neighbour's edge).
constexpr double kSlack = 2.0;

// Whether two extents really share a band: at least half of the shorter one
// overlaps the other. Rows that merely touch, or overlap by a pixel or two,
// do not; a zero extent counts when it lies inside the other.
bool share_band(double a_lo, double a_hi, double b_lo, double b_hi) {
  const double overlap = std::min(a_hi, b_hi) - std::max(a_lo, b_lo);
  const double shorter = std::min(a_hi - a_lo, b_hi - b_lo);
  if (shorter <= 0) return overlap >= 0;
  return overlap > 0 && overlap * 2 >= shorter;
}

bool same_line(const Box& a, const Box& b) { return share_band(a.y, a.y2(), b.y, b.y2()); }
bool same_column(const Box& a, const Box& b) { return share_band(a.x, a.x2(), b.x, b.x2()); }

// The gap between two boxes: zero along an axis where they overlap.
double box_distance(const Box& a, const Box& b) {
  const double dx = std::max({0.0, a.x - b.x2(), b.x - a.x2()});
  const double dy = std::max({0.0, a.y - b.y2(), b.y - a.y2()});
  return std::hypot(dx, dy);
}

double centre_distance(const Box& a, const Box& b) {
  return std::hypot((a.x + a.w / 2) - (b.x + b.w / 2), (a.y + a.h / 2) - (b.y + b.h / 2));
}

bool holds(const Box& outer, const Box& inner) {
  return outer.x <= inner.x && outer.y <= inner.y && outer.x2() >= inner.x2() &&
         outer.y2() >= inner.y2();
}

// Where `b` stands to `a` for one side: on the line (column) and beyond it.
struct Side {
  bool beside;   // on that side at all
  double gap;    // distance along the relation's axis
  bool in_band;  // on the anchor's line (column)
};

Side right_of(const Box& a, const Box& b) {
  return {b.x >= a.x2() - kSlack, b.x - a.x2(), same_line(a, b)};
}
Side left_of(const Box& a, const Box& b) {
  return {b.x2() <= a.x + kSlack, a.x - b.x2(), same_line(a, b)};
}
Side below(const Box& a, const Box& b) {
  return {b.y >= a.y2() - kSlack, b.y - a.y2(), same_column(a, b)};
}
Side above(const Box& a, const Box& b) {
  return {b.y2() <= a.y + kSlack, a.y - b.y2(), same_column(a, b)};
}

}  // namespace

std::optional<Direction> direction_of(std::string_view relation) {
  if (relation == "next_to") return Direction::NextTo;
  if (relation == "right") return Direction::Right;
  if (relation == "left") return Direction::Left;
  if (relation == "below") return Direction::Below;
  if (relation == "above") return Direction::Above;
  if (relation == "near") return Direction::Near;
  return std::nullopt;
}

std::vector<Placed> order(const Box& anchor, std::span<const Box> boxes,
                          std::span<const std::size_t> candidates, Direction direction) {
  // Each candidate gets a tier (its place among the reaches), a gap and, for
  // ties, its centre distance; the sort is stable, so reading order decides last.
  struct Keyed {
    Placed placed;
    int tier;
    double tie;
  };
  std::vector<Keyed> kept;
  kept.reserve(candidates.size());
  for (std::size_t i : candidates) {
    const Box& b = boxes[i];
    if (holds(b, anchor)) continue;
    const double tie = centre_distance(anchor, b);
    const double apart = box_distance(anchor, b);
    auto one_side = [&](Side side, Reach band) {
      if (!side.beside) return;
      if (side.in_band) {
        kept.push_back({{i, band, std::max(0.0, side.gap)}, 0, tie});
      } else {
        kept.push_back({{i, Reach::Beyond, apart}, 2, tie});
      }
    };
    switch (direction) {
      case Direction::Right: one_side(right_of(anchor, b), Reach::Line); break;
      case Direction::Left: one_side(left_of(anchor, b), Reach::Line); break;
      case Direction::Below: one_side(below(anchor, b), Reach::Column); break;
      case Direction::Above: one_side(above(anchor, b), Reach::Column); break;
      case Direction::Near: kept.push_back({{i, Reach::Around, apart}, 0, tie}); break;
      case Direction::NextTo: {
        const Side right = right_of(anchor, b), left = left_of(anchor, b);
        if (right.beside && right.in_band) {
          kept.push_back({{i, Reach::Line, std::max(0.0, right.gap)}, 0, tie});
        } else if (left.beside && left.in_band) {
          kept.push_back({{i, Reach::Line, std::max(0.0, left.gap)}, 1, tie});
        } else {
          kept.push_back({{i, Reach::Beyond, apart}, 2, tie});
        }
        break;
      }
    }
  }
  std::stable_sort(kept.begin(), kept.end(), [](const Keyed& a, const Keyed& b) {
    if (a.tier != b.tier) return a.tier < b.tier;
    if (a.placed.distance != b.placed.distance) return a.placed.distance < b.placed.distance;
    return a.tie < b.tie;
  });
  std::vector<Placed> out;
  out.reserve(kept.size());
  for (const Keyed& k : kept) out.push_back(k.placed);
  return out;
}

namespace {

std::optional<Box> box_of(const spatial::EntryView& e) {
  if (!e.position || !e.position->x || !e.position->y || !e.position->w || !e.position->h) {
    return std::nullopt;
  }
  const spatial::PositionView& p = *e.position;
  Box b{p.x->as_double(), p.y->as_double(), p.w->as_double(), p.h->as_double()};
  if (!std::isfinite(b.x) || !std::isfinite(b.y) || !std::isfinite(b.w) || !std::isfinite(b.h)) {
    return std::nullopt;
  }
  return b;
}

// The entries whose own text carries `words`; failing that, those whose
// searchable text (labels included) does; failing that, all of `pool`. A field
// labelled "Address" never outranks an "Add" button for the words "Add".
std::vector<std::size_t> narrowed(std::span<const spatial::EntryView> matrix,
                                  std::vector<std::size_t> pool,
                                  const std::optional<std::string>& words) {
  if (!words || words->empty()) return pool;
  const std::string wanted = spatial::normalize(*words);
  for (auto field : {&spatial::EntryView::text, &spatial::EntryView::searchable}) {
    std::vector<std::size_t> kept;
    for (std::size_t i : pool) {
      const auto& value = matrix[i].*field;
      if (value && spatial::normalize(*value).find(wanted) != std::string::npos) kept.push_back(i);
    }
    if (!kept.empty()) return kept;
  }
  return pool;
}

// Among the entries `named` accepts, elements before texts when `elements_first`
// (else texts alone), the one with the smallest box; the first on a tie.
template <class Named>
std::optional<std::size_t> smallest(std::span<const spatial::EntryView> matrix, bool elements_first,
                                    Named named) {
  for (bool texts : {!elements_first, true}) {
    std::optional<std::size_t> best;
    double best_area = 0;
    for (std::size_t i = 0; i < matrix.size(); ++i) {
      const spatial::EntryView& e = matrix[i];
      if (e.is_anchor_only != texts || !e.text || !named(*e.text)) continue;
      const std::optional<Box> box = box_of(e);
      if (box && (!best || box->w * box->h < best_area)) {
        best = i;
        best_area = box->w * box->h;
      }
    }
    if (best || texts) return best;
  }
  return std::nullopt;
}

// The anchor as a person writes a label: "Email" for the text "Email:" or
// "* Email" (the marks around a label are not its words, as for names).
// Asked only when no text or attribute is the anchor as written.
std::optional<std::size_t> label_anchor(std::span<const spatial::EntryView> matrix,
                                        std::string_view anchor) {
  const std::string wanted = resolve::normalise(anchor);
  if (wanted.empty()) return std::nullopt;
  return smallest(matrix, true,
                  [&](std::string_view text) { return resolve::normalise(text) == wanted; });
}

// A field placed beside words ("the checkbox left of 'Remember me'") is placed
// beside the text that shows them, written as a label may be ("User name:"),
// not beside a field that carries them as its own value or label: that would
// be the very field meant, or another field that merely holds the words.
std::optional<std::size_t> shown_anchor(std::span<const spatial::EntryView> matrix,
                                        std::string_view anchor) {
  const std::string wanted = resolve::normalise(anchor);
  if (wanted.empty()) return std::nullopt;
  return smallest(matrix, false,
                  [&](std::string_view text) { return resolve::normalise(text) == wanted; });
}

// A text that labels a field beside it on its line ("First name: [....]",
// "[....] focused input") reads with that field as one row: what is below or
// above the text is below or above the row, so the anchor's box takes in the
// nearest such field, when it stands within two line heights of the text.
Box with_labelled_field(std::span<const spatial::EntryView> matrix, std::size_t anchor,
                        const Box& box) {
  if (!matrix[anchor].is_anchor_only) return box;
  std::optional<Box> nearest;
  double nearest_gap = 2 * box.h;
  for (const spatial::EntryView& e : matrix) {
    if (e.is_anchor_only || !e.element_type ||
        !(*e.element_type == "input" || *e.element_type == "select" ||
          *e.element_type == "textbox" || *e.element_type == "combobox")) {
      continue;
    }
    const std::optional<Box> b = box_of(e);
    if (!b || !same_line(box, *b)) continue;
    const double gap = std::max(b->x - box.x2(), box.x - b->x2());
    if (gap >= -kSlack && gap <= nearest_gap) {
      nearest = b;
      nearest_gap = gap;
    }
  }
  if (!nearest) return box;
  const double x = std::min(box.x, nearest->x), y = std::min(box.y, nearest->y);
  return {x, y, std::max(box.x2(), nearest->x2()) - x, std::max(box.y2(), nearest->y2()) - y};
}

}  // namespace

std::optional<Pick> resolve(std::span<const spatial::EntryView> matrix, std::string_view target) {
  const spatial::Target parsed = spatial::parse_target_words(target);
  if (!parsed.relation || !parsed.anchor || parsed.anchor->empty()) return std::nullopt;
  const std::optional<Direction> direction = direction_of(*parsed.relation);
  if (!direction) return std::nullopt;
  std::optional<std::size_t> anchor = spatial::find_anchor(matrix, *parsed.anchor);
  if (!anchor) anchor = label_anchor(matrix, *parsed.anchor);
  if (!anchor) return std::nullopt;
  if (parsed.type_filter == "input" && matrix[*anchor].element_type == "input") {
    if (auto shown = shown_anchor(matrix, *parsed.anchor)) anchor = shown;
  }
  std::optional<Box> anchor_box = box_of(matrix[*anchor]);
  if (!anchor_box) return std::nullopt;
  if (*direction == Direction::Below || *direction == Direction::Above) {
    anchor_box = with_labelled_field(matrix, *anchor, *anchor_box);
  }

  std::vector<Box> boxes(matrix.size());
  auto ranked_of = [&](const std::optional<std::string>& type) {
    std::vector<std::size_t> pool;
    for (std::size_t i :
         narrowed(matrix, spatial::relation_candidates(matrix, *anchor, type, std::nullopt),
                  parsed.target_text)) {
      if (auto b = box_of(matrix[i])) {
        boxes[i] = *b;
        pool.push_back(i);
      }
    }
    return order(*anchor_box, boxes, pool, *direction);
  };
  std::vector<Placed> ranked = ranked_of(parsed.type_filter);
  bool type_relaxed = false;
  if (ranked.empty() && parsed.type_filter) {
    ranked = ranked_of(std::nullopt);
    type_relaxed = true;
  }
  // No element there: a text that carries the step's words stands in for one
  // (pages make text clickable with a handler added by script, unseen).
  if (ranked.empty() && !parsed.type_filter && parsed.target_text && !parsed.target_text->empty()) {
    const std::string wanted = spatial::normalize(*parsed.target_text);
    std::vector<std::size_t> pool;
    for (std::size_t i = 0; i < matrix.size(); ++i) {
      const spatial::EntryView& e = matrix[i];
      if (i == *anchor || !e.is_anchor_only || !e.text ||
          spatial::normalize(*e.text).find(wanted) == std::string::npos) {
        continue;
      }
      if (auto b = box_of(e)) {
        boxes[i] = *b;
        pool.push_back(i);
      }
    }
    ranked = order(*anchor_box, boxes, pool, *direction);
  }
  const std::int64_t ordinal = parsed.ordinal.value_or(1);
  if (ordinal < 1 || static_cast<std::uint64_t>(ordinal) > ranked.size()) return std::nullopt;
  const auto at = static_cast<std::size_t>(ordinal - 1);

  Pick pick;
  pick.element = ranked[at].index;
  pick.anchor = *anchor;
  pick.ranked.reserve(ranked.size());
  for (const Placed& p : ranked) {
    pick.ranked.push_back(p.index);
    if (p.reach == Reach::Line || p.reach == Reach::Column) ++pick.in_band;
  }
  pick.type_relaxed = type_relaxed;
  return pick;
}

}  // namespace marrowlane::relation
