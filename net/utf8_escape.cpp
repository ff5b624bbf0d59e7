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
  out.reserve(szInput.size() * 9);
  for (std::size_t i = 0; i < szInput.size(); ++i) {
    char32_t n = szInput[i];
    if (n < 0x80) {
      out += static_cast<char16_t>(n);
    } else if (n < 0x800) {
      put_escape(out, 0xC0 | (n >> 6));
      put_escape(out, 0x80 | (n & 0x3F));
    } else if (n < 0xD800 || n > 0xDFFF) {
      put_escape(out, 0xE0 | (n >> 12));
      put_escape(out, 0x80 | ((n >> 6) & 0x3F));
      put_escape(out, 0x80 | (n & 0x3F));
    } else if (n <= 0xDBFF && i + 1 < szInput.size() && szInput[i + 1] >= 0xDC00 &&
               szInput[i + 1] <= 0xDFFF) {
      // A surrogate pair: the four bytes of its code point.
      n = 0x10000 + ((n - 0xD800) << 10) + (szInput[++i] - 0xDC00);
      put_escape(out, 0xF0 | (n >> 18));
      put_escape(out, 0x80 | ((n >> 12) & 0x3F));
      put_escape(out, 0x80 | ((n >> 6) & 0x3F));
      put_escape(out, 0x80 | (n & 0x3F));
    } else {
      // A lone surrogate half: U+FFFD.
      put_escape(out, 0xEF);
      put_escape(out, 0xBF);
      put_escape(out, 0xBD);
    }
  }
  return out;
}

}  // namespace brevant
