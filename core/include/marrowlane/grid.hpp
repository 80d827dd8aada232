// The spatial matrix: every element and text element of a page in one flat
// list, in natural reading order (top to bottom, then left to right), each
// entry with a normalised element type, its edges and centre, one searchable
// text gathering its human-readable surfaces, and its ordinal among entries of
// the same type. Text elements are anchor-only entries: they can be named as
// the anchor of a relation but are never the element a step acts on.
//
// Coordinates keep the kind the page gave them: an integer stays an integer
// through sums and differences, and comparisons between integers and floats
// are exact, as they are for the Python caller.
#pragma once

#include <array>
#include <compare>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace marrowlane::grid {

// A coordinate: an integer or a floating-point number.
class Number {
 public:
  constexpr Number() = default;
  static constexpr Number integer(std::int64_t v) { return Number(v, 0.0, true); }
  static constexpr Number real(double v) { return Number(0, v, false); }

  constexpr bool is_integer() const { return is_int_; }
  constexpr std::int64_t as_integer() const { return int_; }  // only when is_integer()
  double as_double() const { return is_int_ ? static_cast<double>(int_) : real_; }
  bool is_nan() const;

  // Integer with integer stays an integer (a result beyond 64 bits becomes a
  // float); any float makes the result a float.
  friend Number operator+(Number a, Number b);
  friend Number operator-(Number a, Number b);
  // Exact comparison, also between an integer and a float; NaN is unordered.
  friend std::partial_ordering operator<=>(Number a, Number b);
  friend bool operator==(Number a, Number b) { return (a <=> b) == 0; }

 private:
  constexpr Number(std::int64_t i, double r, bool is_int) : int_(i), real_(r), is_int_(is_int) {}
  std::int64_t int_ = 0;
  double real_ = 0.0;
  bool is_int_ = true;
};

// A total order for sorting: numbers as they compare, NaN after every number.
bool sorts_before(Number a, Number b);

// Lower-case tag name to element type, in table order.
inline constexpr std::array<std::pair<std::string_view, std::string_view>, 5> kTagToType = {{
    {"a", "link"},
    {"button", "button"},
    {"input", "input"},
    {"select", "select"},
    {"textarea", "input"},
}};
// Roles that name the element type by themselves (compared case-sensitively).
inline constexpr std::array<std::string_view, 4> kTypeRoles = {"button", "link", "textbox",
                                                               "combobox"};
// Input types that make an `input` a button.
inline constexpr std::array<std::string_view, 3> kButtonInputTypes = {"submit", "button", "reset"};
// The type of every anchor-only (text element) entry.
inline constexpr std::string_view kTextType = "text";

// The element type of a record from its tag, `role` and `type` attributes: a
// known role wins, then button-like inputs, then the tag table; any other tag
// passes through unchanged.
std::string_view element_type(std::string_view tag, std::string_view role,
                              std::string_view input_type);

// A bounding box as the record holds it; a missing number counts as 0.
struct Box {
  std::optional<Number> x, y, width, height;
};

// Edges and centre of a box. `cx`/`cy` are always floats (true division);
// `x2`/`y2` keep the kind of their inputs.
struct Position {
  Number x, y, w, h;
  Number cx, cy, x2, y2;
};
Position position(const Box& box);

// The human-readable surfaces of a record, each "" when absent.
struct Surfaces {
  std::string_view text, label, aria_label, placeholder, name;
};
// The non-empty surfaces joined with one space, stripped at both ends; neither
// lower-cased nor de-duplicated.
std::string searchable(const Surfaces& s);

// What the matrix needs of one element or text element record.
struct Record {
  bool has_box = false;  // a truthy `bounding_box`
  Box box;
  std::string_view tag, role, input_type;
  Surfaces surfaces;  // `text` and the attributes
};

struct Entry {
  bool is_anchor_only = false;  // from the text element list
  std::size_t source = 0;       // index into its own input list
  std::size_t index = 0;        // place in reading order
  std::size_t order_in_type = 0;
  std::string element_type;
  std::string searchable;
  Position position;
};

// Entries for every record with a box, elements first, then text elements,
// stably sorted by (y, x), numbered, and counted per type.
std::vector<Entry> build(std::span<const Record> elements, std::span<const Record> text_elements);

}  // namespace marrowlane::grid
