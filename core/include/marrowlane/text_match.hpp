// Level-1 resolution: which element (or piece of visible text) a step's target
// names, by case-insensitive containment of the target in an element's text
// surfaces, with exact matches preferred, visible before hidden, and ordinals
// counted in reading order. Also the text find/verify answers and the
// directional "text right of <anchor>" verification and extraction.
//
// Everything here works on views of the page scanner's records and answers
// with indices into the lists it was given, so that the caller can hand back
// its own records. Nothing is cached between calls.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace marrowlane::text_match {

// The attribute surfaces, in the order they are offered.
inline constexpr std::array<std::string_view, 6> kMatchAttributes = {
    "aria-label", "_label", "placeholder", "data-testid", "type", "alt"};
inline constexpr std::size_t kLabelAttribute = 1;  // "_label": a surface only when typing

// Words that name the kind of element rather than the element itself.
inline constexpr std::array<std::string_view, 18> kTypeDescriptors = {
    "input", "field",    "button",  "btn",  "box",  "link",    "dropdown", "select", "checkbox",
    "radio", "textarea", "textbox", "area", "icon", "control", "widget",   "form",   "element"};
// Tags whose records may be read as the text next to an anchor.
inline constexpr std::array<std::string_view, 14> kTextOnlyTags = {
    "span", "p", "label", "h1", "h2", "h3", "h4", "h5", "h6", "li", "td", "th", "div", "a"};
inline constexpr std::array<std::string_view, 2> kTypeableTags = {"input", "textarea"};
inline constexpr std::array<std::string_view, 4> kTypeableRoles = {"textbox", "searchbox",
                                                                   "spinbutton", "combobox"};
inline constexpr std::array<std::string_view, 1> kSelectableTags = {"select"};
// Tree steps beyond which a text is too far from a text anchor to belong to it.
inline constexpr std::int64_t kDomDistanceThreshold = 10;

// One coordinate of a bounding box as the record holds it.
struct Number {
  enum class State : unsigned char { Missing, Value, Invalid };
  State state = State::Missing;
  double value = 0.0;
  std::string kind;  // the kind found, for Invalid
};

// A record's `bounding_box`.
struct Box {
  enum class State : unsigned char { Missing, Record, Invalid };
  State state = State::Missing;  // Missing: absent or a falsy non-record
  bool truthy = false;           // Python truthiness of the stored value
  std::string kind;              // the kind found, for Invalid
  Number x, y, width, height;
};

// An element record or a text element record, read once per call. Texts are
// the stored values when they are strings and "" otherwise (missing, none or
// another kind all read as no text); flags are the values' truthiness.
struct Record {
  const void* identity = nullptr;  // tells the caller's records apart
  std::string_view text;
  std::string_view tag;
  std::string_view xpath;
  std::array<std::string_view, kMatchAttributes.size()> match_attributes{};
  std::string_view class_name;
  std::string_view id;
  std::string_view role;
  // Names of the `data-` attributes other than data-testid, in record order.
  std::vector<std::string_view> data_names;
  Box box;
  bool is_visible = false;
  bool is_enabled = false;
  bool is_editable_field = false;

  std::string_view aria_label() const { return match_attributes[0]; }
};

// The `ordinal` of an instruction: an integer (saturated to 64 bits), a float,
// or a value of another kind. Kinds that cannot order or index the candidates
// fail only when a candidate has to be chosen.
struct Ordinal {
  enum class State : unsigned char { Integer, Float, NotComparable };
  State state = State::Integer;
  std::int64_t value = 1;  // Integer
  double real = 1.0;       // Float
  std::string kind;        // NotComparable: the kind found
};

// ---------------------------------------------------------------------------
// Surfaces and matching
// ---------------------------------------------------------------------------

// Drops element-type words from both ends ("login button" -> "login"); the
// target comes back unchanged when nothing else would remain.
std::string strip_type_descriptors(std::string_view target);

