#include "marrowlane/account.hpp"

#include <gtest/gtest.h>

#include <deque>

namespace account = marrowlane::account;
namespace match = marrowlane::text_match;

namespace {

match::Box box(double x, double y) {
  match::Box b;
  b.state = match::Box::State::Record;
  b.truthy = true;
  b.x = {match::Number::State::Value, x, {}};
  b.y = {match::Number::State::Value, y, {}};
  return b;
}

account::Facts el(std::string_view tag, std::string_view text, std::string_view xpath = "",
                  bool visible = true) {
  account::Facts f;
  f.record.tag = tag;
  f.record.text = text;
  f.record.xpath = xpath;
  f.record.box = box(12.4, 30.6);
  f.record.is_visible = visible;
  f.record.is_enabled = true;
  return f;
}

account::Facts field(std::string_view type, std::string_view label, std::string_view aria = "") {
  account::Facts f = el("input", "typed value");
  f.record.match_attributes = {aria, label, "", "", type, ""};
  return f;
}

}  // namespace

TEST(PersonName, NamesKindAndName) {
  account::Facts chat = el("button", "?");
  chat.record.match_attributes[0] = "Chat with us";
  account::Facts role_link = el("div", "Next");
  role_link.record.role = "link";
  account::Facts bare = el("a", "  ");
  const std::string long_text(60, 'x');
  const std::vector<std::pair<account::Facts, std::string>> table = {
      {el("button", "Add to cart"), "button \"Add to cart\""},
      {field("email", "Email"), "text field \"Email\""},
      {field("password", "Password"), "password field \"Password\""},
      {field("checkbox", "I accept the terms"), "checkbox \"I accept the terms\""},
      {field("submit", ""), "button \"typed value\""},
      {field("", "", "Search"), "text field \"Search\""},
      {chat, "button \"Chat with us\""},
      {role_link, "link \"Next\""},
      {el("h2", "Your cart\nand more"), "heading \"Your cart\""},
      {el("span", long_text), "text \"" + std::string(39, 'x') + "\u2026\""},
      {bare, "link"},
  };
  for (const auto& [facts, wanted] : table) EXPECT_EQ(account::person_name(facts), wanted);
}

TEST(Where, TellsTheRowOrTheBox) {
  const std::string row = "/html[1]/body[1]/main[1]/ul[1]/li[2]";
  const std::string h3 = row + "/h3[1]", span = row + "/span[1]", button = row + "/button[1]";
  std::vector<account::Facts> page = {
      el("h1", "Products", "/html[1]/body[1]/main[1]/h1[1]"),
      el("h3", "Bike Light", h3),
      el("span", "$9.99", span),
      el("button", "Add to cart", button),
      el("li", "Bike Light $9.99 Add to cart", row),  // a wrapper around the pick
      el("h3", "Onesie", "/html[1]/body[1]/main[1]/ul[1]/li[3]/h3[1]"),
  };
  EXPECT_EQ(account::where(page[3], page), "in \"Bike Light \u00B7 $9.99\"");
  // Only the page around it: the box.
  EXPECT_EQ(account::where(page[0], std::span(page).first(1)), "at (12, 31)");
  std::vector<account::Facts> flat = {el("button", "Go", "/html[1]/body[1]/button[1]"),
                                      el("p", "Hello", "/html[1]/body[1]/p[1]")};
  EXPECT_EQ(account::where(flat[0], flat), "at (12, 31)");

  // Read in part: a child of <body> holds all where() looks at, a deeper part
  // only once it holds more texts than a row (the pick's wrappers aside).
  const std::string list = "/html[1]/body[1]/main[1]/ul[1]";
  EXPECT_TRUE(account::settled(page[3], "/html[1]/body[1]/main[1]", page));
  EXPECT_FALSE(account::settled(page[3], list, page));
  std::deque<std::string> paths;  // the records hold views of them
  for (int i = 0; i < 8; ++i) {
    paths.push_back(list + "/li[" + std::to_string(4 + i) + "]/p[1]");
    page.push_back(el("p", "More", paths.back()));
  }
  EXPECT_TRUE(account::settled(page[3], list, page));
}

