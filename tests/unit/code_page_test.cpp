#include "platform/code_page.h"

#include <gtest/gtest.h>

namespace brevant {
namespace {

// Runs natively (iconv, code page 936) and under Wine in the Windows builds (CP_ACP, which the
// Wine runner sets to 936), so both converters must agree on these.
TEST(CodePage, ChineseIsTwoBytesPerCharacter) {
  auto cp = make_system_code_page();
  ASSERT_TRUE(cp);
  EXPECT_EQ(cp->to_ansi(u"\u53D1\u9001"), std::string("\xB7\xA2\xCB\xCD"));
  EXPECT_EQ(cp->to_ansi(u"abc"), std::string("abc"));
  EXPECT_EQ(cp->to_ansi(u""), std::string());
  EXPECT_EQ(cp->from_ansi("\xB7\xA2\xCB\xCD"), u"\u53D1\u9001");
  EXPECT_EQ(cp->from_ansi("ok"), u"ok");
}

TEST(CodePage, UnrepresentableCharacterIsOneByte) {
  auto cp = make_system_code_page();
  ASSERT_TRUE(cp);
  // Devanagari and Hangul syllables outside GBK's repertoire of this one: one "?" each.
  auto ansi = cp->to_ansi(u"a\u0915b");
  ASSERT_TRUE(ansi);
  EXPECT_EQ(*ansi, "a?b");
}

#ifndef _WIN32
TEST(CodePage, EmbeddingProgramCanChooseAnother) {
  auto latin = make_code_page(1252);
  ASSERT_TRUE(latin);
  EXPECT_EQ(latin->to_ansi(u"\u00E9\u4F60"), std::string("\xE9?"));
  EXPECT_EQ(latin->from_ansi("\xE9"), u"\u00E9");
  EXPECT_EQ(make_code_page(99999), nullptr);

  set_default_code_page_number(1252);
  EXPECT_EQ(make_system_code_page()->to_ansi(u"\u00E9"), std::string("\xE9"));
  set_default_code_page_number(936);
}
#endif

}  // namespace
}  // namespace brevant
