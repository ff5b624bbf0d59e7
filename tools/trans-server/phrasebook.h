#pragma once
// The offline back end's phrase tables: longest match first, unknown stretches kept as they are.

#include <cstddef>
#include <map>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace brevant::trans_server {

// One direction, for example Chinese to English.
class PhraseTable {
 public:
  // Latin-script languages ("en") are matched case-insensitively at word boundaries and joined
  // with spaces; the others are matched anywhere and joined without.
  PhraseTable(std::string_view source_lang, std::string_view target_lang);

  // Adds one phrase; the first translation given for a phrase wins.
  void add(std::string_view phrase, std::string_view translation);

  // Translates valid UTF-8 text phrase by phrase, longest match first.
  std::string translate(std::string_view text) const;

  std::size_t size() const { return entries_.size(); }

 private:
  struct Hash {
    using is_transparent = void;
    std::size_t operator()(std::string_view s) const { return std::hash<std::string_view>{}(s); }
  };
  struct Piece {
    std::string_view text;
    bool translated;
    std::string_view source;  // what a translated piece stood for
  };

  const std::string* lookup(std::string_view text, std::string_view folded, std::size_t pos,
                            std::size_t& length) const;
  std::string join(const std::vector<Piece>& pieces) const;
  static bool redundant_particle(const std::vector<Piece>& pieces, std::size_t i);

  bool latin_source_;
  bool latin_target_;
  std::unordered_map<std::string, std::string, Hash, std::equal_to<>> entries_;
  std::vector<std::size_t> lengths_;  // the distinct phrase lengths in bytes, longest first
};

// Every table, loaded from the tab-separated phrase lists compiled into the program.
class Phrasebook {
 public:
  // The built-in tables (Chinese <-> English, Chinese <-> Japanese), built once.
  static const Phrasebook& builtin();

  // Loads a phrase list "left<TAB>right[<TAB>flag]" into both directions; flag ">" keeps a line
  // to the left->right direction, "<" to right->left. Blank lines and lines starting with "#"
  // are skipped. Returns the 1-based numbers of malformed lines (none for good data).
  std::vector<std::size_t> load(std::string_view left_lang, std::string_view right_lang,
                                std::string_view tsv);

  // The table for a direction, or null when there is none.
  const PhraseTable* table(std::string_view source, std::string_view target) const;

 private:
  PhraseTable& table_for(std::string_view source, std::string_view target);

  std::map<std::pair<std::string, std::string>, PhraseTable> tables_;
};

// The phrase lists compiled in: name ("zh_en", "zh_ja") and content.
struct EmbeddedPhraseList {
  std::string_view name;
  std::string_view tsv;
};
std::vector<EmbeddedPhraseList> embedded_phrase_lists();

}  // namespace brevant::trans_server
