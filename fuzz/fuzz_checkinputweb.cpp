#include <cstdlib>

#include "fuzz/fuzz_support.h"
#include "plugin/checkinputweb.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  brevant::Str s = brevant::fuzz_text(data, size);
  const std::size_t before = s.size();
  brevant::checkinputweb(s);
  // Every rule keeps or shortens the text, and leaves no ASCII "&", "," or ":" behind.
  if (s.size() > before)
    std::abort();
  for (char16_t c : s) {
    if (c == u'&' || c == u',' || c == u':' || c == u'"')
      std::abort();
  }
  return 0;
}
