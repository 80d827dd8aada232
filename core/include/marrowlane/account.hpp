// The account of a pick: the element as a person would name it, where it sits
// on the page, the rule that chose it, the candidates that lost and why, all
// in words. Resolution happens elsewhere; this subsystem only reads what the
// resolver answered and the records it answered from, and puts it into words
// for step records, failure messages and the report.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "marrowlane/text_match.hpp"

namespace marrowlane::account {

// What an account reads of one element record (or text element record): the
// matching view plus the attributes that only name an element.
struct Facts {
  text_match::Record record;  // tag, text, xpath, match attributes, box, flags
  std::string_view title;
  std::string_view value;
  std::string_view name;  // the `name` attribute
};

// ---------------------------------------------------------------------------
// The element as a person names it
// ---------------------------------------------------------------------------

// Its kind: "button", "link", "text field", "password field", "checkbox",
// "dropdown", "heading", "image", "text", ... from its role, tag and type.
std::string kind(const Facts& facts);
// Its name: the aria-label, then for fields their label and placeholder, for
// other elements their text; first line only, blanks collapsed, clipped.
std::string name(const Facts& facts);
// `button "Add to cart"`; the kind alone when the element has no name.
std::string person_name(const Facts& facts);

// Where it is: `in "Bike Light · $9.99"`, the texts of the smallest part of
// the page around it that shows other text, or `at (120, 340)`, its box,
// when that part is the whole page or it has nothing around it. `page` holds
// every record read (the pick itself among them is skipped).
std::string where(const Facts& pick, std::span<const Facts> page);
// Whether where() over the records of one part of the page (the element at
// path `part` and all inside it) says what it says over the whole page: the
// part is a child of <body>, past which where() never looks, or it holds
// more texts around the pick than a row, where where() stops.
bool settled(const Facts& pick, std::string_view part, std::span<const Facts> records);

// ---------------------------------------------------------------------------
// The rule that chose it
// ---------------------------------------------------------------------------

// Which surface of the record a target matched, exactly or in part.
struct Match {
  std::string_view surface;  // "text", "label", "aria-label", "placeholder", ...
  bool exact = false;
};
// nullopt when the target matches no surface. The label counts only when
// `include_label` (typing).
std::optional<Match> match_of(std::string_view target, const Facts& facts, bool include_label);

// "exact match of its label", "partial match of its text, 2nd of 3 in
// reading order". `position` is 1-based among `count` candidates of the
// same rank.
std::string text_rule(const Match& match, std::size_t position, std::size_t count);

// A relational or ordinal target as the spatial resolver read it.
struct Placement {
  std::string_view relation;  // "next_to", "right", "left", "below", "above", "near", or empty
  std::string_view anchor;    // empty for an ordinal in reading order
  std::int64_t ordinal = 0;   // 0: none
  std::string_view type;      // "button", "input", "link", ... or empty
  std::string_view words;     // the name the candidates had to carry, or empty
  bool type_relaxed = false;
};
// "nearest button below "Fleece Jacket"", "2nd "Add to cart" in reading order".
std::string spatial_rule(const Placement& placement);

// "1st", "2nd", "3rd", "4th", ..., "11th", "21st".
std::string nth(std::int64_t n);

// ---------------------------------------------------------------------------
// The candidates that lost
// ---------------------------------------------------------------------------

struct Loser {
  std::size_t index = 0;  // into the list the candidates came from
  std::string why;
};

// Runners-up of a pick by text: first the other candidates of the pick's
// rank (`candidates` in reading order, the pick among them), which lost on
// reading order; then records of `elements` that match the target but were
// left out: the wrong kind for the action, hidden while the pick is visible,
// or a partial match while the pick is exact. At most `limit`, best first.
std::vector<Loser> text_runners_up(std::string_view action, std::string_view target,
                                   std::span<const Facts> elements, std::size_t pick,
                                   std::span<const std::size_t> candidates, std::size_t limit = 3);

// Why the entries of a spatial candidate list other than the pick (at
// `pick_position`, best first or in reading order) lost, in their order:
// farther in the relation, or earlier or later in reading order. Returns
// (position, why) for at most `limit` of them.
std::vector<Loser> spatial_runners_up(const Placement& placement, std::size_t pick_position,
                                      std::size_t count, std::size_t limit = 3);

// Why a record near the target was not taken by a step that found nothing:
// "the wrong kind for typing", "hidden", "disabled", "partial match", or
// "a different name"; several joined with ", ".
std::string not_taken(std::string_view action, std::string_view target, const Facts& facts,
                      bool exact_wanted = false);

// ---------------------------------------------------------------------------
// The one line
// ---------------------------------------------------------------------------

struct Runner {
  std::string name;  // person_name, with `where` when it needs telling apart
  std::string why;
};

// `button "Add to cart" in "Bike Light · $9.99" — exact match of its text;
// runners-up: button "Add to cart" in "Onesie · $7.99" (later in reading order)`.
std::string line(std::string_view person, std::string_view where, std::string_view rule,
                 std::span<const Runner> runners_up);

}  // namespace marrowlane::account
