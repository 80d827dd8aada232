#include "marrowlane/page_model.hpp"

#include "marrowlane/text.hpp"

namespace marrowlane::page_model {

namespace {

std::string stripped(std::string_view s) { return std::string(text::strip(s)); }

bool non_blank(const std::optional<std::string>& s) { return s && !text::strip(*s).empty(); }

// The captured attributes the element carries, in the fixed order (an empty
// value counts as carried).
template <std::size_t N>
Attributes read_attributes(ElementReader& reader, const std::array<std::string_view, N>& names) {
  Attributes attrs;
  for (std::string_view name : names) {
    if (auto value = reader.attribute(name)) attrs.set(std::string(name), std::move(*value));
  }
  return attrs;
}

void add_label(Attributes& attrs, const std::optional<std::string>& label) {
  if (label && !label->empty()) attrs.set("_label", *label);
}

}  // namespace

std::string interactable_selector() {
  std::string out;
  auto add = [&out](std::string_view item) {
    if (!out.empty()) out += ", ";
    out += item;
  };
  for (auto tag : kNativeTags) add(tag);
  for (auto role : kAriaRoles) add("[role=\"" + std::string(role) + "\"]");
  for (auto item : kExtraInteractable) add(item);
  return out;
}

std::string text_selector() {
  std::string out;
  for (auto tag : kTextTags) {
    if (!out.empty()) out += ", ";
    out += tag;
  }
  return out;
}

// --- Attributes ------------------------------------------------------------

void Attributes::set(std::string name, std::string value) {
  for (auto& item : items_) {
    if (item.first == name) {
      item.second = std::move(value);
      return;
    }
  }
  items_.emplace_back(std::move(name), std::move(value));
}

const std::string* Attributes::find(std::string_view name) const {
  for (const auto& item : items_) {
    if (item.first == name) return &item.second;
  }
  return nullptr;
}

void Attributes::merge(const Attributes& other) {
  for (const auto& [name, value] : other.items()) set(name, value);
}

// --- Field labels ------------------------------------------------------------

std::optional<std::string> labelledby_selector(std::string_view labelledby) {
  if (labelledby.empty()) return std::nullopt;
  return "#" + std::string(labelledby);
}

std::optional<std::string> label_for_selector(std::string_view id) {
  if (id.empty()) return std::nullopt;
  // Inside a quoted CSS string only the quote and the backslash are special;
  // escaping them lets any id find its label.
  std::string out = "label[for=\"";
  for (char c : id) {
    if (c == '"' || c == '\\') out += '\\';
    out += c;
  }
  out += "\"]";
  return out;
}

std::optional<std::string> accept_label(LabelSource source,
                                        const std::optional<std::string>& reading) {
  if (!reading) return std::nullopt;
  switch (source) {
    case LabelSource::PreviousSibling:
    case LabelSource::ParentChildren:
      if (reading->empty()) return std::nullopt;
      return stripped(*reading);
    default:
      if (!non_blank(reading)) return std::nullopt;
      return stripped(*reading);
  }
}

std::optional<std::string> field_label(
    const std::array<std::optional<std::string>, kLabelOrder.size()>& readings) {
  for (std::size_t i = 0; i < kLabelOrder.size(); ++i) {
    if (auto label = accept_label(kLabelOrder[i], readings[i])) return label;
  }
  return std::nullopt;
}

namespace {

std::optional<std::string> read_label_source(ElementReader& reader, LabelSource source) {
  switch (source) {
    case LabelSource::AriaLabel: return reader.attribute("aria-label");
    case LabelSource::LabelledBy: {
      auto value = reader.attribute("aria-labelledby");
      auto selector = labelledby_selector(value.value_or(""));
      if (!selector) return std::nullopt;
      return reader.inner_text_of(*selector);
    }
    case LabelSource::LabelFor: {
      auto id = reader.attribute("id");
      auto selector = label_for_selector(id.value_or(""));
      if (!selector) return std::nullopt;
      return reader.inner_text_of(*selector);
    }
    case LabelSource::Placeholder: return reader.attribute("placeholder");
    case LabelSource::Title: return reader.attribute("title");
    case LabelSource::PreviousSibling: return reader.previous_sibling_text();
    case LabelSource::ParentChildren: return reader.parent_children_text();
  }
  return std::nullopt;
}

}  // namespace

std::optional<std::string> field_label(ElementReader& reader) {
  for (LabelSource source : kLabelOrder) {
    if (auto label = accept_label(source, read_label_source(reader, source))) return label;
  }
  return std::nullopt;
}

// --- Sources -----------------------------------------------------------------

bool is_custom_input(std::string_view tag, std::string_view classes) {
  if (tag == "input" || tag == "textarea" || tag == "select") return false;
  std::string lowered = text::lower(classes);
  return lowered.find("editable") != std::string::npos ||
         lowered.find("input") != std::string::npos;
}

bool box_usable(const std::optional<Box>& box) { return box && box->width > 0 && box->height > 0; }

std::optional<ElementRecord> read_interactable(ElementReader& reader) {
  ElementRecord rec;
  rec.is_visible = reader.is_visible();
  rec.is_enabled = reader.is_enabled();
  rec.tag = reader.tag_name();
  rec.text = stripped(reader.inner_text().value_or(""));
  if (rec.text.empty()) rec.text = stripped(reader.attribute("value").value_or(""));

  auto box = reader.bounding_box();
  if (!box_usable(box)) return std::nullopt;
  rec.box = *box;

  if (!rec.is_visible) {
    // A hidden element takes part only under an accessible name.
    auto aria = reader.attribute("aria-label");
    auto title = reader.attribute("title");
    if (aria.value_or("").empty() && title.value_or("").empty()) return std::nullopt;
  }

  rec.attributes = read_attributes(reader, kCapturedAttributes);
  rec.attributes.merge(reader.data_attributes());
  rec.xpath = reader.xpath();
  if (rec.tag == "input" || rec.tag == "textarea") add_label(rec.attributes, field_label(reader));
  return rec;
}

std::optional<ElementRecord> CustomInputSource::read(ElementReader& reader) {
  ElementRecord rec;
  rec.tag = reader.tag_name();
  std::string classes = reader.attribute("class").value_or("");
  if (!is_custom_input(rec.tag, classes)) return std::nullopt;

  auto box = reader.bounding_box();
  if (!box_usable(box)) return std::nullopt;
  rec.box = *box;
  if (!reader.is_visible()) return std::nullopt;

  rec.xpath = reader.xpath();
  if (!seen_.insert(rec.xpath).second) return std::nullopt;

  rec.text = stripped(reader.inner_text().value_or(""));
  auto label = field_label(reader);
  rec.attributes = read_attributes(reader, kCapturedAttributes);
  add_label(rec.attributes, label);
  rec.is_editable_field = true;
  return rec;
}

std::optional<ElementRecord> CursorPointerSource::take(const CursorRow& row) {
  if (!seen_.insert(row.xpath).second) return std::nullopt;
  ElementRecord rec;
  rec.tag = "button";
  rec.text = row.text;
  if (!row.cls.empty()) rec.attributes.set("class", row.cls);
  if (!row.aria.empty()) rec.attributes.set("aria-label", row.aria);
  rec.box = row.box;
  rec.xpath = row.xpath;
  return rec;
}

std::optional<TextElementRecord> read_text_element(ElementReader& reader) {
  if (!reader.is_visible()) return std::nullopt;
  TextElementRecord rec;
  rec.text = stripped(reader.inner_text().value_or(""));
  if (rec.text.empty()) return std::nullopt;
  auto box = reader.bounding_box();  // any box, even an empty one
  if (!box) return std::nullopt;
  rec.box = *box;
  rec.tag = reader.tag_name();
  rec.xpath = reader.xpath();
  rec.attributes = read_attributes(reader, kTextAttributes);
  rec.attributes.merge(reader.data_attributes());
  rec.has_direct_text = reader.has_direct_text();
  return rec;
}

std::optional<LabelCandidate> LabelCandidateSource::read(ElementReader& reader) {
  if (!reader.is_visible()) return std::nullopt;
  LabelCandidate cand;
  cand.text = stripped(reader.inner_text().value_or(""));
  auto box = reader.bounding_box();
  if (cand.text.empty() || !box) return std::nullopt;
  if (text::char_count(cand.text) > kCandidateMaxChars || box->height > kCandidateMaxHeight) {
    return std::nullopt;
  }
  if (!seen_.insert(cand.text).second) return std::nullopt;
  cand.box = *box;
  return cand;
}

// --- Snapshots ----------------------------------------------------------------

std::string url_slug(std::string_view url) {
  std::string out;
  out.reserve(url.size());
  for (std::size_t i = 0; i < url.size();) {
    if (url.substr(i, 3) == "://") {
      out += '_';
      i += 3;
    } else {
      out += url[i] == '/' ? '_' : url[i];
      ++i;
    }
  }
  return std::string(text::first_chars(out, kSlugMaxChars));
}

}  // namespace marrowlane::page_model
