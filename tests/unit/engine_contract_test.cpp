#include "net/engine_contract.h"

#include <gtest/gtest.h>

#include <vector>

namespace brevant {
namespace {

TEST(EngineContract, MapsDirectionCodes) {
  struct Case {
    Str code, server;
  };
  const std::vector<Case> cases = {
      {u"ZE", u"02"},      {u"EZ", u"01"},      {u"ZRB", u"03"},     {u"RBZ", u"10"},
      {u"ZFT", u"zh_zt"},  {u"FTZ", u"zt_zh"},  {u"ERB", u"en_ja"},  {u"RBE", u"ja_en"},
      {u"EHG", u"en_ko"},  {u"HGE", u"ko_en"},  {u"EEG", u"en_ru"},  {u"EGE", u"ru_en"},
      {u"EHL", u"en_nl"},  {u"HLE", u"nl_en"},  {u"EFG", u"en_fr"},  {u"FGE", u"fr_en"},
      {u"EDG", u"en_de"},  {u"DGE", u"de_en"},  {u"EXL", u"en_el"},  {u"XLE", u"el_en"},
      {u"EYDL", u"en_it"}, {u"YDLE", u"it_en"}, {u"EPTY", u"en_pt"}, {u"PTYE", u"pt_en"},
      {u"EXBY", u"en_es"}, {u"XBYE", u"es_en"}, {u"", u""},          {u"XX", u"XX"},
      {u"ez", u"ez"},  // exact, case-sensitive
  };
  for (const auto& c : cases)
    EXPECT_EQ(server_code(c.code), c.server) << to_utf8(c.code);
}

TEST(EngineContract, PreparedTextIsUnchangedButForEntities) {
  struct Case {
    Str in, out;
  };
  const std::vector<Case> cases = {
      {u"a &lt b", u"a < b"},
      {u"x &gt; y", u"x >; y"},
      {u"<font color=red>hello</font>", u"<font color=red>hello</font>"},
      {u"a > b > c", u"a > b > c"},
      {u"", u""},
  };
  for (const auto& c : cases)
    EXPECT_EQ(prepare_engine_text(c.in), c.out) << to_utf8(c.in);
}

TEST(EngineContract, BuildsTheBody) {
  struct Case {
    Str text, code, body;
  };
  const std::vector<Case> cases = {
      {u"hello", u"01", u"domain=00&text=hello&lang=01"},
      {u"\u4F60\u597D", u"02", u"domain=00&text=%E4%BD%A0%E5%A5%BD&lang=02"},
      {u"a < b", u"01", u"domain=00&text=a < b&lang=01"},
      {u"hi", u"", u"domain=00&text=hi&lang="},
      {u"hi", u"XX", u"domain=00&text=hi&lang=XX"},
      // A typed "&" or "+" must not end the field, add a field or become a space.
      {u"Tom & Jerry", u"01", u"domain=00&text=Tom %26 Jerry&lang=01"},
      {u"C++", u"01", u"domain=00&text=C%2B%2B&lang=01"},
      {u"x&lang=03", u"01", u"domain=00&text=x%26lang=03&lang=01"},
      // Spaces travel as "%20" on purpose; "%" is left alone.
      {u"a%20b 100%", u"01", u"domain=00&text=a%20b 100%&lang=01"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(request_body(c.text, c.code), c.body) << to_utf8(c.text);
}

TEST(EngineContract, BuildsTheAnswerRecord) {
  struct Case {
    Str lang, text, answer, record;
  };
  const std::vector<Case> cases = {
      {u"EZ", u"hello", u"ni hao", u"EZhello<brbr>9kocnsns[ ni hao ]"},
      {u"EZ", u"<font color=red>hello</font>", u"ni hao",
       u"EZ<font color=red>hello</font><brbr>9kocnsns<font color=red>[ ni hao ]</font>"},
      {u"ZE", u"\u4F60\u597D", u"", u"ZE\u4F60\u597D<brbr>9kocnsns[  ]"},
      {u"", u"a > b", u"x", u"a > b<brbr>9kocnsns[ x ]"},
      // Markup without any text run has no placeholder: the bracketed answer alone.
      {u"EZ", u"<a><b></b></a>", u"y", u"EZ<a><b></b></a><brbr>9kocnsns[ y ]"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(answer_record(c.lang, c.text, c.answer), c.record) << to_utf8(c.text);
  }
}

}  // namespace
}  // namespace brevant
