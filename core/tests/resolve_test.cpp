#include "marrowlane/resolve.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace rs = marrowlane::resolve;

namespace {

using S = rs::NameSource;

rs::Candidate cand(rs::Kind kind, std::vector<rs::Name> names, bool visible = true,
                   bool enabled = true, std::string_view key = "") {
  rs::Candidate c;
  c.kind = kind;
  c.names = std::move(names);
  c.visible = visible;
  c.enabled = enabled;
  c.key = key;
  return c;
}

TEST(Normalise, BlanksHyphensCaseAndLabelMarks) {
  struct Case {
    const char* in;
    const char* out;
  } cases[] = {
      {"Item 3-A", "item 3 a"},
      {"first_name", "first name"},
      {"Test\u00a0text \u2009 with\n\tnbsp", "test text with nbsp"},
      {"* Required Text Field:", "required text field"},
      {"  ÄPFEL  ", "äpfel"},
      {"::", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(rs::normalise(c.in), c.out) << c.in;
}

TEST(Match, ExactWordPartial) {
  struct Case {
    const char* target;
    const char* name;
    rs::Match want;
  } cases[] = {
      {"male", "male", rs::Match::Exact},
      {"male", "female", rs::Match::Partial},
      {"checked", "unchecked", rs::Match::Partial},
      {"checkbox", "checkbox enclosed by label", rs::Match::Word},
      {"male", "a male and a female", rs::Match::Word},
      {"x", "", rs::Match::None},
      {"", "anything", rs::Match::None},
  };
  for (const auto& c : cases) EXPECT_EQ(rs::match(c.target, c.name), c.want) << c.target;
}

TEST(KindOf, MarkupToKind) {
  struct Case {
    const char *tag, *type, *role;
    bool editable, clickable;
    rs::Kind want;
  } cases[] = {
      {"input", "submit", "button", false, false, rs::Kind::Button},
      {"input", "date", "", false, false, rs::Kind::Field},
      {"input", "radio", "radio", false, false, rs::Kind::Choice},
      {"input", "file", "button", false, false, rs::Kind::File},
      {"p", "", "paragraph", true, false, rs::Kind::Field},
      {"div", "", "textbox", false, false, rs::Kind::Field},
      {"select", "", "combobox", false, false, rs::Kind::List},
      {"span", "", "link", false, false, rs::Kind::Link},
      {"span", "", "", false, true, rs::Kind::Clickable},
      {"div", "", "tab", false, false, rs::Kind::Clickable},
      {"div", "", "", false, false, rs::Kind::Text},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(rs::kind_of(c.tag, c.type, c.role, c.editable, c.clickable), c.want) << c.tag;
  }
}

// One table for the order of rank(): each case names the index that must win.
TEST(Rank, PicksWhatAPersonMeans) {
  struct Case {
    const char* what;
    const char* action;
    const char* target;
    std::vector<rs::Candidate> cands;
    std::size_t want;
    const char* rule;
  };
  std::vector<Case> cases = {
      {"exact beats partial across sources",
       "click",
       "male",
       {cand(rs::Kind::Choice, {{S::After, "female"}}),
        cand(rs::Kind::Choice, {{S::After, "male"}})},
       1,
       "exact match of its text just after it"},
      {"type skips a button whatever its value",
       "type",
       "Enabled input",
       {cand(rs::Kind::Button, {{S::Value, "enabled input"}}),
        cand(rs::Kind::Field, {{S::Label, "Enabled input"}})},
       1,
       "exact match of its label"},
      {"select takes the list, type the field",
       "select",
       "Language",
       {cand(rs::Kind::Field, {{S::Row, "Language:"}}),
        cand(rs::Kind::List, {{S::Row, "Language:"}})},
       1,
       "exact match of its text in the cell before it"},
      {"a control beats plain text",
       "click",
       "Click me!",
       {cand(rs::Kind::Text, {{S::Text, "Click me!"}}),
        cand(rs::Kind::Button, {{S::Text, "Click me!"}})},
       1,
       "exact match of its text"},
      {"visible beats hidden",
       "click",
       "Go",
       {cand(rs::Kind::Button, {{S::Text, "Go"}}, false),
        cand(rs::Kind::Button, {{S::Text, "Go"}})},
       1,
       "exact match of its text"},
      {"whole words beat part of a word",
       "click",
       "check",
       {cand(rs::Kind::Button, {{S::Text, "Checkout"}}),
        cand(rs::Kind::Button, {{S::Text, "Check it"}})},
       1,
       "partial match of its text"},
      {"a better source wins a tie",
       "type",
       "Name",
       {cand(rs::Kind::Field, {{S::Above, "Name"}}), cand(rs::Kind::Field, {{S::Label, "Name"}})},
       1,
       "exact match of its label"},
      {"the type word is dropped when nothing carries it",
       "click",
       "Login button",
       {cand(rs::Kind::Button, {{S::Text, "Login"}})},
       0,
       "exact match of its text"},
      {"hyphens read as blanks on both sides",
       "click",
       "Item 3-A",
       {cand(rs::Kind::Button, {{S::Text, "Item 3 A"}})},
       0,
       "exact match of its text"},
      {"ties go to page order",
       "click",
       "Duplicate Button",
       {cand(rs::Kind::Button, {{S::Text, "Duplicate Button"}}),
        cand(rs::Kind::Button, {{S::Text, "Duplicate Button"}})},
       0,
       "exact match of its text"},
  };
  for (const auto& c : cases) {
    auto ranked = rs::rank(c.action, c.target, c.cands);
    ASSERT_FALSE(ranked.empty()) << c.what;
    EXPECT_EQ(ranked[0].index, c.want) << c.what;
    EXPECT_EQ(ranked[0].rule, c.rule) << c.what;
  }
}

TEST(Rank, RunnersUpSayWhyAndOneEntryPerElement) {
  std::vector<rs::Candidate> cands = {
      cand(rs::Kind::Button, {{S::Value, "Language"}}, true, true, "/a"),
      cand(rs::Kind::Field, {{S::Row, "Language"}}, true, true, "/b"),
      cand(rs::Kind::Field, {{S::Above, "Language"}}, true, true, "/b"),
      cand(rs::Kind::Field, {{S::Label, "Language of the page"}}, false, true, "/c"),
  };
  auto ranked = rs::rank("type", "language", cands);
  ASSERT_EQ(ranked.size(), 3u);
  EXPECT_EQ(ranked[0].index, 1u);
  EXPECT_EQ(ranked[1].why, "partial match");
  EXPECT_EQ(ranked[2].why, "the wrong kind for typing");
  EXPECT_FALSE(ranked[2].fits);
}

TEST(Rank, NothingCarriesTheName) {
  std::vector<rs::Candidate> cands = {cand(rs::Kind::Field, {}),
                                      cand(rs::Kind::Button, {{S::Text, ""}})};
  EXPECT_TRUE(rs::rank("type", "Email", cands).empty());
  EXPECT_TRUE(rs::rank("click", "   ", cands).empty());
}

TEST(SureFirst, OnlyWhatNoRecordCouldBetter) {
  using K = rs::Kind;
  struct Case {
    const char* what;
    const char* action;
    rs::Candidate named;
    bool contested;
    bool sure;
  } cases[] = {
      {"own text, exact", "click", cand(K::Button, {{S::Text, "Login"}}), false, true},
      {"an aria-label elsewhere may name one better", "click",
       cand(K::Button, {{S::Text, "Login"}}), true, false},
      {"its own aria-label is the best a record has", "click",
       cand(K::Button, {{S::AriaLabel, "Login"}}), true, true},
      {"a label, for typing", "type", cand(K::Field, {{S::Label, "Login"}}), false, true},
      {"typing by a placeholder: no record that fits has a text", "type",
       cand(K::Field, {{S::Placeholder, "Login"}}), false, true},
      {"typing by the text above, one outside may be named better", "type",
       cand(K::Field, {{S::Above, "Login"}}), true, false},
      {"a title: a record's own text is better", "click", cand(K::Button, {{S::Title, "Login"}}),
       false, false},
      {"a partial name: a record may hold it exactly", "click",
       cand(K::Button, {{S::Text, "Login now"}}), false, false},
      {"hidden", "click", cand(K::Button, {{S::Text, "Login"}}, false), false, false},
      {"disabled, to click", "click", cand(K::Button, {{S::Text, "Login"}}, true, false), false,
       false},
      {"disabled, to check", "verify_disabled", cand(K::Button, {{S::Text, "Login"}}, true, false),
       false, true},
      {"plain text", "click", cand(K::Text, {{S::Text, "Login"}}), false, false},
      {"the wrong kind", "type", cand(K::Button, {{S::Text, "Login"}}), false, false},
  };
  for (const auto& c : cases) {
    std::vector<rs::Candidate> named = {cand(K::Link, {{S::Text, "Login help"}}), c.named};
    EXPECT_EQ(rs::sure_first(c.action, "Login", named, c.contested).has_value(), c.sure) << c.what;
  }
  EXPECT_EQ(rs::words_of("Log-in button"), (std::vector<std::string>{"log", "in"}));
  EXPECT_TRUE(rs::words_of("Äpfel").empty());
}

TEST(CheckText, PresentAndVisible) {
  std::vector<rs::PageText> texts = {{"Visible content", true},
                                     {"Hidden text", false},
                                     {"Test\u00a0text with\u00a0nbsp space", true}};
  struct Case {
    const char* target;
    bool present, visible;
  } cases[] = {
      {"visible content", true, true},
      {"Hidden text", true, false},
      {"Test text with nbsp", true, true},
      {"absent", false, false},
      {"", false, false},
  };
  for (const auto& c : cases) {
    auto check = rs::check_text(c.target, texts);
    EXPECT_EQ(check.present, c.present) << c.target;
    EXPECT_EQ(check.visible, c.visible) << c.target;
  }
}

}  // namespace
