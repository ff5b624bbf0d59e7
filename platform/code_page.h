#pragma once
// The system's ANSI code page: the encoding of settings files and of the text classifiers'
// byte counts.

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/text.h"

namespace brevant {

class CodePage {
 public:
  virtual ~CodePage() = default;

  // The text in the code page. Every UTF-16 code unit that the code page cannot represent
  // becomes one "?" byte, as the system converter does. nullopt when conversion fails.
  virtual std::optional<std::string> to_ansi(StrView s) const = 0;

  // Bytes of the code page back to text. Bytes that form no character become "?".
  virtual Str from_ansi(std::string_view bytes) const = 0;
};

// The code page of this system: CP_ACP on Windows; on Linux code page 936 unless the
// embedding program chose another with set_default_code_page_number().
std::unique_ptr<CodePage> make_system_code_page();

#ifndef _WIN32
// Linux only: any code page number that iconv knows as "CP<number>" (65001 is UTF-8).
// Returns nullptr for an unknown number.
std::unique_ptr<CodePage> make_code_page(int number);
void set_default_code_page_number(int number);
#endif

}  // namespace brevant
