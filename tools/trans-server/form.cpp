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
  // A round trip through UTF-16 replaces every malformed sequence with U+FFFD.
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
