#include "tools/trans-server/phrasebook.h"

#include <algorithm>

namespace brevant::trans_server {

namespace {

bool is_latin(std::string_view lang) {
  return lang != "zh" && lang != "zt" && lang != "ja";
}

bool is_ascii_alnum(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// A byte that belongs to a word of a Latin-script text: letters, digits, the apostrophe of
// "don't", and any non-ASCII byte (accented letters).
bool is_word_byte(char c) {
  return is_ascii_alnum(c) || c == '\'' || (c & 0x80) != 0;
}

bool is_space(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

std::string fold_ascii(std::string_view s) {
  std::string out(s);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z')
      c = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}

std::string_view trim(std::string_view s) {
  while (!s.empty() && is_space(s.front()))
    s.remove_prefix(1);
  while (!s.empty() && is_space(s.back()))
    s.remove_suffix(1);
  return s;
}

// Length of the UTF-8 sequence that starts with `lead` (1 for stray bytes).
std::size_t sequence_length(char lead) {
  const auto b = static_cast<unsigned char>(lead);
  if (b >= 0xF0)
    return 4;
  if (b >= 0xE0)
    return 3;
  if (b >= 0xC0)
    return 2;
  return 1;
}

// Punctuation of either script: ASCII, ideographic ("。") and full-width ("？").
bool starts_with_punctuation(std::string_view s) {
  if (s.empty())
    return false;
  const auto b = static_cast<unsigned char>(s[0]);
  if (b < 0x80)
    return b > 0x20 && !is_ascii_alnum(s[0]);
  // U+3000-U+303F are E3 80 80-E3 80 BF; U+FF01-U+FF0F, U+FF1A-U+FF20 and U+FF3B-U+FF40 are
  // EF BC 81-EF BD 80.
  if (s.size() < 3)
    return false;
  const auto b1 = static_cast<unsigned char>(s[1]);
  const auto b2 = static_cast<unsigned char>(s[2]);
  if (b == 0xE3 && b1 == 0x80)
    return true;
  if (b == 0xEF && b1 == 0xBC)
    return b2 <= 0x8F || (b2 >= 0x9A && b2 <= 0xA0) || b2 >= 0xBB;
  return b == 0xEF && b1 == 0xBD && b2 == 0x80;
}

}  // namespace

// A word that stands for a punctuation mark (the question particle "吗" as "?") says nothing
// more when the writer put that mark right after it.
bool PhraseTable::redundant_particle(const std::vector<Piece>& pieces, std::size_t i) {
  const Piece& piece = pieces[i];
  if (!piece.translated || !starts_with_punctuation(piece.text) ||
      starts_with_punctuation(piece.source))
    return false;
  for (std::size_t j = i + 1; j < pieces.size(); ++j) {
    if (trim(pieces[j].text).empty())
      continue;
    return trim(pieces[j].text).front() == trim(piece.text).back();
  }
  return false;
}

PhraseTable::PhraseTable(std::string_view source_lang, std::string_view target_lang)
    : latin_source_(is_latin(source_lang)), latin_target_(is_latin(target_lang)) {}

void PhraseTable::add(std::string_view phrase, std::string_view translation) {
  if (phrase.empty())
    return;
  std::string key = latin_source_ ? fold_ascii(phrase) : std::string(phrase);
  const std::size_t length = key.size();
  if (!entries_.emplace(std::move(key), std::string(translation)).second)
    return;
  if (std::find(lengths_.begin(), lengths_.end(), length) == lengths_.end()) {
    lengths_.insert(std::upper_bound(lengths_.begin(), lengths_.end(), length, std::greater<>()),
                    length);
  }
}

const std::string* PhraseTable::lookup(std::string_view text, std::string_view folded,
                                       std::size_t pos, std::size_t& length) const {
  // Words match whole: "hi" must not match the start of "his" nor the end of "chi". A phrase
  // that starts with punctuation may follow a word directly, as in "hello,".
  if (latin_source_ && pos > 0 && is_word_byte(text[pos]) && is_word_byte(text[pos - 1])) {
    return nullptr;
  }
  for (std::size_t len : lengths_) {
    if (len > text.size() - pos)
      continue;
    if (latin_source_) {
      const std::size_t end = pos + len;
      if (end < text.size() && is_word_byte(text[end]) && is_word_byte(text[end - 1]))
        continue;
      // Punctuation stays as it is inside numbers and words: "3.5", "a,b".
      if (end < text.size() && !is_word_byte(text[end - 1]) && is_ascii_alnum(text[end]))
        continue;
    }
    const auto it = entries_.find(folded.substr(pos, len));
    if (it != entries_.end()) {
      length = len;
      return &it->second;
    }
  }
  return nullptr;
}

std::string PhraseTable::translate(std::string_view text) const {
  const std::string folded = latin_source_ ? fold_ascii(text) : std::string();
  const std::string_view match_in = latin_source_ ? std::string_view(folded) : text;

  std::vector<Piece> pieces;
  std::size_t unknown_start = 0;
  std::size_t pos = 0;
  auto flush_unknown = [&](std::size_t end) {
    if (end > unknown_start)
      pieces.push_back({text.substr(unknown_start, end - unknown_start), false, {}});
  };
  while (pos < text.size()) {
    std::size_t length = 0;
    if (const std::string* translation = lookup(text, match_in, pos, length)) {
      flush_unknown(pos);
      pieces.push_back({*translation, true, text.substr(pos, length)});
      pos += length;
      unknown_start = pos;
      continue;
    }
    if (latin_source_ && is_word_byte(text[pos])) {
      // An unknown word is skipped whole, so no phrase can match inside it.
      while (pos < text.size() && is_word_byte(text[pos]))
        ++pos;
    } else {
      pos += std::min(sequence_length(text[pos]), text.size() - pos);
    }
  }
  flush_unknown(text.size());
  return join(pieces);
}

std::string PhraseTable::join(const std::vector<Piece>& pieces) const {
  std::string out;
  bool sentence_start = true;
  for (std::size_t i = 0; i < pieces.size(); ++i) {
    const Piece& piece = pieces[i];
    if (piece.text.empty() || redundant_particle(pieces, i))
      continue;
    const bool blank = trim(piece.text).empty();
    if (!latin_target_) {
      // Between two translated phrases the spaces of the Latin source have no place in Chinese or
      // Japanese.
      if (blank && !piece.translated && i > 0 && i + 1 < pieces.size() &&
          pieces[i - 1].translated && pieces[i + 1].translated) {
        continue;
      }
      out += piece.text;
      continue;
    }
    // Latin target: a space between a phrase and its neighbour unless one side is a space,
    // an opening bracket before or punctuation after.
    const bool next_to_translation = piece.translated || (i > 0 && pieces[i - 1].translated);
    if (next_to_translation && !out.empty()) {
      const char before = out.back();
      const char after = piece.text.front();
      const std::string_view no_space_before = " \t\r\n([{\"";
      const std::string_view no_space_after = " \t\r\n,.?!;:)]}\"'";
      if (no_space_before.find(before) == std::string_view::npos &&
          no_space_after.find(after) == std::string_view::npos) {
        out += ' ';
      }
    }
    const std::size_t first = out.size();
    out += piece.text;
    if (piece.translated && sentence_start && out[first] >= 'a' && out[first] <= 'z') {
      out[first] = static_cast<char>(out[first] - 'a' + 'A');
    }
    const std::string_view t = trim(piece.text);
    if (!t.empty()) {
      const char last = t.back();
      sentence_start = last == '.' || last == '?' || last == '!';
    }
  }
  return out;
}

std::vector<std::size_t> Phrasebook::load(std::string_view left_lang, std::string_view right_lang,
                                          std::string_view tsv) {
  std::vector<std::size_t> bad_lines;
  PhraseTable& forward = table_for(left_lang, right_lang);
  PhraseTable& backward = table_for(right_lang, left_lang);
  std::size_t number = 0;
  while (!tsv.empty()) {
    ++number;
    std::size_t eol = tsv.find('\n');
    std::string_view line = tsv.substr(0, eol);
    tsv.remove_prefix(eol == std::string_view::npos ? tsv.size() : eol + 1);
    if (!line.empty() && line.back() == '\r')
      line.remove_suffix(1);
    if (trim(line).empty() || line.front() == '#')
      continue;

    std::vector<std::string_view> cols;
    while (true) {
      const std::size_t tab = line.find('\t');
      cols.push_back(trim(line.substr(0, tab)));
      if (tab == std::string_view::npos)
        break;
      line.remove_prefix(tab + 1);
    }
    const std::string_view flag = cols.size() > 2 ? cols[2] : std::string_view();
    if (cols.size() < 2 || cols.size() > 3 || cols[0].empty() || cols[1].empty() ||
        (flag != "" && flag != ">" && flag != "<")) {
      bad_lines.push_back(number);
      continue;
    }
    if (flag != "<")
      forward.add(cols[0], cols[1]);
    if (flag != ">")
      backward.add(cols[1], cols[0]);
  }
  return bad_lines;
}

PhraseTable& Phrasebook::table_for(std::string_view source, std::string_view target) {
  const auto key = std::make_pair(std::string(source), std::string(target));
  auto it = tables_.find(key);
  if (it == tables_.end())
    it = tables_.emplace(key, PhraseTable(source, target)).first;
  return it->second;
}

const PhraseTable* Phrasebook::table(std::string_view source, std::string_view target) const {
  const auto it = tables_.find(std::make_pair(std::string(source), std::string(target)));
  return it == tables_.end() ? nullptr : &it->second;
}

const Phrasebook& Phrasebook::builtin() {
  static const Phrasebook book = [] {
    Phrasebook b;
    for (const EmbeddedPhraseList& list : embedded_phrase_lists()) {
      // The list name is "<left>_<right>"; its lines were checked by the unit tests.
      const std::size_t sep = list.name.find('_');
      b.load(list.name.substr(0, sep), list.name.substr(sep + 1), list.tsv);
    }
    return b;
  }();
  return book;
}

}  // namespace brevant::trans_server
