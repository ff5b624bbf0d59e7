// Form decoding as a browser form encodes: "+" is a space, bad escapes stay, bad UTF-8 is
// replaced.

#include <gtest/gtest.h>

#include "tools/trans-server/form.h"

namespace brevant::trans_server {
namespace {

struct UnescapeCase {
  const char* input;
  const char* expected;
};

TEST(FormUnescape, DecodesLikeABrowserForm) {
  const UnescapeCase cases[] = {
      {"", ""},
      {"hello", "hello"},
      {"a+b", "a b"},
      {"a%20b", "a b"},
      {"a b", "a b"},
      {"%2B", "+"},
      {"%26more", "&more"},
      {"%3d%3D", "=="},
      {"%E4%BD%A0%E5%A5%BD", "\xE4\xBD\xA0\xE5\xA5\xBD"},
      {"%e4%bd%a0", "\xE4\xBD\xA0"},
      {"100%", "100%"},
      {"%", "%"},
      {"%4", "%4"},
      {"%G1", "%G1"},
      {"%1G", "%1G"},
      {"%%41", "%A"},
      {"%zz%41", "%zzA"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(form_unescape(c.input), c.expected) << c.input;
  }
  EXPECT_EQ(form_unescape("a%00b"), std::string("a\0b", 3));
}

TEST(FormUnescape, ReplacesInvalidUtf8) {
  const UnescapeCase cases[] = {
      {"%FF", "\xEF\xBF\xBD"},
      {"a%C3", "a\xEF\xBF\xBD"},
      {"%C0%AF", "\xEF\xBF\xBD"},                      // overlong "/"
      {"%ED%A0%80", "\xEF\xBF\xBD"},                   // a surrogate half
      {"%E4%BD", "\xEF\xBF\xBD"},                      // cut short
      {"%E4%BD%A0%FFx", "\xE4\xBD\xA0\xEF\xBF\xBDx"},  // good, bad, good
      {"\xFF\xFEok", "\xEF\xBF\xBD\xEF\xBF\xBDok"},    // raw bytes too
  };
  for (const auto& c : cases) {
    EXPECT_EQ(form_unescape(c.input), c.expected) << c.input;
  }
}

TEST(DecodeForm, SplitsFieldsInOrder) {
  const FormFields fields = decode_form("domain=00&text=%E4%BD%A0%E5%A5%BD%20hello%26more&lang=02");
  ASSERT_EQ(fields.size(), 3u);
  EXPECT_EQ(fields[0], (std::pair<std::string, std::string>{"domain", "00"}));
  EXPECT_EQ(fields[1].second, "\xE4\xBD\xA0\xE5\xA5\xBD hello&more");
  EXPECT_EQ(fields[2].second, "02");

  EXPECT_TRUE(decode_form("").empty());
  EXPECT_TRUE(decode_form("&&").empty());
  const FormFields odd = decode_form("a=1&&flag&b=x=y&=v&c=");
  ASSERT_EQ(odd.size(), 5u);
  EXPECT_EQ(odd[1], (std::pair<std::string, std::string>{"flag", ""}));
  EXPECT_EQ(odd[2].second, "x=y");
  EXPECT_EQ(odd[3].first, "");
  EXPECT_EQ(odd[4], (std::pair<std::string, std::string>{"c", ""}));
}

TEST(DecodeForm, FirstFieldOfANameWins) {
  const FormFields fields = decode_form("text=one&text=two&te%78t=three");
  EXPECT_EQ(form_value(fields, "text"), "one");
  EXPECT_EQ(form_value(fields, "lang"), std::nullopt);
  EXPECT_EQ(form_value(decode_form("text="), "text"), "");
}

TEST(FormEscape, RoundTripsThroughUnescape) {
  const std::string samples[] = {"",
                                 "plain",
                                 "a b+c&d=e%f",
                                 "\xE4\xBD\xA0\xE5\xA5\xBD?!",
                                 "~-_.",
                                 std::string("\0\x01\x7F", 3)};
  for (const std::string& s : samples) {
    const std::string escaped = form_escape(s);
    EXPECT_EQ(escaped.find_first_of(" +&=%\x80"), escaped.find('%')) << s;
    EXPECT_EQ(form_unescape(escaped), s);
  }
  EXPECT_EQ(form_escape("a b&"), "a%20b%26");
}

}  // namespace
}  // namespace brevant::trans_server
