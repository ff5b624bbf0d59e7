#include "tools/trans-server/text_parts.h"

#include <cctype>
#include <cstdint>

namespace brevant::trans_server {

namespace {

constexpr std::string_view kOpen = "\xE2\x9F\xA6";   // U+27E6
constexpr std::string_view kClose = "\xE2\x9F\xA7";  // U+27E7

// One UTF-8 character at `pos`: its code point and byte length (a stray byte counts as one).
struct Char {
  char32_t cp;
  std::size_t len;
};
Char char_at(std::string_view s, std::size_t pos) {
  const auto b = static_cast<unsigned char>(s[pos]);
  std::size_t len = b < 0x80 ? 1 : b >= 0xF0 ? 4 : b >= 0xE0 ? 3 : b >= 0xC0 ? 2 : 1;
  if (pos + len > s.size())
    len = 1;
  if (len == 1)
    return {b, 1};
  char32_t cp = b & (0x7F >> len);
  for (std::size_t i = 1; i < len; ++i)
    cp = (cp << 6) | (static_cast<unsigned char>(s[pos + i]) & 0x3F);
  return {cp, len};
}

bool is_ascii_alnum(char32_t c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}
bool is_ascii_alpha(char32_t c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}
bool is_digit(char32_t c) {
  return c >= '0' && c <= '9';
}

bool is_emoji_base(char32_t c) {
  return (c >= 0x1F000 && c <= 0x1FAFF) || (c >= 0x2600 && c <= 0x27BF) ||
         (c >= 0x2B00 && c <= 0x2BFF) || (c >= 0x2300 && c <= 0x23FF);
}
// Joiners, variation selectors, keycaps and tags continue an emoji sequence.
bool is_emoji_continuation(char32_t c) {
  return c == 0x200D || c == 0xFE0E || c == 0xFE0F || c == 0x20E3 || (c >= 0xE0020 && c <= 0xE007F);
}

// Ideographic and full-width punctuation and spaces end a mention like ASCII punctuation does.
bool is_wide_punctuation(char32_t c) {
  return (c >= 0x3000 && c <= 0x303F) || (c >= 0xFF00 && c <= 0xFF0F) ||
         (c >= 0xFF1A && c <= 0xFF20) || (c >= 0xFF3B && c <= 0xFF40) ||
         (c >= 0xFF5B && c <= 0xFF65) || (c >= 0x2000 && c <= 0x206F);
}

bool starts_with_ci(std::string_view s, std::size_t pos, std::string_view prefix) {
  if (s.size() - pos < prefix.size())
    return false;
  for (std::size_t i = 0; i < prefix.size(); ++i) {
    char c = s[pos + i];
    if (c >= 'A' && c <= 'Z')
      c = static_cast<char>(c - 'A' + 'a');
    if (c != prefix[i])
      return false;
  }
  return true;
}

// Trailing sentence punctuation is not part of a link, a mention or an address.
std::size_t trim_trailing(std::string_view s, std::size_t begin, std::size_t end) {
  while (end > begin) {
    const char c = s[end - 1];
    if (c == '.' || c == ',' || c == ';' || c == ':' || c == '!' || c == '?' || c == '\'' ||
        c == '"' || c == '-') {
      --end;
    } else if (c == ')' || c == ']') {
      // Kept only when it closes something opened inside.
      const char open = c == ')' ? '(' : '[';
      if (s.substr(begin, end - begin).find(open) == std::string_view::npos)
        --end;
      else
        break;
    } else {
      break;
    }
  }
  return end;
}

std::size_t match_link(std::string_view s, std::size_t pos) {
  std::size_t after = 0;
  for (std::string_view prefix : {"https://", "http://", "ftp://", "www."}) {
    if (starts_with_ci(s, pos, prefix)) {
      after = pos + prefix.size();
      break;
    }
  }
  if (after == 0)
    return 0;
  std::size_t end = after;
  // ASCII only: a link in Chinese text ends where the Chinese resumes.
  while (end < s.size()) {
    const auto c = static_cast<unsigned char>(s[end]);
    if (c <= 0x20 || c >= 0x7F || c == '<' || c == '>' || c == '"')
      break;
    ++end;
  }
  end = trim_trailing(s, pos, end);
  return end > after ? end - pos : 0;
}

bool is_local_char(char c) {
  return is_ascii_alnum(static_cast<unsigned char>(c)) || c == '.' || c == '_' || c == '%' ||
         c == '+' || c == '-';
}

std::size_t match_email(std::string_view s, std::size_t pos) {
  std::size_t at = pos;
  while (at < s.size() && is_local_char(s[at]))
    ++at;
  if (at == pos || at >= s.size() || s[at] != '@')
    return 0;
  // Domain: labels of letters, digits and "-", at least two, the last one letters only.
  std::size_t end = at + 1;
  std::size_t labels = 0;
  std::size_t last_label = end;
  bool last_alpha = false;
  while (true) {
    const std::size_t start = end;
    bool alpha = true;
    while (end < s.size() &&
           (is_ascii_alnum(static_cast<unsigned char>(s[end])) || s[end] == '-')) {
      alpha = alpha && is_ascii_alpha(static_cast<unsigned char>(s[end]));
      ++end;
    }
    if (end == start)
      break;
    ++labels;
    last_label = start;
    last_alpha = alpha;
    if (end + 1 < s.size() && s[end] == '.' &&
        is_ascii_alnum(static_cast<unsigned char>(s[end + 1])))
      ++end;
    else
      break;
  }
  if (labels < 2 || !last_alpha || end - last_label < 2)
    return 0;
  return end - pos;
}

std::size_t match_mention(std::string_view s, std::size_t pos) {
  if (s[pos] != '@')
    return 0;
  std::size_t end = pos + 1;
  while (end < s.size()) {
    const Char ch = char_at(s, end);
    const bool name_char =
        ch.cp >= 0x80 ? !is_wide_punctuation(ch.cp) && !is_emoji_base(ch.cp) && ch.cp != 0x27E6 &&
                            ch.cp != 0x27E7
                      : is_ascii_alnum(ch.cp) || ch.cp == '_' || ch.cp == '.' || ch.cp == '-';
    if (!name_char)
      break;
    end += ch.len;
  }
  end = trim_trailing(s, pos + 1, end);
  return end > pos + 1 ? end - pos : 0;
}

std::size_t match_number(std::string_view s, std::size_t pos) {
  if (!is_digit(static_cast<unsigned char>(s[pos])))
    return 0;
  std::size_t end = pos;
  while (end < s.size()) {
    if (is_digit(static_cast<unsigned char>(s[end]))) {
      ++end;
    } else if ((s[end] == '.' || s[end] == ',' || s[end] == ':') && end + 1 < s.size() &&
               is_digit(static_cast<unsigned char>(s[end + 1]))) {
      ++end;
    } else {
      break;
    }
  }
  if (end < s.size() && s[end] == '%')
    ++end;
  // "5pm", "mp3x": a number glued to a word belongs to the word.
  if (end < s.size() && (is_ascii_alpha(static_cast<unsigned char>(s[end])) || s[end] == '_'))
    return 0;
  return end - pos;
}

std::size_t match_reference(std::string_view s, std::size_t pos) {
  if (s[pos] != '&')
    return 0;
  std::size_t end = pos + 1;
  if (end < s.size() && s[end] == '#') {
    ++end;
    const bool hex = end < s.size() && (s[end] == 'x' || s[end] == 'X');
    if (hex)
      ++end;
    const std::size_t digits = end;
    while (end < s.size() && (hex ? std::isxdigit(static_cast<unsigned char>(s[end])) != 0
                                  : is_digit(static_cast<unsigned char>(s[end]))))
      ++end;
    if (end == digits)
      return 0;
  } else {
    const std::size_t name = end;
    while (end < s.size() && is_ascii_alnum(static_cast<unsigned char>(s[end])))
      ++end;
    if (end == name)
      return 0;
  }
  return end < s.size() && s[end] == ';' ? end + 1 - pos : 0;
}

std::size_t match_emoji(std::string_view s, std::size_t pos) {
  const Char first = char_at(s, pos);
  if (!is_emoji_base(first.cp) && first.cp != 0x27E6 && first.cp != 0x27E7)
    return 0;
  std::size_t end = pos + first.len;
  while (end < s.size()) {
    const Char ch = char_at(s, end);
    if (!is_emoji_base(ch.cp) && !is_emoji_continuation(ch.cp) && ch.cp != 0x27E6 &&
        ch.cp != 0x27E7)
      break;
    end += ch.len;
  }
  return end - pos;
}

// "1️⃣", "#⃣": a keycap emoji starts with a plain character.
std::size_t match_keycap(std::string_view s, std::size_t pos) {
  const char c = s[pos];
  if (!is_digit(static_cast<unsigned char>(c)) && c != '#' && c != '*')
    return 0;
  std::size_t end = pos + 1;
  while (end < s.size()) {
    const Char ch = char_at(s, end);
    if (!is_emoji_continuation(ch.cp))
      break;
    end += ch.len;
  }
  return end > pos + 1 ? end - pos : 0;
}

// Length of the protected piece starting at `pos`, or 0. `boundary`: the character before is
// not an ASCII letter or digit.
std::size_t protected_at(std::string_view s, std::size_t pos, bool boundary) {
  if (const std::size_t n = match_keycap(s, pos))
    return n;
  if (boundary) {
    if (const std::size_t n = match_link(s, pos))
      return n;
    if (const std::size_t n = match_email(s, pos))
      return n;
    if (const std::size_t n = match_mention(s, pos))
      return n;
    if (const std::size_t n = match_number(s, pos))
      return n;
  }
  if (const std::size_t n = match_reference(s, pos))
    return n;
  return match_emoji(s, pos);
}

std::string placeholder(std::size_t n) {
  return std::string(kOpen) + std::to_string(n) + std::string(kClose);
}

// The placeholder at `pos`: its number and length.
bool placeholder_at(std::string_view s, std::size_t pos, std::size_t& number, std::size_t& length) {
  if (s.substr(pos, kOpen.size()) != kOpen)
    return false;
  std::size_t i = pos + kOpen.size();
  while (i < s.size() && s[i] == ' ')
    ++i;
  const std::size_t digits = i;
  std::size_t value = 0;
  while (i < s.size() && is_digit(static_cast<unsigned char>(s[i])) && i - digits < 6)
    value = value * 10 + static_cast<std::size_t>(s[i++] - '0');
  if (i == digits)
    return false;
  while (i < s.size() && s[i] == ' ')
    ++i;
  if (s.substr(i, kClose.size()) != kClose)
    return false;
  number = value;
  length = i + kClose.size() - pos;
  return true;
}

std::string_view trim_blank(std::string_view s) {
  const std::size_t b = s.find_first_not_of(" \t\r\n");
  if (b == std::string_view::npos)
    return {};
  return s.substr(b, s.find_last_not_of(" \t\r\n") - b + 1);
}

}  // namespace

std::optional<std::vector<std::string_view>> markup_text_runs(std::string_view text) {
  const std::size_t first_gt = text.find('>');
  if (first_gt == std::string_view::npos || text.find('>', first_gt + 1) == std::string_view::npos)
    return std::nullopt;  // fewer than three parts: no markup (and nothing to allocate)
  std::vector<std::string_view> parts;
  for (std::size_t start = 0;;) {
    const std::size_t gt = text.find('>', start);
    parts.push_back(text.substr(start, gt == std::string_view::npos ? gt : gt - start));
    if (gt == std::string_view::npos)
      break;
    start = gt + 1;
  }
  if (parts.size() < 3)
    return std::nullopt;
  std::vector<std::string_view> runs;
  bool placeholder_goes_in = false;
  for (std::size_t i = 1; i + 1 < parts.size(); ++i) {
    const std::size_t lt = parts[i].find('<');
    if (lt == std::string_view::npos)
      continue;  // the plug-in's template drops such a part
    const std::string_view run = parts[i].substr(0, lt);
    if (!trim_blank(run).empty())
      placeholder_goes_in = true;
    runs.push_back(run);
  }
  if (!placeholder_goes_in)
    return std::nullopt;
  return runs;
}

MaskedText mask_protected(std::string_view text) {
  MaskedText out;
  out.text.reserve(text.size());
  bool prev_word = false;  // the character before is an ASCII letter or digit
  bool prev_piece = false;
  for (std::size_t pos = 0; pos < text.size();) {
    if (const std::size_t n = protected_at(text, pos, !prev_word)) {
      if (prev_piece) {
        out.pieces.back().append(text.substr(pos, n));
      } else {
        out.text += placeholder(out.pieces.size());
        out.pieces.emplace_back(text.substr(pos, n));
      }
      prev_piece = true;
      prev_word = is_ascii_alnum(static_cast<unsigned char>(text[pos + n - 1]));
      pos += n;
      continue;
    }
    const Char ch = char_at(text, pos);
    out.text.append(text.substr(pos, ch.len));
    prev_word = is_ascii_alnum(ch.cp) || ch.cp == '_';
    prev_piece = false;
    pos += ch.len;
  }
  return out;
}

std::optional<std::string> unmask_protected(std::string_view translated,
                                            const std::vector<std::string>& pieces) {
  std::string out;
  out.reserve(translated.size() + 64);
  std::vector<bool> seen(pieces.size(), false);
  for (std::size_t pos = 0; pos < translated.size();) {
    std::size_t number = 0;
    std::size_t length = 0;
    if (placeholder_at(translated, pos, number, length)) {
      if (number >= pieces.size() || seen[number])
        return std::nullopt;
      seen[number] = true;
      out += pieces[number];
      pos += length;
    } else {
      out += translated[pos++];
    }
  }
  for (const bool s : seen) {
    if (!s)
      return std::nullopt;
  }
  return out;
}

MaskedSegments split_masked(std::string_view masked) {
  MaskedSegments out;
  out.texts.emplace_back();
  for (std::size_t pos = 0; pos < masked.size();) {
    std::size_t number = 0;
    std::size_t length = 0;
    if (placeholder_at(masked, pos, number, length)) {
      out.pieces.push_back(number);
      out.texts.emplace_back();
      pos += length;
    } else {
      out.texts.back() += masked[pos++];
    }
  }
  return out;
}

bool has_translatable_text(std::string_view text) {
  for (std::size_t pos = 0; pos < text.size();) {
    const Char ch = char_at(text, pos);
    if (is_ascii_alpha(ch.cp) ||
        (ch.cp >= 0x80 && ch.cp != 0x27E6 && ch.cp != 0x27E7 && !is_wide_punctuation(ch.cp)))
      return true;
    pos += ch.len;
  }
  return false;
}

}  // namespace brevant::trans_server
