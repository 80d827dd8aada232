#include "marrowlane/report.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <string_view>

namespace mr = marrowlane::report;

namespace {

std::size_t count(std::string_view hay, std::string_view needle) {
  std::size_t n = 0;
  for (std::size_t pos = hay.find(needle); pos != std::string_view::npos;
       pos = hay.find(needle, pos + needle.size())) {
    ++n;
  }
  return n;
}

TEST(Collection, SplitsNodeIds) {
  struct Case {
    std::string_view nodeid, file, test;
  } cases[] = {
      {"tests/test_a.py::test_ok", "tests/test_a.py", "test_ok"},
      {"tests/test_a.py::TestX::test_y", "tests/test_a.py", "TestX::test_y"},
      {"tests/test_a.py::test_p[a::b]", "tests/test_a.py", "test_p[a::b]"},
      {"tests/test_a.py", "tests/test_a.py", ""},
      {"", "", ""},
      {"a::", "a", ""},
  };
  for (const auto& c : cases) {
    auto id = mr::split_nodeid(c.nodeid);
    EXPECT_EQ(id.file, c.file) << c.nodeid;
    EXPECT_EQ(id.test, c.test) << c.nodeid;
  }
}

TEST(Collection, ChoosesThePhasesThatMakeResults) {
  struct Case {
    std::string_view when;
    bool failed;
    mr::Phase phase;
  } cases[] = {
      {"call", false, mr::Phase::Result},     {"call", true, mr::Phase::Result},
      {"setup", true, mr::Phase::Result},     {"setup", false, mr::Phase::Ignore},
      {"teardown", false, mr::Phase::Ignore}, {"teardown", true, mr::Phase::TeardownFailure},
      {"collect", true, mr::Phase::Ignore},   {"Call", false, mr::Phase::Ignore},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(mr::classify(c.when, c.failed), c.phase) << c.when << " " << c.failed;
  }
  EXPECT_EQ(mr::status_of(true, true), "passed");
  EXPECT_EQ(mr::status_of(false, true), "failed");
  EXPECT_EQ(mr::status_of(false, false), "skipped");
  // A skipped setup makes a result; xfail marks give their own statuses.
  EXPECT_EQ(mr::classify("setup", false, true), mr::Phase::Result);
  EXPECT_EQ(mr::classify("teardown", false, true), mr::Phase::Ignore);
  EXPECT_EQ(mr::status_of(false, false, true), "xfailed");
  EXPECT_EQ(mr::status_of(true, false, true), "xpassed");
  EXPECT_EQ(mr::status_of(false, true, true), "failed");
  EXPECT_TRUE(mr::teardown_overrides("passed"));
  EXPECT_TRUE(mr::teardown_overrides("skipped"));
  EXPECT_FALSE(mr::teardown_overrides("failed"));
}

TEST(Collection, TakesTheLastLineOfAPlainFailure) {
  struct Case {
    std::string_view text, line;
  } cases[] = {
      {"E   assert 1 == 2", "E   assert 1 == 2"},
      {"first\nsecond\nAssertionError: boom\n\n  ", "AssertionError: boom"},
      {"  \n\t", ""},
      {"", ""},
      {"a\nb\n\xc2\xa0", "b"},  // a no-break space is white space too
  };
  for (const auto& c : cases) EXPECT_EQ(mr::last_line(c.text), c.line) << c.text;
}

TEST(Rendering, Escapes) {
  struct Case {
    std::string_view in;
    bool attribute;
    std::string_view out;
  } cases[] = {
      {"<b>&\"'", false, "&lt;b&gt;&amp;\"'"},
      {"<b>&\"'", true, "&lt;b&gt;&amp;&quot;&#x27;"},
      {"caf\xc3\xa9 \xe2\x9c\x93", true, "caf\xc3\xa9 \xe2\x9c\x93"},
      {"a\xed\xa0\x80z", false, "a\xef\xbf\xbdz"},  // a lone surrogate cannot be written
      {"\xed\x9f\xbf", false, "\xed\x9f\xbf"},      // U+D7FF is an ordinary character
  };
  for (const auto& c : cases) EXPECT_EQ(mr::escape(c.in, c.attribute), c.out) << c.in;
}

TEST(Rendering, HighlightsKeywordsAndQuotedSpans) {
  struct Case {
    std::string_view step, html;
  } cases[] = {
      {"click \"Login\"", R"(<span class="kw">click</span> <span class="str">"Login"</span>)"},
      {"type \"bob\" into \"Username\"",
       R"(<span class="kw">type</span> <span class="str">"bob"</span> into <span class="sel">"Username"</span>)"},
      {"Verify Text \"Products\" is present",
       R"(<span class="kw">Verify Text</span> <span class="str">"Products"</span> is present)"},
      {"verifying things", R"(<span class="kw">verify</span>ing things)"},
      {"FIND TEXT x", R"(<span class="kw">FIND TEXT</span> x)"},
      {"a \"1\" \"2\" \"3\"",
       R"(a <span class="str">"1"</span> <span class="sel">"2"</span> <span class="sel">"3"</span>)"},
      {"click \"unclosed", R"(<span class="kw">click</span> "unclosed)"},
      {"click \"\" then \"x",
       R"(<span class="kw">click</span> <span class="str">""</span> then "x)"},
      {"verify text \"<b>\" is present",
       R"(<span class="kw">verify text</span> <span class="str">"&lt;b&gt;"</span> is present)"},
      {"<script>alert(1)</script>", "&lt;script&gt;alert(1)&lt;/script&gt;"},
      {"", ""},
      {" click", " click"},  // a keyword counts only at the very start
  };
  for (const auto& c : cases) EXPECT_EQ(mr::highlight(c.step), c.html) << c.step;
}

TEST(Rendering, LabelsFiles) {
  struct Case {
    std::string_view path, html;
  } cases[] = {
      {"tests/ui/test_a.py", R"(<span class="dim">tests/ui / </span>test_a.py)"},
      {"tests\\ui\\test_a.py", R"(<span class="dim">tests/ui / </span>test_a.py)"},
      {"test_a.py", "test_a.py"},
      {"/test_a.py", R"(<span class="dim"> / </span>test_a.py)"},
      {"a<b>/t&.py", R"(<span class="dim">a&lt;b&gt; / </span>t&amp;.py)"},
  };
  for (const auto& c : cases) EXPECT_EQ(mr::file_label(c.path), c.html) << c.path;
}

TEST(Rendering, FormatsNumbersAsPythonDoes) {
  struct Repr {
    double value;
    std::string_view text;
  } reprs[] = {
      {0.0, "0.0"},       {-0.0, "-0.0"},           {1.5, "1.5"},    {0.03, "0.03"},
      {12.0, "12.0"},     {123456.78, "123456.78"}, {1e16, "1e+16"}, {1.5e-05, "1.5e-05"},
      {0.0001, "0.0001"}, {1e22, "1e+22"},          {-2.5, "-2.5"},
  };
  for (const auto& c : reprs) EXPECT_EQ(mr::float_repr(c.value), c.text) << c.value;

  struct Round {
    double value, rounded;
  } rounds[] = {{0.125, 0.12}, {0.375, 0.38}, {2.675, 2.67}, {1.005, 1.0}, {3.14159, 3.14}};
  for (const auto& c : rounds) EXPECT_EQ(mr::round2(c.value), c.rounded) << c.value;

  EXPECT_EQ(mr::fixed2(0.0), "0.00");
  EXPECT_EQ(mr::fixed2(1.005), "1.00");
  EXPECT_EQ(mr::fixed2(0.126), "0.13");

  struct Rate {
    std::size_t passed, total;
    long long rate;
  } rates[] = {{0, 0, 0}, {2, 3, 67}, {1, 2, 50}, {1, 8, 12}, {3, 8, 38}, {5, 5, 100}};
  for (const auto& c : rates) EXPECT_EQ(mr::pass_rate(c.passed, c.total), c.rate);
}

mr::Result result(std::string file, std::string test, std::string status,
                  std::vector<mr::Step> steps = {}) {
  return {std::move(file), std::move(test), std::move(status), 0.25, std::move(steps)};
}

TEST(Rendering, RendersAnEmptyRun) {
  std::string page = mr::render({});
  for (std::string_view card : {"Total", "Passed", "Failed", "Skipped"}) {
    EXPECT_NE(page.find(std::string("<div class=\"label\">") + std::string(card) +
                        "</div><div class=\"value\">0</div>"),
              std::string::npos)
        << card;
  }
  EXPECT_NE(page.find("<div class=\"value\">0%</div>"), std::string::npos);
  EXPECT_NE(page.find("<div class=\"value\">0.0s</div>"), std::string::npos);
  EXPECT_EQ(count(page, "class=\"file-group\""), 0u);
  EXPECT_EQ(count(page, "class=\"card "), 6u);
}

TEST(Rendering, GroupsTestsAndNumbersTheirSteps) {
  mr::Run run;
  run.elapsed = 1.23456;
  run.results.push_back(
      result("tests/a.py", "test_1", "passed", {{"click \"Go\"", "passed", "", ""}}));
  run.results.push_back(result("tests/b.py", "test_2", "failed",
                               {{"verify \"x\" is present", "failed", "no <x>", "AAAA"}}));
  run.results.push_back(result("tests/a.py", "test_3", "skipped"));
  std::string page = mr::render(run);

  // Groups in order of first appearance, the later test of a.py inside a.py's group.
  std::size_t a = page.find("class=\"file-group\" data-file=\"tests/a.py\"");
  std::size_t b = page.find("class=\"file-group\" data-file=\"tests/b.py\"");
  std::size_t t3 = page.find(">test_3<");
  ASSERT_NE(a, std::string::npos);
  ASSERT_NE(b, std::string::npos);
  EXPECT_LT(a, t3);
  EXPECT_LT(t3, b);

  // Every test uses up a steps number; only tests with steps get a button and container.
  EXPECT_NE(page.find("toggleSteps('steps-1', this)"), std::string::npos);
  EXPECT_NE(page.find("id=\"steps-3\""), std::string::npos);
  EXPECT_EQ(page.find("steps-2"), std::string::npos);
  EXPECT_EQ(count(page, "class=\"expand-btn\""), 2u);

  // Pills only for non-zero counts.
  EXPECT_NE(page.find("<span class=\"badge passed\">1 passed</span><span class=\"badge "
                      "skipped\">1 skipped</span></span>"),
            std::string::npos);
  EXPECT_NE(
      page.find("<span class=\"file-counts\"><span class=\"badge failed\">1 failed</span></span>"),
      std::string::npos);

  EXPECT_NE(page.find("<div class=\"value\">33%</div>"), std::string::npos);
  EXPECT_NE(page.find("</svg>1.23s</span>"), std::string::npos);
  EXPECT_NE(page.find("<td class=\"duration\">0.25s</td>"), std::string::npos);
  EXPECT_NE(page.find("<span class=\"icon skipped\">\u25CB</span>"), std::string::npos);
  EXPECT_NE(page.find("<td class=\"step-icon failed\">\u2717</td>"), std::string::npos);
  EXPECT_NE(page.find("<div class=\"step-msg\">no &lt;x&gt;</div>"), std::string::npos);
  EXPECT_NE(page.find("src=\"data:image/png;base64,AAAA\""), std::string::npos);
}

TEST(Rendering, ShowsWhatEachStepActedOnAndItsTime) {
  mr::Run run;
  mr::Step with{"click \"Go\"", "passed", "", "", "button \"Go\" \u2014 exact <match>", 1234.5};
  mr::Step without{"wait 5", "passed", "", ""};
  run.results.push_back(result("a.py", "t", "passed", {with, without}));
  std::string page = mr::render(run);
  EXPECT_NE(page.find("</span><div class=\"step-account\">button \"Go\" \u2014 exact "
                      "&lt;match&gt;</div></td><td class=\"step-time\">1.23 s</td></tr>"),
            std::string::npos);
  EXPECT_EQ(count(page, "<div class=\"step-account\">"), 1u);
  EXPECT_EQ(count(page, "<td class=\"step-time\">"), 1u);

  struct Case {
    double ms;
    std::string_view shown;
  } times[] = {{0.4, "0 ms"}, {12.6, "13 ms"}, {999.4, "999 ms"}, {1500, "1.50 s"},
               {-1, ""},     {std::nan(""), ""}};
  for (const auto& c : times) EXPECT_EQ(mr::step_time(c.ms), c.shown) << c.ms;
}

TEST(Rendering, EscapesEverythingFromTheRun) {
  mr::Run run;
  run.results.push_back(result("t/<i>.py", "test_x[<script>]", "passed\" onclick=\"x",
                               {{"<img src=x onerror=alert(1)>", "ok\"", "<b>", "\"><script>"}}));
  std::string page = mr::render(run);
  EXPECT_EQ(page.find("<script>]"), std::string::npos);
  EXPECT_EQ(page.find("<img src=x"), std::string::npos);
  EXPECT_EQ(page.find("<i>"), std::string::npos);
  EXPECT_NE(page.find("data-status=\"passed&quot; onclick=&quot;x\""), std::string::npos);
  EXPECT_EQ(page.find("\" onclick=\"x\""), std::string::npos);
  EXPECT_EQ(page.find("\"><script>"), std::string::npos);
  EXPECT_EQ(count(page, "<script>"), 1u);  // the page's own
}

TEST(Rendering, SaysWhatTheRunLeftOutAndWhy) {
  mr::Run run;
  mr::Result failed = result("t.py", "test_f", "failed");
  failed.reason = "AssertionError: <no>";
  failed.details = "def test_f():\n>   assert 0";
  run.results.push_back(failed);
  run.results.push_back(result("t.py", "test_x", "xfailed"));
  mr::Result chatty = result("t.py", "test_s", "passed",
                             {{"click x", "failed", std::string(700, 'm') + "\u00e9", ""}});
  run.results.push_back(chatty);
  run.interrupted = "stopping after 1 failures";
  std::string page = mr::render(run);

  EXPECT_EQ(page.find("Run complete"), std::string::npos);
  EXPECT_NE(page.find("Interrupted: stopping after 1 failures"), std::string::npos);
  EXPECT_NE(page.find("<div class=\"label\">XFailed</div><div class=\"value\">1</div>"),
            std::string::npos);
  EXPECT_EQ(page.find("XPassed"), std::string::npos);  // zero counts show no card
  EXPECT_NE(page.find("<div class=\"test-msg failed\">AssertionError: &lt;no&gt;<details"),
            std::string::npos);
  EXPECT_NE(page.find("&gt;   assert 0</pre>"), std::string::npos);
  // A long message shows its beginning, and all of it on demand.
  EXPECT_NE(page.find(std::string(600, 'm') + "\u2026<details class=\"more\"><summary>show all "
                                              "(701 characters)"),
            std::string::npos);
  // Nothing is fetched from elsewhere: the page stands alone.
  EXPECT_EQ(page.find("http"), std::string::npos);
}

}  // namespace
