#pragma once
// Decoding of application/x-www-form-urlencoded bodies, the way a browser form encodes them.

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace brevant::trans_server {

// Percent-decodes one form key or value: "+" is a space, "%XY" (two hex digits, either case) is
// the byte 0xXY, and any other "%" (a bad digit, fewer than two characters left) is kept as it
// stands. The bytes that result are then made valid UTF-8: every malformed sequence becomes
// U+FFFD, so nothing downstream ever sees broken text.
std::string form_unescape(std::string_view s);

// The fields of a form body in their order, keys and values decoded. A part without "=" is a key
// with an empty value; empty parts (as in "a=1&&b=2") are skipped.
using FormFields = std::vector<std::pair<std::string, std::string>>;
FormFields decode_form(std::string_view body);

// The value of the first field named `key`, or nothing when there is none.
std::optional<std::string> form_value(const FormFields& fields, std::string_view key);

}  // namespace brevant::trans_server

namespace brevant::trans_server {

// Form-encodes one key or value: every byte except A-Z a-z 0-9 "-" "_" "." "~" as "%XX".
std::string form_escape(std::string_view s);

}  // namespace brevant::trans_server
