#include <cstdlib>
#include <string>

#include "fuzz/fuzz_support.h"
#include "net/utf8_escape.h"

namespace {

int hex(char16_t c) {
  if (c >= u'0' && c <= u'9')
    return c - u'0';
  if (c >= u'A' && c <= u'F')
    return c - u'A' + 10;
  return -1;
}

}  // namespace

// Percent-decoding the output must give back the UTF-8 of the input. The encoder passes an
// ASCII "%" through as it stands, so "%" is taken out of the input to keep decoding unambiguous.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  brevant::Str in = brevant::fuzz_text(data, size);
  for (char16_t& c : in) {
    if (c == u'%')
      c = u'_';
  }
  const brevant::Str out = brevant::toUTF8(in);
  std::string decoded;
  for (std::size_t i = 0; i < out.size(); ++i) {
    const char16_t c = out[i];
    if (c >= 0x80)
      std::abort();  // the output is ASCII only
    if (c == u'%') {
      if (i + 2 >= out.size() || hex(out[i + 1]) < 8 || hex(out[i + 2]) < 0)
        std::abort();
      decoded.push_back(static_cast<char>(hex(out[i + 1]) * 16 + hex(out[i + 2])));
      i += 2;
    } else {
      decoded.push_back(static_cast<char>(c));
    }
  }
  if (decoded != brevant::to_utf8(in))
    std::abort();
  return 0;
}
