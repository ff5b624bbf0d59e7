#include "tools/trans-server/lang_codes.h"

#include <array>

namespace brevant::trans_server {

namespace {

constexpr std::array<LangPair, 26> kPairs{{
    {"02", "zh", "en"},    {"01", "en", "zh"},    {"03", "zh", "ja"},    {"10", "ja", "zh"},
    {"zh_zt", "zh", "zt"}, {"zt_zh", "zt", "zh"}, {"en_ja", "en", "ja"}, {"ja_en", "ja", "en"},
    {"en_ko", "en", "ko"}, {"ko_en", "ko", "en"}, {"en_ru", "en", "ru"}, {"ru_en", "ru", "en"},
    {"en_nl", "en", "nl"}, {"nl_en", "nl", "en"}, {"en_fr", "en", "fr"}, {"fr_en", "fr", "en"},
    {"en_de", "en", "de"}, {"de_en", "de", "en"}, {"en_el", "en", "el"}, {"el_en", "el", "en"},
    {"en_it", "en", "it"}, {"it_en", "it", "en"}, {"en_pt", "en", "pt"}, {"pt_en", "pt", "en"},
    {"en_es", "en", "es"}, {"es_en", "es", "en"},
}};

}  // namespace

std::span<const LangPair> all_lang_pairs() {
  return kPairs;
}

std::optional<LangPair> find_lang_pair(std::string_view code) {
  for (const LangPair& p : kPairs) {
    if (p.code == code)
      return p;
  }
  return std::nullopt;
}

}  // namespace brevant::trans_server
