#include <gtest/gtest.h>

#include <vector>

#include "chatwin/checkinput.h"
#include "plugin/checkinputweb.h"

namespace brevant {
namespace {

struct Case {
  Str in, out;
};

TEST(checkinputweb, NormalisesPunctuationInOrder) {
  const std::vector<Case> cases = {
      {u"", u""},
      {u"A\uFF06B&C", u"AB C"},  // full-width & deleted first; & -> "," -> space
      {u"\u4F60\u597D\uFF01\uFF08\u7B11\uFF09", u"\u4F60\u597D  \u7B11 "},
      {u"x\u2026\u2026y\u2014z", u"x y\u2014z"},  // single dash stays
      {u"9kosyhi9kody", u" hi "},
      {u"\uFF1F\u2018\u2019\uFF07", u"?'''"},
      {u"a:b\uFF1Bc\"d\uFF1Ce,f", u"a b c d e f"},
      {u"\uFF03\uFF20\uFF04\uFF05\uFF3E", u"     "},
      {u"\uFF0A\uFF08\uFF09\uFF0D\uFF3F\uFF1D\uFF0B\uFF3B\uFF5B\uFF5D\uFF3D", Str(11, u' ')},
      {u"\uFF0F\u3001\u300B\uFF5E\uFF01\uFFE5", Str(6, u' ')},
      {u"\uFF3C\uFF5C\uFF1A\u201C\u201D", Str(5, u' ')},
      {u"\u2014\u2014\u2014", u" \u2014"},
      // Not listed: left alone.
      {u"?'[]()!<>\u2026\u2014\u300A\uFF1Eabc123", u"?'[]()!<>\u2026\u2014\u300A\uFF1Eabc123"},
      {u"hello%20world", u"hello%20world"},
  };
  for (const auto& c : cases) {
    Str s = c.in;
    checkinputweb(s);
    EXPECT_EQ(s, c.out) << to_utf8(c.in);
  }
}

TEST(checkinput, RestoresQuotesAndQuestionMarks) {
  const std::vector<Case> cases = {
      {u"", u""},
      {u"it9kosys", u"it's"},
      {u"9kodyhi9kody\uFF1F", u"\"hi\"?"},
      {u"99kosykosy", u"9'kosy"},
      {u"9kosy9kosy", u"''"},
      {u"plain", u"plain"},
  };
  for (const auto& c : cases) {
    Str s = c.in;
    checkinput(s);
    EXPECT_EQ(s, c.out) << to_utf8(c.in);
  }
}

}  // namespace
}  // namespace brevant
