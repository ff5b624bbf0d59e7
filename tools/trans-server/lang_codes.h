#pragma once
// The plug-in's server language codes and the language pair each one names.

#include <optional>
#include <span>
#include <string_view>

namespace brevant::trans_server {

// Languages by their short code: "zh" simplified Chinese, "zt" traditional Chinese, "en", "ja",
// "ko", "ru", "nl", "fr", "de", "el", "it", "pt", "es".
struct LangPair {
  std::string_view code;    // as the plug-in sends it: "01", "02", "03", "10", "en_ja", ...
  std::string_view source;  // language of the text
  std::string_view target;  // language of the answer
};

// Every code the plug-in can send, in the order of its engine table.
std::span<const LangPair> all_lang_pairs();

// Exact, case-sensitive lookup; nothing for an empty or unknown code.
std::optional<LangPair> find_lang_pair(std::string_view code);

}  // namespace brevant::trans_server
