#include "com/registration.h"

#include <objbase.h>

#include <string>
#include <vector>

#include "com/brevant.h"
#include "com/classes.h"
#include "com/server.h"

namespace brevant::com {
namespace {

constexpr wchar_t kLibraryName[] = L"brevant";
constexpr wchar_t kVersion[] = L"1.0";
// The standard automation marshaller for dual interfaces.
constexpr wchar_t kOleAutomationMarshaller[] = L"{00020424-0000-0000-C000-000000000046}";
#ifdef _WIN64
constexpr wchar_t kPlatformKey[] = L"win64";
#else
constexpr wchar_t kPlatformKey[] = L"win32";
#endif

std::wstring text(const GUID& g) {
  wchar_t buf[40] = {};
  StringFromGUID2(g, buf, 40);
  return buf;
}

std::wstring prog_id(const ClassInfo& c) {
  return std::wstring(kLibraryName) + L"." + c.name;
}

class Key {
 public:
  Key() = default;
  Key(const Key&) = delete;
  Key& operator=(const Key&) = delete;
  ~Key() {
    if (h_)
      RegCloseKey(h_);
  }
  HKEY get() const { return h_; }
  HKEY* put() { return &h_; }

 private:
  HKEY h_ = nullptr;
};

LSTATUS open_classes(Scope scope, bool create, Key& out) {
  HKEY base = scope == Scope::kUser ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE;
  if (create) {
    return RegCreateKeyExW(base, L"Software\\Classes", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                           out.put(), nullptr);
  }
  return RegOpenKeyExW(base, L"Software\\Classes", 0, KEY_ALL_ACCESS, out.put());
}

struct Value {
  std::wstring key;
  const wchar_t* name;  // nullptr: the key's default value
  std::wstring data;    // a key without value when `name` is nullptr and data is empty
};

std::vector<Value> registration_values() {
  const std::wstring path = Server::module_path();
  std::wstring folder = path.substr(0, path.find_last_of(L"\\/") + 1);
  const std::wstring lib = text(LIBID_brevant);
  std::vector<Value> v;
  for (const ClassInfo& c : kClasses) {
    const std::wstring id = text(*c.clsid);
    const std::wstring clsid_key = L"CLSID\\" + id;
    v.push_back({prog_id(c), nullptr, c.name});
    v.push_back({prog_id(c) + L"\\CLSID", nullptr, id});
    v.push_back({clsid_key, nullptr, prog_id(c)});
    v.push_back({clsid_key + L"\\InprocServer32", nullptr, path});
    v.push_back({clsid_key + L"\\InprocServer32", L"ThreadingModel", L"Apartment"});
    v.push_back({clsid_key + L"\\ProgID", nullptr, prog_id(c)});
    v.push_back({clsid_key + L"\\VERSION", nullptr, kVersion});
    v.push_back({clsid_key + L"\\TypeLib", nullptr, lib});
    if (c.control)
      v.push_back({clsid_key + L"\\Control", nullptr, L""});

    const std::wstring itf_key = L"Interface\\" + text(*c.default_iid);
    v.push_back({itf_key, nullptr, std::wstring(L"_") + c.name});
    v.push_back({itf_key + L"\\ProxyStubClsid", nullptr, kOleAutomationMarshaller});
    v.push_back({itf_key + L"\\ProxyStubClsid32", nullptr, kOleAutomationMarshaller});
    v.push_back({itf_key + L"\\TypeLib", nullptr, lib});
    v.push_back({itf_key + L"\\TypeLib", L"Version", kVersion});
  }
  const std::wstring tl = L"TypeLib\\" + lib + L"\\" + kVersion;
  v.push_back({tl, nullptr, kLibraryName});
  v.push_back({tl + L"\\0\\" + kPlatformKey, nullptr, path});
  v.push_back({tl + L"\\FLAGS", nullptr, L"0"});
  v.push_back({tl + L"\\HELPDIR", nullptr, folder});
  return v;
}

LSTATUS write(HKEY root, const Value& value) {
  Key key;
  LSTATUS rc = RegCreateKeyExW(root, value.key.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                               key.put(), nullptr);
  if (rc != ERROR_SUCCESS)
    return rc;
  if (!value.name && value.data.empty())
    return ERROR_SUCCESS;
  const DWORD bytes = static_cast<DWORD>((value.data.size() + 1) * sizeof(wchar_t));
  return RegSetValueExW(key.get(), value.name, 0, REG_SZ,
                        reinterpret_cast<const BYTE*>(value.data.c_str()), bytes);
}

// The default value of `path`, or empty when it is missing.
std::wstring read_default(HKEY root, const std::wstring& path) {
  wchar_t buf[260] = {};
  DWORD bytes = sizeof(buf) - sizeof(wchar_t);
  if (RegGetValueW(root, path.c_str(), nullptr, RRF_RT_REG_SZ, nullptr, buf, &bytes) !=
      ERROR_SUCCESS) {
    return std::wstring();
  }
  return buf;
}

LSTATUS remove_tree(HKEY root, const std::wstring& path) {
  LSTATUS rc = RegDeleteTreeW(root, path.c_str());
  return rc == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : rc;
}

LSTATUS remove_all(HKEY root) {
  const std::wstring lib = text(LIBID_brevant);
  LSTATUS first_error = ERROR_SUCCESS;
  auto note = [&](LSTATUS rc) {
    if (rc != ERROR_SUCCESS && first_error == ERROR_SUCCESS)
      first_error = rc;
  };
  for (const ClassInfo& c : kClasses) {
    const std::wstring id = text(*c.clsid);
    note(remove_tree(root, L"CLSID\\" + id));
    // A ProgID or interface that now belongs to another server stays.
    if (lstrcmpiW(read_default(root, prog_id(c) + L"\\CLSID").c_str(), id.c_str()) == 0) {
      note(remove_tree(root, prog_id(c)));
    }
    const std::wstring itf_key = L"Interface\\" + text(*c.default_iid);
    if (lstrcmpiW(read_default(root, itf_key + L"\\TypeLib").c_str(), lib.c_str()) == 0) {
      note(remove_tree(root, itf_key));
    }
  }
  note(remove_tree(root, L"TypeLib\\" + lib + L"\\" + kVersion));
  // The library key goes only when no other version is registered under it.
  LSTATUS rc = RegDeleteKeyW(root, (L"TypeLib\\" + lib).c_str());
  if (rc != ERROR_FILE_NOT_FOUND && rc != ERROR_SUCCESS && rc != ERROR_ACCESS_DENIED)
    note(rc);
  return first_error;
}

}  // namespace

HRESULT register_server(Scope scope) {
  Key root;
  LSTATUS rc = open_classes(scope, true, root);
  if (rc != ERROR_SUCCESS)
    return HRESULT_FROM_WIN32(rc);
  if (Server::module_path().empty())
    return HRESULT_FROM_WIN32(GetLastError());
  for (const Value& value : registration_values()) {
    rc = write(root.get(), value);
    if (rc != ERROR_SUCCESS) {
      remove_all(root.get());
      return HRESULT_FROM_WIN32(rc);
    }
  }
  return S_OK;
}

HRESULT unregister_server(Scope scope) {
  Key root;
  LSTATUS rc = open_classes(scope, false, root);
  if (rc == ERROR_FILE_NOT_FOUND)
    return S_OK;
  if (rc != ERROR_SUCCESS)
    return HRESULT_FROM_WIN32(rc);
  rc = remove_all(root.get());
  return rc == ERROR_SUCCESS ? S_OK : HRESULT_FROM_WIN32(rc);
}

}  // namespace brevant::com
