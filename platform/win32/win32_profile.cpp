#include <windows.h>

#include <string>

#include "platform/profile.h"

namespace brevant {
namespace {

class Win32Profile final : public Profile {
 public:
  std::size_t get_string(const std::string& section, const std::string& key,
                         const std::string& default_value, std::span<char> buffer,
                         const std::string& path) override {
    if (buffer.empty())
      return 0;
    return GetPrivateProfileStringA(section.c_str(), key.c_str(), default_value.c_str(),
                                    buffer.data(), static_cast<DWORD>(buffer.size()), path.c_str());
  }

  bool write_string(const std::string& section, const std::string& key, const std::string& value,
                    const std::string& path) override {
    return WritePrivateProfileStringA(section.c_str(), key.c_str(), value.c_str(), path.c_str()) !=
           FALSE;
  }

  bool move_file(const std::string& from, const std::string& to) override {
    return MoveFileA(from.c_str(), to.c_str()) != FALSE;
  }

  bool replace_file(const std::string& from, const std::string& to) override {
    return MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING) != FALSE;
  }

  std::filesystem::path file_path(const std::string& path) const override {
    // The profile functions take the name in the ANSI code page.
    const int n = static_cast<int>(path.size());
    const int len = MultiByteToWideChar(CP_ACP, 0, path.data(), n, nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(len > 0 ? len : 0), L'\0');
    if (len > 0)
      MultiByteToWideChar(CP_ACP, 0, path.data(), n, wide.data(), len);
    return std::filesystem::path(wide);
  }
};

}  // namespace

std::unique_ptr<Profile> make_system_profile() {
  return std::make_unique<Win32Profile>();
}

Str this_module_folder() {
  // The module that holds this function: the plug-in DLL, or the test program it is linked into.
  HMODULE module = nullptr;
  if (!GetModuleHandleExW(
          GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
          reinterpret_cast<LPCWSTR>(&this_module_folder), &module)) {
    return Str();
  }
  std::wstring name(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = GetModuleFileNameW(module, name.data(), static_cast<DWORD>(name.size()));
    if (n == 0)
      return Str();
    if (n < name.size()) {
      name.resize(n);
      break;
    }
    if (name.size() >= 32768)
      return Str();
    name.resize(name.size() * 2);
  }
  const auto cut = name.find_last_of(L"\\/");
  if (cut == std::wstring::npos)
    return Str();
  return Str(reinterpret_cast<const char16_t*>(name.data()), cut);
}

}  // namespace brevant
