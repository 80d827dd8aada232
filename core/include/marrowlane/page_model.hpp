// Reading a live page into element records and text element records.
//
// The page itself lies outside the core: an ElementReader answers questions
// about one element (visibility, text, attributes, box, path, ...). Each
// source below asks its reader only what it needs, in a fixed order, and stops
// as soon as the element is skipped, so a reader backed by live browser calls
// makes no call a skipped element does not need. A reader backed by a row that
// one page script gathered for many elements at once gives the same records.
//
// Errors a reader throws propagate out of the source's `read` untouched: the
// caller decides which errors drop an element. The core catches nothing.
#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_set>
#include <utility>
#include <vector>

namespace marrowlane::page_model {

// ---------------------------------------------------------------------------
// Vocabulary
// ---------------------------------------------------------------------------

inline constexpr std::array<std::string_view, 5> kNativeTags{"button", "input", "a", "select",
                                                             "textarea"};
inline constexpr std::array<std::string_view, 13> kAriaRoles{
    "button",           "link",          "textbox", "checkbox", "menuitem",
    "menuitemcheckbox", "menuitemradio", "option",  "combobox", "searchbox",
    "spinbutton",       "switch",        "tab"};
inline constexpr std::array<std::string_view, 3> kExtraInteractable{"img[alt]", "img[data-testid]",
                                                                    "[data-testid]"};
inline constexpr std::array<std::string_view, 13> kCapturedAttributes{
    "id",   "name",  "type",  "placeholder", "aria-label", "aria-labelledby", "title", "role",
    "href", "value", "class", "data-testid", "alt"};
inline constexpr std::string_view kCustomInputSelector =
    "span[class*='editable'], div[class*='editable'], span[class*='input'], div[class*='input']";
inline constexpr std::array<std::string_view, 15> kTextTags{"h1", "h2", "h3",   "h4",     "h5",
                                                            "h6", "p",  "span", "label",  "li",
                                                            "td", "th", "a",    "button", "div"};
// Attributes a text element keeps (then every data- attribute).
inline constexpr std::array<std::string_view, 4> kTextAttributes{"id", "class", "href",
                                                                 "aria-label"};
inline constexpr std::string_view kLabelCandidateSelector =
    "h1, h2, h3, h4, h5, h6, label, div, span, p";

// Limits: a label candidate is a short, one-line text; a clickable container
// is a short text over a small subtree (those two live in the page script).
inline constexpr std::size_t kCandidateMaxChars = 60;
inline constexpr double kCandidateMaxHeight = 40;

// The native tags, the role selectors and the image/test-id selectors joined
// with ", ".
std::string interactable_selector();
// The text tags joined with ", ".
std::string text_selector();

// ---------------------------------------------------------------------------
// Page scripts. Element scripts are called with the element as argument.
// ---------------------------------------------------------------------------

inline constexpr std::string_view kTagNameScript = "el => el.tagName.toLowerCase()";
inline constexpr std::string_view kDataAttributesScript =
    "el => Object.fromEntries(Array.from(el.attributes).filter(a => "
    "a.name.startsWith('data-')).map(a => [a.name, a.value]))";
inline constexpr std::string_view kDirectTextScript =
    "el => Array.from(el.childNodes).some(n => n.nodeType === 3 && "
    "n.textContent.trim().length > 0)";

// The absolute positional path: each step the lower-case tag name and the
// 1-based index among same-tag element siblings, from the root element down.
inline constexpr std::string_view kXpathScript = R"JS(el => {
  const steps = [];
  for (let node = el; node && node.nodeType === 1; node = node.parentNode) {
    let index = 1;
    for (let sib = node.previousElementSibling; sib; sib = sib.previousElementSibling) {
      if (sib.tagName === node.tagName) index++;
    }
    steps.unshift(node.tagName.toLowerCase() + '[' + index + ']');
  }
  return '/' + steps.join('/');
})JS";

// Walks the preceding element siblings, nearest first: a sibling's own direct
// text (its non-blank text nodes joined by a blank), else the text of its first
// element child, when non-empty and under 50 characters.
inline constexpr std::string_view kPreviousSiblingScript = R"JS(el => {
  const short = t => t.length > 0 && Array.from(t).length < 50;
  for (let sib = el.previousElementSibling; sib; sib = sib.previousElementSibling) {
    const own = Array.from(sib.childNodes)
      .filter(n => n.nodeType === 3)
      .map(n => n.textContent.trim())
      .filter(t => t.length > 0)
      .join(' ');
    if (short(own)) return own;
    const first = sib.firstElementChild;
    if (first) {
      const t = (first.textContent || '').trim();
      if (short(t)) return t;
    }
  }
  return null;
})JS";

