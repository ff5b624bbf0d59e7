#pragma once
// Turns fuzzer bytes into a UTF-16 text, unit by unit, so that lone surrogates and every other
// code unit are reachable.

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "platform/text.h"

namespace brevant {

inline Str fuzz_text(const std::uint8_t* data, std::size_t size) {
  Str s(size / 2, u'\0');
  if (!s.empty())
    std::memcpy(s.data(), data, s.size() * 2);
  return s;
}

}  // namespace brevant
