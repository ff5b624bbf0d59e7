#include "net/engine_contract.h"

#include <array>
#include <utility>

#include "net/utf8_escape.h"
#include "platform/text_classifiers.h"

namespace brevant {
namespace {

constexpr std::array<std::pair<StrView, StrView>, 26> kServerCodes{{
    {u"ZE", u"02"},      {u"EZ", u"01"},      {u"ZRB", u"03"},     {u"RBZ", u"10"},
    {u"ZFT", u"zh_zt"},  {u"FTZ", u"zt_zh"},  {u"ERB", u"en_ja"},  {u"RBE", u"ja_en"},
    {u"EHG", u"en_ko"},  {u"HGE", u"ko_en"},  {u"EEG", u"en_ru"},  {u"EGE", u"ru_en"},
    {u"EHL", u"en_nl"},  {u"HLE", u"nl_en"},  {u"EFG", u"en_fr"},  {u"FGE", u"fr_en"},
    {u"EDG", u"en_de"},  {u"DGE", u"de_en"},  {u"EXL", u"en_el"},  {u"XLE", u"el_en"},
    {u"EYDL", u"en_it"}, {u"YDLE", u"it_en"}, {u"EPTY", u"en_pt"}, {u"PTYE", u"pt_en"},
    {u"EXBY", u"en_es"}, {u"XBYE", u"es_en"},
}};

}  // namespace

Str server_code(StrView translator_code) {
  for (const auto& [code, server] : kServerCodes) {
    if (code == translator_code)
      return Str(server);
  }
  return Str(translator_code);
}

Str prepare_engine_text(StrView text) {
  Str masked = replace_all(replace_all(text, u"<", u"&lt"), u">", u"&gt");
  Str filtered = StripTags(masked);
  return replace_all(replace_all(filtered, u"&lt", u"<"), u"&gt", u">");
}

Str request_body(StrView prepared_text, StrView code) {
  Str text = replace_all(replace_all(toUTF8(prepared_text), u"&", u"%26"), u"+", u"%2B");
  Str body = u"domain=00&text=";
  body += text;
  body += u"&lang=";
  body += code;
  return body;
}

bool is_translation_text(StrView answer) {
  for (std::size_t i = 0; i < answer.size(); ++i) {
    const char16_t c = answer[i];
    if (c == u'\uFFFD' || c == 0x7F || (c < 0x20 && c != u'\t' && c != u'\r' && c != u'\n'))
      return false;
    if (c >= 0xD800 && c <= 0xDBFF) {
      if (i + 1 == answer.size() || answer[i + 1] < 0xDC00 || answer[i + 1] > 0xDFFF)
        return false;
      ++i;
    } else if (c >= 0xDC00 && c <= 0xDFFF) {
      return false;
    }
  }
  return true;
}

Str answer_record(StrView lang, StrView text, StrView answer) {
  Str wrapped = u"[ ";
  wrapped += answer;
  wrapped += u" ]";
  const Str tmpl = FormatTemplate(text);
  const Str result = contains(tmpl, kTemplatePlaceholder)
                         ? replace_all(tmpl, kTemplatePlaceholder, wrapped)
                         : wrapped;
  Str record(lang);
  record += text;
  record += u"<brbr>9kocnsns";
  record += result;
  return record;
}

}  // namespace brevant
