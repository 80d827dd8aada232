#include "marrowlane/page_model.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <stdexcept>

namespace pm = marrowlane::page_model;
using pm::Box;

namespace {

// An element described by plain values; records every question asked.
struct FakeElement final : pm::ElementReader {
  bool visible = true, enabled = true, direct = true;
  std::string tag = "input";
  std::optional<std::string> text;
  std::map<std::string, std::string, std::less<>> attrs;
  std::optional<Box> box = Box{0, 0, 10, 10};
  pm::Attributes data;
  std::string path = "/html[1]/body[1]/input[1]";
  std::map<std::string, std::string, std::less<>> by_selector;  // inner text per selector
  std::optional<std::string> sibling, parent_child;
  std::string fail_on;  // a question that throws
  std::vector<std::string> asked;

  void ask(std::string what) {
    if (what == fail_on) throw std::runtime_error("gone");
    asked.push_back(std::move(what));
  }
  bool is_visible() override { return ask("visible"), visible; }
  bool is_enabled() override { return ask("enabled"), enabled; }
  std::string tag_name() override { return ask("tag"), tag; }
  std::optional<std::string> inner_text() override { return ask("text"), text; }
  std::optional<std::string> attribute(std::string_view name) override {
    ask("@" + std::string(name));
    auto it = attrs.find(name);
    if (it == attrs.end()) return std::nullopt;
    return it->second;
  }
  std::optional<Box> bounding_box() override { return ask("box"), box; }
  pm::Attributes data_attributes() override { return ask("data"), data; }
  std::string xpath() override { return ask("xpath"), path; }
  bool has_direct_text() override { return ask("direct"), direct; }
  std::optional<std::string> inner_text_of(std::string_view selector) override {
    ask("query " + std::string(selector));
    auto it = by_selector.find(selector);
    if (it == by_selector.end()) return std::nullopt;
    return it->second;
  }
  std::optional<std::string> previous_sibling_text() override { return ask("sibling"), sibling; }
  std::optional<std::string> parent_children_text() override { return ask("parent"), parent_child; }
};

std::vector<std::pair<std::string, std::string>> items(const pm::Attributes& a) {
  return {a.items().begin(), a.items().end()};
}

TEST(PageModel, LabelSelectors) {
  struct Case {
    std::string id, expected;
  } cases[] = {
      {"user", R"(label[for="user"])"},
      {R"(say"hi")", R"(label[for="say\"hi\""])"},
      {R"(a\b)", R"(label[for="a\\b"])"},
      {"ünï", R"(label[for="ünï"])"},
  };
  for (const auto& c : cases) EXPECT_EQ(pm::label_for_selector(c.id), c.expected) << c.id;
  EXPECT_EQ(pm::label_for_selector(""), std::nullopt);
  EXPECT_EQ(pm::labelledby_selector("a b"), "#a b");
  EXPECT_EQ(pm::labelledby_selector(""), std::nullopt);
}

TEST(PageModel, FieldLabelOrder) {
  using Readings = std::array<std::optional<std::string>, 7>;
  const std::optional<std::string> none;
  struct Case {
    Readings readings;
    std::optional<std::string> expected;
  } cases[] = {
      {Readings{" Name ", "ref", "for", "ph", "t", "sib", "par"}, "Name"},
      {Readings{"   ", "\tref ", "for", none, none, none, none}, "ref"},
      {Readings{none, " ", "", " ph ", "t", none, none}, "ph"},
      {Readings{none, none, none, "", " t", none, none}, "t"},
      {Readings{none, none, none, none, none, "Email", "par"}, "Email"},
      {Readings{none, none, none, none, none, "", " par "}, "par"},
      // a nearby text that is only blanks still ends the search, with nothing
      {Readings{none, none, none, none, none, "\x1c", "par"}, ""},
      {Readings{}, std::nullopt},
  };
  for (const auto& c : cases) EXPECT_EQ(pm::field_label(c.readings), c.expected);
}

TEST(PageModel, FieldLabelReadsOnlyWhatItNeeds) {
  FakeElement el;
  el.attrs = {{"aria-labelledby", "ref"}, {"id", "user"}, {"placeholder", "P"}};
  el.by_selector = {{R"(label[for="user"])", " User name "}};
  EXPECT_EQ(pm::field_label(el), "User name");
  EXPECT_EQ(el.asked, (std::vector<std::string>{"@aria-label", "@aria-labelledby", "query #ref",
                                                "@id", R"(query label[for="user"])"}));
}

