#include "tools/trans-server/form.h"

#include "platform/text.h"

namespace brevant::trans_server {

namespace {

int hex_digit(char c) {
  if (c >= '0' && c <= '9')
    return c - '0';
  if (c >= 'a' && c <= 'f')
    return c - 'a' + 10;
  if (c >= 'A' && c <= 'F')
    return c - 'A' + 10;
  return -1;
}

// Well-formed UTF-8: no stray or missing continuation bytes, no overlong forms, no surrogates,
// nothing past U+10FFFF.
bool valid_utf8(std::string_view s) {
  for (std::size_t i = 0; i < s.size();) {
    const auto b = static_cast<unsigned char>(s[i]);
    if (b < 0x80) {
      ++i;
      continue;
    }
    std::size_t len = 0;
    unsigned lo = 0x80;
    unsigned hi = 0xBF;
    if (b >= 0xC2 && b <= 0xDF) {
      len = 2;
    } else if (b >= 0xE0 && b <= 0xEF) {
      len = 3;
      lo = b == 0xE0 ? 0xA0 : 0x80;
      hi = b == 0xED ? 0x9F : 0xBF;
    } else if (b >= 0xF0 && b <= 0xF4) {
      len = 4;
      lo = b == 0xF0 ? 0x90 : 0x80;
      hi = b == 0xF4 ? 0x8F : 0xBF;
    } else {
      return false;
    }
    if (i + len > s.size())
      return false;
    const auto second = static_cast<unsigned char>(s[i + 1]);
    if (second < lo || second > hi)
      return false;
    for (std::size_t k = 2; k < len; ++k) {
      if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80)
        return false;
    }
    i += len;
  }
  return true;
}

}  // namespace

std::string form_unescape(std::string_view s) {
  std::string bytes;
  bytes.reserve(s.size());
  for (std::size_t i = 0; i < s.size(); ++i) {
    const char c = s[i];
    if (c == '+') {
      bytes += ' ';
    } else if (c == '%' && i + 2 < s.size() && hex_digit(s[i + 1]) >= 0 &&
               hex_digit(s[i + 2]) >= 0) {
      bytes += static_cast<char>(hex_digit(s[i + 1]) * 16 + hex_digit(s[i + 2]));
      i += 2;
    } else {
      bytes += c;
    }
  }
  // A round trip through UTF-16 replaces every malformed sequence with U+FFFD; well-formed
  // text (nearly all) is already what it would give.
  if (valid_utf8(bytes))
    return bytes;
  return to_utf8(from_utf8(bytes));
}

FormFields decode_form(std::string_view body) {
  FormFields fields;
  std::size_t start = 0;
  while (start <= body.size()) {
    std::size_t end = body.find('&', start);
    if (end == std::string_view::npos)
      end = body.size();
    const std::string_view part = body.substr(start, end - start);
    if (!part.empty()) {
      const std::size_t eq = part.find('=');
      if (eq == std::string_view::npos) {
        fields.emplace_back(form_unescape(part), std::string());
      } else {
        fields.emplace_back(form_unescape(part.substr(0, eq)), form_unescape(part.substr(eq + 1)));
      }
    }
    start = end + 1;
  }
  return fields;
}

std::optional<std::string> form_value(const FormFields& fields, std::string_view key) {
  for (const auto& [k, v] : fields) {
    if (k == key)
      return v;
  }
  return std::nullopt;
}

}  // namespace brevant::trans_server

namespace brevant::trans_server {

std::string form_escape(std::string_view s) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(s.size() * 3);
  for (const char c : s) {
    const auto b = static_cast<unsigned char>(c);
    if ((b >= '0' && b <= '9') || (b >= 'a' && b <= 'z') || (b >= 'A' && b <= 'Z') || b == '-' ||
        b == '_' || b == '.' || b == '~') {
      out += c;
    } else {
      out += '%';
      out += kHex[b >> 4];
      out += kHex[b & 0x0F];
    }
  }
  return out;
}

}  // namespace brevant::trans_server
