#include "marrowlane/text.hpp"

#include <gtest/gtest.h>

namespace t = marrowlane::text;

TEST(Lower, MatchesPythonStrLower) {
  struct Case {
    const char* in;
    const char* out;
  };
  const Case cases[] = {
      {"Hello WORLD", "hello world"},
      {"\xC3\x9C" "BER UNS", "\xC3\xBC" "ber uns"},          // ÜBER UNS
      {"\xC3\x89TAT", "\xC3\xA9tat"},                        // ÉTAT
      {"\xD0\x9F\xD0\xA0\xD0\x98", "\xD0\xBF\xD1\x80\xD0\xB8"},  // ПРИ
      {"\xC4\xB0", "i\xCC\x87"},                             // İ -> i + combining dot
      {"\xE2\x84\xAA", "k"},                                 // Kelvin sign, 3 bytes -> 1
      {"\xCE\x9F\xCE\x94\xCE\x9F\xCE\xA3", "\xCE\xBF\xCE\xB4\xCE\xBF\xCF\x82"},  // ΟΔΟΣ: final sigma
      {"\xCE\xA3", "\xCF\x83"},                              // a lone Σ is not final
      {"\xCE\x91\xCE\xA3\xCE\x91", "\xCE\xB1\xCF\x83\xCE\xB1"},  // ΑΣΑ: medial sigma
      {"\xED\xA0\x80X", "\xED\xA0\x80x"},                    // a lone surrogate passes through
      {"\xFF" "A", "\xFF" "a"},                              // a stray byte stays
  };
  for (const Case& c : cases) {
    EXPECT_EQ(t::lower(c.in), c.out) << c.in;
  }
}

TEST(Lower, MappedPositionsPointAtSourceCharacters) {
  // "İx": the dotted capital I lowers to two characters (three bytes).
  t::Lowered l = t::lower_mapped("\xC4\xB0x");
  ASSERT_EQ(l.text, "i\xCC\x87x");
  EXPECT_EQ(l.source, (std::vector<std::size_t>{0, 0, 0, 2, 3}));
  // The Kelvin sign shrinks from three bytes to one.
  l = t::lower_mapped("a\xE2\x84\xAA" "b");
  EXPECT_EQ(l.text, "akb");
  EXPECT_EQ(l.source, (std::vector<std::size_t>{0, 1, 4, 5}));
}

TEST(WhiteSpace, StripAndSplitAsPython) {
  const std::string nbsp = "\xC2\xA0";
  EXPECT_EQ(t::strip("  a b \t\n"), "a b");
  EXPECT_EQ(t::strip(nbsp + "x" + nbsp), "x");
  EXPECT_EQ(t::strip("\x1c" "x\x1f"), "x");  // the ASCII separators are white space to Python
  EXPECT_EQ(t::strip(""), "");
  EXPECT_EQ(t::strip(" \t "), "");
  EXPECT_EQ(t::lstrip("  a "), "a ");
  EXPECT_EQ(t::rstrip("  a "), "  a");
  using V = std::vector<std::string_view>;
  EXPECT_EQ(t::split("  Sign \u2003 up  "), (V{"Sign", "up"}));
  EXPECT_EQ(t::split(""), V{});
  EXPECT_EQ(t::split("\xE2\x80\x8B"), V{"\xE2\x80\x8B"});  // zero-width space is no white space
  auto [w, rest] = t::split_first("  first  Name  ");
  EXPECT_EQ(w, "first");
  EXPECT_EQ(rest, "Name  ");
  auto [w2, rest2] = t::split_first("   ");
  EXPECT_EQ(w2, "");
  EXPECT_EQ(rest2, "");
}

TEST(Repr, MatchesPythonRepr) {
  struct Case {
    std::string in;
    const char* out;
  };
  const Case cases[] = {
      {"jump", "'jump'"},
      {"", "''"},
      {"it's", "\"it's\""},
      {"it's \"x\"", "'it\\'s \"x\"'"},
      {"a\\b", "'a\\\\b'"},
      {"a\nb\tc\rd", "'a\\nb\\tc\\rd'"},
      {std::string("\x00\x1b\x7f", 3), "'\\x00\\x1b\\x7f'"},
      {"\xC2\xA0", "'\\xa0'"},                 // no-break space is not printable
      {"\xC3\x9C" "ber", "'\xC3\x9C" "ber'"},  // printable letters stay
      {"\xE2\x80\x8B", "'\\u200b'"},
      {"\xED\xA0\x80", "'\\ud800'"},
      {"\xF3\xA0\x80\x81", "'\\U000e0001'"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(t::repr(c.in), c.out) << c.in;
  }
  EXPECT_EQ(t::repr_list({"click", "type"}), "['click', 'type']");
  EXPECT_EQ(t::repr_list({}), "[]");
}

TEST(Utf8, CountsAndCutsWholeCharacters) {
  EXPECT_EQ(t::char_count("a\xC3\xBC\xE2\x82\xAC\xF0\x9F\x98\x80"), 4u);
  EXPECT_EQ(t::first_chars("\xC3\xBC\xC3\xBC\xC3\xBC", 2), "\xC3\xBC\xC3\xBC");
  EXPECT_EQ(t::first_chars("ab", 5), "ab");
  EXPECT_TRUE(t::icontains("Welcome \xC3\x9C" "BER", "\xC3\xBC" "ber"));
  EXPECT_TRUE(t::iequals("LOGIN", "login"));
}

TEST(Digits, DecimalAsPythonIsdecimal) {
  EXPECT_TRUE(t::is_decimal(U'7'));
  EXPECT_TRUE(t::is_decimal(0x663));    // ARABIC-INDIC DIGIT THREE
  EXPECT_TRUE(t::is_decimal(0xFF19));   // FULLWIDTH DIGIT NINE
  EXPECT_FALSE(t::is_decimal(0xB2));    // SUPERSCRIPT TWO: a digit, not decimal
  EXPECT_FALSE(t::is_decimal(0x2167));  // ROMAN NUMERAL EIGHT
  EXPECT_FALSE(t::is_decimal(U'x'));
}