TEST(PageModel, MainSource) {
  struct Case {
    const char* name;
    void (*setup)(FakeElement&);
    std::optional<std::string> text;  // nullopt: skipped
  } cases[] = {
      {"inner text, stripped", [](FakeElement& e) { e.text = "  Go \n"; }, "Go"},
      {"value when no text",
       [](FakeElement& e) {
         e.attrs = {{"value", " Send "}};
       },
       "Send"},
      {"nothing at all", [](FakeElement&) {}, ""},
      {"no box", [](FakeElement& e) { e.box.reset(); }, std::nullopt},
      {"zero width",
       [](FakeElement& e) {
         e.box = Box{0, 0, 0, 5};
       },
       std::nullopt},
      {"negative height",
       [](FakeElement& e) {
         e.box = Box{0, 0, 5, -1};
       },
       std::nullopt},
      {"hidden, nameless", [](FakeElement& e) { e.visible = false; }, std::nullopt},
      {"hidden, blank name",
       [](FakeElement& e) {
         e.visible = false, e.attrs = {{"title", ""}};
       },
       std::nullopt},
      {"hidden, aria-label",
       [](FakeElement& e) {
         e.visible = false, e.attrs = {{"aria-label", "Close"}};
       },
       ""},
      {"hidden, title",
       [](FakeElement& e) {
         e.visible = false, e.attrs = {{"title", " "}};
       },
       ""},
  };
  for (const auto& c : cases) {
    FakeElement el;
    el.tag = "a";
    c.setup(el);
    auto rec = pm::read_interactable(el);
    ASSERT_EQ(rec.has_value(), c.text.has_value()) << c.name;
    if (rec) {
      EXPECT_EQ(rec->text, *c.text) << c.name;
    } else {
      // a skipped element costs no attribute reads beyond the ones deciding it
      EXPECT_EQ(std::count(el.asked.begin(), el.asked.end(), "@id"), 0) << c.name;
    }
  }
}

TEST(PageModel, MainSourceRecord) {
  FakeElement el;
  el.visible = false;
  el.enabled = false;
  el.attrs = {{"aria-label", "Mail"}, {"id", "e"}, {"value", ""}, {"data-testid", "email"}};
  el.data.set("data-testid", "email2");
  el.data.set("data-role", "x");
  auto rec = pm::read_interactable(el);
  ASSERT_TRUE(rec);
  EXPECT_FALSE(rec->is_visible);
  EXPECT_FALSE(rec->is_enabled);
  EXPECT_FALSE(rec->is_editable_field);
  EXPECT_EQ(rec->xpath, "/html[1]/body[1]/input[1]");
  EXPECT_EQ(items(rec->attributes),
            (std::vector<std::pair<std::string, std::string>>{{"id", "e"},
                                                              {"aria-label", "Mail"},
                                                              {"value", ""},
                                                              {"data-testid", "email2"},
                                                              {"data-role", "x"},
                                                              {"_label", "Mail"}}));
  // only inputs and text areas look for a label of their own
  for (const char* tag : {"select", "button", "textarea"}) {
    FakeElement other;
    other.tag = tag;
    other.attrs = {{"placeholder", "P"}};
    auto r = pm::read_interactable(other);
    EXPECT_EQ(r->attributes.find("_label") != nullptr, std::string(tag) == "textarea") << tag;
  }
}

TEST(PageModel, CustomInputs) {
  pm::CustomInputSource source;
  auto make = [](std::string tag, std::string cls) {
    FakeElement e;
    e.tag = std::move(tag);
    e.attrs = {{"class", std::move(cls)}, {"aria-label", "Notes"}};
    e.text = " typed ";
    return e;
  };
  FakeElement first = make("span", "Rich-Editable");
  auto rec = source.read(first);
  ASSERT_TRUE(rec);
  EXPECT_TRUE(rec->is_editable_field);
  EXPECT_EQ(rec->text, "typed");
  EXPECT_EQ(rec->attributes.find("_label") ? *rec->attributes.find("_label") : "", "Notes");

  FakeElement again = make("div", "input");  // same path: listed once
  EXPECT_FALSE(source.read(again));
  FakeElement native = make("input", "input");
  native.path = "/other[1]";
  EXPECT_FALSE(source.read(native));
  FakeElement hidden = make("div", "input");
  hidden.path = "/hidden[1]";
  hidden.visible = false;
  EXPECT_FALSE(source.read(hidden));
  hidden.visible = true;  // a hidden one did not claim its path
  EXPECT_TRUE(source.read(hidden));
}