// The first element child of the parent, before the element itself, whose
// trimmed text is non-empty and under 50 characters.
inline constexpr std::string_view kParentChildrenScript = R"JS(el => {
  const parent = el.parentElement;
  if (!parent) return null;
  for (const child of parent.children) {
    if (child === el) break;
    const t = (child.textContent || '').trim();
    if (t.length > 0 && Array.from(t).length < 50) return t;
  }
  return null;
})JS";

// Page script (no argument): rows for the div, span, li and td elements that
// show a pointer cursor over a short text (at most 60 characters) and a small
// subtree (at most 10 descendant elements), with a non-empty box rounded to
// whole pixels, one row per path.
inline constexpr std::string_view kCursorPointerScript = R"JS(() => {
  const native = new Set(['A', 'BUTTON', 'INPUT', 'SELECT', 'TEXTAREA']);
  const xpath = el => {
    const steps = [];
    for (let node = el; node && node.nodeType === 1; node = node.parentNode) {
      let index = 1;
      for (let sib = node.previousElementSibling; sib; sib = sib.previousElementSibling) {
        if (sib.tagName === node.tagName) index++;
      }
      steps.unshift(node.tagName.toLowerCase() + '[' + index + ']');
    }
    return '/' + steps.join('/');
  };
  const results = [];
  const seen = new Set();
  for (const el of document.querySelectorAll('div, span, li, td')) {
    if (native.has(el.tagName)) continue;
    if (getComputedStyle(el).cursor !== 'pointer') continue;
    const text = (el.innerText || '').trim();
    if (!text || (text.length > 60 && Array.from(text).length > 60)) continue;
    if (el.querySelectorAll('*').length > 10) continue;
    const r = el.getBoundingClientRect();
    if (r.width <= 0 || r.height <= 0) continue;
    const path = xpath(el);
    if (seen.has(path)) continue;
    seen.add(path);
    results.push({
      tag: el.tagName.toLowerCase(),
      text: text,
      xpath: path,
      x: Math.round(r.x),
      y: Math.round(r.y),
      w: Math.round(r.width),
      h: Math.round(r.height),
      cls: typeof el.className === 'string' ? el.className : '',
      aria: el.getAttribute('aria-label') || '',
    });
  }
  return results;
})JS";

// ---------------------------------------------------------------------------
// Records
// ---------------------------------------------------------------------------

// A box as the page reports it, in page pixels; missing numbers read as 0.
struct Box {
  double x = 0, y = 0, width = 0, height = 0;
};

// Name to value in insertion order; setting an existing name replaces its
// value in place (as a Python dict does).
class Attributes {
 public:
  using Item = std::pair<std::string, std::string>;
  void set(std::string name, std::string value);
  const std::string* find(std::string_view name) const;
  void merge(const Attributes& other);  // dict.update
  const std::vector<Item>& items() const { return items_; }
  bool operator==(const Attributes&) const = default;

 private:
  std::vector<Item> items_;
};

// An element a step can act on. The spatial label, when one is found later,
// is appended to `attributes` under "_label".
struct ElementRecord {
  std::string tag;
  std::string text;
  Attributes attributes;
  Box box;
  bool is_visible = true;
  bool is_enabled = true;
  bool is_editable_field = false;  // present (and true) only on custom inputs
  std::string xpath;
};

// A visible piece of text (anchor for relations, subject of text steps).
struct TextElementRecord {
  std::string tag;
  std::string text;
  bool has_direct_text = false;
  Attributes attributes;
  Box box;
  std::string xpath;
};

// A short visible text that may name the field below it.
struct LabelCandidate {
  std::string text;
  Box box;
};

// ---------------------------------------------------------------------------
// Reading one element
// ---------------------------------------------------------------------------

class ElementReader {
 public:
  virtual ~ElementReader() = default;
  virtual bool is_visible() = 0;
  virtual bool is_enabled() = 0;
  virtual std::string tag_name() = 0;                   // kTagNameScript
  virtual std::optional<std::string> inner_text() = 0;  // rendered text, nullopt when missing
  virtual std::optional<std::string> attribute(std::string_view name) = 0;  // nullopt: absent
  virtual std::optional<Box> bounding_box() = 0;  // nullopt: no layout box
  virtual Attributes data_attributes() = 0;       // kDataAttributesScript
  virtual std::string xpath() = 0;                // kXpathScript
  virtual bool has_direct_text() = 0;             // kDirectTextScript
  // The label lookups below answer nullopt both when nothing is found and when
  // the page raised an ordinary error (a selector the page refuses, an element
  // that went away): a failed lookup only moves the search to the next source.
  // The rendered text of the first element matching `selector`.
  virtual std::optional<std::string> inner_text_of(std::string_view selector) = 0;
  virtual std::optional<std::string> previous_sibling_text() = 0;  // kPreviousSiblingScript
  virtual std::optional<std::string> parent_children_text() = 0;   // kParentChildrenScript
};

// ---------------------------------------------------------------------------
// Field labels: what a person reads as the name of a field
// ---------------------------------------------------------------------------

