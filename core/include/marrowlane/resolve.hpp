// Which element a step means, by the names a person reads on the page.
//
// Every element a step may mean comes as a candidate with its kind, its state
// and the names a person reads for it, each with its source (its label, its
// accessible name, its own text, the text beside it ...). rank() answers with
// the candidates that carry the step's name, best first, each with the words
// that say why it stands where it stands:
//
//   1. the action decides the kind: a type step takes only fields, a select
//      step only lists; other kinds are kept at the end as wrong for it;
//   2. an exact name beats a name that holds the target as whole words, which
//      beats one that holds it inside a word ("male" is not "female");
//   3. a control beats plain text for actions, a visible element a hidden one,
//      an enabled one a disabled one (for actions);
//   4. a better source beats a worse one (the order of NameSource);
//   5. ties go to page order.
//
// Names and targets compare alike: letter case, runs of white space (any
// Unicode blank), hyphens and underscores do not count, nor a colon or
// asterisks around a label ("* Required Text Field:"). Kind words around a
// target ("the Login button", "the Security tab") may be left out of it.
//
// check_text() answers "verify text ... is present/visible" over the page's
// text as a person reads it.
#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace marrowlane::resolve {

// What an element is, as far as an action cares.
enum class Kind : unsigned char {
  Field,      // takes typed text: text-like inputs, textarea, editable regions, textbox roles
  List,       // select, listbox or combobox that is not a text input
  Button,     // buttons, input buttons, button roles
  Choice,     // checkbox, radio, switch
  File,       // file input
  Link,       // a, link role
  Clickable,  // anything else with a click handler, a tab stop or an interactive role
  Image,      // an image with a text
  Text,       // plain text on the page
};

// Where a name comes from, best first.
enum class NameSource : unsigned char {
  LabelledBy,   // aria-labelledby
  AriaLabel,    // aria-label
  Label,        // <label for> or a wrapping <label>
  Text,         // the element's own text
  Value,        // the value an input button shows
  Alt,          // alt of the image (or the image inside a link or button)
  Title,        // title attribute
  Placeholder,  // placeholder of a field
  After,        // the text just after a checkbox or radio button
  Row,          // the cell before in the same table row
  Left,         // the text just before on the same line
  TextAfter,    // the text just after a field
  Above,        // the text just before on an earlier line, or the nearest text above
  Attribute,    // a test id or similar attribute
};

struct Name {
  NameSource source = NameSource::Text;
  std::string_view text;
};

struct Candidate {
  std::string_view key;  // candidates with the same key are one element: the best stays
  Kind kind = Kind::Text;
  bool visible = false;
  bool enabled = true;
  std::vector<Name> names;
};

// The kind of an element from its markup: tag, input type, role (explicit or
// implicit), whether it is an editing host and whether it has a click handler
// or tab stop.
Kind kind_of(std::string_view tag, std::string_view type, std::string_view role, bool editable,
             bool clickable);

// The source a page-script source word names; nullopt for an unknown word.
std::optional<NameSource> source_named(std::string_view word);
// Words for a source, as messages say them ("its label", "the text beside it").
std::string_view source_words(NameSource source);

// How well a name holds the target.
enum class Match : unsigned char { None, Partial, Word, Exact };

// A name or target as compared: lower-cased, blanks for "-", "_" and runs of
// white space, trimmed, with colons and asterisks around it dropped.
std::string normalise(std::string_view text);
Match match(std::string_view normalised_target, std::string_view normalised_name);

struct Ranked {
  std::size_t index = 0;  // into the candidates
  Match match = Match::None;
  NameSource source = NameSource::Text;
  bool fits = true;  // the action may act on its kind
  std::string rule;  // which name matched how: "exact match of its label"
  std::string why;   // what it lost on against the best: "partial match", "hidden", ...
};

// The candidates that carry the target (or, when the target names a kind as
// well, "Login button", the target without that word), best first; one per
// key. `action` is the step's action ("click", "type", "select", "hover",
// "verify_present", ...).
std::vector<Ranked> rank(std::string_view action, std::string_view target,
                         std::span<const Candidate> candidates);

// Whether the action may act on an element of this kind.
bool fits(std::string_view action, Kind kind);

// The words every name that holds the target holds, as compared (lower-case,
// without blanks, hyphens or underscores): a look at the page may skip the
// elements whose texts lack one of them. Empty when the target has none, or
// letters outside ASCII, whose lower case a page may write otherwise.
std::vector<std::string> words_of(std::string_view target);

// The candidate that rank() puts first over `candidates` and any others of
// the page, when the others can only be element and text records after
// them (named by their text, aria-label, value, alt, title, placeholder, the
// text above or an attribute) and `contested` says whether one of those may
// carry the target in an aria-label, title or placeholder; nullopt when the
// others may change the answer. Sure is a control that fits the action,
// shown and (to act on) enabled, whose name is the target exactly from a
// source no record betters: its label or own text (for typing or selecting,
// down to the text above it) when nothing is contested.
std::optional<std::size_t> sure_first(std::string_view action, std::string_view target,
                                      std::span<const Candidate> candidates, bool contested);

// A piece of the page's text: a visible line, a hidden element's text, a value.
struct PageText {
  std::string_view text;
  bool visible = false;
};

struct TextCheck {
  bool present = false;              // some text holds the target, hidden or not
  bool visible = false;              // some visible text holds it
  std::optional<std::size_t> index;  // the text that answered (visible first)
};

TextCheck check_text(std::string_view target, std::span<const PageText> texts);

}  // namespace marrowlane::resolve