TEST(Rules, SayWhichRuleChose) {
  account::Facts login = field("text", "Username", "");
  login.record.match_attributes[2] = "Your name";
  EXPECT_EQ(account::match_of("username field", login, true)->surface, "label");
  EXPECT_FALSE(account::match_of("username", login, false));
  EXPECT_FALSE(account::match_of("your", login, true)->exact);

  struct Case {
    account::Match match;
    std::size_t position, count;
    std::string wanted;
  };
  for (const Case& c : std::vector<Case>{
           {{"text", true}, 1, 1, "exact match of its text"},
           {{"label", true}, 1, 1, "exact match of its label"},
           {{"text", false}, 2, 6, "partial match of its text, 2nd of 6 in reading order"},
       }) {
    EXPECT_EQ(account::text_rule(c.match, c.position, c.count), c.wanted);
  }

  struct Spatial {
    account::Placement placement;
    std::string wanted;
  };
  for (const Spatial& c : std::vector<Spatial>{
           {{"right", "Total", 0, "", "", false}, "nearest right of \"Total\""},
           {{"next_to", "Email", 2, "button", "", false},
            "2nd button right of \"Email\" in its row"},
           {{"below", "Name", 0, "input", "", true},
            "nearest below \"Name\" (no input there, so any kind)"},
           {{"near", "Onesie", 0, "", "Add to cart", false},
            "nearest \"Add to cart\" near \"Onesie\""},
           {{"", "", 2, "", "Add to cart", false}, "2nd \"Add to cart\" in reading order"},
           {{"", "", 3, "button", "", false}, "3rd button in reading order"},
       }) {
    EXPECT_EQ(account::spatial_rule(c.placement), c.wanted);
  }
  EXPECT_EQ(account::nth(11), "11th");
  EXPECT_EQ(account::nth(22), "22nd");
}

TEST(RunnersUp, SayWhyEachLost) {
  std::vector<account::Facts> page = {
      el("button", "Add to cart"),
      el("button", "Add to cart later"),
      el("button", "Add to cart", "", /*visible=*/false),
      el("button", "Add to cart"),
      el("a", "Checkout"),
  };
  const std::vector<std::size_t> candidates = {0, 3};
  auto losers = account::text_runners_up("click", "Add to cart", page, 3, candidates);
  ASSERT_EQ(losers.size(), 3u);
  EXPECT_EQ(losers[0].index, 0u);
  EXPECT_EQ(losers[0].why, "earlier in reading order");
  EXPECT_EQ(losers[1].why, "partial match");
  EXPECT_EQ(losers[2].why, "hidden");
  EXPECT_EQ(account::text_runners_up("click", "Add", page, 0, candidates, 1).size(), 1u);

  std::vector<account::Facts> form = {field("text", "Email"), el("button", "Email me")};
  auto typed = account::text_runners_up("type", "Email", form, 0, std::vector<std::size_t>{0});
  ASSERT_EQ(typed.size(), 1u);
  EXPECT_EQ(typed[0].why, "the wrong kind for typing");

  auto farther = account::spatial_runners_up({"below", "Alpha", 0, "", "", false}, 0, 3);
  ASSERT_EQ(farther.size(), 2u);
  EXPECT_EQ(farther[1].index, 2u);
  EXPECT_EQ(farther[0].why, "farther below \"Alpha\"");
  auto ordinal = account::spatial_runners_up({"", "", 2, "button", "", false}, 1, 3);
  EXPECT_EQ(ordinal[0].why, "earlier in reading order");
  EXPECT_EQ(ordinal[1].why, "later in reading order");
}

TEST(NotTaken, GivesEveryReason) {
  account::Facts disabled = el("button", "Place order");
  disabled.record.is_enabled = false;
  struct Case {
    std::string_view action, target;
    account::Facts facts;
    bool exact;
    std::string wanted;
  };
  for (const Case& c : std::vector<Case>{
           {"click", "Chekout", el("a", "Checkout"), false, "a different name"},
           {"click", "Place order", disabled, false, "disabled"},
           {"verify_enabled", "Place order", disabled, false, ""},
           {"type", "Login", el("button", "Login", "", false), false,
            "the wrong kind for typing, hidden"},
           {"select", "Country", el("button", "Country"), false, "not a dropdown list"},
           {"find_exact_text", "Total", el("span", "Total: $4"), true, "partial match"},
       }) {
    EXPECT_EQ(account::not_taken(c.action, c.target, c.facts, c.exact), c.wanted) << c.target;
  }
}

TEST(Line, PutsItAllInOneLine) {
  const std::vector<account::Runner> none;
  EXPECT_EQ(account::line("button \"Go\"", "", "exact match of its text", none),
            "button \"Go\" \u2014 exact match of its text");
  const std::vector<account::Runner> two = {{"button \"Go\" at (1, 2)", "later in reading order"},
                                            {"link \"Go on\"", "partial match"}};
  EXPECT_EQ(account::line("button \"Go\"", "in \"Cart\"", "exact match of its text", two),
            "button \"Go\" in \"Cart\" \u2014 exact match of its text; runners-up: button \"Go\" "
            "at (1, 2) (later in reading order), link \"Go on\" (partial match)");
}
