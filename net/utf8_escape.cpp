#include "net/utf8_escape.h"

namespace brevant {
namespace {

void put_escape(Str& out, unsigned byte) {
  static constexpr char16_t kHex[] = u"0123456789ABCDEF";
  out += u'%';
  out += kHex[(byte >> 4) & 0xF];
  out += kHex[byte & 0xF];
}

}  // namespace

Str toUTF8(StrView szInput) {
  Str out;
  if (szInput.empty())
    return out;
  out.reserve(szInput.size() * 3);
  for (std::size_t i = 0; i < szInput.size(); ++i) {
    const char16_t c = szInput[i];
    if (c < 0x80) {
      out += c;
      continue;
    }
    // The UTF-8 bytes of this unit (or of this surrogate pair) come from the one converter.
    std::size_t take = 1;
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < szInput.size() && szInput[i + 1] >= 0xDC00 &&
        szInput[i + 1] <= 0xDFFF) {
      take = 2;
    }
    for (unsigned char b : to_utf8(szInput.substr(i, take)))
      put_escape(out, b);
    i += take - 1;
  }
  return out;
}

}  // namespace brevant
