#pragma once
// Small pure functions on chat texts: which script a text is written in, and the two filters
// for messages that carry markup (the messenger wraps formatted text in tags such as font tags).

#include <cstdint>

#include "platform/code_page.h"
#include "platform/text.h"

namespace brevant {

// 1 when every character is one byte in the ANSI code page (also the empty text), 2 when every
// character takes two bytes, 3 when mixed, 0 when the conversion fails.
std::int16_t WidthClass(StrView s, const CodePage& code_page);

// Whether the text holds a character of Chinese writing: a CJK ideograph (extensions
// included), kana, bopomofo, CJK punctuation and symbols, or a full-width form. Latin letters
// with accents, currency signs and the like are not.
bool has_chinese_script(StrView s);

// 1 when the text holds a hiragana (U+3042..U+3092) or katakana (U+30A2..U+30F5) unit, else 2.
std::int16_t KanaClass(StrView s);

// The text runs between tags, joined; a text with fewer than two ">" is returned unchanged.
Str StripTags(StrView s);

// The markup with its first non-blank text run replaced by "TIHUANTXT" and later runs removed;
// a text with fewer than two ">" is returned unchanged.
Str FormatTemplate(StrView s);

inline constexpr StrView kTemplatePlaceholder = u"TIHUANTXT";

}  // namespace brevant
