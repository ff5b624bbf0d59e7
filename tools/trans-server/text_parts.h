#pragma once
// What of a chat text goes to a translator: the text runs of a formatted message, and the text
// around the pieces no translator should touch (links, addresses, mentions, numbers, emoji).

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace brevant::trans_server {

// The text runs of a formatted message, in order, or nothing when `text` is not formatted.
// The plug-in wraps the answer in the message's own markup (its tags with the first text run
// replaced by the translation, the later runs removed), so a text counts as formatted exactly
// when that wrapping applies: split at ">", some part between the first and the last holds a
// "<" and non-blank text before it. The runs are those texts before the "<"; blank ones stay,
// so that the joined answer keeps the spacing between runs.
std::optional<std::vector<std::string_view>> markup_text_runs(std::string_view text);

// A text with its protected pieces replaced by numbered placeholders "⟦0⟧", "⟦1⟧" ...
struct MaskedText {
  std::string text;
  std::vector<std::string> pieces;  // the originals, by placeholder number
};

// Finds web links (scheme:// or www.), e-mail addresses, @mentions, numbers not glued to a
// word, HTML character references, emoji sequences, and any literal placeholder bracket.
// Adjacent pieces become one placeholder.
MaskedText mask_protected(std::string_view text);

// Puts the pieces back where the translation has their placeholders (spaces inside a
// placeholder tolerated). Nothing when a placeholder is missing, repeated or unknown: the
// translator mangled them.
std::optional<std::string> unmask_protected(std::string_view translated,
                                            const std::vector<std::string>& pieces);

// A masked text cut at its placeholders: text, placeholder, text, ... (texts may be empty);
// the fallback when a translator does not keep placeholders.
struct MaskedSegments {
  std::vector<std::string> texts;   // one more than `pieces`
  std::vector<std::size_t> pieces;  // placeholder numbers between the texts
};
MaskedSegments split_masked(std::string_view masked);

// Whether a (masked) text holds anything to translate: a letter, or any non-ASCII character
// other than a placeholder bracket.
bool has_translatable_text(std::string_view text);

}  // namespace brevant::trans_server
