#include "platform/text.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace brevant {
namespace {

TEST(Text, TrimRemovesOnlySpaces) {
  EXPECT_EQ(Trim(u"  a b  "), u"a b");
  EXPECT_EQ(Trim(u"\ta\t"), u"\ta\t");
  EXPECT_EQ(Trim(u"\u3000x\u3000"), u"\u3000x\u3000");
  EXPECT_EQ(Trim(u"   "), u"");
  EXPECT_EQ(Trim(u""), u"");
}

TEST(Text, ReplaceAllIsLeftToRightWithoutOverlap) {
  struct Case {
    Str in, find, with, out;
  };
  const std::vector<Case> cases = {
      {u"aaa", u"aa", u"b", u"ba"},     {u"a b c", u" ", u"%20", u"a%20b%20c"},
      {u"xyx", u"x", u"xx", u"xxyxx"},  // the replacement is not searched again
      {u"abc", u"", u"z", u"abc"},      {u"", u"a", u"b", u""},
      {u"\r\n\r\n", u"\r\n", u"", u""},
  };
  for (const auto& c : cases)
    EXPECT_EQ(replace_all(c.in, c.find, c.with), c.out);
}

TEST(Text, SplitKeepsEmptyPiecesButNotForEmptyText) {
  EXPECT_TRUE(split(u"", u",").empty());
  EXPECT_EQ(split(u"a", u","), (std::vector<Str>{u"a"}));
  EXPECT_EQ(split(u",a,", u","), (std::vector<Str>{u"", u"a", u""}));
  EXPECT_EQ(split(u"a<brbr>b<brbr>", u"<brbr>"), (std::vector<Str>{u"a", u"b", u""}));
  EXPECT_EQ(split(u"abc", u""), (std::vector<Str>{u"abc"}));
}

TEST(Text, InstrIsOneBased) {
  EXPECT_EQ(instr(u"a`b`c", u"`"), 2u);
  EXPECT_EQ(instr(u"a`b`c", u"`", 3), 4u);
  EXPECT_EQ(instr(u"abc", u"x"), 0u);
  EXPECT_EQ(instr(u"abc", u"c", 9), 0u);
  EXPECT_TRUE(contains(u"Hello", u"ll"));
  EXPECT_FALSE(contains(u"Hello", u"LL"));
}

TEST(Text, Utf8RoundTripsAndRepairs) {
  const Str samples[] = {u"", u"abc", u"\u00E9\u4F60\u597D", u"\U0001F600 ok", u"\uFFFF"};
  for (const auto& s : samples)
    EXPECT_EQ(from_utf8(to_utf8(s)), s);
  EXPECT_EQ(to_utf8(u"\U0001F600"), "\xF0\x9F\x98\x80");
  EXPECT_EQ(to_utf8(Str(1, char16_t(0xD800))), "\xEF\xBF\xBD");
  EXPECT_EQ(to_utf8(Str{char16_t(0xDC00), u'a'}),
            "\xEF\xBF\xBD"
            "a");
  // Malformed input: stray continuation, truncated sequence, overlong, encoded surrogate.
  EXPECT_EQ(from_utf8("a\x80z"), u"a\uFFFDz");
  EXPECT_EQ(from_utf8("\xE4\xBD"), u"\uFFFD");
  EXPECT_EQ(from_utf8("\xC0\xAFx"), u"\uFFFDx");
  EXPECT_EQ(from_utf8("\xED\xA0\x80"), u"\uFFFD");
  EXPECT_EQ(from_utf8("\xF4\x90\x80\x80"), u"\uFFFD");
}

}  // namespace
}  // namespace brevant
