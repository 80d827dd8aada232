#include "marrowlane/step_parser.hpp"

#include <gtest/gtest.h>

#include "marrowlane/errors.hpp"

namespace sp = marrowlane::step_parser;
using std::nullopt;
using std::optional;
using std::string;

namespace {

struct ParseCase {
  string step;
  string action;
  optional<string> target;
  optional<string> value;
  optional<int> ordinal;
  bool literal;
};

void PrintTo(const ParseCase& c, std::ostream* os) { *os << c.step; }

class Parse : public testing::TestWithParam<ParseCase> {};

TEST_P(Parse, Record) {
  const ParseCase& c = GetParam();
  sp::Instruction got = sp::parse(c.step);
  EXPECT_EQ(got.action, c.action);
  EXPECT_EQ(got.target, c.target);
  EXPECT_EQ(got.value, c.value);
  EXPECT_EQ(got.ordinal, c.ordinal);
  EXPECT_EQ(got.literal_target, c.literal);
}

// The cuts: where each form takes its target and value, and what survives of
// the writer's spacing and letters. The Python tests cover the vocabulary.
INSTANTIATE_TEST_SUITE_P(
    Cuts, Parse,
    testing::Values(
        ParseCase{"click second button next to \"Sign up\"", "click", "button next to Sign up",
                  nullopt, 2, false},
        ParseCase{"type  hello  into the Search box", "type", "Search box", " hello ", nullopt,
                  false},
        ParseCase{"type a into b into c", "type", "b into c", "a", nullopt, false},
        ParseCase{"find exact text  Total: ", "find_exact_text", " Total:", nullopt, nullopt,
                  false},
        ParseCase{"navigate \"'/a b'\"", "navigate", "/a b", nullopt, nullopt, false},
        ParseCase{"verify dialog says  Saved!", "verify_dialog", nullopt, " Saved!", nullopt,
                  false},
        ParseCase{"sendkeys \"'Tab'\"", "sendkeys", "Tab", "Tab", nullopt, false},
        ParseCase{"verify text near\tis visible", "verify_text_visible", "near", nullopt, nullopt,
                  false},
        ParseCase{"verify text the Welcome is visible", "verify_text_visible", "the Welcome",
                  nullopt, nullopt, false},
        // A quoted name is exact: no ordinal and no relation is read from it.
        ParseCase{"click   \"first\"  ", "click", "first", nullopt, 1, true},
        ParseCase{"extract_text \"near you\"", "extract_text", "near you", nullopt, 1, true},
        // Lower-casing that changes the byte length (U+0130 grows, the Kelvin
        // sign shrinks) must not shift the cuts.
        ParseCase{"click \xC4\xB0stanbul", "click", "\xC4\xB0stanbul", nullopt, 1, false},
        ParseCase{"clic\xE2\x84\xAA Save", "click", "Save", nullopt, 1, false},
        ParseCase{"type \xC4\xB0\xC4\xB0 into \xC4\xB0zmir", "type", "\xC4\xB0zmir",
                  "\xC4\xB0\xC4\xB0", nullopt, false},
        ParseCase{"verify \xC4\xB0\xC4\xB0 is present", "verify_present", "\xC4\xB0\xC4\xB0",
                  nullopt, nullopt, false},
        ParseCase{"verify text near \xC4\xB0zmir is \xC4\xB0", "verify_spatial_text",
                  "near \xC4\xB0zmir", "\xC4\xB0", nullopt, false}));

class ParseFails : public testing::TestWithParam<string> {};

TEST_P(ParseFails, Unrecognised) {
  try {
    sp::parse(GetParam());
    FAIL() << "parsed: " << GetParam();
  } catch (const marrowlane::ValueError& e) {
    EXPECT_EQ(string(e.what()).rfind("Unrecognised instruction: ", 0), 0u) << e.what();
  }
}

INSTANTIATE_TEST_SUITE_P(NoForm, ParseFails,
                         testing::Values("", "   ", "click", "type hello", "type into Search",
                                         "select from List", "accept dialog now", "verify Login",
                                         "back", "refresh", "jump"));

TEST(ParseFails, MessageQuotesTheStepAsPassedAndListsTheActions) {
  try {
    sp::parse(" it's \n");
    FAIL();
  } catch (const marrowlane::ValueError& e) {
    string msg = e.what();
    EXPECT_EQ(msg.rfind("Unrecognised instruction: \" it's \\n\". Supported actions: ['click', "
                        "'type', 'hover', ",
                        0),
              0u)
        << msg;
    EXPECT_TRUE(msg.ends_with("'accept_dialog', 'dismiss_dialog', 'verify_dialog']")) << msg;
  }
}

struct UnquoteCase {
  string in;
  string text;
  std::vector<string> literals;
};

TEST(Unquote, PairsLeftToRightWithoutOverlap) {
  for (const UnquoteCase& c : std::vector<UnquoteCase>{
           {"a \"b c\" d \"e\"", "a b c d e", {"b c", "e"}},
           {"\"\"x\"", "\"x", {"x"}},
           {"x \"\" y", "x \"\" y", {}},
           {"say \"hi", "say \"hi", {}},
           {"\"a\"\"a\"", "aa", {"a", "a"}},
           {"\"line\nbreak\"", "line\nbreak", {"line\nbreak"}},
       }) {
    sp::Unquoted got = sp::unquote(c.in);
    EXPECT_EQ(got.text, c.text) << c.in;
    EXPECT_EQ(got.literals, c.literals) << c.in;
  }
}

struct ValidateCase {
  string step;
  std::vector<string> issues;
};

void PrintTo(const ValidateCase& c, std::ostream* os) { *os << c.step; }

class Validate : public testing::TestWithParam<ValidateCase> {};

TEST_P(Validate, Messages) { EXPECT_EQ(sp::validate(GetParam().step), GetParam().issues); }

const string kTypeText =
    "`type` instruction missing text to type. Expected: type <text> into <target>";

INSTANTIATE_TEST_SUITE_P(
    Checks, Validate,
    testing::Values(
        ValidateCase{" \t", {"Instruction is empty."}},
        ValidateCase{"click \"Log in",
                     {"Unbalanced quote \u2014 missing closing `\"` in: 'click \"Log in'"}},
        ValidateCase{"Jump to page",
                     {"Unknown action 'jump'. Expected one of: click, type, verify, hover, "
                      "select, press, wait, find, extract, sendkeys."}},
        ValidateCase{"type  into Name", {kTypeText}}, ValidateCase{"type into Search", {kTypeText}},
        ValidateCase{"type \xC4\xB0 into Name", {}}, ValidateCase{"verify dialogue", {}},
        ValidateCase{"wait \"'500'\"", {}},
        ValidateCase{"wait \"\"", {"`wait` value must be a number in milliseconds. Got: ''"}}));

TEST(ValidateAll, NumbersLinesWithIssuesFromOne) {
  sp::LineIssues got = sp::validate_all({"click Login", "jump", "wait x"});
  ASSERT_EQ(got.size(), 2u);
  EXPECT_EQ(got[0].first, 2u);
  EXPECT_EQ(got[1].first, 3u);
  EXPECT_EQ(got[1].second,
            std::vector<string>{"`wait` value must be a number in milliseconds. Got: 'x'"});
}

}  // namespace
