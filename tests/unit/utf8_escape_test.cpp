#include "net/utf8_escape.h"

#include <gtest/gtest.h>

#include <vector>

namespace brevant {
namespace {

TEST(toUTF8, EscapesEveryNonAsciiUnit) {
  struct Case {
    Str in, out;
  };
  const std::vector<Case> cases = {
      {u"", u""},
      {u"a b&c=d%", u"a b&c=d%"},  // ASCII passes through, blanks and symbols included
      {u"\u4F60\u597D", u"%E4%BD%A0%E5%A5%BD"},
      {u"\u00E9", u"%C3%A9"},
      {u"\u0416", u"%D0%96"},
      {u"\u0915", u"%E0%A4%95"},
      {u"\u007F\u0080\u07FF\u0800\uFFFF", u"\u007F%C2%80%DF%BF%E0%A0%80%EF%BF%BF"},
      // A surrogate pair is one code point of four bytes, not two three-byte groups.
      {u"\U0001F600", u"%F0%9F%98%80"},
      {u"x\U0001F44Dy", u"x%F0%9F%91%8Dy"},
      // Lone halves become U+FFFD.
      {Str(1, char16_t(0xD83D)), u"%EF%BF%BD"},
      {Str{char16_t(0xDE00), u'a'}, u"%EF%BF%BDa"},
      {Str{char16_t(0xD83D), char16_t(0xD83D), char16_t(0xDE00)}, u"%EF%BF%BD%F0%9F%98%80"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(toUTF8(c.in), c.out) << to_utf8(c.in);
    EXPECT_EQ(UTF8EncodeURI(c.in), c.out);
  }
}

}  // namespace
}  // namespace brevant
