#pragma once
// Classic text helpers shared by every subsystem. The system's texts are UTF-16; every rule
// here works on UTF-16 code units, compares exactly and case-sensitively, and replaces every
// occurrence.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace brevant {

using Str = std::u16string;
using StrView = std::u16string_view;

// Removes the space character U+0020 (and nothing else) from both ends.
Str Trim(StrView s);

// Replaces every occurrence of `find`, left to right, without overlap. An empty `find`
// leaves the text unchanged.
Str replace_all(StrView s, StrView find, StrView with);

// Splits at every occurrence of `delim`. An empty text gives no elements; an empty
// delimiter gives the whole text as the only element.
std::vector<Str> split(StrView s, StrView delim);

// Exact, case-sensitive search. An empty `part` is found at the start of any text.
inline bool contains(StrView s, StrView part) {
  return s.find(part) != StrView::npos;
}

// 1-based position of the first occurrence of `part` at or after 1-based `start`, 0 when
// there is none.
std::size_t instr(StrView s, StrView part, std::size_t start = 1);

// UTF-16 to UTF-8. A valid surrogate pair becomes its 4-byte sequence; a lone surrogate
// becomes U+FFFD.
std::string to_utf8(StrView s);

// UTF-8 to UTF-16. Every malformed sequence becomes U+FFFD.
Str from_utf8(std::string_view s);

// Convenience for tests and messages: ASCII/UTF-8 literal to UTF-16.
inline Str u(std::string_view utf8) {
  return from_utf8(utf8);
}

}  // namespace brevant
