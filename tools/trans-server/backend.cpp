#include "tools/trans-server/backend.h"

#include <algorithm>

#include "tools/trans-server/form.h"
#include "tools/trans-server/phrasebook.h"
#include "tools/trans-server/text_parts.h"

namespace brevant::trans_server {

namespace {

// Client-supplied text echoed in a reason: printable ASCII only, and short.
std::string printable(std::string_view s) {
  std::string out;
  for (const char c : s.substr(0, 32))
    out += (c >= 0x20 && c < 0x7F) ? c : '?';
  return out;
}

bool is_blank(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// The code point of the UTF-8 character that starts at `at` (a stray byte as itself).
char32_t code_point(std::string_view s, std::size_t at) {
  const auto b = static_cast<unsigned char>(s[at]);
  const std::size_t len = b >= 0xF0 ? 4 : b >= 0xE0 ? 3 : b >= 0xC0 ? 2 : 1;
  if (len == 1 || at + len > s.size())
    return b;
  char32_t cp = b & (0x7F >> len);
  for (std::size_t i = 1; i < len; ++i)
    cp = (cp << 6) | (static_cast<unsigned char>(s[at + i]) & 0x3F);
  return cp;
}

// The last UTF-8 character of a non-empty text.
char32_t last_code_point(std::string_view s) {
  std::size_t at = s.size() - 1;
  while (at > 0 && s.size() - at < 4 && (static_cast<unsigned char>(s[at]) & 0xC0) == 0x80)
    --at;
  return code_point(s, at);
}

// Characters of scripts written without spaces between words (Chinese, Japanese) and their
// punctuation.
bool unspaced_char(char32_t c) {
  return (c >= 0x2E80 && c <= 0x31FF) || (c >= 0x3400 && c <= 0x4DBF) ||
         (c >= 0x4E00 && c <= 0x9FFF) || (c >= 0xF900 && c <= 0xFAFF) ||
         (c >= 0xFF00 && c <= 0xFFEF) || (c >= 0x20000 && c <= 0x2FFFF);
}

// Translates one piece of plain text: the blank around it and its protected pieces stay as
// they are, and only text with something to translate reaches the back end. When the
// translator loses the placeholders, the stretches between them go one by one, or, with more
// stretches than calls left, in as many groups of neighbours as there are calls (`may_split`
// false: a group whose placeholders are lost again stays as written).
boost::asio::awaitable<Reply> translate_plain(const Backend& backend, const LangPair& pair,
                                              std::string_view text, CallBudget& budget,
                                              bool may_split = true) {
  std::size_t begin = 0;
  std::size_t end = text.size();
  while (begin < end && is_blank(text[begin]))
    ++begin;
  while (end > begin && is_blank(text[end - 1]))
    --end;
  const std::string lead(text.substr(0, begin));
  const std::string trail(text.substr(end));
  const MaskedText masked = mask_protected(text.substr(begin, end - begin));
  if (!has_translatable_text(masked.text) || budget.calls <= 0)
    co_return Reply{200, std::string(text)};

  Reply reply = co_await backend.translate(pair, masked.text, budget);
  if (reply.status != 200)
    co_return reply;
  std::optional<std::string> restored = masked.pieces.empty()
                                            ? std::optional(std::move(reply.body))
                                            : unmask_protected(reply.body, masked.pieces);
  if (!restored && !may_split)
    co_return Reply{200, std::string(text)};
  if (!restored) {
    const MaskedSegments segments = split_masked(masked.text);
    std::vector<std::size_t> todo;  // the stretches with something to translate
    for (std::size_t i = 0; i < segments.texts.size(); ++i) {
      if (has_translatable_text(segments.texts[i]))
        todo.push_back(i);
    }
    const std::size_t n = segments.texts.size();
    const std::size_t groups =
        std::max<std::size_t>(1, std::min<std::size_t>(todo.size(), std::max(budget.calls, 0)));
    std::string joined;
    std::size_t seg = 0;
    for (std::size_t g = 0; g < groups; ++g) {
      const std::size_t last =
          g + 1 == groups || todo.empty() ? n - 1 : todo[(g + 1) * todo.size() / groups - 1];
      std::string group;
      for (; seg <= last; ++seg) {
        group += segments.texts[seg];
        if (seg < last)
          group += masked.pieces[segments.pieces[seg]];
      }
      Reply part = co_await translate_plain(backend, pair, group, budget, false);
      if (part.status != 200)
        co_return part;
      joined += part.body;
      if (last + 1 < n)
        joined += masked.pieces[segments.pieces[last]];
    }
    restored = std::move(joined);
  }
  co_return Reply{200, lead + *restored + trail};
}

}  // namespace

boost::asio::awaitable<Reply> ImmediateBackend::translate(const LangPair& pair, std::string text,
                                                          CallBudget&) const {
  co_return translate_now(pair, text);
}

Reply PhrasebookBackend::translate_now(const LangPair& pair, std::string_view text) const {
  const PhraseTable* table = Phrasebook::builtin().table(pair.source, pair.target);
  if (table == nullptr) {
    return {400, "language pair " + std::string(pair.code) +
                     " is not available offline (start the server with --backend libretranslate)"};
  }
  return {200, table->translate(text)};
}

boost::asio::awaitable<Reply> handle_translate(std::string body, const Backend& backend,
                                               std::string& code) {
  const FormFields fields = decode_form(body);
  code = form_value(fields, "lang").value_or("");
  const std::optional<std::string> text = form_value(fields, "text");
  if (code.empty())
    co_return Reply{400, "missing language code (field lang)"};
  const std::optional<LangPair> pair = find_lang_pair(code);
  if (!pair)
    co_return Reply{400, "unknown language code " + printable(code)};
  if (!text)
    co_return Reply{400, "missing text (field text)"};
  if (text->empty())
    co_return Reply{200, ""};

  CallBudget budget{Clock::now() + backend.time_limit()};
  const std::optional<std::vector<std::string_view>> runs = markup_text_runs(*text);
  if (!runs)
    co_return co_await translate_plain(backend, *pair, *text, budget);

  // A formatted message: the plug-in puts the answer inside the message's own tags, so the
  // answer is the text runs alone. They go as one text, joined as they read (a space between
  // two runs unless one side is Chinese or Japanese), so a message of many runs costs one call.
  std::string joined;
  for (const std::string_view run : *runs) {
    if (!joined.empty() && !run.empty() && !is_blank(joined.back()) && !is_blank(run.front()) &&
        !unspaced_char(last_code_point(joined)) && !unspaced_char(code_point(run, 0)))
      joined += ' ';
    joined += run;
  }
  Reply reply = co_await translate_plain(backend, *pair, joined, budget);
  if (reply.status != 200)
    co_return reply;
  std::size_t begin = 0;
  std::size_t end = reply.body.size();
  while (begin < end && is_blank(reply.body[begin]))
    ++begin;
  while (end > begin && is_blank(reply.body[end - 1]))
    --end;
  co_return Reply{200, reply.body.substr(begin, end - begin)};
}

}  // namespace brevant::trans_server
