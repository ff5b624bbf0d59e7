#include "tools/trans-server/backend.h"

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

// Languages written without spaces between words.
bool unspaced(std::string_view lang) {
  return lang == "zh" || lang == "zt" || lang == "ja";
}

// Translates one piece of plain text: the blank around it and its protected pieces stay as
// they are, and only text with something to translate reaches the back end.
boost::asio::awaitable<Reply> translate_plain(const Backend& backend, const LangPair& pair,
                                              std::string_view text, Clock::time_point deadline) {
  std::size_t begin = 0;
  std::size_t end = text.size();
  while (begin < end && is_blank(text[begin]))
    ++begin;
  while (end > begin && is_blank(text[end - 1]))
    --end;
  const std::string lead(text.substr(0, begin));
  const std::string trail(text.substr(end));
  const MaskedText masked = mask_protected(text.substr(begin, end - begin));
  if (!has_translatable_text(masked.text))
    co_return Reply{200, std::string(text)};

  Reply reply = co_await backend.translate(pair, masked.text, deadline);
  if (reply.status != 200)
    co_return reply;
  std::optional<std::string> restored = masked.pieces.empty()
                                            ? std::optional(std::move(reply.body))
                                            : unmask_protected(reply.body, masked.pieces);
  if (!restored) {
    // The translator lost or repeated a placeholder: translate the stretches between the
    // pieces one by one instead.
    const MaskedSegments segments = split_masked(masked.text);
    std::string joined;
    for (std::size_t i = 0; i < segments.texts.size(); ++i) {
      Reply part = co_await translate_plain(backend, pair, segments.texts[i], deadline);
      if (part.status != 200)
        co_return part;
      joined += part.body;
      if (i < segments.pieces.size())
        joined += masked.pieces[segments.pieces[i]];
    }
    restored = std::move(joined);
  }
  co_return Reply{200, lead + *restored + trail};
}

}  // namespace

boost::asio::awaitable<Reply> ImmediateBackend::translate(const LangPair& pair, std::string text,
                                                          Clock::time_point) const {
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

  const Clock::time_point deadline = Clock::now() + backend.time_limit();
  const std::optional<std::vector<std::string_view>> runs = markup_text_runs(*text);
  if (!runs)
    co_return co_await translate_plain(backend, *pair, *text, deadline);

  // A formatted message: the plug-in puts the answer inside the message's own tags, so the
  // answer is the translated text runs alone.
  std::string joined;
  for (const std::string_view run : *runs) {
    Reply part = co_await translate_plain(backend, *pair, run, deadline);
    if (part.status != 200)
      co_return part;
    if (!joined.empty() && !part.body.empty() && !is_blank(joined.back()) &&
        !is_blank(part.body.front()) && !unspaced(pair->target))
      joined += ' ';
    joined += part.body;
  }
  std::size_t begin = 0;
  std::size_t end = joined.size();
  while (begin < end && is_blank(joined[begin]))
    ++begin;
  while (end > begin && is_blank(joined[end - 1]))
    --end;
  co_return Reply{200, joined.substr(begin, end - begin)};
}

}  // namespace brevant::trans_server
