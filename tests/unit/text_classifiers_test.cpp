#include "platform/text_classifiers.h"

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

TEST(HasChineseScript, ChineseCharactersKanaAndFullWidthFormsCountOtherScriptsDoNot) {
  struct Case {
    Str text;
    bool expected;
  };
  const std::vector<Case> cases = {
      {u"", false},
      {u"hello", false},
      {u"caf\u00E9 cr\u00E8me \u00E0 la na\u00EFve", false},  // two bytes each in code page 936
      {u"\u00A35 \u20AC3 \u00A5", false},                     // £ € ¥
      {u"\u201Cquoted\u201D \u2014 \u2026", false},           // typographic punctuation
      {u"\u041F\u0440\u0438\u0432\u0435\u0442 \u03B1\u03B2", false},  // Cyrillic, Greek
      {u"\uAC00\uD55C", false},                                       // Hangul
      {u"\U0001F600", false},                                         // an emoji
      {u"\u2E7F\uA000\uFAFF\u4DC0", true},                            // U+FAFF only
      {u"\u2E7F\uA000\u4DC0", false},                                 // just outside the ranges
      {u"ab\u4F60", true},
      {u"\u4E00", true},
      {u"\u9FFF", true},
      {u"\u3400", true},        // extension A
      {u"\U00020000", true},    // extension B, a surrogate pair
      {u"\U0003134A", true},    // extension G
      {u"x\xD840y", false},     // a lone high surrogate is no character
      {u"ok\u3002", true},      // 。
      {u"\u3000", true},        // ideographic space
      {u"\uFF01", true},        // full-width !
      {u"\uFF48\uFF49", true},  // full-width Latin letters
      {u"\uFFE5", true},        // full-width ¥
      {u"\uFF71", true},        // half-width katakana
      {u"\u3041\u30F6", true},  // kana outside KanaClass's bounds still count here
      {u"\u3105", true},        // bopomofo
      {u"\uFE10", true},        // vertical comma
  };
  for (const auto& c : cases)
    EXPECT_EQ(has_chinese_script(c.text), c.expected) << to_utf8(c.text);
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