// The record's text surfaces, in order: text, the attribute surfaces (the
// field label only when `include_label`), then the class, id and data-name
// surfaces.
std::vector<std::string> searchable_strings(const Record& record, bool include_label);

// The target as it is compared: lower-cased, "_" and "-" read as blanks.
std::string normalise_target(std::string_view target);

// Whether the target is contained in (or, for the exact test, equals a
// trimmed) surface, both lower-cased.
bool matches_element(std::string_view target, const Record& record, bool include_label);
bool exact_matches_element(std::string_view target, const Record& record, bool include_label);

// Tree steps between two positional paths, through their longest common
// prefix.
std::int64_t dom_distance(std::string_view xpath_a, std::string_view xpath_b);

// The indices of the records the action can act on, or nullopt when the
// caller's list stands as it is (other actions, or nothing retained).
std::optional<std::vector<std::size_t>> filter_by_action(std::string_view action,
                                                         std::span<const Record> records);

// ---------------------------------------------------------------------------
// Resolution
// ---------------------------------------------------------------------------

// Which of the two lists the indices of a result refer to.
enum class Source : unsigned char { Elements, Texts };

struct Resolution {
  bool resolved = false;
  Source source = Source::Elements;
  std::size_t element = 0;  // meaningful when resolved
  std::vector<std::size_t> candidates;
};

// General element resolution for actions that act on an element (click, type,
// select, hover, extract_text, ...). `texts` is consulted only for
// "extract_text" when no element matches; pass it empty otherwise.
Resolution resolve_element(std::string_view action, std::string_view target, const Ordinal& ordinal,
                           std::span<const Record> elements, std::span<const Record> texts);

// Text elements whose text contains the target, shortest text first.
Resolution find_text(std::string_view target, std::span<const Record> texts);
// Text elements whose trimmed text equals the target; candidates are the exact
// matches then every containing text, or, when none is exact, the containing
// texts shortest first (unresolved).
Resolution find_exact_text(std::string_view target, std::span<const Record> texts);

struct Verification {
  Resolution resolution;
  bool verified = false;
  bool visible = false;
  bool enabled = false;
};

// Finds the element for a verify_present/visible/enabled/disabled step and
// checks its state. Raises KeyError for another action once an element is found.
Verification verify_element(std::string_view action, std::string_view target,
                            std::span<const Record> elements);
// The same for verify_text_present/visible over text elements.
Verification verify_text(std::string_view action, std::string_view target,
                         std::span<const Record> texts);

// Directional text: the text next to, left of, below or above an anchor.
struct Spatial {
  enum class Outcome : unsigned char {
    BadTarget,    // no direction phrase, or no anchor text after it
    NoAnchor,     // no record reads as the anchor
    NoNeighbour,  // the anchor has nothing in that direction
    Found,
  };
  Outcome outcome = Outcome::BadTarget;
  std::string direction;    // "right", "left", "below" or "above"
  std::string anchor_text;  // as written in the target, leading article cut
  Source anchor_source = Source::Texts;
  std::size_t anchor = 0;               // NoNeighbour, Found
  std::vector<std::size_t> candidates;  // indices into texts, nearest first
  std::string actual;                   // the state's `actual` (all but BadTarget)
  bool verified = false;
};

// The element records, asked for at most once and only when no text element
// reads as the anchor; nullopt when the caller gave none.
using ElementSource = std::function<std::optional<std::span<const Record>>()>;

Spatial verify_spatial_text(std::string_view target, std::string_view expected,
                            std::span<const Record> texts, const ElementSource& elements);

// Lower-cases, drops currency signs and thousands separators, trims.
std::string norm_amount(std::string_view text);

// Whether a text read beside an anchor agrees with the one expected: either
// holds the other once both are normalised as amounts ('$29.00' verifies
// against '29.00 USD'); an empty expectation agrees with nothing.
bool amounts_agree(std::string_view expected, std::string_view actual);

}  // namespace marrowlane::text_match
