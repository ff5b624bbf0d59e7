#pragma once
// What an engine sends to the translation server and what it hands back to its translator.

#include "platform/text.h"

namespace brevant {

inline constexpr StrView kTranslationPath = u"/trans2/index.asp";
inline constexpr StrView kFormContentType = u"application/x-www-form-urlencoded";

// The server's code for a translator's direction code ("ZE" -> "02" …); a code outside the
// table is sent unchanged, the empty code as an empty value.
Str server_code(StrView translator_code);

// The text as it goes into the body: "<" and ">" are masked while the tag filter runs (so it
// finds no tags), then unmasked. Net effect: unchanged, except that "&lt"/"&gt" already in the
// text become "<"/">".
Str prepare_engine_text(StrView text);

// "domain=00&text=" + escaped text + "&lang=" + code. In the text value "&" and "+" are
// escaped as well, so that a typed "&" or "+" cannot end the field or turn into a space.
Str request_body(StrView prepared_text, StrView server_code);

// Whether a server's answer is text that can be a translation: no character that stood for bytes
// that were not UTF-8 (U+FFFD), no NUL or other control character but tab and line breaks, no
// half of a surrogate pair.
bool is_translation_text(StrView answer);

// lang + text + "<brbr>" + "9kocnsns" + result, where result is "[ " answer " ]", placed into
// the message's own markup where the message had any.
Str answer_record(StrView lang, StrView text, StrView answer);

}  // namespace brevant
