#include "platform/text.h"

namespace brevant {

Str Trim(StrView s) {
  std::size_t b = 0;
  std::size_t e = s.size();
  while (b < e && s[b] == u' ')
    ++b;
  while (e > b && s[e - 1] == u' ')
    --e;
  return Str(s.substr(b, e - b));
}

Str replace_all(StrView s, StrView find, StrView with) {
  if (find.empty())
    return Str(s);
  Str out;
  out.reserve(s.size());
  std::size_t pos = 0;
  for (;;) {
    std::size_t hit = s.find(find, pos);
    if (hit == StrView::npos)
      break;
    out.append(s.substr(pos, hit - pos));
    out.append(with);
    pos = hit + find.size();
  }
  out.append(s.substr(pos));
  return out;
}

std::vector<Str> split(StrView s, StrView delim) {
  std::vector<Str> parts;
  if (s.empty())
    return parts;
  if (delim.empty()) {
    parts.emplace_back(s);
    return parts;
  }
  std::size_t pos = 0;
  for (;;) {
    std::size_t hit = s.find(delim, pos);
    if (hit == StrView::npos)
      break;
    parts.emplace_back(s.substr(pos, hit - pos));
    pos = hit + delim.size();
  }
  parts.emplace_back(s.substr(pos));
  return parts;
}

std::size_t instr(StrView s, StrView part, std::size_t start) {
  if (start == 0)
    start = 1;
  if (start - 1 > s.size())
    return 0;
  std::size_t hit = s.find(part, start - 1);
  return hit == StrView::npos ? 0 : hit + 1;
}

namespace {

bool is_high(char16_t c) {
  return c >= 0xD800 && c <= 0xDBFF;
}
bool is_low(char16_t c) {
  return c >= 0xDC00 && c <= 0xDFFF;
}

void put_utf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

void put_utf16(Str& out, char32_t cp) {
  if (cp < 0x10000) {
    out.push_back(static_cast<char16_t>(cp));
  } else {
    cp -= 0x10000;
    out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
    out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
  }
}

}  // namespace

std::string to_utf8(StrView s) {
  std::string out;
  out.reserve(s.size() * 3);
  for (std::size_t i = 0; i < s.size(); ++i) {
    char16_t c = s[i];
    if (is_high(c) && i + 1 < s.size() && is_low(s[i + 1])) {
      char32_t cp = 0x10000 + ((char32_t(c) - 0xD800) << 10) + (char32_t(s[i + 1]) - 0xDC00);
      put_utf8(out, cp);
      ++i;
    } else if (is_high(c) || is_low(c)) {
      put_utf8(out, 0xFFFD);
    } else {
      put_utf8(out, c);
    }
  }
  return out;
}

Str from_utf8(std::string_view s) {
  Str out;
  out.reserve(s.size());
  std::size_t i = 0;
  const std::size_t n = s.size();
  while (i < n) {
    unsigned char b = static_cast<unsigned char>(s[i]);
    if (b < 0x80) {
      out.push_back(b);
      ++i;
      continue;
    }
    int len = 0;
    char32_t cp = 0;
    char32_t min = 0;
    if (b >= 0xC2 && b <= 0xDF) {
      len = 2, cp = b & 0x1F, min = 0x80;
    } else if (b >= 0xE0 && b <= 0xEF) {
      len = 3, cp = b & 0x0F, min = 0x800;
    } else if (b >= 0xF0 && b <= 0xF4) {
      len = 4, cp = b & 0x07, min = 0x10000;
    }
    bool ok = len > 0 && i + len <= n;
    for (int k = 1; ok && k < len; ++k) {
      unsigned char t = static_cast<unsigned char>(s[i + k]);
      if ((t & 0xC0) != 0x80) {
        ok = false;
      } else {
        cp = (cp << 6) | (t & 0x3F);
      }
    }
    if (ok && (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)))
      ok = false;
    if (!ok) {
      // One replacement per maximal bad prefix: skip the lead byte and any continuation bytes.
      out.push_back(0xFFFD);
      ++i;
      while (i < n && (static_cast<unsigned char>(s[i]) & 0xC0) == 0x80)
        ++i;
      continue;
    }
    put_utf16(out, cp);
    i += len;
  }
  return out;
}

}  // namespace brevant
