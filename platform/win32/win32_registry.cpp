#include <windows.h>

#include <string>

#include "platform/registry.h"

namespace brevant {
namespace {

HKEY root_handle(RootKey root) {
  switch (root) {
    case RootKey::ClassesRoot:
      return HKEY_CLASSES_ROOT;
    case RootKey::CurrentUser:
      return HKEY_CURRENT_USER;
    case RootKey::LocalMachine:
      return HKEY_LOCAL_MACHINE;
    case RootKey::Users:
      return HKEY_USERS;
  }
  return HKEY_LOCAL_MACHINE;
}

class Win32Registry final : public Registry {
 public:
  long open_key(RootKey root, const std::string& subkey, Key& key) override {
    HKEY h = nullptr;
    const LONG rc = RegOpenKeyA(root_handle(root), subkey.c_str(), &h);
    key = rc == ERROR_SUCCESS ? reinterpret_cast<Key>(h) : 0;
    return rc;
  }

  long query_value(Key key, const std::string& name, std::uint32_t& type, char* data,
                   std::uint32_t& size) override {
    if (key == 0)
      return ERROR_INVALID_HANDLE;
    DWORD t = type;
    DWORD n = size;
    const LONG rc = RegQueryValueExA(reinterpret_cast<HKEY>(key), name.c_str(), nullptr, &t,
                                     reinterpret_cast<BYTE*>(data), &n);
    type = t;
    size = n;
    return rc;
  }

  void close_key(Key key) override {
    if (key != 0)
      RegCloseKey(reinterpret_cast<HKEY>(key));
  }

  bool set_value(RootKey root, const std::string& subkey, const std::string& name,
                 std::uint32_t type, std::string_view data) override {
    HKEY h = nullptr;
    if (RegCreateKeyA(root_handle(root), subkey.c_str(), &h) != ERROR_SUCCESS)
      return false;
    std::string bytes(data);
    if (type == REG_SZ || type == REG_EXPAND_SZ)
      bytes.push_back('\0');
    const LONG rc =
        RegSetValueExA(h, name.c_str(), 0, type, reinterpret_cast<const BYTE*>(bytes.data()),
                       static_cast<DWORD>(bytes.size()));
    RegCloseKey(h);
    return rc == ERROR_SUCCESS;
  }
};

}  // namespace

std::unique_ptr<Registry> make_system_registry(StrView) {
  return std::make_unique<Win32Registry>();
}

}  // namespace brevant
