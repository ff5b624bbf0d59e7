#pragma once
// The escaper for request bodies: ASCII passes through unchanged, everything else becomes
// upper-case percent escapes of its UTF-8 bytes.

#include "platform/text.h"

namespace brevant {

// A valid surrogate pair is escaped as the four bytes of its code point; a lone surrogate as
// the escapes of U+FFFD, so the server always receives well-formed UTF-8.
Str toUTF8(StrView szInput);

// The same encoder under its second name.
inline Str UTF8EncodeURI(StrView szInput) {
  return toUTF8(szInput);
}

}  // namespace brevant
