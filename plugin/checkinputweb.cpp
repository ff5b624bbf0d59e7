#include "plugin/checkinputweb.h"

#include <utility>

namespace brevant {
namespace {

// Order matters: "＆" is deleted before "&" turns into ",", which later becomes a space.
constexpr std::pair<StrView, StrView> kReplacements[] = {
    {u"\uFF1F", u"?"},       {u"\u2018", u"'"}, {u"\u2019", u"'"}, {u"\uFF06", u""},
    {u"9kosy", u" "},        {u"9kody", u" "},  {u"\uFF03", u" "}, {u"\uFF20", u" "},
    {u"\uFF04", u" "},       {u"\uFF05", u" "}, {u"\uFF3E", u" "}, {u"&", u","},
    {u"\uFF0A", u" "},       {u"\uFF08", u" "}, {u"\uFF09", u" "}, {u"\uFF0D", u" "},
    {u"\uFF3F", u" "},       {u"\uFF1D", u" "}, {u"\uFF0B", u" "}, {u"\uFF3B", u" "},
    {u"\uFF5B", u" "},       {u"\uFF5D", u" "}, {u"\uFF3D", u" "}, {u":", u" "},
    {u"\uFF1B", u" "},       {u"\"", u" "},     {u"\uFF1C", u" "}, {u",", u" "},
    {u"\uFF07", u"'"},       {u"\uFF0F", u" "}, {u"\u3001", u" "}, {u"\u300B", u" "},
    {u"\uFF5E", u" "},       {u"\uFF01", u" "}, {u"\uFFE5", u" "}, {u"\u2026\u2026", u" "},
    {u"\u2014\u2014", u" "}, {u"\uFF3C", u" "}, {u"\uFF5C", u" "}, {u"\uFF1A", u" "},
    {u"\u201C", u" "},       {u"\u201D", u" "},
};

}  // namespace

void checkinputweb(Str& inputval) {
  for (const auto& [find, with] : kReplacements) {
    if (contains(inputval, find))
      inputval = replace_all(inputval, find, with);
  }
}

}  // namespace brevant
