#pragma once
// The two channels between the companion and its page, as text: the script lines the native
// side runs in the page, and the command URLs the page navigates to. Pure functions, so the
// same code is checked against the real page in a real browser.

#include <optional>
#include <span>
#include <vector>

#include "platform/text.h"

namespace brevant {

// The quote tokens that stand for the quote characters in texts crossing into the page.
inline constexpr char16_t kSingleQuoteToken[] = u"9kosy";
inline constexpr char16_t kDoubleQuoteToken[] = u"9kody";

// Every single quote as "9kosy", every double quote as "9kody".
Str quote_tokens(StrView text);

// Removes the site prefixes "cnquorin", "cnvetmar", "quillnet" and "cnpelsod" from a contact
// ID, each everywhere, in that order.
Str strip_site_prefixes(StrView id);

// A script string literal in single quotes that reads back exactly as `text`, whatever it
// holds: backslash, both quotes, CR, LF, U+2028, U+2029, other control characters and lone
// surrogates are escaped, and "<" too, so that no argument can end a string, a line or a
// script block.
Str script_string(StrView text);

// "name(" then each argument as a script string literal, joined by "," without blanks, then
// ")". Without arguments: "name()".
Str script_line(StrView function, std::span<const Str> args);

// Decodes %XX escapes as UTF-8 (a malformed sequence becomes U+FFFD); a "%" without two hex
// digits stays as it is.
Str percent_decode(StrView url);

// A command the page sent: the word and its arguments, decoded.
struct PageCommand {
  Str word;
  std::vector<Str> args;
  bool operator==(const PageCommand&) const = default;
};

// Reads a navigation URL as a page command: decoded, split at "#", the piece between the first
// and second "#" split at each backtick. Only a navigation within `page_url` (the page file the
// companion loaded, compared without its fragment after decoding) carries a command; nullopt
// for any other URL, for one without a backtick and for one without "#".
std::optional<PageCommand> parse_page_command(StrView url, StrView page_url);

}  // namespace brevant
