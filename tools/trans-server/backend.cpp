#include "tools/trans-server/backend.h"

#include "tools/trans-server/form.h"
#include "tools/trans-server/phrasebook.h"

namespace brevant::trans_server {

namespace {

// Client-supplied text echoed in a reason: printable ASCII only, and short.
std::string printable(std::string_view s) {
  std::string out;
  for (const char c : s.substr(0, 32))
    out += (c >= 0x20 && c < 0x7F) ? c : '?';
  return out;
}

}  // namespace

Reply PhrasebookBackend::translate(const LangPair& pair, std::string_view text) const {
  const PhraseTable* table = Phrasebook::builtin().table(pair.source, pair.target);
  if (table == nullptr) {
    return {400, "language pair " + std::string(pair.code) +
                     " is not available offline (start the server with --backend libretranslate)"};
  }
  return {200, table->translate(text)};
}

Reply handle_translate(std::string_view body, const Backend& backend, std::string& code) {
  const FormFields fields = decode_form(body);
  code = form_value(fields, "lang").value_or("");
  const std::optional<std::string> text = form_value(fields, "text");
  if (code.empty())
    return {400, "missing language code (field lang)"};
  const std::optional<LangPair> pair = find_lang_pair(code);
  if (!pair)
    return {400, "unknown language code " + printable(code)};
  if (!text)
    return {400, "missing text (field text)"};
  if (text->empty())
    return {200, ""};
  return backend.translate(*pair, *text);
}

}  // namespace brevant::trans_server
