#include <windows.h>

#include "platform/code_page.h"

namespace brevant {
namespace {

class Win32CodePage final : public CodePage {
 public:
  std::optional<std::string> to_ansi(StrView s) const override {
    if (s.empty())
      return std::string();
    const auto* w = reinterpret_cast<const wchar_t*>(s.data());
    const int n = static_cast<int>(s.size());
    int len = WideCharToMultiByte(CP_ACP, 0, w, n, nullptr, 0, nullptr, nullptr);
    if (len <= 0)
      return std::nullopt;
    std::string out(static_cast<std::size_t>(len), '\0');
    if (WideCharToMultiByte(CP_ACP, 0, w, n, out.data(), len, nullptr, nullptr) != len) {
      return std::nullopt;
    }
    return out;
  }

  Str from_ansi(std::string_view bytes) const override {
    if (bytes.empty())
      return Str();
    const int n = static_cast<int>(bytes.size());
    int len = MultiByteToWideChar(CP_ACP, 0, bytes.data(), n, nullptr, 0);
    if (len <= 0)
      return Str();
    Str out(static_cast<std::size_t>(len), u'\0');
    MultiByteToWideChar(CP_ACP, 0, bytes.data(), n, reinterpret_cast<wchar_t*>(out.data()), len);
    return out;
  }
};

}  // namespace

std::unique_ptr<CodePage> make_system_code_page() {
  return std::make_unique<Win32CodePage>();
}

}  // namespace brevant
