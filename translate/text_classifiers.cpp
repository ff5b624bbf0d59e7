#include "translate/text_classifiers.h"

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
