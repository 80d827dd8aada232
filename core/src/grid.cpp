#include "marrowlane/grid.hpp"

#include <algorithm>
#include <cmath>
#include <unordered_map>

#include "marrowlane/text.hpp"

namespace marrowlane::grid {

namespace {

// An integer against a float, exactly: the float's whole part is compared as
// an integer, then its fraction breaks the tie.
std::partial_ordering compare_exact(std::int64_t i, double d) {
  if (std::isnan(d)) return std::partial_ordering::unordered;
  constexpr double kTwo63 = 9223372036854775808.0;
  if (d >= kTwo63) return std::partial_ordering::less;
  if (d < -kTwo63) return std::partial_ordering::greater;
  const double whole = std::trunc(d);
  const auto w = static_cast<std::int64_t>(whole);
  if (i != w) return i < w ? std::partial_ordering::less : std::partial_ordering::greater;
  const double fraction = d - whole;
  if (fraction > 0) return std::partial_ordering::less;
  if (fraction < 0) return std::partial_ordering::greater;
  return std::partial_ordering::equivalent;
}

std::partial_ordering reverse(std::partial_ordering o) {
  if (o == std::partial_ordering::less) return std::partial_ordering::greater;
  if (o == std::partial_ordering::greater) return std::partial_ordering::less;
  return o;
}

}  // namespace

bool Number::is_nan() const { return !is_int_ && std::isnan(real_); }

Number operator+(Number a, Number b) {
  if (a.is_int_ && b.is_int_) {
    std::int64_t sum = 0;
    if (!__builtin_add_overflow(a.int_, b.int_, &sum)) return Number::integer(sum);
  }
  return Number::real(a.as_double() + b.as_double());
}

Number operator-(Number a, Number b) {
  if (a.is_int_ && b.is_int_) {
    std::int64_t difference = 0;
    if (!__builtin_sub_overflow(a.int_, b.int_, &difference)) return Number::integer(difference);
  }
  return Number::real(a.as_double() - b.as_double());
}

std::partial_ordering operator<=>(Number a, Number b) {
  if (a.is_int_ && b.is_int_) return a.int_ <=> b.int_;
  if (!a.is_int_ && !b.is_int_) return a.real_ <=> b.real_;
  if (a.is_int_) return compare_exact(a.int_, b.real_);
  return reverse(compare_exact(b.int_, a.real_));
}

bool sorts_before(Number a, Number b) {
  if (a.is_nan()) return false;
  if (b.is_nan()) return true;
  return a < b;
}

std::string_view element_type(std::string_view tag, std::string_view role,
                              std::string_view input_type) {
  if (std::find(kTypeRoles.begin(), kTypeRoles.end(), role) != kTypeRoles.end()) return role;
  if (tag == "input" && std::find(kButtonInputTypes.begin(), kButtonInputTypes.end(), input_type) !=
                            kButtonInputTypes.end()) {
    return "button";
  }
  for (const auto& [known, type] : kTagToType) {
    if (known == tag) return type;
  }
  return tag;
}

Position position(const Box& box) {
  constexpr Number kZero = Number::integer(0);
  Position p;
  p.x = box.x.value_or(kZero);
  p.y = box.y.value_or(kZero);
  p.w = box.width.value_or(kZero);
  p.h = box.height.value_or(kZero);
  // True division first, then the sum, as x + w / 2 reads.
  p.cx = p.x + Number::real(p.w.as_double() / 2);
  p.cy = p.y + Number::real(p.h.as_double() / 2);
  p.x2 = p.x + p.w;
  p.y2 = p.y + p.h;
  return p;
}

std::string searchable(const Surfaces& s) {
  std::vector<std::string_view> parts;
  for (std::string_view part : {s.text, s.label, s.aria_label, s.placeholder, s.name}) {
    if (!part.empty()) parts.push_back(part);
  }
  const std::string joined = text::join(parts, " ");
  return std::string(text::strip(joined));
}

std::vector<Entry> build(std::span<const Record> elements, std::span<const Record> text_elements) {
  std::vector<Entry> entries;
  entries.reserve(elements.size() + text_elements.size());
  for (std::size_t i = 0; i < elements.size(); ++i) {
    const Record& r = elements[i];
    if (!r.has_box) continue;
    Entry e;
    e.source = i;
    e.element_type = std::string(element_type(r.tag, r.role, r.input_type));
    e.searchable = searchable(r.surfaces);
    e.position = position(r.box);
    entries.push_back(std::move(e));
  }
  for (std::size_t i = 0; i < text_elements.size(); ++i) {
    const Record& r = text_elements[i];
    if (!r.has_box) continue;
    Entry e;
    e.is_anchor_only = true;
    e.source = i;
    e.element_type = std::string(kTextType);
    e.searchable = std::string(r.surfaces.text);
    e.position = position(r.box);
    entries.push_back(std::move(e));
  }

  // Reading order with no row tolerance: one pixel lower is a later row.
  std::stable_sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) {
    if (sorts_before(a.position.y, b.position.y)) return true;
    if (sorts_before(b.position.y, a.position.y)) return false;
    return sorts_before(a.position.x, b.position.x);
  });

  std::unordered_map<std::string, std::size_t> type_counters;
  for (std::size_t i = 0; i < entries.size(); ++i) {
    entries[i].index = i;
    entries[i].order_in_type = ++type_counters[entries[i].element_type];
  }
  return entries;
}

}  // namespace marrowlane::grid
