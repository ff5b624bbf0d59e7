#include "platform/text_classifiers.h"

namespace brevant {

std::int16_t WidthClass(StrView s, const CodePage& code_page) {
  const auto ansi = code_page.to_ansi(s);
  if (!ansi)
    return 0;
  const std::size_t bytes = ansi->size();
  const std::size_t chars = s.size();
  if (bytes == chars)
    return 1;
  if (bytes == 2 * chars)
    return 2;
  return 3;
}

namespace {

struct Range {
  char32_t first;
  char32_t last;
};

// Ascending, not overlapping.
constexpr Range kChineseScript[] = {
    {0x2E80, 0x2FDF},    // CJK and Kangxi radicals
    {0x2FF0, 0x303F},    // ideographic description, CJK symbols and punctuation
    {0x3040, 0x31FF},    // kana, bopomofo, kanbun, strokes
    {0x3200, 0x4DBF},    // enclosed CJK, CJK compatibility, extension A
    {0x4E00, 0x9FFF},    // unified ideographs
    {0xF900, 0xFAFF},    // compatibility ideographs
    {0xFE10, 0xFE1F},    // vertical forms
    {0xFE30, 0xFE4F},    // CJK compatibility forms
    {0xFF00, 0xFF9F},    // full-width forms, half-width katakana
    {0xFFE0, 0xFFEF},    // full-width signs
    {0x1B000, 0x1B16F},  // kana supplement and extensions
    {0x1F200, 0x1F2FF},  // enclosed ideographic supplement
    {0x20000, 0x3FFFF},  // extensions B onwards, compatibility supplement
};

bool in_chinese_script(char32_t c) {
  for (const Range& r : kChineseScript) {
    if (c < r.first)
      return false;
    if (c <= r.last)
      return true;
  }
  return false;
}

}  // namespace

bool has_chinese_script(StrView s) {
  for (std::size_t i = 0; i < s.size(); ++i) {
    char32_t c = s[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < s.size() && s[i + 1] >= 0xDC00 &&
        s[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (s[i + 1] - 0xDC00);
      ++i;
    }
    if (in_chinese_script(c))
      return true;
  }
  return false;
}

std::int16_t KanaClass(StrView s) {
  for (char16_t c : s) {
    if ((c > 12353 && c < 12435) || (c > 12449 && c < 12534))
      return 1;
  }
  return 2;
}

Str StripTags(StrView s) {
  const auto parts = split(s, u">");
  if (parts.size() < 3)
    return Str(s);
  Str out;
  for (std::size_t i = 1; i + 1 < parts.size(); ++i) {
    const Str& p = parts[i];
    out.append(p, 0, p.find(u'<'));
  }
  return out;
}

Str FormatTemplate(StrView s) {
  const auto parts = split(s, u">");
  if (parts.size() < 3)
    return Str(s);
  Str out = parts[0];
  bool replaced = false;
  for (std::size_t i = 1; i + 1 < parts.size(); ++i) {
    auto q = split(parts[i], u"<");
    if (q.empty())
      q.emplace_back();
    Str q0 = q[0];
    if (!Trim(q0).empty() && !replaced) {
      replaced = true;
      q0 = Str(kTemplatePlaceholder);
    } else {
      q0.clear();
    }
    // A run without "<" has no closing tag to keep, so it adds nothing.
    if (q.size() < 2)
      continue;
    out += u'>';
    out += q0;
    out += u'<';
    out += q[1];
  }
  out += u'>';
  out += parts.back();
  return out;
}

}  // namespace brevant
