#include <gtest/gtest.h>

#include <optional>
#include <vector>

#include "chatwin/page_script.h"

namespace brevant {
namespace {

TEST(PageScript, EveryArgumentIsAStringLiteralThatCannotBreakOut) {
  struct Case {
    Str text;
    Str literal;
  };
  const Case cases[] = {
      {u"", u"''"},
      {u"plain 中文 😀", u"'plain 中文 😀'"},
      {u"it's", u"'it\\'s'"},
      {u"say \"hi\"", u"'say \\\"hi\\\"'"},
      {u"ends in \\", u"'ends in \\\\'"},
      {u"\\'", u"'\\\\\\''"},
      {u"a\r\nb\nc\rd", u"'a\\r\\nb\\nc\\rd'"},
      {u"\u2028\u2029", u"'\\u2028\\u2029'"},
      {u"</script><img src=x onerror=trap()>", u"'\\x3C/script>\\x3Cimg src=x onerror=trap()>'"},
      {Str(u"\x00\t\x1b\x7f", 4), u"'\\x00\\x09\\x1B\\x7F'"},
      {Str(u"lone \xD800 and \xDC00", 12), u"'lone \\uD800 and \\uDC00'"},
      {u"');trap();('", u"'\\');trap();(\\''"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(script_string(c.text), c.literal) << to_utf8(c.literal);

  const Str push[] = {u"a'b", u"[x]", u"false"};
  EXPECT_EQ(script_line(u"PushMsg", push), u"PushMsg('a\\'b','[x]','false')");
  EXPECT_EQ(script_line(u"bfocus", {}), u"bfocus()");
}

TEST(PageScript, CommandsComeOnlyFromTheOwnPageAndAreDecoded) {
  const Str page = u"file:///C:/Program%20Files/brevant/IO11/IO.htm";
  struct Case {
    const char* name;
    Str url;
    std::optional<PageCommand> command;
  };
  const Case cases[] = {
      {"ready", page + u"#WebOk%60", PageCommand{u"WebOk", {u""}}},
      {"raw backtick, decoded path", u"file:///C:/Program Files/brevant/IO11/IO.htm#WebOk`",
       PageCommand{u"WebOk", {u""}}},
      {"typed text",
       page + u"#Word_From_User%60%E4%BD%A0%E5%A5%BD%0D%0A9kosyhi%60english%60Pclose%60Single%60",
       PageCommand{u"Word_From_User", {u"你好\r\n9kosyhi", u"english", u"Pclose", u"Single", u""}}},
      {"case kept", page + u"#webok%60", PageCommand{u"webok", {u""}}},
      {"second piece only", page + u"#a%60b#c%60d", PageCommand{u"a", {u"b"}}},
      {"bad escapes stay", page + u"#x%60100%%zz%E4%", PageCommand{u"x", {u"100%%zz\uFFFD%"}}},
      {"the page's own escapes: as typed, unsplit",
       page + u"#Word%60100%2525%20%2560x%2560%20%2523tag%60en",
       PageCommand{u"Word", {u"100% `x` #tag", u"en"}}},
      {"the page load", page, std::nullopt},
      {"hash only", page + u"#", std::nullopt},
      {"no backtick", page + u"#WebOk", std::nullopt},
      {"backtick without hash", page + u"%60WebOk", std::nullopt},
      {"remote page", u"http://127.0.0.1/IO.htm#WebOk%60", std::nullopt},
      {"another file", u"file:///C:/Program%20Files/brevant/IOEN/IO.htm#WebOk%60", std::nullopt},
      {"a query", page + u"?x#WebOk%60", std::nullopt},
  };
  for (const Case& c : cases)
    EXPECT_EQ(parse_page_command(c.url, page), c.command) << c.name;
  EXPECT_EQ(parse_page_command(page + u"#WebOk%60", u""), std::nullopt) << "no page loaded";
}

TEST(PageScript, ContactIdsLoseEverySitePrefix) {
  EXPECT_EQ(strip_site_prefixes(u"cnquorinbob"), u"bob");
  EXPECT_EQ(strip_site_prefixes(u"quillnetcnpelsodann cnvetmar"), u"ann ");
  EXPECT_EQ(quote_tokens(u"'\"'"), u"9kosy9kody9kosy");
}

}  // namespace
}  // namespace brevant
