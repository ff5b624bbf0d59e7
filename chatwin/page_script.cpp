#include "chatwin/page_script.h"

#include <string>

namespace brevant {
namespace {

constexpr char16_t kHex[] = u"0123456789ABCDEF";

void append_hex(Str& out, unsigned value, int digits) {
  for (int shift = (digits - 1) * 4; shift >= 0; shift -= 4)
    out += kHex[(value >> shift) & 0xF];
}

int hex_value(char c) {
  if (c >= '0' && c <= '9')
    return c - '0';
  if (c >= 'a' && c <= 'f')
    return c - 'a' + 10;
  if (c >= 'A' && c <= 'F')
    return c - 'A' + 10;
  return -1;
}

bool is_high_surrogate(char16_t c) {
  return c >= 0xD800 && c <= 0xDBFF;
}

bool is_low_surrogate(char16_t c) {
  return c >= 0xDC00 && c <= 0xDFFF;
}

}  // namespace

Str quote_tokens(StrView text) {
  return replace_all(replace_all(text, u"'", kSingleQuoteToken), u"\"", kDoubleQuoteToken);
}

Str strip_site_prefixes(StrView id) {
  Str s(id);
  for (StrView prefix : {u"cnquorin", u"cnvetmar", u"quillnet", u"cnpelsod"})
    s = replace_all(s, prefix, u"");
  return s;
}

Str contact_short(StrView id) {
  Str s(id);
  for (StrView prefix : {u"cnquorin", u"cnvetmar", u"quillnet"})
    s = replace_all(s, prefix, u"");
  return s;
}

Str script_string(StrView text) {
  Str out;
  out.reserve(text.size() + 2);
  out += u'\'';
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char16_t c = text[i];
    switch (c) {
      case u'\\':
        out += u"\\\\";
        break;
      case u'\'':
        out += u"\\'";
        break;
      case u'"':
        out += u"\\\"";
        break;
      case u'\r':
        out += u"\\r";
        break;
      case u'\n':
        out += u"\\n";
        break;
      case u'<':
        out += u"\\x3C";
        break;
      default:
        if (c < 0x20 || c == 0x7F) {
          out += u"\\x";
          append_hex(out, c, 2);
        } else if (c == 0x2028 || c == 0x2029) {
          out += u"\\u";
          append_hex(out, c, 4);
        } else if (is_high_surrogate(c) && i + 1 < text.size() && is_low_surrogate(text[i + 1])) {
          out += c;
          out += text[++i];
        } else if (is_high_surrogate(c) || is_low_surrogate(c)) {
          // A lone half would not survive the trip through UTF-8.
          out += u"\\u";
          append_hex(out, c, 4);
        } else {
          out += c;
        }
    }
  }
  out += u'\'';
  return out;
}

Str script_line(StrView function, std::span<const Str> args) {
  Str line(function);
  line += u'(';
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (i != 0)
      line += u',';
    line += script_string(args[i]);
  }
  line += u')';
  return line;
}

Str percent_decode(StrView url) {
  const std::string in = to_utf8(url);
  std::string bytes;
  bytes.reserve(in.size());
  for (std::size_t i = 0; i < in.size(); ++i) {
    if (in[i] == '%' && i + 2 < in.size()) {
      const int hi = hex_value(in[i + 1]);
      const int lo = hex_value(in[i + 2]);
      if (hi >= 0 && lo >= 0) {
        bytes += static_cast<char>(hi * 16 + lo);
        i += 2;
        continue;
      }
    }
    bytes += in[i];
  }
  return from_utf8(bytes);
}

std::optional<PageCommand> parse_page_command(StrView url, StrView page_url) {
  // The browser's escapes first (it reports the backticks between the arguments as "%60"),
  // then the split, then the page's own escapes in each piece: a "%", "`" or "#" in a text
  // neither splits it nor changes.
  const Str decoded = percent_decode(url);
  if (!contains(decoded, u"`"))
    return std::nullopt;
  const std::vector<Str> pieces = split(decoded, u"#");
  if (pieces.size() < 2 || page_url.empty())
    return std::nullopt;
  Str own = percent_decode(page_url);
  own = own.substr(0, own.find(u'#'));
  if (pieces[0] != own)
    return std::nullopt;
  std::vector<Str> parts = split(pieces[1], u"`");
  if (parts.empty())
    return std::nullopt;
  PageCommand command;
  command.word = percent_decode(parts[0]);
  for (std::size_t i = 1; i < parts.size(); ++i)
    command.args.push_back(percent_decode(parts[i]));
  return command;
}

}  // namespace brevant
