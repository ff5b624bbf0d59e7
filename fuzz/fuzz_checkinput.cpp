#include <cstdlib>

#include "chatwin/checkinput.h"
#include "fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  brevant::Str s = brevant::fuzz_text(data, size);
  brevant::checkinput(s);
  if (brevant::contains(s, u"9kosy") || brevant::contains(s, u"9kody") ||
      brevant::contains(s, u"\uFF1F")) {
    std::abort();
  }
  return 0;
}
