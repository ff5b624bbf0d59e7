#include "config/settings.h"

#include <algorithm>
#include <string>

namespace brevant {

Str ReadRegString(Registry& registry, const CodePage& code_page, RootKey root, StrView subkey,
                  StrView value_name) {
  const auto ansi_subkey = code_page.to_ansi(subkey);
  const auto ansi_name = code_page.to_ansi(value_name);
  if (!ansi_subkey || !ansi_name)
    return Str();
  Registry::Key key = 0;
  registry.open_key(root, *ansi_subkey, key);  // a failure leaves no key: the query fails
  std::uint32_t type = kRegNone;
  std::uint32_t size = 0;
  Str result;
  if (registry.query_value(key, *ansi_name, type, nullptr, size) == kRegOk && type == kRegSz) {
    std::string buffer(size, ' ');
    if (registry.query_value(key, *ansi_name, type, buffer.data(), size) == kRegOk) {
      buffer.resize(std::min<std::size_t>(size, buffer.size()));
      const auto nul = buffer.find('\0');
      if (nul != std::string::npos)
        buffer.resize(nul);
      result = code_page.from_ansi(buffer);
    }
  }
  registry.close_key(key);
  return result;
}

Str ReadRegString(Registry& registry, RootKey root, StrView subkey, StrView value_name) {
  const auto code_page = make_system_code_page();
  return ReadRegString(registry, *code_page, root, subkey, value_name);
}

}  // namespace brevant
