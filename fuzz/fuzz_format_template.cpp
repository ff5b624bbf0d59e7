#include <cstdlib>

#include "fuzz/fuzz_support.h"
#include "net/engine_contract.h"
#include "platform/text_classifiers.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const brevant::Str in = brevant::fuzz_text(data, size);
  const brevant::Str tmpl = brevant::FormatTemplate(in);
  // At most one placeholder is ever placed.
  const auto first = tmpl.find(brevant::kTemplatePlaceholder);
  if (first != brevant::Str::npos && !brevant::contains(in, brevant::kTemplatePlaceholder) &&
      tmpl.find(brevant::kTemplatePlaceholder, first + 1) != brevant::Str::npos) {
    std::abort();
  }
  const brevant::Str record = brevant::answer_record(u"EZ", in, u"x");
  if (!brevant::contains(record, u"<brbr>9kocnsns"))
    std::abort();
  return 0;
}
