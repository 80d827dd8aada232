// Relations between boxes on a page as a person reads them.
//
// "right of X" means on X's own line first: boxes that really share X's
// vertical extent (at least half of the lower one overlaps), nearest first;
// then the boxes further away to the right, nearest by box distance. "left of"
// mirrors it. "below X" means in X's own column first (boxes that really share
// its horizontal extent), nearest first, then the rest further down; "above"
// mirrors it. "next to X" means on X's line, right side first, then left, then
// anything else by distance. "near X" means nearest by box distance (the gap
// between the boxes, zero where they overlap) in any direction. Ordinals count
// in that order. A box that holds the anchor is never beside it.
//
// On top of that order, `resolve` answers a relational target over the spatial
// matrix (spatial.hpp parses the target and finds the anchor) with the chosen
// entry and every entry in the relation, in that order. Below and above a text
// that labels a field beside it on its line mean below and above that row.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "marrowlane/spatial.hpp"

namespace marrowlane::relation {

struct Box {
  double x = 0, y = 0, w = 0, h = 0;
  double x2() const { return x + w; }
  double y2() const { return y + h; }
};

enum class Direction : unsigned char { NextTo, Right, Left, Below, Above, Near };
// The direction of a relation name of spatial::kRelations ("next_to", "right", ...).
std::optional<Direction> direction_of(std::string_view relation);

// Where a candidate stands: on the anchor's own line or in its own column, or
// further away (for "near": anywhere).
enum class Reach : unsigned char { Line, Column, Beyond, Around };

struct Placed {
  std::size_t index = 0;  // into the boxes given
  Reach reach = Reach::Beyond;
  double distance = 0;  // the gap that orders it within its reach
};

// Boxes of `candidates` (indices into `boxes`) that stand in `direction` to
// `anchor`, in the order a person counts them; ties keep the order given.
std::vector<Placed> order(const Box& anchor, std::span<const Box> boxes,
                          std::span<const std::size_t> candidates, Direction direction);

struct Pick {
  std::size_t element = 0;  // the chosen entry
  std::size_t anchor = 0;
  std::vector<std::size_t> ranked;  // every entry in the relation, in order
  std::size_t in_band = 0;          // how many of them, first, share the anchor's line or column
  bool type_relaxed = false;
};

// A relational target ("2nd button right of Total") over the matrix; nullopt
// when the target names no relation and anchor, the anchor is not found, or
// nothing stands in the relation (a named type is dropped before giving up).
std::optional<Pick> resolve(std::span<const spatial::EntryView> matrix, std::string_view target);

}  // namespace marrowlane::relation
