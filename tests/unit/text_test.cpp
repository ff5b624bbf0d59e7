#include "platform/text.h"

#include <gtest/gtest.h>

namespace brevant {
namespace {

TEST(Text, TrimRemovesOnlySpaces) {
  EXPECT_EQ(Trim(u"  a b  "), u"a b");
  EXPECT_EQ(Trim(u"\ta\t"), u"\ta\t");
  EXPECT_EQ(Trim(u"   "), u"");
  EXPECT_EQ(Trim(u""), u"");
}

}  // namespace
}  // namespace brevant
