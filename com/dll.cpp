// The DLL's entry points: class factories, unloading, and self-registration.

#include <objbase.h>
#include <windows.h>

#include <span>

#include "com/classes.h"
#include "com/com_support.h"
#include "com/registration.h"
#include "com/server.h"

namespace brevant::com {
namespace {

class ClassFactory final : public Unknown<ClassFactory, IClassFactory> {
 public:
  explicit ClassFactory(const ClassInfo& info) : info_(info) { Server::object_created(); }

  static std::span<const InterfaceRow<ClassFactory>> interfaces() {
    static const InterfaceRow<ClassFactory> rows[] = {
        row<ClassFactory, IClassFactory>(IID_IClassFactory)};
    return rows;
  }

  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** out) override {
    return guarded([&]() -> HRESULT {
      if (!out)
        return E_POINTER;
      *out = nullptr;
      if (outer)
        return CLASS_E_NOAGGREGATION;
      IUnknown* obj = nullptr;
      HRESULT hr = info_.create(&obj);
      if (FAILED(hr))
        return hr;
      hr = obj->QueryInterface(iid, out);
      obj->Release();
      return hr;
    });
  }

  HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override {
    Server::lock(lock != FALSE);
    return S_OK;
  }

 private:
  friend Unknown;  // deletes it at the last release
  ~ClassFactory() { Server::object_destroyed(); }
  const ClassInfo& info_;
};

}  // namespace
}  // namespace brevant::com

using brevant::com::guarded;
using brevant::com::Server;

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
  if (reason == DLL_PROCESS_ATTACH) {
    DisableThreadLibraryCalls(instance);
    brevant::com::server_attach(instance);
  } else if (reason == DLL_PROCESS_DETACH) {
    brevant::com::server_detach(reserved != nullptr);
  }
  return TRUE;
}

STDAPI DllGetClassObject(REFCLSID clsid, REFIID iid, LPVOID* out) {
  return guarded([&]() -> HRESULT {
    if (!out)
      return E_POINTER;
    *out = nullptr;
    const brevant::com::ClassInfo* info = brevant::com::find_class(clsid);
    if (!info)
      return CLASS_E_CLASSNOTAVAILABLE;
    auto* factory = new brevant::com::ClassFactory(*info);
    HRESULT hr = factory->QueryInterface(iid, out);
    factory->Release();
    return hr;
  });
}

STDAPI DllCanUnloadNow() {
  return Server::can_unload() ? S_OK : S_FALSE;
}

STDAPI DllRegisterServer() {
  return guarded([] { return brevant::com::register_server(brevant::com::Scope::kMachine); });
}

STDAPI DllUnregisterServer() {
  return guarded([] { return brevant::com::unregister_server(brevant::com::Scope::kMachine); });
}

// regsvr32 /n /i:user registers for the current user only (no administrator rights needed);
// regsvr32 /u /n /i:user removes that registration. Any other command line means the machine.
STDAPI DllInstall(BOOL install, LPCWSTR cmd_line) {
  return guarded([&]() -> HRESULT {
    const auto scope = (cmd_line && lstrcmpiW(cmd_line, L"user") == 0)
                           ? brevant::com::Scope::kUser
                           : brevant::com::Scope::kMachine;
    return install ? brevant::com::register_server(scope) : brevant::com::unregister_server(scope);
  });
}
