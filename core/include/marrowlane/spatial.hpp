// Spatial resolution over the matrix of grid.hpp: a target such as
// "2nd button next to email" is split into the element sought (a type word, an
// ordinal, leftover words) and the anchor it is described by; the anchor entry
// is found by its text, the candidates standing in the named relation to it
// are kept and ordered by closeness, and the ordinal picks among them. A target
// with an ordinal and no anchor ("second login") counts in reading order.
//
// The matrix arrives as views of the caller's entries; answers are indices
// into the span given, so the caller hands back its own records. Keys an entry
// lacks are reported as KeyError only when a step actually needs them.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "marrowlane/grid.hpp"

namespace marrowlane::spatial {

using grid::Number;

// Relation keyword to relation name, in table order.
inline constexpr std::array<std::pair<std::string_view, std::string_view>, 7> kRelations = {{
    {"next to", "next_to"},
    {"below", "below"},
    {"under", "below"},
    {"above", "above"},
    {"left of", "left"},
    {"right of", "right"},
    {"near", "near"},
}};
// Ordinal word to number; there are none beyond five.
inline constexpr std::array<std::pair<std::string_view, std::int64_t>, 10> kOrdinals = {{
    {"first", 1},
    {"second", 2},
    {"third", 3},
    {"fourth", 4},
    {"fifth", 5},
    {"1st", 1},
    {"2nd", 2},
    {"3rd", 3},
    {"4th", 4},
    {"5th", 5},
}};
// Type word to the element type it filters on.
inline constexpr std::array<std::pair<std::string_view, std::string_view>, 9> kTypeKeywords = {{
    {"button", "button"},
    {"btn", "button"},
    {"link", "link"},
    {"anchor", "link"},
    {"input", "input"},
    {"field", "input"},
    {"textbox", "input"},
    {"select", "select"},
    {"dropdown", "select"},
}};
inline constexpr std::array<std::string_view, 3> kArticles = {"the", "a", "an"};
// The attributes an anchor may be named by when no entry's text matches.
inline constexpr std::array<std::string_view, 3> kAnchorAttributes = {"aria-label", "_label",
                                                                      "placeholder"};

// Slack in pixels when deciding that two entries share a row or a column.
inline constexpr std::int64_t kSpatialTolerance = 40;
// Largest centre distance in pixels that still counts as near (inclusive).
inline constexpr std::int64_t kNearMaxPixels = 300;
// Largest tree distance in path steps that still counts as near (inclusive).
inline constexpr std::int64_t kNearMaxDomSteps = 10;

// Lower-cased, without spaces and hyphens: "Log in", "log-in" and "LOGIN" all
// read "login".
std::string normalize(std::string_view text);

// A target split into its parts; every text is cut from the lower-cased target.
struct Target {
  std::optional<std::string> anchor;       // after the relation keyword; may be ""
  std::optional<std::string> relation;     // a relation name of kRelations
  std::optional<std::string> type_filter;  // element type of the first type word
  std::optional<std::int64_t> ordinal;     // number of the first ordinal word
  std::optional<std::string> search_text;  // leftover words of an anchorless ordinal target
  std::optional<std::string> target_text;  // words before the relation keyword
};
Target parse_target(std::string_view target);
// The same, with a relation keyword taken only where it stands as whole words,
// as a person reads it: "TargetNear near LabelNear" relates to "LabelNear", and
// "Understand" names no relation.
Target parse_target_words(std::string_view target);

// An entry's `position`; a key the record lacks (or holds None) is nullopt.
struct PositionView {
  std::optional<Number> x, y, w, h, cx, cy, x2, y2;
};

// One matrix entry as the caller holds it. Texts are nullopt when missing.
struct EntryView {
  std::optional<Number> index;
  std::optional<std::string_view> element_type;
  std::optional<std::string_view> text;
  std::optional<std::string_view> searchable;
  bool is_anchor_only = false;
  std::optional<PositionView> position;
  // From the entry's `element` record: its `attributes` named in
  // kAnchorAttributes ("" when missing or not text) and its `xpath`.
  std::array<std::string_view, kAnchorAttributes.size()> anchor_attributes{};
  std::string_view xpath;
};

// Euclidean distance between the centres of two entries.
double centre_distance(const EntryView& a, const EntryView& b);
// Whether the Y (X) extents overlap, or leave a gap under the tolerance.
bool overlaps_vertically(const EntryView& a, const EntryView& b);
bool overlaps_horizontally(const EntryView& a, const EntryView& b);
// Steps of both paths minus, twice, the number of positions where they agree
// (every agreeing position counts, not only a common prefix).
std::int64_t dom_distance(std::string_view xpath_a, std::string_view xpath_b);

// The entry an anchor text names: exact text matches first, then exact
// attribute matches, then text that starts with the anchor as a word, then
// attributes that do; interactable entries beat text entries, and among
// several the smallest box wins. nullopt when nothing matches.
std::optional<std::size_t> find_anchor(std::span<const EntryView> matrix,
                                       std::string_view anchor_text);

// The `candidates` (indices into `entries`) that stand in `strategy` to the
// anchor, best first; with an ordinal, only the ordinal-th of them.
std::vector<std::size_t> rank(std::span<const EntryView> entries,
                              std::span<const std::size_t> candidates, const EntryView& anchor,
                              std::optional<std::string_view> strategy,
                              std::optional<std::int64_t> ordinal);

// The interactable entries other than the anchor, of `type` when one is
// named; `target_text` narrows them when it matches something (loosely).
std::vector<std::size_t> relation_candidates(std::span<const EntryView> matrix, std::size_t anchor,
                                             const std::optional<std::string>& type,
                                             const std::optional<std::string>& target_text);

struct Resolution {
  enum class Shape : unsigned char { Failure, Relation, Ordinal };
  Shape shape = Shape::Failure;
  std::size_t element = 0;   // the chosen entry
  std::size_t anchor = 0;    // Relation only
  std::int64_t ordinal = 1;  // Relation only: the parsed ordinal, 1 when none
  bool type_relaxed = false;
  std::optional<std::string> type_filter;  // Relation only: the parsed type filter
  std::vector<std::size_t> candidates;     // best first (Relation) or reading order (Ordinal)
};

Resolution resolve(std::span<const EntryView> matrix, std::string_view target);
// The ordinal-th entry in reading order among the interactable entries of the
// type, narrowed by search words (exact text when there are enough, else a
// loose substring match).
Resolution resolve_ordinal(std::span<const EntryView> matrix, std::int64_t ordinal,
                           std::optional<std::string_view> type_filter,
                           std::optional<std::string_view> search_text);

}  // namespace marrowlane::spatial
