#include <cstdlib>

#include "fuzz/fuzz_support.h"
#include "platform/text_classifiers.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const brevant::Str in = brevant::fuzz_text(data, size);
  const brevant::Str out = brevant::StripTags(in);
  // Only ever removes text.
  if (out.size() > in.size())
    std::abort();
  return 0;
}
