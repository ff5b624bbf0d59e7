#include "translate/text_classifiers.h"

#include <gtest/gtest.h>

#include <vector>

namespace brevant {
namespace {

TEST(WidthClass, CountsBytesInTheAnsiCodePage) {
  auto cp = make_system_code_page();  // 936 natively and under the Wine runner
  struct Case {
    Str text;
    int expected;
  };
  const std::vector<Case> cases = {
      {u"", 1},
      {u"abc", 1},
      {u"hello world%20!", 1},
      {u"\u4F60\u597D", 2},
      {u"\u4F60\u597D\uFF1F", 2},  // full-width punctuation is double-byte too
      {u"ab\u4F60", 3},
      {u"\u0915", 1},  // not in the code page: counted as one byte
  };
  for (const auto& c : cases)
    EXPECT_EQ(WidthClass(c.text, *cp), c.expected) << to_utf8(c.text);
}

TEST(WidthClass, FailedConversionGivesZero) {
  struct Failing final : CodePage {
    std::optional<std::string> to_ansi(StrView) const override { return std::nullopt; }
    Str from_ansi(std::string_view) const override { return {}; }
  } failing;
  EXPECT_EQ(WidthClass(u"abc", failing), 0);
}

TEST(KanaClass, BoundsAreExclusive) {
  struct Case {
    Str text;
    int expected;
  };
  const std::vector<Case> cases = {
      {u"", 2},
      {u"hello", 2},
      {u"\u4F60\u597D", 2},
      {u"\u306E", 1},        // の
      {u"abc\u30AB", 1},     // katakana ka
      {u"\u3093", 2},        // ん, just past the hiragana range
      {u"\u3041", 2},        // small a, just before it
      {u"\u3042", 1},        // first counted hiragana
      {u"\u3092", 1},        // last counted hiragana
      {u"\u30A1\u30F6", 2},  // small katakana a, small ke: both outside
      {u"\u30A2", 1},
      {u"\u30F5", 1},
  };
  for (const auto& c : cases)
    EXPECT_EQ(KanaClass(c.text), c.expected) << to_utf8(c.text);
}

TEST(StripTags, KeepsTextBetweenTags) {
  struct Case {
    Str in, out;
  };
  const std::vector<Case> cases = {
      {u"<font color=red>hello</font>", u"hello"},
      {u"<b>a</b><i>b</i>", u"ab"},
      {u"x<b>y</b>z", u"y"},
      {u"a > b", u"a > b"},
      {u"only one > here", u"only one > here"},
      {u"", u""},
      {u">>", u""},
      {u"<p>\u4F60\u597D</p>", u"\u4F60\u597D"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(StripTags(c.in), c.out) << to_utf8(c.in);
}

TEST(FormatTemplate, MarksTheFirstTextRun) {
  struct Case {
    Str in, out;
  };
  const std::vector<Case> cases = {
      {u"<font color=red>hello</font>", u"<font color=red>TIHUANTXT</font>"},
      {u"<b>one</b> <i>two</i>", u"<b>TIHUANTXT</b><i></i>"},
      {u"<p> </p><p>hi</p>", u"<p></p><p>TIHUANTXT</p>"},
      {u"hello", u"hello"},
      {u"a > b", u"a > b"},
      {u"<a><b></b></a>", u"<a><b></b></a>"},
      // A run that is not followed by a tag uses up the placeholder and adds nothing.
      {u"<a>b>c</a>", u"<a></a>"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(FormatTemplate(c.in), c.out) << to_utf8(c.in);
}

}  // namespace
}  // namespace brevant