TEST(PageModel, LabelCandidates) {
  pm::LabelCandidateSource source;
  struct Case {
    std::string text;
    double height;
    bool kept;
  } cases[] = {
      {std::string(60, 'a'), 20, true},
      {std::string(61, 'b'), 20, false},
      {"é" + std::string(59, 'c'), 40, true},  // characters, not bytes
      {"Tall", 41, false},
      {"Password", 20, true},
      {" Password ", 10, false},  // the same text again
      {"   ", 10, false},
  };
  for (const auto& c : cases) {
    FakeElement el;
    el.text = c.text;
    el.box = Box{0, 0, 100, c.height};
    EXPECT_EQ(source.read(el).has_value(), c.kept) << c.text;
  }
}

TEST(PageModel, SpatialLabels) {
  std::vector<pm::LabelCandidate> cands = {
      {"Far", Box{0, 0, 100, 20}},
      {"Near", Box{0, 60, 40, 20}},
      {"Tie", Box{50, 60, 40, 20}},
      {"Right", Box{200, 70, 10, 10}},
  };
  struct Case {
    pm::LabelTarget target;
    std::optional<std::size_t> expected;
  } cases[] = {
      {{false, Box{0, 100, 100, 10}}, 1},    // nearest, first of a tie
      {{false, Box{50, 80, 40, 10}}, 2},     // bottom edge on the top edge
      {{false, Box{50, 79, 40, 10}}, 0},     // one pixel too high for the tie
      {{false, Box{100, 100, 100, 10}}, 3},  // left edges touching; Far touches too
      {{false, Box{211, 100, 5, 5}}, std::nullopt},
      {{true, Box{0, 100, 100, 10}}, std::nullopt},
      {{false, std::nullopt}, std::nullopt},
  };
  for (const auto& c : cases) {
    auto got = pm::assign_spatial_labels(std::span(&c.target, 1), cands);
    EXPECT_EQ(got[0], c.expected);
  }

  std::vector<pm::ElementRecord> recs(2);
  recs[0].box = Box{0, 100, 100, 10};
  recs[0].attributes.set("id", "a");
  recs[1].box = Box{0, 100, 100, 10};
  recs[1].attributes.set("_label", "Own");
  pm::assign_spatial_labels(recs, cands);
  EXPECT_EQ(items(recs[0].attributes),
            (std::vector<std::pair<std::string, std::string>>{{"id", "a"}, {"_label", "Near"}}));
  EXPECT_EQ(*recs[1].attributes.find("_label"), "Own");
}

TEST(PageModel, Dedup) {
  struct Case {
    std::vector<pm::TextView> views;
    std::vector<std::size_t> kept;
  } cases[] = {
      {{{"Welcome back", false, Box{0, 0, 300, 20}}, {"Welcome back", true, Box{0, 0, 90, 20}}},
       {1}},
      {{{"Total: 42", true, Box{0, 0, 300, 20}}, {"42", true, Box{60, 0, 20, 20}}}, {0, 1}},
      {{{"Yes No", false, Box{0, 0, 300, 20}},
        {"Yes", true, Box{0, 0, 30, 20}},
        {"No", true, Box{40, 0, 30, 20}}},
       {1, 2}},
      {{{"Edge", false, Box{0, 0, 100, 20}}, {"Edge", true, Box{0, 20, 10, 10}}}, {0, 1}},
      {{{"abc", false, Box{0, 0, 100, 20}}, {"ABC", true, Box{0, 0, 10, 10}}}, {0, 1}},
      {{{"Deep", false, Box{0, 0, 300, 20}},
        {"Deep", false, Box{0, 0, 200, 20}},
        {"Deep", true, Box{0, 0, 40, 20}}},
       {2}},
  };
  for (const auto& c : cases) EXPECT_EQ(pm::dedup_text_elements(c.views), c.kept);
}

std::string repeat(std::string_view s, int n) {
  std::string out;
  for (int i = 0; i < n; ++i) out += s;
  return out;
}

TEST(PageModel, UrlSlug) {
  struct Case {
    std::string url, slug;
  } cases[] = {
      {"https://example.com/a/b", "https_example.com_a_b"},
      {"http://localhost:8000/x?y=1", "http_localhost:8000_x?y=1"},
      {"file:///tmp/p.html", "file__tmp_p.html"},
      {"about:blank", "about:blank"},
      {"https://x/" + repeat("z", 100), "https_x_" + repeat("z", 52)},
      // cut by characters, never inside one
      {"https://\u00e9/" + repeat("\u00fc", 30) + repeat("z", 30),
       "https_\u00e9_" + repeat("\u00fc", 30) + repeat("z", 22)},
  };
  for (const auto& c : cases) EXPECT_EQ(pm::url_slug(c.url), c.slug) << c.url;
}

TEST(PageModel, ReaderErrorsPropagate) {
  FakeElement el;
  el.fail_on = "data";
  EXPECT_THROW(pm::read_interactable(el), std::runtime_error);
}

}  // namespace