enum class LabelSource {
  AriaLabel,        // the aria-label attribute
  LabelledBy,       // the text of the element aria-labelledby names
  LabelFor,         // the text of the label element whose `for` is the id
  Placeholder,      // the placeholder attribute
  Title,            // the title attribute
  PreviousSibling,  // nearby text before the element
  ParentChildren,   // text of an earlier child of the same parent
};
inline constexpr std::array<LabelSource, 7> kLabelOrder{
    LabelSource::AriaLabel,     LabelSource::LabelledBy, LabelSource::LabelFor,
    LabelSource::Placeholder,   LabelSource::Title,      LabelSource::PreviousSibling,
    LabelSource::ParentChildren};

// The selector that finds the element aria-labelledby names: "#" and the whole
// value; nullopt for an empty value.
std::optional<std::string> labelledby_selector(std::string_view labelledby);
// label[for="ID"] with the id quoted as a CSS string (a double quote or a
// backslash in the id is escaped with a backslash); nullopt for an empty id.
std::optional<std::string> label_for_selector(std::string_view id);

// The answer of one source for one reading: the stripped text when the source
// supplies the label, nullopt to go on with the next source. The two nearby-text
// sources supply any non-empty reading (stripped; that may leave it empty),
// the others only a reading that is non-blank.
std::optional<std::string> accept_label(LabelSource source,
                                        const std::optional<std::string>& reading);

// The field label: the first source, in kLabelOrder, that supplies one.
// `readings` holds what each source read, indexed by the order above; a
// missing reading means the source found nothing.
std::optional<std::string> field_label(
    const std::array<std::optional<std::string>, kLabelOrder.size()>& readings);
// The same search on a live element, reading each source only when the ones
// before it supplied nothing.
std::optional<std::string> field_label(ElementReader& reader);

// ---------------------------------------------------------------------------
// The sources
// ---------------------------------------------------------------------------

bool is_custom_input(std::string_view tag, std::string_view classes);
// A box that has no layout or a zero width or height shows nothing to act on.
bool box_usable(const std::optional<Box>& box);

// The main source: one element matching interactable_selector(). nullopt when
// it is skipped (no usable box; hidden without an accessible name).
std::optional<ElementRecord> read_interactable(ElementReader& reader);

// Custom-made inputs (spans and divs classed as editable or input), one per
// path; visible only.
class CustomInputSource {
 public:
  std::optional<ElementRecord> read(ElementReader& reader);

 private:
  std::unordered_set<std::string> seen_;
};

// One row of kCursorPointerScript.
struct CursorRow {
  std::string text;
  std::string xpath;
  std::string cls;
  std::string aria;
  Box box;
};

// Clickable text containers become "button" records, one per path.
class CursorPointerSource {
 public:
  std::optional<ElementRecord> take(const CursorRow& row);

 private:
  std::unordered_set<std::string> seen_;
};

// A text element: visible, with non-blank text and a box.
std::optional<TextElementRecord> read_text_element(ElementReader& reader);

// Label candidates: visible short texts on one line, the first element with a
// given text only.
class LabelCandidateSource {
 public:
  std::optional<LabelCandidate> read(ElementReader& reader);

 private:
  std::unordered_set<std::string> seen_;
};

// ---------------------------------------------------------------------------
// Label geometry and text de-duplication
// ---------------------------------------------------------------------------

struct LabelTarget {
  bool has_label = false;  // already named: keeps its label
  std::optional<Box> box;  // nullopt: not placed, gets no label
};

// For each target, the candidate that labels it: the nearest one whose bottom
// edge is at or above the target's top edge and which overlaps it horizontally
// (touching edges count); the first in candidate order wins a tie. nullopt for a
// target that keeps its label, has no box, has no such candidate, or whose
// nearest candidate has an empty text.
std::vector<std::optional<std::size_t>> assign_spatial_labels(
    std::span<const LabelTarget> targets, std::span<const LabelCandidate> candidates);
// The same on whole records: appends "_label" to each record that lacks a
// non-empty one and gets a candidate.
void assign_spatial_labels(std::vector<ElementRecord>& elements,
                           std::span<const LabelCandidate> candidates);

struct TextView {
  std::string_view text;
  bool has_direct_text = false;
  Box box;
};

// Indices of the text elements to keep, in order. An element with text of its
// own is always kept; one without is a wrapper, dropped when some other element
// with a strictly smaller area overlaps it (touching is not overlapping) and its
// text occurs in the wrapper's text.
std::vector<std::size_t> dedup_text_elements(std::span<const TextView> elements);
std::vector<std::size_t> dedup_text_elements(std::span<const TextElementRecord> elements);

// ---------------------------------------------------------------------------
// Snapshots
// ---------------------------------------------------------------------------

// "://" and then "/" replaced by "_", cut to the first 60 characters.
std::string url_slug(std::string_view url);
inline constexpr std::size_t kSlugMaxChars = 60;

}  // namespace marrowlane::page_model
